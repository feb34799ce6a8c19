#include "textcodec.h"

#include "codepages.h"

#include <QStringDecoder>

namespace platform {

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (char ch : bytes)
        *d++ = QChar(codepage::kWindows1252[uchar(ch)]);
    return out;
}

QByteArray encodeWindows1252(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            out.append(char(c));
        } else if (const uchar b = codepage::toWindows1252(c)) {
            out.append(char(b));
        } else {
            // A surrogate pair is one character: one '?'.
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
            out.append('?');
        }
    }
    return out;
}

}  // namespace platform
