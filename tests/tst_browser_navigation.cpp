// Navigation: Go and its address normalisation, the toolbar and the browse
// menu, and the address box and caption after every completed navigation.
#include "browsertest.h"

#include <QAction>
#include <QSignalSpy>
#include <QWebEngineHistory>

class TestBrowserNavigation : public QObject {
    Q_OBJECT

    TestServer m_server;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<frmMain> m_w;
    int m_ends = 0;

    // A running window whose start page has completed.
    frmMain *started()
    {
        m_folder = programFolderWith("12632256\r\n");
        if (frmMain::Start(m_folder->path(), m_w) != 0 || !m_w)
            return nullptr;
        if (!waitUntil([&] { return m_w->windowTitle() != frmMain::caption(); }, 20000))
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
                                         "one</button></body></html>");
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
        QTest::newRow("leading blanks") << "  http://" + host + "/two.html" << "http://  http://" + host + "/two.html"
                                        << QByteArray("/two.html") << QString();
        QTest::newRow("ftp kept") << QStringLiteral("FTP://127.0.0.1:1/x") << QStringLiteral("FTP://127.0.0.1:1/x")
                                  << QByteArray() << QString();
        QTest::newRow("https") << "https://" + host + "/one.html" << "http://https://" + host + "/one.html"
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

    void enterInATextBoxOrListRunsGo()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->txtInput->setFocus();
        w->txtInput->setText(page("/one.html"));
        QTest::keyClick(w->txtInput, Qt::Key_Return);
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        // Enter in the save-path box goes to the address box's page; it
        // does not save.
        w->txtInput->setText(page("/two.html"));
        w->Text1->setText(QStringLiteral("/tmp/never-saved.htm"));
        w->Text1->setFocus();
        QTest::keyClick(w->Text1, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(waitForTitle(w, QStringLiteral("Page two")));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/never-saved.htm")));
        // So does Enter in the folder list on the open folder (nothing to
        // open), which stays where it was.
        const QString folder = w->Dir1->Path();
        w->txtInput->setText(page("/one.html"));
        w->Dir1->setFocus();
        QTest::keyClick(w->Dir1, Qt::Key_Return);
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QCOMPARE(w->Dir1->Path(), folder);
        QVERIFY(!w->Timer1->isActive());
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
        QVERIFY(host.prompts().isEmpty());
        // Once: the next update is the next page's.
        go(w, page("/one.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Page one")));
        QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 2, 10000);
        QCOMPARE(raised.at(0).at(1).toString(), address);
    }

    void newWindowLinksOpenInThePageArea_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("title");
        QTest::newRow("target=_blank") << QStringLiteral("blank") << QStringLiteral("Page two");
        QTest::newRow("window.open") << QStringLiteral("open") << QStringLiteral("Page one");
    }
    void newWindowLinksOpenInThePageArea()
    {
        QFETCH(QString, element);
        QFETCH(QString, title);
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        go(w, page("/opener.html"));
        QVERIFY(waitForTitle(w, QStringLiteral("Opener")));
        const QList<QWidget *> windows = QApplication::topLevelWidgets();
        w->WebBrowser1->page()->runJavaScript(QStringLiteral("document.getElementById('%1').click()").arg(element));
        QVERIFY(waitForTitle(w, title));
        QCOMPARE(w->txtInput->text(), page(title == u"Page one" ? "/one.html" : "/two.html"));
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
