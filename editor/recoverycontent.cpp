#include "recoverycontent.h"

#include "rtf/rtf.h"

#include <QElapsedTimer>
#include <QTextDocument>

namespace {

// Would the text of a paragraph come back as it is through the text
// loader? Not with a character that ends a paragraph there, half of a
// surrogate pair (UTF-8 has no place for it), or, at the very start, a
// byte-order mark (the decoder drops it).
bool comesBackAsText(QStringView text, bool atStart)
{
    if (atStart && text.startsWith(QChar(QChar::ByteOrderMark)))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == 0xFDD0 || c == 0xFDD1)
            return false;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (QChar::isSurrogate(c))
            return false;
    }
    return true;
}

}  // namespace

RecoveryContent::RecoveryContent(const QTextDocument *doc, bool plainDefaults)
    : m_doc(doc), m_rule(doc), m_block(doc->begin())
{
    if (!plainDefaults || !m_rule.keepsFrames())
        toRtf();
    else
        m_text.reserve(doc->characterCount());
}

RecoveryContent::~RecoveryContent() = default;

bool RecoveryContent::step(int milliseconds)
{
    if (m_rtf)
        return m_rtf->step(milliseconds);
    QElapsedTimer slice;
    slice.start();
    for (; m_block.isValid(); m_block = m_block.next()) {
        const QString line = m_block.text();
        const bool first = m_block == m_doc->begin();
        if (!m_rule.keeps(m_block, line) || !comesBackAsText(line, first)) {
            toRtf();
            return false;
        }
        if (!first)
            m_text += '\n';
        m_text += line.toUtf8();
        if (slice.elapsed() >= milliseconds) {
            m_block = m_block.next();
            return !m_block.isValid();
        }
    }
    return true;
}

platform::RecoveryCopy::Content RecoveryContent::kind() const
{
    return m_rtf ? platform::RecoveryCopy::Rtf : platform::RecoveryCopy::Text;
}

QByteArray RecoveryContent::result() { return m_rtf ? m_rtf->result() : std::move(m_text); }

DocumentFormat RecoveryContent::textFormat()
{
    DocumentFormat format;
    format.kind = DocumentFormat::Text;
    format.encoding = DocumentFormat::Utf8;
    format.lineEnd = QByteArrayLiteral("\n");
    return format;
}

void RecoveryContent::toRtf()
{
    m_text = QByteArray();
    m_rtf = std::make_unique<rtf::SlicedWriter>(m_doc);
}
