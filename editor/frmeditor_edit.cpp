// The Edit menu: clipboard, clearing, selecting, the time stamp and the
// wrapped view.
#include "frmeditor.h"

#include "longwork.h"
#include "runtime.h"

#include <QAction>
#include <QDateTime>
#include <QLocale>
#include <QMenu>

#include <optional>

using platform::RichTextBox;

namespace {

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

void frmeditor::connectEdit()
{
    connect(mnuedit, &QMenu::aboutToShow, this, &frmeditor::mnuedit_Click);
    connectItems({{mnu_undo, &frmeditor::mnu_undo_Click}, {mnucut, &frmeditor::mnucut_Click},
                  {mnupaste, &frmeditor::mnupaste_Click}, {mnucopy, &frmeditor::mnucopy_Click},
                  {mnuclear, &frmeditor::mnuclear_Click}, {mnuselect, &frmeditor::mnuselect_Click},
                  {mnu_time, &frmeditor::mnu_time_Click}, {mnu_wrap, &frmeditor::mnu_wrap_Click},
                  {keyRedo, &frmeditor::keyRedo_Click}});
    // Copy, Cut and Clear, and so their keys, follow the selection as it
    // changes, not only when the menu opens.
    for (RichTextBox *box : {editor, tmpeditor})
        connect(box, &QTextEdit::copyAvailable, this, &frmeditor::mnuedit_Click);
    mnuedit_Click();
}

void frmeditor::mnuedit_Click()
{
    RichTextBox *e = activeEditor();
    const bool selected = e && e->textCursor().hasSelection();
    mnucopy->setEnabled(selected);
    mnucut->setEnabled(selected);
    mnuclear->setEnabled(selected);
}

void frmeditor::mnu_undo_Click() { stepHistory(true); }

void frmeditor::keyRedo_Click() { stepHistory(false); }

void frmeditor::stepHistory(bool back)
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    // Taking back (or again) a step over the whole text is long work.
    std::optional<platform::LongWork> work;
    if (e->isWholeStep(back))
        work.emplace(StatusBar1, platform::LongWork::CannotCancel);
    const platform::Progress progress = work ? work->progress() : platform::Progress();
    if (back)
        e->undo(progress);
    else
        e->redo(progress);
}

void frmeditor::replaceSelection(const QString &text)
{
    RichTextBox *e = activeEditor();
    if (!e)
        return;
    // A long text goes in by pieces; Escape takes them all back out, and
    // the document is as unsaved as it was.
    const int before = changed;
    platform::LongWork work(StatusBar1, platform::LongWork::MayCancel);
    changed = e->setSelText(text, work.progress()) ? 1 : before;
}

void frmeditor::mnucut_Click()
{
    if (RichTextBox *e = activeEditor()) {
        platform::Clipboard::SetText(e->SelText());
        replaceSelection(QString());
    }
}

void frmeditor::mnupaste_Click()
{
    if (activeEditor())
        replaceSelection(platform::Clipboard::GetText());
}

void frmeditor::mnucopy_Click()
{
    if (RichTextBox *e = activeEditor())
        platform::Clipboard::SetText(e->SelText());
}

void frmeditor::mnuclear_Click() { replaceSelection(QString()); }

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
    RichTextBox *from = activeEditor();
    if (!from) {
        // Nothing shown: nothing to switch; the item keeps its mark.
        mnu_wrap->setChecked(tmpeditor->isVisibleTo(this));
        return;
    }
    RichTextBox *to = from == editor ? tmpeditor : editor;
    // The document itself moves over, with its history, the caret and the
    // part in view, and so does the focus. Shown first, the control lays it
    // out at its own size.
    const bool focused = focusWidget() == from;
    // Wrapping a large document is Qt's layout, which cannot be stopped.
    platform::LongWork work(StatusBar1, platform::LongWork::CannotCancel);
    to->setVisible(true);
    to->takeDocument(from);
    mnu_wrap->setChecked(to == tmpeditor);
    from->setVisible(false);
    if (focused)
        to->setFocus();
    mnuedit_Click();
}
