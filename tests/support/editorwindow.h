#pragma once
// Helpers the editor suites share: a shown window, and text and selections
// set in CR LF positions.
#include "frmeditor.h"

#include <QTest>

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

}  // namespace editortest
