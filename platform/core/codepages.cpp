#include "codepages.h"

#include <QByteArray>
#include <QStringDecoder>

namespace codepage {

namespace {

const char *codecName(int cp)
{
    switch (cp) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 866: return "IBM866";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    // The Mac's double-byte pages, read as the Windows page that holds them.
    case 10001: return "windows-31j";
    case 10002: return "Big5";
    case 10003: return "windows-949";
    case 10008: return "GBK";
    case 10006: return "x-mac-greek";
    case 10007: return "x-mac-cyrillic";
    case 10029: return "x-mac-centraleurroman";
    case 10081: return "x-mac-turkish";
    default: return nullptr;
    }
}

}  // namespace

uchar toWindows1252(char16_t c)
{
    if (c >= 0xA0 && c <= 0xFF)
        return uchar(c);
    if (c < 0x100)
        return 0;  // the C1 controls have no byte of their own
    for (int i = 0; i < 32; ++i)
        if (kWindows1252High[i] == c)
            return uchar(0x80 + i);
    return 0;
}

int forCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return kSymbol;
    case 77: return 10000;  // the Mac's charsets
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 85: return 10006;
    case 86: return 10081;
    case 88: return 10029;
    case 89: return 10007;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
    }
}

bool isKnown(int cp) { return cp == 1252 || cp == kUtf8 || codecName(cp); }

bool isDoubleByte(int cp)
{
    switch (cp) {
    case 932: case 936: case 949: case 950: case 10001: case 10002: case 10003: case 10008: return true;
    default: return false;
    }
}

bool isLeadByte(int cp, uchar b)
{
    if (b < 0x80 || !isDoubleByte(cp))
        return false;
    if (cp == 932 || cp == 10001)
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return b >= 0x81 && b <= 0xFE;
}

char16_t symbolChar(uchar b, bool wingdings)
{
    if (wingdings) {
        switch (b) {
        case 0x6C: return 0x25CF;
        case 0x6E: return 0x25A0;
        case 0x71: return 0x2751;
        case 0x76: return 0x2756;
        case 0xA7: return 0x25AA;
        case 0xA8: return 0x25FB;
        case 0xD8: return 0x27A2;
        case 0xE8: return 0x2794;
        case 0xFC: return 0x2713;
        case 0xFB: return 0x2717;
        default: break;
        }
    }
    static const char16_t lower[] = u"\u03B1\u03B2\u03C7\u03B4\u03B5\u03C6\u03B3\u03B7\u03B9\u03D5\u03BA\u03BB\u03BC"
                                    u"\u03BD\u03BF\u03C0\u03B8\u03C1\u03C3\u03C4\u03C5\u03D6\u03C9\u03BE\u03C8\u03B6";
    static const char16_t upper[] = u"\u0391\u0392\u03A7\u0394\u0395\u03A6\u0393\u0397\u0399\u03D1\u039A\u039B\u039C"
                                    u"\u039D\u039F\u03A0\u0398\u03A1\u03A3\u03A4\u03A5\u03C2\u03A9\u039E\u03A8\u0396";
    if (!wingdings) {
        if (b >= 'a' && b <= 'z')
            return lower[b - 'a'];
        if (b >= 'A' && b <= 'Z')
            return upper[b - 'A'];
    }
    switch (b) {
    case 0xB7: return 0x2022;
    case 0xA7: return wingdings ? 0x25AA : 0x2663;
    case 0xA8: return 0x2666;
    case 0xA9: return 0x2665;
    case 0xAA: return 0x2660;
    case 0xAE: return 0x2192;
    case 0xB0: return 0x00B0;
    case 0xB1: return 0x00B1;
    case 0xD7: return 0x22C5;
    case 0xE0: return 0x25CA;
    case 0x2D: return 0x2212;
    case 0x6F: return 0x25CB;
    default: return b;
    }
}

QString decodePair(int cp, uchar lead, uchar trail)
{
    if (const char *name = codecName(cp)) {
        QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            const char pair[2] = {char(lead), char(trail)};
            return decoder.decode(QByteArrayView(pair, 2));
        }
    }
    return QString(QChar(0xFFFD));
}

const ByteTable &SingleByteTables::table(int cp)
{
    if (cp == 1252 || cp <= 0)
        return kWindows1252;
    auto it = built.find(cp);
    if (it != built.end())
        return it->second;
    ByteTable t = kWindows1252;
    // A double-byte page's single bytes too (Shift-JIS's half-width kana).
    if (const char *name = codecName(cp)) {
        QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            for (int i = 0x80; i < 256; ++i) {
                const char byte = char(i);
                const QString s = decoder.decode(QByteArrayView(&byte, 1));
                t[i] = s.size() == 1 ? s.at(0).unicode() : char16_t(0xFFFD);
            }
        }
    }
    if (cp == 10001) {  // the Mac's own single bytes beside Shift-JIS
        t[0x80] = u'\\';
        t[0xA0] = 0x00A0;
        t[0xFD] = 0x00A9;
        t[0xFE] = 0x2122;
        t[0xFF] = 0x2026;
    }
    return built.emplace(cp, t).first->second;
}

}  // namespace codepage
