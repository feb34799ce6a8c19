// Character formatting, the Edit menu, and the editors' key and mouse events.
#include "frmeditor.h"

#include "runtime.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTimer>

#include <functional>

using platform::RichTextBox;

namespace {

// The toggle rule: false when the attribute reads exactly true, true
// otherwise (false or mixed).
bool toggled(const std::optional<bool> &value) { return !(value && *value); }

// Is the key one of the window's menu shortcuts?
bool isWindowShortcut(const QWidget *window, const QKeyEvent *e)
{
    if (!window)
        return false;
    const QKeySequence pressed(e->keyCombination());
    const auto actions = window->findChildren<QAction *>();
    for (const QAction *a : actions)
        for (const QKeySequence &s : a->shortcuts())
            if (s == pressed)
                return true;
    return false;
}

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
            if (isWindowShortcut(m_window, static_cast<QKeyEvent *>(event))) {
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

// The time in the system's time format with seconds, but no time zone.
QString timeStampTime(const QLocale &locale, const QTime &time)
{
    QString format;
    const QString longFormat = locale.timeFormat(QLocale::LongFormat);
    bool quoted = false;
    for (const QChar c : longFormat) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        format += c;
    }
    format.remove(QLatin1String("()"));
    format = format.simplified();
    if (!format.contains(u's')) {
        format = locale.timeFormat(QLocale::ShortFormat);
        const qsizetype m = format.lastIndexOf(QLatin1String("mm"));
        if (m >= 0)
            format.insert(m + 2, QLatin1String(":ss"));
    }
    return locale.toString(time, format);
}

}  // namespace

void frmeditor::connectFormatting()
{
    connect(mnubold, &QAction::triggered, this, &frmeditor::mnubold_Click);
    connect(mnuitalics, &QAction::triggered, this, &frmeditor::mnuitalics_Click);
    connect(mnuunderline, &QAction::triggered, this, &frmeditor::mnuunderline_Click);
    connect(mnu_clour, &QAction::triggered, this, &frmeditor::mnu_clour_Click);
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

    connect(mnuedit, &QMenu::aboutToShow, this, &frmeditor::mnuedit_Click);
    connect(mnu_undo, &QAction::triggered, this, &frmeditor::mnu_undo_Click);
    connect(mnucut, &QAction::triggered, this, &frmeditor::mnucut_Click);
    connect(mnupaste, &QAction::triggered, this, &frmeditor::mnupaste_Click);
    connect(mnucopy, &QAction::triggered, this, &frmeditor::mnucopy_Click);
    connect(mnuclear, &QAction::triggered, this, &frmeditor::mnuclear_Click);
    connect(mnuselect, &QAction::triggered, this, &frmeditor::mnuselect_Click);
    connect(mnu_time, &QAction::triggered, this, &frmeditor::mnu_time_Click);
    connect(mnu_wrap, &QAction::triggered, this, &frmeditor::mnu_wrap_Click);

    // Editing goes through the menus, the toolbar and the keys, which keep
    // the modified flag; the control's own menu would edit behind it.
    for (RichTextBox *box : {editor, tmpeditor}) {
        box->setContextMenuPolicy(Qt::NoContextMenu);
        box->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
    }

    connect(editor, &RichTextBox::KeyDown, this, &frmeditor::editor_KeyDown);
    connect(editor, &RichTextBox::KeyPress, this, &frmeditor::editor_KeyPress);
    connect(editor, &RichTextBox::KeyUp, this, &frmeditor::editor_KeyUp);
    connect(editor, &RichTextBox::MouseDown, this, &frmeditor::editor_MouseDown);
    connect(tmpeditor, &RichTextBox::KeyDown, this, &frmeditor::tmpeditor_KeyDown);
    connect(tmpeditor, &RichTextBox::KeyPress, this, &frmeditor::tmpeditor_KeyPress);
    connect(tmpeditor, &RichTextBox::KeyUp, this, &frmeditor::tmpeditor_KeyUp);
    connect(tmpeditor, &RichTextBox::MouseDown, this, &frmeditor::tmpeditor_MouseDown);
    // Whatever changes the document's text or formatting (keys the control
    // handles itself, input methods, the mouse, every command) marks it.
    connect(editor, &RichTextBox::Change, this, &frmeditor::editor_Change);
    connect(tmpeditor, &RichTextBox::Change, this, &frmeditor::tmpeditor_Change);
}

// ---------------------------------------------------------------------------
// Character formatting

void frmeditor::mnubold_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelBold(toggled(e->SelBold()));
    changed = 1;
}

void frmeditor::mnuitalics_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelItalic(toggled(e->SelItalic()));
    changed = 1;
}

void frmeditor::mnuunderline_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelUnderline(toggled(e->SelUnderline()));
    changed = 1;
}

void frmeditor::mnu_clour_Click()
{
    // A cancelled dialog keeps the colour chosen last, which is applied.
    CMDialog1->ShowColor();
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
// The Edit menu

void frmeditor::mnuedit_Click()
{
    RichTextBox *e = activeEditor();
    const bool selected = e && !e->SelText().isEmpty();
    mnucopy->setEnabled(selected);
    mnucut->setEnabled(selected);
    mnuclear->setEnabled(selected);
}

void frmeditor::mnu_undo_Click()
{
    // No history: the clipboard's text takes the selection's place, which
    // brings back what Cut just took.
    if (RichTextBox *e = activeEditor())
        e->setSelText(platform::Clipboard::GetText());
}

void frmeditor::mnucut_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    platform::Clipboard::SetText(e->SelText());
    e->setSelText(QString());
    changed = 1;
}

void frmeditor::mnupaste_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelText(platform::Clipboard::GetText());
    changed = 1;
}

void frmeditor::mnucopy_Click()
{
    if (RichTextBox *e = activeEditor())
        platform::Clipboard::SetText(e->SelText());
}

void frmeditor::mnuclear_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelText(QString());
    changed = 1;
}

void frmeditor::mnuselect_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    e->setSelStart(0);
    e->setSelLength(e->textLength());
}

void frmeditor::mnu_time_Click()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    e->setSelText(timeStampTime(locale, now.time()) + QLatin1Char(' ')
                  + locale.toString(now.date(), QLocale::ShortFormat));
}

void frmeditor::mnu_wrap_Click()
{
    if (editor->isVisibleTo(this)) {
        tmpeditor->setTextRTF(editor->TextRTF());
        mnu_wrap->setChecked(true);
        tmpeditor->setVisible(true);
        editor->setVisible(false);
    } else if (tmpeditor->isVisibleTo(this)) {
        editor->setTextRTF(tmpeditor->TextRTF());
        mnu_wrap->setChecked(false);
        editor->setVisible(true);
        tmpeditor->setVisible(false);
    } else {
        // Nothing shown: nothing to switch; the item keeps its mark.
        mnu_wrap->setChecked(tmpeditor->isVisibleTo(this));
    }
}

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

void frmeditor::followSelectionFont()
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    // A selection that mixes faces or sizes shows an empty box.
    const std::optional<QString> face = e->SelFontName();
    cbofont->setEditText(face.value_or(QString()));
    const std::optional<double> size = e->SelFontSize();
    cbosize->setEditText(size ? QString::number(*size) : QString());
}

void frmeditor::keyDownOn(RichTextBox *control, int KeyCode)
{
    if (KeyCode == 117) {           // F6
        control->setSelText(control->SelText().toUpper());
        changed = 1;
    } else if (KeyCode == 118) {    // F7
        control->setSelText(control->SelText().toLower());
        changed = 1;
    }
}

void frmeditor::keyPressOn(RichTextBox *control)
{
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

void frmeditor::mouseDownOn()
{
    // The control moves the caret only after this event; once it has, the
    // boxes show what the click selected.
    QTimer::singleShot(0, this, &frmeditor::followSelectionFont);
}

void frmeditor::editor_KeyDown(int &KeyCode, int)
{
    if (skipThisEvent())
        return;
    keyDownOn(editor, KeyCode);
}

void frmeditor::editor_KeyPress(int &)
{
    if (skipThisEvent())
        return;
    keyPressOn(editor);
}

void frmeditor::editor_KeyUp(int &, int)
{
    if (skipThisEvent())
        return;
    followSelectionFont();
}

void frmeditor::editor_MouseDown(int, int, double, double)
{
    if (skipThisEvent())
        return;
    int keyCode = 0;
    editor_KeyUp(keyCode, 0);
    mouseDownOn();
}

void frmeditor::tmpeditor_KeyDown(int &KeyCode, int)
{
    if (skipThisEvent())
        return;
    keyDownOn(tmpeditor, KeyCode);
}

void frmeditor::tmpeditor_KeyPress(int &)
{
    if (skipThisEvent())
        return;
    keyPressOn(tmpeditor);
}

void frmeditor::tmpeditor_KeyUp(int &, int)
{
    if (skipThisEvent())
        return;
    followSelectionFont();
}

void frmeditor::tmpeditor_MouseDown(int, int, double, double)
{
    if (skipThisEvent())
        return;
    int keyCode = 0;
    editor_KeyUp(keyCode, 0);
    mouseDownOn();
}

void frmeditor::editor_Change() { changed = 1; }

void frmeditor::tmpeditor_Change() { changed = 1; }
