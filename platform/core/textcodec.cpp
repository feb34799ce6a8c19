#include "textcodec.h"

#include "codepages.h"

#include <QStringDecoder>

#include <memory>
#include <utility>

namespace platform {

PieceDecoder textPieceDecoder(QByteArrayView whole)
{
    if (!whole.isValidUtf8()) {
        return [](QByteArrayView piece) {
            QString out(piece.size(), Qt::Uninitialized);
            QChar *d = out.data();
            for (char ch : piece)
                *d++ = QChar(codepage::kWindows1252[uchar(ch)]);
            return out;
        };
    }
    // The decoder drops a byte-order mark at the start, and decodeText one
    // more after it.
    auto utf8 = std::make_shared<QStringDecoder>(QStringConverter::Utf8);
    return [utf8, first = true](QByteArrayView piece) mutable {
        QString text = utf8->decode(piece);
        if (std::exchange(first, false) && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    };
}

QString decodeText(const QByteArray &bytes)
{
    return textPieceDecoder(bytes)(bytes);
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
