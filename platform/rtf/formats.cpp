#include "formats.h"

#include "kept.h"

#include <QFont>
#include <QList>
#include <QTextOption>

namespace rtf {

const QTextCharFormat &FormatCache::charFormat(const CharProps &c)
{
    if (haveLastChar && c == lastChar)
        return lastCharFormat;
    auto it = charFormats.find(c);
    if (it == charFormats.end())
        it = charFormats.emplace(c, makeCharFormat(c)).first;
    lastChar = c;
    lastCharFormat = it->second;
    haveLastChar = true;
    return lastCharFormat;
}

QTextCharFormat FormatCache::makeCharFormat(const CharProps &c) const
{
    QTextCharFormat f;
    // Text the file gives no font has none: it is in the document's default
    // face, and written without one.
    if (tables.fonts.names(c.font) || tables.fonts.names(tables.defaultFont))
        f.setFontFamilies(QStringList{tables.fonts.family(c.font, tables.defaultFont)});
    f.setFontPointSize(c.size / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (const QColor fg = tables.colors.color(c.fg); fg.isValid())
        f.setForeground(fg);
    if (const QColor bg = tables.colors.color(c.bg); bg.isValid()) {
        f.setBackground(bg);
        if (c.bgWord)
            f.setProperty(kept::BackgroundWord, int(c.bgWord));
    }
    if (c.valign)
        f.setVerticalAlignment(c.valign == 1 ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
    // Languages other than the document's, and the style, as read.
    for (int k = 0; k < kept::Languages::kCount; ++k)
        if (c.lang[k] && c.lang[k] != tables.languages.defaultOf(k))
            f.setProperty(kept::Languages::kProperties[k], int(c.lang[k]));
    if (c.noproof)
        f.setProperty(kept::NoProof, true);
    // Named alone, where \\dbch named no other font for the same text.
    if (!c.dbch && c.dbchFont != c.font && tables.fonts.isEastAsian(c.font))
        f.setProperty(kept::FontAlone, true);
    if (c.feFont >= 0 && tables.fonts.names(c.feFont))
        f.setProperty(kept::FontFe, c.feFont);
    if (c.cstyle >= 0)
        f.setProperty(kept::CharacterStyle, c.cstyle);
    if (c.link >= 0 && c.link < tables.links.size()) {
        f.setAnchor(true);
        f.setAnchorHref(tables.links.at(c.link));
    }
    return f;
}

const QTextBlockFormat &FormatCache::blockFormat(const ParaProps &pp, bool inList)
{
    if (!haveLastBlock || !(pp == lastPara) || inList != lastInList) {
        lastBlockFormat = makeBlockFormat(pp, inList);
        lastPara = pp;
        lastInList = inList;
        haveLastBlock = true;
    }
    return lastBlockFormat;
}

QTextBlockFormat FormatCache::makeBlockFormat(const ParaProps &pp, bool inList)
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
    if (pp.pagebb)
        bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (pp.outline)
        bf.setHeadingLevel(pp.outline);
    if (pp.style != INT_MIN)
        bf.setProperty(kept::ParagraphStyle, pp.style);
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

}  // namespace rtf
