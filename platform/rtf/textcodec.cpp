#include "textcodec.h"

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
    // Windows-1252: Latin-1 but for 0x80..0x9F.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *d++ = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out;
}

QByteArray encodeWindows1252(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(char(c));
            continue;
        }
        char mapped = '?';
        switch (c) {
        case 0x20AC: mapped = char(0x80); break;
        case 0x201A: mapped = char(0x82); break;
        case 0x0192: mapped = char(0x83); break;
        case 0x201E: mapped = char(0x84); break;
        case 0x2026: mapped = char(0x85); break;
        case 0x2020: mapped = char(0x86); break;
        case 0x2021: mapped = char(0x87); break;
        case 0x02C6: mapped = char(0x88); break;
        case 0x2030: mapped = char(0x89); break;
        case 0x0160: mapped = char(0x8A); break;
        case 0x2039: mapped = char(0x8B); break;
        case 0x0152: mapped = char(0x8C); break;
        case 0x017D: mapped = char(0x8E); break;
        case 0x2018: mapped = char(0x91); break;
        case 0x2019: mapped = char(0x92); break;
        case 0x201C: mapped = char(0x93); break;
        case 0x201D: mapped = char(0x94); break;
        case 0x2022: mapped = char(0x95); break;
        case 0x2013: mapped = char(0x96); break;
        case 0x2014: mapped = char(0x97); break;
        case 0x02DC: mapped = char(0x98); break;
        case 0x2122: mapped = char(0x99); break;
        case 0x0161: mapped = char(0x9A); break;
        case 0x203A: mapped = char(0x9B); break;
        case 0x0153: mapped = char(0x9C); break;
        case 0x017E: mapped = char(0x9E); break;
        case 0x0178: mapped = char(0x9F); break;
        default:
            // A surrogate pair is one character: one '?'.
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
            break;
        }
        out.append(mapped);
    }
    return out;
}

}  // namespace platform
