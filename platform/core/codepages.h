#pragma once
// Code pages, in one place: which code page an RTF font charset stands for,
// the double-byte code pages and their lead bytes, the Symbol and Wingdings
// fonts, and the one Windows-1252 table that the RTF reader and writer and
// the plain-text codec all use.
#include <QString>
#include <QtGlobal>

#include <array>
#include <unordered_map>

namespace codepage {

// Pseudo code pages for fonts whose byte codes name glyphs, not letters.
constexpr int kSymbol = -2;
constexpr int kWingdings = -3;
constexpr int kUtf8 = 65001;

// Windows-1252: Latin-1 but for 0x80..0x9F. The five codes it leaves
// undefined stand for the C1 control of the same number.
using ByteTable = std::array<char16_t, 256>;
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
inline constexpr ByteTable kWindows1252 = [] {
    ByteTable t{};
    for (int i = 0; i < 256; ++i)
        t[i] = i >= 0x80 && i < 0xA0 ? kWindows1252High[i - 0x80] : char16_t(i);
    return t;
}();

// The Windows-1252 byte of a character from 0x80 up, or 0 when it has none.
uchar toWindows1252(char16_t c);

// The code page of an RTF \fcharset, 0 when unknown.
int forCharset(int charset);

// Whether the code page can be decoded (\ansicpg and \cpg name only these).
bool isKnown(int cp);

bool isDoubleByte(int cp);
bool isLeadByte(int cp, uchar b);

// The Symbol and Wingdings fonts put their glyphs at byte codes (or at the
// same codes in the U+F000 private-use page); the common ones map to the real
// characters.
char16_t symbolChar(uchar b, bool wingdings);

// A lead and a trail byte of a double-byte code page; U+FFFD when the code
// page cannot be decoded.
QString decodePair(int cp, uchar lead, uchar trail);

// The single-byte tables a document uses, each built from Qt's codec once.
class SingleByteTables
{
public:
    const ByteTable &table(int cp);

private:
    std::unordered_map<int, ByteTable> built;
};

// Bytes of text to characters, in whatever code page each byte is in: a
// double-byte character's lead byte waits for its trail, a UTF-8 sequence
// for the rest of it.
class ByteDecoder
{
public:
    template <typename Sink>
    void decode(uchar b, int cp, Sink out)
    {
        if (need) {
            if (cp == kUtf8 && (b & 0xC0) == 0x80) {
                utf8 = (utf8 << 6) | (b & 0x3F);
                if (--need == 0)
                    finishUtf8(out);
                return;
            }
            need = 0;  // cut short: the byte is read on its own
            out(0xFFFD);
        }
        if (lead) {
            const QString pair = decodePair(cp, lead, b);
            lead = 0;
            for (QChar c : pair)
                out(c.unicode());
        } else if (isLeadByte(cp, b)) {
            lead = b;
        } else if (cp == kSymbol || cp == kWingdings) {
            out(symbolChar(b, cp == kWingdings));
        } else if (cp == kUtf8 && b >= 0x80) {
            startUtf8(b, out);
        } else {
            out(tables.table(cp)[b]);
        }
    }
    bool awaitsTrail() const { return lead != 0 || need != 0; }
    void dropLead() { lead = 0; need = 0; }

private:
    template <typename Sink>
    void startUtf8(uchar b, Sink out)
    {
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1, utf8 = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, utf8 = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, utf8 = b & 0x07, least = 0x10000;
        } else {
            out(0xFFFD);
        }
    }

    template <typename Sink>
    void finishUtf8(Sink out)
    {
        if (utf8 < least || (utf8 >= 0xD800 && utf8 <= 0xDFFF) || utf8 > 0x10FFFF) {
            out(0xFFFD);
        } else if (utf8 > 0xFFFF) {
            out(QChar::highSurrogate(utf8));
            out(QChar::lowSurrogate(utf8));
        } else {
            out(char16_t(utf8));
        }
    }

    SingleByteTables tables;
    uchar lead = 0;
    quint8 need = 0;  // continuation bytes the UTF-8 sequence still wants
    char32_t utf8 = 0, least = 0;
};

}  // namespace codepage
