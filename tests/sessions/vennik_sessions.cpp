// Random user sessions of Vennik under invariants (see engine.h).
//
// Actions: the address box (typed addresses, Enter, Go), links and buttons
// of the pages of a small site on 127.0.0.1 (anchors, history.pushState,
// a download, one the server cuts short, a new window, frames), the toolbar and both menus with their
// keys, the drive, folder and file lists, the save-path box, the save
// button, File > Open of local pages (an .mht archive among them),
// resizing and the close box.
//
// Invariants, after every action:
//   files   - no file of the user's changes but a save's target, its
//             "_files" folder, C:\Zanth.lib and a download's chosen name
//   record  - C:\Zanth.lib, when written, holds the address box and the
//             save-path box of a save clicked, and the page is in the file
//             it names
//   address - once the page is still, the address box shows the page's
//             address, unless the user typed in it since the page changed
//   ended   - the program ends only on Exit, the close box, or after a save
//             it recorded; and after such a save it does end
//   downloads - a download the user accepted arrives at the name chosen,
//             or a message tells the user why not
//   hang    - a save ends (done or failed) within 5 s
#include "engine.h"

#include "browsertest.h"
#include "drivemapping.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStringDecoder>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QToolButton>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

using namespace sessions;

namespace {

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

// --- the site -------------------------------------------------------------------------

QByteArray page(const QByteArray &title, const QByteArray &body)
{
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title
           + "</title><style>body{font:14px sans-serif;margin:4px} a,button{display:inline-block;margin:2px}"
             " .far{margin-top:1500px}</style></head><body>"
           + body + "</body></html>";
}

const QByteArray kLinks =
    "<a href=\"/index.html\">index</a> <a href=\"/a.html\">page a</a> <a href=\"/b.html\">page b</a> "
    "<a href=\"#part2\">to part 2</a> <a href=\"#top\">to top</a> "
    "<button onclick=\"history.pushState({n:1},'','/pushed-'+Math.floor(Math.random()*3)+'.html')\">push</button> "
    "<button onclick=\"history.replaceState({},'','/replaced.html')\">replace</button> "
    "<button onclick=\"location.hash='h'+Math.floor(Math.random()*3)\">hash</button> "
    "<button onclick=\"history.back()\">back</button> "
    "<a href=\"/file.bin\" download=\"file.bin\">download</a> "
    "<a href=\"/b.html\" target=\"_blank\">new window</a> <a href=\"/missing.html\">missing</a> "
    "<a href=\"/slow.html\">slow</a> <a href=\"/%C3%A9t%C3%A9.html\">\xc3\xa9t\xc3\xa9</a> "
    "<a href=\"/cut.bin\" download=\"cut.bin\">cut download</a>";

void serveSite(TestServer &server)
{
    server.add("/pic.png", "image/png", QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAIAAABLbSncAAAAEklEQVR4nGP4z8CAFTGMSgwpCQBG3j/BS9HkggAAAABJRU5ErkJggg=="));
    server.add("/style.css", "text/css", "h1{color:#225}");
    server.add("/file.bin", "application/octet-stream", QByteArray(3000, 'x'));
    server.addCutShort("/cut.bin", "application/octet-stream", QByteArray(3000, 'y'), 1 << 20);
    server.addHtml("/index.html", page("Index", "<a id=\"top\"></a><h1>Index</h1>" + kLinks
                                                    + "<img src=\"/pic.png\"><p class=\"far\" id=\"part2\">part 2 " + kLinks + "</p>"));
    server.addHtml("/a.html", page("Page A", "<link rel=\"stylesheet\" href=\"/style.css\"><h1>Page A</h1>" + kLinks
                                                 + "<img src=\"/pic.png\"><p class=\"far\" id=\"part2\">a2</p>"));
    server.addHtml("/b.html", page("Page B", "<h1>Page B</h1>" + kLinks
                                                 + "<iframe src=\"/frame.html\" width=\"200\" height=\"60\"></iframe>"));
    server.addHtml("/frame.html", page("Frame", "<p>in a frame</p><a href=\"/a.html\" target=\"_top\">top a</a>"));
    server.addHtml("/slow.html", page("Slow", "<h1>Slow</h1>" + kLinks), 700);
    server.addHtml("/%C3%A9t%C3%A9.html", page("Ete", "<h1>\xc3\x89t\xc3\xa9</h1>" + kLinks));
    for (const char *p : {"/pushed-0.html", "/pushed-1.html", "/pushed-2.html", "/replaced.html"})
        server.addHtml(p, page("Pushed", "<h1>Pushed</h1>" + kLinks));
}

QByteArray mhtArchive()
{
    return "From: <Saved by Blink>\r\n"
           "Snapshot-Content-Location: http://127.0.0.1/archived.html\r\n"
           "Subject: Archived page\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"----MultipartBoundary--sessions----\"\r\n"
           "\r\n"
           "------MultipartBoundary--sessions----\r\n"
           "Content-Type: text/html\r\n"
           "Content-ID: <frame-1@mhtml.blink>\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n"
           "Content-Location: http://127.0.0.1/archived.html\r\n"
           "\r\n"
           "<html><head><title>Archived page</title></head><body><h1>Archived</h1>"
           "<a href=3D\"#end\">to the end</a><p style=3D\"margin-top:1500px\" id=3D\"end\">end</p></body></html>\r\n"
           "\r\n"
           "------MultipartBoundary--sessions------\r\n";
}

// --- what the user types and picks ------------------------------------------------------

const QStringList kAddresses{
    "{site}/index.html", "{site}/a.html", "{site}/b.html", "{site}/a.html#part2", "{site}/index.html#part2",
    "{host}/b.html", "HTTP://{host}/a.html", "{site}/%C3%A9t%C3%A9.html", "{site}/\u00e9t\u00e9.html",
    "{site}/missing.html", "http://127.0.0.1:{closed}/", "{www}/page.html", "file://{www}/page.html",
    "{www}/archive.mht", "{www}/archive.mht", "hello world", "", "{site}/slow.html", "https://{host}/a.html"};
const QStringList kSavePaths{
    "C:\\www\\saved.html", "C:\\WWW\\Saved Page.htm", "C:\\www\\Docs/", "C:\\www\\Docs", "C:\\www\\Docs\\", "{www}/Docs/",
    "{www}/Docs", "C:\\www\\page.html", "C:\\www\\archive.mht", "C:\\www\\new.mht", "{www}/sub dir/x.html",
    "C:\\www\\s\u00e9ance.html", "C:\\www\\\U0001F600.html", "C:\\www\\readonly.html", "C:\\www\\locked\\in.html",
    "C:\\www\\notes.txt", "relative.html", "", "C:\\www\\", "{home}/out.html", "C:\\www\\Docs.html", "C:\\WWW\\DOCS.HTML"};
const QStringList kOpenFiles{"{www}/page.html", "{www}/archive.mht", "{www}/archive.mht", "{www}/Docs.html",
                             "{www}/notes.txt", "{www}/missing.html", "C:\\WWW\\PAGE.HTML", "{www}/Docs/inner.html"};
const QStringList kDownloads{"{www}/download.bin", "C:\\www\\Docs/", "{www}/page.html", "{home}/dl.bin"};

struct Item {
    const char *name;
    QMenu *frmMain::*menu;
    QAction *frmMain::*item;
    double weight;
    bool ends;
};

const Item kMenu[] = {
    {"mnuFileOpen", &frmMain::mnuFile, &frmMain::mnuFileOpen, 4, false},
    {"mnuFileExit", &frmMain::mnuFile, &frmMain::mnuFileExit, 0.5, true},
    {"mnuKestoBack", &frmMain::mnuKesto, &frmMain::mnuKestoBack, 1.5, false},
    {"mnuKestoForward", &frmMain::mnuKesto, &frmMain::mnuKestoForward, 1, false},
    {"mnuKestoHome", &frmMain::mnuKesto, &frmMain::mnuKestoHome, 0.5, false},
    {"mnuKestoRefresh", &frmMain::mnuKesto, &frmMain::mnuKestoRefresh, 0.7, false},
    {"mnuKestoStop", &frmMain::mnuKesto, &frmMain::mnuKestoStop, 0.5, false},
};

const struct {
    const char *key;
    double weight;
} kTools[] = {{"Back", 2}, {"Forward", 1.5}, {"Home", 0.5}, {"Reload", 1}, {"Stop", 0.7}, {"Search", 0.4}, {"Exit", 0.4}};

const struct {
    const char *keys;
    double weight;
} kKeys[] = {{"Ctrl+B", 1.5}, {"Ctrl+F", 1}, {"Ctrl+H", 0.4}, {"Ctrl+R", 0.7}, {"Ctrl+S", 1}, {"Ctrl+O", 1},
             {"Return", 1}, {"Esc", 0.3}, {"Tab", 0.5}};

// --- the tester -------------------------------------------------------------------------

class VennikProgram : public Program {
public:
    VennikProgram()
    {
        serveSite(m_server);
        m_closedPort = TestServer::closedPort();
        frmMain::setEndAction([this] { m_ended = true; });
    }

    QString name() const override { return QStringLiteral("vennik"); }

    QString www() const { return m_box->driveC() + QStringLiteral("/www"); }

    QString expand(const QString &s) const override
    {
        QString out = s;
        out.replace(QLatin1String("{site}"), QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()));
        out.replace(QLatin1String("{host}"), QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
        out.replace(QLatin1String("{closed}"), QString::number(m_closedPort));
        if (m_box) {
            out.replace(QLatin1String("{www}"), www());
            out.replace(QLatin1String("{home}"), m_box->home());
            out.replace(QLatin1String("{sandbox}"), m_box->root());
        }
        return out;
    }

    void populate(Sandbox &box) override
    {
        m_box = &box;
        box.write(www() + QStringLiteral("/page.html"), page("Local page", "<h1>Local</h1><a href=\"#end\">to the end</a>"
                                                                         "<p class=\"far\" id=\"end\">end</p>"));
        box.write(www() + QStringLiteral("/Docs.html"), page("Docs page", "<p>beside the folder Docs</p>"));
        box.write(www() + QStringLiteral("/Docs/inner.html"), page("Inner", "<p>inside Docs</p>"));
        box.write(www() + QStringLiteral("/archive.mht"), mhtArchive());
        box.write(www() + QStringLiteral("/notes.txt"), "plain notes\r\n");
        box.write(www() + QStringLiteral("/readonly.html"), page("Read only", "<p>read only</p>"));
        box.write(www() + QStringLiteral("/locked/in.html"), page("Locked", "<p>locked</p>"));
        QDir().mkpath(www() + QStringLiteral("/sub dir"));
        box.makeReadOnly(www() + QStringLiteral("/readonly.html"));
        box.makeReadOnly(www() + QStringLiteral("/locked"));
        box.write(box.root() + QStringLiteral("/program/bckcol.cfg"), "12632256\r\n");
        QDir::setCurrent(www());
    }

    Action startAction(Rng &rng) override
    {
        return {QStringLiteral("start"), {rng.pick(QStringList{"{site}/index.html", "{site}/a.html", "{site}/b.html"})}, {}};
    }

    Action nextAction(Rng &rng) override
    {
        auto pickWeighted = [&](auto &table) {
            QList<double> w;
            for (const auto &t : table)
                w << t.weight;
            return rng.weighted(w);
        };
        switch (rng.weighted({6, 4, 12, 5, 4, 5, 1, 2, 2, 1.5, 5, 6, 0.4, 0.4, 0.2})) {
        case 0: {
            // Typed, and most often sent with Enter.
            QStringList args{rng.pick(kAddresses)};
            if (rng.chance(0.7))
                args << QStringLiteral("enter");
            return {QStringLiteral("address"), args, {}};
        }
        case 1: return {QStringLiteral("go"), {}, {}};
        case 2: return {QStringLiteral("link"), {QString::number(rng.below(30))}, {}};
        case 3: return {QStringLiteral("tool"), {QLatin1String(kTools[pickWeighted(kTools)].key)}, {}};
        case 4: return {QStringLiteral("key"), {QLatin1String(kKeys[pickWeighted(kKeys)].keys)}, {}};
        case 5: return {QStringLiteral("menu"), {QLatin1String(kMenu[pickWeighted(kMenu)].name)}, {}};
        case 6: return {QStringLiteral("drive"), {QString::number(rng.below(4))}, {}};
        case 7: return {QStringLiteral("folder"), {QString::number(rng.below(8))}, {}};
        case 8: return {QStringLiteral("file"), {QString::number(rng.below(10))}, {}};
        case 9: return {QStringLiteral("filekey"), {rng.pick(QStringList{"Down", "Up", "Return"})}, {}};
        case 10: return {QStringLiteral("savepath"), {rng.pick(kSavePaths)}, {}};
        case 11: return {QStringLiteral("save"), {}, {}};
        case 12: return {QStringLiteral("resize"), {QString::number(rng.between(500, 1100)), QString::number(rng.between(400, 800))}, {}};
        case 13: return {QStringLiteral("close"), {}, {}};
        default: return {QStringLiteral("pause"), {QString::number(rng.between(100, 1500))}, {}};
        }
    }

    QString answer(const Prompt &p, Rng &rng) override
    {
        switch (p.kind) {
        case Kind::Message: return QStringLiteral("message ") + rng.pick(messageAnswers(p.buttons));
        case Kind::OpenFile:
            return rng.chance(0.2) ? QStringLiteral("open cancel") : QStringLiteral("open ") + rng.pick(kOpenFiles);
        case Kind::SaveFile:
            return rng.chance(0.3) ? QStringLiteral("save cancel") : QStringLiteral("save ") + rng.pick(kDownloads);
        default: return defaultAnswer(p);
        }
    }

    void start(const Action &a) override
    {
        m_ended = false;
        m_saves.clear();
        m_downloads.clear();
        m_recorded = false;
        m_recordedAt = 0;
        m_saveStuck = false;
        m_urlChanges = 0;
        m_typedAt = -1;
        m_allowed.clear();
        m_accepted.clear();
        m_closing = false;
        if (frmMain::Start(m_box->root() + QStringLiteral("/program"), m_w, expand(a.arg(0))) != 0 || !m_w) {
            m_startFailed = true;
            return;
        }
        m_startFailed = false;
        m_w->resize(900, 700);
        m_w->activateWindow();
        QObject::connect(m_w->WebBrowser1, &QWebEngineView::urlChanged, m_w.get(), [this] { ++m_urlChanges; });
        // A save clicked while the page loads records the box as the load
        // leaves it: every text the page area puts there until then counts.
        QObject::connect(m_w->WebBrowser1, &platform::WebBrowser::NavigateComplete2, m_w.get(), [this] {
            for (Save &s : m_saves)
                if (s.waiting)
                    s.later << m_w->txtInput->text();
        });
        QObject::connect(m_w->WebBrowser1->page()->profile(), &QWebEngineProfile::downloadRequested, m_w.get(),
                         [this](QWebEngineDownloadRequest *d) { m_downloads << Download{d, now()}; });
        {
            // The first page completes before the user acts.
            const Waiting waiting;
            QElapsedTimer t;
            t.start();
            while (m_w && !m_ended && t.elapsed() < 15000 && !m_w->windowTitle().startsWith(frmMain::captionPrefix()))
                QTest::qWait(20);
        }
        settle();
        m_snapshot = Snapshot::take(m_box->watched());
    }

    bool downloading()
    {
        // Every download of the site ends within moments: one still under
        // way after 5 s is stuck (the engine's object for a request it
        // replaced never ends) and is judged as ended.
        const qint64 t = now();
        m_downloads.removeIf([t](const Download &d) { return !d.request || d.request->isFinished() || t - d.since > 5000; });
        return !m_downloads.isEmpty();
    }

    // The tester waits, up to the time given (less the longest any thread of
    // the program or of the engine's processes stood waiting for a CPU,
    // and at most four times as long by the clock), for the page to be
    // still: no load, save or download under way for a while, so that a
    // navigation the action started but the engine has not begun yet is
    // waited for too.
    void settle(int ms = 5000)
    {
        const Waiting waiting;
        QElapsedTimer t, still;
        t.start();
        still.start();
        const CpuWaitWatch queued;
        qint64 held = 0;
        QTest::qWait(30);
        while (m_w && !m_ended && t.elapsed() - held < ms && t.elapsed() < 4 * ms && still.elapsed() < 150) {
            if (m_w->WebBrowser1->Busy() || m_w->saving() || downloading())
                still.restart();
            QTest::qWait(20);
            if (t.elapsed() > ms / 2)  // the machine's share is looked up only once the wait is long
                held = queued.longestMs();
        }
        if (m_w && m_w->saving())
            m_saveStuck = true;
        QTest::qWait(60);
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    }

    void clickMenu(const Item &m)
    {
        QMenuBar *bar = m_w->menuBar();
        QMenu *menu = m_w.get()->*m.menu;
        QAction *item = m_w.get()->*m.item;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        for (int i = 0; i < 50 && !menu->isVisible(); ++i)
            QTest::qWait(5);
        if (!menu->isVisible())
            return;
        if (!item->isEnabled()) {
            QTest::keyClick(menu, Qt::Key_Escape);
            return;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    void typeInto(QLineEdit *box, const QString &text)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Backspace);
            return;
        }
        for (qsizetype i = 0; i < text.size();) {
            const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size();
            const QString ch = text.mid(i, pair ? 2 : 1);
            i += ch.size();
            const int key = pair ? int(Qt::Key_unknown) : int(ch.at(0).toUpper().unicode());
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key(key), ch, ch.at(0).isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
        }
    }

    // Clicks the n-th link or button of the page, scrolled into sight.
    void clickLink(int n)
    {
        QWebEngineView *view = m_w->WebBrowser1;
        QVariant result;
        for (int attempt = 0; attempt < 3 && result.toList().size() != 2 && !m_ended; ++attempt) {
            if (attempt > 0) {
                const Waiting waiting;
                QTest::qWait(300);
            }
            result = linkPoint(n);
        }
        const QVariantList xy = result.toList();
        if (qEnvironmentVariableIsSet("SESSIONS_DEBUG"))
            qInfo() << "link" << n << result << view->url();
        if (xy.size() != 2)
            return;
        QWidget *target = view->focusProxy() ? view->focusProxy() : view;
        QTest::qWait(20);
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(int(xy.at(0).toDouble()), int(xy.at(1).toDouble())));
    }

    // Where the n-th link or button of the page is, once scrolled into sight.
    QVariant linkPoint(int n)
    {
        QWebEngineView *view = m_w->WebBrowser1;
        // The answer may come after the wait gave up: it goes to state that
        // outlives this call.
        struct Answer {
            QVariant result;
            bool done = false;
        };
        const auto answer = std::make_shared<Answer>();
        view->page()->runJavaScript(
            QStringLiteral("(function(i){var e=document.querySelectorAll('a,button');if(!e.length)return null;"
                           "e=e[i%e.length];e.scrollIntoView({block:'center'});var r=e.getBoundingClientRect();"
                           "return [r.left+r.width/2,r.top+r.height/2];})(%1)").arg(n),
            QWebEngineScript::ApplicationWorld, [answer](const QVariant &v) { answer->result = v; answer->done = true; });
        {
            const Waiting waiting;
            QElapsedTimer t;
            t.start();
            while (!answer->done && t.elapsed() < 3000 && !m_ended)
                QTest::qWait(10);
        }
        return answer->result;
    }

    void pickDrive(int index)
    {
        QComboBox *box = m_w->Drive1;
        QStyleOptionComboBox opt;
        opt.initFrom(box);
        opt.subControls = QStyle::SC_All;
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QAbstractItemView *view = box->view();
        for (int i = 0; i < 50 && !view->isVisible(); ++i)
            QTest::qWait(5);
        if (!view->isVisible() || box->count() == 0)
            return;
        const QModelIndex mi = box->model()->index(index % box->count(), 0);
        view->scrollTo(mi);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(mi).center());
        if (view->isVisible())
            box->hidePopup();
    }

    void clickRow(QListWidget *list, int n, bool twice)
    {
        if (list->count() == 0)
            return;
        QListWidgetItem *item = list->item(n % list->count());
        list->scrollToItem(item);
        const QPoint p = list->visualItemRect(item).center();
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
    }

    void perform(const Action &a) override
    {
        if (!m_w || m_ended)
            return;
        frmMain *w = m_w.get();
        const QString &v = a.verb;
        int wait = 5000;
        if (v == u"address") {
            typeInto(w->txtInput, expand(a.arg(0)));
            m_typedAt = m_urlChanges;
            if (a.arg(1) == u"enter")
                QTest::keyClick(w->txtInput, Qt::Key_Return);
        } else if (v == u"go") {
            QTest::mouseClick(w->Command1, Qt::LeftButton);
        } else if (v == u"link") {
            clickLink(a.arg(0).toInt());
        } else if (v == u"tool") {
            if (platform::ToolbarButton *b = w->Toolbar1->button(a.arg(0)); b && b->widget) {
                m_closing |= a.arg(0) == u"Exit";
                QTest::mouseClick(b->widget, Qt::LeftButton);
            }
        } else if (v == u"key") {
            const QKeyCombination k = QKeySequence::fromString(a.arg(0))[0];
            QWidget *f = QApplication::focusWidget();
            QTest::keyClick(f && f->window() == w ? f : w, k.key(), k.keyboardModifiers());
        } else if (v == u"menu") {
            for (const Item &m : kMenu)
                if (a.arg(0) == QLatin1String(m.name)) {
                    m_closing |= m.ends;
                    clickMenu(m);
                }
        } else if (v == u"drive") {
            pickDrive(a.arg(0).toInt());
        } else if (v == u"folder") {
            clickRow(w->Dir1, a.arg(0).toInt(), true);
        } else if (v == u"file") {
            clickRow(w->File1, a.arg(0).toInt(), false);
        } else if (v == u"filekey") {
            const QKeyCombination k = QKeySequence::fromString(a.arg(0))[0];
            w->File1->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w->File1, k.key(), k.keyboardModifiers());
        } else if (v == u"savepath") {
            typeInto(w->Text1, expand(a.arg(0)));
        } else if (v == u"save") {
            // The boxes as the click finds them, for the record.
            const QString path = w->Text1->text();
            QString target = platform::mapDrivePath(path);
            if (!path.isEmpty() && QFileInfo(target).isRelative())
                target = QDir(w->Dir1->Path()).absoluteFilePath(target);
            m_saves << Save{w->txtInput->text(), path, QDir::cleanPath(target), w->WebBrowser1->Busy() || w->saving(), {}};
            if (!path.isEmpty()) {
                m_allowed << QDir::cleanPath(target);
                const QFileInfo fi(target);
                m_allowed << fi.absolutePath() + u'/' + fi.completeBaseName() + QStringLiteral("_files");
                m_allowed << QDir::cleanPath(target) + QStringLiteral("_files");
            }
            m_allowed << frmMain::recordPath();
            QTest::mouseClick(w->Command2, Qt::LeftButton);
        } else if (v == u"resize") {
            w->resize(a.arg(0).toInt(), a.arg(1).toInt());
        } else if (v == u"close") {
            m_closing = true;
            w->close();
        } else if (v == u"pause") {
            const Waiting waiting;
            QTest::qWait(a.arg(0).toInt());
            wait = 0;
        }
        settle(wait);
    }

    void before(const Action &) override
    {
        m_snapBefore = m_snapshot;
        m_recordBefore = m_snapBefore.find(frmMain::recordPath()) ? m_snapBefore.find(frmMain::recordPath())->bytes : QByteArray();
    }

    static bool sameAddress(const QString &box, const QUrl &url)
    {
        if (box == url.toString(QUrl::FullyEncoded) || box == url.toString())
            return true;
        const QUrl typed(box, QUrl::TolerantMode);
        return typed == url || QUrl::fromUserInput(box) == url
               || typed.adjusted(QUrl::StripTrailingSlash) == url.adjusted(QUrl::StripTrailingSlash);
    }

    QList<Violation> check(const Action &a, const QList<Exchange> &ex) override
    {
        QList<Violation> out;
        const QString what = formatAction(a);
        if (a.verb == u"start") {
            if (m_startFailed)
                out << Violation{QStringLiteral("ended"), QStringLiteral("the program did not start")};
            return out;
        }
        const Snapshot snap = Snapshot::take(m_box->watched());
        m_snapshot = snap;
        for (const Exchange &e : ex) {
            if (e.prompt.kind == Kind::SaveFile && !e.answer.endsWith(QLatin1String(" cancel"))) {
                m_allowed << QDir::cleanPath(platform::mapDrivePath(expand(e.answer.section(u' ', 1))));
                if (e.prompt.title == u"Save download as")
                    m_accepted << Accepted{m_allowed.last(), false};
            } else if (e.prompt.kind == Kind::Message && !m_accepted.isEmpty()) {
                m_accepted.last().told = true;   // a refusal, the replace question, a failure
            }
        }

        // files
        for (const FileChange &c : diff(m_snapBefore, snap)) {
            // The web engine makes its download folder, empty, when it saves
            // a page: where a desktop has none yet, ~/Downloads appears.
            if (c.kind == FileChange::Added && c.path == m_box->home() + QStringLiteral("/Downloads") && snap.find(c.path)->dir)
                continue;
            bool ok = false;
            for (const QString &t : std::as_const(m_allowed))
                ok |= samePath(c.path, t) || c.path.startsWith(t + u'/');
            if (!ok)
                out << Violation{QStringLiteral("files"), describeChange(c) + QStringLiteral(" on ") + what};
        }

        // downloads: one the user accepted arrives at its target, or the
        // user is told why not
        if (!downloading()) {
            for (const Accepted &d : std::as_const(m_accepted)) {
                const Snapshot::Entry *e = snap.find(d.path);
                if (!d.told && !(e && (e->dir || !e->bytes.isEmpty())))
                    out << Violation{QStringLiteral("downloads"), QStringLiteral("the download saved as %1 neither arrived nor failed with a message, after %2")
                                                                     .arg(d.path, what)};
            }
            m_accepted.clear();
        }

        // record
        if (!m_w || !m_w->saving())
            for (Save &s : m_saves)
                s.waiting = false;
        const Snapshot::Entry *record = snap.find(frmMain::recordPath());
        if (record && record->bytes != m_recordBefore) {
            m_recorded = true;
            m_recordedAt = now();
            const QList<QByteArray> lines = record->bytes.split('\n');
            auto decoded = [&](int i) {
                QByteArray l = lines.value(i);
                if (l.endsWith('\r'))
                    l.chop(1);
                QStringDecoder cp1252("windows-1252");
                return QString(cp1252.decode(l));
            };
            const QString line1 = decoded(0);
            const QString line2 = decoded(1);
            bool matched = false;
            QString target;
            for (const Save &s : std::as_const(m_saves)) {
                bool address = false;
                for (const QString &a : QStringList{s.address} + s.later)
                    address |= QUrl::fromPercentEncoding(line1.toUtf8()) == QUrl::fromPercentEncoding(a.toUtf8());
                if (address && line2 == s.path && lines.size() == 3 && lines.value(2).isEmpty()
                    && lines.value(0).endsWith('\r') && lines.value(1).endsWith('\r')) {
                    matched = true;
                    target = s.target;
                }
            }
            if (!matched)
                out << Violation{QStringLiteral("record"), QStringLiteral("C:\\Zanth.lib holds %1 after %2, not the boxes of a save clicked")
                                                                .arg(QString::fromLatin1(record->bytes.toPercentEncoding(" :/\\.")), what)};
            else if (const Snapshot::Entry *e = snap.find(target); !e || e->dir || e->bytes.isEmpty())
                out << Violation{QStringLiteral("record"), QStringLiteral("C:\\Zanth.lib names %1, which holds no page, after %2").arg(target, what)};
        }

        // hang
        if (m_saveStuck) {
            m_saveStuck = false;
            out << Violation{QStringLiteral("hang"), QStringLiteral("the save of %1 did not end within 5 s")
                                                          .arg(m_saves.isEmpty() ? QString() : m_saves.last().path)};
        }

        // ended
        if (m_ended && !m_closing && !m_recorded)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program ended on %1").arg(what)};
        if (!m_ended && m_recorded && now() - m_recordedAt > 5000)
            out << Violation{QStringLiteral("ended"), QStringLiteral("the program did not end after its save was recorded")};

        // address
        if (m_w && !m_ended && !m_w->WebBrowser1->Busy() && m_urlChanges > m_typedAt && !m_w->txtInput->hasFocus()) {
            const QUrl url = m_w->WebBrowser1->url();
            const QString box = m_w->txtInput->text();
            if (!url.isEmpty() && !sameAddress(box, url))
                out << Violation{QStringLiteral("address"), QStringLiteral("after %1 the address box shows %2 while the page is %3")
                                                                 .arg(what, box, url.toString(QUrl::FullyEncoded))};
        }
        return out;
    }

    bool ended() const override { return m_ended || !m_w; }

    void finish() override
    {
        if (m_w) {
            m_w->hide();
            m_w.reset();
        }
        QTest::qWait(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDir::setCurrent(QDir::tempPath());
    }

    bool harmlessMessage(const QString &m) const override
    {
        // The pages' own console, and the web engine without a GPU, once at
        // its start.
        return Program::harmlessMessage(m) || m.contains(QLatin1String("js: "))
               || m.contains(QLatin1String("No suitable graphics backend found"));
    }

private:
    struct Save {
        QString address;
        QString path;
        QString target;
        bool waiting = false;   // clicked while the page loaded
        QStringList later;      // the box as loads left it since
    };
    TestServer m_server;
    quint16 m_closedPort = 0;
    Sandbox *m_box = nullptr;
    std::unique_ptr<frmMain> m_w;
    bool m_ended = false;
    bool m_startFailed = false;
    bool m_closing = false;
    bool m_recorded = false;
    qint64 m_recordedAt = 0;
    bool m_saveStuck = false;
    int m_urlChanges = 0;
    int m_typedAt = -1;
    QList<Save> m_saves;
    struct Download {
        QPointer<QWebEngineDownloadRequest> request;
        qint64 since;
    };
    QList<Download> m_downloads;
    QStringList m_allowed;
    struct Accepted {
        QString path;
        bool told;
    };
    QList<Accepted> m_accepted;
    Snapshot m_snapshot, m_snapBefore;
    QByteArray m_recordBefore;
};

}  // namespace

int main(int argc, char **argv)
{
    return sessions::main(
        argc, argv, [] { return std::make_unique<VennikProgram>(); },
        [] { prepareBrowserTestProcess("vennik-sessions"); });
}
