#include "recoverycopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

const QByteArray kMagic = QByteArrayLiteral("recovery copy 1\n");
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

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// RecoveryCopy

QByteArray RecoveryCopy::encode() const
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
    field("length", QByteArray::number(content.size()));
    out += '\n';
    out += content;
    return out;
}

std::optional<RecoveryCopy> RecoveryCopy::decode(const QByteArray &bytes)
{
    if (!bytes.startsWith(kMagic))
        return std::nullopt;
    RecoveryCopy copy;
    qsizetype at = kMagic.size();
    qint64 length = -1;
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
    }
    // A copy cut short (or grown) is not taken for the document.
    if (!copy.time.isValid() || copy.pid <= 0 || length != bytes.size() - at)
        return std::nullopt;
    copy.content = bytes.mid(at);
    return copy;
}

RecoveryCopy RecoveryCopy::ofThisProcess(const QString &document, const QString &caption,
                                         const QByteArray &content)
{
    RecoveryCopy copy;
    copy.document = document;
    copy.caption = caption;
    copy.time = QDateTime::currentDateTimeUtc();
    copy.pid = ::getpid();
    copy.boot = currentBoot();
    static const qint64 started = startTicks(::getpid());
    copy.started = started;
    static const QString program = programOf(::getpid());
    copy.program = program;
    copy.content = content;
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
    // earlier process with the same id is never overwritten.
    static const qint64 start = QDateTime::currentMSecsSinceEpoch();
    m_ownFile = m_folder + QStringLiteral("/%1-%2").arg(::getpid()).arg(start) + kSuffix;
}

bool RecoveryStore::write(const RecoveryCopy &copy, int *error) const
{
    const QByteArray bytes = copy.encode();
    const QByteArray folder = QFile::encodeName(m_folder);
    const QByteArray target = QFile::encodeName(m_ownFile);
    const QByteArray temp = target + ".tmp";
    int err = 0;
    if (!QDir().mkpath(m_folder)) {
        err = errno ? errno : EACCES;
    } else {
        // The program's folder and the copies' folder are the user's alone.
        ::chmod(QFile::encodeName(QFileInfo(m_folder).path()).constData(), 0700);
        ::chmod(folder.constData(), 0700);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            err = errno;
        } else {
            if (::fchmod(fd, 0600) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0)
                err = errno ? errno : EIO;
            if (::close(fd) != 0 && !err)
                err = errno;
            if (!err && ::rename(temp.constData(), target.constData()) != 0)
                err = errno;
            if (err) {
                ::unlink(temp.constData());
            } else if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
                // The rename itself reaches the disk.
                ::fsync(dir);
                ::close(dir);
            }
        }
    }
    if (error)
        *error = err;
    return err == 0;
}

void RecoveryStore::removeOwn() const
{
    QFile::remove(m_ownFile + QStringLiteral(".tmp"));
    QFile::remove(m_ownFile);
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

RecoveryWriter::~RecoveryWriter() { cancel(); }

bool RecoveryWriter::start(const RecoveryStore &store, const RecoveryCopy &copy,
                           const std::function<QByteArray()> &content)
{
    if (running())
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // The child: serialise the snapshot, write it and leave without
        // running anything of the parent's (no destructors, no handlers).
        int err = 0;
        try {
            RecoveryCopy whole = copy;
            whole.content = content();
            store.write(whole, &err);
        } catch (...) {
            err = ENOMEM;
        }
        ::_exit(err > 0 && err < 256 ? err : (err ? EIO : 0));
    }
    m_child = child;
    return true;
}

std::optional<int> RecoveryWriter::finished()
{
    if (m_child <= 0)
        return std::nullopt;
    int status = 0;
    const pid_t r = ::waitpid(m_child, &status, WNOHANG);
    if (r == 0)
        return std::nullopt;
    m_child = -1;
    if (r < 0)
        return ECHILD;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Killed by the file size limit (a full quota), or anything else.
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ ? EFBIG : EIO;
}

void RecoveryWriter::cancel()
{
    if (m_child <= 0)
        return;
    ::kill(m_child, SIGKILL);
    while (::waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_child = -1;
}

}  // namespace platform
