// Editing in the editor window: character formatting, the Edit menu, Word
// Wrap, and the editors' key and mouse events, driven through the real
// widgets with keys and clicks.
#include "editorwindow.h"
#include "frmeditor.h"
#include "runtime.h"
#include "scripteddialoghost.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

#include <functional>
#include <memory>

using platform::RichTextBox;
using editortest::openWindow;
using editortest::select;
using editortest::setText;

// One way of changing the document.
using Edit = std::function<void(frmeditor &, ScriptedDialogHost &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

QTextCharFormat formatAt(RichTextBox *box, int docPos)
{
    QTextCursor c(box->document());
    c.setPosition(docPos + 1);
    return c.charFormat();
}

// Gives [start, end) of box (document positions) a face and a size.
void styleRange(RichTextBox *box, int start, int end, const QString &face, double size)
{
    QTextCursor c(box->document());
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    f.setFontFamilies({face});
    f.setFontPointSize(size);
    c.mergeCharFormat(f);
}

QString faceOf(const QTextCharFormat &f)
{
    const QStringList families = f.fontFamilies().toStringList();
    return families.isEmpty() ? QString() : families.first();
}

// Opens the Edit menu as the user does, by clicking its title, and closes it.
void openEditMenu(frmeditor &w)
{
    QMenuBar *bar = w.menuBar();
    const QRect r = bar->actionGeometry(w.mnuedit->menuAction());
    QTest::mouseClick(bar, Qt::LeftButton, {}, r.center());
    QTRY_VERIFY(w.mnuedit->isVisible());
    w.mnuedit->close();
    QTRY_VERIFY(!w.mnuedit->isVisible());
    w.activateWindow();
    w.activeEditor()->setFocus();
}

}  // namespace

class TestEditorFormatting : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;

private slots:
    void initTestCase()
    {
        // The start-up phrase look-up must find no hand-off file.
        qputenv("WINEPREFIX", m_prefix.path().toLocal8Bit());
    }

    // --- character formatting -------------------------------------------------

    void toggleRuleOnWholeAndPartialSelections()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("one two three"));
        // Part bold ("two"), then the whole line selected: all becomes bold.
        select(e, 4, 3);
        e->setSelBold(true);
        select(e, 0, 13);
        QCOMPARE(e->SelBold(), std::nullopt);
        w->mnubold_Click();
        QCOMPARE(e->SelBold(), std::optional<bool>(true));
        // Wholly bold: bold goes.
        w->mnubold_Click();
        QCOMPARE(e->SelBold(), std::optional<bool>(false));
        for (int i = 0; i < 13; ++i)
            QVERIFY(formatAt(e, i).fontWeight() <= QFont::Normal);

        // The same rule for italics and underline, through their keys.
        select(e, 0, 3);
        e->setSelItalic(true);
        select(e, 0, 7);
        QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(e->SelItalic(), std::optional<bool>(true));
        QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(e->SelItalic(), std::optional<bool>(false));
        QTest::keyClick(e, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(e->SelUnderline(), std::optional<bool>(true));
        QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(e->SelBold(), std::optional<bool>(true));
        // The menu stays hidden all along.
        QVERIFY(!w->mnuoption->menuAction()->isVisible());
        QCOMPARE(e->Text(), QStringLiteral("one two three"));
    }

    void toggleAtTheInsertionPointGovernsTypedText()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("ab"));
        e->setSelStart(1);
        QTest::keyClick(e, Qt::Key_I, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_B, Qt::ControlModifier);
        QTest::keyClicks(e, QStringLiteral("xy"));
        QCOMPARE(e->Text(), QStringLiteral("axyb"));
        QVERIFY(formatAt(e, 1).fontItalic());
        QVERIFY(formatAt(e, 2).fontItalic());
        QVERIFY(formatAt(e, 2).fontWeight() > QFont::Normal);
        QVERIFY(!formatAt(e, 0).fontItalic());
        QVERIFY(!formatAt(e, 3).fontItalic());
    }

    // Every way the user changes the text or its formatting marks the
    // document, so that Exit asks before it is lost.
    void everyEditMarksTheDocument_data()
    {
        QTest::addColumn<Edit>("edit");
        auto key = [](Qt::Key k, Qt::KeyboardModifiers m, qint64 caret) {
            return Edit([=](frmeditor &w, ScriptedDialogHost &) {
                if (caret >= 0)   // else on the selection
                    w.editor->setSelStart(caret);
                QTest::keyClick(w.editor, k, m);
            });
        };
        auto tool = [](const char *k) {
            return Edit([k](frmeditor &w, ScriptedDialogHost &) {
                platform::ToolbarButton b;
                b.Key = QLatin1String(k);
                w.Toolbar1_ButtonClick(&b);
            });
        };
        auto pick = [](QComboBox *frmeditor::*box) {
            return Edit([box](frmeditor &w, ScriptedDialogHost &) {
                QComboBox *b = w.*box;
                b->setCurrentIndex(b->count() - 1);
                emit b->activated(b->count() - 1);
            });
        };
        QTest::newRow("Delete") << key(Qt::Key_Delete, {}, 0);
        QTest::newRow("Shift+Del") << key(Qt::Key_Delete, Qt::ShiftModifier, -1);
        QTest::newRow("Shift+Ins") << key(Qt::Key_Insert, Qt::ShiftModifier, -1);
        QTest::newRow("Ctrl+V") << key(Qt::Key_V, Qt::ControlModifier, -1);
        QTest::newRow("Ctrl+Del") << key(Qt::Key_Delete, Qt::ControlModifier, 0);
        QTest::newRow("Ctrl+Backspace") << key(Qt::Key_Backspace, Qt::ControlModifier, 5);
        QTest::newRow("typing") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            w.editor->moveCursor(QTextCursor::End);
            QTest::keyClicks(w.editor, QStringLiteral("teh"));
        });
        QTest::newRow("Ctrl+X") << key(Qt::Key_X, Qt::ControlModifier, -1);
        QTest::newRow("input method") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            QInputMethodEvent commit;
            commit.setCommitString(QStringLiteral("\u00e9"));
            QApplication::sendEvent(w.editor, &commit);
        });
        QTest::newRow("drop from outside") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            QMimeData mime;
            mime.setText(QStringLiteral("dropped"));
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(w.editor->viewport(), &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(w.editor->viewport(), &drop);
        });
        QTest::newRow("middle click") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            QGuiApplication::clipboard()->setText(QStringLiteral("primary"), QClipboard::Selection);
            QTest::mouseClick(w.editor->viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
        });
        QTest::newRow("Insert File") << Edit([](frmeditor &w, ScriptedDialogHost &host) {
            host.answerOpenFile(QStringLiteral(TARBEL_SOURCE_DIR "/README.md"));
            w.mnu_insertfile_Click();
        });
        QTest::newRow("Replace, Yes") << Edit([](frmeditor &w, ScriptedDialogHost &host) {
            host.answerInput(QStringLiteral("gamma")).answerInput(QStringLiteral("delta"));
            host.answerMessage(vb::vbYes).answerMessage(vb::vbOK);
            w.mnureplace_Click();
        });
        QTest::newRow("Undo") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            w.editor->setSelText(QStringLiteral("x"));
            w.editor->setSelText(QStringLiteral("y"));
            w.changed = 0;
            w.mnu_undo_Click();
        });
        QTest::newRow("Ctrl+Y") << Edit([](frmeditor &w, ScriptedDialogHost &) {
            w.editor->setSelText(QStringLiteral("x"));
            w.mnu_undo_Click();
            w.changed = 0;
            QTest::keyClick(w.editor, Qt::Key_Y, Qt::ControlModifier);
        });
        QTest::newRow("Time & Date") << Edit([](frmeditor &w, ScriptedDialogHost &) { w.mnu_time_Click(); });
        QTest::newRow("menu Bold") << Edit([](frmeditor &w, ScriptedDialogHost &) { w.mnubold_Click(); });
        QTest::newRow("menu Colour") << Edit([](frmeditor &w, ScriptedDialogHost &host) {
            host.answerColor(QColor(Qt::red));
            w.mnu_clour_Click();
        });
        for (const char *k : {"bold", "italics", "under", "strike", "bullet", "num"})
            QTest::newRow(k) << tool(k);
        QTest::newRow("clour") << Edit([tool](frmeditor &w, ScriptedDialogHost &host) {
            host.answerColor(QColor(Qt::blue));
            tool("clour")(w, host);
        });
        QTest::newRow("image") << Edit([tool](frmeditor &w, ScriptedDialogHost &host) {
            QImage picture(4, 4, QImage::Format_RGB32);
            picture.fill(Qt::green);
            const QString file = QDir::temp().filePath(QStringLiteral("tarbel-edit-paths.bmp"));
            picture.save(file, "BMP");
            host.answerOpenFile(file);
            tool("image")(w, host);
            QFile::remove(file);
        });
        QTest::newRow("font box") << pick(&frmeditor::cbofont);
        QTest::newRow("size box") << pick(&frmeditor::cbosize);
    }

    void everyEditMarksTheDocument()
    {
        QFETCH(Edit, edit);
        if (QTest::currentDataTag() == QLatin1String("middle click")
            && !QGuiApplication::clipboard()->supportsSelection())
            QSKIP("no selection clipboard on this platform (the end-to-end run clicks it)");
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("alpha beta\ngamma"));
        select(e, 6, 4);
        platform::Clipboard::SetText(QStringLiteral("clip"));
        const QByteArray before = e->TextRTF();
        edit(*w, host);
        QCOMPARE(w->changed, 1);
        const QByteArray after = e->TextRTF();
        QVERIFY(after != before);
        // Undo takes the edit back, whatever made it; Ctrl+Y makes it again.
        e->setFocus();
        QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e->TextRTF(), before);
        QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e->TextRTF(), after);
        host.answerMessage(vb::vbCancel);
        w->mnuexit_Click();
        QCOMPARE(host.last().text, QStringLiteral("Do You Want To Save Changes ? "));
        QVERIFY(w->isVisible());
        QCOMPARE(host.pending(), 0);
    }

    // Loading a document, moving about and the view are no change.
    void loadingAndViewingMarkNothing()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        setText(w->editor, QStringLiteral("word\nwrap"));
        w->mnuselect_Click();
        w->mnucopy_Click();
        w->mnu_wrap_Click();
        w->resize(w->width() / 2, w->height());
        w->mnu_wrap_Click();
        // Composing in an input method is not yet typing.
        w->editor->setFocus();
        w->editor->setSelStart(0);
        QInputMethodEvent compose(QStringLiteral("e"), {});
        QApplication::sendEvent(w->editor, &compose);
        QCOMPARE(w->editor->Text(), QStringLiteral("word\r\nwrap"));
        host.answerMessage(vb::vbOK);
        w->Command1_Click();   // no hand-off file
        QVERIFY(host.last().text.startsWith(QStringLiteral("File not Found\nC:\\Autodesk\\Slls.txt: ")));
        QCOMPARE(w->changed, 0);
    }

    void colourCancelledChangesNothing()
    {
        ScriptedDialogHost host;
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("red green"));
        select(e, 0, 3);
        host.answerColor(QColor(0, 128, 0));
        w->mnu_clour_Click();
        QCOMPARE(e->SelColor(), 0x008000u);
        // Cancel, even with a colour chosen before: nothing is recoloured.
        w->changed = 0;
        select(e, 4, 5);
        const QByteArray before = e->TextRTF();
        host.answerColor(std::nullopt);
        w->mnu_clour_Click();
        QCOMPARE(e->TextRTF(), before);
        QCOMPARE(w->changed, 0);
        QCOMPARE(host.pending(), 0);
    }

    void fontBoxesDiscardEveryKeystroke()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("text"));
        select(e, 0, 4);
        const auto faceBefore = e->SelFontName();
        const auto sizeBefore = e->SelFontSize();
        for (QComboBox *box : {w->cbofont, w->cbosize}) {
            QSignalSpy picked(box, &QComboBox::activated);
            const QString before = box->currentText();
            box->setFocus();
            QTRY_VERIFY(box->hasFocus() || box->lineEdit()->hasFocus());
            QWidget *target = QApplication::focusWidget();
            QTest::keyClicks(target, QStringLiteral("Zq12"));
            QTest::keyClick(target, Qt::Key_Backspace);
            QTest::keyClick(target, Qt::Key_Delete);
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Space);
            // Nor does the wheel over the closed box pick anything.
            for (int delta : {-120, 120}) {
                QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, delta),
                                  Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(box, &wheel);
            }
            QCOMPARE(box->currentText(), before);
            QCOMPARE(box->lineEdit()->text(), before);
            QCOMPARE(picked.count(), 0);
        }
        QCOMPARE(e->SelFontName(), faceBefore);
        QCOMPARE(e->SelFontSize(), sizeBefore);
        QCOMPARE(e->Text(), QStringLiteral("text"));
        QCOMPARE(w->changed, 0);

        // The menu shortcuts still reach their items from a font box.
        platform::Clipboard::SetText(QStringLiteral("P"));
        w->cbosize->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(e->Text(), QStringLiteral("P"));
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("8"));
        // Stepping through the list is picking an entry.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("10"));
        // Tab still moves on, to the font box.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(w->cbofont->hasFocus() || w->cbofont->lineEdit()->hasFocus());
    }

    // --- the Edit menu ----------------------------------------------------------

    void editMenuItemsFollowTheSelection()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("alpha beta"));
        // Nothing selected: Copy, Cut and Clear are off, opened or not.
        QVERIFY(!w->mnucopy->isEnabled() && !w->mnucut->isEnabled() && !w->mnuclear->isEnabled());
        openEditMenu(*w);
        QVERIFY(!w->mnucopy->isEnabled() && !w->mnucut->isEnabled() && !w->mnuclear->isEnabled());
        QVERIFY(w->mnupaste->isEnabled() && w->mnu_undo->isEnabled() && w->mnuselect->isEnabled());

        // A selection made since: their keys act without the menu opening.
        platform::Clipboard::SetText(QStringLiteral("old"));
        select(e, 0, 5);
        QVERIFY(w->mnucopy->isEnabled() && w->mnucut->isEnabled() && w->mnuclear->isEnabled());
        QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(platform::Clipboard::GetText(), QStringLiteral("alpha"));
        QCOMPARE(w->changed, 0);
        QTest::keyClick(e, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(e->Text(), QStringLiteral(" beta"));
        QCOMPARE(w->changed, 1);
        // The selection gone, so are they: the keys do nothing.
        QTest::keyClick(e, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(e->Text(), QStringLiteral(" beta"));
        QCOMPARE(platform::Clipboard::GetText(), QStringLiteral("alpha"));
    }

    // Undo of Cut brings the text back with its format; Undo goes back step
    // by step to the loaded document and no further: it never pastes.
    void undoStepByStepToTheLoadedDocument()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("keep this word"));
        platform::Clipboard::SetText(QStringLiteral("clip"));
        select(e, 5, 4);
        e->setSelBold(true);
        QTest::keyClick(e, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
        select(e, 5, 4);
        QCOMPARE(e->SelBold(), std::optional<bool>(true));
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
        select(e, 0, 14);
        QCOMPARE(e->SelBold(), std::optional<bool>(false));
        QCOMPARE(e->Text(), QStringLiteral("keep this word"));
        // Paste with an empty clipboard puts nothing in the selection's place.
        QGuiApplication::clipboard()->clear();
        select(e, 0, 5);
        QTest::keyClick(e, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(e->Text(), QStringLiteral("this word"));
    }

    void pasteKeysUsePlainText()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QString());
        auto *mime = new QMimeData;
        mime->setHtml(QStringLiteral("<b>bold</b>"));
        mime->setText(QStringLiteral("bold"));
        QGuiApplication::clipboard()->setMimeData(mime);
        // Ctrl+V is no menu's key: the control pastes, as plain text.
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(e->Text(), QStringLiteral("bold"));
        QVERIFY(formatAt(e, 1).fontWeight() <= QFont::Normal);
    }

    void selectAllAndCtrlA()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QString());
        w->mnuselect_Click();
        QCOMPARE(e->SelStart(), 0);
        QCOMPARE(e->SelLength(), 0);
        setText(e, QStringLiteral("ab\ncd"));
        w->mnuselect_Click();
        QCOMPARE(e->SelLength(), 6);
        QCOMPARE(e->SelText(), QStringLiteral("ab\r\ncd"));

        // Ctrl+A is Save As, never the control's select-all.
        QObject::disconnect(w->mnusaveas, &QAction::triggered, w.get(), nullptr);
        QSignalSpy saveAs(w->mnusaveas, &QAction::triggered);
        e->setSelStart(1);
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(saveAs.count(), 1);
        QCOMPARE(e->SelLength(), 0);
    }

    void timeAndDateReplacesTheSelection()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("at NOW."));
        select(e, 3, 3);
        const QDateTime before = QDateTime::currentDateTime();
        QTest::keyClick(e, Qt::Key_F5);
        const QString text = e->Text();
        QVERIFY2(text.startsWith(QLatin1String("at ")) && text.endsWith(u'.'), qPrintable(text));
        const QString stamp = text.mid(3, text.size() - 4);
        const QLocale locale = QLocale::system();
        const QString date = locale.toString(before.date(), QLocale::ShortFormat);
        QVERIFY2(stamp.endsWith(u' ' + date), qPrintable(stamp));
        // Seconds, and no line break.
        QVERIFY2(QRegularExpression(QStringLiteral("\\d{1,2}\\D\\d{2}\\D\\d{2}")).match(stamp).hasMatch(),
                 qPrintable(stamp));
        QVERIFY(!stamp.contains(u'\r') && !stamp.contains(u'\n'));
        QCOMPARE(w->changed, 1);
    }

    // --- keys and the mouse ------------------------------------------------------

    void caseKeysWithAndWithoutSelection()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("say hello now"));
        // Mixed formatting: every letter keeps its own, the selection stays.
        select(e, 4, 2);
        e->setSelBold(true);
        select(e, 6, 3);
        e->setSelItalic(true);
        e->setSelColor(0x0000FF);
        e->setSelStart(9);
        QTest::keyClick(e, Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(e->SelText(), QStringLiteral("hello"));
        QTest::keyClick(e, Qt::Key_F6);
        QCOMPARE(e->Text(), QStringLiteral("say HELLO now"));
        QCOMPARE(e->SelText(), QStringLiteral("HELLO"));
        QCOMPARE(e->textCursor().position(), 4);
        for (int i = 4; i < 9; ++i) {
            QCOMPARE(formatAt(e, i).fontWeight() > QFont::Normal, i < 6);
            QCOMPARE(formatAt(e, i).fontItalic(), i >= 6);
            QCOMPARE(formatAt(e, i).foreground().color() == QColor(Qt::red), i >= 6);
        }
        QCOMPARE(w->changed, 1);
        select(e, 0, 9);
        QTest::keyClick(e, Qt::Key_F7);
        QCOMPARE(e->Text(), QStringLiteral("say hello now"));
        QVERIFY(formatAt(e, 4).fontWeight() > QFont::Normal);

        // Nothing selected: no change to the text, but a change all the same.
        w->changed = 0;
        e->setSelStart(2);
        QTest::keyClick(e, Qt::Key_F6);
        QCOMPARE(e->Text(), QStringLiteral("say hello now"));
        QCOMPARE(w->changed, 1);
    }

    void backspaceOnAnEmptyDocumentMarksItModified()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        QCOMPARE(e->Text(), QString());
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->Text(), QString());
        QCOMPARE(w->changed, 1);
        // Keys that are not characters are no change.
        w->changed = 0;
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Shift);
        QCOMPARE(w->changed, 0);
    }

    void typedCharactersTakeTheBoxesFaceAndSize()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QString());
        const int last = w->cbofont->count() - 1;
        QVERIFY(last >= 1);
        const QString face = w->cbofont->itemText(last);
        w->cbofont->setCurrentIndex(last);
        emit w->cbofont->activated(last);
        w->cbosize->setCurrentIndex(3);   // 14
        emit w->cbosize->activated(3);
        // Typing elsewhere in between does not undo it: every key applies
        // the boxes again.
        e->setFocus();
        QTest::keyClicks(e, QStringLiteral("Hi there"));
        QCOMPARE(e->Text(), QStringLiteral("Hi there"));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(faceOf(formatAt(e, i)), face);
            QCOMPARE(formatAt(e, i).fontPointSize(), 14.0);
        }
        QCOMPARE(w->changed, 1);

        // A box holding something unusable applies nothing and fails nothing.
        w->cbofont->setEditText(QString());
        w->cbosize->setEditText(QString());
        QTest::keyClick(e, Qt::Key_X);
        QCOMPARE(faceOf(formatAt(e, 8)), face);
        QCOMPARE(formatAt(e, 8).fontPointSize(), 14.0);

        // Text from an input method (dead keys, compose) takes them too.
        w->cbofont->setEditText(w->cbofont->itemText(0));
        w->cbosize->setEditText(QStringLiteral("16"));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("\u00ea"));
        QApplication::sendEvent(e, &commit);
        QCOMPARE(e->Text(), QStringLiteral("Hi therex\u00ea"));
        QCOMPARE(faceOf(formatAt(e, 9)), w->cbofont->itemText(0));
        QCOMPARE(formatAt(e, 9).fontPointSize(), 16.0);

        // Typing over a selection, made either way: the selection and the
        // character typed take the boxes' face and size.
        w->cbosize->setCurrentIndex(5);   // 18
        emit w->cbosize->activated(5);
        e->setFocus();
        for (bool backwards : {false, true}) {
            setText(e, QStringLiteral("abcdef"));
            styleRange(e, 0, 6, w->cbofont->itemText(0), 9);
            e->setSelStart(backwards ? 4 : 1);
            QTest::keyClick(e, backwards ? Qt::Key_Left : Qt::Key_Right, Qt::ShiftModifier);
            QTest::keyClick(e, backwards ? Qt::Key_Left : Qt::Key_Right, Qt::ShiftModifier);
            w->cbofont->setEditText(face);
            w->cbosize->setEditText(QStringLiteral("18"));
            QTest::keyClick(e, 'Z');
            QCOMPARE(e->Text(), backwards ? QStringLiteral("abZef") : QStringLiteral("aZdef"));
            const int at = backwards ? 2 : 1;
            QCOMPARE(faceOf(formatAt(e, at)), face);
            QCOMPARE(formatAt(e, at).fontPointSize(), 18.0);
            QCOMPARE(formatAt(e, at + 1).fontPointSize(), 9.0);
        }
    }

    // A new paragraph, and what follows a picture, go on in the face and
    // size of the text before; the boxes say so.
    void newParagraphContinuesTheFormat_data()
    {
        QTest::addColumn<QString>("keys");   // b: Bullets, p: a picture, r: Return
        QTest::newRow("an empty line") << "rr";
        QTest::newRow("leaving a list") << "brr";
        QTest::newRow("after a picture") << "p";
    }

    void newParagraphContinuesTheFormat()
    {
        QFETCH(QString, keys);
        auto w = openWindow();
        RichTextBox *e = w->editor;
        const QString face = w->cbofont->itemText(w->cbofont->count() - 1);
        setText(e, QStringLiteral("text"));
        styleRange(e, 0, 4, face, 14);
        QTest::keyClick(e, Qt::Key_End);
        const QString file = QDir::temp().filePath(QStringLiteral("tarbel-format-after.bmp"));
        QImage(4, 4, QImage::Format_RGB32).save(file, "BMP");
        platform::ToolbarButton bullet;
        bullet.Key = QStringLiteral("bullet");
        for (const QChar k : keys) {
            if (k == u'b')
                w->Toolbar1_ButtonClick(&bullet);
            else if (k == u'p')
                e->OLEObjects.Add(file);
            else
                QTest::keyClick(e, Qt::Key_Return);
        }
        QFile::remove(file);
        QTest::keyClicks(e, QStringLiteral("new"));
        QVERIFY(e->Text().endsWith(QLatin1String("new")));
        QVERIFY(!e->textCursor().currentList());
        const int last = e->document()->characterCount() - 2;
        QCOMPARE(faceOf(formatAt(e, last)), face);
        QCOMPARE(formatAt(e, last).fontPointSize(), 14.0);
        QCOMPARE(w->cbofont->currentText(), face);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("14"));
    }

    void boxesFollowArrowKeysClicksAndMixedSelections()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        const QString faceA = w->cbofont->itemText(0);
        const QString faceB = w->cbofont->itemText(w->cbofont->count() - 1);
        setText(e, QStringLiteral("aaaa bbbb"));
        styleRange(e, 0, 5, faceA, 10);
        styleRange(e, 5, 9, faceB, 18);
        e->setSelStart(3);
        e->setFocus();
        QTest::keyClick(e, Qt::Key_Right);
        QCOMPARE(w->cbofont->currentText(), faceA);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("10"));
        QTest::keyClick(e, Qt::Key_Right);
        QTest::keyClick(e, Qt::Key_Right);
        QCOMPARE(w->cbofont->currentText(), faceB);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("18"));

        // A click into the first word shows its face and size.
        e->setSelStart(8);
        QTest::keyClick(e, Qt::Key_End);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("18"));
        QTextCursor c(e->document());
        c.setPosition(2);
        const QPoint p = e->cursorRect(c).center();
        QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, p);
        QTRY_COMPARE(w->cbosize->currentText(), QStringLiteral("10"));
        QCOMPARE(w->cbofont->currentText(), faceA);

        // A selection over both words: both boxes empty, without failing.
        select(e, 0, 9);
        QTest::keyClick(e, Qt::Key_Shift);
        QCOMPARE(w->cbofont->currentText(), QString());
        QCOMPARE(w->cbosize->currentText(), QString());
    }

    void guardSwallowsExactlyOneEvent()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("hello"));
        select(e, 0, 5);
        w->cbosize->setEditText(QStringLiteral("junk"));
        // F6: its KeyDown is swallowed, its KeyUp acts.
        w->skipevent = 1;
        QTest::keyClick(e, Qt::Key_F6);
        QCOMPARE(w->skipevent, 0);
        QCOMPARE(e->Text(), QStringLiteral("hello"));
        QCOMPARE(w->changed, 0);
        QCOMPARE(w->cbosize->currentText(), QString::number(e->SelFontSize().value_or(-1)));
        QTest::keyClick(e, Qt::Key_F6);
        QCOMPARE(e->Text(), QStringLiteral("HELLO"));
        QCOMPARE(w->changed, 1);

        // A character: its KeyDown is swallowed, its KeyPress still counts,
        // and the control types it either way.
        w->changed = 0;
        w->skipevent = 1;
        e->moveCursor(QTextCursor::End);
        QTest::keyClick(e, Qt::Key_X);
        QCOMPARE(e->Text(), QStringLiteral("HELLOx"));
        QCOMPARE(w->skipevent, 0);
        QCOMPARE(w->changed, 1);

        // A click swallowed: the boxes are not refreshed, the caret moves.
        w->cbosize->setEditText(QStringLiteral("junk"));
        w->skipevent = 1;
        QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, e->cursorRect(QTextCursor(e->document())).center());
        QCoreApplication::processEvents();
        QCOMPARE(w->skipevent, 0);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("junk"));
        QCOMPARE(e->SelStart(), 0);

        // The same guard in tmpeditor.
        w->mnu_wrap_Click();
        w->tmpeditor->setFocus();
        w->skipevent = 1;
        w->changed = 0;
        QTest::keyClick(w->tmpeditor, Qt::Key_F7);
        QCOMPARE(w->skipevent, 0);
        QCOMPARE(w->changed, 0);
    }

    void rightClickOffersNoEditingBehindTheMenus()
    {
        auto w = openWindow();
        for (RichTextBox *box : {w->editor, w->tmpeditor}) {
            if (box == w->tmpeditor)
                w->mnu_wrap_Click();
            setText(box, QStringLiteral("text"));
            bool popped = false;
            QTimer::singleShot(50, box, [&popped] {
                if (QWidget *p = QApplication::activePopupWidget()) {
                    popped = true;
                    p->close();
                }
            });
            QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(10, 10), box->viewport()->mapToGlobal(QPoint(10, 10)));
            QApplication::sendEvent(box->viewport(), &ev);
            QTest::qWait(100);
            QVERIFY(!popped);
            QCOMPARE(box->viewport()->contextMenuPolicy(), Qt::NoContextMenu);
        }
    }

    void insertKeyTogglesOverwrite()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("abc"));
        QLabel *ins = w->StatusBar1->Panels().at(2)->label;
        QVERIFY(ins->isEnabled());
        QTest::keyClick(e, Qt::Key_Insert);
        QVERIFY(e->overwriteMode());
        QTRY_VERIFY(!ins->isEnabled());
        QTest::keyClicks(e, QStringLiteral("XY"));
        QCOMPARE(e->Text(), QStringLiteral("XYc"));
        QTest::keyClick(e, Qt::Key_Insert);
        QVERIFY(!e->overwriteMode());
        QTRY_VERIFY(ins->isEnabled());
    }

    // --- Word Wrap ---------------------------------------------------------------------

    void wordWrapTwiceReturnsToEditor()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        setText(e, QStringLiteral("first line\nsecond line"));
        QVERIFY(!w->mnu_wrap->isChecked());
        w->mnu_wrap->trigger();
        QVERIFY(w->mnu_wrap->isChecked());
        QVERIFY(w->tmpeditor->isVisible());
        QVERIFY(!e->isVisible());
        QCOMPARE(w->activeEditor(), w->tmpeditor);
        QCOMPARE(w->tmpeditor->Text(), QStringLiteral("first line\r\nsecond line"));
        w->mnu_wrap->trigger();
        QVERIFY(!w->mnu_wrap->isChecked());
        QVERIFY(e->isVisible());
        QVERIFY(!w->tmpeditor->isVisible());
        QCOMPARE(e->Text(), QStringLiteral("first line\r\nsecond line"));
        QCOMPARE(w->changed, 0);
    }

    // The switch keeps the focus, the caret and selection, the part of the
    // document in view, and the history.
    void wordWrapKeepsFocusCaretViewAndHistory()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        QString text;
        for (int i = 0; i < 300; ++i)
            text += QStringLiteral("line %1 of a document long enough to scroll\n").arg(i);
        setText(e, text);
        e->setFocus();
        e->setSelStart(0);
        QTest::keyClicks(e, QStringLiteral("typed "));
        e->verticalScrollBar()->setValue(e->verticalScrollBar()->maximum() / 2);
        const int topLine = e->cursorForPosition(QPoint(0, 0)).blockNumber();
        QVERIFY(topLine > 50);
        QTextCursor word = e->cursorForPosition(QPoint(5, e->viewport()->height() / 2));
        word.select(QTextCursor::WordUnderCursor);
        e->setTextCursor(word);
        const qint64 start = e->SelStart();
        for (RichTextBox *shown : {w->tmpeditor, w->editor}) {
            w->mnu_wrap->trigger();
            QCOMPARE(w->activeEditor(), shown);
            QTRY_VERIFY(shown->hasFocus());
            QCOMPARE(shown->SelStart(), start);
            QCOMPARE(shown->SelLength(), qint64(word.selectedText().size()));
            QVERIFY(qAbs(shown->cursorForPosition(QPoint(0, 0)).blockNumber() - topLine) <= 1);
        }
        // Typing goes on in the wrapped view; Undo there takes back the words
        // typed before the switch too.
        w->mnu_wrap->trigger();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
        QVERIFY(w->tmpeditor->textCursor().block().text().endsWith(u'x'));
        QTest::keyClick(w->tmpeditor, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(w->tmpeditor, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(w->tmpeditor->Text().startsWith(QLatin1String("line 0 ")));
        QCOMPARE(w->changed, 1);
    }

    // A right-to-left paragraph lies in view in both controls.
    void rightToLeftTextIsInView()
    {
        auto w = openWindow();
        for (RichTextBox *box : {w->editor, w->tmpeditor}) {
            if (box == w->tmpeditor)
                w->mnu_wrap_Click();
            setText(box, QStringLiteral("\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd"));
            const QTextLayout *layout = box->document()->begin().layout();
            const QRectF line = layout->lineAt(0).naturalTextRect().translated(layout->position());
            QVERIFY2(line.left() >= 0 && line.right() <= box->viewport()->width(), box->objectName().toLatin1());
        }
    }

    void wordWrapKeepsFormattingBulletsPicturesAndTables()
    {
        auto w = openWindow();
        RichTextBox *e = w->editor;
        QTextDocument *doc = e->document();
        doc->clear();
        QTextCursor c(doc);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        bold.setForeground(QColor(255, 0, 0));
        c.insertText(QStringLiteral("bold red"), bold);
        c.insertBlock(QTextBlockFormat(), QTextCharFormat());
        c.insertText(QStringLiteral("bulleted"));
        QTextListFormat lf;
        lf.setStyle(QTextListFormat::ListDisc);
        c.createList(lf);
        c.insertBlock();
        c.currentList()->remove(c.block());
        QImage img(12, 8, QImage::Format_RGB32);
        img.fill(Qt::blue);
        doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic1")), img);
        QTextImageFormat imf;
        imf.setName(QStringLiteral("pic1"));
        imf.setWidth(12);
        imf.setHeight(8);
        c.insertImage(imf);
        c.insertBlock();
        QTextTable *table = c.insertTable(2, 2);
        table->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("cell"));

        auto check = [](RichTextBox *box) {
            QTextDocument *d = box->document();
            QTextBlock b = d->begin();
            QCOMPARE(b.text(), QStringLiteral("bold red"));
            QTextCursor at(d);
            at.setPosition(b.position() + 1);
            QVERIFY(at.charFormat().fontWeight() > QFont::Normal);
            QCOMPARE(at.charFormat().foreground().color(), QColor(255, 0, 0));
            b = b.next();
            QCOMPARE(b.text(), QStringLiteral("bulleted"));
            QVERIFY(b.textList());
            QCOMPARE(b.textList()->format().style(), QTextListFormat::ListDisc);
            bool picture = false, tableFound = false;
            for (QTextBlock k = d->begin(); k.isValid(); k = k.next()) {
                for (auto it = k.begin(); !it.atEnd(); ++it)
                    if (it.fragment().charFormat().isImageFormat()) {
                        const QTextImageFormat f = it.fragment().charFormat().toImageFormat();
                        const QImage image =
                            d->resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
                        picture = !image.isNull() && image.size() == QSize(12, 8)
                            && image.pixelColor(3, 3) == QColor(Qt::blue);
                    }
                QTextCursor kc(k);
                if (QTextTable *t = kc.currentTable()) {
                    tableFound = t->rows() == 2 && t->columns() == 2
                        && t->cellAt(1, 1).firstCursorPosition().block().text() == QLatin1String("cell");
                }
            }
            QVERIFY(picture);
            QVERIFY(tableFound);
        };
        check(e);
        w->mnu_wrap_Click();
        check(w->tmpeditor);
        w->mnu_wrap_Click();
        check(e);
    }

    void typingInTmpeditorBehavesAsInEditor()
    {
        auto w = openWindow();
        w->mnu_wrap_Click();
        RichTextBox *t = w->tmpeditor;
        QCOMPARE(w->activeEditor(), t);
        t->setFocus();
        w->cbosize->setCurrentIndex(2);   // 12
        emit w->cbosize->activated(2);
        QTest::keyClicks(t, QStringLiteral("wrapped"));
        QCOMPARE(t->Text(), QStringLiteral("wrapped"));
        QCOMPARE(formatAt(t, 3).fontPointSize(), 12.0);
        QCOMPARE(w->changed, 1);
        // Commands act on tmpeditor now.
        select(t, 0, 7);
        w->mnubold_Click();
        QCOMPARE(t->SelBold(), std::optional<bool>(true));
        QTest::keyClick(t, Qt::Key_F6);
        QCOMPARE(t->Text(), QStringLiteral("WRAPPED"));
        QCOMPARE(w->editor->Text(), QString());
        // Its key-up refreshes the boxes from it.
        w->cbosize->setEditText(QStringLiteral("junk"));
        QTest::keyClick(t, Qt::Key_Home);
        QCOMPARE(w->cbosize->currentText(), QStringLiteral("12"));
    }
};

QTEST_MAIN(TestEditorFormatting)
#include "tst_editor_formatting.moc"
