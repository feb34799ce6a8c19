// The browser window's design, its start-up with the settings file, the
// page area's layout and the address box's select-on-focus.
#include "browsertest.h"

#include "units.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolButton>

class TestBrowserWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<frmMain> m_w;
    int m_ends = 0;

    // A running window, started with a good settings file.
    frmMain *started()
    {
        m_folder = programFolderWith("12632256\r\n");
        const int rc = frmMain::Start(m_folder->path(), m_w);
        if (rc != 0 || !m_w)
            return nullptr;
        return m_w.get();
    }

    static QRect twipsRect(double l, double t, double w, double h)
    {
        return QRect(platform::twipsToPixelsX(l), platform::twipsToPixelsY(t), platform::twipsToPixelsX(w),
                     platform::twipsToPixelsY(h));
    }

private slots:
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

    void controlsSitAtTheirPlacesWithTheirCaptions()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Zanth Browser"));
        QCOMPARE(w->Label1->text(), QStringLiteral("2        Address:"));
        QCOMPARE(w->Label2->text(), QStringLiteral("ADDRESS"));
        QCOMPARE(w->Label3->text(), QStringLiteral("3            Drive:"));
        QCOMPARE(w->Label4->text(), QStringLiteral("4           Folder:"));
        QCOMPARE(w->Label5->text(), QStringLiteral("5              Files:"));
        QCOMPARE(w->Label6->text(), QStringLiteral("6 Save htm as:"));
        QCOMPARE(w->Command1->text(), QStringLiteral("Go"));
        QCOMPARE(w->Command2->text(), QStringLiteral("7Save     Zanth  address/htm"));
        QCOMPARE(w->Command2->toolTip(), QStringLiteral("Click Here to Save Zanth Info"));
        QVERIFY(w->Command1->font().bold() && w->Command2->font().bold());
        QVERIFY(w->txtInput->text().isEmpty() || w->txtInput->text().startsWith(u"http://"));
        QVERIFY(w->Text1->text().isEmpty());

        QCOMPARE(w->Text1->geometry(), twipsRect(1080, 2880, 4335, 285));
        QCOMPARE(w->File1->geometry(), twipsRect(1080, 2280, 4335, 675));
        QCOMPARE(w->Dir1->geometry(), twipsRect(1080, 1320, 4335, 990));
        QCOMPARE(w->Drive1->geometry(), twipsRect(1080, 1080, 4335, 315));
        QCOMPARE(w->Command2->geometry(), twipsRect(5400, 2280, 855, 855));
        QCOMPARE(w->Command1->geometry(), twipsRect(5400, 840, 495, 255));
        QCOMPARE(w->txtInput->geometry(), twipsRect(1080, 840, 4335, 285));
        QCOMPARE(w->Label6->geometry(), twipsRect(0, 2880, 1095, 255));
        QCOMPARE(w->Label5->geometry(), twipsRect(0, 2280, 1095, 615));
        QCOMPARE(w->Label4->geometry(), twipsRect(0, 1320, 1095, 975));
        QCOMPARE(w->Label3->geometry(), twipsRect(0, 1080, 1095, 255));
        QCOMPARE(w->Label1->geometry(), twipsRect(0, 840, 1095, 255));
        QCOMPARE(w->WebBrowser1->pos(), twipsRect(0, 3240, 1, 1).topLeft());
        QCOMPARE(w->Toolbar1->pos(), QPoint(0, 0));
        QCOMPARE(w->Toolbar1->height(), platform::twipsToPixelsY(870));

        // The design's client area, and the toolbar docked across it.
        QCOMPARE(w->centralWidget()->width(), platform::twipsToPixelsX(11880));
        QCOMPARE(w->centralWidget()->height(), platform::twipsToPixelsY(7980));
        QCOMPARE(w->Toolbar1->width(), w->centralWidget()->width());

        // The label under the toolbar is covered by it.
        const QPoint inLabel2 = w->Label2->geometry().center();
        QCOMPARE(w->centralWidget()->childAt(inLabel2)->parentWidget() == w->Toolbar1
                     || w->centralWidget()->childAt(inLabel2) == w->Toolbar1,
                 true);

        // Light grey behind the controls; the timer waits, disabled.
        QCOMPARE(w->centralWidget()->palette().color(QPalette::Window), QColor(192, 192, 192));
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 1111);
        QCOMPARE(w->File1->Pattern(), QStringLiteral("*.*"));
        QCOMPARE(w->ImageList1.size(), 10);
        for (const QIcon &icon : w->ImageList1) {
            QVERIFY(!icon.isNull());
            // Crisp at 1x and 2x: drawn afresh at each size, with edges as
            // sharp at 64 as at 32 (a scaled-up picture would blur them into
            // many more half-tones).
            const QImage one = icon.pixmap(QSize(32, 32)).toImage();
            const QImage two = icon.pixmap(QSize(64, 64)).toImage();
            QCOMPARE(one.size(), QSize(32, 32));
            QCOMPARE(two.size(), QSize(64, 64));
            QVERIFY(two != one.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        QVERIFY(!w->windowIcon().isNull());
    }

    void tabOrderAndDefaultButton()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QVERIFY(w->Command1->isDefault());
        QVERIFY(w->txtInput->hasFocus() || QApplication::focusWidget() == nullptr);
        // Tab from the address box visits the window's controls in this
        // order (the page area's inner widgets stand in for it).
        const QList<QWidget *> order{w->txtInput, w->WebBrowser1, w->Command1, w->Command2,
                                     w->Drive1, w->Dir1, w->File1, w->Text1};
        QList<QWidget *> seen;
        for (QWidget *n = w->txtInput->nextInFocusChain(); n && n != w->txtInput && seen.size() < order.size() - 1;
             n = n->nextInFocusChain()) {
            if (!(n->focusPolicy() & Qt::TabFocus))
                continue;
            for (QWidget *c : order)
                if ((n == c || c->isAncestorOf(n)) && (seen.isEmpty() || seen.last() != c))
                    seen << c;
        }
        QCOMPARE(seen, order.mid(1));
    }

    void menusAndShortcuts()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const QList<QAction *> top = w->menuBar()->actions();
        QCOMPARE(top.size(), 2);
        QCOMPARE(top.at(0)->text(), QStringLiteral("&File"));
        QCOMPARE(top.at(1)->text(), QStringLiteral("&Zanth browse"));
        QCOMPARE(w->mnuFile->objectName(), QStringLiteral("mnuFile"));
        QCOMPARE(w->mnuKesto->objectName(), QStringLiteral("mnuKesto"));

        struct Item {
            const char *name;
            const char *caption;
            QKeySequence shortcut;
        };
        const QList<Item> file{{"mnuFileOpen", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
                               {"Hyphen1", "", QKeySequence()},
                               {"mnuFileExit", "&Exit", QKeySequence()}};
        const QList<Item> browse{{"mnuKestoBack", "&Back", QKeySequence(Qt::CTRL | Qt::Key_B)},
                                 {"mnuKestoForward", "&Forward", QKeySequence(Qt::CTRL | Qt::Key_F)},
                                 {"mnuKestoHome", "&Home", QKeySequence(Qt::CTRL | Qt::Key_H)},
                                 {"mnuKestoRefresh", "&Refresh", QKeySequence(Qt::CTRL | Qt::Key_R)},
                                 {"mnuKestoStop", "&Stop", QKeySequence(Qt::CTRL | Qt::Key_S)}};
        auto check = [](QMenu *menu, const QList<Item> &items) {
            const QList<QAction *> actions = menu->actions();
            QCOMPARE(actions.size(), items.size());
            for (int i = 0; i < items.size(); ++i) {
                QCOMPARE(actions.at(i)->objectName(), QLatin1String(items.at(i).name));
                QCOMPARE(actions.at(i)->text(), QLatin1String(items.at(i).caption));
                QCOMPARE(actions.at(i)->shortcut(), items.at(i).shortcut);
                QVERIFY(actions.at(i)->isVisible() && actions.at(i)->isEnabled() && !actions.at(i)->isChecked());
            }
        };
        check(w->mnuFile, file);
        QVERIFY(w->Hyphen1->isSeparator());
        check(w->mnuKesto, browse);
    }

    void toolbarButtons()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        const QStringList keys{"Back", "Forward", "Home", "Reload", "Stop", "Search", "Exit"};
        const QList<int> images{1, 2, 5, 4, 3, 6, 10};
        const QList<platform::ToolbarButton *> &buttons = w->Toolbar1->Buttons();
        QCOMPARE(buttons.size(), keys.size());
        for (int i = 0; i < keys.size(); ++i) {
            const platform::ToolbarButton *b = buttons.at(i);
            QCOMPARE(b->Key, keys.at(i));
            QCOMPARE(b->action->objectName(), keys.at(i));
            QCOMPARE(b->action->text(), keys.at(i));
            QCOMPARE(b->Image, images.at(i));
            QVERIFY(b->ToolTipText.isEmpty());
            QCOMPARE(b->widget->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
            QCOMPARE(b->widget->size(), QSize(platform::twipsToPixelsX(47 * 15), platform::twipsToPixelsY(52 * 15)));
            QVERIFY(!b->action->isChecked());
        }
    }

    // --- start-up and the settings file -------------------------------------

    void settingsFileValuesAreReadAndDiscarded_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("number");
        QTest::newRow("0") << QByteArray("0\r\n") << 0;
        QTest::newRow("255") << QByteArray("255") << 255;
        QTest::newRow("16777215") << QByteArray("16777215\r\n") << 16777215;
        QTest::newRow("leading blanks, more items") << QByteArray("  255, 7\r\n9\r\n") << 255;
        QTest::newRow("not a number") << QByteArray("light grey\r\n") << 0;
        QTest::newRow("blank first line") << QByteArray("   \r\n255") << 0;
    }
    void settingsFileValuesAreReadAndDiscarded()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, number);
        ScriptedDialogHost host;
        m_folder = programFolderWith(content.constData());
        const QString path = m_folder->filePath(QStringLiteral("bckcol.cfg"));
        QCOMPARE(frmMain::readSettingsFile(path), number);
        QCOMPARE(frmMain::Start(m_folder->path(), m_w), 0);
        QVERIFY(m_w && m_w->isVisible());
        QCOMPARE(m_w->centralWidget()->palette().color(QPalette::Window), QColor(192, 192, 192));
        QVERIFY(host.prompts().isEmpty());
    }

    void settingsFileFailuresEndStartUp_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing") << false << QByteArray() << QStringLiteral("File not found");
        QTest::newRow("empty") << true << QByteArray() << QStringLiteral("Input past end of file");
        QTest::newRow("too large") << true << QByteArray("99999999999") << QStringLiteral("Overflow");
    }
    void settingsFileFailuresEndStartUp()
    {
        QFETCH(bool, present);
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        ScriptedDialogHost host;
        host.answerMessage(vb::vbOK);
        m_folder = programFolderWith(present ? content.constData() : nullptr);
        QSignalSpy shown(qApp, &QGuiApplication::focusWindowChanged);
        const int rc = frmMain::Start(m_folder->path(), m_w);
        QVERIFY(rc != 0);
        QVERIFY(!m_w);
        QCOMPARE(host.messages().size(), 1);
        const QString text = host.messages().first();
        QVERIFY2(text.contains(problem), qPrintable(text));
        QVERIFY2(text.contains(m_folder->filePath(QStringLiteral("bckcol.cfg"))), qPrintable(text));
        QCOMPARE(host.last().title, QStringLiteral("Zanth Browser"));
        // No window of the program was ever shown.
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<frmMain *>(top));
        QCOMPARE(shown.count(), 0);
    }

    void unreadableSettingsFileEndsStartUp()
    {
        ScriptedDialogHost host;
        host.answerMessage(vb::vbOK);
        m_folder = programFolderWith(nullptr);
        QDir(m_folder->path()).mkdir(QStringLiteral("bckcol.cfg"));   // a folder, not a file
        QVERIFY(frmMain::Start(m_folder->path(), m_w) != 0);
        QVERIFY(!m_w);
        QVERIFY(host.messages().value(0).contains(QStringLiteral("Path/File access error")));
    }

    // --- layout -----------------------------------------------------------------

    void pageAreaFillsTheClientArea()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // (Where everything starts is the design's, checked above.)
        const QPoint place = w->WebBrowser1->pos();
        QWidget *client = w->centralWidget();
        auto controls = [&] {
            QList<QRect> all;
            for (const QWidget *c : std::initializer_list<const QWidget *>{w->txtInput, w->Command1, w->Drive1, w->Dir1,
                                                                            w->File1, w->Command2, w->Text1})
                all << c->geometry();
            return all;
        };
        const QList<QRect> before = controls();
        // Left and top as designed, right and bottom at the client area's
        // edges, whatever the size: growing the window by N grows it by N.
        auto fits = [&] {
            return w->WebBrowser1->pos() == place && w->WebBrowser1->geometry().right() == client->rect().right()
                   && w->WebBrowser1->geometry().bottom() == client->rect().bottom();
        };
        QVERIFY(fits());
        const QSize first = w->WebBrowser1->size();
        for (const QSize grow : {QSize(67, 40), QSize(-30, 200), QSize(0, 0)}) {
            w->resize(w->size() + grow);
            QTRY_VERIFY(fits());
            QCOMPARE(w->WebBrowser1->size(), first + grow);
            w->resize(w->size() - grow);
            QTRY_VERIFY(fits());
        }
        // Nothing else moves or changes size; the toolbar spans the window.
        QCOMPARE(controls(), before);
        QCOMPARE(w->Toolbar1->width(), client->width());
        // Smaller than the controls above it: no page area, and no harm.
        w->resize(400, 150);
        QTRY_COMPARE(w->WebBrowser1->height(), 0);
        QCOMPARE(w->WebBrowser1->pos(), place);
    }

    void addressIsSelectedWhenFocused()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        // The start page fills the box once it completes; wait for that.
        QVERIFY(waitForStartPage(w));
        w->Text1->setFocus(Qt::OtherFocusReason);
        w->txtInput->setText(QStringLiteral("http://127.0.0.1/abc"));
        w->txtInput->setCursorPosition(3);
        w->txtInput->setFocus(Qt::TabFocusReason);
        QCOMPARE(w->txtInput->selectionStart(), 0);
        QCOMPARE(w->txtInput->selectedText(), QStringLiteral("http://127.0.0.1/abc"));
        // An empty box: an empty selection.
        w->Text1->setFocus(Qt::OtherFocusReason);
        w->txtInput->clear();
        w->txtInput->setFocus(Qt::TabFocusReason);
        QVERIFY(w->txtInput->selectedText().isEmpty());
        // A click puts the caret where it lands, after the selection step.
        w->Text1->setFocus(Qt::OtherFocusReason);
        w->txtInput->setText(QStringLiteral("http://127.0.0.1/abc"));
        QTest::mouseClick(w->txtInput, Qt::LeftButton, {}, QPoint(w->txtInput->width() - 4, w->txtInput->height() / 2));
        QVERIFY(w->txtInput->hasFocus());
        QVERIFY(w->txtInput->selectedText().isEmpty());
    }

    void closingAndExitEndTheProgramAtOnce()
    {
        ScriptedDialogHost host;
        frmMain *w = started();
        QVERIFY(w);
        w->mnuFileExit->trigger();
        QCOMPARE(m_ends, 1);
        QVERIFY(!w->isVisible());
        m_w.reset();
        // The close box, while the start page may still be loading.
        w = started();
        QVERIFY(w);
        w->close();
        QCOMPARE(m_ends, 2);
        m_w.reset();
        // The toolbar's Exit button.
        w = started();
        QVERIFY(w);
        w->Toolbar1->button(QStringLiteral("Exit"))->action->trigger();
        QCOMPARE(m_ends, 3);
        QVERIFY(host.prompts().isEmpty());
    }
};

BROWSER_TEST_MAIN(TestBrowserWindow, "tst_browser_window")
#include "tst_browser_window.moc"
