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
        entryCpg = 0;
        entryFamily.clear();
        entryName.clear();
        return;
    case K_fcharset:
        entryCharset = param;
        if (!entryCpg)
            entryCp = codepage::forCharset(param);
        return;
    case K_cpg:
        if (codepage::isKnown(param))
            entryCp = entryCpg = param;
        return;
    // Which kind of face it is, for readers that have not got it.
    case K_fnil: entryFamily = "fnil"; return;
    case K_froman: entryFamily = "froman"; return;
    case K_fswiss: entryFamily = "fswiss"; return;
    case K_fmodern: entryFamily = "fmodern"; return;
    case K_fscript: entryFamily = "fscript"; return;
    case K_fdecor: entryFamily = "fdecor"; return;
    case K_ftech: entryFamily = "ftech"; return;
    case K_fbidi: entryFamily = "fbidi"; return;
    default:
        return;
    }
}

void Fonts::nameChar(char16_t c)
{
    // Tabs and other controls name nothing.
    if (entryOpen && entryName.size() < 256 && c >= 0x20)
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
    font.cpg = entryCpg;
    font.family = entryFamily;
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

bool Fonts::isEastAsian(int font) const
{
    const int i = index.value(font, -1);
    if (i < 0)
        return false;
    const int c = fonts[size_t(i)].charset;
    return c == 128 || c == 129 || c == 130 || c == 134 || c == 136;
}

bool Fonts::names(int font) const
{
    const int i = index.value(font, -1);
    return i >= 0 && !fonts[i].name.isEmpty();
}

QString Fonts::family(int font, int fallback) const
{
    int i = index.value(font, -1);
    if (i < 0 || fonts[i].name.isEmpty())
        i = index.value(fallback, -1);
    return i < 0 || fonts[i].name.isEmpty() ? QString(kUnnamedFace) : fonts[i].name;
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
    pendingKey = key(Paragraph, 0);
    pending = Style();
}

void Styles::word(Kw kw, int param, bool hasParam)
{
    switch (kw) {
    case K_s: pendingKey = key(Paragraph, param); return;
    case K_cs: pendingKey = key(Character, param); return;
    case K_ds: case K_ts: pendingKey = key(Other, param); return;
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
    if (pendingKey != -1 && styles.size() < kMaxStyles && !styles.contains(pendingKey))
        styles.insert(pendingKey, pending);
    pendingKey = -1;
    pending = Style();
}

bool Styles::resolve(qint64 style, CharProps &chr, ParaProps &para, int defaultFont) const
{
    if (!styles.contains(style))
        return false;
    const qint64 kind = style & ~qint64(0xFFFFFFFF);
    qint64 chain[kMaxStyleChain];
    int n = 0;
    for (qint64 cur = style; n < kMaxStyleChain;) {
        if (std::find(chain, chain + n, cur) != chain + n)
            break;  // a \sbasedon cycle
        const auto sit = styles.constFind(cur);
        if (sit == styles.constEnd())
            break;
        chain[n++] = cur;
        if (sit->basedOn == -1)
            break;
        cur = kind | quint32(sit->basedOn);
    }
    for (int k = n - 1; k >= 0; --k)
        for (const auto &[w, v] : styles.value(chain[k]).words)
            applyFormat(chr, para, w, v == INT_MIN ? 0 : v, v != INT_MIN, defaultFont);
    return true;
}

void Styles::apply(State &s, int id, int defaultFont)
{
    auto it = resolved.constFind(id);
    if (it == resolved.constEnd()) {
        CharProps chr;
        chr.font = defaultFont;
        ParaProps para;
        if (!resolve(key(Paragraph, id), chr, para, defaultFont))
            return;
        para.style = id;
        it = resolved.insert(id, {chr, para});
    }
    const int link = s.chr.link;
    s.chr = it->first;
    s.chr.link = link;
    const ParaProps keep = s.para;
    s.para = it->second;
    // What the paragraph gave before naming its style holds over the style,
    // as what it gives after does.
    const ParaProps none;
    const auto given = [&](auto ParaProps::*p) {
        if (keep.*p != none.*p)
            s.para.*p = keep.*p;
    };
    for (auto p : {&ParaProps::li, &ParaProps::ri, &ParaProps::fi, &ParaProps::sb, &ParaProps::sa})
        given(p);
    for (auto p : {&ParaProps::align, &ParaProps::pagebb, &ParaProps::outline})
        given(p);
    if (keep.sl != none.sl) {
        s.para.sl = keep.sl;
        s.para.slmult = keep.slmult;
    }
    if (keep.ntabs) {
        s.para.ntabs = keep.ntabs;
        s.para.tabs = keep.tabs;
        s.para.tabTypes = keep.tabTypes;
    }
    s.para.intbl = keep.intbl;
    s.para.itap = keep.itap;
    if (keep.ilvl)
        s.para.ilvl = keep.ilvl;
    if (keep.listKind) {
        s.para.listKind = keep.listKind;
        s.para.ls = keep.ls;
        s.para.ilvl = keep.ilvl;
        s.para.pnStyle = keep.pnStyle;
        s.para.pnLevel = keep.pnLevel;
        s.para.pnStart = keep.pnStart;
    }
}

void Styles::applyCharacter(State &s, int id, int defaultFont)
{
    auto it = characters.constFind(id);
    if (it == characters.constEnd()) {
        CharProps a, b;
        b.font = INT_MIN;
        b.size = b.fg = b.bg = -1;
        b.bold = b.italic = b.underline = b.strike = b.hidden = b.valign = b.bgWord = b.noproof = 0xFF;
        b.lang.fill(0xFFFF);
        ParaProps ignored;
        if (!resolve(key(Character, id), a, ignored, defaultFont))
            return;
        resolve(key(Character, id), b, ignored, defaultFont);
        it = characters.insert(id, {a, b});
    }
    const CharProps &a = it->first, &b = it->second;
    CharProps &c = s.chr;
    const auto take = [](auto &to, auto from, auto other) {
        if (from == other)
            to = from;
    };
    take(c.font, a.font, b.font);
    take(c.size, a.size, b.size);
    take(c.fg, a.fg, b.fg);
    take(c.bold, a.bold, b.bold);
    take(c.italic, a.italic, b.italic);
    take(c.underline, a.underline, b.underline);
    take(c.strike, a.strike, b.strike);
    take(c.hidden, a.hidden, b.hidden);
    take(c.valign, a.valign, b.valign);
    take(c.noproof, a.noproof, b.noproof);
    for (size_t k = 0; k < c.lang.size(); ++k)
        take(c.lang[k], a.lang[k], b.lang[k]);
    c.cstyle = id;
    if (a.bg == b.bg && a.bgWord == b.bgWord) {
        c.bg = a.bg;
        c.bgWord = a.bgWord;
    }
}

std::vector<int> Styles::characterStyles() const
{
    std::vector<int> ids;
    for (auto it = styles.constBegin(); it != styles.constEnd(); ++it)
        if (it.key() >> 32 == Character)
            ids.push_back(int(quint32(it.key())));
    std::sort(ids.begin(), ids.end());
    return ids;
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

Dest Lists::open(Dest dest, Kw kw)
{
    if (dest == ListTable && kw == K_list) {
        listId = INT_MIN;
        level = -1;
        levels = List();
        levels.styles.fill(QTextListFormat::ListDisc);
        return ListDef;
    }
    if (dest == ListDef && kw == K_listlevel) {
        ++level;
        return ListLevel;
    }
    if (dest == OverrideTable && kw == K_listoverride) {
        overrideLs = INT_MIN;
        pending = OverrideEntry();
        overrideLevel = -1;
        return Override;
    }
    if (dest == Override && kw == K_lfolevel) {
        // One for each level from the first; it may start the level at
        // another number.
        ++overrideLevel;
        overrideStarts = false;
        return Override;
    }
    return Body;
}

void Lists::word(Dest dest, Kw kw, int param)
{
    switch (dest) {
    case ListDef:
        if (kw == K_listid) {
            listId = param;
            if (lists.size() < kMaxStyles)
                lists.insert(listId, levels);
        }
        return;
    case ListLevel:
        if (level < 0 || level >= 9)
            return;
        if (kw == K_levelnfc || kw == K_levelnfcn)
            levels.styles[level] = qint8(styleForNfc(param));
        else if (kw == K_levelstartat)
            levels.starts[level] = param;
        else
            return;
        if (listId != INT_MIN && lists.contains(listId))
            lists[listId] = levels;
        return;
    case Override:
        if (kw == K_listid)
            pending.list = param;
        else if (kw == K_ls)
            overrideLs = param;
        else if (kw == K_listoverridestartat)
            overrideStarts = true;
        else if (kw == K_levelstartat && overrideStarts && overrideLevel >= 0 && overrideLevel < 9)
            pending.starts[overrideLevel] = std::max(param, 1);
        return;
    default:
        return;
    }
}

void Lists::finishOverride()
{
    if (overrideLs != INT_MIN && pending.list != INT_MIN && overrides.size() < kMaxStyles)
        overrides.insert(overrideLs, pending);
}

QTextListFormat::Style Lists::levelStyle(int ls, int ilvl) const
{
    const auto it = lists.constFind(overrides.value(ls).list);
    return it == lists.constEnd() ? QTextListFormat::ListStyleUndefined : QTextListFormat::Style(it->styles[ilvl]);
}

int Lists::levelStart(int ls, int ilvl) const
{
    const OverrideEntry o = overrides.value(ls);
    if (o.starts[ilvl])
        return o.starts[ilvl];
    const auto it = lists.constFind(o.list);
    return it == lists.constEnd() || !it->starts[ilvl] ? 1 : it->starts[ilvl];
}

void Lists::pnWord(Kw kw, int param)
{
    switch (kw) {
    case K_pnlvlblt: pnStyle = QTextListFormat::ListDisc; return;
    case K_pnlvlbody:
        if (!pnStyle)
            pnStyle = QTextListFormat::ListDecimal;
        return;
    case K_pnlvl:
        pnLevel = qint8(param);
        if (!pnStyle)
            pnStyle = QTextListFormat::ListDecimal;
        return;
    case K_pnstart: pnStart = param; return;
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
    pp.pnLevel = pnLevel;
    pp.pnStart = pnStart;
    if (pp.listKind == 0)
        pp.listKind = 1;
}

}  // namespace rtf
