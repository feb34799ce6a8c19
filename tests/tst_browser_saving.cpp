// Page saving and the local file panel: path composition, the page save
// through the page area, the record file "C:\Zanth.lib", the delayed end
// and File > Open.
#include "browsertest.h"

#include "drivemapping.h"
#include "runtime.h"

#include <QBuffer>
#include <QDirIterator>
#include <QEventLoop>
#include <QImage>
#include <QSignalSpy>
#include <QWebEngineHistory>
#include <QWebEngineProfile>

#include <sys/stat.h>

namespace {
QByteArray png(int side, QColor colour)
{
    QImage pic(side, side, QImage::Format_RGB32);
    pic.fill(colour);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    pic.save(&buf, "PNG");
    return bytes;
}

int modeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Every entry under a folder (links not followed): its bytes and its mode.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        const QByteArray bytes = it.fileInfo().isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("folder");
        all.insert(QDir(folder).relativeFilePath(path), QByteArray::number(modeOf(path), 8) + ' ' + bytes);
    }
    return all;
}

// A dialog host whose message boxes stay on screen a while, as a user's do.
class SlowHost : public ScriptedDialogHost {
public:
    int openMs = 2000;
    int messageBox(const QString &text, int buttons, const QString &title) override
    {
        QEventLoop shown;
        QTimer::singleShot(openMs, &shown, &QEventLoop::quit);
        shown.exec();
        return ScriptedDialogHost::messageBox(text, buttons, title);
    }
};
}  // namespace

class TestBrowserSaving : public QObject {
    Q_OBJECT

    TestServer m_server;
    QTemporaryDir m_root;          // the Wine prefix and the folders the tests save into
    QString m_wine;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<frmMain> m_w;
    int m_ends = 0;
    std::function<void()> m_onEnd;

    frmMain *started()
    {
        m_folder = programFolderWith("12632256\r\n");
        if (frmMain::Start(m_folder->path(), m_w) != 0 || !m_w)
            return nullptr;
        if (!waitForStartPage(m_w.get()))
            return nullptr;
        return m_w.get();
    }

    // A window showing the served page with a stylesheet and an image.
    frmMain *showingStyledPage()
    {
        frmMain *w = started();
        if (!w)
            return nullptr;
        w->txtInput->setText(m_server.url(QStringLiteral("/styled.html")));
        w->Command1_Click();
        if (!waitForTitle(w, QStringLiteral("Styled page")))
            return nullptr;
        waitUntil([&] { return !w->WebBrowser1->Busy(); });
        return w;
    }

    QString folder(const QString &name) const
    {
        const QString path = m_root.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Saves through the button into Text1's path and waits for the end of
    // the save; returns whether it completed.
    static bool saveAs(frmMain *w, const QString &path)
    {
        QSignalSpy done(w->WebBrowser1, &platform::WebBrowser::SaveCompleted);
        QSignalSpy failed(w->WebBrowser1, &platform::WebBrowser::SaveFailed);
        w->Text1->setText(path);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        waitUntil([&] { return done.count() + failed.count() > 0; }, 30000);
        return done.count() == 1;
    }

    static void clickFile(frmMain *w, const QString &name)
    {
        const QList<QListWidgetItem *> items = w->File1->findItems(name, Qt::MatchExactly);
        QVERIFY2(items.size() == 1, qPrintable(name));
        w->File1->scrollToItem(items.first());
        QTest::mouseClick(w->File1->viewport(), Qt::LeftButton, {},
                          w->File1->visualItemRect(items.first()).center());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_wine = m_root.filePath(QStringLiteral("wine"));
        QDir().mkpath(m_wine + QStringLiteral("/drive_c"));
        qputenv("WINEPREFIX", m_wine.toLocal8Bit());
        QCOMPARE(frmMain::recordPath(), m_wine + QStringLiteral("/drive_c/Zanth.lib"));

        // What the tests make follows the usual umask.
        ::umask(022);
        m_server.add("/pic.png", "image/png", png(24, QColor(200, 30, 30)));
        m_server.add("/bg.png", "image/png", png(8, QColor(30, 200, 30)));
        m_server.add("/img/hover.png", "image/png", png(12, QColor(30, 30, 200)));
        m_server.add("/late.png", "image/png", png(4, Qt::black), 2500);
        m_server.addHtml("/late.html", "<html><head><title>Late picture</title></head><body><h1>Saved heading</h1>"
                                       "<script>document.write('<img src=\"/late.png?' + Math.random() + '\">')</script>"
                                       "</body></html>");
        m_server.add("/style.css", "text/css", "body { background: #ddeeff url(bg.png); } h1 { color: #123456; }"
                                               " h1:hover { background-image: url('img/hover.png'); }");
        m_server.addHtml("/styled.html", "<html><head><title>Styled page</title>"
                                         "<link rel=\"stylesheet\" href=\"/style.css\"></head><body>"
                                         "<h1>Saved heading</h1><img src=\"/pic.png\"></body></html>");
        m_server.addHtml("/slow.html", "<html><head><title>Slow</title></head><body>slow</body></html>", 3000);
        m_server.add("/file.bin", "application/octet-stream", QByteArray(2048, 'x'));
        m_server.addCutShort("/cut.bin", "application/octet-stream", QByteArray(2048, 'x'), 1 << 20);
        m_server.addHtml("/link.html", "<html><head><title>Link page</title></head><body>"
                                       "<a id=\"d\" href=\"/file.bin\" download=\"file.bin\">get</a>"
                                       "<a id=\"c\" href=\"/cut.bin\" download=\"file.bin\">cut</a>"
                                       "<button id=\"b\" onclick=\"for (let i = 0; i < 3; i++) alert('click ' + i);"
                                       " document.title = 'Alerted'\">alert</button><script>setTimeout(function () {"
                                       " for (let i = 0; i < 3; i++) alert('alone ' + i); document.title = 'Link page ready';"
                                       " }, 50);</script></body></html>");
    }

    void init()
    {
        m_ends = 0;
        m_onEnd = {};
        frmMain::setEndAction([this] {
            ++m_ends;
            if (m_onEnd)
                m_onEnd();
        });
        QFile::remove(frmMain::recordPath());
    }
    void cleanup()
    {
        m_w.reset();
        m_folder.reset();
        frmMain::setEndAction(nullptr);
        qputenv("WINEPREFIX", m_wine.toLocal8Bit());
    }

    // --- the file panel -----------------------------------------------------------------

    void panelComposesPaths()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("panel"));
        for (const char *name : {"a.txt", ".hidden", "noext", "B.HTM"}) {
            QFile f(dir + u'/' + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QDir(dir).mkdir(QStringLiteral("sub"));
        QFile(dir + QStringLiteral("/sub/inner.htm")).open(QIODevice::WriteOnly);

        // A folder change: the folder, one separator, no file.
        w->Dir1->setPath(dir);
        QCOMPARE(w->Text1->text(), dir + u'/');
        QCOMPARE(w->filenam, dir + u'/');
        QCOMPARE(w->File1->Path(), dir);
        QCOMPARE(w->File1->Pattern(), QStringLiteral("*.*"));
        QStringList shown;
        for (int i = 0; i < w->File1->count(); ++i)
            shown << w->File1->item(i)->text();
        QCOMPARE(shown, (QStringList{".hidden", "a.txt", "B.HTM", "noext"}));

        // A file click: folder, one separator, name.
        clickFile(w, QStringLiteral("noext"));
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/noext"));
        clickFile(w, QStringLiteral(".hidden"));
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/.hidden"));
        QCOMPARE(w->filenam, w->Text1->text());

        // Opening a subfolder from the folder list.
        const QList<QListWidgetItem *> sub = w->Dir1->findItems(QStringLiteral("sub"), Qt::MatchEndsWith);
        QCOMPARE(sub.size(), 1);
        emit w->Dir1->itemActivated(sub.first());
        QCOMPARE(w->Dir1->Path(), dir + QStringLiteral("/sub"));
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/sub/"));
        QCOMPARE(w->File1->count(), 1);
        // Back up through the parent's line.
        const int parent = int(w->Dir1->count()) - 2;
        QCOMPARE(w->Dir1->folderAt(parent), dir);
        emit w->Dir1->itemActivated(w->Dir1->item(parent));
        QCOMPARE(w->Text1->text(), dir + u'/');

        // The root already ends in its separator.
        w->Dir1->setPath(QStringLiteral("/"));
        QCOMPARE(w->Text1->text(), QStringLiteral("/"));
        if (w->File1->count() > 0) {
            const QString first = w->File1->item(0)->text();
            clickFile(w, first);
            QCOMPARE(w->Text1->text(), u'/' + first);
        }
        QVERIFY(host.prompts().isEmpty());
    }

    void driveListAndAnUnreadableDrive()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const QStringList drives = platform::DriveListBox::mountedDrives();
        QCOMPARE(drives.value(0), QStringLiteral("/"));
        QStringList rest = drives.mid(1);
        QStringList sorted = rest;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(rest, sorted);

        const QString dir = folder(QStringLiteral("drives"));
        w->Dir1->setPath(dir);
        const QString text = w->Text1->text();

        // A drive that cannot be read: a message, and the panel as it was.
        host.answerMessage(vb::vbOK);
        w->Drive1->addItem(QStringLiteral("/no-such-drive-here"));
        const int bad = int(w->Drive1->count()) - 1;
        w->Drive1->setCurrentIndex(bad);
        emit w->Drive1->activated(bad);
        QCOMPARE(host.messages().size(), 1);
        QVERIFY(host.messages().first().contains(QStringLiteral("/no-such-drive-here")));
        QCOMPARE(host.last().title, QStringLiteral("Zanth Browser"));
        QCOMPARE(w->Dir1->Path(), dir);
        QCOMPARE(w->Text1->text(), text);
        QVERIFY(w->Drive1->currentIndex() != bad);
        QCOMPARE(m_ends, 0);

        // Opening the list reads the drives again: one gone is gone.
        w->Drive1->showPopup();
        QCOMPARE(w->Drive1->findText(QStringLiteral("/no-such-drive-here")), -1);
        QCOMPARE(w->Drive1->count(), drives.size());
        w->Drive1->hidePopup();
    }

    void keyboardChoosesOnlyWhatTheUserPicks()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const QString dir = folder(QStringLiteral("keys"));
        for (const char *name : {"a.txt", "b.txt"})
            QFile(dir + u'/' + QLatin1String(name)).open(QIODevice::WriteOnly);
        QDir(dir).mkdir(QStringLiteral("sub"));
        w->Dir1->setPath(dir);
        w->Text1->setText(QStringLiteral("typed by hand"));

        // Tabbing through the folder and file lists chooses nothing.
        w->Drive1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->Drive1, Qt::Key_Tab);
        QVERIFY(w->Dir1->hasFocus());
        QTest::keyClick(w->Dir1, Qt::Key_Tab);
        QVERIFY(w->File1->hasFocus());
        QCOMPARE(w->File1->currentRow(), -1);
        QVERIFY(w->File1->selectedItems().isEmpty());
        QCOMPARE(w->Dir1->Path(), dir);
        QCOMPARE(w->Text1->text(), QStringLiteral("typed by hand"));

        // Arrow keys choose a file; a click on the selected file chooses it
        // again. (Enter clicks Go.)
        QTest::keyClick(w->File1, Qt::Key_Down);
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/a.txt"));
        QTest::keyClick(w->File1, Qt::Key_Down);
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/b.txt"));
        w->Text1->setText(QStringLiteral("typed by hand"));
        clickFile(w, QStringLiteral("b.txt"));
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/b.txt"));

        // In the folder list arrows move the highlight; a double click opens.
        QTest::keyClick(w->File1, Qt::Key_Tab, Qt::ShiftModifier);
        QVERIFY(w->Dir1->hasFocus());
        w->Text1->setText(QStringLiteral("typed by hand"));
        QTest::keyClick(w->Dir1, Qt::Key_Down);
        QCOMPARE(w->Dir1->folderAt(w->Dir1->currentRow()), dir + QStringLiteral("/sub"));
        QCOMPARE(w->Dir1->Path(), dir);
        QCOMPARE(w->Text1->text(), QStringLiteral("typed by hand"));
        const QPoint line = w->Dir1->visualItemRect(w->Dir1->currentItem()).center();
        QTest::mouseClick(w->Dir1->viewport(), Qt::LeftButton, {}, line);
        QTest::mouseDClick(w->Dir1->viewport(), Qt::LeftButton, {}, line);
        QTest::mouseRelease(w->Dir1->viewport(), Qt::LeftButton, {}, line);
        QCOMPARE(w->Dir1->Path(), dir + QStringLiteral("/sub"));
        QCOMPARE(w->Text1->text(), dir + QStringLiteral("/sub/"));
        QVERIFY(host.prompts().isEmpty());
    }

    // --- the page save and the record ------------------------------------------------------

    void savedPageHoldsItsParts()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("complete"));
        const QString htm = dir + QStringLiteral("/page.htm");
        QVERIFY(saveAs(w, htm));
        const QByteArray page = readAll(htm);
        QVERIFY(page.contains("Saved heading"));
        const QByteArray address = m_server.url(QStringLiteral("/styled.html")).toLatin1();
        QVERIFY2(page.startsWith("\n<!-- saved from url=(" + QByteArray::number(address.size()).rightJustified(4, '0') + ")"
                                 + address + " -->"), page.left(120).constData());
        // The complete page keeps its parts in "<name>_files": the picture,
        // the style sheet, and the pictures the sheet uses (also one only
        // shown under the mouse), which it names by their local files.
        const QDir parts(dir + QStringLiteral("/page_files"));
        QSet<QByteArray> pictures;
        QByteArray sheet;
        for (const QString &f : parts.entryList(QDir::Files)) {
            const QByteArray bytes = readAll(parts.filePath(f));
            if (bytes.startsWith("\x89PNG"))
                pictures << bytes;
            if (bytes.contains("#123456"))
                sheet = bytes;
        }
        QCOMPARE(pictures, (QSet<QByteArray>{png(24, QColor(200, 30, 30)), png(8, QColor(30, 200, 30)), png(12, QColor(30, 30, 200))}));
        static const QRegularExpression url(QStringLiteral("url\\(['\"]?([^'\")]*)"));
        int local = 0;
        for (auto it = url.globalMatch(QString::fromLatin1(sheet)); it.hasNext(); ++local)
            QVERIFY2(parts.exists(it.next().captured(1)), sheet.constData());
        QCOMPARE(local, 2);
        QVERIFY2(sheet.startsWith("body {"), sheet.constData());
        // Made as every program makes files under umask 022.
        QCOMPARE(modeOf(htm), 0644);
        QCOMPARE(modeOf(parts.path()), 0755);
        QCOMPARE(modeOf(parts.filePath(parts.entryList(QDir::Files).first())), 0644);
        QVERIFY(w->Timer1->isActive());
        w->Timer1->stop();

        // MHTML holds the pictures themselves, the sheet's too.
        const QString mht = dir + QStringLiteral("/page.mht");
        QVERIFY(saveAs(w, mht));
        w->Timer1->stop();
        const QByteArray archive = readAll(mht);
        QVERIFY(archive.contains("Saved heading"));
        for (const char *picture : {"/pic.png", "/bg.png", "/img/hover.png"})
            QVERIFY2(archive.contains("Content-Location: " + m_server.url(QLatin1String(picture)).toLatin1()), picture);
        QCOMPARE(modeOf(mht), 0644);

        // A page shown from the archive is saved as the archive's bytes,
        // with no dialog, and the cycle goes on to its end.
        host.answerOpenFile(mht);
        w->mnuFileOpen->trigger();
        QVERIFY(waitUntil([&] { return w->txtInput->text().endsWith(u"/page.mht") && !w->WebBrowser1->Busy(); }));
        const QString again = dir + QStringLiteral("/again.htm");
        QVERIFY(saveAs(w, again));
        QCOMPARE(readAll(again), archive);
        QVERIFY(readAll(frmMain::recordPath()).endsWith("/again.htm\r\n"));
        QVERIFY(waitUntil([&] { return m_ends == 1; }, 5000));
        QCOMPARE(host.prompts().size(), 1);
    }

    void recordBytesAreAlwaysTwoUsableLines_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("unstorable");   // the path's first character the record cannot hold
        QTest::newRow("encoded address") << QStringLiteral("http://xn--e1afmkfd.xn--p1ai/caf%C3%A9%20page.html")
                                         << QStringLiteral("C:\\pages\\caf\u00e9.htm")
                                         << QByteArray("http://xn--e1afmkfd.xn--p1ai/caf%C3%A9%20page.html\r\n"
                                                       "C:\\pages\\caf\xe9.htm\r\n")
                                         << QString();
        QTest::newRow("typed, Windows-1252") << QStringLiteral("caf\u00e9 \u20ac") << QStringLiteral("Z\u00e4pfchen \u2013 1")
                                             << QByteArray("caf\xe9 \x80\r\nZ\xe4pfchen \x96 1\r\n") << QString();
        QTest::newRow("typed, beyond it") << QStringLiteral("http://\u043f\u0440.\u03a9/x?\U0001F600")
                                          << QStringLiteral("a \u03a9 b\U0001F600")
                                          << QByteArray("http://%D0%BF%D1%80.%CE%A9/x?%F0%9F%98%80\r\na ? b?\r\n")
                                          << QStringLiteral("\u03a9");
        QTest::newRow("astral first") << QStringLiteral("?") << QStringLiteral("\U0001F600.htm")
                                      << QByteArray("?\r\n?.htm\r\n") << QStringLiteral("\U0001F600");
    }
    void recordBytesAreAlwaysTwoUsableLines()
    {
        QFETCH(QString, address);
        QFETCH(QString, path);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, unstorable);
        QCOMPARE(frmMain::unstorableCharacter(path), unstorable);
        QCOMPARE(frmMain::recordBytes(address, path), bytes);
    }

    void recordHoldsTheBoxesExactly()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        // A path with characters of Windows-1252.
        const QString dir = folder(QStringLiteral("Zäpfchen"));
        const QString target = dir + QStringLiteral("/café – 1.htm");
        QVERIFY(saveAs(w, target));
        QVERIFY(QFile::exists(target));
        const QByteArray expected = m_server.url(QStringLiteral("/styled.html")).toLatin1() + "\r\n"
                                    + QFile::encodeName(m_root.path()) + "/Z\xe4pfchen/caf\xe9 \x96 1.htm\r\n";
        QCOMPARE(readAll(frmMain::recordPath()), expected);

        // An address typed but not navigated is recorded as typed; a second
        // save leaves only its own record.
        w->txtInput->setText(QStringLiteral("http://typed.invalid/not yet"));
        const QString second = dir + QStringLiteral("/second.htm");
        QVERIFY(saveAs(w, second));
        QCOMPARE(readAll(frmMain::recordPath()),
                 QByteArray("http://typed.invalid/not yet\r\n") + QFile::encodeName(dir).replace("\xc3\xa4", "\xe4")
                     + "/second.htm\r\n");

        // A name the record cannot hold is refused before anything is
        // written, with a message naming the character.
        host.answerMessage(vb::vbOK);
        w->Text1->setText(dir + QStringLiteral("/Ωmega.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(host.messages().size(), 1);
        QVERIFY2(host.messages().first().contains(QStringLiteral("\"Ω\" (U+03A9)")), qPrintable(host.messages().first()));
        QVERIFY(!w->saving());
        QVERIFY(!QFile::exists(dir + QStringLiteral("/Ωmega.htm")));
        QVERIFY(readAll(frmMain::recordPath()).endsWith("/second.htm\r\n"));

        // Line breaks never enter the boxes, typed, pasted or set.
        w->Text1->setText(QStringLiteral("by\r\nhand\n.htm"));
        QCOMPARE(w->Text1->text(), QStringLiteral("byhand.htm"));
        platform::Clipboard::SetText(QStringLiteral("/one\n/two"));
        w->txtInput->setText(QStringLiteral("http://x"));
        w->txtInput->setFocus();
        w->txtInput->end(false);
        QTest::keyClick(w->txtInput, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->txtInput->text(), QStringLiteral("http://x/one/two"));
        QCOMPARE(w->txtInput->cursorPosition(), 16);

        // A relative name typed by hand lands in the folder list's folder
        // and is recorded as typed.
        const QString relative = folder(QStringLiteral("relative"));
        w->Dir1->setPath(relative);
        w->txtInput->setText(m_server.url(QStringLiteral("/styled.html")));
        QVERIFY(saveAs(w, QStringLiteral("by hand.htm")));
        QVERIFY(readAll(relative + QStringLiteral("/by hand.htm")).contains("Saved heading"));
        QCOMPARE(readAll(frmMain::recordPath()),
                 m_server.url(QStringLiteral("/styled.html")).toLatin1() + "\r\nby hand.htm\r\n");
        QCOMPARE(host.pending(), 0);
    }

    void savePathsWriteExactlyWhatIsTyped_data()
    {
        QTest::addColumn<QString>("typed");     // DIR is the folder compared, before and after
        QTest::addColumn<QString>("written");   // what changes there: entries starting so; empty: nothing
        QTest::newRow("folder") << QStringLiteral("DIR/Docs") << QString();
        QTest::newRow("folder with a separator") << QStringLiteral("DIR/Docs/") << QString();
        QTest::newRow("no file name") << QStringLiteral("DIR/Docs/..") << QString();
        QTest::newRow("under a file") << QStringLiteral("DIR/plain/page.htm") << QString();
        QTest::newRow("read-only file system") << QStringLiteral("/proc/vennik-test/page.htm") << QString();
        QTest::newRow("existing file") << QStringLiteral("DIR/existing.htm") << QStringLiteral("existing");
        QTest::newRow("new folder") << QStringLiteral("DIR/new/deeper/page.htm") << QStringLiteral("new");
        QTest::newRow("C: path") << QStringLiteral("C:\\Saved\\page.htm") << QStringLiteral("Saved");
    }
    void savePathsWriteExactlyWhatIsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        // A folder beside a page of the same name, a page to replace (with
        // its own mode), a plain file.
        const bool onC = typed.startsWith(u"C:");
        const QString dir = onC ? m_wine + QStringLiteral("/drive_c") : folder(QStringLiteral("paths/") + QTest::currentDataTag());
        QDir(dir).mkpath(QStringLiteral("Docs"));
        for (const char *name : {"Docs/inside.txt", "Docs.html", "existing.htm", "plain"}) {
            QFile f(dir + u'/' + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("old ") + name);
        }
        QFile::setPermissions(dir + QStringLiteral("/existing.htm"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        typed.replace(QStringLiteral("DIR"), dir);
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        QMap<QString, QByteArray> before = snapshot(dir);
        if (written.isEmpty())
            host.answerMessage(vb::vbOK);
        QSignalSpy done(w->WebBrowser1, &platform::WebBrowser::SaveCompleted);
        w->Text1->setText(typed);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !w->saving(); }, 30000));
        QMap<QString, QByteArray> after = snapshot(dir);
        before.remove(QStringLiteral("Zanth.lib"));
        after.remove(QStringLiteral("Zanth.lib"));
        if (written.isEmpty()) {
            // Refused, or failed, with a message; nothing anywhere changed.
            QCOMPARE(host.messages().size(), 1);
            QCOMPARE(done.count(), 0);
            QVERIFY(!QFile::exists(frmMain::recordPath()));
            QVERIFY(!w->Timer1->isActive());
            QCOMPARE(after, before);
            return;
        }
        QCOMPARE(done.count(), 1);
        QVERIFY(host.prompts().isEmpty());
        QCOMPARE(readAll(frmMain::recordPath()).split('\n').value(1), typed.toLatin1() + '\r');
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const bool changed = before.value(it.key()) != it.value();
            QVERIFY2(!changed || it.key().startsWith(written), qPrintable(it.key()));
            // New files and folders follow umask 022; a replaced file keeps its mode.
            if (changed && !before.contains(it.key()))
                QCOMPARE(modeOf(dir + u'/' + it.key()), QFileInfo(dir + u'/' + it.key()).isDir() ? 0755 : 0644);
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.contains(it.key()), qPrintable(it.key()));
        if (written == u"existing")
            QCOMPARE(modeOf(dir + QStringLiteral("/existing.htm")), 0640);
        QVERIFY(readAll(platform::mapDrivePath(typed)).contains("Saved heading"));
    }

    void recordWithoutDriveCFolder_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("written");
        // A desktop where Wine never ran: the drive folder is made.
        QTest::newRow("no prefix yet") << m_root.filePath(QStringLiteral("fresh/.wine")) << true;
        QTest::newRow("prefix that cannot be made") << QStringLiteral("/proc/vennik-no-prefix") << false;
    }
    void recordWithoutDriveCFolder()
    {
        QFETCH(QString, prefix);
        QFETCH(bool, written);
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        qputenv("WINEPREFIX", prefix.toLocal8Bit());
        QCOMPARE(frmMain::recordPath(), prefix + QStringLiteral("/drive_c/Zanth.lib"));
        if (!written)
            host.answerMessage(vb::vbOK);
        const QString target = folder(QStringLiteral("record")) + QStringLiteral("/page.htm");
        QVERIFY(saveAs(w, target));
        QVERIFY(QFile::exists(target));
        if (written) {
            // Only the drive folder is made; the cycle ends as ever.
            QCOMPARE(QDir(prefix).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"drive_c"});
            QCOMPARE(readAll(frmMain::recordPath()),
                     m_server.url(QStringLiteral("/styled.html")).toLatin1() + "\r\n" + QFile::encodeName(target) + "\r\n");
            QVERIFY(waitUntil([&] { return m_ends == 1; }, 5000));
            QVERIFY(host.prompts().isEmpty());
        } else {
            QCOMPARE(host.messages().size(), 1);
            QVERIFY(host.messages().first().contains(QStringLiteral("C:\\Zanth.lib")));
            QVERIFY(!w->Timer1->isActive());
            QVERIFY(!QFile::exists(frmMain::recordPath()));
        }
    }

    // --- the end after a save ---------------------------------------------------------------

    void quickSavesWaitTheirTurnAndFinishBeforeTheEnd_data()
    {
        QTest::addColumn<QString>("exit");   // how the user ends the program meanwhile
        QTest::newRow("timer") << QString();
        QTest::newRow("close box") << QStringLiteral("close");
        QTest::newRow("File > Exit") << QStringLiteral("menu");
        QTest::newRow("toolbar Exit") << QStringLiteral("toolbar");
    }
    void quickSavesWaitTheirTurnAndFinishBeforeTheEnd()
    {
        QFETCH(QString, exit);
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("quick ") + exit);
        QElapsedTimer clock;
        qint64 recordAt = -1, endedAt = -1;
        QByteArray recordAtEnd;
        QStringList saved;
        int pointerAtEnd = -1;
        // (The window writes the record before this runs.)
        connect(w->WebBrowser1, &platform::WebBrowser::SaveCompleted, this, [&](const QString &path) {
            recordAt = clock.elapsed();
            saved << QFileInfo(path).fileName();
        });
        m_onEnd = [&] {
            endedAt = clock.elapsed();
            recordAtEnd = readAll(frmMain::recordPath());
            pointerAtEnd = platform::Screen::mousePointer();
        };
        clock.start();
        w->Text1->setText(dir + QStringLiteral("/one.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        w->txtInput->setText(QStringLiteral("http://second.invalid/"));
        w->Text1->setText(dir + QStringLiteral("/two.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        // A tick while saves are under way waits for them.
        w->Timer1_Timer();
        if (exit == u"close")
            w->close();
        else if (exit == u"menu")
            w->mnuFileExit->trigger();
        else if (exit == u"toolbar")
            w->Toolbar1->button(QStringLiteral("Exit"))->action->trigger();
        QCOMPARE(m_ends, 0);
        QVERIFY(w->isVisible());
        if (!exit.isEmpty()) {
            // The saves go on under the busy pointer, with nothing else to do.
            QCOMPARE(platform::Screen::mousePointer(), platform::Screen::vbHourglass);
            QVERIFY(!w->centralWidget()->isEnabled());
        }
        QVERIFY(waitUntil([&] { return m_ends > 0; }, frmMain::kEndWaitMs));
        QCOMPARE(saved, (QStringList{"one.htm", "two.htm"}));
        QVERIFY(readAll(dir + QStringLiteral("/one.htm")).contains("Saved heading"));
        QVERIFY(readAll(dir + QStringLiteral("/two.htm")).contains("Saved heading"));
        QCOMPARE(recordAtEnd, "http://second.invalid/\r\n" + QFile::encodeName(dir) + "/two.htm\r\n");
        // The timer's end comes about 1111 ms after the last record; an
        // exit's as soon as it is written.
        const qint64 after = endedAt - recordAt;
        QVERIFY2(exit.isEmpty() ? after >= 1050 && after < 3000 : after < 500, qPrintable(QString::number(after)));
        QCOMPARE(pointerAtEnd, platform::Screen::vbDefault);
        QVERIFY(!w->isVisible());
        QVERIFY(host.prompts().isEmpty());
    }

    // --- refused clicks --------------------------------------------------------------------------

    void savesWaitForThePageAndRefuseErrorPages()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("waiting"));
        // A save clicked while a picture is still coming waits for it under
        // the busy pointer; Stop, after the click or before it, ends the wait
        // and what is there is saved.
        for (const QString &stop : {QStringLiteral("none"), QStringLiteral("after"), QStringLiteral("before")}) {
            w->Timer1->stop();
            w->txtInput->setText(m_server.url(QStringLiteral("/late.html?") + stop));
            const int asked = m_server.requests("/late.png");
            w->Command1_Click();
            QVERIFY(waitUntil([&] {
                return w->windowTitle().endsWith(u"Late picture") && w->WebBrowser1->Busy()
                       && m_server.requests("/late.png") > asked;
            }));
            if (stop == u"before") {
                w->mnuKestoStop->trigger();
                QVERIFY(waitUntil([&] { return !w->WebBrowser1->Busy(); }));
            }
            QSignalSpy done(w->WebBrowser1, &platform::WebBrowser::SaveCompleted);
            w->Text1->setText(dir + u'/' + stop + QStringLiteral(".htm"));
            QTest::mouseClick(w->Command2, Qt::LeftButton);
            QCOMPARE(w->cycle(), stop == u"before" ? frmMain::Cycle::Saving : frmMain::Cycle::WaitingForPage);
            QCOMPARE(platform::Screen::mousePointer(), platform::Screen::vbHourglass);
            if (stop == u"after") {
                w->mnuKestoStop->trigger();
                QVERIFY(waitUntil([&] { return w->cycle() != frmMain::Cycle::WaitingForPage; }, 500));
            } else if (stop == u"none") {
                // The page is written once the picture has come, not before.
                QVERIFY(waitUntil([&] { return QFile::exists(w->Text1->text()); }, 10000));
                QVERIFY(!w->WebBrowser1->Busy());
            }
            QVERIFY(waitUntil([&] { return done.count() == 1; }));
            QVERIFY(readAll(w->Text1->text()).contains("Saved heading"));
            QCOMPARE(w->cycle(), frmMain::Cycle::EndDue);
            QCOMPARE(platform::Screen::mousePointer(), platform::Screen::vbDefault);
        }
        // The engine's error page is never saved nor recorded.
        w->Timer1->stop();
        QFile::remove(frmMain::recordPath());
        w->txtInput->setText(QStringLiteral("http://127.0.0.1:%1/gone.html").arg(TestServer::closedPort()));
        w->Command1_Click();
        QVERIFY(waitUntil([&] { return w->WebBrowser1->ShowsErrorPage() && !w->WebBrowser1->Busy(); }));
        host.answerMessage(vb::vbOK);
        w->Text1->setText(dir + QStringLiteral("/error.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(host.messages().size(), 1);
        QVERIFY2(host.messages().first().contains(QStringLiteral("error page")), qPrintable(host.messages().first()));
        QVERIFY(!QFile::exists(dir + QStringLiteral("/error.htm")) && !QFile::exists(frmMain::recordPath()));
        QVERIFY(!w->saving() && !w->Timer1->isActive());

        // With nothing shown at all.
        platform::WebBrowser blank;
        QVERIFY_THROWS_EXCEPTION(platform::WebBrowserError,
                                 blank.ExecWB(4, 2, dir + QStringLiteral("/four.htm")));
    }

    void theEndWaitsWhileADialogIsOpen()
    {
        SlowHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        QVERIFY(saveAs(w, folder(QStringLiteral("held")) + QStringLiteral("/page.htm")));
        QVERIFY(w->Timer1->isActive());
        // A message opened before the tick stays open past it: the end waits.
        QElapsedTimer clock;
        qint64 endedAt = -1;
        m_onEnd = [&] { endedAt = clock.elapsed(); };
        clock.start();
        host.answerMessage(vb::vbOK);
        w->Text1->clear();
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        const qint64 closedAt = clock.elapsed();
        QCOMPARE(host.messages().size(), 1);
        QVERIFY2(closedAt > w->Timer1->interval() + 500, qPrintable(QString::number(closedAt)));
        QCOMPARE(m_ends, 0);
        QVERIFY(waitUntil([&] { return m_ends == 1; }, 3000));
        QVERIFY2(endedAt - closedAt < 500, qPrintable(QString::number(endedAt - closedAt)));
    }

    void downloadsAskWhereToSave_data()
    {
        QTest::addColumn<QString>("answer");    // "" cancels; DIR is a folder of the test
        QTest::addColumn<bool>("failed");
        QTest::addColumn<bool>("clicked");      // by the user, or by the page alone
        QTest::addColumn<QString>("link");
        const QString whole = QStringLiteral("#d"), cut = QStringLiteral("#c");
        QTest::newRow("saved") << QStringLiteral("DIR/got it.bin") << false << true << whole;
        QTest::newRow("into a folder named") << QStringLiteral("DIR/") << false << true << whole;
        QTest::newRow("cancelled") << QString() << false << true << whole;
        QTest::newRow("unwritable") << QStringLiteral("/proc/vennik-download/file.bin") << true << true << whole;
        QTest::newRow("started by the page") << QString() << false << false << whole;
        QTest::newRow("cut short by the server") << QStringLiteral("DIR/got it.bin") << true << true << cut;
    }
    void downloadsAskWhereToSave()
    {
        QFETCH(QString, answer);
        QFETCH(bool, failed);
        QFETCH(bool, clicked);
        QFETCH(QString, link);
        const QString dir = folder(QStringLiteral("downloads/") + QLatin1String(QTest::currentDataTag()));
        answer.replace(QStringLiteral("DIR"), dir);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QPointer<QWebEngineDownloadRequest> download;
        QObject watching;  // the profile outlives this test: so must not the watch
        connect(w->WebBrowser1->page()->profile(), &QWebEngineProfile::downloadRequested, &watching,
                [&](QWebEngineDownloadRequest *d) { download = d; });
        // The page's own alerts, three in a row with nobody at the page,
        // show nothing.
        w->txtInput->setText(m_server.url(QStringLiteral("/link.html")));
        w->Command1_Click();
        QVERIFY(waitForTitle(w, QStringLiteral("Link page ready")));
        QVERIFY(host.prompts().isEmpty());
        if (clicked) {
            host.answerSaveFile(answer);
            if (failed)
                host.answerMessage(vb::vbOK);
            QVERIFY(clickInPage(w->WebBrowser1, link));
        } else {
            w->WebBrowser1->page()->runJavaScript(QStringLiteral("document.getElementById('d').click()"));
        }
        QVERIFY(waitUntil([&] { return download && download->isFinished(); }));
        if (!clicked) {
            QCOMPARE(download->state(), QWebEngineDownloadRequest::DownloadCancelled);
            // A click lets the page show one dialog, not three.
            host.answerMessage(vb::vbOK);
            QVERIFY(clickInPage(w->WebBrowser1, QStringLiteral("#b")));
            QVERIFY(waitForTitle(w, QStringLiteral("Alerted")));
            QCOMPARE(host.messages(), QStringList{QStringLiteral("click 0")});
            return;
        }
        QCOMPARE(host.prompts().first().kind, ScriptedDialogHost::Kind::SaveFile);
        QCOMPARE(host.prompts().first().file.fileName, QStringLiteral("file.bin"));
        const QString saved = answer.endsWith(u'/') ? answer + QStringLiteral("file.bin") : answer;
        if (!answer.isEmpty() && !failed)
            QCOMPARE(readAll(saved), QByteArray(2048, 'x'));
        QVERIFY(waitUntil([&] { return host.pending() == 0; }, 5000));
        QCOMPARE(host.messages().size(), failed ? 1 : 0);
        if (failed)
            QVERIFY(host.messages().first().contains(answer));
        QVERIFY(!w->saving());
        // The folder holds what was saved and nothing beside it.
        const QStringList kept = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(kept, answer.startsWith(dir) && !failed ? QStringList{QFileInfo(saved).fileName()} : QStringList());
    }

    // --- File > Open ---------------------------------------------------------------------------

    void fileOpenShowsALocalPage()
    {
        const QString dir = folder(QStringLiteral("open"));
        const QString file = dir + QStringLiteral("/local page.html");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><head><title>Local file</title></head><body>local</body></html>");
        }
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        host.answerOpenFile(file);
        w->mnuFileOpen->trigger();
        QCOMPARE(host.last().file.qtFilter, QStringLiteral("Html Files (*.html) (*.html *.htm)"));
        QVERIFY(waitForTitle(w, QStringLiteral("Local file")));
        QCOMPARE(w->txtInput->text(), QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded()));

        // Cancel: nothing changes and nothing is said.
        host.answerOpenFile(QString());
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        w->mnuFileOpen->trigger();
        QCOMPARE(w->windowTitle(), QStringLiteral("Zanth Browser - Local file"));
        QCOMPARE(w->txtInput->text(), QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded()));
        QCOMPARE(host.messages().size(), 0);
        QCOMPARE(host.pending(), 0);
        // The next address goes straight from the local page to its own.
        w->txtInput->setText(m_server.url(QStringLiteral("/link.html")));
        w->Command1_Click();
        QVERIFY(waitForTitle(w, QStringLiteral("Link page")));
        QCOMPARE(loads.count(), 1);
        QCOMPARE(w->WebBrowser1->history()->backItem().url(), QUrl::fromLocalFile(file));
    }

    void localPagesShowTheirPicturesAndReadNothingElse()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("reopen"));
        QVERIFY(saveAs(w, dir + QStringLiteral("/saved.htm")));
        w->Timer1->stop();
        // The reader's own parts folder holds a file and a link (as an
        // unpacked archive may) to a file outside it.
        QFile(dir + QStringLiteral("/secret.txt")).open(QIODevice::WriteOnly);
        QDir(dir).mkdir(QStringLiteral("reader_files"));
        QFile(dir + QStringLiteral("/reader_files/own.txt")).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(dir + QStringLiteral("/secret.txt"), dir + QStringLiteral("/reader_files/link.txt")));
        {
            QFile f(dir + QStringLiteral("/reader.html"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><head><title>Reader</title></head><body><script>var results = [];"
                    "function get(name, next) { var x = new XMLHttpRequest();"
                    " x.onload = function() { results.push(name + ' read'); next(); };"
                    " x.onerror = function() { results.push(name + ' refused'); next(); };"
                    " try { x.open('GET', name); x.send(); } catch (e) { results.push(name + ' refused'); next(); } }"
                    "get('reader_files/own.txt', function() { get('reader_files/link.txt', function() {"
                    " get('secret.txt', function() { document.title = results.join(', '); }); }); });"
                    "</script></body></html>");
        }
        auto evaluate = [&](const QString &script) {
            QVariant result;
            bool done = false;
            w->WebBrowser1->page()->runJavaScript(script, [&](const QVariant &v) { result = v; done = true; });
            waitUntil([&] { return done; }, 10000);
            return result;
        };
        // The saved page, opened again, shows the picture of its _files folder.
        host.answerOpenFile(dir + QStringLiteral("/saved.htm"));
        w->mnuFileOpen->trigger();
        QVERIFY(waitUntil([&] { return w->txtInput->text().endsWith(u"/saved.htm") && !w->WebBrowser1->Busy(); }));
        QVERIFY(QFileInfo(dir + QStringLiteral("/saved_files")).isDir());
        QVERIFY(waitUntil([&] { return evaluate(QStringLiteral("document.images[0].naturalWidth")).toInt() == 24; }, 10000));
        // A local page reads its own parts, and no other local file, not
        // even through a link in its parts folder.
        host.answerOpenFile(dir + QStringLiteral("/reader.html"));
        w->mnuFileOpen->trigger();
        QVERIFY(waitUntil([&] { return w->WebBrowser1->title().contains(u"secret"); }, 10000));
        QCOMPARE(w->WebBrowser1->title(),
                 QStringLiteral("reader_files/own.txt read, reader_files/link.txt refused, secret.txt refused"));
        QVERIFY(host.messages().isEmpty());
    }
};

BROWSER_TEST_MAIN(TestBrowserSaving, "tst_browser_saving")
#include "tst_browser_saving.moc"
