// Character formatting, the font boxes, and the editors' key and mouse events.
#include "frmeditor.h"

#include "menus.h"
#include "runtime.h"

#include <QAbstractItemView>
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <functional>
#include <tuple>

using platform::RichTextBox;

namespace {

// The font boxes take no typing: every keystroke goes through their
// KeyPress procedure, which discards it. Keys that only move through the
// list or the focus (arrows, page keys, F4, Tab) still work, and the
// window's menu shortcuts reach their items.
class FontBoxKeys : public QObject {
public:
    FontBoxKeys(QWidget *window, std::function<void(int &)> keyPress, QObject *parent)
        : QObject(parent), m_window(window), m_keyPress(std::move(keyPress))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            if (platform::isWindowShortcut(m_window, static_cast<QKeyEvent *>(event))) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::KeyPress: {
            auto *k = static_cast<QKeyEvent *>(event);
            const QString text = k->text();
            // Tab moves the focus on, as in any dialog.
            if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab)
                break;
            if (!text.isEmpty() && text.at(0).unicode() != 127) {
                int keyAscii = text.at(0).unicode();
                m_keyPress(keyAscii);
                if (keyAscii == 0) {
                    k->accept();
                    return true;
                }
            } else if (isEditingKey(k)) {
                k->accept();
                return true;
            }
            break;
        }
        case QEvent::Wheel:
            // The wheel over a closed box picks nothing.
            if (auto *box = qobject_cast<QComboBox *>(parent()); box && !box->view()->isVisible()) {
                event->ignore();
                return true;
            }
            break;
        case QEvent::InputMethod:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove:
            // Typing through an input method and dropping text are typing too.
            event->ignore();
            return true;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static bool isEditingKey(const QKeyEvent *k)
    {
        if (k->key() == Qt::Key_Delete || k->key() == Qt::Key_Backspace)
            return true;
        for (QKeySequence::StandardKey s :
             {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
              QKeySequence::Delete, QKeySequence::Backspace, QKeySequence::DeleteEndOfWord,
              QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfLine,
              QKeySequence::DeleteCompleteLine})
            if (k->matches(s))
                return true;
        return false;
    }

    QWidget *m_window;
    std::function<void(int &)> m_keyPress;
};

}  // namespace

void frmeditor::connectFormatting()
{
    connectItems({{mnubold, &frmeditor::mnubold_Click}, {mnuitalics, &frmeditor::mnuitalics_Click},
                  {mnuunderline, &frmeditor::mnuunderline_Click}, {mnu_clour, &frmeditor::mnu_clour_Click}});
    // The Option menu stays hidden; its items' keys are the window's.
    addActions({mnubold, mnuunderline, mnuitalics, mnu_clour});

    connect(cbofont, &QComboBox::activated, this, &frmeditor::cbofont_Click);
    connect(cbosize, &QComboBox::activated, this, &frmeditor::cbosize_Click);
    auto *fontKeys = new FontBoxKeys(this, [this](int &k) { cbofont_KeyPress(k); }, cbofont);
    auto *sizeKeys = new FontBoxKeys(this, [this](int &k) { cbosize_KeyPress(k); }, cbosize);
    for (auto [box, filter] : {std::pair{cbofont, fontKeys}, std::pair{cbosize, sizeKeys}}) {
        box->installEventFilter(filter);
        if (QLineEdit *line = box->lineEdit()) {
            line->installEventFilter(filter);
            line->setAcceptDrops(false);
            line->setContextMenuPolicy(Qt::NoContextMenu);
        }
    }

    // Editing goes through the menus, the toolbar and the keys, which keep
    // the modified flag; the control's own menu would edit behind it.
    for (RichTextBox *box : {editor, tmpeditor}) {
        box->setContextMenuPolicy(Qt::NoContextMenu);
        box->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
    }

    // Change: whatever changes the document's text or formatting (keys the
    // control handles itself, input methods, the mouse, every command)
    // marks it.
    const auto procedures = {
        std::tuple{editor, &frmeditor::editor_KeyDown, &frmeditor::editor_KeyPress, &frmeditor::editor_KeyUp,
                   &frmeditor::editor_MouseDown, &frmeditor::editor_Change},
        std::tuple{tmpeditor, &frmeditor::tmpeditor_KeyDown, &frmeditor::tmpeditor_KeyPress,
                   &frmeditor::tmpeditor_KeyUp, &frmeditor::tmpeditor_MouseDown, &frmeditor::tmpeditor_Change}};
    for (auto [box, keyDown, keyPress, keyUp, mouseDown, change] : procedures) {
        connect(box, &RichTextBox::KeyDown, this, keyDown);
        connect(box, &RichTextBox::KeyPress, this, keyPress);
        connect(box, &RichTextBox::KeyUp, this, keyUp);
        connect(box, &RichTextBox::MouseDown, this, mouseDown);
        connect(box, &RichTextBox::Change, this, change);
    }
}

// ---------------------------------------------------------------------------
// Character formatting

bool frmeditor::toggleSelection(std::optional<bool> (RichTextBox::*get)() const, void (RichTextBox::*set)(bool))
{
    RichTextBox *e = activeEditor();
    if (!e)
        return false;
    // Off when the attribute reads exactly true; on when it is off or mixed.
    const std::optional<bool> on = (e->*get)();
    (e->*set)(!(on && *on));
    return true;
}

void frmeditor::mnubold_Click()
{
    if (toggleSelection(&RichTextBox::SelBold, &RichTextBox::setSelBold))
        changed = 1;
}

void frmeditor::mnuitalics_Click()
{
    if (toggleSelection(&RichTextBox::SelItalic, &RichTextBox::setSelItalic))
        changed = 1;
}

void frmeditor::mnuunderline_Click()
{
    if (toggleSelection(&RichTextBox::SelUnderline, &RichTextBox::setSelUnderline))
        changed = 1;
}

void frmeditor::mnu_clour_Click()
{
    // A cancelled dialog changes nothing.
    if (!CMDialog1->ShowColor())
        return;
    if (RichTextBox *e = activeEditor())
        e->setSelColor(CMDialog1->Color);
}

void frmeditor::cbofont_Click()
{
    if (RichTextBox *e = activeEditor())
        e->setSelFontName(cbofont->currentText());
}

void frmeditor::cbosize_Click()
{
    if (RichTextBox *e = activeEditor())
        e->setSelFontSize(platform::val(cbosize->currentText()));
}

void frmeditor::cbofont_KeyPress(int &KeyAscii) { KeyAscii = 0; }

void frmeditor::cbosize_KeyPress(int &KeyAscii) { KeyAscii = 0; }

// ---------------------------------------------------------------------------
// Keys and the mouse in the editors

bool frmeditor::skipThisEvent()
{
    if (skipevent == 1) {
        skipevent = 0;
        return true;
    }
    return false;
}

void frmeditor::keyDownOn(RichTextBox *control, int KeyCode)
{
    if (skipThisEvent())
        return;
    if (KeyCode == 117 || KeyCode == 118) {   // F6 upper case, F7 lower case
        control->changeSelCase(KeyCode == 117);
        changed = 1;
    }
}

void frmeditor::keyPressOn(RichTextBox *control)
{
    if (skipThisEvent())
        return;
    changed = 1;
    // The character typed over a selection takes the format at the
    // selection's end, which the boxes are about to set: a selection made
    // backwards is turned round first.
    QTextCursor c = control->textCursor();
    if (c.hasSelection() && c.position() < c.anchor()) {
        const int start = c.selectionStart();
        const int end = c.selectionEnd();
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        control->setTextCursor(c);
    }
    // Typed characters take the face and size the boxes show; a box left
    // empty by a mixed selection gives nothing to apply.
    const double size = platform::val(cbosize->currentText());
    if (size > 0)
        control->setSelFontSize(size);
    const QString face = cbofont->currentText();
    if (!face.trimmed().isEmpty())
        control->setSelFontName(face);
}

void frmeditor::keyUpOn()
{
    if (!skipThisEvent())
        showSelectionFont(activeEditor());
}

void frmeditor::mouseDownOn()
{
    if (skipThisEvent())
        return;
    showSelectionFont(activeEditor());
    // The control moves the caret only after this event; once it has, the
    // boxes show what the click selected.
    QTimer::singleShot(0, this, [this] { showSelectionFont(activeEditor()); });
}

// Both editors' procedures: the first event after a skip request is
// swallowed by each helper.
void frmeditor::editor_KeyDown(int &KeyCode, int) { keyDownOn(editor, KeyCode); }
void frmeditor::editor_KeyPress(int &) { keyPressOn(editor); }
void frmeditor::editor_KeyUp(int &, int) { keyUpOn(); }
void frmeditor::editor_MouseDown(int, int, double, double) { mouseDownOn(); }
void frmeditor::editor_Change() { changed = 1; }

void frmeditor::tmpeditor_KeyDown(int &KeyCode, int) { keyDownOn(tmpeditor, KeyCode); }
void frmeditor::tmpeditor_KeyPress(int &) { keyPressOn(tmpeditor); }
void frmeditor::tmpeditor_KeyUp(int &, int) { keyUpOn(); }
void frmeditor::tmpeditor_MouseDown(int, int, double, double) { mouseDownOn(); }
void frmeditor::tmpeditor_Change() { changed = 1; }
