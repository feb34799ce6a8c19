#include "recoverycopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// Version 1 copies hold RTF and say nothing of their content; version 2
// says what it is.
const QByteArray kMagic1 = QByteArrayLiteral("recovery copy 1\n");
const QByteArray kMagic = QByteArrayLiteral("recovery copy 2\n");
const QString kSuffix = QStringLiteral(".recovery");
const QString kReportedSuffix = QStringLiteral(".reported");

QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString currentBoot()
{
    static const QString boot =
        QString::fromLatin1(readSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed());
    return boot;
}

// Field 22 of /proc/PID/stat: the start time in clock ticks since boot; 0
// when the process does not exist.
qint64 startTicks(qint64 pid)
{
    const QByteArray stat = readSmallFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 19 ? fields.at(19).toLongLong() : 0;
}

// The file name of the program process pid runs, or empty when it cannot
// be told.
QString programOf(qint64 pid)
{
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (target.endsWith(QLatin1String(" (deleted)")))   // replaced by an update
        target.chop(10);
    return QFileInfo(target).fileName();
}

QString stateHome()
{
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

// This process's start, as the copies and their names record it.
qint64 ownStart()
{
    static const qint64 started = startTicks(::getpid());
    return started;
}

}  // namespace

// Writing a copy, as plain bytes made beforehand: the child that writes it
// runs nothing else.
struct RecoveryPlan {
    QByteArrayList folders;   // from the root down to the copies' folder
    QByteArray programFolder, folder, temp, target, head, bytes;   // the file: head, then bytes

    RecoveryPlan(const RecoveryStore &store, const QByteArray &data, const QByteArray &head = QByteArray())
        : folder(QFile::encodeName(store.folder())), target(QFile::encodeName(store.ownFile())), head(head),
          bytes(data)
    {
        programFolder = QFile::encodeName(QFileInfo(store.folder()).path());
        temp = target + ".tmp";
        for (qsizetype at = folder.indexOf('/', 1); at > 0; at = folder.indexOf('/', at + 1))
            folders << folder.left(at);
        folders << folder;
    }
};

namespace {

// The same, as pointers and sizes the child reads and nothing more.
struct RawPlan {
    static constexpr int kMaxFolders = 64;
    const char *folders[kMaxFolders];
    int folderCount = 0;
    const char *programFolder, *folder, *temp, *target, *head, *data;
    size_t headSize, size;

    explicit RawPlan(const RecoveryPlan &plan)
        : programFolder(plan.programFolder.constData()), folder(plan.folder.constData()),
          temp(plan.temp.constData()), target(plan.target.constData()), head(plan.head.constData()),
          data(plan.bytes.constData()), headSize(size_t(plan.head.size())), size(size_t(plan.bytes.size()))
    {
        for (const QByteArray &f : plan.folders) {
            if (folderCount < kMaxFolders)
                folders[folderCount++] = f.constData();
        }
    }
};

// Writes size bytes from at; 0 or the error number. System calls only.
int writeAll(int fd, const char *at, size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        at += n;
        left -= size_t(n);
    }
    return 0;
}

// Writes the copy through a temporary file, synced and renamed over it, and
// syncs the folder. System calls only (a forked child runs it); answers 0 or
// the error number.
int writeCopy(const RawPlan &p)
{
    for (int i = 0; i < p.folderCount; ++i) {
        if (::mkdir(p.folders[i], 0700) != 0 && errno != EEXIST)
            return errno;
    }
    // The program's folder and the copies' folder are the user's alone.
    ::chmod(p.programFolder, 0700);
    ::chmod(p.folder, 0700);
    ::unlink(p.temp);   // a writer stopped halfway left it
    const int fd = ::open(p.temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    int err = writeAll(fd, p.head, p.headSize);
    if (!err)
        err = writeAll(fd, p.data, p.size);
    if (!err && ::fdatasync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(p.temp, p.target) != 0)
        err = errno;
    if (err) {
        ::unlink(p.temp);
        return err;
    }
    // The rename itself reaches the disk.
    const int dir = ::open(p.folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return errno;
    if (::fsync(dir) != 0 && errno != EINVAL)
        err = errno;
    ::close(dir);
    return err;
}

// The writing child: it limits itself, keeps none of the parent's
// descriptors, writes and ends. System calls only.
[[noreturn]] void runChild(const RawPlan &plan, unsigned seconds, int maxFd)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGALRM, &dfl, nullptr);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, SIGALRM);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::alarm(seconds);
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 0u, ~0u, 0u) != 0)
#endif
    {
        for (int fd = 0; fd < maxFd; ++fd)
            ::close(fd);
    }
    const int err = writeCopy(plan);
    ::_exit(err > 0 && err < 256 ? err : (err ? EIO : 0));
}

}  // namespace

// ---------------------------------------------------------------------------
// RecoveryCopy

QByteArray RecoveryCopy::encode() const { return head() + content; }

QByteArray RecoveryCopy::head() const
{
    QByteArray out = kMagic;
    auto field = [&out](const char *key, const QByteArray &value) {
        out += key;
        out += '=';
        out += QUrl::toPercentEncoding(QString::fromUtf8(value));
        out += '\n';
    };
    field("document", document.toUtf8());
    field("caption", caption.toUtf8());
    field("time", time.toUTC().toString(Qt::ISODateWithMs).toLatin1());
    field("pid", QByteArray::number(pid));
    field("boot", boot.toLatin1());
    field("started", QByteArray::number(started));
    field("program", program.toUtf8());
    field("content", kind == Text ? "text" : "rtf");
    field("format", format.toUtf8());
    field("length", QByteArray::number(content.size()));
    out += '\n';
    return out;
}

std::optional<RecoveryCopy> RecoveryCopy::decode(QByteArray bytes)
{
    const bool first = bytes.startsWith(kMagic1);
    if (!first && !bytes.startsWith(kMagic))
        return std::nullopt;
    RecoveryCopy copy;
    qsizetype at = kMagic.size();
    qint64 length = -1;
    QString content = first ? QStringLiteral("rtf") : QString();
    for (;;) {
        const qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            return std::nullopt;
        const QByteArray line = bytes.mid(at, end - at);
        at = end + 1;
        if (line.isEmpty())
            break;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            return std::nullopt;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(eq + 1)));
        if (key == "document")
            copy.document = value;
        else if (key == "caption")
            copy.caption = value;
        else if (key == "time")
            copy.time = QDateTime::fromString(value, Qt::ISODateWithMs);
        else if (key == "pid")
            copy.pid = value.toLongLong();
        else if (key == "boot")
            copy.boot = value;
        else if (key == "started")
            copy.started = value.toLongLong();
        else if (key == "program")
            copy.program = value;
        else if (key == "length")
            length = value.toLongLong();
        else if (key == "content" && !first)
            content = value;
        else if (key == "format" && !first)
            copy.format = value;
    }
    // Content of a kind this program does not know is not taken for RTF.
    if (content != QLatin1String("rtf") && content != QLatin1String("text"))
        return std::nullopt;
    copy.kind = content == QLatin1String("text") ? Text : Rtf;
    // A copy cut short (or grown) is not taken for the document.
    if (!copy.time.isValid() || copy.pid <= 0 || length != bytes.size() - at)
        return std::nullopt;
    // The document stays where it was read, without a copy of it.
    bytes.remove(0, at);
    copy.content = std::move(bytes);
    return copy;
}

RecoveryCopy RecoveryCopy::ofThisProcess(const QString &document, const QString &caption,
                                         const QByteArray &content, Content kind, const QString &format)
{
    RecoveryCopy copy;
    copy.document = document;
    copy.caption = caption;
    copy.time = QDateTime::currentDateTimeUtc();
    copy.pid = ::getpid();
    copy.boot = currentBoot();
    copy.started = ownStart();
    static const QString program = programOf(::getpid());
    copy.program = program;
    copy.content = content;
    copy.kind = kind;
    copy.format = format;
    return copy;
}

bool RecoveryCopy::writerRunning() const
{
    if (boot != currentBoot() || startTicks(pid) != started)
        return false;
    // The same process, unless the process table cannot be read; then the
    // program it runs decides.
    const QString running = programOf(pid);
    return running.isEmpty() || running == program;
}

// ---------------------------------------------------------------------------
// RecoveryStore

RecoveryStore::RecoveryStore(const QString &program)
    : m_folder(stateHome() + u'/' + program + QStringLiteral("/recovery"))
{
    // The process id with this process's start, so that a copy left by an
    // earlier process with the same id is never overwritten, and a
    // temporary file tells whether its writer is still running.
    m_ownFile = m_folder + QStringLiteral("/%1-%2").arg(::getpid()).arg(ownStart()) + kSuffix;
}

bool RecoveryStore::write(const RecoveryCopy &copy, int *error) const
{
    const RecoveryPlan plan(*this, copy.encode());
    const int err = writeCopy(RawPlan(plan));
    if (error)
        *error = err;
    return err == 0;
}

void RecoveryStore::removeOwn() const
{
    QFile::remove(m_ownFile + QStringLiteral(".tmp"));
    QFile::remove(m_ownFile);
}

void RecoveryStore::removeStale() const
{
    const QString tmp = kSuffix + QStringLiteral(".tmp");
    for (const QFileInfo &info : QDir(m_folder).entryInfoList({QLatin1Char('*') + tmp}, QDir::Files | QDir::Hidden)) {
        // PID-START.recovery.tmp
        const QStringList id = info.fileName().chopped(tmp.size()).split(u'-');
        if (id.size() == 2 && id.at(0).toLongLong() > 0 && startTicks(id.at(0).toLongLong()) == id.at(1).toLongLong())
            continue;
        QFile::remove(info.absoluteFilePath());
    }
}

QList<RecoveryCopy> RecoveryStore::orphans(QStringList *unreadable) const
{
    QList<RecoveryCopy> found;
    QStringList bad;
    const QDir dir(m_folder);
    const QFileInfoList files =
        dir.entryInfoList({QLatin1Char('*') + kSuffix}, QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo &info : files) {
        if (info.absoluteFilePath() == QFileInfo(m_ownFile).absoluteFilePath())
            continue;
        QFile f(info.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly)) {
            bad << info.absoluteFilePath();
            continue;
        }
        std::optional<RecoveryCopy> copy = RecoveryCopy::decode(f.readAll());
        if (!copy || f.error() != QFileDevice::NoError) {
            bad << info.absoluteFilePath();
            continue;
        }
        if (copy->writerRunning())
            continue;
        copy->file = info.absoluteFilePath();
        found << *copy;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const RecoveryCopy &a, const RecoveryCopy &b) { return a.time > b.time; });
    // Marks whose copy has gone go too.
    for (const QFileInfo &mark : dir.entryInfoList({QLatin1Char('*') + kReportedSuffix}, QDir::Files)) {
        if (!QFileInfo::exists(mark.absoluteFilePath().chopped(kReportedSuffix.size())))
            QFile::remove(mark.absoluteFilePath());
    }
    if (unreadable)
        *unreadable = bad;
    return found;
}

bool RecoveryStore::discard(const QString &file)
{
    QFile::remove(file + kReportedSuffix);
    return QFile::remove(file);
}

bool RecoveryStore::reported(const QString &file) { return QFileInfo::exists(file + kReportedSuffix); }

void RecoveryStore::markReported(const QString &file)
{
    QFile mark(file + kReportedSuffix);
    if (mark.open(QIODevice::WriteOnly))
        mark.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// ---------------------------------------------------------------------------
// RecoveryWriter

RecoveryWriter::~RecoveryWriter()
{
    cancel();
    finished();
}

bool RecoveryWriter::start(const RecoveryStore &store, const QByteArray &bytes, int seconds, int *error)
{
    return start(RecoveryPlan(store, bytes), seconds, error);
}

bool RecoveryWriter::start(const RecoveryStore &store, const RecoveryCopy &copy, int seconds, int *error)
{
    // The document is written from where it is: a copy of a large one
    // would cost the window more than the fork.
    return start(RecoveryPlan(store, copy.content, copy.head()), seconds, error);
}

bool RecoveryWriter::start(const RecoveryPlan &plan, int seconds, int *error)
{
    if (running()) {
        if (error)
            *error = EBUSY;
        return false;
    }
    const RawPlan raw(plan);
    rlimit files{};
    const int maxFd = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                          ? int(std::min<rlim_t>(files.rlim_cur, 1 << 20))
                          : 1 << 16;
    // _Fork runs no fork handlers: nothing but the kernel's fork.
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    const pid_t child = ::_Fork();
#else
    const pid_t child = ::fork();
#endif
    if (child < 0) {
        if (error)
            *error = errno;
        return false;
    }
    if (child == 0)
        runChild(raw, unsigned(std::max(seconds, 1)), maxFd);
    m_child = child;
    m_cancelled = false;
    m_started = QDateTime::currentMSecsSinceEpoch();
    return true;
}

qint64 RecoveryWriter::runningFor() const
{
    return running() ? QDateTime::currentMSecsSinceEpoch() - m_started : 0;
}

std::optional<int> RecoveryWriter::finished()
{
    if (m_child <= 0)
        return std::nullopt;
    int status = 0;
    const pid_t r = ::waitpid(m_child, &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR))
        return std::nullopt;
    m_child = -1;
    if (m_cancelled)
        return ECANCELED;
    if (r < 0)
        return ECHILD;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Its own time limit, the file size limit (a full quota), or anything
    // else.
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        return ETIMEDOUT;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ ? EFBIG : EIO;
}

void RecoveryWriter::cancel()
{
    // Not reaped yet, so its process id cannot have passed to another.
    if (m_child > 0 && !m_cancelled) {
        ::kill(m_child, SIGKILL);
        m_cancelled = true;
    }
}

}  // namespace platform
