#include "engine.h"

#include <algorithm>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace sessions {

// =============================================================================
// Rows

namespace {

bool plainWord(const QString &w)
{
    if (w.isEmpty())
        return false;
    for (const QChar c : w) {
        if (c == u'"' || c == u'%' || c == u';' || c == u'#' || c.isSpace() || c.unicode() < 32 || c.unicode() == 127)
            return false;
    }
    return true;
}

}  // namespace

QString quoted(const QString &word)
{
    if (plainWord(word))
        return word;
    QString out = QStringLiteral("\"");
    for (const QChar c : word) {
        if (c == u'"' || c == u'%' || c.unicode() < 32 || c.unicode() == 127 || c == QChar(0x2028) || c == QChar(0x2029))
            // %XX, or %%XXXX for a character past U+00FF.
            out += (c.unicode() > 0xFF ? QStringLiteral("%%") : QStringLiteral("%"))
                   + QStringLiteral("%1").arg(c.unicode(), c.unicode() > 0xFF ? 4 : 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out + u'"';
}

QStringList splitWords(const QString &text, bool *ok)
{
    QStringList out;
    bool good = true;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        if (text.at(i) == u'"') {
            QString w;
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = text.at(i);
                if (c == u'"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (c == u'%') {
                    const bool wide = i + 1 < n && text.at(i + 1) == u'%';
                    const int digits = wide ? 4 : 2;
                    const qsizetype from = i + (wide ? 2 : 1);
                    bool hex = false;
                    const uint code = text.mid(from, digits).toUInt(&hex, 16);
                    if (!hex || from + digits > n) {
                        good = false;
                        w += c;
                        ++i;
                        continue;
                    }
                    w += QChar(char16_t(code));
                    i = from + digits;
                    continue;
                }
                w += c;
                ++i;
            }
            if (!closed)
                good = false;
            out << w;
        } else {
            const qsizetype start = i;
            while (i < n && !text.at(i).isSpace())
                ++i;
            out << text.mid(start, i - start);
        }
    }
    if (ok)
        *ok = good;
    return out;
}

QString formatAction(const Action &a)
{
    QStringList parts{a.verb};
    for (const QString &arg : a.args)
        parts << quoted(arg);
    QString line = parts.join(u' ');
    for (const QString &answer : a.answers) {
        QStringList w = answer.split(u' ');
        const QString kind = w.takeFirst();
        const QString rest = w.join(u' ');
        line += QStringLiteral(" ; ") + kind;
        if (!rest.isEmpty() || answer.endsWith(u' '))
            line += u' ' + quoted(rest);
    }
    return line;
}

std::optional<Action> parseAction(const QString &line, QString *error)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u'#'))
        return std::nullopt;
    bool ok = true;
    const QStringList words = splitWords(t, &ok);
    if (!ok && error)
        *error = QStringLiteral("bad quoting: ") + line;
    Action a;
    int i = 0;
    a.verb = words.value(i++);
    for (; i < words.size() && words.at(i) != u";"; ++i)
        a.args << words.at(i);
    while (i < words.size() && words.at(i) == u";") {
        ++i;
        QStringList answer;
        for (; i < words.size() && words.at(i) != u";"; ++i)
            answer << words.at(i);
        // "save" followed by the path: the answer is its kind and one value.
        if (answer.size() > 2)
            answer = QStringList{answer.first(), answer.mid(1).join(u' ')};
        a.answers << answer.join(u' ');
    }
    return a;
}

QList<Action> readRow(const QString &path, QString *header, QString *error)
{
    QList<Action> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read ") + path;
        return out;
    }
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.trimmed().startsWith(u'#')) {
            if (header)
                *header += line + u'\n';
            continue;
        }
        if (auto a = parseAction(line, error))
            out << *a;
    }
    return out;
}

bool writeRow(const QString &path, const QList<Action> &actions, const QString &header)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray out;
    for (const QString &h : header.split(u'\n', Qt::SkipEmptyParts))
        out += (h.startsWith(u'#') ? h : QStringLiteral("# ") + h).toUtf8() + '\n';
    for (const Action &a : actions)
        out += formatAction(a).toUtf8() + '\n';
    return f.write(out) == out.size();
}

// =============================================================================
// Randomness

int Rng::below(int n)
{
    if (n <= 1)
        return 0;
    return int(std::uniform_int_distribution<int>(0, n - 1)(m_gen));
}

int Rng::between(int lo, int hi) { return lo + below(hi - lo + 1); }

bool Rng::chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_gen) < p; }

int Rng::weighted(const QList<double> &weights)
{
    double total = 0;
    for (double w : weights)
        total += w;
    double x = std::uniform_real_distribution<double>(0, total)(m_gen);
    for (int i = 0; i < weights.size(); ++i) {
        if (x < weights.at(i))
            return i;
        x -= weights.at(i);
    }
    return int(weights.size()) - 1;
}

quint64 sessionSeed(quint64 runSeed, int session)
{
    // splitmix64 of the run's seed and the session's number.
    quint64 z = runSeed + 0x9E3779B97F4A7C15ull * quint64(session + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (z ^ (z >> 31)) & 0xFFFFFFFFFFFFull;   // short enough to type
}

// =============================================================================
// Files

Snapshot Snapshot::take(const QStringList &roots)
{
    Snapshot s;
    for (const QString &root : roots) {
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info = it.fileInfo();
            Entry e;
            e.dir = info.isDir() && !info.isSymLink();
            if (!e.dir) {
                QFile f(path);
                if (f.open(QIODevice::ReadOnly))
                    e.bytes = f.readAll();
            }
            s.entries.insert(path, e);
        }
    }
    return s;
}

const Snapshot::Entry *Snapshot::find(const QString &path) const
{
    const auto it = entries.constFind(QDir::cleanPath(path));
    return it == entries.constEnd() ? nullptr : &*it;
}

bool Snapshot::hasFile(const QString &path) const
{
    const Entry *e = find(path);
    return e && !e->dir;
}

QList<FileChange> diff(const Snapshot &before, const Snapshot &after)
{
    QList<FileChange> out;
    for (auto it = after.entries.constBegin(); it != after.entries.constEnd(); ++it) {
        const auto old = before.entries.constFind(it.key());
        if (old == before.entries.constEnd())
            out << FileChange{FileChange::Added, it.key()};
        else if (old->dir != it->dir || old->bytes != it->bytes)
            out << FileChange{FileChange::Modified, it.key()};
    }
    for (auto it = before.entries.constBegin(); it != before.entries.constEnd(); ++it)
        if (!after.entries.contains(it.key()))
            out << FileChange{FileChange::Removed, it.key()};
    return out;
}

QString describeChange(const FileChange &c)
{
    switch (c.kind) {
    case FileChange::Added: return c.path + QStringLiteral(" appeared");
    case FileChange::Removed: return c.path + QStringLiteral(" vanished");
    case FileChange::Modified: return c.path + QStringLiteral(" changed");
    }
    return c.path;
}

bool samePath(const QString &a, const QString &b)
{
    const QString x = QDir::cleanPath(a);
    const QString y = QDir::cleanPath(b);
    return x == y || x.compare(y, Qt::CaseInsensitive) == 0;
}

Sandbox::Sandbox(const QString &base) : m_root(QDir::cleanPath(base)) {}

Sandbox::~Sandbox() { wipe(); }

void Sandbox::wipe()
{
    if (m_root.isEmpty() || !QFileInfo::exists(m_root))
        return;
    // Read-only folders take no removal: give them back their rights first.
    QDirIterator it(m_root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    QFile::setPermissions(m_root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(m_root).removeRecursively();
}

void Sandbox::reset()
{
    wipe();
    for (const QString &d : {home(), driveC(), print(), xdg(QStringLiteral("config")), xdg(QStringLiteral("data")),
                             xdg(QStringLiteral("state")), xdg(QStringLiteral("cache")), xdg(QStringLiteral("runtime"))})
        QDir().mkpath(d);
    QFile::setPermissions(xdg(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home().toLocal8Bit());
    qputenv("WINEPREFIX", wine().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", xdg(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", xdg(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", xdg(QStringLiteral("state")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", xdg(QStringLiteral("cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", xdg(QStringLiteral("runtime")).toLocal8Bit());
}

void Sandbox::write(const QString &path, const QByteArray &bytes) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("sandbox: cannot write %s", qPrintable(path));
}

void Sandbox::makeReadOnly(const QString &path) const
{
    const bool dir = QFileInfo(path).isDir();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther
                                    | (dir ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFile::Permissions()));
}

bool Sandbox::runningAsRoot() { return ::geteuid() == 0; }

// =============================================================================
// Dialogs

QString kindWord(Kind k)
{
    switch (k) {
    case Kind::Message: return QStringLiteral("message");
    case Kind::Input: return QStringLiteral("input");
    case Kind::OpenFile: return QStringLiteral("open");
    case Kind::SaveFile: return QStringLiteral("save");
    case Kind::Color: return QStringLiteral("color");
    case Kind::Printer: return QStringLiteral("printer");
    case Kind::PageSetup: return QStringLiteral("pagesetup");
    }
    return {};
}

QStringList messageAnswers(int buttons)
{
    switch (buttons & 7) {
    case vb::vbOKCancel: return {QStringLiteral("OK"), QStringLiteral("Cancel")};
    case vb::vbYesNoCancel: return {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Cancel")};
    case vb::vbYesNo: return {QStringLiteral("Yes"), QStringLiteral("No")};
    default: return {QStringLiteral("OK")};
    }
}

bool Program::harmlessMessage(const QString &m) const
{
    // The offscreen desktop's own notes, not the program's.
    static const QStringList environment{
        QStringLiteral("This plugin does not support"),
        QStringLiteral("QStandardPaths: "),
        QStringLiteral("propagateSizeHints"),
    };
    return std::any_of(environment.begin(), environment.end(), [&](const QString &e) { return m.contains(e); });
}

QString Program::defaultAnswer(const Prompt &p) const
{
    switch (p.kind) {
    case Kind::Message: {
        const QStringList offered = messageAnswers(p.buttons);
        return QStringLiteral("message ") + (offered.contains(QStringLiteral("Cancel")) ? QStringLiteral("Cancel") : offered.last());
    }
    case Kind::Input: return QStringLiteral("input ");
    case Kind::OpenFile: return QStringLiteral("open cancel");
    case Kind::SaveFile: return QStringLiteral("save cancel");
    case Kind::Color: return QStringLiteral("color cancel");
    case Kind::Printer: return QStringLiteral("printer cancel");
    case Kind::PageSetup: return QStringLiteral("pagesetup cancel");
    }
    return {};
}

// =============================================================================
// Qt messages

namespace {
QMutex g_messagesLock;
QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;
bool g_echo = false;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
        const QString category = QString::fromLatin1(context.category ? context.category : "default");
        QMutexLocker lock(&g_messagesLock);
        g_messages << (category == u"default" ? message : category + QStringLiteral(": ") + message);
    }
    if (g_echo || type == QtFatalMsg)
        g_previousHandler(type, context, message);
}
}  // namespace

void installMessageCapture()
{
    g_echo = qEnvironmentVariableIsSet("SESSIONS_VERBOSE");
    g_previousHandler = qInstallMessageHandler(capture);
}

QStringList takeQtWarnings()
{
    QMutexLocker lock(&g_messagesLock);
    return std::exchange(g_messages, {});
}

namespace {
// run_delay of every thread of this process and its descendants.
QHash<qint64, qint64> treeRunDelays()
{
    QHash<qint64, QList<qint64>> children;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');  // the name may hold blanks
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (close > 0 && fields.size() > 1)
            children[fields[1].toLongLong()].append(pid);
    }
    QHash<qint64, qint64> delays;
    QList<qint64> todo{qint64(::getpid())};
    while (!todo.isEmpty()) {
        const qint64 pid = todo.takeLast();
        todo += children.value(pid);
        const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
        for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile f(tasks + u'/' + tid + QStringLiteral("/schedstat"));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> v = f.readAll().split(' ');
            if (v.size() > 1)
                delays.insert(tid.toLongLong(), v[1].toLongLong());
        }
    }
    return delays;
}
}  // namespace

// =============================================================================
// The hang watch: an action whose events take over the limit, or a user
// interface thread that stops turning its event loop, ends the process
// with a report the supervisor reads.

namespace {
std::atomic<qint64> g_performSince{0};   // 0: no action's events under way
std::atomic<qint64> g_delaySince{0};     // the window thread's CPU wait then
std::atomic<qint64> g_beat{0};
std::atomic<qint64> g_delayAtBeat{0};
std::atomic<int> g_actionIndex{-1};
std::atomic<bool> g_watching{false};
std::atomic<pid_t> g_uiThread{0};
constexpr int kHangExit = 88;
constexpr int kSanitizerExit = 86;

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

int hangLimitMs()
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue("SESSIONS_HANG_MS", &ok);
    return ok && v > 0 ? v : 5000;
}

void startAction()
{
    g_delaySince = cpuWaitMs();
    g_performSince = nowMs();
}

void startWatch(QObject *context)
{
    if (g_watching.exchange(true))
        return;
    g_uiThread = pid_t(::gettid());
    auto *beat = new QTimer(context);
    QObject::connect(beat, &QTimer::timeout, [] {
        g_delayAtBeat = cpuWaitMs();
        g_beat = nowMs();
    });
    beat->start(100);
    g_delayAtBeat = cpuWaitMs();
    g_beat = nowMs();
    std::thread([] {
        const int limit = hangLimitMs();
        // The window thread may wait on other threads or processes (a web
        // engine's): each look adds the longest any of them stood ready
        // since the last look, for the action and for the beat.
        QHash<qint64, qint64> last;
        qint64 seenSince = 0, seenBeat = 0, heldAction = 0, heldBeat = 0;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const qint64 since = g_performSince;
            if (since == 0) {
                last.clear();
                continue;
            }
            const QHash<qint64, qint64> delays = treeRunDelays();
            qint64 tick = 0;
            if (!last.isEmpty())
                for (auto it = delays.cbegin(); it != delays.cend(); ++it)
                    tick = std::max(tick, (it.value() - last.value(it.key(), 0)) / 1000000);
            last = delays;
            const qint64 beat = g_beat;
            heldAction = since == seenSince ? heldAction + tick : 0;
            heldBeat = beat == seenBeat ? heldBeat + tick : 0;
            seenSince = since;
            seenBeat = beat;
            // What the program did, not what the machine did: the time it
            // stood ready while other work had the CPUs does not count.
            const qint64 now = nowMs();
            const qint64 delay = cpuWaitMs();
            const qint64 wall = now - since, queued = std::max(delay - g_delaySince, heldAction);
            const qint64 silent = now - g_beat, silentQueued = std::max(delay - g_delayAtBeat, heldBeat);
            const bool busy = wall - queued > limit;
            const bool stuck = silent - silentQueued > limit;
            if (busy || stuck) {
                const QByteArray line = QStringLiteral("@hang %1 action %2 took over %3 ms%4 (%5 ms by the clock, %6 of them waiting for a CPU)\n")
                                            .arg(g_actionIndex.load())
                                            .arg(g_actionIndex.load())
                                            .arg(limit)
                                            .arg(stuck ? QStringLiteral(" (the event loop stopped turning)")
                                                       : QStringLiteral(" (inside a nested event loop)"))
                                            .arg(stuck ? silent : wall)
                                            .arg(stuck ? silentQueued : queued)
                                            .toUtf8();
                (void)!::write(1, line.constData(), size_t(line.size()));
                ::_exit(kHangExit);
            }
        }
    }).detach();
}
}  // namespace

qint64 cpuWaitMs()
{
    // schedstat: time on a CPU, time waiting for one (run_delay), slices; ns.
    static const pid_t self = pid_t(::gettid());
    const pid_t tid = g_uiThread ? g_uiThread.load() : self;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", int(tid));
    FILE *f = std::fopen(path, "re");
    if (!f)
        return 0;
    unsigned long long onCpu = 0, waiting = 0;
    const int n = std::fscanf(f, "%llu %llu", &onCpu, &waiting);
    std::fclose(f);
    return n == 2 ? qint64(waiting / 1000000) : 0;
}

CpuWaitWatch::CpuWaitWatch() : m_start(treeRunDelays()) {}

qint64 CpuWaitWatch::longestMs() const
{
    qint64 longest = 0;
    const QHash<qint64, qint64> now = treeRunDelays();
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        longest = std::max(longest, it.value() - m_start.value(it.key(), 0));
    return longest / 1000000;
}

Waiting::Waiting() : m_since(g_performSince.exchange(0)), m_start(nowMs()), m_delayStart(cpuWaitMs()) {}

Waiting::~Waiting()
{
    // The action's clock goes on from where it stopped.
    if (m_since != 0) {
        g_delaySince = g_delaySince + (cpuWaitMs() - m_delayStart);
        g_performSince = nowMs() - (m_start - m_since);
    }
}

// =============================================================================
// Sessions

Engine::Engine(Program &program, const QString &sandboxBase)
    : m_program(program), m_sandbox(std::make_unique<Sandbox>(sandboxBase)),
      m_host(std::make_unique<ScriptedDialogHost>())
{
    program.engine = this;
    m_host->setResponder([this](const Prompt &p) { respond(p); });
    startWatch(QCoreApplication::instance());
}

Engine::~Engine() = default;

void Engine::emitLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Engine::amendLast(const QString &answer)
{
    if (!m_exchanges.isEmpty())
        m_exchanges.last().answer = answer;
}

void Engine::respond(const Prompt &p)
{
    const QString answer = take(p);
    const QString v = p.kind == Kind::Message || p.kind == Kind::Input ? answer.section(u' ', 1)
                                                                       : m_program.expand(answer.section(u' ', 1));
    feedHost(p, v, v == u"cancel");
}

QString Engine::take(const Prompt &p)
{
    QString answer;
    const QString kind = kindWord(p.kind);
    if (m_replaying) {
        const QStringList &recorded = m_current ? m_current->answers : QStringList();
        for (int i = m_replayAnswer; i < recorded.size(); ++i) {
            if (recorded.at(i).section(u' ', 0, 0) == kind) {
                answer = recorded.at(i);
                m_replayAnswer = i + 1;
                break;
            }
        }
        if (answer.isEmpty())
            answer = m_program.defaultAnswer(p);
    } else {
        answer = m_program.answer(p, *m_rng);
    }
    // A message answer the box does not offer is taken as its default.
    const QString value = answer.section(u' ', 1);
    if (p.kind == Kind::Message && !messageAnswers(p.buttons).contains(value))
        answer = m_program.defaultAnswer(p);
    m_exchanges << Exchange{p, answer};
    if (announce)
        emitLine(QStringLiteral("@answer %1 %2").arg(m_index).arg(answer));
    return answer;
}

void Engine::feedHost(const Prompt &p, const QString &v, bool cancel)
{
    switch (p.kind) {
    case Kind::Message: {
        static const QMap<QString, int> codes{{QStringLiteral("OK"), vb::vbOK},
                                              {QStringLiteral("Cancel"), vb::vbCancel},
                                              {QStringLiteral("Yes"), vb::vbYes},
                                              {QStringLiteral("No"), vb::vbNo}};
        m_host->answerMessage(codes.value(v, vb::vbCancel));
        break;
    }
    case Kind::Input: m_host->answerInput(v); break;
    case Kind::OpenFile: m_host->answerOpenFile(cancel ? QString() : v); break;
    case Kind::SaveFile: m_host->answerSaveFile(cancel ? QString() : v); break;
    case Kind::Color: m_host->answerColor(cancel ? std::nullopt : std::optional<QColor>(QColor(v))); break;
    case Kind::Printer:
        if (cancel) {
            m_host->answerPrinter(false);
        } else {
            // "pdf PATH": printing to a PDF file.
            const QString path = v.section(u' ', 1);
            m_host->answerPrinter(true, [path](QPrinter *printer) {
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(path);
            });
        }
        break;
    case Kind::PageSetup: m_host->answerPageSetup(!cancel); break;
    }
}

Outcome Engine::run(const std::function<std::optional<Action>(int, Rng &)> &next, quint64 seed)
{
    Outcome out;
    Rng rng(seed);
    m_rng = &rng;
    m_sandbox->reset();
    printedPdfs = 0;
    m_program.populate(*m_sandbox);
    m_host->clear();
    takeQtWarnings();
    for (int i = 0;; ++i) {
        const std::optional<Action> planned = next(i, rng);
        if (!planned)
            break;
        Action act = *planned;
        m_current = &act;
        m_replayAnswer = 0;
        m_exchanges.clear();
        m_index = i;
        if (announce) {
            Action bare = act;
            bare.answers.clear();
            emitLine(QStringLiteral("@action %1 %2").arg(i).arg(formatAction(bare)));
        }
        m_program.before(act);
        g_actionIndex = i;
        g_delayAtBeat = cpuWaitMs();
        g_beat = nowMs();
        startAction();
        if (i == 0)
            m_program.start(act);
        else
            m_program.perform(act);
        g_performSince = 0;
        m_current = nullptr;
        act.answers.clear();
        for (const Exchange &e : std::as_const(m_exchanges))
            act.answers << e.answer;
        out.actions << act;

        QList<Violation> found = m_program.check(act, m_exchanges);
        for (const QString &w : takeQtWarnings())
            if (!m_program.harmlessMessage(w))
                found << Violation{QStringLiteral("qt-warning"), w};
        found.removeIf([this](const Violation &v) { return ignored.contains(v.rule); });
        if (!found.isEmpty()) {
            out.violation = found.first();
            out.violationAt = i;
            break;
        }
        if (m_program.ended()) {
            out.ended = true;
            break;
        }
    }
    m_program.finish();
    m_host->clear();
    m_rng = nullptr;
    return out;
}

Outcome Engine::generate(quint64 seed, int maxActions)
{
    m_replaying = false;
    return run(
        [&](int i, Rng &rng) -> std::optional<Action> {
            if (i == 0)
                return m_program.startAction(rng);
            if (i > maxActions)
                return std::nullopt;
            return m_program.nextAction(rng);
        },
        seed);
}

Outcome Engine::replay(const QList<Action> &actions)
{
    m_replaying = true;
    Outcome out = run(
        [&](int i, Rng &) -> std::optional<Action> {
            if (i >= actions.size())
                return std::nullopt;
            return actions.at(i);
        },
        0);
    m_replaying = false;
    return out;
}

QList<Action> shrinkList(QList<Action> cur, qint64 deadlineMs,
                         const std::function<bool(const QList<Action> &, QList<Action> *cut)> &fails)
{
    int parts = 2;
    while (cur.size() > 2 && QDateTime::currentMSecsSinceEpoch() < deadlineMs) {
        const int body = int(cur.size()) - 1;   // the start action stays
        const int chunk = std::max(1, body / parts);
        bool reduced = false;
        for (int from = 1; from < cur.size() && QDateTime::currentMSecsSinceEpoch() < deadlineMs; from += chunk) {
            QList<Action> candidate = cur;
            candidate.remove(from, std::min<qsizetype>(chunk, candidate.size() - from));
            QList<Action> cut;
            if (fails(candidate, &cut)) {
                cur = cut.isEmpty() ? candidate : cut;
                parts = std::max(parts - 1, 2);
                reduced = true;
                break;
            }
        }
        if (!reduced) {
            if (chunk == 1)
                break;
            parts = std::min(parts * 2, body);
        }
    }
    return cur;
}

// =============================================================================
// The three kinds of process

namespace {

struct Options {
    int seconds = 30;
    quint64 seed = 1;
    bool seedGiven = false;
    QString rows;
    QString found;
    int shrinkSeconds = 120;
    int shrinkTotal = -1;   // all the shrinking of a run; 4 x shrinkSeconds unless given
    int maxActions = 120;
    // worker
    bool worker = false;
    int from = 0;
    qint64 until = 0;
    // replay
    QString replay;
    QStringList ignore;
};

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        const QString v = args.value(i + 1);
        auto take = [&] { ++i; return v; };
        if (a == u"--seconds") o.seconds = take().toInt();
        else if (a == u"--seed") { o.seed = take().toULongLong(); o.seedGiven = true; }
        else if (a == u"--rows") o.rows = take();
        else if (a == u"--found") o.found = take();
        else if (a == u"--shrink-seconds") o.shrinkSeconds = take().toInt();
        else if (a == u"--shrink-total") o.shrinkTotal = take().toInt();
        else if (a == u"--max-actions") o.maxActions = take().toInt();
        else if (a == u"--worker") o.worker = true;
        else if (a == u"--from") o.from = take().toInt();
        else if (a == u"--until") o.until = take().toLongLong();
        else if (a == u"--replay") o.replay = take();
        else if (a == u"--ignore") o.ignore = take().split(u',', Qt::SkipEmptyParts);
    }
    if (o.shrinkTotal < 0)
        o.shrinkTotal = 4 * o.shrinkSeconds;
    return o;
}

QString sandboxBase(const QString &program, qint64 pid = QCoreApplication::applicationPid())
{
    const QString base = qEnvironmentVariableIsSet("SESSIONS_TMP") ? qEnvironmentVariable("SESSIONS_TMP") : QDir::tempPath();
    return base + QStringLiteral("/%1-sessions-%2").arg(program).arg(pid);
}

QString oneLine(QString s)
{
    s.replace(u'\n', QStringLiteral(" | "));
    s.replace(u'\r', u' ');
    return s;
}

// A replayed list that breaks rule, cut after the action that broke it; or
// nothing.
std::optional<QList<Action>> replayBreaks(Engine &engine, const QList<Action> &candidate, const QString &rule)
{
    const Outcome o = engine.replay(candidate);
    if (!o.violation || o.violation->rule != rule)
        return std::nullopt;
    return o.actions.mid(0, o.violationAt + 1);
}

// Shrinks in this process and prints the violation with its row. The time
// left for shrinking in this run goes down by what it takes.
void reportViolation(Engine &engine, const Outcome &first, quint64 seed, int session, const Options &o, qint64 &shrinkLeftMs)
{
    const QString rule = first.violation->rule;
    QList<Action> best = first.actions.mid(0, first.violationAt + 1);
    const qint64 started = nowMs();
    const qint64 deadline = started + std::min(qint64(o.shrinkSeconds) * 1000, std::max<qint64>(shrinkLeftMs, 0));
    const bool announce = engine.announce;
    engine.announce = false;
    best = shrinkList(best, deadline, [&](const QList<Action> &c, QList<Action> *cut) {
        const std::optional<QList<Action>> got = replayBreaks(engine, c, rule);
        if (got && cut)
            *cut = *got;
        return bool(got);
    });
    // Once more, for the answers as given and the violation as it shows.
    Violation v = *first.violation;
    if (const Outcome last = engine.replay(best); last.violation && last.violation->rule == rule) {
        best = last.actions.mid(0, last.violationAt + 1);
        v = *last.violation;
    }
    engine.announce = announce;
    shrinkLeftMs -= nowMs() - started;
    Engine::emitLine(QStringLiteral("@violation %1 %2 %3 %4 %5")
                         .arg(session).arg(seed).arg(first.violationAt + 1).arg(rule, oneLine(v.detail)));
    for (const Action &a : best)
        Engine::emitLine(QStringLiteral("@row ") + formatAction(a));
    Engine::emitLine(QStringLiteral("@endrow"));
}

int runWorker(Program &program, const Options &o)
{
    Engine engine(program, sandboxBase(program.name()));
    engine.announce = true;
    engine.ignored = o.ignore;
    int sessions = 0;
    qint64 actions = 0;
    int violations = 0;
    qint64 shrinkLeftMs = qint64(o.shrinkTotal) * 1000;
    for (int n = o.from; nowMs() < o.until; ++n) {
        const quint64 seed = sessionSeed(o.seed, n);
        Rng lengths(seed ^ 0x5EED);
        const int maxActions = lengths.between(3, o.maxActions);
        Engine::emitLine(QStringLiteral("@session %1 %2").arg(n).arg(seed));
        const Outcome out = engine.generate(seed, maxActions);
        ++sessions;
        actions += out.actions.size();
        Engine::emitLine(QStringLiteral("@end %1 %2 %3").arg(n).arg(out.actions.size()).arg(out.ended ? "ended" : "stopped"));
        if (out.violation) {
            ++violations;
            reportViolation(engine, out, seed, n, o, shrinkLeftMs);
        }
    }
    Engine::emitLine(QStringLiteral("@done %1 %2 %3").arg(sessions).arg(actions).arg(violations));
    return 0;
}

int runReplay(Program &program, const Options &o)
{
    QString header, error;
    const QList<Action> actions = readRow(o.replay, &header, &error);
    if (!error.isEmpty() || actions.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(o.replay), qPrintable(error.isEmpty() ? QStringLiteral("no actions") : error));
        return 2;
    }
    Engine engine(program, sandboxBase(program.name()));
    engine.announce = true;
    engine.ignored = o.ignore;
    const Outcome out = engine.replay(actions);
    if (out.violation) {
        Engine::emitLine(QStringLiteral("@violation 0 0 %1 %2 %3")
                             .arg(out.violationAt + 1).arg(out.violation->rule, oneLine(out.violation->detail)));
        return 1;
    }
    return 0;
}

// --- the supervisor ------------------------------------------------------------------

struct Child {
    int exitCode = 0;
    bool crashed = false;
    bool timedOut = false;
    QStringList lines;
    QByteArray err;
};

// What ended a child that did not end normally: the rule and its detail.
std::optional<Violation> fatal(const Child &c)
{
    for (const QString &l : c.lines)
        if (l.startsWith(QStringLiteral("@hang ")))
            return Violation{QStringLiteral("hang"), l.section(u' ', 2)};
    if (c.timedOut)
        return Violation{QStringLiteral("hang"), QStringLiteral("the replay did not end")};
    const QString err = QString::fromUtf8(c.err);
    const QRegularExpression report(QStringLiteral("(ERROR: AddressSanitizer[^\\n]*|runtime error:[^\\n]*|ERROR: LeakSanitizer[^\\n]*)"));
    if (const auto m = report.match(err); m.hasMatch())
        return Violation{QStringLiteral("sanitizer"), m.captured(1)};
    if (c.crashed || c.exitCode == kSanitizerExit)
        return Violation{QStringLiteral("crash"), err.right(600).trimmed().isEmpty()
                                                      ? QStringLiteral("the program crashed")
                                                      : QStringLiteral("the program crashed: ") + oneLine(err.right(600).trimmed())};
    return std::nullopt;
}

QString g_programName;

Child runChild(const QStringList &args, int timeoutMs, const std::function<void(const QString &)> &onLine = {})
{
    Child c;
    QProcess p;
    p.setProgram(QCoreApplication::applicationFilePath());
    p.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A sanitizer's report ends the process with an exit code of its own.
    // Chromium inside the web engine is not built with the sanitizer and
    // frees with sizes the sanitizer cannot follow: that check is the one
    // left out where it runs (a mismatch of its own, not of this code).
    const QString chromium = g_programName.contains(QLatin1String("vennik")) ? QStringLiteral(":new_delete_type_mismatch=0") : QString();
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS"))
                                                   + QStringLiteral(":exitcode=%1:detect_leaks=0").arg(kSanitizerExit) + chromium);
    env.insert(QStringLiteral("UBSAN_OPTIONS"),
               env.value(QStringLiteral("UBSAN_OPTIONS")) + QStringLiteral(":exitcode=%1:print_stacktrace=1").arg(kSanitizerExit));
    p.setProcessEnvironment(env);
    QByteArray pending;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, [&] {
        pending += p.readAllStandardOutput();
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl));
            pending.remove(0, nl + 1);
            c.lines << line;
            if (onLine)
                onLine(line);
        }
    });
    QObject::connect(&p, &QProcess::readyReadStandardError, [&] {
        const QByteArray e = p.readAllStandardError();
        c.err += e;
        if (c.err.size() > 200000)
            c.err = c.err.right(100000);
        if (qEnvironmentVariableIsSet("SESSIONS_VERBOSE"))
            std::fwrite(e.constData(), 1, size_t(e.size()), stderr);
    });
    p.start();
    p.waitForStarted();
    const qint64 pid = p.processId();
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning) {
        if (timeoutMs > 0 && t.elapsed() > timeoutMs) {
            c.timedOut = true;
            p.kill();
            p.waitForFinished(5000);
            break;
        }
        p.waitForFinished(100);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    pending += p.readAllStandardOutput();
    for (const QByteArray &l : pending.split('\n'))
        if (!l.isEmpty())
            c.lines << QString::fromUtf8(l);
    c.err += p.readAllStandardError();
    c.crashed = p.exitStatus() == QProcess::CrashExit;
    c.exitCode = p.exitCode();
    // A child that died leaves its sandbox behind.
    if (pid > 0)
        const Sandbox leftover(sandboxBase(g_programName, pid));
    return c;
}

struct Tally {
    int sessions = 0;
    qint64 actions = 0;
    int violations = 0;
};

class Supervisor {
public:
    Supervisor(const QString &program, const Options &o) : m_program(program), m_o(o) {}

    int run()
    {
        std::printf("%s sessions: seed %llu, %d s%s%s\n", qPrintable(m_program), (unsigned long long)m_o.seed, m_o.seconds,
                    m_o.seedGiven ? "" : " (a random seed; SOAK_SEED or --seed chooses one)",
                    m_o.ignore.isEmpty() ? "" : qPrintable(QStringLiteral(", rules let pass: ") + m_o.ignore.join(u',')));
        std::fflush(stdout);
        replayRows();
        m_shrinkLeftS = m_o.shrinkTotal;
        const qint64 until = nowMs() + qint64(m_o.seconds) * 1000;
        int from = 0;
        while (nowMs() < until) {
            m_actions.clear();
            m_session = -1;
            QStringList args{QStringLiteral("--worker"), QStringLiteral("--seed"), QString::number(m_o.seed),
                             QStringLiteral("--from"), QString::number(from), QStringLiteral("--until"), QString::number(until),
                             QStringLiteral("--shrink-seconds"), QString::number(m_o.shrinkSeconds),
                             QStringLiteral("--shrink-total"), QString::number(m_shrinkLeftS),
                             QStringLiteral("--max-actions"), QString::number(m_o.maxActions),
                             QStringLiteral("--ignore"), m_o.ignore.join(u',')};
            bool done = false;
            const Child c = runChild(args, 0, [&](const QString &line) { done |= follow(line); });
            if (done && !c.crashed && c.exitCode == 0)
                break;
            const std::optional<Violation> v = fatal(c);
            if (m_session < 0) {
                std::printf("the worker ended before its first session (exit %d)\n%s\n", c.exitCode, c.err.right(2000).constData());
                ++m_tally.violations;
                break;
            }
            ++m_tally.sessions;
            m_tally.actions += m_actions.size();
            ++m_tally.violations;
            shrinkFatal(v.value_or(Violation{QStringLiteral("crash"), QStringLiteral("the worker ended (exit %1)").arg(c.exitCode)}));
            from = m_session + 1;
        }
        std::printf("%s: %d sessions, %lld actions, %d violations\n", qPrintable(m_program), m_tally.sessions,
                    (long long)m_tally.actions, m_tally.violations);
        std::printf("@tally %d %lld %d\n", m_tally.sessions, (long long)m_tally.actions, m_tally.violations);
        std::fflush(stdout);
        return m_tally.violations == 0 ? 0 : 1;
    }

private:
    // Follows the worker's protocol; true at its last line.
    bool follow(const QString &line)
    {
        const QStringList w = line.split(u' ');
        const QString tag = w.value(0);
        if (tag == u"@session") {
            m_session = w.value(1).toInt();
            m_seed = w.value(2).toULongLong();
            m_actions.clear();
        } else if (tag == u"@action") {
            const int i = w.value(1).toInt();
            if (auto a = parseAction(line.section(u' ', 2)); a && i == m_actions.size())
                m_actions << *a;
        } else if (tag == u"@answer") {
            const int i = w.value(1).toInt();
            if (i >= 0 && i < m_actions.size())
                m_actions[i].answers << line.section(u' ', 2);
        } else if (tag == u"@end") {
            ++m_tally.sessions;
            m_sessionActions = w.value(2).toLongLong();
            m_tally.actions += m_sessionActions;
            if (qEnvironmentVariableIsSet("SESSIONS_VERBOSE"))
                std::printf("session %s (seed %llu): %s actions, %s\n", qPrintable(w.value(1)), (unsigned long long)m_seed,
                            qPrintable(w.value(2)), qPrintable(w.value(3)));
        } else if (tag == u"@violation") {
            m_found = Found{w.value(1).toInt(), w.value(2).toULongLong(), w.value(3).toInt(), w.value(4),
                            line.section(u' ', 5), {}};
            m_found.intoRun = m_tally.actions - m_sessionActions + m_found.after;
        } else if (tag == u"@row") {
            if (auto a = parseAction(line.section(u' ', 1)))
                m_found.row << *a;
        } else if (tag == u"@endrow") {
            ++m_tally.violations;
            print(m_found);
        } else if (tag == u"@done") {
            return true;
        }
        return false;
    }

    struct Found {
        int session = 0;
        quint64 seed = 0;
        int after = 0;
        QString rule;
        QString detail;
        QList<Action> row;
        qint64 intoRun = 0;   // actions of the run up to this one
    };

    void print(const Found &f)
    {
        // (The detail may hold "%" of its own: it is not a format.)
        const QString header = f.rule + QStringLiteral(": ") + f.detail
                               + QStringLiteral("\nfound by run seed %1, session %2 (session seed %3) after %4 actions "
                                                "(%5 into the run); shrunk to %6 actions")
                                     .arg(m_o.seed).arg(f.session).arg(f.seed).arg(f.after).arg(f.intoRun).arg(f.row.size());
        std::printf("\nVIOLATION %s\n", qPrintable(header));
        for (const Action &a : f.row)
            std::printf("    %s\n", qPrintable(formatAction(a)));
        if (!m_o.found.isEmpty()) {
            const QString path = m_o.found + u'/' + m_program + u'-' + f.rule + QStringLiteral("-%1-%2.txt").arg(m_o.seed).arg(f.session);
            if (writeRow(path, f.row, header))
                std::printf("    (row written to %s)\n", qPrintable(path));
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    // The worker died in a session: shrink it by replays in children.
    void shrinkFatal(const Violation &v)
    {
        Found f{m_session, m_seed, int(m_actions.size()), v.rule, v.detail, m_actions};
        f.intoRun = m_tally.actions;
        const qint64 deadline = nowMs() + qint64(m_o.shrinkSeconds) * 1000;
        QTemporaryFile tmp(QDir::tempPath() + QStringLiteral("/sessions-row-XXXXXX.txt"));
        tmp.open();
        tmp.close();
        auto breaks = [&](const QList<Action> &candidate, QList<Action> *cut, Violation *seen) {
            writeRow(tmp.fileName(), candidate, {});
            const Child c = runChild({QStringLiteral("--replay"), tmp.fileName(), QStringLiteral("--ignore"), m_o.ignore.join(u',')}, 120000);
            const std::optional<Violation> got = fatal(c);
            if (!got || got->rule != v.rule)
                return false;
            int last = -1;
            for (const QString &l : c.lines)
                if (l.startsWith(QStringLiteral("@action ")))
                    last = l.section(u' ', 1, 1).toInt();
            if (cut)
                *cut = candidate.mid(0, last + 1);
            if (seen)
                *seen = *got;
            return true;
        };
        f.row = shrinkList(f.row, deadline, [&](const QList<Action> &c, QList<Action> *cut) { return breaks(c, cut, nullptr); });
        Violation seen = v;
        QList<Action> cut;
        if (breaks(f.row, &cut, &seen))
            f.row = cut, f.detail = seen.detail;
        print(f);
    }

    void replayRows()
    {
        if (m_o.rows.isEmpty())
            return;
        const QFileInfoList files = QDir(m_o.rows).entryInfoList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        for (const QFileInfo &fi : files) {
            const Child c = runChild({QStringLiteral("--replay"), fi.absoluteFilePath()}, 300000);
            QString result = QStringLiteral("ok");
            if (const auto v = fatal(c)) {
                result = v->rule + QStringLiteral(": ") + v->detail;
            } else if (c.exitCode != 0) {
                result = QStringLiteral("exit %1").arg(c.exitCode);
                for (const QString &l : c.lines)
                    if (l.startsWith(QStringLiteral("@violation ")))
                        result = l.section(u' ', 4);
            }
            const bool ok = result == u"ok";
            std::printf("row %s: %s\n", qPrintable(fi.fileName()), qPrintable(result));
            if (!ok)
                ++m_tally.violations;
        }
        std::fflush(stdout);
    }

    QString m_program;
    Options m_o;
    Tally m_tally;
    int m_session = -1;
    quint64 m_seed = 0;
    QList<Action> m_actions;
    qint64 m_sessionActions = 0;
    int m_shrinkLeftS = 0;
    Found m_found;
};

}  // namespace

int main(int argc, char **argv, const std::function<std::unique_ptr<Program>()> &make,
         const std::function<void()> &beforeApplication)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Options o = parse(args);
    if (!o.worker && o.replay.isEmpty()) {
        QCoreApplication app(argc, argv);
        if (!o.seedGiven)
            o.seed = quint64(QDateTime::currentMSecsSinceEpoch()) % 1000000007ull;
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).baseName().section(u'_', 0, 0);
        g_programName = name;
        return Supervisor(name, o).run();
    }
    if (beforeApplication)
        beforeApplication();
    installMessageCapture();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<Program> program = make();
    return o.worker ? runWorker(*program, o) : runReplay(*program, o);
}

}  // namespace sessions
