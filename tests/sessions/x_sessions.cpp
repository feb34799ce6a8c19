// The real-X variant of the random sessions: the real program (the binary
// the build made) runs on the virtual display this tester runs under, and
// xdotool drives it with real X input; its dialogs are the real ones,
// answered with keys. What the tester sees is what a user sees: window
// titles, the clipboard (xclip), the files written and whether the process
// is still there. The same rules as in-process, as far as they show from
// outside: files, saves, work and ended for Tarbel (text only); files,
// record and ended for Vennik; a crash, a sanitizer report or a dialog that
// stays are violations of their own.
//
// Built twice from this file: xtarbel_sessions and xvennik_sessions.
#include "engine.h"

#include "drivemapping.h"
#include "richtextbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

#ifdef X_VENNIK
#include "browsertest.h"
#endif

using namespace sessions;

namespace {

[[maybe_unused]] qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

// --- the desktop ---------------------------------------------------------------------------

QString tool(const QString &program, const QStringList &args, const QByteArray &input = {}, int timeoutMs = 5000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return {};
    if (!input.isNull()) {
        p.write(input);
        p.closeWriteChannel();
    }
    p.waitForFinished(timeoutMs);
    return QString::fromUtf8(p.readAllStandardOutput());
}

void xdo(const QStringList &args) { tool(QStringLiteral("xdotool"), args); }

struct XWindow {
    QString id;
    QString name;
    QRect geometry;   // absolute
};

// Every named window of the display, one call.
QList<XWindow> windows()
{
    QList<XWindow> out;
    static const QRegularExpression line(
        QStringLiteral("^\\s*(0x[0-9a-f]+) \"(.*)\": \\(.*\\)\\s+(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)\\s+\\+(-?\\d+)\\+(-?\\d+)\\s*$"));
    const QStringList lines = tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}).split(u'\n');
    for (const QString &l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        if (m.hasMatch())
            out << XWindow{m.captured(1), m.captured(2),
                           QRect(m.captured(7).toInt(), m.captured(8).toInt(), m.captured(3).toInt(), m.captured(4).toInt())};
    }
    return out;
}

// What a dialog's title says it is.
struct DialogKind {
    const char *title;
    Kind kind;
    int buttons;
};

// The real program: started with the sandbox's environment, on this display.
class Real {
public:
    bool start(const QString &binary, const QStringList &args, const QString &sandbox)
    {
        m_err.clear();
        m_p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        for (const char *v : {"HOME", "WINEPREFIX", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                              "XDG_RUNTIME_DIR"})
            env.insert(QLatin1String(v), qEnvironmentVariable(v));
        // (Chromium in the web engine frees with sizes a sanitizer cannot
        // follow: that check is left out for it.)
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0")
                                                       + (binary.endsWith(QLatin1String("vennik")) ? QStringLiteral(":new_delete_type_mismatch=0") : QString()));
        m_p->setProcessEnvironment(env);
        m_p->setWorkingDirectory(sandbox);
        QObject::connect(m_p.get(), &QProcess::readyReadStandardError, m_p.get(), [this] {
            m_err += m_p->readAllStandardError();
            if (m_err.size() > 100000)
                m_err = m_err.right(50000);
        });
        m_p->start(binary, args);
        return m_p->waitForStarted(10000);
    }
    bool running() const { return m_p && m_p->state() != QProcess::NotRunning; }
    // A crash or a sanitizer's report, when the process ended with one.
    std::optional<Violation> health()
    {
        if (!m_p)
            return std::nullopt;
        m_err += m_p->readAllStandardError();
        static const QRegularExpression report(QStringLiteral("(ERROR: AddressSanitizer[^\\n]*|runtime error:[^\\n]*)"));
        if (const auto m = report.match(QString::fromUtf8(m_err)); m.hasMatch())
            return Violation{QStringLiteral("sanitizer"), m.captured(1)};
        if (!running() && m_p->exitStatus() == QProcess::CrashExit)
            return Violation{QStringLiteral("crash"), QStringLiteral("the program crashed: ") + QString::fromUtf8(m_err.right(300))};
        return std::nullopt;
    }
    void stop()
    {
        if (!m_p)
            return;
        if (running()) {
            m_p->kill();
            m_p->waitForFinished(5000);
        }
        m_p.reset();
    }

private:
    std::unique_ptr<QProcess> m_p;
    QByteArray m_err;
};

// The tester waits, the action's clock stopped.
void pause(int ms)
{
    const Waiting waiting;
    QTest::qWait(ms);
}

// Answers the real dialogs on the display with keys until none is left:
// each answer as the engine gives it. Returns false when a dialog stays.
template <typename Expand>
bool answerDialogs(Engine &engine, Real &real, const QList<DialogKind> &kinds, const QString &mainPrefix, Expand expand)
{
    const Waiting waiting;
    QElapsedTimer t;
    t.start();
    int quiet = 0;
    QHash<QString, int> seen;
    while (t.elapsed() < 15000 && real.running()) {
        QTest::qWait(150);
        const QList<XWindow> ws = windows();
        const XWindow *dialog = nullptr;
        const DialogKind *kind = nullptr;
        // The main window is the largest of its title; a box may share the
        // program's title with it.
        const XWindow *main = nullptr;
        for (const XWindow &w : ws)
            if (w.name.startsWith(mainPrefix) && (!main || w.geometry.height() > main->geometry.height()))
                main = &w;
        // The smallest of them is on top (a question over its file dialog).
        for (const XWindow &w : ws)
            for (const DialogKind &k : kinds)
                if (w.name == QLatin1String(k.title) && w.geometry.width() > 1 && &w != main
                    && (!dialog || w.geometry.height() < dialog->geometry.height()))
                    dialog = &w, kind = &k;
        if (!dialog) {
            if (++quiet >= 3)
                return true;
            continue;
        }
        quiet = 0;
        xdo({QStringLiteral("windowfocus"), dialog->id});
        // A dialog that took three answers and stays (a file dialog shown
        // folder after folder) is given up, as a user would; one that stays
        // after that does not answer.
        const int times = ++seen[dialog->id];
        if (times > 8)
            return false;
        if (times >= 4) {
            xdo({QStringLiteral("key"), QStringLiteral("Escape")});
            QTest::qWait(300);
            continue;
        }
        Prompt p;
        p.kind = kind->kind;
        p.text = dialog->name;
        p.title = dialog->name;
        p.buttons = kind->buttons;
        // A small window of a file dialog's title is its question whether to
        // replace the file.
        if ((p.kind == Kind::SaveFile || p.kind == Kind::OpenFile) && dialog->geometry.height() < 220) {
            p.kind = Kind::Message;
            p.buttons = vb::vbYesNo;
        }
        const QString answer = engine.take(p);
        const QString value = answer.section(u' ', 1);
        switch (p.kind) {
        case Kind::Message:
            xdo({QStringLiteral("key"), value == u"Yes" ? QStringLiteral("alt+y") : value == u"No" ? QStringLiteral("alt+n")
                                        : value == u"OK" ? QStringLiteral("Return") : QStringLiteral("Escape")});
            QTest::qWait(300);
            // A box with OK alone took no Yes or No.
            if ((value == u"Yes" || value == u"No") && !windows().isEmpty()) {
                for (const XWindow &w : windows())
                    if (w.id == dialog->id) {
                        xdo({QStringLiteral("key"), QStringLiteral("Return")});
                        engine.amendLast(QStringLiteral("message OK"));
                    }
            }
            break;
        case Kind::Input:
            if (value.isEmpty()) {
                xdo({QStringLiteral("key"), QStringLiteral("Escape")});
            } else {
                xdo({QStringLiteral("key"), QStringLiteral("ctrl+a")});
                xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("--"), value});
                xdo({QStringLiteral("key"), QStringLiteral("Return")});
            }
            break;
        case Kind::OpenFile:
        case Kind::SaveFile:
            if (value == u"cancel") {
                xdo({QStringLiteral("key"), QStringLiteral("Escape")});
            } else {
                if (value != u"proposed") {
                    xdo({QStringLiteral("key"), QStringLiteral("ctrl+a")});
                    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("--"), expand(value)});
                }
                xdo({QStringLiteral("key"), QStringLiteral("Return")});
            }
            break;
        default:
            xdo({QStringLiteral("key"), QStringLiteral("Escape")});
            break;
        }
    }
    // The keyboard back to the window, as a user clicks it.
    for (const XWindow &w : windows())
        if (w.name.startsWith(mainPrefix)) {
            xdo({QStringLiteral("windowfocus"), w.id});
            break;
        }
    return t.elapsed() < 15000;
}

[[maybe_unused]] QByteArray readFile(const QString &path, bool *exists = nullptr)
{
    QFile f(path);
    const bool ok = f.open(QIODevice::ReadOnly);
    if (exists)
        *exists = ok;
    return ok ? f.readAll() : QByteArray();
}

[[maybe_unused]] QString normalised(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    s.replace(QChar::ParagraphSeparator, u'\n');
    s.replace(QChar::LineSeparator, u'\n');
    s.removeIf([](QChar c) { return (c.unicode() < 32 && c != u'\n' && c != u'\t') || c == QChar::ObjectReplacementCharacter; });
    while (s.endsWith(u'\n'))
        s.chop(1);
    return s;
}

#ifndef X_VENNIK
// =============================================================================
// Tarbel

const QList<DialogKind> kTarbelDialogs{
    {"File Save", Kind::Message, vb::vbYesNoCancel}, {"EDITOR", Kind::Message, vb::vbYesNoCancel},
    {" Search And Replace Results", Kind::Message, vb::vbOKOnly}, {"Search Word", Kind::Input, 0},
    {"Search And Replace", Kind::Input, 0}, {"Open", Kind::OpenFile, 0}, {"Save As", Kind::SaveFile, 0},
    {"Select Color", Kind::Color, 0}, {"Print", Kind::Printer, 0}, {"Page Setup", Kind::PageSetup, 0}};

struct XKey {
    const char *keys;   // as xdotool names it
    int cmd;            // 0 edit, 1 replaces, 2 ends, 3 saves, 4 save as, 5 write file
    double weight;
};

const XKey kXKeys[] = {
    {"Delete", 0, 3}, {"BackSpace", 0, 3}, {"Return", 0, 2}, {"Left", 0, 1}, {"Right", 0, 1}, {"shift+Left", 0, 1},
    {"shift+Right", 0, 1}, {"ctrl+Home", 0, 0.5}, {"ctrl+End", 0, 0.5}, {"shift+Home", 0, 0.5}, {"F6", 0, 0.7},
    {"F7", 0, 0.7}, {"Insert", 0, 0.3}, {"ctrl+z", 0, 1}, {"ctrl+x", 0, 1}, {"ctrl+p", 0, 1}, {"ctrl+c", 0, 1},
    {"ctrl+d", 0, 0.7}, {"ctrl+b", 0, 0.7}, {"ctrl+v", 0, 0.5}, {"F5", 0, 0.3}, {"F3", 0, 0.5},
    {"ctrl+n", 1, 1}, {"ctrl+o", 1, 1.5}, {"ctrl+q", 2, 1.5}, {"ctrl+s", 3, 3}, {"ctrl+a", 4, 1.5}};

// Menu items the keys reach through the menus' access keys.
const struct {
    const char *name;
    const char *keys;
    int cmd;
    double weight;
} kXMenu[] = {{"insertfile", "alt+f i", 0, 1}, {"writefile", "alt+f w", 5, 2}, {"new", "alt+f n", 1, 0.5},
              {"open", "alt+f o", 1, 0.5}, {"save", "alt+f s", 3, 1}, {"saveas", "alt+f a", 4, 0.5},
              {"exit", "alt+f x", 2, 0.5}, {"selectall", "alt+e s", 0, 1.5}, {"paste", "alt+e p", 0, 0.5},
              {"wrap", "alt+e End Return", 0, 0.5}, {"find", "alt+s f", 0, 0.5}};

const QStringList kXTyped{"hello", "engine", " spare parts", "d\u00e9j\u00e0 vu", "na\u00efve caf\u00e9", "\u00c6\u00d8\u00c5",
                          "line one\nline two", "x", "pump engine, spare"};
const QStringList kXFiles{"{docs}/report.rtf", "{docs}/letter.rtf", "{docs}/notes.txt", "{docs}/pic.png",
                          "{docs}/My Files/space name.rtf", "{docs}/new.rtf", "{home}/work/draft.rtf",
                          "{home}/work/new 2.rtf", "{docs}/"};

class XTarbel : public Program {
public:
    QString name() const override { return QStringLiteral("xtarbel"); }

    QString expand(const QString &s) const override
    {
        QString out = s;
        out.replace(QLatin1String("{docs}"), m_box->driveC() + QStringLiteral("/docs"));
        out.replace(QLatin1String("{home}"), m_box->home());
        return out;
    }

    void populate(Sandbox &box) override
    {
        m_box = &box;
        box.write(expand(QStringLiteral("{docs}/report.rtf")),
                  "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 The pump {\\b engine} failed at {\\i noon}.\\par Spare parts are on order.\\par}");
        box.write(expand(QStringLiteral("{docs}/letter.rtf")), "{\\rtf1\\ansi Dear engine team,\\par the spare engine arrives.\\par}");
        box.write(expand(QStringLiteral("{docs}/notes.txt")), "The pump engine failed.\r\nSpare parts: gasket.\r\n");
        box.write(expand(QStringLiteral("{docs}/pic.png")), QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAIAAABLbSncAAAAEklEQVR4nGP4z8CAFTGMSgwpCQBG3j/BS9HkggAAAABJRU5ErkJggg=="));
        box.write(expand(QStringLiteral("{docs}/My Files/space name.rtf")), "{\\rtf1\\ansi A name with blanks: engine.\\par}");
        box.write(expand(QStringLiteral("{home}/work/draft.rtf")), "{\\rtf1\\ansi A draft about the spare engine.\\par}");
        tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")}, "clipboard engine");
    }

    Action startAction(Rng &rng) override
    {
        if (rng.chance(0.4))
            return {QStringLiteral("start"), {QStringLiteral("{docs}/report.rtf")}, {}};
        if (rng.chance(0.3))
            return {QStringLiteral("start"), {QStringLiteral("handoff"), QStringLiteral("C:\\DOCS\\Letter.RTF"), QStringLiteral("engine")}, {}};
        return {QStringLiteral("start"), {}, {}};
    }

    Action nextAction(Rng &rng) override
    {
        auto frac = [&] { return QString::number(rng.between(5, 95) / 100.0); };
        switch (rng.weighted({12, 22, 4, 3, 2, 8, 2, 1})) {
        case 0: return {QStringLiteral("type"), {rng.pick(kXTyped)}, {}};
        case 1: {
            QList<double> w;
            for (const XKey &k : kXKeys)
                w << k.weight;
            return {QStringLiteral("key"), {QLatin1String(kXKeys[rng.weighted(w)].keys)}, {}};
        }
        case 2: return {QStringLiteral("click"), {frac(), frac()}, {}};
        case 3: return {QStringLiteral("middle"), {frac(), frac()}, {}};
        case 4: return {QStringLiteral("clip"), {rng.pick(kXTyped)}, {}};
        case 5: {
            QList<double> w;
            for (const auto &m : kXMenu)
                w << m.weight;
            return {QStringLiteral("menu"), {QLatin1String(kXMenu[rng.weighted(w)].name)}, {}};
        }
        case 6: return {QStringLiteral("phrase"), {}, {}};
        default: return {QStringLiteral("handoff"), {rng.pick(QStringList{"C:\\DOCS\\Letter.RTF", "C:\\docs\\report.rtf",
                                                                              "C:\\docs\\notes.txt"}), QStringLiteral("engine")}, {}};
        }
    }

    QString answer(const Prompt &p, Rng &rng) override
    {
        switch (p.kind) {
        case Kind::Message:
            // The file dialog's own question whether to replace a file: a
            // user who chose the name mostly means it.
            if (p.title == u"Save As")
                return rng.chance(0.8) ? QStringLiteral("message Yes") : QStringLiteral("message No");
            return QStringLiteral("message ") + rng.pick(messageAnswers(p.buttons));
        case Kind::Input: return QStringLiteral("input ") + rng.pick(QStringList{"engine", "spare", "", "e"});
        case Kind::OpenFile: return rng.chance(0.2) ? QStringLiteral("open cancel") : QStringLiteral("open ") + rng.pick(kXFiles);
        case Kind::SaveFile: {
            const int r = rng.below(10);
            return r < 2 ? QStringLiteral("save cancel") : r < 4 ? QStringLiteral("save proposed") : QStringLiteral("save ") + rng.pick(kXFiles);
        }
        default: return kindWord(p.kind) + QStringLiteral(" cancel");
        }
    }

    QString defaultAnswer(const Prompt &p) const override
    {
        if (p.kind == Kind::Message)
            return QStringLiteral("message Cancel");
        return Program::defaultAnswer(p);
    }

    int commandOf(const Action &a) const
    {
        if (a.verb == u"key")
            for (const XKey &k : kXKeys)
                if (a.arg(0) == QLatin1String(k.keys))
                    return k.cmd;
        if (a.verb == u"menu")
            for (const auto &m : kXMenu)
                if (a.arg(0) == QLatin1String(m.name))
                    return m.cmd;
        if (a.verb == u"phrase")
            return 1;
        return 0;
    }

    XWindow mainWindow() const
    {
        for (const XWindow &w : windows())
            if (w.name.startsWith(QLatin1String("Editor [")))
                return w;
        return {};
    }

    void start(const Action &a) override
    {
        QStringList args;
        if (a.arg(0) == u"handoff")
            m_box->write(m_box->driveC() + QStringLiteral("/Autodesk/Slls.txt"), (a.arg(1) + QStringLiteral("\r\n") + a.arg(2) + QStringLiteral("\r\n")).toUtf8());
        else if (!a.arg(0).isEmpty())
            args << expand(a.arg(0));
        m_real.start(QStringLiteral(TARBEL_BINARY_DIR "/bin/tarbel"), args, m_box->root());
        const Waiting waiting;
        QElapsedTimer t;
        t.start();
        while (mainWindow().id.isEmpty() && t.elapsed() < 20000 && m_real.running())
            QTest::qWait(100);
        QTest::qWait(300);
        m_stuck = !answerDialogs(*engine, m_real, kTarbelDialogs, QStringLiteral("Editor ["), [this](const QString &s) { return expand(s); });
        const XWindow w = mainWindow();
        xdo({QStringLiteral("mousemove"), QString::number(w.geometry.x() + 300), QString::number(w.geometry.y() + 300),
             QStringLiteral("click"), QStringLiteral("1")});
        m_snapshot = Snapshot::take(m_box->watched());
    }

    // The window's text, as select all and copy give it; nullopt when the
    // window is gone.
    std::optional<QString> observe()
    {
        const XWindow w = mainWindow();
        if (!m_real.running() || w.id.isEmpty())
            return std::nullopt;
        // The keyboard in the text, as a click into it gives it.
        xdo({QStringLiteral("mousemove"), QString::number(w.geometry.x() + 300), QString::number(w.geometry.y() + 300),
             QStringLiteral("click"), QStringLiteral("1")});
        pause(100);
        const QByteArray sentinel = "\x01none";
        tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")}, sentinel);
        for (const char *k : {"alt+e", "s"})
            xdo({QStringLiteral("key"), QLatin1String(k)});
        pause(150);
        // The Edit menu opened once more enables Copy for the selection.
        for (const char *k : {"alt+e", "Escape", "Escape", "ctrl+c"})
            xdo({QStringLiteral("key"), QLatin1String(k)});
        pause(200);
        const QString text = tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
        xdo({QStringLiteral("key"), QStringLiteral("ctrl+End")});
        if (text != QString::fromLatin1(sentinel))
            return text;
        // Nothing copied: an empty document, or the keys went astray.
        return normalised(m_lastObserved).isEmpty() ? std::optional<QString>(QString()) : std::nullopt;
    }

    QString m_lastObserved;

    QString captionFile(const QString &caption) const
    {
        if (!caption.startsWith(QLatin1String("Editor [")) || caption == u"Editor [ Untitled ]")
            return {};
        return platform::mapDrivePath(caption.mid(8, caption.size() - 9));
    }

    QString fileText(const QString &path)
    {
        bool exists = false;
        const QByteArray bytes = readFile(path, &exists);
        if (!exists)
            return QStringLiteral("\x01missing");
        if (!m_reader)
            m_reader = std::make_unique<platform::RichTextBox>();
        m_reader->setTextRTF(bytes);
        return normalised(m_reader->Text());
    }

    void before(const Action &a) override
    {
        m_snapBefore = m_snapshot;
        m_captionBefore = mainWindow().name;
        const int cmd = commandOf(a);
        m_textBefore = cmd >= 1 && cmd <= 4 ? observe() : std::nullopt;
        if (m_textBefore)
            m_lastObserved = *m_textBefore;
    }

    void perform(const Action &a) override
    {
        const XWindow w = mainWindow();
        const QRect g = w.geometry;
        auto at = [&](const QString &x, const QString &y) {
            return QStringList{QString::number(g.x() + 20 + int(x.toDouble() * std::max(100, g.width() - 60))),
                               QString::number(g.y() + 90 + int(y.toDouble() * std::max(100, g.height() - 160)))};
        };
        if (a.verb == u"type") {
            QString text = a.arg(0);
            const QStringList lines = text.split(u'\n');
            for (int i = 0; i < lines.size(); ++i) {
                if (i > 0)
                    xdo({QStringLiteral("key"), QStringLiteral("Return")});
                if (!lines.at(i).isEmpty())
                    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("--"), lines.at(i)});
            }
        } else if (a.verb == u"key") {
            xdo({QStringLiteral("key"), a.arg(0)});
        } else if (a.verb == u"click") {
            xdo(QStringList{QStringLiteral("mousemove")} + at(a.arg(0), a.arg(1)) + QStringList{QStringLiteral("click"), QStringLiteral("1")});
        } else if (a.verb == u"middle") {
            xdo(QStringList{QStringLiteral("mousemove")} + at(a.arg(0), a.arg(1)) + QStringList{QStringLiteral("click"), QStringLiteral("2")});
        } else if (a.verb == u"clip") {
            tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("primary"), QStringLiteral("-i")}, a.arg(0).toUtf8());
        } else if (a.verb == u"menu") {
            for (const auto &m : kXMenu)
                if (a.arg(0) == QLatin1String(m.name))
                    for (const QString &k : QString::fromLatin1(m.keys).split(u' ')) {
                        xdo({QStringLiteral("key"), k});
                        pause(80);
                    }
        } else if (a.verb == u"phrase") {
            // "find phrase" stands right of the font boxes on the toolbar.
            xdo({QStringLiteral("mousemove"), QString::number(g.x() + 620), QString::number(g.y() + 30), QStringLiteral("click"),
                 QStringLiteral("1")});
            pause(150);
            answerDialogs(*engine, m_real, kTarbelDialogs, QStringLiteral("Editor ["), [this](const QString &s) { return expand(s); });
            // Then back into the text, as a user does before typing on:
            // keys would otherwise press the button again.
            xdo({QStringLiteral("mousemove"), QString::number(g.x() + 300), QString::number(g.y() + 300), QStringLiteral("click"),
                 QStringLiteral("1")});
        } else if (a.verb == u"handoff") {
            m_box->write(m_box->driveC() + QStringLiteral("/Autodesk/Slls.txt"), (a.arg(0) + QStringLiteral("\r\n") + a.arg(1) + QStringLiteral("\r\n")).toUtf8());
        }
        pause(150);
        m_stuck = !answerDialogs(*engine, m_real, kTarbelDialogs, QStringLiteral("Editor ["), [this](const QString &s) { return expand(s); });
    }

    QList<Violation> check(const Action &a, const QList<Exchange> &ex) override
    {
        QList<Violation> out;
        const QString what = formatAction(a);
        if (auto h = m_real.health())
            out << *h;
        if (m_stuck)
            out << Violation{QStringLiteral("hang"), QStringLiteral("a dialog of %1 did not go away").arg(what)};
        if (a.verb == u"start") {
            if (!m_real.running())
                out << Violation{QStringLiteral("ended"), QStringLiteral("the program did not start")};
            return out;
        }
        const Snapshot snap = Snapshot::take(m_box->watched());
        m_snapshot = snap;
        const int cmd = commandOf(a);
        const QString captionAfter = mainWindow().name;
        const bool open = m_real.running() && !captionAfter.isEmpty();
        bool yes = false, no = false, cancel = false, failure = false, proposed = false;
        QStringList typed;
        // What the last save dialog took: a dialog answered again after a
        // question said No to its name, and then cancelled, saved nothing.
        QString chosen;
        bool chosenProposed = false;
        for (const Exchange &e : ex) {
            const QString v = e.answer.section(u' ', 1);
            if (e.prompt.kind == Kind::Message && e.prompt.buttons == vb::vbYesNoCancel) {
                yes |= v == u"Yes";
                no |= v == u"No";
                cancel |= v == u"Cancel";
            }
            if (e.prompt.kind == Kind::Message && v == u"OK")
                failure = true;
            if (e.prompt.kind == Kind::SaveFile) {
                chosenProposed = v == u"proposed";
                chosen = v == u"proposed" || v == u"cancel" ? QString() : QDir::cleanPath(expand(v));
            }
            if (e.prompt.kind == Kind::SaveFile && v == u"proposed")
                proposed = true;
            else if (e.prompt.kind == Kind::SaveFile && v != u"cancel")
                typed << QDir::cleanPath(expand(v));
        }
        const QString fileBefore = captionFile(m_captionBefore);
        const QString fileAfter = captionFile(captionAfter);
        QStringList targets = typed;
        if (cmd >= 3 || yes || proposed) {
            if (!fileBefore.isEmpty())
                targets << fileBefore;
            if (!fileAfter.isEmpty())
                targets << fileAfter;
        }
        if (a.verb == u"handoff")
            targets << m_box->driveC() + QStringLiteral("/Autodesk") << m_box->driveC() + QStringLiteral("/Autodesk/Slls.txt");

        // files, and the name a save dialog proposed: Enter took it
        for (const FileChange &c : diff(m_snapBefore, snap)) {
            bool ok = false;
            for (const QString &t : std::as_const(targets))
                ok |= samePath(c.path, t);
            if (ok)
                continue;
            if (proposed && fileBefore.isEmpty() && c.kind == FileChange::Modified)
                out << Violation{QStringLiteral("proposal"), QStringLiteral("%1: the save dialog of a document without a file "
                                                                            "proposed the existing %2, and Enter replaced it").arg(what, c.path)};
            else
                out << Violation{QStringLiteral("files"), describeChange(c) + QStringLiteral(" on ") + what};
        }

        // ended
        if (!open && cmd != 2)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program ended on %1").arg(what)};

        if (m_textBefore) {
            const QString text = normalised(*m_textBefore);
            auto holds = [&](const QString &path) { return !path.isEmpty() && fileText(path) == text; };
            const bool safe = fileBefore.isEmpty() ? text.isEmpty() : holds(fileBefore);
            // saves (the document's text; the file dialogs' own questions
            // are no failure of the save)
            // The question Save asks of a document read from plain text that
            // plain text cannot hold: Yes writes it over its file as RTF, No
            // goes to Save As, Cancel writes nothing.
            const bool saveAs = cmd == 4 || (cmd == 3 && no);
            if ((cmd == 3 || cmd == 4) && open && !failure && !(cmd == 3 && cancel)) {
                const QString target = saveAs ? (chosenProposed ? fileAfter : chosen)
                                              : (fileBefore.isEmpty() ? fileAfter : fileBefore);
                if (!target.isEmpty() && !holds(target) && (!saveAs || !chosen.isEmpty() || chosenProposed))
                    out << Violation{QStringLiteral("saves"), QStringLiteral("%1: %2 does not hold the window's text").arg(what, target)};
            }
            // work
            if (cmd == 1 || cmd == 2) {
                std::optional<QString> after = open ? observe() : std::nullopt;
                const bool replaced = !open || captionAfter != m_captionBefore || (after && normalised(*after) != text);
                if (qEnvironmentVariableIsSet("SESSIONS_DEBUG"))
                    fprintf(stderr, "work: open %d caption [%s] -> [%s] text [%s] -> [%s] safe %d\n", open, qPrintable(m_captionBefore),
                            qPrintable(captionAfter), qPrintable(text), after ? qPrintable(normalised(*after)) : "-", safe);
                bool kept = no || safe;
                for (const QString &t : std::as_const(targets))
                    kept |= holds(t);
                if (replaced && !kept)
                    out << Violation{QStringLiteral("work"), QStringLiteral("%1 %2 holding unsaved text \"%3\" (%4)")
                                                                  .arg(what, open ? QStringLiteral("replaced the document") : QStringLiteral("ended the program"),
                                                                       text.left(50), yes ? QStringLiteral("answered Yes, not saved")
                                                                                          : QStringLiteral("no save question was asked"))};
            }
        }
        return out;
    }

    bool ended() const override { return !m_real.running(); }
    void finish() override { m_real.stop(); }
    bool harmlessMessage(const QString &) const override { return true; }

private:
    Sandbox *m_box = nullptr;
    Real m_real;
    Snapshot m_snapshot, m_snapBefore;
    QString m_captionBefore;
    std::optional<QString> m_textBefore;
    std::unique_ptr<platform::RichTextBox> m_reader;
    bool m_stuck = false;
};

#else
// =============================================================================
// Vennik

const QList<DialogKind> kVennikDialogs{{"Zanth Browser", Kind::Message, vb::vbOKOnly},
                                       {"Save download as", Kind::SaveFile, 0},
                                       {"Open", Kind::OpenFile, 0}};

const QStringList kXAddresses{"{site}/index.html", "{site}/a.html", "{site}/b.html", "{site}/a.html#part2",
                              "{host}/b.html", "{www}/page.html", "{www}/archive.mht", "hello"};
const QStringList kXSavePaths{"{www}/saved.html", "{www}/Docs/", "{www}/Docs", "{www}/page.html", "{www}/new.mht",
                              "{www}/sub dir/x.html", "{www}/s\u00e9ance.html", "{home}/out.html"};

class XVennik : public Program {
public:
    XVennik()
    {
        m_server.addHtml("/index.html", "<title>Index</title><a href=\"/a.html\">a</a> <a href=\"#p2\">p2</a><p id=p2>two</p>");
        m_server.addHtml("/a.html", "<title>Page A</title><h1>A</h1><a href=\"/b.html\">b</a>");
        m_server.addHtml("/b.html", "<title>Page B</title><h1>B</h1><a href=\"/index.html\">index</a>");
    }
    QString name() const override { return QStringLiteral("xvennik"); }

    QString expand(const QString &s) const override
    {
        QString out = s;
        out.replace(QLatin1String("{site}"), QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()));
        out.replace(QLatin1String("{host}"), QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
        if (m_box) {
            out.replace(QLatin1String("{www}"), m_box->driveC() + QStringLiteral("/www"));
            out.replace(QLatin1String("{home}"), m_box->home());
        }
        return out;
    }

    void populate(Sandbox &box) override
    {
        m_box = &box;
        box.write(expand(QStringLiteral("{www}/page.html")), "<title>Local page</title><p>local</p>");
        box.write(expand(QStringLiteral("{www}/Docs.html")), "<title>Docs page</title><p>beside Docs</p>");
        box.write(expand(QStringLiteral("{www}/Docs/inner.html")), "<title>Inner</title>");
        QDir().mkpath(expand(QStringLiteral("{www}/sub dir")));
        box.write(box.root() + QStringLiteral("/program/bckcol.cfg"), "12632256\r\n");
    }

    Action startAction(Rng &) override { return {QStringLiteral("start"), {QStringLiteral("{site}/index.html")}, {}}; }

    Action nextAction(Rng &rng) override
    {
        switch (rng.weighted({6, 3, 6, 4, 3})) {
        case 0: return {QStringLiteral("address"), {rng.pick(kXAddresses)}, {}};
        case 1: return {QStringLiteral("key"), {rng.pick(QStringList{"ctrl+b", "ctrl+f", "ctrl+r", "ctrl+s"})}, {}};
        case 2: return {QStringLiteral("savepath"), {rng.pick(kXSavePaths)}, {}};
        case 3: return {QStringLiteral("save"), {}, {}};
        default: return {QStringLiteral("pause"), {QString::number(rng.between(200, 1500))}, {}};
        }
    }

    QString answer(const Prompt &p, Rng &rng) override
    {
        if (p.kind == Kind::Message)
            return QStringLiteral("message OK");
        return rng.chance(0.5) ? kindWord(p.kind) + QStringLiteral(" cancel") : kindWord(p.kind) + QStringLiteral(" {www}/download.bin");
    }

    XWindow mainWindow() const
    {
        for (const XWindow &w : windows())
            if (w.name.startsWith(QLatin1String("Zanth Browser -")) || w.name == u"Zanth Browser")
                if (w.geometry.width() > 400)
                    return w;
        return {};
    }

    // A point of the window's client area given in twips, as the window's
    // design places its controls (below the menu bar).
    QStringList point(int leftTwips, int topTwips) const
    {
        const QRect g = mainWindow().geometry;
        return {QString::number(g.x() + leftTwips / 15), QString::number(g.y() + m_menuBar + topTwips / 15)};
    }

    void start(const Action &a) override
    {
        m_recordedAt = 0;
        m_closing = false;
        m_allowed.clear();
        m_real.start(QStringLiteral(TARBEL_BINARY_DIR "/bin/vennik"), {expand(a.arg(0))}, m_box->root());
        const Waiting waiting;
        QElapsedTimer t;
        t.start();
        while (!mainWindow().name.startsWith(QLatin1String("Zanth Browser - ")) && t.elapsed() < 30000 && m_real.running())
            QTest::qWait(100);
        QTest::qWait(300);
        m_snapshot = Snapshot::take(m_box->watched());
    }

    // The text of a one-line box: clicked, all selected, copied.
    QString boxText(int leftTwips, int topTwips)
    {
        tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")}, "\x01none");
        xdo(QStringList{QStringLiteral("mousemove")} + point(leftTwips + 600, topTwips + 140) + QStringList{QStringLiteral("click"), QStringLiteral("1")});
        xdo({QStringLiteral("key"), QStringLiteral("ctrl+a")});
        xdo({QStringLiteral("key"), QStringLiteral("ctrl+c")});
        pause(150);
        const QString t = tool(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
        return t == u"\x01none" ? QString() : t;
    }

    void typeBox(int leftTwips, int topTwips, const QString &text)
    {
        xdo(QStringList{QStringLiteral("mousemove")} + point(leftTwips + 600, topTwips + 140) + QStringList{QStringLiteral("click"), QStringLiteral("1")});
        xdo({QStringLiteral("key"), QStringLiteral("ctrl+a")});
        xdo({QStringLiteral("key"), QStringLiteral("BackSpace")});
        if (!text.isEmpty())
            xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), QStringLiteral("--"), text});
    }

    void before(const Action &) override { m_snapBefore = m_snapshot; }

    void perform(const Action &a) override
    {
        if (a.verb == u"address") {
            typeBox(1080, 840, expand(a.arg(0)));
            xdo({QStringLiteral("key"), QStringLiteral("Return")});
        } else if (a.verb == u"key") {
            xdo({QStringLiteral("key"), a.arg(0)});
        } else if (a.verb == u"savepath") {
            typeBox(1080, 2880, expand(a.arg(0)));
        } else if (a.verb == u"save") {
            const QString address = boxText(1080, 840);
            const QString path = boxText(1080, 2880);
            m_saves << qMakePair(address, path);
            if (!path.isEmpty()) {
                const QString target = QDir::cleanPath(platform::mapDrivePath(path));
                const QFileInfo fi(target);
                m_allowed << target << fi.absolutePath() + u'/' + fi.completeBaseName() + QStringLiteral("_files");
            }
            m_allowed << platform::mapDrivePath(QStringLiteral("C:\\Zanth.lib")) << m_box->home() + QStringLiteral("/Downloads");
            xdo(QStringList{QStringLiteral("mousemove")} + point(5400 + 420, 2280 + 420) + QStringList{QStringLiteral("click"), QStringLiteral("1")});
        } else if (a.verb == u"pause") {
            pause(a.arg(0).toInt());
        }
        pause(600);
        m_stuck = !answerDialogs(*engine, m_real, kVennikDialogs, QStringLiteral("Zanth Browser"), [this](const QString &s) { return expand(s); });
    }

    QList<Violation> check(const Action &a, const QList<Exchange> &ex) override
    {
        QList<Violation> out;
        if (auto h = m_real.health())
            out << *h;
        if (m_stuck)
            out << Violation{QStringLiteral("hang"), QStringLiteral("a dialog did not go away")};
        if (a.verb == u"start") {
            if (!m_real.running())
                out << Violation{QStringLiteral("ended"), QStringLiteral("the program did not start")};
            // The menu bar's height: the address box is found where a
            // click into it selects what it shows.
            m_menuBar = 0;
            for (int h : {22, 24, 26, 28, 20, 30}) {
                m_menuBar = h;
                if (!boxText(1080, 840).isEmpty())
                    break;
            }
            return out;
        }
        for (const Exchange &e : ex)
            if (e.prompt.kind == Kind::SaveFile && !e.answer.endsWith(QLatin1String(" cancel")))
                m_allowed << QDir::cleanPath(expand(e.answer.section(u' ', 1)));
        const Snapshot snap = Snapshot::take(m_box->watched());
        m_snapshot = snap;
        for (const FileChange &c : diff(m_snapBefore, snap)) {
            bool ok = false;
            for (const QString &t : std::as_const(m_allowed))
                ok |= samePath(c.path, t) || c.path.startsWith(t + u'/');
            if (!ok)
                out << Violation{QStringLiteral("files"), describeChange(c) + QStringLiteral(" on ") + formatAction(a)};
        }
        const QString recordPath = platform::mapDrivePath(QStringLiteral("C:\\Zanth.lib"));
        const Snapshot::Entry *was = m_snapBefore.find(recordPath);
        const Snapshot::Entry *record = snap.find(recordPath);
        if (record && (!was || was->bytes != record->bytes)) {
            m_recordedAt = now();
            QStringDecoder cp1252("windows-1252");
            const QString text = cp1252.decode(record->bytes);
            bool matched = false;
            for (const auto &[address, path] : std::as_const(m_saves))
                matched |= text == address + QStringLiteral("\r\n") + path + QStringLiteral("\r\n")
                           || QUrl::fromPercentEncoding(text.toUtf8()) == address + QStringLiteral("\r\n") + path + QStringLiteral("\r\n");
            if (!matched)
                out << Violation{QStringLiteral("record"), QStringLiteral("C:\\Zanth.lib holds \"%1\", not the boxes of a save clicked")
                                                                .arg(QString(text).replace(QLatin1String("\r\n"), QLatin1String("|")))};
        }
        if (!m_real.running() && !m_recordedAt)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program ended on %1").arg(formatAction(a))};
        if (m_real.running() && m_recordedAt && now() - m_recordedAt > 5000)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program did not end after its save was recorded")};
        return out;
    }

    bool ended() const override { return !m_real.running(); }
    void finish() override { m_real.stop(); }
    bool harmlessMessage(const QString &) const override { return true; }

private:
    TestServer m_server;
    Sandbox *m_box = nullptr;
    Real m_real;
    Snapshot m_snapshot, m_snapBefore;
    QList<QPair<QString, QString>> m_saves;
    QStringList m_allowed;
    qint64 m_recordedAt = 0;
    bool m_closing = false;
    bool m_stuck = false;
    int m_menuBar = 24;
};
#endif

}  // namespace

int main(int argc, char **argv)
{
    return sessions::main(argc, argv, [] {
#ifdef X_VENNIK
        return std::make_unique<XVennik>();
#else
        return std::make_unique<XTarbel>();
#endif
    });
}
