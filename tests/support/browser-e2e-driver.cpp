// Drives the real vennik program on an X display (run under xvfb-run): types
// into it and clicks it through the XTest extension, serves its pages from
// 127.0.0.1 and takes screenshots of the whole screen.
//
//   browser_e2e_driver navigate VENNIK OUTDIR
//       types a local page's address into the address box, presses Enter and
//       waits for the caption "Zanth Browser - <title>"; screenshot, in which
//       the page's bar fixed to the bottom of its viewport must reach the
//       window's bottom corners (the page area fills the client area).
//   browser_e2e_driver save VENNIK OUTDIR
//       as navigate, on a desktop where Wine never ran (a fresh HOME without
//       ~/.wine); Shift+Tab twice into the file list must choose no file
//       (the save-path box stays empty: checked through the clipboard); then
//       types a save path into the save-path box, takes a screenshot, clicks
//       the save button and expects the page on disk, the record in
//       ~/.wine/drive_c and the program ending on its own.
//   browser_e2e_driver refuse VENNIK OUTDIR
//       as navigate, started in a folder holding a folder Docs and a page
//       Docs.html; opens Docs with a double click in the folder list (the
//       save-path box then ends in "Docs/": checked through the clipboard),
//       clicks the save button and expects a message saying why, with
//       nothing written: Docs.html, Docs and the record as they were, and
//       the program still running.
//
// Exit code 0 on success, 77 when the display or XTest is missing (skipped),
// 1 on failure.
#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <cstdio>
#include <functional>

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(why));
    return 1;
}

// --- a page server ------------------------------------------------------------------

class Server : public QObject {
public:
    Server()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    m_buffers[s] += s->readAll();
                    if (!m_buffers[s].contains("\r\n\r\n"))
                        return;
                    const QList<QByteArray> first = m_buffers[s].left(m_buffers[s].indexOf("\r\n")).split(' ');
                    m_buffers.remove(s);
                    const QByteArray path = first.value(1);
                    const auto it = m_pages.constFind(path);
                    const QByteArray type = it == m_pages.constEnd() ? QByteArray("text/plain") : it->first;
                    const QByteArray body = it == m_pages.constEnd() ? QByteArray("not found") : it->second;
                    s->write((it == m_pages.constEnd() ? "HTTP/1.0 404 Not Found\r\n" : "HTTP/1.0 200 OK\r\n")
                             + QByteArray("Content-Type: ") + type + "\r\nContent-Length: "
                             + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    void add(const QByteArray &path, const QByteArray &type, const QByteArray &body) { m_pages[path] = {type, body}; }
    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(QLatin1String(path));
    }

private:
    QTcpServer m_server;
    QHash<QByteArray, QPair<QByteArray, QByteArray>> m_pages;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

// --- X ------------------------------------------------------------------------------

using FakeKey = int (*)(Display *, unsigned int, Bool, unsigned long);
using FakeButton = int (*)(Display *, unsigned int, Bool, unsigned long);
using FakeMotion = int (*)(Display *, int, int, int, unsigned long);

// Windows come and go while the tree is walked: a window gone between two
// requests is no reason to stop.
int ignoreXErrors(Display *, XErrorEvent *) { return 0; }

struct X {
    Display *d = nullptr;
    FakeKey key = nullptr;
    FakeButton button = nullptr;
    FakeMotion motion = nullptr;

    bool open()
    {
        d = XOpenDisplay(nullptr);
        XSetErrorHandler(ignoreXErrors);
        void *xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!d || !xtst)
            return false;
        key = reinterpret_cast<FakeKey>(dlsym(xtst, "XTestFakeKeyEvent"));
        button = reinterpret_cast<FakeButton>(dlsym(xtst, "XTestFakeButtonEvent"));
        motion = reinterpret_cast<FakeMotion>(dlsym(xtst, "XTestFakeMotionEvent"));
        return key && button && motion;
    }

    // The top-level window whose name starts with prefix (or is exactly
    // it), and its name.
    Window find(const QString &prefix, QString *name = nullptr, bool exact = false) const
    {
        std::function<Window(Window)> walk = [&](Window w) -> Window {
            char *n = nullptr;
            if (XFetchName(d, w, &n) && n) {
                const QString s = QString::fromUtf8(n);
                XFree(n);
                if (exact ? s == prefix : s.startsWith(prefix)) {
                    if (name)
                        *name = s;
                    return w;
                }
            }
            Window root, parent, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(d, w, &root, &parent, &children, &count))
                return 0;
            Window found = 0;
            for (unsigned int i = 0; i < count && !found; ++i)
                found = walk(children[i]);
            if (children)
                XFree(children);
            return found;
        };
        return walk(DefaultRootWindow(d));
    }

    QRect geometry(Window w) const
    {
        XWindowAttributes a;
        XGetWindowAttributes(d, w, &a);
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
        return QRect(x, y, a.width, a.height);
    }

    void click(QPoint p)
    {
        motion(d, -1, p.x(), p.y(), 0);
        button(d, 1, True, 0);
        button(d, 1, False, 0);
        XFlush(d);
    }

    void doubleClick(QPoint p)
    {
        click(p);
        QThread::msleep(60);
        click(p);
    }

    void chord(KeySym modifier, KeySym sym)
    {
        const KeyCode m = XKeysymToKeycode(d, modifier), k = XKeysymToKeycode(d, sym);
        key(d, m, True, 0);
        key(d, k, True, 0);
        key(d, k, False, 0);
        key(d, m, False, 0);
        XFlush(d);
    }

    void typeKeysym(KeySym sym, bool shift)
    {
        const KeyCode kc = XKeysymToKeycode(d, sym);
        const KeyCode sh = XKeysymToKeycode(d, XK_Shift_L);
        if (shift)
            key(d, sh, True, 0);
        key(d, kc, True, 0);
        key(d, kc, False, 0);
        if (shift)
            key(d, sh, False, 0);
        XFlush(d);
    }

    void type(const QString &text)
    {
        for (QChar c : text) {
            KeySym sym = NoSymbol;
            switch (c.unicode()) {
            case ':': sym = XK_colon; break;
            case '/': sym = XK_slash; break;
            case '.': sym = XK_period; break;
            case '-': sym = XK_minus; break;
            case '_': sym = XK_underscore; break;
            case ' ': sym = XK_space; break;
            default: sym = XStringToKeysym(QString(c).toLatin1().constData()); break;
            }
            if (sym == NoSymbol)
                continue;
            const KeyCode kc = XKeysymToKeycode(d, sym);
            // A shifted character when the key's plain symbol is another.
            int per = 0;
            KeySym *syms = XGetKeyboardMapping(d, kc, 1, &per);
            const bool shift = per > 0 && syms[0] != sym;
            XFree(syms);
            typeKeysym(sym, shift);
            QThread::msleep(5);
        }
    }
};

// Keeps the event loop going while waiting.
bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool screenshot(const QString &path)
{
    return QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}) == 0;
}

}  // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s navigate|save|refuse VENNIK OUTDIR\n", argv[0]);
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString vennik = QString::fromLocal8Bit(argv[2]);
    const QString outdir = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(outdir);

    X x;
    if (!x.open()) {
        std::fprintf(stderr, "SKIP: no X display or no XTest\n");
        return 77;
    }

    Server server;
    server.add("/e2e.html", "text/html; charset=utf-8",
               "<html><head><title>Vennik end-to-end page</title><link rel=stylesheet href=/e2e.css></head>"
               "<body><h1>Served from 127.0.0.1</h1><p>A local page for the end-to-end run.</p>"
               "<img src=/e2e.svg width=64 height=64>"
               "<div style='position:fixed; left:0; right:0; bottom:0; height:24px; background:#00c000'></div>"
               "</body></html>");
    server.add("/e2e.css", "text/css", "body { background: #eef4ff; font-family: sans-serif; } h1 { color: #224488; }");
    server.add("/e2e.svg", "image/svg+xml",
               "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64'><circle cx='32' cy='32' r='28' "
               "fill='#d22'/></svg>");

    // A desktop where Wine never ran: a fresh HOME, no ~/.wine, no WINEPREFIX.
    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("home"));
    const QString wine = home + QStringLiteral("/.wine");
    QDir().mkpath(home);
    QDir().mkpath(temp.filePath(QStringLiteral("config")));
    // A file in the folder the file list starts in; to refuse, a folder
    // and a page of the same name there, and nothing else.
    const QString work = temp.filePath(mode == u"refuse" ? QStringLiteral("work") : QString());
    QDir().mkpath(work + QStringLiteral("/Docs"));
    QFile(work + QStringLiteral("/Docs/inside.txt")).open(QIODevice::WriteOnly);
    const QByteArray docs = "<html><body>The user's own Docs page</body></html>";
    {
        QFile page(work + QStringLiteral("/Docs.html"));
        page.open(QIODevice::WriteOnly);
        page.write(docs);
    }
    if (mode != u"refuse")
        QFile(temp.filePath(QStringLiteral("existing.txt"))).open(QIODevice::WriteOnly);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("WINEPREFIX"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--disable-gpu --disable-background-networking --disable-component-update "
                              "--host-resolver-rules=\"MAP * ~NOTFOUND, EXCLUDE 127.0.0.1\" --no-proxy-server"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setWorkingDirectory(work);
    program.start(vennik, {});
    if (!program.waitForStarted(10000))
        return fail(QStringLiteral("vennik did not start"));
    auto guard = qScopeGuard([&] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    });

    // The start page (unreachable here) completes first.
    Window w = 0;
    if (!waitFor([&] { return (w = x.find(QStringLiteral("Zanth Browser - "))) != 0; }, 60000))
        return fail(QStringLiteral("no completed start page in the caption"));
    const QRect g = x.geometry(w);
    // The client area is 11880 x 7980 twips at 96 dpi; the menu bar is above it.
    const int menu = g.height() - 532;
    auto at = [&](int cx, int cy) { return QPoint(g.x() + cx, g.y() + menu + cy); };

    // Into the address box (1080, 840, 4335 x 285 twips), type, Enter.
    x.click(at(72 + 140, 56 + 9));
    QThread::msleep(200);
    const QString address = server.url("/e2e.html");
    x.type(address);
    x.typeKeysym(XK_Return, false);
    QString title;
    if (!waitFor([&] { return x.find(QStringLiteral("Zanth Browser - Vennik end-to-end page"), &title) != 0; }, 30000))
        return fail(QStringLiteral("the typed page did not complete"));
    std::printf("caption: %s\n", qPrintable(title));
    waitFor([] { return false; }, 800);   // let the page paint
    if (mode == u"navigate") {
        const QString shot = outdir + QStringLiteral("/vennik-navigate.png");
        if (!screenshot(shot))
            return fail(QStringLiteral("no screenshot"));
        std::printf("screenshot: %s\n", qPrintable(shot));
        // The page's bottom bar is in sight, from the left edge to the right.
        const QImage image(shot);
        for (const QPoint corner : {QPoint(g.left() + 4, g.bottom() - 4), QPoint(g.right() - 4, g.bottom() - 4)}) {
            const QColor c = image.pixelColor(corner);
            if (c != QColor(0, 0xc0, 0))
                return fail(QStringLiteral("at (%1, %2) the page's bottom bar is not shown: %3")
                                .arg(corner.x())
                                .arg(corner.y())
                                .arg(c.name()));
        }
        std::printf("page area: bottom bar at both bottom corners of %dx%d\n", g.width(), g.height());
        return 0;
    }

    if (mode == u"refuse") {
        // The folder list (1080, 1320, 4335 x 990 twips) starts at the
        // working folder, whose one subfolder Docs is its last line: a
        // click, End, and a double click on that line open it.
        x.click(at(72 + 140, 88 + 10));
        QThread::msleep(200);
        x.typeKeysym(XK_End, false);
        QThread::msleep(300);
        x.doubleClick(at(72 + 140, 88 + 66 - 10));
        QThread::msleep(500);
        // The save-path box (1080, 2880) names the folder: Ctrl+A, Ctrl+C.
        QGuiApplication::clipboard()->setText(QStringLiteral("nothing copied"));
        waitFor([] { return false; }, 200);
        x.click(at(72 + 140, 192 + 9));
        QThread::msleep(200);
        x.chord(XK_Control_L, XK_a);
        x.chord(XK_Control_L, XK_c);
        waitFor([] { return false; }, 500);
        const QString box = QGuiApplication::clipboard()->text();
        if (box != work + QStringLiteral("/Docs/"))
            return fail(QStringLiteral("the save-path box holds \"%1\" after opening Docs").arg(box));
        std::printf("save-path box: %s\n", qPrintable(box));
        // The save button (5400, 2280, 855 x 855): a message, nothing written.
        x.click(at(360 + 28, 152 + 28));
        Window message = 0;
        if (!waitFor([&] { return (message = x.find(QStringLiteral("Zanth Browser"), nullptr, true)) != 0; }, 10000))
            return fail(QStringLiteral("no message after saving to a folder"));
        waitFor([] { return false; }, 500);
        const QString shot = outdir + QStringLiteral("/vennik-refused.png");
        if (!screenshot(shot))
            return fail(QStringLiteral("no screenshot"));
        std::printf("screenshot: %s\n", qPrintable(shot));
        x.typeKeysym(XK_Return, false);
        if (!waitFor([&] { return x.find(QStringLiteral("Zanth Browser"), nullptr, true) == 0; }, 5000))
            return fail(QStringLiteral("the message did not close"));
        waitFor([] { return false; }, 1500);
        QFile page(work + QStringLiteral("/Docs.html"));
        if (!page.open(QIODevice::ReadOnly) || page.readAll() != docs)
            return fail(QStringLiteral("Docs.html was changed"));
        const QStringList there = QDir(work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (there != QStringList{QStringLiteral("Docs"), QStringLiteral("Docs.html")})
            return fail(QStringLiteral("the folder holds %1").arg(there.join(u", ")));
        if (QDir(work + QStringLiteral("/Docs")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            != QStringList{QStringLiteral("inside.txt")})
            return fail(QStringLiteral("something was written into Docs"));
        if (QFile::exists(wine + QStringLiteral("/drive_c/Zanth.lib")))
            return fail(QStringLiteral("a record was written"));
        if (program.state() != QProcess::Running)
            return fail(QStringLiteral("the program ended after a refused save"));
        std::printf("refused: Docs.html, Docs and the record untouched; the program runs on\n");
        return 0;
    }

    // Shift+Tab twice from the address box reaches the file list; that
    // alone chooses no file, so the save-path box is still empty when Tab
    // comes back to it (and selects all of it for Ctrl+C).
    const QString untouched = QStringLiteral("nothing copied");
    QGuiApplication::clipboard()->setText(untouched);
    waitFor([] { return false; }, 300);
    x.click(at(72 + 140, 56 + 9));
    QThread::msleep(200);
    x.typeKeysym(XK_Tab, true);
    x.typeKeysym(XK_Tab, true);
    QThread::msleep(200);
    x.typeKeysym(XK_Tab, false);
    QThread::msleep(200);
    {
        const KeyCode ctrl = XKeysymToKeycode(x.d, XK_Control_L), c = XKeysymToKeycode(x.d, XK_c);
        x.key(x.d, ctrl, True, 0);
        x.key(x.d, c, True, 0);
        x.key(x.d, c, False, 0);
        x.key(x.d, ctrl, False, 0);
        XFlush(x.d);
    }
    waitFor([] { return false; }, 500);
    if (const QString copied = QGuiApplication::clipboard()->text(); copied != untouched)
        return fail(QStringLiteral("the save-path box holds \"%1\" after focus passed the file list").arg(copied));

    // The save-path box (1080, 2880, 4335 x 285 twips), then the save button
    // (5400, 2280, 855 x 855).
    const QString target = temp.filePath(QStringLiteral("saved/e2e page.htm"));
    QDir().mkpath(temp.filePath(QStringLiteral("saved")));
    x.click(at(72 + 140, 192 + 9));
    QThread::msleep(200);
    x.type(target);
    waitFor([] { return false; }, 500);
    if (!screenshot(outdir + QStringLiteral("/vennik-before-save.png")))
        return fail(QStringLiteral("no screenshot"));
    std::printf("screenshot: %s\n", qPrintable(outdir + QStringLiteral("/vennik-before-save.png")));
    QElapsedTimer clock;
    clock.start();
    x.click(at(360 + 28, 152 + 28));
    if (!program.waitForFinished(30000))
        return fail(QStringLiteral("the program did not end after the save"));
    std::printf("ended %lld ms after the click, exit code %d\n", clock.elapsed(), program.exitCode());
    if (program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return fail(QStringLiteral("the program did not end normally"));
    QFile saved(target);
    if (!saved.open(QIODevice::ReadOnly) || !saved.readAll().contains("Served from 127.0.0.1"))
        return fail(QStringLiteral("the page was not saved to %1").arg(target));
    QFile record(wine + QStringLiteral("/drive_c/Zanth.lib"));
    if (!record.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("no record file in a new ~/.wine/drive_c"));
    const QByteArray expected = address.toLatin1() + "\r\n" + target.toLatin1() + "\r\n";
    const QByteArray got = record.readAll();
    if (got != expected)
        return fail(QStringLiteral("record holds \"%1\"").arg(QString::fromLatin1(got.toPercentEncoding(" /:."))));
    std::printf("record: %s", got.constData());
    return 0;
}
