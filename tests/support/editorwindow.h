#pragma once
// Helpers the editor suites share: a shown window, a window with unsaved
// work, and text and selections set in CR LF positions.
#include "frmeditor.h"

#include <QTest>
#include <QTextCursor>

#include <memory>

namespace editortest {

// A shown, active editor window with the focus in editor; its start-up
// look-up timer is stopped.
inline std::unique_ptr<frmeditor> openWindow()
{
    auto w = std::make_unique<frmeditor>();
    w->Timer1->stop();
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("window not active");
    w->editor->setFocus();
    return w;
}

// Loads plain text into box as a document is loaded (no change to it), the
// caret at the start.
inline void setText(platform::RichTextBox *box, const QString &text)
{
    box->setTextRTF(text.toUtf8());
    box->setSelStart(0);
}

inline void select(platform::RichTextBox *box, qint64 start, qint64 length)
{
    box->setSelStart(start);
    box->setSelLength(length);
}

// Gives w unsaved work the way a user does: a letter typed at the end of
// its document and taken back with Backspace, so that the editor itself
// marks the change while the text and the selection stay as they were.
inline void makeUnsavedEdit(frmeditor &w)
{
    platform::RichTextBox *box = w.activeEditor() ? w.activeEditor() : w.editor;
    const qint64 start = box->SelStart(), length = box->SelLength();
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_X);
    QTest::keyClick(box, Qt::Key_Backspace);
    select(box, start, length);
    QVERIFY2(w.changed == 1, "typing into the document did not mark it changed");
}

}  // namespace editortest
