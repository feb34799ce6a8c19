#pragma once
// The bytes of a recovery copy of a document, made a slice at a time so
// that a large document never holds up the window: the document's text in
// UTF-8, a paragraph a line (LF), when plain text holds it whole (the rule
// Save applies to a text file, judged a paragraph at a time as its text is
// taken, and the text loader gives back every character), else RTF. The
// first paragraph that is not plain sends the work back to the start as RTF.
#include "documentformat.h"
#include "recoverycopy.h"

#include <QByteArray>
#include <QTextBlock>

#include <memory>

namespace rtf {
class SlicedWriter;
}

class RecoveryContent {
public:
    // plainDefaults: the document has the defaults a plain-text load gives
    // it (RichTextBox::hasPlainDefaults); without them it is RTF.
    RecoveryContent(const QTextDocument *doc, bool plainDefaults);
    ~RecoveryContent();
    // Works for about the time given; true once the bytes are made. The
    // document must not change meanwhile.
    bool step(int milliseconds);
    platform::RecoveryCopy::Content kind() const;
    QByteArray result();

    // What a text copy's bytes are to the text loader.
    static DocumentFormat textFormat();

private:
    void toRtf();

    const QTextDocument *m_doc;
    DocumentFormat::PlainRule m_rule;
    QTextBlock m_block;
    QByteArray m_text;
    std::unique_ptr<rtf::SlicedWriter> m_rtf;
};
