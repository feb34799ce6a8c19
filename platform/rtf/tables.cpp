#include "tables.h"

#include "codepages.h"

#include <algorithm>

namespace rtf {

// ---- fonts ------------------------------------------------------------------

void Fonts::word(Kw kw, int param)
{
    switch (kw) {
    case K_f:
        finishEntry();
        entryOpen = true;
        entryId = param;
        entryCp = 0;
        entryCharset = -1;
        entryName.clear();
        return;
    case K_fcharset:
        entryCharset = param;
        entryCp = codepage::forCharset(param);
        return;
    case K_cpg:
        if (codepage::isKnown(param))
            entryCp = param;
        return;
    default:
        return;
    }
}

void Fonts::nameChar(char16_t c)
{
    if (entryOpen && entryName.size() < 256)
        entryName.append(QChar(c));
}

void Fonts::finishEntry()
{
    if (!entryOpen)
        return;
    entryOpen = false;
    if (index.contains(entryId) || fonts.size() >= size_t(kMaxFonts))
        return;
    Font font;
    font.name = entryName.trimmed();
    font.cp = entryCp;
    font.charset = entryCharset;
    if (font.cp == codepage::kSymbol && font.name.contains(QLatin1String("Wingdings"), Qt::CaseInsensitive))
        font.cp = codepage::kWingdings;
    index.insert(entryId, int(fonts.size()));
    fonts.push_back(std::move(font));
    cpFont = INT_MIN;
}

int Fonts::codePage(int font)
{
    if (font != cpFont) {
        cpFont = font;
        const auto it = index.constFind(font);
        cpValue = it == index.constEnd() ? 0 : fonts[*it].cp;
    }
    return cpValue;
}

QString Fonts::family(int font, int fallback) const
{
    int i = index.value(font, -1);
    if (i < 0)
        i = index.value(fallback, -1);
    return i < 0 ? QString() : fonts[i].name;
}

// ---- colours ----------------------------------------------------------------

void Colors::begin()
{
    red = green = blue = 0;
    set = false;
}

void Colors::word(Kw kw, int param)
{
    switch (kw) {
    case K_red: red = param; set = true; return;
    case K_green: green = param; set = true; return;
    case K_blue: blue = param; set = true; return;
    default: return;
    }
}

void Colors::finishEntry()
{
    if (colors.size() < size_t(kMaxColors))
        colors.push_back(set ? QColor(red, green, blue) : QColor());
    begin();
}

QColor Colors::color(int index) const
{
    return index > 0 && size_t(index) < colors.size() ? colors[index] : QColor();
}

// ---- styles -----------------------------------------------------------------

void Styles::beginEntry()
{
    pendingId = 0;
    pending = Style();
}

void Styles::word(Kw kw, int param, bool hasParam)
{
    switch (kw) {
    case K_s: case K_cs: case K_ds: case K_ts:
        pendingId = param;
        return;
    case K_sbasedon:
        pending.basedOn = param;
        return;
    default:
        if (pending.words.size() < size_t(kMaxStyleWords))
            pending.words.emplace_back(kw, hasParam ? param : INT_MIN);
        return;
    }
}

void Styles::finishEntry()
{
    if (pendingId != -1 && styles.size() < kMaxStyles && !styles.contains(pendingId))
        styles.insert(pendingId, pending);
    pendingId = -1;
    pending = Style();
}

void Styles::apply(State &s, int id, bool charOnly, int defaultFont)
{
    auto it = resolved.constFind(id);
    if (it == resolved.constEnd()) {
        if (!styles.contains(id))
            return;
        CharProps chr;
        chr.font = defaultFont;
        ParaProps para;
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
                applyFormat(chr, para, w, v == INT_MIN ? 0 : v, v != INT_MIN, defaultFont);
        it = resolved.insert(id, {chr, para});
    }
    const int link = s.chr.link;
    s.chr = it->first;
    s.chr.link = link;
    if (!charOnly) {
        const ParaProps keep = s.para;
        s.para = it->second;
        s.para.intbl = keep.intbl;
        s.para.itap = keep.itap;
        if (keep.listKind) {
            s.para.listKind = keep.listKind;
            s.para.ls = keep.ls;
            s.para.ilvl = keep.ilvl;
            s.para.pnStyle = keep.pnStyle;
        }
    }
}

// ---- lists ------------------------------------------------------------------

namespace {

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

}  // namespace

Dest Lists::word(Dest dest, Kw kw, int param)
{
    switch (dest) {
    case ListTable:
        if (kw == K_list) {
            listId = INT_MIN;
            level = -1;
            levels.fill(QTextListFormat::ListDisc);
            return ListDef;
        }
        break;
    case ListDef:
        if (kw == K_listid) {
            listId = param;
            if (lists.size() < kMaxStyles)
                lists.insert(listId, levels);
        } else if (kw == K_listlevel) {
            ++level;
            return ListLevel;
        }
        break;
    case ListLevel:
        if ((kw == K_levelnfc || kw == K_levelnfcn) && level >= 0 && level < 9) {
            levels[level] = qint8(styleForNfc(param));
            if (listId != INT_MIN && lists.contains(listId))
                lists[listId] = levels;
        }
        break;
    case OverrideTable:
        if (kw == K_listoverride) {
            overrideLs = overrideList = INT_MIN;
            return Override;
        }
        break;
    case Override:
        if (kw == K_listid)
            overrideList = param;
        else if (kw == K_ls)
            overrideLs = param;
        break;
    default:
        break;
    }
    return dest;
}

void Lists::finishOverride()
{
    if (overrideLs != INT_MIN && overrideList != INT_MIN && overrides.size() < kMaxStyles)
        overrides.insert(overrideLs, overrideList);
}

QTextListFormat::Style Lists::levelStyle(int ls, int ilvl) const
{
    const auto it = lists.constFind(overrides.value(ls, INT_MIN));
    return it == lists.constEnd() ? QTextListFormat::ListStyleUndefined : QTextListFormat::Style((*it)[ilvl]);
}

void Lists::pnWord(Kw kw)
{
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
    default: return;
    }
}

void Lists::finishPn(ParaProps &pp) const
{
    if (!pnStyle)
        return;
    pp.pnStyle = pnStyle;
    if (pp.listKind == 0)
        pp.listKind = 1;
}

}  // namespace rtf
