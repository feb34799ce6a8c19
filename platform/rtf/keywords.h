#pragma once
// The control words the reader knows, one row each. A word's kind says how
// it is dispatched (a destination opens its group, a toggle turns something
// on or off, a value sets it, a symbol stands for text); its range clamps its
// parameter as it is read, so everything after can compute with it freely
// (words that only name or look up something, such as fonts, styles, lists,
// code pages and \u, keep any value); its last column says what it sets or
// stands for, where that is all there is to it.
#include "bounds.h"

#include <climits>
#include <cstddef>

namespace rtf {

enum class Kind : quint8 {
    Flag,         // a setting without a parameter: \pard, \qc
    Toggle,       // on, or off with a parameter of 0: \b, \b0
    Value,        // a number: \fs24
    Symbol,       // stands for a character or a break: \par, \emdash
    Destination,  // its group is read as something else than text: \fonttbl, \pict
    Ignorable,    // a destination writers mark with \* (for readers that do not know it), read here
    Skipped,      // a destination whose content never reaches the document
};

struct ParamRange {
    int min, max;
};

namespace range {
constexpr ParamRange Any{-INT_MAX, INT_MAX};
constexpr ParamRange Twips{-kMaxTwips, kMaxTwips};
constexpr ParamRange Spacing{0, kMaxTwips};
constexpr ParamRange ColorPart{0, 255};
constexpr ParamRange Color{0, kMaxColors};  // one past the largest table reads as automatic
constexpr ParamRange HalfPoints{0, 3276};   // 0 reads as the default size
constexpr ParamRange Level{0, 8};
constexpr ParamRange PnLevel{1, 9};
constexpr ParamRange ListStart{0, 32767};   // the largest Word numbers a list from
constexpr ParamRange TableDepth{0, kMaxTableDepth};
constexpr ParamRange Uc{0, kMaxUc};
constexpr ParamRange Count{0, INT_MAX};
constexpr ParamRange PictureUnits{0, kMaxPictureUnits};
// Twips; larger goals would be shown at the largest side anyway.
constexpr ParamRange PictureGoal{0, int(kMaxPictureSide) * 15};
constexpr ParamRange Percent{0, 10000};     // 0 reads as 100
constexpr ParamRange Bits{0, 32};
constexpr ParamRange RowBytes{0, 1 << 28};
constexpr ParamRange Start{0, 1 << 20};     // where numbering starts
constexpr ParamRange Language{0, 0xFFFF};   // a Windows language id
constexpr ParamRange Outline{0, 9};         // 9: body text
}  // namespace range

// What a word does beyond its kind, where its row says it. Every other
// word is read by the destination it stands in (a font table reads \f, a
// picture \picw), or by the body where it is one of a kind (a table's words,
// a code page).
enum Prop : quint16 {
    P_none,
    // character formatting
    P_plain, P_bold, P_italic, P_underline, P_noUnderline, P_strike, P_font, P_size, P_fg, P_highlight, P_cb,
    P_chcbpat, P_super, P_sub, P_noSuperSub, P_hidden, P_lang, P_langfe, P_langnp, P_langfenp, P_alang, P_noproof,
    // paragraph formatting
    P_pard, P_left, P_center, P_right, P_justify, P_leftIndent, P_rightIndent, P_firstIndent, P_spaceBefore,
    P_spaceAfter, P_lineSpacing, P_lineMultiple, P_pageBreakBefore, P_tabStop, P_rightTab, P_centerTab,
    P_decimalTab, P_inTable, P_tableDepth, P_list, P_listLevel, P_outline,
    // settings kept as read where they stand
    P_page,     // the document's or a section's page: paper, margins, columns, headers and footers
    P_note,     // footnotes and endnotes: where they go, how they are numbered
    P_section,  // what starts a section: \sectd, the kind of break
};

// X(word, kind, parameter range, what): what a symbol stands for in running
// text (0: a break, or read by the body), what a flag, toggle or value sets,
// whether a skipped destination belongs to the page (P_page).
#define RTF_KEYWORDS(X) \
    /* the document: code page, default font, Unicode */ \
    X(ansi, Flag, Any, P_none) X(ansicpg, Value, Any, P_none) X(mac, Flag, Any, P_none) X(pc, Flag, Any, P_none) \
    X(pca, Flag, Any, P_none) X(deff, Value, Any, P_none) X(uc, Value, Uc, P_none) X(u, Value, Any, P_none) \
    X(bin, Value, Count, P_none) X(upr, Destination, Any, P_none) X(ud, Ignorable, Any, P_none) \
    /* header tables */ \
    X(fonttbl, Destination, Any, P_none) X(f, Value, Any, P_font) X(fcharset, Value, Any, P_none) \
    X(cpg, Value, Any, P_none) X(fnil, Flag, Any, P_none) X(froman, Flag, Any, P_none) X(fswiss, Flag, Any, P_none) \
    X(fmodern, Flag, Any, P_none) X(fscript, Flag, Any, P_none) X(fdecor, Flag, Any, P_none) \
    X(ftech, Flag, Any, P_none) X(fbidi, Flag, Any, P_none) \
    X(colortbl, Destination, Any, P_none) X(red, Value, ColorPart, P_none) X(green, Value, ColorPart, P_none) \
    X(blue, Value, ColorPart, P_none) \
    X(stylesheet, Destination, Any, P_none) X(s, Value, Any, P_none) X(cs, Value, Any, P_none) \
    X(ds, Value, Any, P_none) X(ts, Value, Any, P_none) X(sbasedon, Value, Any, P_none) \
    /* character format */ \
    X(plain, Flag, Any, P_plain) X(b, Toggle, Any, P_bold) X(i, Toggle, Any, P_italic) \
    X(loch, Flag, Any, P_none) X(hich, Flag, Any, P_none) X(dbch, Flag, Any, P_none) X(rtlch, Flag, Any, P_none) \
    X(ltrch, Flag, Any, P_none) X(af, Value, Any, P_none) \
    X(ul, Toggle, Any, P_underline) X(uld, Toggle, Any, P_underline) X(uldash, Toggle, Any, P_underline) \
    X(uldashd, Toggle, Any, P_underline) X(uldashdd, Toggle, Any, P_underline) X(uldb, Toggle, Any, P_underline) \
    X(ulhwave, Toggle, Any, P_underline) X(ulldash, Toggle, Any, P_underline) X(ulth, Toggle, Any, P_underline) \
    X(ulthd, Toggle, Any, P_underline) X(ulthdash, Toggle, Any, P_underline) \
    X(ulthdashd, Toggle, Any, P_underline) X(ulthdashdd, Toggle, Any, P_underline) \
    X(ulthldash, Toggle, Any, P_underline) X(ululdbwave, Toggle, Any, P_underline) \
    X(ulw, Toggle, Any, P_underline) X(ulwave, Toggle, Any, P_underline) X(ulnone, Flag, Any, P_noUnderline) \
    X(strike, Toggle, Any, P_strike) X(striked, Toggle, Any, P_strike) X(cf, Value, Color, P_fg) \
    X(cb, Value, Color, P_cb) X(chcbpat, Value, Color, P_chcbpat) X(highlight, Value, Color, P_highlight) \
    X(fs, Value, HalfPoints, P_size) X(super, Toggle, Any, P_super) X(sub, Toggle, Any, P_sub) \
    X(nosupersub, Flag, Any, P_noSuperSub) X(v, Toggle, Any, P_hidden) \
    X(lang, Value, Language, P_lang) X(langfe, Value, Language, P_langfe) X(langnp, Value, Language, P_langnp) \
    X(langfenp, Value, Language, P_langfenp) X(alang, Value, Language, P_alang) X(noproof, Toggle, Any, P_noproof) \
    X(deflang, Value, Language, P_none) X(deflangfe, Value, Language, P_none) X(adeflang, Value, Language, P_none) \
    /* paragraph format */ \
    X(pard, Flag, Any, P_pard) X(ql, Flag, Any, P_left) X(qc, Flag, Any, P_center) X(qr, Flag, Any, P_right) \
    X(qj, Flag, Any, P_justify) X(qd, Flag, Any, P_justify) X(li, Value, Twips, P_leftIndent) \
    X(lin, Value, Twips, P_leftIndent) X(ri, Value, Twips, P_rightIndent) X(rin, Value, Twips, P_rightIndent) \
    X(fi, Value, Twips, P_firstIndent) X(sb, Value, Spacing, P_spaceBefore) X(sa, Value, Spacing, P_spaceAfter) \
    /* \sl: negative for exactly that height */ \
    X(sl, Value, Twips, P_lineSpacing) X(slmult, Toggle, Any, P_lineMultiple) \
    X(pagebb, Toggle, Any, P_pageBreakBefore) X(tx, Value, Twips, P_tabStop) X(tqr, Flag, Any, P_rightTab) \
    X(tqc, Flag, Any, P_centerTab) X(tqdec, Flag, Any, P_decimalTab) X(outlinelevel, Value, Outline, P_outline) \
    /* text */ \
    X(par, Symbol, Any, 0) X(line, Symbol, Any, 0x2028) X(page, Symbol, Any, 0) X(sect, Symbol, Any, 0) \
    X(column, Symbol, Any, 0) \
    X(tab, Symbol, Any, '\t') X(emdash, Symbol, Any, 0x2014) X(endash, Symbol, Any, 0x2013) \
    X(bullet, Symbol, Any, 0x2022) X(lquote, Symbol, Any, 0x2018) X(rquote, Symbol, Any, 0x2019) \
    X(ldblquote, Symbol, Any, 0x201C) X(rdblquote, Symbol, Any, 0x201D) X(emspace, Symbol, Any, 0x2003) \
    X(enspace, Symbol, Any, 0x2002) X(qmspace, Symbol, Any, 0x2005) X(zwj, Symbol, Any, 0x200D) \
    X(zwnj, Symbol, Any, 0x200C) X(ltrmark, Symbol, Any, 0x200E) X(rtlmark, Symbol, Any, 0x200F) \
    X(chftn, Symbol, Any, 0) X(chpgn, Symbol, Any, 0) X(chdate, Symbol, Any, 0) X(chdpl, Symbol, Any, 0) \
    X(chdpa, Symbol, Any, 0) X(chtime, Symbol, Any, 0) \
    /* sections: whether a section break starts a new page */ \
    X(sectd, Flag, Any, P_section) X(sbknone, Flag, Any, P_section) X(sbkcol, Flag, Any, P_section) \
    X(sbkpage, Flag, Any, P_section) X(sbkeven, Flag, Any, P_section) X(sbkodd, Flag, Any, P_section) \
    /* RichEdit's numbering */ \
    X(pn, Ignorable, Any, P_none) X(pnlvlblt, Flag, Any, P_none) X(pnlvlbody, Flag, Any, P_none) \
    X(pnlvlcont, Flag, Any, P_none) X(pnlvl, Value, PnLevel, P_none) X(pnstart, Value, ListStart, P_none) \
    X(pndec, Flag, Any, P_none) X(pnucltr, Flag, Any, P_none) X(pnlcltr, Flag, Any, P_none) \
    X(pnucrm, Flag, Any, P_none) X(pnlcrm, Flag, Any, P_none) X(pncard, Flag, Any, P_none) \
    X(pnord, Flag, Any, P_none) X(pnordt, Flag, Any, P_none) \
    /* Word's lists */ \
    X(listtable, Ignorable, Any, P_none) X(list, Destination, Any, P_none) X(listid, Value, Any, P_none) \
    X(listlevel, Destination, Any, P_none) X(levelnfc, Value, Any, P_none) X(levelnfcn, Value, Any, P_none) \
    X(listoverridetable, Ignorable, Any, P_none) X(listoverride, Destination, Any, P_none) \
    X(lfolevel, Destination, Any, P_none) X(ls, Value, Any, P_list) X(ilvl, Value, Level, P_listLevel) \
    X(levelstartat, Value, ListStart, P_none) X(listoverridestartat, Flag, Any, P_none) \
    /* pictures */ \
    X(pict, Destination, Any, P_none) X(pngblip, Flag, Any, P_none) X(jpegblip, Flag, Any, P_none) \
    X(dibitmap, Flag, Any, P_none) X(wbitmap, Flag, Any, P_none) X(wmetafile, Flag, Any, P_none) \
    X(emfblip, Flag, Any, P_none) X(macpict, Flag, Any, P_none) X(pmmetafile, Flag, Any, P_none) \
    X(picw, Value, PictureUnits, P_none) X(pich, Value, PictureUnits, P_none) \
    X(picwgoal, Value, PictureGoal, P_none) X(pichgoal, Value, PictureGoal, P_none) \
    X(picscalex, Value, Percent, P_none) X(picscaley, Value, Percent, P_none) X(wbmbitspixel, Value, Bits, P_none) \
    X(wbmwidthbytes, Value, RowBytes, P_none) X(shppict, Ignorable, Any, P_none) \
    X(nonshppict, Destination, Any, P_none) \
    /* fields and objects: their results are text */ \
    X(field, Destination, Any, P_none) X(fldinst, Ignorable, Any, P_none) X(fldrslt, Destination, Any, P_none) \
    X(object, Destination, Any, P_none) X(result, Destination, Any, P_none) X(shprslt, Destination, Any, P_none) \
    /* page and section settings: kept as read */ \
    X(paperw, Value, Any, P_page) X(paperh, Value, Any, P_page) X(margl, Value, Any, P_page) \
    X(margr, Value, Any, P_page) X(margt, Value, Any, P_page) X(margb, Value, Any, P_page) \
    X(landscape, Flag, Any, P_page) X(gutter, Value, Any, P_page) X(facingp, Flag, Any, P_page) \
    X(titlepg, Flag, Any, P_page) X(pgwsxn, Value, Any, P_page) X(pghsxn, Value, Any, P_page) \
    X(marglsxn, Value, Any, P_page) X(margrsxn, Value, Any, P_page) X(margtsxn, Value, Any, P_page) \
    X(margbsxn, Value, Any, P_page) X(lndscpsxn, Flag, Any, P_page) X(cols, Value, Any, P_page) \
    X(colsx, Value, Any, P_page) X(linebetcol, Flag, Any, P_page) X(headery, Value, Any, P_page) \
    X(footery, Value, Any, P_page) X(pgnstarts, Value, Any, P_page) X(deftab, Value, Any, P_page) \
    /* footnotes and endnotes: where they go and how they are numbered, kept as read */ \
    X(ftnbj, Flag, Any, P_note) X(ftntj, Flag, Any, P_note) X(ftnstart, Value, Start, P_note) \
    X(ftnrstpg, Flag, Any, P_note) X(ftnrestart, Flag, Any, P_note) X(ftnrstcont, Flag, Any, P_note) \
    X(ftnnar, Flag, Any, P_note) X(ftnnalc, Flag, Any, P_note) X(ftnnauc, Flag, Any, P_note) \
    X(ftnnrlc, Flag, Any, P_note) X(ftnnruc, Flag, Any, P_note) X(ftnnchi, Flag, Any, P_note) \
    X(aenddoc, Flag, Any, P_note) X(aendnotes, Flag, Any, P_note) X(aftnbj, Flag, Any, P_note) \
    X(aftntj, Flag, Any, P_note) X(aftnstart, Value, Start, P_note) X(aftnrstcont, Flag, Any, P_note) \
    X(aftnrestart, Flag, Any, P_note) X(aftnnar, Flag, Any, P_note) X(aftnnalc, Flag, Any, P_note) \
    X(aftnnauc, Flag, Any, P_note) X(aftnnrlc, Flag, Any, P_note) X(aftnnruc, Flag, Any, P_note) \
    X(aftnnchi, Flag, Any, P_note) X(enddoc, Flag, Any, P_note) X(endnotes, Flag, Any, P_note) \
    X(fet, Value, Any, P_note) \
    /* drawing objects: kept as read, their result or text shown */ \
    X(shp, Destination, Any, P_none) X(shpgrp, Destination, Any, P_none) X(do, Ignorable, Any, P_none) \
    X(shpinst, Ignorable, Any, P_none) X(sn, Destination, Any, P_none) X(dptxbxtext, Destination, Any, P_none) \
    /* tables */ \
    X(trowd, Flag, Any, P_none) X(trleft, Value, Twips, P_none) X(trgaph, Value, Spacing, P_none) X(cellx, Value, Twips, P_none) X(cell, Symbol, Any, 0) X(row, Symbol, Any, 0) \
    X(intbl, Toggle, Any, P_inTable) X(nestcell, Symbol, Any, 0) X(nestrow, Symbol, Any, 0) \
    X(itap, Value, TableDepth, P_tableDepth) X(nesttableprops, Ignorable, Any, P_none) \
    /* destinations whose content is not shown, known also where a writer leaves out their \* */ \
    X(generator, Skipped, Any, P_none) X(title, Skipped, Any, P_none) X(subject, Skipped, Any, P_none) \
    X(author, Skipped, Any, P_none) X(operator, Skipped, Any, P_none) X(keywords, Skipped, Any, P_none) \
    X(doccomm, Skipped, Any, P_none) X(company, Skipped, Any, P_none) X(manager, Skipped, Any, P_none) \
    X(category, Skipped, Any, P_none) X(hlinkbase, Skipped, Any, P_none) X(creatim, Skipped, Any, P_none) \
    X(revtim, Skipped, Any, P_none) X(printim, Skipped, Any, P_none) X(buptim, Skipped, Any, P_none) \
    X(userprops, Skipped, Any, P_none) X(xmlnstbl, Skipped, Any, P_none) X(rsidtbl, Skipped, Any, P_none) \
    X(themedata, Skipped, Any, P_none) X(colorschememapping, Skipped, Any, P_none) \
    X(datastore, Skipped, Any, P_none) X(latentstyles, Skipped, Any, P_none) X(defchp, Skipped, Any, P_none) \
    X(defpap, Skipped, Any, P_none) X(wgrffmtfilter, Skipped, Any, P_none) X(mmathPr, Skipped, Any, P_none) \
    X(pgdsctbl, Skipped, Any, P_none) X(protusertbl, Skipped, Any, P_none) X(passwordhash, Skipped, Any, P_none) \
    X(bkmkstart, Skipped, Any, P_none) X(bkmkend, Skipped, Any, P_none) X(ftnsep, Skipped, Any, P_none) \
    X(ftnsepc, Skipped, Any, P_none) X(aftnsep, Skipped, Any, P_none) X(aftnsepc, Skipped, Any, P_none) \
    X(ftncn, Skipped, Any, P_none) X(aftncn, Skipped, Any, P_none) X(atnid, Skipped, Any, P_none) \
    X(atnauthor, Skipped, Any, P_none) X(atndate, Skipped, Any, P_none) X(atnref, Skipped, Any, P_none) \
    X(atrfstart, Skipped, Any, P_none) X(atrfend, Skipped, Any, P_none) X(fontemb, Skipped, Any, P_none) \
    X(fontfile, Skipped, Any, P_none) X(background, Ignorable, Any, P_none) X(htmltag, Skipped, Any, P_none) \
    X(mhtmltag, Skipped, Any, P_none) X(objname, Skipped, Any, P_none) X(objalias, Skipped, Any, P_none) \
    X(objsect, Skipped, Any, P_none) X(objtime, Skipped, Any, P_none) X(formfield, Skipped, Any, P_none) \
    /* destinations whose content is not shown */ \
    X(info, Skipped, Any, P_none) X(header, Skipped, Any, P_page) X(headerl, Skipped, Any, P_page) \
    X(headerr, Skipped, Any, P_page) X(headerf, Skipped, Any, P_page) X(footer, Skipped, Any, P_page) \
    X(footerl, Skipped, Any, P_page) X(footerr, Skipped, Any, P_page) X(footerf, Skipped, Any, P_page) \
    X(footnote, Skipped, Any, P_none) X(annotation, Skipped, Any, P_none) X(pntext, Skipped, Any, P_none) \
    X(listtext, Skipped, Any, P_none) X(pntxta, Skipped, Any, P_none) X(pntxtb, Skipped, Any, P_none) \
    X(falt, Skipped, Any, P_none) X(xe, Skipped, Any, P_none) X(tc, Skipped, Any, P_none) \
    X(txe, Skipped, Any, P_none) X(rxe, Skipped, Any, P_none) X(comment, Skipped, Any, P_none) \
    X(leveltext, Skipped, Any, P_none) X(levelnumbers, Skipped, Any, P_none) X(listname, Skipped, Any, P_none) \
    X(objdata, Skipped, Any, P_none) X(objclass, Skipped, Any, P_none) X(datafield, Skipped, Any, P_none) \
    X(revtbl, Skipped, Any, P_none) X(template, Skipped, Any, P_none) X(docvar, Skipped, Any, P_none) \
    X(filetbl, Skipped, Any, P_none) X(listpicture, Skipped, Any, P_none) X(pnseclvl, Skipped, Any, P_page) \
    X(fname, Skipped, Any, P_none) X(panose, Skipped, Any, P_none) X(nonesttables, Skipped, Any, P_none) \
    X(NeXTGraphic, Skipped, Any, P_none)

enum Kw : quint16 {
    K_none,  // a word this reader does not know
#define X(name, k, r, w) K_##name,
    RTF_KEYWORDS(X)
#undef X
    kKeywordCount
};

struct Keyword {
    Kind kind;
    ParamRange range;
    quint16 what;  // a symbol's character, else a Prop
    Prop prop() const { return kind == Kind::Symbol ? P_none : Prop(what); }
};

inline constexpr Keyword kKeywords[kKeywordCount] = {
    {Kind::Flag, range::Any, P_none},
#define X(name, k, r, w) {Kind::k, range::r, quint16(w)},
    RTF_KEYWORDS(X)
#undef X
};

constexpr const Keyword &keyword(Kw kw) { return kKeywords[kw]; }

// The keyword of a control word's name, K_none when unknown.
Kw lookupKeyword(const char *name, size_t length);

// The character a symbol word stands for in running text, 0 for the words
// that end a paragraph, cell or row.
constexpr char16_t symbolText(Kw kw)
{
    return keyword(kw).kind == Kind::Symbol ? char16_t(keyword(kw).what) : 0;
}

}  // namespace rtf
