// Navigation: Go and its address normalisation, the toolbar and the browse
// menu, and the address box and caption after every completed navigation.
#include "browsertest.h"

#include <QAction>
#include <QSignalSpy>
#include <QWebEngineHistory>

class TestBrowserNavigation : public QObject {
    Q_OBJECT

    TestServer m_server, m_other;
    QTemporaryDir m_wine;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<frmMain> m_w;
    int m_ends = 0;

    // A running window whose start page has completed.
    frmMain *started()
    {
        m_folder = programFolderWith("12632256\r\n");
        if (frmMain::Start(m_folder->path(), m_w) != 0 || !m_w)
            return nullptr;
        if (!waitForStartPage(m_w.get()))
            return nullptr;
        return m_w.get();
    }

    QString page(const char *path) const { return m_server.url(QLatin1String(path)); }

    // Types an address and clicks Go.
    static void go(frmMain *w, const QString &address)
    {
        w->txtInput->setText(address);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
    }

    static void checkWholeAddressSelected(frmMain *w)
    {
        QCOMPARE(w->txtInput->selectionStart(), 0);
        QCOMPARE(w->txtInput->selectedText(), w->txtInput->text());
    }

private slots:
    void initTestCase()
    {
        m_server.addHtml("/one.html", "<html><head><title>Page one</title></head><body>one</body></html>");
        m_server.addHtml("/two.html", "<html><head><title>Page two</title></head><body>two</body></html>");
        m_server.addHtml("/caf%C3%A9%20page.html", "<html><head><title>Caf\xc3\xa9</title></head><body>c</body></html>");
        // Links that ask for a new window.
        m_server.addHtml("/opener.html", "<html><head><title>Opener</title></head><body>"
                                         "<a id=\"blank\" href=\"/two.html\" target=\"_blank\">two</a>"
                                         "<button id=\"open\" onclick=\"window.open('/one.html', 'w', 'width=300')\">"
                                         "one</button><button id=\"data\" onclick=\"window.open("
                                         "'data:text/html,<title>Data</title>'); document.title = 'Clicked'\">data</button>"
                                         "</body></html>");
        m_server.addHtml("/home.html", "<html><head><title>Home page</title></head><body>home</body></html>");
        m_server.addHtml("/search.html", "<html><head><title>Search page</title></head><body>s</body></html>");
        m_server.addHtml("/slow.html", "<html><head><title>Slow page</title></head><body>slow</body></html>", 4000);
        m_server.addHtml("/frame-a.html", "<html><head><title>Frame A</title></head><body>a</body></html>");
        m_server.addHtml("/frame-b.html", "<html><head><title>Frame B</title></head><body>b</body></html>");
        // The page's own console messages look like reports but carry no
        // valid token.
        m_server.addHtml("/frames.html",
                         "<html><head><title>Two frames</title></head><body>"
                         "<script>console.log('00000000000000000000000000000000 http://fake/');"
                         "console.log(' http://fake/');</script>"
                         "<iframe src=\"/frame-a.html\"></iframe><iframe src=\"/frame-b.html\"></iframe>"
                         "</body></html>");
        // Places inside one page, a picture that comes late, a form sent by
        // POST, and a frame from another origin.
        m_server.addHtml("/anchors.html", "<html><head><title>Anchors</title></head><body>"
                                          "<a id=\"to\" href=\"#part\">to the part</a><div style=\"height:3000px\"></div>"
                                          "<h2 id=\"part\">part</h2></body></html>");
        m_server.add("/late.png", "image/png", QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg=="), 6000);
        m_server.addHtml("/late.html", "<html><head><title>Late picture</title></head><body><img src=\"/late.png\"></body></html>");
        m_server.addHtml("/form.html", "<html><head><title>Form</title></head><body><form method=\"post\" action=\"/posted.html\">"
                                       "<input name=\"a\" value=\"1\"><input id=\"send\" type=\"submit\"></form>"
                                       "<form method=\"post\" action=\"/posted.html\" target=\"_blank\">"
                                       "<input name=\"b\" value=\"2\"><input id=\"blank\" type=\"submit\"></form></body></html>");
        m_server.addHtml("/posted.html", "<html><head><title>Posted</title></head><body>posted</body></html>");
        m_other.addHtml("/opens.html", "<html><body><script>setTimeout(function () {"
                                       " window.open('" + page("/two.html").toLatin1() + "');"
                                       " parent.postMessage('tried', '*'); }, 200);</script></body></html>");
        m_server.addHtml("/framed.html", "<html><head><title>Framed</title></head><body>"
                                         "<script>addEventListener('message', function () { document.title = 'Frame tried'; });</script>"
                                         "<iframe src=\"" + m_other.url(QStringLiteral("/opens.html")).toLatin1() + "\"></iframe></body></html>");
        // A page on drive C.
        QVERIFY(m_wine.isValid());
        qputenv("WINEPREFIX", m_wine.path().toLocal8Bit());
        QDir().mkpath(m_wine.filePath(QStringLiteral("drive_c/Pages")));
        QFile local(m_wine.filePath(QStringLiteral("drive_c/Pages/a.html")));
        QVERIFY(local.open(QIODevice::WriteOnly));
        local.write("<html><head><title>From drive C</title></head><body>c</body></html>");
        platform::WebBrowser::setHomePage(page("/home.html"));
        platform::WebBrowser::setSearchPage(page("/search.html"));
    }

    void init()
    {
        m_ends = 0;
        frmMain::setEndAction([this] { ++m_ends; });
    }
    void cleanup()
    {
        m_w.reset();
        m_folder.reset();
        frmMain::setEndAction(nullptr);
    }

    // --- Go ---------------------------------------------------------------------

    void goWithAnEmptyBoxNavigatesNowhere()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const QString shown = w->WebBrowser1->LocationURL();
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        go(w, QString());
        QCOMPARE(w->txtInput->text(), QStringLiteral("http://"));
        checkWholeAddressSelected(w);
        QCOMPARE(w->strURL, QString());
        QVERIFY(host.prompts().isEmpty());
        // The next address goes straight from the start page to its own:
        // no navigation came between.
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(loads.count(), 1);
        QCOMPARE(w->WebBrowser1->history()->backItem().url().toString(), shown);
    }

    void goNormalisesTheBoxAfterNavigatingAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("box");         // right after Go
        QTest::addColumn<QByteArray>("served");   // the page the navigation asks for
        QTest::addColumn<QString>("shown");       // the box once complete: the encoded address
        const QString host = QStringLiteral("127.0.0.1:%1").arg(m_server.port());
        QTest::newRow("bare host") << host + "/one.html" << "http://" + host + "/one.html" << QByteArray("/one.html") << QString();
        QTest::newRow("capitals kept") << "HTTP://" + host + "/two.html" << "HTTP://" + host + "/two.html"
                                       << QByteArray("/two.html") << QString();
        QTest::newRow("mixed case kept") << "hTtP://" + host + "/one.html" << "hTtP://" + host + "/one.html"
                                         << QByteArray("/one.html") << QString();
        QTest::newRow("leading blanks") << "  http://" + host + "/two.html" << "  http://" + host + "/two.html"
                                        << QByteArray("/two.html") << QString();
        QTest::newRow("ftp kept") << QStringLiteral("FTP://127.0.0.1:1/x") << QStringLiteral("FTP://127.0.0.1:1/x")
                                  << QByteArray() << QString();
        QTest::newRow("https kept") << "https://" + host + "/one.html" << "https://" + host + "/one.html"
                                    << QByteArray() << QString();
        QTest::newRow("file kept") << QStringLiteral("file:///nowhere/x.html") << QStringLiteral("file:///nowhere/x.html")
                                   << QByteArray() << QString();
        QTest::newRow("non-ASCII path") << "http://" + host + "/café page.html" << "http://" + host + "/café page.html"
                                        << QByteArray("/caf%C3%A9%20page.html")
                                        << "http://" + host + "/caf%C3%A9%20page.html";
        QTest::newRow("international host") << QStringLiteral("http://пример.испытание/Ω")
                                            << QStringLiteral("http://пример.испытание/Ω") << QByteArray()
                                            << QStringLiteral("http://xn--e1afmkfd.xn--80akhbyknj4f/%CE%A9");
    }
    void goNormalisesTheBoxAfterNavigatingAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, box);
        QFETCH(QByteArray, served);
        QFETCH(QString, shown);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const int before = served.isEmpty() ? 0 : m_server.requests(served);
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        go(w, typed);
        QCOMPARE(w->strURL, typed);
        QCOMPARE(w->txtInput->text(), box);
        checkWholeAddressSelected(w);
        // The navigation was started with the text as typed.
        QTRY_VERIFY_WITH_TIMEOUT(loads.count() >= 1, 10000);
        if (!served.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(m_server.requests(served) > before, 10000);
            // Once complete, the box holds the page area's address.
            if (shown.isEmpty())
                shown = m_server.url(QString::fromLatin1(served));
        }
        if (!shown.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(w->txtInput->text(), shown, 10000);
            checkWholeAddressSelected(w);
        }
        QVERIFY(host.prompts().isEmpty());
    }

    void enterInATextBoxOrListRunsGo_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("address box") << QStringLiteral("txtInput");
        QTest::newRow("save-path box, keypad") << QStringLiteral("Text1");
        QTest::newRow("folder list, a subfolder highlighted") << QStringLiteral("Dir1");
        QTest::newRow("file list, a file highlighted") << QStringLiteral("File1");
    }
    void enterInATextBoxOrListRunsGo()
    {
        QFETCH(QString, box);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        QFile(dir.filePath(QStringLiteral("a.txt"))).open(QIODevice::WriteOnly);
        w->Dir1->setPath(dir.path());
        w->Dir1->setCurrentRow(w->Dir1->count() - 1);
        w->File1->setCurrentRow(0);
        w->Text1->setText(dir.filePath(QStringLiteral("never-saved.htm")));
        // Go takes the address box to its page: nothing is opened, chosen
        // or saved.
        w->txtInput->setText(page("/one.html"));
        QWidget *focus = w->findChild<QWidget *>(box);
        focus->setFocus();
        QTest::keyClick(focus, box == u"Text1" ? Qt::Key_Enter : Qt::Key_Return, box == u"Text1" ? Qt::KeypadModifier : Qt::NoModifier);
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(w->Dir1->Path(), dir.path());
        QCOMPARE(w->Text1->text(), dir.filePath(QStringLiteral("never-saved.htm")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("never-saved.htm"))));
        QVERIFY(!w->saving() && !w->Timer1->isActive());
        QVERIFY(host.prompts().isEmpty());
    }

    // --- completed navigation -----------------------------------------------------

    void completedPageSetsBoxAndCaption()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QSignalSpy raised(w->WebBrowser1, &platform::WebBrowser::NavigateComplete2);
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(w->txtInput->text(), page("/one.html"));
        checkWholeAddressSelected(w);
        // Text typed meanwhile is overwritten by the next completion.
        go(w, page("/two.html"));
        w->txtInput->setText(QStringLiteral("typed while loading"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        QCOMPARE(w->txtInput->text(), page("/two.html"));
        // One update for each page.
        QTRY_COMPARE(raised.count(), 2);
        QCOMPARE(raised.at(0).at(1).toString(), page("/one.html"));
        QCOMPARE(raised.at(1).at(1).toString(), page("/two.html"));
    }

    void theBoxFollowsEveryCommit()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The address and caption come with the page, not with its last
        // picture.
        QElapsedTimer clock;
        clock.start();
        go(w, page("/late.html"));
        QVERIFY(waitUntil([&] { return w->windowTitle() == u"Zanth Browser - Late picture"; }));
        QCOMPARE(w->txtInput->text(), page("/late.html"));
        QVERIFY2(w->WebBrowser1->Busy() && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        // An anchor clicked, Back from it, a history entry a script adds or
        // replaces, a new title: each reaches the box or the caption.
        go(w, page("/anchors.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Anchors")));
        QVERIFY(clickInPage(w->WebBrowser1, QStringLiteral("#to")));
        QVERIFY(waitUntil([&] { return w->txtInput->text() == page("/anchors.html#part"); }));
        checkWholeAddressSelected(w);
        w->mnuKestoBack->trigger();
        QVERIFY(waitUntil([&] { return w->txtInput->text() == page("/anchors.html"); }));
        w->WebBrowser1->page()->runJavaScript(QStringLiteral("history.pushState({}, '', 'pushed.html')"));
        QVERIFY(waitUntil([&] { return w->txtInput->text() == page("/pushed.html"); }));
        w->WebBrowser1->page()->runJavaScript(QStringLiteral("history.replaceState({}, '', 'replaced.html'); document.title = 'Renamed'"));
        QVERIFY(waitUntil([&] { return w->txtInput->text() == page("/replaced.html"); }));
        QVERIFY(waitUntil([&] { return w->windowTitle() == u"Zanth Browser - Renamed"; }));
        QVERIFY(host.prompts().isEmpty());
    }

    void windowsPathsOpenThroughTheDriveMapping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("shown");
        QTest::newRow("C:, backslashes") << QStringLiteral("C:\\Pages\\a.html") << true;
        QTest::newRow("c:, slashes, other case") << QStringLiteral("c:/pages/A.HTML") << true;
        QTest::newRow("no drive: C:") << QStringLiteral("\\pages\\a.html") << true;
        QTest::newRow("network path") << QStringLiteral("\\\\server\\share\\a.html") << false;
    }
    void windowsPathsOpenThroughTheDriveMapping()
    {
        QFETCH(QString, typed);
        QFETCH(bool, shown);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        if (!shown)
            host.answerMessage(vb::vbOK);
        go(w, typed);
        if (shown) {
            QVERIFY(waitForTitle(w, QStringLiteral("From drive C")));
            QCOMPARE(w->txtInput->text(), QString::fromLatin1(QUrl::fromLocalFile(m_wine.filePath(QStringLiteral("drive_c/Pages/a.html"))).toEncoded()));
            QVERIFY(host.prompts().isEmpty());
        } else {
            QCOMPARE(host.messages().size(), 1);
            QVERIFY2(host.messages().first().contains(typed), qPrintable(host.messages().first()));
        }
    }

    void reloadOfAFormAnswerAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("sent again") << int(vb::vbYes);
        QTest::newRow("not sent") << int(vb::vbNo);
    }
    void reloadOfAFormAnswerAsks()
    {
        QFETCH(int, answer);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        go(w, page("/form.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Form")));
        QVERIFY(clickInPage(w->WebBrowser1, QStringLiteral("#send")));
        QVERIFY(waitForTitle(w, QStringLiteral("Posted")));
        QCOMPARE(m_server.lastRequest("/posted.html"), QByteArray("POST a=1"));
        const int posts = m_server.requests("/posted.html");
        host.answerMessage(answer);
        w->mnuKestoRefresh->trigger();
        QCOMPARE(host.prompts().size(), 1);
        QCOMPARE(host.last().buttons, vb::vbYesNo + vb::vbQuestion);
        if (answer == vb::vbYes)
            QTRY_COMPARE_WITH_TIMEOUT(m_server.requests("/posted.html"), posts + 1, 10000);
        // A page that came by GET reloads without a word.
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        w->Toolbar1->button(QStringLiteral("Reload"))->action->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(host.prompts().size(), 1);
        QCOMPARE(m_server.requests("/posted.html"), posts + (answer == vb::vbYes ? 1 : 0));
    }

    void everyFrameRaisesTheUpdateForThePageAsAWhole()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QSignalSpy raised(w->WebBrowser1, &platform::WebBrowser::NavigateComplete2);
        QStringList captions;
        connect(w->WebBrowser1, &platform::WebBrowser::NavigateComplete2, this,
                [&] { captions << w->windowTitle() + u'|' + w->txtInput->text(); }, Qt::QueuedConnection);
        go(w, page("/frames.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Two frames")));
        // Once for the page, once for each of its two frames, and never for
        // the page's look-alike console messages.
        QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 3, 10000);
        QStringList urls;
        for (const QList<QVariant> &args : raised)
            urls << args.at(1).toString();
        QVERIFY(urls.contains(page("/frame-a.html")));
        QVERIFY(urls.contains(page("/frame-b.html")));
        QVERIFY(urls.contains(page("/frames.html")));
        // The box and the caption always show the page, never a frame.
        QCOMPARE(w->txtInput->text(), page("/frames.html"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Zanth Browser - Two frames"));
        for (const QString &c : captions)
            QVERIFY2(!c.contains(u"Frame A") && !c.contains(u"frame-a") && !c.contains(u"frame-b"), qPrintable(c));
        // Nothing more for that page: the next update is the next page's.
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 4, 10000);
        QCOMPARE(raised.last().at(1).toString(), page("/one.html"));
    }

    void unreachableAddressShowsTheErrorPage()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QSignalSpy raised(w->WebBrowser1, &platform::WebBrowser::NavigateComplete2);
        const QString address = QStringLiteral("http://127.0.0.1:%1/nothing.html").arg(TestServer::closedPort());
        go(w, address);
        QTRY_VERIFY_WITH_TIMEOUT(raised.count() >= 1, 15000);
        QCOMPARE(w->txtInput->text(), address);
        QCOMPARE(w->windowTitle(), frmMain::captionPrefix() + w->WebBrowser1->LocationName());
        checkWholeAddressSelected(w);
        QVERIFY(waitUntil([&] { return !w->WebBrowser1->Busy(); }));
        QVERIFY(w->WebBrowser1->ShowsErrorPage());
        QVERIFY(host.prompts().isEmpty());
        // Once: the next update is the next page's.
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 2, 10000);
        QCOMPARE(raised.at(0).at(1).toString(), address);
    }

    void newWindowsOpenHereOnlyWhenTheUserAsks_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("element");     // clicked for real; empty: the page acts alone
        QTest::addColumn<QString>("title");       // what the page area shows then
        QTest::addColumn<QString>("settled");     // the title once the page has tried
        QTest::newRow("target=_blank") << QStringLiteral("/opener.html") << QStringLiteral("#blank") << QStringLiteral("Page two") << QString();
        QTest::newRow("window.open") << QStringLiteral("/opener.html") << QStringLiteral("#open") << QStringLiteral("Page one") << QString();
        QTest::newRow("window.open of data:") << QStringLiteral("/opener.html") << QStringLiteral("#data") << QStringLiteral("Clicked") << QStringLiteral("Clicked");
        QTest::newRow("form to _blank keeps its POST body") << QStringLiteral("/form.html") << QStringLiteral("#blank") << QStringLiteral("Posted") << QString();
        QTest::newRow("cross-origin frame, no click") << QStringLiteral("/framed.html") << QString() << QStringLiteral("Frame tried") << QStringLiteral("Frame tried");
    }
    void newWindowsOpenHereOnlyWhenTheUserAsks()
    {
        QFETCH(QString, page);
        QFETCH(QString, element);
        QFETCH(QString, title);
        QFETCH(QString, settled);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        go(w, m_server.url(page));
        const QList<QWidget *> windows = QApplication::topLevelWidgets();
        if (!element.isEmpty()) {
            QVERIFY(waitForTitle(w, QStringLiteral("%1").arg(page == u"/form.html" ? "Form" : "Opener")));
            QVERIFY(clickInPage(w->WebBrowser1, element));
        }
        QVERIFY(waitForTitle(w, title));
        if (!settled.isEmpty()) {
            // Refused: the page stays where it is.
            QTest::qWait(700);
            QCOMPARE(w->windowTitle(), frmMain::captionPrefix() + settled);
            QCOMPARE(w->txtInput->text(), m_server.url(page));
        }
        if (title == u"Posted")
            QCOMPARE(m_server.lastRequest("/posted.html"), QByteArray("POST b=2"));
        QCOMPARE(QApplication::topLevelWidgets(), windows);
        QVERIFY(host.prompts().isEmpty());
    }

    // --- history, toolbar and menu ---------------------------------------------------

    void backAndForwardFromMenuAndToolbar()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        // On the first page after start-up Back and Forward do nothing and
        // say nothing.
        const QString title = w->windowTitle(), address = w->txtInput->text();
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        w->mnuKestoBack->trigger();
        w->mnuKestoForward->trigger();
        w->Toolbar1->button(QStringLiteral("Back"))->action->trigger();
        w->Toolbar1->button(QStringLiteral("Forward"))->action->trigger();
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(w->txtInput->text(), address);
        QVERIFY_THROWS_EXCEPTION(platform::WebBrowserError, w->WebBrowser1->GoBack());

        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(loads.count(), 1);   // the only navigation since start-up
        go(w, page("/two.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        w->mnuKestoBack->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(w->txtInput->text(), page("/one.html"));
        w->Toolbar1->button(QStringLiteral("Forward"))->action->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        w->Toolbar1->button(QStringLiteral("Back"))->action->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        w->mnuKestoForward->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        QVERIFY(host.prompts().isEmpty());
    }

    void toolbarKeysAreCaseSensitive()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        const int hits = m_server.requests("/one.html");
        QSignalSpy loads(w->WebBrowser1, &QWebEngineView::loadStarted);
        for (const char *key : {"back", "HOME", "reload", "search", "exit", "EXIT", "", "Refresh", "Exit "}) {
            platform::ToolbarButton b;
            b.Key = QLatin1String(key);
            w->Toolbar1_ButtonClick(&b);
        }
        w->Toolbar1_ButtonClick(nullptr);
        QCOMPARE(m_ends, 0);
        QVERIFY(w->isVisible());
        // The next address goes straight from page one to its own.
        go(w, page("/two.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        QCOMPARE(loads.count(), 1);
        QCOMPARE(m_server.requests("/one.html"), hits);
        QCOMPARE(w->WebBrowser1->history()->backItem().url().toString(), page("/one.html"));
        QCOMPARE(m_ends, 0);
    }

    void toolbarAndMenuCommands()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->Toolbar1->button(QStringLiteral("Home"))->action->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Home page")));
        w->Toolbar1->button(QStringLiteral("Search"))->action->trigger();
        QVERIFY(waitForTitle(w, QStringLiteral("Search page")));
        // Reload from the toolbar and the menu fetch the page again.
        int hits = m_server.requests("/search.html");
        w->Toolbar1->button(QStringLiteral("Reload"))->action->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests("/search.html"), hits + 1, 10000);
        QVERIFY(waitForTitle(w, QStringLiteral("Search page")));
        hits = m_server.requests("/search.html");
        w->mnuKestoRefresh->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests("/search.html"), hits + 1, 10000);
        // The menu's Home, by its shortcut.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(waitForTitle(w, QStringLiteral("Search page")));
        w->txtInput->setFocus();
        QTest::keyClick(w, Qt::Key_H, Qt::ControlModifier);
        QVERIFY(waitForTitle(w, QStringLiteral("Home page")));
        QVERIFY(host.prompts().isEmpty());
    }

    void stopEndsALoadingPage()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        for (int via = 0; via < 2; ++via) {
            QSignalSpy finished(w->WebBrowser1, &QWebEngineView::loadFinished);
            go(w, page("/slow.html"));
            QTRY_VERIFY_WITH_TIMEOUT(w->WebBrowser1->Busy(), 5000);
            if (via == 0)
                w->mnuKestoStop->trigger();
            else
                w->Toolbar1->button(QStringLiteral("Stop"))->action->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 1, 3000);
            QVERIFY(!w->WebBrowser1->Busy());
            QVERIFY(w->windowTitle() != QStringLiteral("Zanth Browser - Slow page"));
        }
        QVERIFY(host.prompts().isEmpty());
    }
};

BROWSER_TEST_MAIN(TestBrowserNavigation, "tst_browser_navigation")
#include "tst_browser_navigation.moc"
