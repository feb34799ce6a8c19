// Page saving and the local file panel: path composition, the page save
// through the page area, the record file "C:\Zanth.lib", the delayed end
// and File > Open.
#include "browser-data/browsertest.h"

#include "drivemapping.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QWebEngineProfile>

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
        if (!waitUntil([&] { return m_w->windowTitle() != frmMain::caption(); }))
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

        QImage pic(24, 24, QImage::Format_RGB32);
        pic.fill(QColor(200, 30, 30));
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        pic.save(&buf, "PNG");
        m_server.add("/pic.png", "image/png", png);
        m_server.add("/style.css", "text/css", "body { background: #ddeeff; } h1 { color: #123456; }");
        m_server.addHtml("/styled.html", "<html><head><title>Styled page</title>"
                                         "<link rel=\"stylesheet\" href=\"/style.css\"></head><body>"
                                         "<h1>Saved heading</h1><img src=\"/pic.png\"></body></html>");
        m_server.addHtml("/slow.html", "<html><head><title>Slow</title></head><body>slow</body></html>", 3000);
        m_server.add("/file.bin", "application/octet-stream", QByteArray(2048, 'x'));
        m_server.addHtml("/link.html", "<html><head><title>Link page</title></head><body>"
                                       "<a id=\"d\" href=\"/file.bin\" download=\"file.bin\">get</a></body></html>");
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
        QVERIFY(readAll(htm).contains("Saved heading"));
        // The complete page keeps its parts in "<name>_files".
        const QDir parts(dir + QStringLiteral("/page_files"));
        QVERIFY(parts.exists());
        bool image = false, sheet = false;
        for (const QString &f : parts.entryList(QDir::Files)) {
            const QByteArray bytes = readAll(parts.filePath(f));
            image |= bytes.startsWith("\x89PNG");
            sheet |= bytes.contains("#123456");
        }
        QVERIFY(image);
        QVERIFY(sheet);
        QVERIFY(w->Timer1->isActive());
        w->Timer1->stop();

        // MHTML holds the image itself.
        const QString mht = dir + QStringLiteral("/page.mht");
        QFile::remove(frmMain::recordPath());
        QVERIFY(saveAs(w, mht));
        const QByteArray archive = readAll(mht);
        QVERIFY(archive.contains("Saved heading"));
        QVERIFY(archive.contains("Content-Type: image/png"));
        QVERIFY(archive.contains(m_server.url(QStringLiteral("/pic.png")).toLatin1()));
        QVERIFY(!QDir(dir + QStringLiteral("/page_files")).entryList(QDir::Files).isEmpty());
        QVERIFY(host.prompts().isEmpty());
    }

    void recordHoldsTheBoxesExactly()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        // A path with characters of Windows-1252 and one outside it.
        const QString dir = folder(QStringLiteral("Zäpfchen"));
        const QString target = dir + QStringLiteral("/café Ω.htm");
        QVERIFY(saveAs(w, target));
        QVERIFY(QFile::exists(target));
        const QByteArray expected = m_server.url(QStringLiteral("/styled.html")).toLatin1() + "\r\n"
                                    + QFile::encodeName(m_root.path()) + "/Z\xe4pfchen/caf\xe9 ?.htm\r\n";
        QCOMPARE(readAll(frmMain::recordPath()), expected);

        // An address typed but not navigated is recorded as typed; a second
        // save leaves only its own record.
        w->txtInput->setText(QStringLiteral("http://typed.invalid/not yet"));
        const QString second = dir + QStringLiteral("/second.htm");
        QVERIFY(saveAs(w, second));
        QCOMPARE(readAll(frmMain::recordPath()),
                 QByteArray("http://typed.invalid/not yet\r\n") + QFile::encodeName(dir).replace("\xc3\xa4", "\xe4")
                     + "/second.htm\r\n");

        // A relative name typed by hand lands in the folder list's folder
        // and is recorded as typed.
        const QString relative = folder(QStringLiteral("relative"));
        w->Dir1->setPath(relative);
        w->txtInput->setText(m_server.url(QStringLiteral("/styled.html")));
        QVERIFY(saveAs(w, QStringLiteral("by hand.htm")));
        QVERIFY(readAll(relative + QStringLiteral("/by hand.htm")).contains("Saved heading"));
        QCOMPARE(readAll(frmMain::recordPath()),
                 m_server.url(QStringLiteral("/styled.html")).toLatin1() + "\r\nby hand.htm\r\n");
        QVERIFY(host.prompts().isEmpty());
    }

    void unwritableTargetIsReportedAndNothingElseHappens_data()
    {
        QTest::addColumn<QString>("target");
        // (A missing folder is no failure: the page area creates it.)
        QTest::newRow("read-only file system") << QStringLiteral("/proc/vennik-test/page.htm");
        QTest::newRow("under a file") << QStringLiteral("FILE/page.htm");
        QTest::newRow("a folder") << QStringLiteral("FOLDER");
    }
    void unwritableTargetIsReportedAndNothingElseHappens()
    {
        QFETCH(QString, target);
        const QString dir = folder(QStringLiteral("unwritable"));
        QFile(dir + QStringLiteral("/plain")).open(QIODevice::WriteOnly);
        target.replace(QStringLiteral("FILE"), dir + QStringLiteral("/plain"));
        target.replace(QStringLiteral("FOLDER"), dir);
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        host.answerMessage(vb::vbOK);
        QVERIFY(!saveAs(w, target));
        QCOMPARE(host.messages().size(), 1);
        QCOMPARE(host.last().title, QStringLiteral("Zanth Browser"));
        QVERIFY(!QFile::exists(frmMain::recordPath()));
        QVERIFY(!w->Timer1->isActive());
        QTest::qWait(1300);
        QCOMPARE(m_ends, 0);
        QVERIFY(w->isVisible());
        // Still usable: the next save goes through.
        QVERIFY(saveAs(w, dir + QStringLiteral("/after.htm")));
        QVERIFY(QFile::exists(frmMain::recordPath()));
    }

    void unwritableRecordIsReported()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        // A Wine prefix without its drive C.
        qputenv("WINEPREFIX", m_root.filePath(QStringLiteral("no-prefix")).toLocal8Bit());
        host.answerMessage(vb::vbOK);
        const QString target = folder(QStringLiteral("record")) + QStringLiteral("/page.htm");
        QVERIFY(saveAs(w, target));
        QVERIFY(QFile::exists(target));
        QCOMPARE(host.messages().size(), 1);
        QVERIFY(host.messages().first().contains(QStringLiteral("C:\\Zanth.lib")));
        QVERIFY(!w->Timer1->isActive());
        QVERIFY(!QFile::exists(frmMain::recordPath()));
    }

    // --- the end after a save ---------------------------------------------------------------

    void timerEndsTheProgramAfterTheSave()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString target = folder(QStringLiteral("timer")) + QStringLiteral("/page.htm");
        QElapsedTimer clock;
        qint64 savedAt = -1, endedAt = -1;
        QByteArray pageAtEnd, recordAtEnd;
        connect(w->WebBrowser1, &platform::WebBrowser::SaveCompleted, this, [&] { savedAt = clock.elapsed(); });
        m_onEnd = [&] {
            endedAt = clock.elapsed();
            pageAtEnd = readAll(target);
            recordAtEnd = readAll(frmMain::recordPath());
        };
        clock.start();
        w->Text1->setText(target);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(m_ends, 0);
        QVERIFY(waitUntil([&] { return m_ends > 0; }, 30000));
        QCOMPARE(m_ends, 1);
        QVERIFY(savedAt >= 0);
        QVERIFY2(endedAt - savedAt >= 1050 && endedAt - savedAt < 3000,
                 qPrintable(QString::number(endedAt - savedAt)));
        QVERIFY(pageAtEnd.contains("</html>"));
        QVERIFY(recordAtEnd.endsWith(target.toLatin1() + "\r\n"));
        QVERIFY(!w->isVisible());
    }

    void tickDuringASaveWaitsForIt()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("tick"));
        QVERIFY(saveAs(w, dir + QStringLiteral("/first.htm")));
        QVERIFY(w->Timer1->isActive());
        // The second save is under way when the first save's tick comes.
        QByteArray pageAtEnd, recordAtEnd;
        m_onEnd = [&] {
            pageAtEnd = readAll(dir + QStringLiteral("/second.htm"));
            recordAtEnd = readAll(frmMain::recordPath());
        };
        w->Text1->setText(dir + QStringLiteral("/second.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QVERIFY(w->WebBrowser1->Saving());
        w->Timer1_Timer();
        QCOMPARE(m_ends, 0);
        QVERIFY(waitUntil([&] { return m_ends > 0; }, 30000));
        QVERIFY(pageAtEnd.contains("Saved heading"));
        QVERIFY(recordAtEnd.endsWith("/second.htm\r\n"));
    }

    // --- refused clicks --------------------------------------------------------------------------

    void clicksThatCannotSaveAreRefused()
    {
        ScriptedDialogHost host;
        frmMain *w = showingStyledPage();
        QVERIFY(w);
        const QString dir = folder(QStringLiteral("refused"));

        // While a save is under way.
        w->Text1->setText(dir + QStringLiteral("/one.htm"));
        QSignalSpy done(w->WebBrowser1, &platform::WebBrowser::SaveCompleted);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        host.answerMessage(vb::vbOK);
        w->Text1->setText(dir + QStringLiteral("/two.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(host.messages().size(), 1);
        QVERIFY(waitUntil([&] { return done.count() == 1; }));
        QTest::qWait(300);
        QCOMPARE(done.count(), 1);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/two.htm")));
        QVERIFY(readAll(frmMain::recordPath()).endsWith("/one.htm\r\n"));
        w->Timer1->stop();

        // While a page is loading.
        w->txtInput->setText(m_server.url(QStringLiteral("/slow.html")));
        w->Command1_Click();
        QVERIFY(waitUntil([&] { return w->WebBrowser1->Busy(); }));
        host.answerMessage(vb::vbOK);
        w->Text1->setText(dir + QStringLiteral("/three.htm"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(host.messages().size(), 2);
        QVERIFY(host.messages().last().contains(QStringLiteral("loading")));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/three.htm")));
        QVERIFY(!w->Timer1->isActive());

        // With nothing shown at all.
        platform::WebBrowser blank;
        QVERIFY_THROWS_EXCEPTION(platform::WebBrowserError,
                                 blank.ExecWB(4, 2, dir + QStringLiteral("/four.htm")));
    }

    void downloadsNotAskedForAreCancelled()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QList<QWebEngineDownloadRequest::DownloadState> states;
        connect(w->WebBrowser1->page()->profile(), &QWebEngineProfile::downloadRequested, this,
                [&](QWebEngineDownloadRequest *d) { states << d->state(); });
        w->txtInput->setText(m_server.url(QStringLiteral("/file.bin")));
        w->Command1_Click();
        QVERIFY(waitUntil([&] { return !states.isEmpty(); }));
        QCOMPARE(states.first(), QWebEngineDownloadRequest::DownloadCancelled);
        QVERIFY(!w->WebBrowser1->Saving());
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
        QCOMPARE(w->txtInput->text(), QUrl::fromLocalFile(file).toString());

        // Cancel: nothing changes and nothing is said.
        host.answerOpenFile(QString());
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        w->mnuFileOpen->trigger();
        QTest::qWait(300);
        QCOMPARE(loads.count(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("Zanth Browser - Local file"));
        QCOMPARE(w->txtInput->text(), QUrl::fromLocalFile(file).toString());
        QCOMPARE(host.messages().size(), 0);
        QCOMPARE(host.pending(), 0);
    }
};

BROWSER_TEST_MAIN(TestBrowserSaving, "tst_browser_saving")
#include "tst_browser_saving.moc"
