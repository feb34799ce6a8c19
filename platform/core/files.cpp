// Writing a whole file so that a save reports success only when the bytes
// are on the disk, and replaces nothing but the file chosen.
#include "services.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

// A failure: the system's error number, or a reason of our own.
struct Failed {
    Failed(int error = 0, QString reason = {}) : error(error), reason(std::move(reason)) {}
    int error;
    QString reason;
    QString text() const { return reason.isEmpty() ? systemReason(error) : reason; }
};

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    // Closes it, and answers the result: a file system may report a failed
    // write only here.
    int close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd;
};

QString nativeName(const QByteArray &path) { return QFile::decodeName(path); }

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// Follows the symbolic links along path to the file finally meant, taking
// ".." after a link from where the link led, as the system does. A link in
// a folder that is sticky and writable by everyone (/tmp) is followed only
// when this user or the folder's owner made it: the system's own rule for
// such folders, which may be switched off, so it is applied here.
std::optional<Failed> resolveLinks(const QByteArray &path, QByteArray &final)
{
    QByteArray start = path;
    if (!start.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return Failed{errno};
        start = QByteArray(cwd) + '/' + start;
    }
    std::vector<QByteArray> pending;   // names still to walk, the next one last
    auto push = [&pending](const QByteArray &names) {
        const QList<QByteArray> parts = names.split('/');
        for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
            if (!it->isEmpty() && *it != ".")
                pending.push_back(*it);
        }
    };
    push(start);
    QByteArray done;   // the link-free path walked so far; empty: the root
    int links = 0;
    while (!pending.empty()) {
        const QByteArray name = pending.back();
        pending.pop_back();
        if (name == "..") {
            done = done.isEmpty() ? done : parentOf(done);
            if (done == "/")
                done.clear();
            continue;
        }
        const QByteArray next = done + '/' + name;
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0) {
            if (errno == ENOENT && pending.empty()) {
                final = next;   // a new file
                return std::nullopt;
            }
            return Failed{errno};
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > 40)
                return Failed{ELOOP};
            struct stat folder {};
            if (::stat(done.isEmpty() ? "/" : done.constData(), &folder) != 0)
                return Failed{errno};
            if ((folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH) && st.st_uid != ::geteuid()
                && st.st_uid != folder.st_uid) {
                return Failed{EACCES, QStringLiteral("the symbolic link %1 was made by another user in a shared "
                                                     "folder, and is not followed")
                                          .arg(nativeName(next))};
            }
            QByteArray target(PATH_MAX, Qt::Uninitialized);
            const ssize_t n = ::readlink(next.constData(), target.data(), size_t(target.size()));
            if (n < 0)
                return Failed{errno};
            target.truncate(n);
            if (target.startsWith('/'))
                done.clear();
            push(target);
            continue;
        }
        done = next;
    }
    final = done.isEmpty() ? QByteArray("/") : done;
    return std::nullopt;
}

std::optional<Failed> writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed{errno};
        if (n == 0)
            return Failed{ENOSPC};
        p += n;
        at += n;
        left -= n;
    }
    return std::nullopt;
}

// The folder's entries reach the disk. A file system that cannot sync a
// folder says so; it offers nothing better.
std::optional<Failed> syncFolder(int dir)
{
    if (::fsync(dir) != 0 && errno != EINVAL && errno != ENOTSUP)
        return Failed{errno};
    return std::nullopt;
}

// Copies every extended attribute of path (ACLs are among them) to fd.
// False when one cannot be read or set: the copy would lose it.
bool copyAttributes(const QByteArray &path, int fd)
{
    ssize_t size = ::llistxattr(path.constData(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP;
    QByteArray names(size, Qt::Uninitialized);
    size = ::llistxattr(path.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::lgetxattr(path.constData(), name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length, Qt::Uninitialized);
        const ssize_t got = ::lgetxattr(path.constData(), name.constData(), value.data(), size_t(value.size()));
        if (got < 0)
            return false;
        if (::fsetxattr(fd, name.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

enum class Replaced { Done, Failed, InPlace };

// A new file beside the old one, renamed over it. InPlace when the folder
// takes no new file, or the new one could not keep what the old one has.
Replaced replaceFile(const QByteArray &file, const struct stat *old, const QByteArray &bytes, Failed &failed)
{
    const QByteArray folder = parentOf(file);
    const QByteArray name = file.mid(file.lastIndexOf('/') + 1);
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        failed = {errno};
        return Replaced::Failed;
    }
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        // A new file gets what a plain create would give it.
        fd = ::openat(dir.get(), temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      old ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        failed = {errno};
        return old && (errno == EACCES || errno == EPERM) ? Replaced::InPlace : Replaced::Failed;
    }
    Fd file_(fd);
    auto give_up = [&](Replaced how, Failed why = {}) {
        ::unlinkat(dir.get(), temp.constData(), 0);
        failed = std::move(why);
        return how;
    };
    if (old) {
        // Owner and group first (a change of owner clears the set-id bits),
        // then the permissions, then the attributes, whose ACL carries the
        // permissions too.
        if (::fchown(fd, old->st_uid, old->st_gid) != 0)
            return give_up(Replaced::InPlace);
        if (::fchmod(fd, old->st_mode & 07777) != 0)
            return give_up(Replaced::Failed, {errno});
        if (!copyAttributes(file, fd))
            return give_up(Replaced::InPlace);
    }
    if (const std::optional<Failed> f = writeAll(fd, bytes))
        return give_up(Replaced::Failed, *f);
    if (::fdatasync(fd) != 0)
        return give_up(Replaced::Failed, {errno});
    if (file_.close() != 0)
        return give_up(Replaced::Failed, {errno});
    if (::renameat(dir.get(), temp.constData(), dir.get(), name.constData()) != 0)
        return give_up(Replaced::Failed, {errno});
    if (const std::optional<Failed> f = syncFolder(dir.get())) {
        failed = *f;
        return Replaced::Failed;
    }
    return Replaced::Done;
}

// Over the old bytes: room reserved first, so that a full disk stops the
// write before anything is changed; then the bytes, the length, the sync.
std::optional<Failed> writeInPlace(const QByteArray &file, const QByteArray &bytes)
{
    // Not blocking: a named pipe put there meanwhile must not hang the open.
    Fd fd(::open(file.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return Failed{errno};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return Failed{errno};
    if (!S_ISREG(st.st_mode))
        return Failed{EINVAL, QStringLiteral("not a file")};
    if (!bytes.isEmpty()) {
        if (const int r = ::posix_fallocate(fd.get(), 0, off_t(bytes.size())); r != 0)
            return Failed{r};
    }
    if (const std::optional<Failed> f = writeAll(fd.get(), bytes))
        return f;
    if (::ftruncate(fd.get(), off_t(bytes.size())) != 0 || ::fdatasync(fd.get()) != 0)
        return Failed{errno};
    if (fd.close() != 0)
        return Failed{errno};
    return std::nullopt;
}

QString specialFileReason(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a file");
    return QStringLiteral("a device, not a file");
}

std::optional<Failed> writeFile(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return Failed{ENOENT};
    QByteArray file;
    if (std::optional<Failed> f = resolveLinks(QFile::encodeName(path), file))
        return f;
    struct stat st {};
    const bool exists = ::lstat(file.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return Failed{errno};
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return Failed{EISDIR};
        if (!S_ISREG(st.st_mode))
            return Failed{EINVAL, specialFileReason(st.st_mode)};
        if (::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) != 0)
            return Failed{errno};
        // Every link to the file is to see the new bytes.
        if (st.st_nlink > 1)
            return writeInPlace(file, bytes);
    }
    Failed failed;
    switch (replaceFile(file, exists ? &st : nullptr, bytes, failed)) {
    case Replaced::Done:
        return std::nullopt;
    case Replaced::InPlace:
        return writeInPlace(file, bytes);
    case Replaced::Failed:
        break;
    }
    return failed;
}

}  // namespace

bool writeFileSafely(const QString &path, const QByteArray &bytes) { return writeFileSafely(path, bytes, nullptr); }

bool writeFileSafely(const QString &path, const QByteArray &bytes, QString *why)
{
    const std::optional<Failed> failed = writeFile(path, bytes);
    if (failed && why)
        *why = failed->text();
    return !failed;
}

}  // namespace platform
