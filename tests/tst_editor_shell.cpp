// The editor window: its design, its start-up and layout, and the document
// state it keeps.
#include "editorwindow.h"
#include "frmeditor.h"
#include "scripteddialoghost.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TestEditorShell : public QObject {
    Q_OBJECT

private:
    static QAction *item(frmeditor &w, const char *name)
    {
        auto *a = w.findChild<QAction *>(QLatin1String(name));
        if (!a)
            qWarning("no menu item %s", name);
        return a;
    }

private slots:
    void menuTree_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        auto row = [](const char *n, const char *c, const char *s) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromLatin1(c) << QString::fromLatin1(s);
        };
        row("mnufile", "&File", "");
        row("mnunew", "&New", "Ctrl+N");
        row("mnuopen", "&Open", "Ctrl+O");
        row("mnusave", "&Save", "Ctrl+S");
        row("mnusaveas", "Save &As", "Ctrl+A");
        row("mnu_insertfile", "&Insert File", "");
        row("mnu_writefile", "&Write File", "");
        row("mnu_pagesetup", "Page S&etup", "");
        row("mnu_print", "&Print", "Ctrl+T");
        row("mnuexit", "E&xit", "Ctrl+Q");
        row("mnuedit", "&Edit", "");
        row("mnu_undo", "Undo", "Ctrl+Z");
        row("mnucut", "&Cut", "Ctrl+X");
        row("mnupaste", "&Paste", "Ctrl+P");
        row("mnucopy", "&Copy", "Ctrl+C");
        row("mnuclear", "Clea&r", "Ctrl+D");
        row("mnuselect", "&Select All", "");
        row("mnu_time", "Time && Date ", "F5");
        row("mnu_wrap", "Word Wrap", "");
        row("mnuoption", "&Option", "");
        row("mnubold", "&Bold", "Ctrl+B");
        row("mnuunderline", "&Underline", "Ctrl+U");
        row("mnuitalics", "&Italics", "Ctrl+I");
        row("mnu_clour", "&Colour", "Ctrl+L");
        row("mnu_search", "&Search", "");
        row("mnu_find", "&Find", "");
        row("mnureplace", "Replace Text", "F3");
    }

    void menuTree()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        frmeditor w;
        QAction *a = w.findChild<QAction *>(name);
        QVERIFY2(a, qPrintable(name));
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), shortcut);
        QVERIFY(!a->isChecked());
        const bool optionMenu = name == QLatin1String("mnuoption");
        QCOMPARE(a->isVisible(), !optionMenu);
        // Copy, Cut and Clear follow the selection: there is none yet.
        const bool selection = QStringList{"mnucut", "mnucopy", "mnuclear"}.contains(name);
        QCOMPARE(a->isEnabled(), !optionMenu && !selection);
    }

    void menuOrderAndSeparators()
    {
        frmeditor w;
        auto names = [](QMenu *m) {
            QStringList out;
            for (QAction *a : m->actions())
                out << (a->isSeparator() ? QStringLiteral("-") + a->objectName() : a->objectName());
            return out;
        };
        QCOMPARE(names(w.mnufile), (QStringList{"mnunew", "mnuopen", "mnusave", "mnusaveas", "-mnu_line3",
                                               "mnu_insertfile", "mnu_writefile", "-mnu_line5", "mnu_pagesetup",
                                               "mnu_print", "-mnu_line4", "mnuexit"}));
        QCOMPARE(names(w.mnuedit), (QStringList{"mnu_undo", "-mnu_line", "mnucut", "mnupaste", "mnucopy", "mnuclear",
                                               "-mnu_tab1", "mnuselect", "mnu_time", "-mnu_line1", "mnu_wrap"}));
        QStringList bar;
        for (QAction *a : w.menuBar()->actions())
            if (a->isVisible())
                bar << a->objectName();
        QCOMPARE(bar, (QStringList{"mnufile", "mnuedit", "mnu_search"}));
        QVERIFY(w.mnu_wrap->isCheckable());
    }

    void toolbarButtons()
    {
        frmeditor w;
        const auto &buttons = w.Toolbar1->Buttons();
        QCOMPARE(buttons.size(), 45);
        QStringList keys;
        int separators = 0;
        for (const platform::ToolbarButton *b : buttons) {
            if (b->style == platform::ToolbarButton::Separator)
                ++separators;
            else
                keys << b->Key;
        }
        QCOMPARE(keys, (QStringList{"open", "save", "print", "bold", "italics", "under", "strike", "clour", "cut",
                                    "copy", "paste", "bullet", "num", "image", "end"}));
        QCOMPARE(separators, 30);
        // The 26 separators in a row under the font boxes.
        for (int i = 11; i <= 36; ++i)
            QCOMPARE(buttons.at(i - 1)->style, platform::ToolbarButton::Separator);
        for (int i : {1, 5, 40, 44})
            QCOMPARE(buttons.at(i - 1)->style, platform::ToolbarButton::Separator);

        struct Expect { int index; const char *key; const char *tip; int image; };
        const Expect expected[] = {{2, "open", "Open the report", 1}, {3, "save", "Save the report", 2},
                                   {4, "print", "Print", 9}, {6, "bold", "Bold", 3}, {7, "italics", "Italics", 4},
                                   {8, "under", "Underline", 5}, {9, "strike", "Strike Through", 17},
                                   {10, "clour", "Clour To Text", 13}, {37, "cut", "Cut", 6}, {38, "copy", "Copy", 7},
                                   {39, "paste", "Paste", 8}, {41, "bullet", "Bullets", 14},
                                   {42, "num", "Numberings", 15}, {43, "image", "Insert Image", 16}, {45, "end", "", 11}};
        for (const Expect &e : expected) {
            const platform::ToolbarButton *b = buttons.at(e.index - 1);
            QCOMPARE(b->Index, e.index);
            QCOMPARE(b->Key, QLatin1String(e.key));
            QCOMPARE(b->ToolTipText, QLatin1String(e.tip));
            QCOMPARE(b->widget->toolTip(), QLatin1String(e.tip));
            QCOMPARE(b->Image, e.image);
            QCOMPARE(b->action->objectName(), QLatin1String(e.key));
            QVERIFY(!b->action->icon().isNull());
            QVERIFY(!b->widget->isChecked());
        }
        QCOMPARE(w.ImageList1.size(), 17);
    }

    void toolbarPlacesTheBoxesOverTheSeparators()
    {
        frmeditor w;
        w.show();
        const auto &buttons = w.Toolbar1->Buttons();
        const QRect clour = buttons.at(9)->widget->geometry();
        const QRect cut = buttons.at(36)->widget->geometry();
        const QRect end = buttons.at(44)->widget->geometry();
        // The font boxes sit in the gap between Colour and Cut.
        QVERIFY(w.cbofont->geometry().left() >= clour.right());
        QVERIFY(w.cbosize->geometry().left() > w.cbofont->geometry().right());
        QVERIFY(w.cbosize->geometry().right() < cut.left());
        // "find phrase" just right of the last button, in view.
        QVERIFY(w.Command1->geometry().left() >= end.right() - 2);
        QVERIFY(w.Command1->geometry().left() <= end.right() + 8);
        QCOMPARE(w.Command1->text(), QStringLiteral("find phrase"));
        QVERIFY(w.Command1->width() >= w.Command1->sizeHint().width());
        QVERIFY(w.Command1->isVisible() && !w.Toolbar1->overflowButton()->isVisible());
        // The toolbar lies above the editor that reaches under it.
        QVERIFY(w.Toolbar1->geometry().bottom() >= w.Command1->geometry().bottom());
        // The size box shows a size such as 10.25 whole.
        QLineEdit *size = w.cbosize->lineEdit();
        QVERIFY(size->fontMetrics().horizontalAdvance(QStringLiteral("10.25")) < size->width());

        // Narrow: what does not fit is in the overflow menu, in its order.
        w.resize(300, w.height());
        QTRY_VERIFY(w.Toolbar1->overflowButton()->isVisible());
        QVERIFY(!cut.isNull() && !buttons.at(36)->widget->isVisible() && !w.Command1->isVisible());
        QMenu *more = w.Toolbar1->overflowButton()->menu();
        emit more->aboutToShow();
        QStringList items;
        for (QAction *a : more->actions())
            items << a->text();
        QCOMPARE(items.mid(items.size() - 8), (QStringList{"Cut", "Copy", "Paste", "Bullets", "Numberings",
                                                           "Insert Image", "End", "find phrase"}));
        // An item runs its command.
        QSignalSpy clicked(w.Toolbar1, &platform::Toolbar::ButtonClick);
        QObject::disconnect(w.Toolbar1, &platform::Toolbar::ButtonClick, &w, nullptr);
        more->actions().at(items.size() - 8)->trigger();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.first().first().value<platform::ToolbarButton *>()->Key, QStringLiteral("cut"));
    }

    void statusBarPanels()
    {
        frmeditor w;
        const auto &panels = w.StatusBar1->Panels();
        QCOMPARE(panels.size(), 8);
        using K = platform::StatusPanel;
        const K::Kind kinds[] = {K::CapsLock, K::NumLock, K::Insert, K::Text, K::Text, K::Text, K::Time, K::Date};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(panels.at(i)->kind, kinds[i]);
            QCOMPARE(panels.at(i)->label->minimumWidth(), platform::twipsToPixelsX(1440));
            QCOMPARE(panels.at(i)->autoSize, i >= 4);
        }
        QCOMPARE(panels.at(0)->label->text(), QStringLiteral("CAPS"));
        QCOMPARE(panels.at(1)->label->text(), QStringLiteral("NUM"));
        QCOMPARE(panels.at(2)->label->text(), QStringLiteral("INS"));
        QVERIFY(!panels.at(6)->label->text().isEmpty());
        QVERIFY(!panels.at(7)->label->text().isEmpty());
        // INS follows the editor's insert mode.
        QVERIFY(panels.at(2)->label->isEnabled());
        w.editor->setOverwriteMode(true);
        w.StatusBar1->refresh();
        QVERIFY(!panels.at(2)->label->isEnabled());
    }

    void tabOrderSkipsHiddenEditor()
    {
        frmeditor w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QList<QWidget *> order;
        const QList<QWidget *> ours{w.editor, w.tmpeditor, w.cbosize, w.cbofont, w.Command1};
        QWidget *start = w.editor;
        QWidget *cur = start;
        do {
            if (ours.contains(cur) && !order.contains(cur))
                order << cur;
            cur = cur->nextInFocusChain();
        } while (cur && cur != start && order.size() < 5);
        QCOMPARE(order, ours);
        // Visiting by focus: the hidden tmpeditor is skipped.
        w.editor->setFocus();
        QVERIFY(w.editor->hasFocus() || QApplication::focusWidget() == w.editor);
        QVERIFY(!w.tmpeditor->isVisible());
        QVERIFY(w.Toolbar1->focusPolicy() == Qt::NoFocus);
    }

    void startUpPlacesAndSizes()
    {
        frmeditor w;
        // At load, before the first display: the editors are 50 twips
        // narrower than the window and as tall as it.
        QCOMPARE(w.pos(), QPoint(0, 0));
        const double tpp = platform::twipsPerPixelX();
        QVERIFY(qAbs(w.editor->widthTwips() - (w.Width() - 50)) <= tpp);
        QVERIFY(qAbs(w.tmpeditor->widthTwips() - (w.Width() - 50)) <= tpp);
        const double loadHeight = w.Height();
        QCOMPARE(w.editor->heightTwips(), loadHeight);
        QCOMPARE(w.tmpeditor->heightTwips(), loadHeight);

        // From the first display on, both reach from their place to the
        // right edge and down to the status bar, the window growing or
        // shrinking.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const QSize grow : {QSize(0, 0), QSize(200, 150), QSize(-300, -200)}) {
            w.resize(w.size() + grow);
            const QWidget *client = w.centralWidget();
            for (platform::RichTextBox *box : {w.editor, w.tmpeditor})
                QTRY_COMPARE(box->geometry().bottomRight(), QPoint(client->width() - 1, client->height() - 1));
        }
        QCOMPARE(w.editor->pos(), QPoint(platform::twipsToPixelsX(-30), platform::twipsToPixelsY(330)));
        QCOMPARE(w.tmpeditor->pos(), QPoint(0, platform::twipsToPixelsY(360)));
    }

    void startUpFillsTheBoxes()
    {
        frmeditor w;
        QStringList sizes;
        for (int i = 0; i < w.cbosize->count(); ++i)
            sizes << w.cbosize->itemText(i);
        QCOMPARE(sizes, (QStringList{"8", "10", "12", "14", "16", "18", "20"}));
        QCOMPARE(w.cbosize->currentText(), QStringLiteral("8"));

        QVERIFY(w.cbofont->count() > 0);
        QStringList fonts;
        for (int i = 0; i < w.cbofont->count(); ++i)
            fonts << w.cbofont->itemText(i);
        QStringList sorted = fonts;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(fonts, sorted);
        QCOMPARE(fonts.removeDuplicates(), 0);
        QCOMPARE(w.cbofont->currentText(), fonts.first());
        // Selecting the first entries applied them to the insertion point.
        QCOMPARE(w.editor->SelFontSize(), std::optional<double>(8));
        QCOMPARE(w.editor->SelFontName(), std::optional<QString>(fonts.first()));
    }

    void timerTicksOnce()
    {
        frmeditor w;
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(w.Timer1->interval(), 1);
        QSignalSpy ticks(w.Timer1, &QTimer::timeout);
        QTRY_COMPARE(ticks.count(), 1);
        // Stopped after its tick: it cannot tick again.
        QVERIFY(!w.Timer1->isActive());
    }

    void initialState()
    {
        frmeditor w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Editor [ Untitled ]"));
        QCOMPARE(frmeditor::namedCaption(QStringLiteral("C:\\a.rtf")), QStringLiteral("Editor [C:\\a.rtf]"));
        QVERIFY(w.curfile.isEmpty());
        QCOMPARE(w.changed, 0);
        QCOMPARE(w.skipevent, 0);
        QVERIFY(w.editor->isVisibleTo(&w));
        QVERIFY(!w.tmpeditor->isVisibleTo(&w));
        QCOMPARE(w.tmpeditor->Text(), QStringLiteral("tmpeditor"));
        QCOMPARE(w.tmpeditor->SelFontName(), std::optional<QString>(QStringLiteral("MS Sans Serif")));
        QCOMPARE(w.tmpeditor->SelFontSize(), std::optional<double>(8.5));
        QCOMPARE(w.editor->Text(), QString());
        QCOMPARE(w.activeEditor(), w.editor);
        w.editor->hide();
        w.tmpeditor->show();
        QCOMPARE(w.activeEditor(), w.tmpeditor);
        w.tmpeditor->hide();
        QCOMPARE(w.activeEditor(), nullptr);
    }

    void commandLineDocumentOpensAfterStartUp()
    {
        QTemporaryDir dir;
        qputenv("WINEPREFIX", dir.filePath(QStringLiteral("wine")).toUtf8());   // no hand-off file
        const QString doc = dir.filePath(QStringLiteral("letter.rtf"));
        QFile f(doc);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\f0\\fs28 Dear reader\\par}");
        f.close();
        {
            ScriptedDialogHost host;
            frmeditor w;
            w.openAtStartup(doc);
            w.show();
            QTRY_COMPARE(w.windowTitle(), frmeditor::namedCaption(doc));
            QCOMPARE(w.curfile, doc);
            QCOMPARE(w.changed, 0);
            QVERIFY(w.editor->Text().startsWith(QLatin1String("Dear reader")));
            QCOMPARE(w.cbofont->currentText(), QStringLiteral("Courier New"));
            QCOMPARE(w.cbosize->currentText(), QStringLiteral("14"));
            QCOMPARE(host.prompts().size(), 0);
        }
        {
            // A file that cannot be opened: the message, an untitled window.
            ScriptedDialogHost host;
            host.answerMessage(vb::vbOK);
            frmeditor w;
            w.openAtStartup(dir.filePath(QStringLiteral("missing.rtf")));
            w.show();
            QTRY_COMPARE(host.prompts().size(), 1);
            QVERIFY(host.last().text.startsWith(QStringLiteral("File not Found\n") + dir.filePath(QStringLiteral("missing.rtf"))));
            QCOMPARE(w.windowTitle(), frmeditor::untitledCaption());
            QVERIFY(w.curfile.isEmpty());
        }
        qunsetenv("WINEPREFIX");
    }

    void saveFirstCheck()
    {
        ScriptedDialogHost host;
        frmeditor w;
        // Nothing changed: no question.
        QVERIFY(w.SaveFirst(frmeditor::saveFirstQuestion()));
        QCOMPARE(host.prompts().size(), 0);

        editortest::makeUnsavedEdit(w);
        host.answerMessage(vb::vbNo);
        QVERIFY(w.SaveFirst(frmeditor::saveFirstQuestion()));
        QCOMPARE(host.last().text, QStringLiteral("File not Saved ! Save it now ? "));
        QCOMPARE(host.last().buttons, vb::vbYesNoCancel);
        QCOMPARE(host.last().title, QString());

        host.answerMessage(vb::vbCancel);
        QVERIFY(!w.SaveFirst(frmeditor::saveFirstQuestion()));

        // Yes runs Save, which asks for a name; with none chosen the command
        // is abandoned.
        host.answerMessage(vb::vbYes).answerSaveFile(QString());
        QVERIFY(!w.SaveFirst(frmeditor::exitQuestion(), vb::vbInformation, QStringLiteral("File Save")));
        QCOMPARE(host.prompts().at(2).text, QStringLiteral("Do You Want To Save Changes ? "));
        QCOMPARE(host.prompts().at(2).buttons, vb::vbYesNoCancel + vb::vbInformation);
        QCOMPARE(host.prompts().at(2).title, QStringLiteral("File Save"));
        QVERIFY(w.curfile.isEmpty());
        QCOMPARE(w.changed, 1);
    }
};

QTEST_MAIN(TestEditorShell)
#include "tst_editor_shell.moc"
