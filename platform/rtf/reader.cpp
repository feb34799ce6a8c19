#include "rtf.h"

#include "codepages.h"
#include "keywords.h"
#include "textcodec.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtf {

namespace {

enum Dest : quint8 {
    Body, FontTable, ColorTable, StyleSheet, StyleEntry, ListTable, ListDef, ListLevel,
    OverrideTable, Override, Pict, FieldInst, PnDef, PictAlt,
    UprAnsi  // the ANSI half of \upr, shown only by readers without Unicode
};

struct CharProps {
    int font = 0;
    int size = 24;  // half points
    int fg = 0, bg = 0;  // colour table entries, 0 = automatic
    int link = -1;
    quint8 bold = 0, italic = 0, underline = 0, strike = 0, hidden = 0, valign = 0;
    bool operator==(const CharProps &) const = default;
};

struct CharHash {
    size_t operator()(const CharProps &c) const
    {
        size_t h = size_t(c.font) * 31 + size_t(c.size);
        h = h * 131 + size_t(c.fg) * 7 + size_t(c.bg);
        h = h * 131 + size_t(c.link + 1);
        h = h * 131 + (c.bold | c.italic << 1 | c.underline << 2 | c.strike << 3 | c.hidden << 4 | c.valign << 5);
        return h;
    }
};

struct ParaProps {
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;
    int ls = 0, ilvl = 0;
    quint8 align = 0, slmult = 0, intbl = 0;
    quint8 listKind = 0;  // 0 none, 1 RichEdit's \pn, 2 Word's \ls
    qint8 pnStyle = 0;    // QTextListFormat::Style of a \pn list
    quint8 ntabs = 0, nextTabType = 0;
    std::array<int, kMaxTabs> tabs{};
    std::array<quint8, kMaxTabs> tabTypes{};
    bool operator==(const ParaProps &) const = default;
};

struct State {
    CharProps chr;
    ParaProps para;
    Dest dest = Body;
    quint8 uc = 1;
    int fieldLink = -1;
};

struct Font {
    QString name;
    int cp = 0;  // 0: the document's code page
};

struct Style {
    int basedOn = -1;
    std::vector<std::pair<Kw, int>> words;
};

enum PictKind : quint8 { PictNone, PictPng, PictJpeg, PictDib, PictWbitmap, PictMeta };

struct PictInfo {
    PictKind kind = PictNone;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    int bpp = 1, widthBytes = 0;
    QByteArray data;
    int nibble = -1;
    bool alternative = false;
};

// The plain bytes of running text: printable ASCII but for the three that
// RTF gives a meaning.
struct PlainBytes {
    bool v[256];
    constexpr PlainBytes() : v{}
    {
        for (int i = 0x20; i < 0x7F; ++i)
            v[i] = i != '\\' && i != '{' && i != '}';
    }
};
constexpr PlainBytes kPlain;

inline bool isAlpha(uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool isDigit(uchar c) { return c >= '0' && c <= '9'; }
inline int hexValue(uchar c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

QTextListFormat::Style styleForNfc(int nfc)
{
    switch (nfc) {
    case 0: case 5: case 6: case 7: case 22: return QTextListFormat::ListDecimal;
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 255: return QTextListFormat::ListStyleUndefined;
    default: return QTextListFormat::ListDisc;
    }
}

class Reader
{
public:
    Reader(const QByteArray &data, QTextDocument *doc)
        : p(data.constData()), end(data.constData() + data.size()), doc(doc)
    {
        stack.reserve(64);
        stack.push_back(State{});
        if (doc) {
            cursor = QTextCursor(doc);
            cursor.beginEditBlock();
        }
    }

    void run()
    {
        while (p < end && *p != '{')
            ++p;
        while (p < end) {
            const uchar c = uchar(*p);
            if (c == '{') {
                ++p;
                push();
            } else if (c == '}') {
                ++p;
                if (pop())
                    break;
            } else if (c == '\\') {
                ++p;
                control();
            } else if (c == '\r' || c == '\n') {
                ++p;
            } else if (ucSkip > 0) {
                --ucSkip;
                ++p;
            } else {
                textBytes();
            }
        }
        finish();
    }

    qint64 decodedChars = 0;

private:
    // ---- groups -----------------------------------------------------------
    void push()
    {
        ucSkip = 0;
        ignorable = false;
        if (stack.size() >= size_t(kMaxDepth)) {
            ++phantom;
            return;
        }
        stack.push_back(stack.back());
        State &s = stack.back();
        if (s.dest == StyleSheet) {
            s.dest = StyleEntry;
            styleId = 0;  // an entry without \sN is the Normal style
            styleCharOnly = false;
            pendingStyle = Style();
        }
    }

    // Returns true when the outermost group closed.
    bool pop()
    {
        ucSkip = 0;
        ignorable = false;
        if (phantom > 0) {
            --phantom;
            return false;
        }
        if (stack.size() <= 2) {
            if (stack.size() == 2)
                stack.pop_back();
            return true;
        }
        const State popped = stack.back();
        stack.pop_back();
        if (popped.dest != stack.back().dest)
            endDestination(popped);
        else if (popped.dest == FontTable)
            finishFont();
        return false;
    }

    // Skips the rest of the group just opened, minding \bin data and escapes.
    void skipGroup()
    {
        qint64 depth = 1;
        while (p < end) {
            const uchar c = uchar(*p++);
            if (c == '\\') {
                if (p < end && isAlpha(uchar(*p))) {
                    const char *ns = p;
                    while (p < end && isAlpha(uchar(*p)))
                        ++p;
                    const bool isBin = p - ns == 3 && std::string_view(ns, 3) == "bin";
                    qint64 n = 0;
                    bool neg = false;
                    if (p < end && *p == '-') {
                        neg = true;
                        ++p;
                    }
                    while (p < end && isDigit(uchar(*p))) {
                        if (n < INT_MAX)
                            n = n * 10 + (*p - '0');
                        ++p;
                    }
                    if (p < end && *p == ' ')
                        ++p;
                    if (isBin && !neg && n > 0)
                        p += std::min<qint64>(n, end - p);
                } else if (p < end) {
                    ++p;
                }
            } else if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0)
                    break;
            }
        }
        ucSkip = 0;
        ignorable = false;
        if (phantom > 0)
            --phantom;
        else if (stack.size() > 2)
            stack.pop_back();
        else
            p = end;  // the outermost group itself was skipped
    }

    void endDestination(const State &popped)
    {
        switch (popped.dest) {
        case FontTable:
            finishFont();
            break;
        case StyleEntry:
            finishStyle();
            break;
        case Pict:
            finishPicture();
            break;
        case FieldInst:
            stack.back().fieldLink = parseFieldInstruction();
            break;
        case PnDef:
            if (pnStyle) {
                ParaProps &pp = stack.back().para;
                pp.pnStyle = pnStyle;
                if (pp.listKind == 0)
                    pp.listKind = 1;
            }
            break;
        case Override:
            if (overrideLs != INT_MIN && overrideList != INT_MIN && overrides.size() < kMaxStyles)
                overrides.insert(overrideLs, overrideList);
            break;
        default:
            break;
        }
    }

    // ---- tokens -----------------------------------------------------------
    void control()
    {
        if (p >= end)
            return;
        const uchar c = uchar(*p);
        if (isAlpha(c)) {
            word();
            return;
        }
        ++p;
        if (c == '\'') {
            hexEscape();
            return;
        }
        if (ucSkip > 0) {
            --ucSkip;
            return;
        }
        switch (c) {
        case '*':
            ignorable = true;
            return;
        case '\\': case '{': case '}':
            textChar(c);
            return;
        case '~':
            textChar(0x00A0);
            return;
        case '-':
            textChar(0x00AD);
            return;
        case '_':
            textChar(0x2011);
            return;
        case '\r': case '\n':
            if (stack.back().dest == Body)
                endParagraph();
            return;
        case '\t':
            textChar('\t');
            return;
        default:
            return;
        }
    }

    void hexEscape()
    {
        int value = 0, digits = 0;
        while (digits < 2 && p < end) {
            const int h = hexValue(uchar(*p));
            if (h < 0)
                break;
            value = value * 16 + h;
            ++p;
            ++digits;
        }
        if (digits == 0)
            return;
        if (ucSkip > 0) {
            --ucSkip;
            return;
        }
        textByte(uchar(value));
    }

    void word()
    {
        const char *ns = p;
        while (p < end && isAlpha(uchar(*p)))
            ++p;
        const size_t len = size_t(p - ns);
        bool hasParam = false, negative = false;
        qint64 value = 0;
        if (p + 1 < end && *p == '-' && isDigit(uchar(p[1]))) {
            negative = true;
            ++p;
        }
        while (p < end && isDigit(uchar(*p))) {
            hasParam = true;
            if (value <= INT_MAX)
                value = value * 10 + (*p - '0');
            ++p;
        }
        if (p < end && *p == ' ')
            ++p;
        value = std::min<qint64>(value, INT_MAX);

        const Kw kw = lookupKeyword(ns, len);
        const ParamRange range = keyword(kw).range;
        const int param = int(std::clamp<qint64>(negative ? -value : value, range.min, range.max));
        if (kw == K_bin) {
            binary(hasParam ? param : 0);
            return;
        }
        if (ucSkip > 0) {
            --ucSkip;
            ignorable = false;
            return;
        }
        const bool wasIgnorable = ignorable;
        ignorable = false;
        if (wasIgnorable && !readsStarred(kw)) {
            skipGroup();
            return;
        }
        dispatch(kw, param, hasParam);
    }

    // After \*, the group is read only when its word is one this reader
    // knows there; anything else skips the whole group.
    bool readsStarred(Kw kw) const
    {
        switch (kw) {
        case K_ud:
            return stack.back().dest == UprAnsi;
        case K_cs: case K_ds: case K_ts:  // a character, section or table style's number
            return stack.back().dest == StyleEntry;
        default:
            return keyword(kw).kind == Kind::Ignorable;
        }
    }

    void binary(qint64 n)
    {
        n = std::clamp<qint64>(n, 0, end - p);
        if (stack.back().dest == Pict && n > 0)
            pict.data.append(p, n);
        p += n;
    }

    void textBytes()
    {
        State &s = stack.back();
        switch (s.dest) {
        case Body: {
            if (dbcsLead) {
                textByte(uchar(*p++));
                return;
            }
            const char *start = p;
            while (p < end && kPlain.v[uchar(*p)])
                ++p;
            if (p > start) {
                appendText(QLatin1StringView(start, p - start));
                return;
            }
            const uchar b = uchar(*p++);
            if (b == '\t')
                textChar('\t');
            else if (b >= 0x80)
                textByte(b);
            return;
        }
        case Pict: {
            while (p < end) {
                const int h = hexValue(uchar(*p));
                if (h < 0) {
                    if (*p == ' ' || *p == '\t') {
                        ++p;
                        continue;
                    }
                    break;
                }
                ++p;
                if (pict.nibble < 0) {
                    pict.nibble = h;
                } else {
                    pict.data.append(char(pict.nibble << 4 | h));
                    pict.nibble = -1;
                }
            }
            if (p < end && hexValue(uchar(*p)) < 0 && *p != '\\' && *p != '{' && *p != '}' && *p != '\r' && *p != '\n')
                ++p;  // junk in the hex data
            return;
        }
        default:
            textByte(uchar(*p++));
            return;
        }
    }

    // One byte of text in the current destination, in the current code page.
    void textByte(uchar b)
    {
        State &s = stack.back();
        switch (s.dest) {
        case Body:
        case FieldInst:
        case FontTable:
            break;
        case ColorTable:
            if (b == ';') {
                if (colors.size() < size_t(kMaxColors))
                    colors.push_back(colorSet ? QColor(red, green, blue) : QColor());
                red = green = blue = 0;
                colorSet = false;
            }
            return;
        case StyleEntry:
            if (b == ';')
                finishStyle();
            return;
        default:
            return;
        }
        if (s.dest == FontTable && b == ';') {
            finishFont();
            return;
        }
        const int cp = s.dest == FontTable ? (fontEntryCp ? fontEntryCp : docCp) : currentCp();
        if (dbcsLead) {
            const QString text = codepage::decodePair(cp, dbcsLead, b);
            dbcsLead = 0;
            textString(text);
            return;
        }
        if (codepage::isLeadByte(cp, b)) {
            dbcsLead = b;
            return;
        }
        char16_t ch;
        if (cp == codepage::kSymbol || cp == codepage::kWingdings)
            ch = codepage::symbolChar(b, cp == codepage::kWingdings);
        else
            ch = byteTables.table(cp)[b];
        textChar(ch);
    }

    void textString(const QString &text)
    {
        for (QChar c : text)
            textChar(c.unicode());
    }

    // One character of decoded text, to wherever the destination collects.
    void textChar(char16_t c)
    {
        State &s = stack.back();
        if (s.dest == FontTable) {
            if (fontEntryOpen && fontName.size() < 256)
                fontName.append(QChar(c));
            return;
        }
        if (s.dest == FieldInst) {
            if (fieldInst.size() < 65536)
                fieldInst.append(QChar(c));
            return;
        }
        if (s.dest != Body)
            return;
        appendText(QStringView(&c, 1));
    }

    template <typename Text>
    void appendText(const Text &text)
    {
        State &s = stack.back();
        dbcsLead = 0;
        if (highSurrogate) {
            highSurrogate = 0;
            appendText(QStringView(u"\uFFFD"));
        }
        if (s.chr.hidden)
            return;
        if (needsPrepare(s)) {
            flushText();
            prepareContent(false);
        }
        if (!runText.isEmpty() && !(runProps == s.chr))
            flushText();
        if (runText.isEmpty())
            runProps = s.chr;
        runText.append(text);
        paraHasContent = true;
    }

    void unicode(int value)
    {
        State &s = stack.back();
        ucSkip = s.uc;
        if (value < 0)
            value += 65536;
        char16_t c = value >= 0 && value <= 0xFFFF ? char16_t(value) : char16_t(0xFFFD);
        if (s.dest == PictAlt || s.dest == Pict)
            return;
        if (QChar::isHighSurrogate(c)) {
            if (highSurrogate)
                textChar(0xFFFD);
            if (s.dest == Body) {
                highSurrogate = c;
                return;
            }
            c = 0xFFFD;
        } else if (QChar::isLowSurrogate(c)) {
            if (highSurrogate && s.dest == Body) {
                const char16_t pair[2] = {highSurrogate, c};
                highSurrogate = 0;
                appendText(QStringView(pair, 2));
                return;
            }
            c = 0xFFFD;
        } else if (c >= 0xF020 && c <= 0xF0FF) {
            c = codepage::symbolChar(uchar(c - 0xF000), currentCp() == codepage::kWingdings);
        }
        textChar(c);
    }

    // ---- code pages -------------------------------------------------------
    int currentCp()
    {
        const int font = stack.back().chr.font;
        if (font != cpFontId) {
            cpFontId = font;
            const auto it = fontIndex.constFind(font);
            cpFontValue = it == fontIndex.constEnd() ? 0 : fonts[*it].cp;
        }
        return cpFontValue ? cpFontValue : docCp;
    }

    // ---- dispatch ---------------------------------------------------------
    void dispatch(Kw kw, int param, bool hasParam)
    {
        State &s = stack.back();
        switch (s.dest) {
        case FontTable:
            switch (kw) {
            case K_f:
                finishFont();
                fontEntryOpen = true;
                fontEntryId = param;
                fontEntryCp = 0;
                fontName.clear();
                return;
            case K_fcharset:
                fontEntryCp = codepage::forCharset(param);
                return;
            case K_cpg:
                if (codepage::isKnown(param))
                    fontEntryCp = param;
                return;
            case K_u:
                unicode(param);
                return;
            case K_uc:
                s.uc = quint8(param);
                return;
            default:
                if (keyword(kw).kind == Kind::Skipped)
                    skipGroup();
                return;
            }
        case ColorTable:
            switch (kw) {
            case K_red: red = param; colorSet = true; return;
            case K_green: green = param; colorSet = true; return;
            case K_blue: blue = param; colorSet = true; return;
            default: return;
            }
        case StyleEntry:
            switch (kw) {
            case K_s: case K_ds: case K_ts:
                styleId = param;
                return;
            case K_cs:
                styleId = param;
                styleCharOnly = true;
                return;
            case K_sbasedon:
                pendingStyle.basedOn = param;
                return;
            default:
                if (keyword(kw).kind == Kind::Skipped) {
                    skipGroup();
                    return;
                }
                if (pendingStyle.words.size() < size_t(kMaxStyleWords))
                    pendingStyle.words.emplace_back(kw, hasParam ? param : INT_MIN);
                return;
            }
        case ListTable:
            if (kw == K_list) {
                s.dest = ListDef;
                listId = INT_MIN;
                listLevel = -1;
                listLevels.fill(QTextListFormat::ListDisc);
            } else if (keyword(kw).kind == Kind::Skipped) {
                skipGroup();
            }
            return;
        case ListDef:
            if (kw == K_listid) {
                listId = param;
                if (lists.size() < kMaxStyles)
                    lists.insert(listId, listLevels);
            } else if (kw == K_listlevel) {
                s.dest = ListLevel;
                ++listLevel;
            } else if (keyword(kw).kind == Kind::Skipped) {
                skipGroup();
            }
            return;
        case ListLevel:
            if ((kw == K_levelnfc || kw == K_levelnfcn) && listLevel >= 0 && listLevel < 9) {
                listLevels[listLevel] = qint8(styleForNfc(param));
                if (listId != INT_MIN && lists.contains(listId))
                    lists[listId] = listLevels;
            } else if (keyword(kw).kind == Kind::Skipped) {
                skipGroup();
            }
            return;
        case OverrideTable:
            if (kw == K_listoverride) {
                s.dest = Override;
                overrideLs = overrideList = INT_MIN;
            } else if (keyword(kw).kind == Kind::Skipped) {
                skipGroup();
            }
            return;
        case Override:
            if (kw == K_listid)
                overrideList = param;
            else if (kw == K_ls)
                overrideLs = param;
            else if (keyword(kw).kind == Kind::Skipped)
                skipGroup();
            return;
        case PnDef:
            switch (kw) {
            case K_pnlvlblt: pnStyle = QTextListFormat::ListDisc; return;
            case K_pnlvlbody: case K_pnlvl:
                if (!pnStyle)
                    pnStyle = QTextListFormat::ListDecimal;
                return;
            case K_pndec: case K_pncard: case K_pnord: case K_pnordt: pnStyle = QTextListFormat::ListDecimal; return;
            case K_pnucltr: pnStyle = QTextListFormat::ListUpperAlpha; return;
            case K_pnlcltr: pnStyle = QTextListFormat::ListLowerAlpha; return;
            case K_pnucrm: pnStyle = QTextListFormat::ListUpperRoman; return;
            case K_pnlcrm: pnStyle = QTextListFormat::ListLowerRoman; return;
            default:
                if (keyword(kw).kind == Kind::Skipped)
                    skipGroup();
                return;
            }
        case Pict:
            switch (kw) {
            case K_pngblip: pict.kind = PictPng; return;
            case K_jpegblip: pict.kind = PictJpeg; return;
            case K_dibitmap: pict.kind = PictDib; return;
            case K_wbitmap: pict.kind = PictWbitmap; return;
            case K_wmetafile: case K_emfblip: case K_macpict: case K_pmmetafile: pict.kind = PictMeta; return;
            case K_picw: pict.picw = param; return;
            case K_pich: pict.pich = param; return;
            case K_picwgoal: pict.goalw = param; return;
            case K_pichgoal: pict.goalh = param; return;
            case K_picscalex: pict.scalex = hasParam ? param : 100; return;
            case K_picscaley: pict.scaley = hasParam ? param : 100; return;
            case K_wbmbitspixel: pict.bpp = param; return;
            case K_wbmwidthbytes: pict.widthBytes = param; return;
            default:
                if (keyword(kw).kind == Kind::Skipped)
                    skipGroup();
                return;
            }
        case FieldInst:
            if (kw == K_u)
                unicode(param);
            else if (kw == K_uc)
                s.uc = quint8(param);
            else if (kw == K_fldrslt)  // malformed nesting; show the result anyway
                s.dest = Body;
            else if (keyword(kw).kind == Kind::Skipped)
                skipGroup();
            return;
        case UprAnsi:
            if (kw == K_ud)
                s.dest = Body;
            else if (keyword(kw).kind == Kind::Skipped)
                skipGroup();
            return;
        case PictAlt:
            if (kw == K_pict)
                startPicture(true);
            else if (keyword(kw).kind == Kind::Skipped)
                skipGroup();
            return;
        case StyleSheet:
        case Body:
            break;
        }
        if (s.dest == StyleSheet) {
            if (keyword(kw).kind == Kind::Skipped)
                skipGroup();
            return;
        }
        bodyWord(kw, param, hasParam);
    }

    void bodyWord(Kw kw, int param, bool hasParam)
    {
        State &s = stack.back();
        if (applyFormat(s, kw, param, hasParam))
            return;
        if (keyword(kw).kind == Kind::Skipped) {
            skipGroup();
            return;
        }
        switch (kw) {
        case K_par: endParagraph(); return;
        case K_line: textChar(QChar::LineSeparator); return;
        case K_tab: textChar('\t'); return;
        case K_page: case K_sect:
            if (paraHasContent || !runText.isEmpty() || hasPlaceholder)
                endParagraph();
            return;
        case K_emdash: textChar(0x2014); return;
        case K_endash: textChar(0x2013); return;
        case K_bullet: textChar(0x2022); return;
        case K_lquote: textChar(0x2018); return;
        case K_rquote: textChar(0x2019); return;
        case K_ldblquote: textChar(0x201C); return;
        case K_rdblquote: textChar(0x201D); return;
        case K_emspace: textChar(0x2003); return;
        case K_enspace: textChar(0x2002); return;
        case K_qmspace: textChar(0x2005); return;
        case K_zwj: textChar(0x200D); return;
        case K_zwnj: textChar(0x200C); return;
        case K_ltrmark: textChar(0x200E); return;
        case K_rtlmark: textChar(0x200F); return;
        case K_u: unicode(param); return;
        case K_uc: s.uc = quint8(param); return;
        case K_ansi: docCp = 1252; return;
        case K_mac: docCp = 10000; return;
        case K_pc: docCp = 437; return;
        case K_pca: docCp = 850; return;
        case K_ansicpg:
            if (codepage::isKnown(param))
                docCp = param;
            return;
        case K_deff:
            deff = param;
            s.chr.font = param;
            return;
        case K_upr: s.dest = UprAnsi; return;
        case K_fonttbl: s.dest = FontTable; fontEntryOpen = false; return;
        case K_colortbl: s.dest = ColorTable; red = green = blue = 0; colorSet = false; return;
        case K_stylesheet: s.dest = StyleSheet; return;
        case K_listtable: s.dest = ListTable; return;
        case K_listoverridetable: s.dest = OverrideTable; return;
        case K_pn: s.dest = PnDef; pnStyle = 0; return;
        case K_pict: startPicture(false); return;
        case K_field: s.fieldLink = -1; return;
        case K_fldinst: s.dest = FieldInst; fieldInst.clear(); return;
        case K_fldrslt: s.chr.link = s.fieldLink >= 0 ? s.fieldLink : s.chr.link; return;
        case K_nonshppict:
            if (hasPlaceholder)
                s.dest = PictAlt;
            else
                skipGroup();
            return;
        case K_s: applyStyle(s, param, false); return;
        case K_cs: applyStyle(s, param, true); return;
        case K_trowd: cellx.clear(); return;
        case K_cellx:
            if (cellx.size() < size_t(kMaxColumns))
                cellx.push_back(param);
            return;
        case K_cell: endCell(); return;
        case K_row: endRow(); return;
        case K_nestcell: textChar('\t'); return;
        case K_nestrow: textChar(QChar::LineSeparator); return;
        default:
            return;
        }
    }

    // Character and paragraph properties: shared by the body and by styles.
    bool applyFormat(State &s, Kw kw, int param, bool hasParam)
    {
        const quint8 on = !hasParam || param != 0;
        CharProps &c = s.chr;
        ParaProps &pp = s.para;
        switch (kw) {
        case K_plain: {
            const int link = c.link;
            c = CharProps();
            c.font = deff;
            c.link = link;
            return true;
        }
        case K_b: c.bold = on; return true;
        case K_i: c.italic = on; return true;
        case K_ul: case K_uld: case K_uldash: case K_uldashd: case K_uldashdd: case K_uldb:
        case K_ulhwave: case K_ulldash: case K_ulth: case K_ulthd: case K_ulthdash:
        case K_ulthdashd: case K_ulthdashdd: case K_ulthldash: case K_ululdbwave: case K_ulw:
        case K_ulwave:
            c.underline = on;
            return true;
        case K_ulnone: c.underline = 0; return true;
        case K_strike: c.strike = on; return true;
        case K_striked: c.strike = on; return true;
        case K_cf: c.fg = hasParam ? param : 0; return true;
        case K_cb: case K_chcbpat: case K_highlight: c.bg = hasParam ? param : 0; return true;
        case K_fs: c.size = hasParam && param > 0 ? param : 24; return true;
        case K_f: c.font = param; return true;
        case K_super: c.valign = on ? 1 : 0; return true;
        case K_sub: c.valign = on ? 2 : 0; return true;
        case K_nosupersub: c.valign = 0; return true;
        case K_v: c.hidden = on; return true;
        case K_pard: pp = ParaProps(); return true;
        case K_ql: pp.align = 0; return true;
        case K_qc: pp.align = 1; return true;
        case K_qr: pp.align = 2; return true;
        case K_qj: case K_qd: pp.align = 3; return true;
        case K_li: case K_lin: pp.li = param; return true;
        case K_ri: case K_rin: pp.ri = param; return true;
        case K_fi: pp.fi = param; return true;
        case K_sb: pp.sb = param; return true;
        case K_sa: pp.sa = param; return true;
        case K_sl: pp.sl = param; return true;
        case K_slmult: pp.slmult = on; return true;
        case K_tqr: pp.nextTabType = 1; return true;
        case K_tqc: pp.nextTabType = 2; return true;
        case K_tqdec: pp.nextTabType = 3; return true;
        case K_tx:
            if (pp.ntabs < kMaxTabs) {
                pp.tabs[pp.ntabs] = param;
                pp.tabTypes[pp.ntabs] = pp.nextTabType;
                ++pp.ntabs;
            }
            pp.nextTabType = 0;
            return true;
        case K_intbl: pp.intbl = on; return true;
        case K_ls: pp.listKind = 2; pp.ls = param; return true;
        case K_ilvl: pp.ilvl = param; return true;
        default:
            return false;
        }
    }

    // ---- tables of the header --------------------------------------------
    void finishFont()
    {
        if (!fontEntryOpen)
            return;
        fontEntryOpen = false;
        if (fontIndex.contains(fontEntryId) || fonts.size() >= size_t(kMaxFonts))
            return;
        Font font;
        font.name = fontName.trimmed();
        font.cp = fontEntryCp;
        if (font.cp == codepage::kSymbol && font.name.contains(QLatin1String("Wingdings"), Qt::CaseInsensitive))
            font.cp = codepage::kWingdings;
        fontIndex.insert(fontEntryId, int(fonts.size()));
        fonts.push_back(std::move(font));
        cpFontId = INT_MIN;
    }

    void finishStyle()
    {
        if (styleId != -1 && styles.size() < kMaxStyles && !styles.contains(styleId)) {
            Style st = pendingStyle;
            styles.insert(styleId, st);
        }
        styleId = -1;
        pendingStyle = Style();
    }

    void applyStyle(State &s, int id, bool charOnly)
    {
        auto it = resolvedStyles.constFind(id);
        if (it == resolvedStyles.constEnd()) {
            if (!styles.contains(id))
                return;
            State st;
            st.chr.font = deff;
            int chain[kMaxStyleChain];
            int n = 0;
            for (int cur = id; cur != -1 && n < kMaxStyleChain;) {
                if (std::find(chain, chain + n, cur) != chain + n)
                    break;  // a \sbasedon cycle
                const auto sit = styles.constFind(cur);
                if (sit == styles.constEnd())
                    break;
                chain[n++] = cur;
                cur = sit->basedOn;
            }
            for (int k = n - 1; k >= 0; --k)
                for (const auto &[w, v] : styles.value(chain[k]).words)
                    applyFormat(st, w, v == INT_MIN ? 0 : v, v != INT_MIN);
            it = resolvedStyles.insert(id, {st.chr, st.para});
        }
        const int link = s.chr.link;
        s.chr = it->first;
        s.chr.link = link;
        if (!charOnly) {
            const ParaProps keep = s.para;
            s.para = it->second;
            s.para.intbl = keep.intbl;
            if (keep.listKind) {
                s.para.listKind = keep.listKind;
                s.para.ls = keep.ls;
                s.para.ilvl = keep.ilvl;
                s.para.pnStyle = keep.pnStyle;
            }
        }
    }

    int parseFieldInstruction()
    {
        const QString inst = fieldInst.trimmed();
        fieldInst.clear();
        if (!inst.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
            return -1;
        QString url, anchor;
        bool nextIsAnchor = false;
        qsizetype i = 9;
        while (i < inst.size()) {
            while (i < inst.size() && inst.at(i).isSpace())
                ++i;
            if (i >= inst.size())
                break;
            QString token;
            if (inst.at(i) == u'"') {
                ++i;
                while (i < inst.size() && inst.at(i) != u'"') {
                    if (inst.at(i) == u'\\' && i + 1 < inst.size())
                        ++i;
                    token.append(inst.at(i++));
                }
                ++i;
            } else {
                while (i < inst.size() && !inst.at(i).isSpace())
                    token.append(inst.at(i++));
                if (token.startsWith(u'\\')) {
                    nextIsAnchor = token == QLatin1String("\\l");
                    continue;
                }
            }
            if (nextIsAnchor) {
                anchor = token;
                nextIsAnchor = false;
            } else if (url.isEmpty()) {
                url = token;
            }
        }
        if (!anchor.isEmpty())
            url += u'#' + anchor;
        if (url.isEmpty())
            return -1;
        links.append(url);
        return int(links.size() - 1);
    }

    // ---- building the document -------------------------------------------
    bool needsPrepare(const State &s) const
    {
        return pendingBreak || hasPlaceholder || bool(s.para.intbl) != (table != nullptr)
            || (table && (needCellAdvance || rowEnded));
    }

    // Puts the cursor where the next content goes: after a paragraph break,
    // into or out of a table, after a pending picture placeholder.
    void prepareContent(bool forceTable)
    {
        if (hasPlaceholder) {
            hasPlaceholder = false;
            insertImage(placeholderImage(), placeholderW, placeholderH, QByteArray(), false);
        }
        const bool intbl = forceTable || stack.back().para.intbl;
        if (!doc) {
            pendingBreak = needCellAdvance = rowEnded = false;
            return;
        }
        if (intbl) {
            if (!table) {
                QTextTableFormat tf;
                tf.setBorder(1);
                tf.setCellSpacing(0);
                tf.setCellPadding(3);
                tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                table = cursor.insertTable(1, std::max<int>(1, int(cellx.size())), tf);
                blockBudget -= table->columns() + 1;
                haveBlockFormat = haveBlockChar = false;
                row = col = 0;
                pendingBreak = needCellAdvance = rowEnded = false;
                lastList = nullptr;
            } else if (rowEnded && row + 1 >= table->rows() && blockBudget < table->columns()) {
                // Out of paragraphs: later rows share the last one.
                col = 0;
                cursor.setPosition(table->cellAt(row, 0).lastPosition());
                haveBlockFormat = haveBlockChar = false;
                needCellAdvance = rowEnded = false;
                pendingBreak = true;
            } else if (rowEnded) {
                if (row + 1 >= table->rows()) {
                    // Qt works out the whole grid again after each change of
                    // shape: grow in steps of up to 256 rows and trim the
                    // spare ones when the table ends.
                    const qint64 cols = table->columns();
                    const qint64 add = std::clamp<qint64>(table->rows(), 1, std::min<qint64>(256, blockBudget / cols));
                    table->appendRows(int(add));
                    blockBudget -= add * cols;
                }
                ++row;
                col = 0;
                const int more = int(cellx.size()) - table->columns();
                if (more > 0 && blockBudget >= qint64(more) * table->rows()) {
                    blockBudget -= qint64(more) * table->rows();
                    table->appendColumns(more);
                }
                cursor.setPosition(table->cellAt(row, 0).firstPosition());
                haveBlockFormat = haveBlockChar = false;
                pendingBreak = needCellAdvance = rowEnded = false;
            } else if (needCellAdvance) {
                needCellAdvance = false;
                haveBlockFormat = haveBlockChar = false;
                if (col + 1 >= table->columns()
                    && (table->columns() >= kMaxColumns || blockBudget < table->rows())) {
                    // Extra cells of an over-wide row share the last column.
                    cursor.setPosition(table->cellAt(row, col).lastPosition());
                    pendingBreak = true;
                } else {
                    ++col;
                    if (col >= table->columns()) {
                        table->appendColumns(1);
                        blockBudget -= table->rows();
                    }
                    cursor.setPosition(table->cellAt(row, col).firstPosition());
                    pendingBreak = false;
                }
            }
        } else if (table) {
            trimTable();
            cursor.setPosition(table->lastPosition() + 1);
            haveBlockFormat = haveBlockChar = false;
            table = nullptr;
            pendingBreak = needCellAdvance = rowEnded = false;
            lastList = nullptr;
        }
        if (pendingBreak) {
            pendingBreak = false;
            if (breakCostsBudget) {
                if (blockBudget <= 0) {
                    cursor.insertText(QString(QChar::LineSeparator));
                    return;
                }
                --blockBudget;
            }
            // The new paragraph most likely has the format of the one before.
            if (!haveBlockFormat)
                blockFormatNow = QTextBlockFormat();
            const CharProps mark = stack.back().chr;
            cursor.insertBlock(blockFormatNow, charFormat(mark));
            blockCharNow = mark;
            haveBlockFormat = haveBlockChar = true;
        }
    }

    void trimTable()
    {
        const int spare = table->rows() - row - 1;
        if (spare > 0) {
            blockBudget += qint64(spare) * table->columns();
            table->removeRows(row + 1, spare);
        }
    }

    void flushText()
    {
        if (runText.isEmpty())
            return;
        decodedChars += runText.size();
        if (doc)
            cursor.insertText(runText, charFormat(runProps));
        runText.resize(0);
    }

    const QTextCharFormat &charFormat(const CharProps &c)
    {
        if (haveLastFormat && c == lastProps)
            return lastFormat;
        auto it = formatCache.find(c);
        if (it == formatCache.end()) {
            QTextCharFormat f;
            int idx = fontIndex.value(c.font, -1);
            if (idx < 0)
                idx = fontIndex.value(deff, -1);
            if (idx >= 0 && !fonts[idx].name.isEmpty())
                f.setFontFamilies(QStringList{fonts[idx].name});
            f.setFontPointSize(c.size / 2.0);
            f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
            f.setFontItalic(c.italic);
            f.setFontUnderline(c.underline);
            f.setFontStrikeOut(c.strike);
            if (c.fg > 0 && size_t(c.fg) < colors.size() && colors[c.fg].isValid())
                f.setForeground(colors[c.fg]);
            if (c.bg > 0 && size_t(c.bg) < colors.size() && colors[c.bg].isValid())
                f.setBackground(colors[c.bg]);
            if (c.valign)
                f.setVerticalAlignment(c.valign == 1 ? QTextCharFormat::AlignSuperScript
                                                     : QTextCharFormat::AlignSubScript);
            if (c.link >= 0 && c.link < links.size()) {
                f.setAnchor(true);
                f.setAnchorHref(links.at(c.link));
            }
            it = formatCache.emplace(c, f).first;
        }
        lastProps = c;
        lastFormat = it->second;
        haveLastFormat = true;
        return lastFormat;
    }

    QTextBlockFormat blockFormat(const ParaProps &pp, bool inList)
    {
        QTextBlockFormat bf;
        switch (pp.align) {
        case 1: bf.setAlignment(Qt::AlignHCenter); break;
        case 2: bf.setAlignment(Qt::AlignRight); break;
        case 3: bf.setAlignment(Qt::AlignJustify); break;
        default: break;
        }
        if (!inList) {
            if (pp.li)
                bf.setLeftMargin(pp.li / 15.0);
            if (pp.fi)
                bf.setTextIndent(pp.fi / 15.0);
        }
        if (pp.ri)
            bf.setRightMargin(pp.ri / 15.0);
        if (pp.sb)
            bf.setTopMargin(pp.sb / 15.0);
        if (pp.sa)
            bf.setBottomMargin(pp.sa / 15.0);
        if (pp.sl > 0 && pp.slmult)
            bf.setLineHeight(pp.sl * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (pp.sl > 0)
            bf.setLineHeight(pp.sl / 15.0, QTextBlockFormat::MinimumHeight);
        else if (pp.sl < 0)
            bf.setLineHeight(-pp.sl / 15.0, QTextBlockFormat::FixedHeight);
        if (pp.ntabs) {
            QList<QTextOption::Tab> tabs;
            for (int k = 0; k < pp.ntabs; ++k) {
                QTextOption::Tab tab;
                tab.position = pp.tabs[k] / 15.0;
                switch (pp.tabTypes[k]) {
                case 1: tab.type = QTextOption::RightTab; break;
                case 2: tab.type = QTextOption::CenterTab; break;
                case 3: tab.type = QTextOption::DelimiterTab; tab.delimiter = u'.'; break;
                default: tab.type = QTextOption::LeftTab; break;
                }
                tabs.append(tab);
            }
            bf.setTabPositions(tabs);
        }
        return bf;
    }

    // Gives the paragraph under the cursor its format and list.
    void applyBlockFormat()
    {
        if (!doc)
            return;
        const ParaProps &pp = stack.back().para;
        QTextListFormat::Style style = QTextListFormat::ListStyleUndefined;
        int indent = 1;
        bool fromLs = false;
        if (pp.listKind == 2) {
            const int listid = overrides.value(pp.ls, INT_MIN);
            const auto it = lists.constFind(listid);
            if (it != lists.constEnd()) {
                style = QTextListFormat::Style((*it)[pp.ilvl]);
                indent = pp.ilvl + 1;
                fromLs = style != QTextListFormat::ListStyleUndefined;
            }
        }
        if (style == QTextListFormat::ListStyleUndefined && pp.pnStyle) {
            style = QTextListFormat::Style(pp.pnStyle);
            indent = std::clamp((pp.li + 360) / 720, 1, 9);
        }
        const bool inList = style != QTextListFormat::ListStyleUndefined;
        if (!haveLastBlock || !(pp == lastBlockProps) || inList != lastBlockInList) {
            lastBlockFormat = blockFormat(pp, inList);
            lastBlockProps = pp;
            lastBlockInList = inList;
            haveLastBlock = true;
        }
        if (!haveBlockFormat || !(blockFormatNow == lastBlockFormat) || cursor.block().textList()) {
            cursor.setBlockFormat(lastBlockFormat);
            blockFormatNow = lastBlockFormat;
            haveBlockFormat = true;
        }
        // The paragraph mark's character format: Qt sizes an empty
        // paragraph and draws a list marker with it.
        const CharProps mark = stack.back().chr;
        if (!haveBlockChar || !(mark == blockCharNow)) {
            cursor.setBlockCharFormat(charFormat(mark));
            blockCharNow = mark;
            haveBlockChar = true;
        }
        if (!inList) {
            lastList = nullptr;
            pnLists.clear();
            return;
        }
        const qint64 key = qint64(quint64(qint64(fromLs ? pp.ls : -1)) << 16 ^ quint64(style) << 8 ^ quint64(indent));
        if (lastList && key == lastListKey) {
            lastList->add(cursor.block());
            return;
        }
        QHash<qint64, QTextList *> &known = fromLs ? wordLists : pnLists;
        QTextList *list = known.value(key, nullptr);
        if (list) {
            list->add(cursor.block());
        } else {
            QTextListFormat lf;
            lf.setStyle(style);
            lf.setIndent(indent);
            list = cursor.createList(lf);
            known.insert(key, list);
        }
        lastList = list;
        lastListKey = key;
    }

    void endParagraph()
    {
        if (blockBudget <= 0 && !paraHasContent && !table && !stack.back().para.intbl) {
            textChar(QChar::LineSeparator);
            paraHasContent = false;
            return;
        }
        flushText();
        highSurrogate = 0;
        dbcsLead = 0;
        prepareContent(false);
        applyBlockFormat();
        pendingBreak = true;
        breakCostsBudget = !paraHasContent;
        paraHasContent = false;
    }

    void endCell()
    {
        flushText();
        highSurrogate = 0;
        prepareContent(true);
        applyBlockFormat();
        needCellAdvance = true;
        paraHasContent = false;
    }

    void endRow()
    {
        flushText();
        if (!table)
            return;
        if (hasPlaceholder)
            prepareContent(true);
        rowEnded = true;
        needCellAdvance = false;
        pendingBreak = false;
        paraHasContent = false;
    }

    void finish()
    {
        flushText();
        if (hasPlaceholder)
            prepareContent(false);
        if (doc) {
            if (table)
                trimTable();
            if (!pendingBreak && paraHasContent)
                applyBlockFormat();
            cursor.endEditBlock();
        }
    }

    // ---- pictures ---------------------------------------------------------
    void startPicture(bool alternative)
    {
        stack.back().dest = Pict;
        pict = PictInfo();
        pict.alternative = alternative;
    }

    void finishPicture()
    {
        PictInfo pi = std::move(pict);
        pict = PictInfo();
        if (!doc)
            return;
        QImage image;
        QByteArray jpeg;
        switch (pi.kind) {
        case PictPng:
            image = decodeImage(pi.data, "png");
            break;
        case PictJpeg:
            image = decodeImage(pi.data, "jpeg");
            if (!image.isNull())
                jpeg = pi.data;
            break;
        case PictDib:
            image = decodeDib(pi.data);
            break;
        case PictWbitmap:
            image = decodeWbitmap(pi);
            break;
        default:
            break;
        }
        // Natural size in pixels, then the goal size and scaling.
        double w = 0, h = 0;
        if (!image.isNull()) {
            w = image.width();
            h = image.height();
        } else if (pi.kind == PictMeta) {
            w = pi.picw * 96.0 / 2540.0;
            h = pi.pich * 96.0 / 2540.0;
        } else {
            w = pi.picw;
            h = pi.pich;
        }
        if (pi.goalw > 0)
            w = pi.goalw / 15.0;
        if (pi.goalh > 0)
            h = pi.goalh / 15.0;
        if (pi.scalex > 0 && pi.scalex != 100)
            w = w * pi.scalex / 100.0;
        if (pi.scaley > 0 && pi.scaley != 100)
            h = h * pi.scaley / 100.0;
        if (!(w >= 1))
            w = 32;
        if (!(h >= 1))
            h = 32;
        w = std::min(w, kMaxPictureSide);
        h = std::min(h, kMaxPictureSide);
        if (!image.isNull()) {
            if (pi.alternative)
                hasPlaceholder = false;
            insertImage(image, w, h, jpeg);
        } else if (!pi.alternative) {
            // Shown as a box of the declared size, unless an alternative
            // picture (\nonshppict) follows.
            if (hasPlaceholder)
                prepareContent(false);
            hasPlaceholder = true;
            placeholderW = w;
            placeholderH = h;
        }
    }

    QImage decodeImage(const QByteArray &bytes, const char *format)
    {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return QImage();
        // Compressed data rarely stands for more than a couple of thousand
        // pixels a byte: a header claiming more is not believed in full.
        const qint64 pixels = qint64(size.width()) * size.height();
        const qint64 allowed = std::min(kMaxPixels, std::max<qint64>(4LL << 20, qint64(bytes.size()) * 2048));
        if (pixels > allowed) {
            if (qstrcmp(format, "jpeg") != 0)
                return QImage();
            const double f = std::sqrt(double(allowed) / double(pixels));
            reader.setScaledSize(QSize(std::max(1, int(size.width() * f)), std::max(1, int(size.height() * f))));
        }
        QImage image;
        if (!reader.read(&image))
            return QImage();
        return image;
    }

    // A device-independent bitmap: a BITMAPINFO and the bits. Checked against
    // the data it holds, then handed to the BMP decoder behind a file header.
    QImage decodeDib(const QByteArray &d)
    {
        auto u16 = [&](int o) { return quint32(uchar(d[o])) | quint32(uchar(d[o + 1])) << 8; };
        auto u32 = [&](int o) { return u16(o) | u16(o + 2) << 16; };
        if (d.size() < 12)
            return QImage();
        const quint32 headerSize = u32(0);
        qint64 w, h, bpp, compression = 0, colorsUsed = 0;
        int paletteEntry = 4;
        if (headerSize == 12) {
            w = u16(4);
            h = qint16(u16(6));
            bpp = u16(10);
            paletteEntry = 3;
        } else if (headerSize >= 40 && headerSize <= 256 && d.size() >= qsizetype(headerSize)) {
            w = qint32(u32(4));
            h = qint32(u32(8));
            bpp = u16(14);
            compression = u32(16);
            colorsUsed = u32(32);
        } else {
            return QImage();
        }
        h = h < 0 ? -h : h;
        if (w <= 0 || h <= 0 || w * h > kMaxPixels)
            return QImage();
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            return QImage();
        qint64 palette = 0;
        if (bpp <= 8)
            palette = colorsUsed > 0 && colorsUsed <= (1 << bpp) ? colorsUsed : (1 << bpp);
        qint64 offset = headerSize + palette * paletteEntry;
        if (compression == 3 && headerSize == 40)
            offset += 12;
        if (compression == 0 || compression == 3) {
            const qint64 stride = ((w * bpp + 31) / 32) * 4;
            if (offset + stride * h > d.size())
                return QImage();
        } else if (offset >= d.size()) {
            return QImage();
        }
        QByteArray file;
        file.reserve(14 + d.size());
        const qint64 fileSize = 14 + d.size();
        auto put32 = [&](quint32 v) {
            for (int k = 0; k < 4; ++k)
                file.append(char((v >> (8 * k)) & 0xFF));
        };
        file.append("BM", 2);
        put32(quint32(fileSize));
        put32(0);
        put32(quint32(14 + offset));
        file.append(d);
        return decodeImage(file, "bmp");
    }

    // A device-dependent bitmap: bare rows of pixels described by \picw,
    // \pich, \wbmbitspixel and \wbmwidthbytes.
    QImage decodeWbitmap(const PictInfo &pi)
    {
        const qint64 w = pi.picw, h = pi.pich;
        if (w <= 0 || h <= 0 || w * h > kMaxPixels)
            return QImage();
        QImage::Format format;
        switch (pi.bpp) {
        case 1: format = QImage::Format_Mono; break;
        case 8: format = QImage::Format_Grayscale8; break;
        case 24: format = QImage::Format_BGR888; break;
        case 32: format = QImage::Format_RGB32; break;
        default: return QImage();
        }
        const qint64 rowBytes = (w * pi.bpp + 7) / 8;
        const qint64 stride = pi.widthBytes >= rowBytes ? pi.widthBytes : ((rowBytes + 1) / 2) * 2;
        if (stride * h > pi.data.size())
            return QImage();
        QImage image(int(w), int(h), format);
        if (image.isNull())
            return QImage();
        if (format == QImage::Format_Mono)
            image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (qint64 y = 0; y < h; ++y)
            memcpy(image.scanLine(int(y)), pi.data.constData() + y * stride, size_t(rowBytes));
        return image;
    }

    const QImage &placeholderImage()
    {
        if (placeholder.isNull()) {
            placeholder = QImage(32, 32, QImage::Format_RGB32);
            placeholder.fill(QColor(0xE8, 0xE8, 0xE8));
            QPainter painter(&placeholder);
            painter.setPen(QColor(0x80, 0x80, 0x80));
            painter.drawRect(0, 0, 31, 31);
            painter.drawLine(0, 0, 31, 31);
            painter.drawLine(0, 31, 31, 0);
        }
        return placeholder;
    }

    void insertImage(const QImage &image, double w, double h, const QByteArray &jpeg, bool prepare = true)
    {
        if (!doc)
            return;
        flushText();
        if (prepare && needsPrepare(stack.back()))
            prepareContent(false);
        const QString name = QStringLiteral("rtf-picture:%1").arg(++pictureCount);
        doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
        if (!jpeg.isEmpty())
            doc->addResource(QTextDocument::UserResource, jpegSourceUrl(name), jpeg);
        QTextImageFormat f;
        f.setName(name);
        f.setWidth(w);
        f.setHeight(h);
        cursor.insertImage(f);
        paraHasContent = true;
    }

    // ---- data -------------------------------------------------------------
    const char *p;
    const char *end;
    QTextDocument *doc;
    QTextCursor cursor;

    std::vector<State> stack;
    qint64 phantom = 0;
    int ucSkip = 0;
    bool ignorable = false;
    uchar dbcsLead = 0;
    char16_t highSurrogate = 0;

    int docCp = 1252;
    int deff = 0;
    codepage::SingleByteTables byteTables;
    int cpFontId = INT_MIN;
    int cpFontValue = 0;

    std::vector<Font> fonts;
    QHash<int, int> fontIndex;
    bool fontEntryOpen = false;
    int fontEntryId = 0;
    int fontEntryCp = 0;
    QString fontName;

    std::vector<QColor> colors;
    int red = 0, green = 0, blue = 0;
    bool colorSet = false;

    QHash<int, Style> styles;
    QHash<int, std::pair<CharProps, ParaProps>> resolvedStyles;
    Style pendingStyle;
    int styleId = -1;
    bool styleCharOnly = false;

    QHash<int, std::array<qint8, 9>> lists;  // \listid -> style of each level
    std::array<qint8, 9> listLevels{};
    int listId = INT_MIN;
    int listLevel = -1;
    QHash<int, int> overrides;  // \ls -> \listid
    int overrideLs = INT_MIN, overrideList = INT_MIN;
    qint8 pnStyle = 0;
    QTextList *lastList = nullptr;
    qint64 lastListKey = 0;
    QHash<qint64, QTextList *> wordLists;
    QHash<qint64, QTextList *> pnLists;  // RichEdit lists: only while uninterrupted

    QStringList links;
    QString fieldInst;

    PictInfo pict;
    bool hasPlaceholder = false;
    double placeholderW = 0, placeholderH = 0;
    QImage placeholder;
    int pictureCount = 0;

    std::vector<int> cellx;
    QTextTable *table = nullptr;
    int row = 0, col = 0;
    bool needCellAdvance = false, rowEnded = false;

    QString runText;
    CharProps runProps;
    bool pendingBreak = false;
    bool paraHasContent = false;
    // Whether the pending paragraph break ends an empty paragraph, which
    // counts against the block budget.
    bool breakCostsBudget = true;

    std::unordered_map<CharProps, QTextCharFormat, CharHash> formatCache;
    CharProps lastProps;
    QTextCharFormat lastFormat;
    bool haveLastFormat = false;
    ParaProps lastBlockProps;
    QTextBlockFormat lastBlockFormat;
    bool lastBlockInList = false;
    bool haveLastBlock = false;
    QTextBlockFormat blockFormatNow;  // what the block under the cursor has, less its list
    bool haveBlockFormat = true;
    CharProps blockCharNow;  // the paragraph mark's format of the block under the cursor
    bool haveBlockChar = false;
    qint64 blockBudget = kMaxBlocks;
};

}  // namespace

bool isRtf(const QByteArray &data)
{
    qsizetype i = 0;
    while (i < data.size() && (data.at(i) == ' ' || data.at(i) == '\t' || data.at(i) == '\r' || data.at(i) == '\n'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void readPlainText(const QByteArray &data, QTextDocument *doc)
{
    QString text = platform::decodeText(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
}

void read(const QByteArray &data, QTextDocument *doc)
{
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    {
        Reader reader(data, doc);
        reader.run();
    }
    doc->setUndoRedoEnabled(undo);
}

QUrl jpegSourceUrl(const QString &imageName)
{
    QUrl url(imageName);
    url.setFragment(QStringLiteral("jpeg-source"));
    return url;
}

qint64 scan(const QByteArray &data)
{
    Reader reader(data, nullptr);
    reader.run();
    return reader.decodedChars;
}

}  // namespace rtf
