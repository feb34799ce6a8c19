#pragma once
// The control words the reader knows. Each has a kind, and a range its
// parameter is clamped to as it is read, so everything after can compute
// with it freely; words that only name or look up something (fonts, styles,
// lists, code pages, \u) keep any value.
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
}  // namespace range

// X(word, kind, parameter range)
#define RTF_KEYWORDS(X) \
    /* the document: code page, default font, Unicode */ \
    X(ansi, Flag, Any) X(ansicpg, Value, Any) X(mac, Flag, Any) X(pc, Flag, Any) X(pca, Flag, Any) \
    X(deff, Value, Any) X(uc, Value, Uc) X(u, Value, Any) X(bin, Value, Count) \
    X(upr, Destination, Any) X(ud, Ignorable, Any) \
    /* header tables */ \
    X(fonttbl, Destination, Any) X(f, Value, Any) X(fcharset, Value, Any) X(cpg, Value, Any) \
    X(fnil, Flag, Any) X(froman, Flag, Any) X(fswiss, Flag, Any) X(fmodern, Flag, Any) X(fscript, Flag, Any) \
    X(fdecor, Flag, Any) X(ftech, Flag, Any) X(fbidi, Flag, Any) \
    X(colortbl, Destination, Any) X(red, Value, ColorPart) X(green, Value, ColorPart) X(blue, Value, ColorPart) \
    X(stylesheet, Destination, Any) X(s, Value, Any) X(cs, Value, Any) X(ds, Value, Any) X(ts, Value, Any) \
    X(sbasedon, Value, Any) \
    /* character format */ \
    X(plain, Flag, Any) X(b, Toggle, Any) X(i, Toggle, Any) X(ul, Toggle, Any) X(uld, Toggle, Any) \
    X(uldash, Toggle, Any) X(uldashd, Toggle, Any) X(uldashdd, Toggle, Any) X(uldb, Toggle, Any) \
    X(ulhwave, Toggle, Any) X(ulldash, Toggle, Any) X(ulth, Toggle, Any) X(ulthd, Toggle, Any) \
    X(ulthdash, Toggle, Any) X(ulthdashd, Toggle, Any) X(ulthdashdd, Toggle, Any) X(ulthldash, Toggle, Any) \
    X(ululdbwave, Toggle, Any) X(ulw, Toggle, Any) X(ulwave, Toggle, Any) X(ulnone, Flag, Any) \
    X(strike, Toggle, Any) X(striked, Toggle, Any) X(cf, Value, Color) X(cb, Value, Color) \
    X(chcbpat, Value, Color) X(highlight, Value, Color) X(fs, Value, HalfPoints) X(super, Toggle, Any) \
    X(sub, Toggle, Any) X(nosupersub, Flag, Any) X(v, Toggle, Any) \
    /* paragraph format */ \
    X(pard, Flag, Any) X(ql, Flag, Any) X(qc, Flag, Any) X(qr, Flag, Any) X(qj, Flag, Any) X(qd, Flag, Any) \
    X(li, Value, Twips) X(lin, Value, Twips) X(ri, Value, Twips) X(rin, Value, Twips) X(fi, Value, Twips) \
    X(sb, Value, Spacing) X(sa, Value, Spacing) X(sl, Value, Twips) /* negative: exactly that height */ \
    X(slmult, Toggle, Any) X(pagebb, Toggle, Any) X(tx, Value, Twips) X(tqr, Flag, Any) X(tqc, Flag, Any) X(tqdec, Flag, Any) \
    /* text */ \
    X(par, Symbol, Any) X(line, Symbol, Any) X(page, Symbol, Any) X(sect, Symbol, Any) X(tab, Symbol, Any) \
    X(emdash, Symbol, Any) X(endash, Symbol, Any) X(bullet, Symbol, Any) X(lquote, Symbol, Any) \
    X(rquote, Symbol, Any) X(ldblquote, Symbol, Any) X(rdblquote, Symbol, Any) X(emspace, Symbol, Any) \
    X(enspace, Symbol, Any) X(qmspace, Symbol, Any) X(zwj, Symbol, Any) X(zwnj, Symbol, Any) \
    X(ltrmark, Symbol, Any) X(rtlmark, Symbol, Any) X(chftn, Symbol, Any) \
    /* sections: whether a section break starts a new page */ \
    X(sectd, Flag, Any) X(sbknone, Flag, Any) X(sbkcol, Flag, Any) X(sbkpage, Flag, Any) X(sbkeven, Flag, Any) \
    X(sbkodd, Flag, Any) \
    /* RichEdit's numbering */ \
    X(pn, Ignorable, Any) X(pnlvlblt, Flag, Any) X(pnlvlbody, Flag, Any) X(pnlvlcont, Flag, Any) \
    X(pnlvl, Value, PnLevel) X(pnstart, Value, ListStart) X(pndec, Flag, Any) X(pnucltr, Flag, Any) X(pnlcltr, Flag, Any) X(pnucrm, Flag, Any) \
    X(pnlcrm, Flag, Any) X(pncard, Flag, Any) X(pnord, Flag, Any) X(pnordt, Flag, Any) \
    /* Word's lists */ \
    X(listtable, Ignorable, Any) X(list, Destination, Any) X(listid, Value, Any) X(listlevel, Destination, Any) \
    X(levelnfc, Value, Any) X(levelnfcn, Value, Any) X(listoverridetable, Ignorable, Any) \
    X(listoverride, Destination, Any) X(ls, Value, Any) X(ilvl, Value, Level) \
    X(levelstartat, Value, ListStart) X(listoverridestartat, Flag, Any) \
    /* pictures */ \
    X(pict, Destination, Any) X(pngblip, Flag, Any) X(jpegblip, Flag, Any) X(dibitmap, Flag, Any) \
    X(wbitmap, Flag, Any) X(wmetafile, Flag, Any) X(emfblip, Flag, Any) X(macpict, Flag, Any) \
    X(pmmetafile, Flag, Any) X(picw, Value, PictureUnits) X(pich, Value, PictureUnits) \
    X(picwgoal, Value, PictureGoal) X(pichgoal, Value, PictureGoal) X(picscalex, Value, Percent) \
    X(picscaley, Value, Percent) X(wbmbitspixel, Value, Bits) X(wbmwidthbytes, Value, RowBytes) \
    X(shppict, Ignorable, Any) X(nonshppict, Destination, Any) \
    /* fields and objects: their results are text */ \
    X(field, Destination, Any) X(fldinst, Ignorable, Any) X(fldrslt, Destination, Any) \
    X(object, Destination, Any) X(result, Destination, Any) X(shprslt, Destination, Any) \
    /* page and section settings: kept as read */ \
    X(paperw, Value, Any) X(paperh, Value, Any) X(margl, Value, Any) X(margr, Value, Any) X(margt, Value, Any) \
    X(margb, Value, Any) X(landscape, Flag, Any) X(gutter, Value, Any) X(facingp, Flag, Any) X(titlepg, Flag, Any) \
    X(pgwsxn, Value, Any) X(pghsxn, Value, Any) X(marglsxn, Value, Any) X(margrsxn, Value, Any) \
    X(margtsxn, Value, Any) X(margbsxn, Value, Any) X(lndscpsxn, Flag, Any) X(cols, Value, Any) \
    X(colsx, Value, Any) X(linebetcol, Flag, Any) X(headery, Value, Any) X(footery, Value, Any) \
    X(pgnstarts, Value, Any) X(deftab, Value, Any) \
    /* footnotes and endnotes: where they go and how they are numbered, kept as read */ \
    X(ftnbj, Flag, Any) X(ftntj, Flag, Any) X(ftnstart, Value, Start) X(ftnrstpg, Flag, Any) X(ftnrestart, Flag, Any) \
    X(ftnrstcont, Flag, Any) X(ftnnar, Flag, Any) X(ftnnalc, Flag, Any) X(ftnnauc, Flag, Any) X(ftnnrlc, Flag, Any) \
    X(ftnnruc, Flag, Any) X(ftnnchi, Flag, Any) X(aenddoc, Flag, Any) X(aendnotes, Flag, Any) X(aftnbj, Flag, Any) \
    X(aftntj, Flag, Any) X(aftnstart, Value, Start) X(aftnrstcont, Flag, Any) X(aftnrestart, Flag, Any) \
    X(aftnnar, Flag, Any) X(aftnnalc, Flag, Any) X(aftnnauc, Flag, Any) X(aftnnrlc, Flag, Any) X(aftnnruc, Flag, Any) \
    X(aftnnchi, Flag, Any) X(enddoc, Flag, Any) X(endnotes, Flag, Any) X(fet, Value, Any) \
    /* drawing objects: kept as read, their result or text shown */ \
    X(shp, Destination, Any) X(shpgrp, Destination, Any) X(do, Ignorable, Any) X(sn, Destination, Any) \
    /* tables */ \
    X(trowd, Flag, Any) X(cellx, Value, Twips) X(cell, Symbol, Any) X(row, Symbol, Any) X(intbl, Toggle, Any) \
    X(nestcell, Symbol, Any) X(nestrow, Symbol, Any) X(itap, Value, TableDepth) X(nesttableprops, Ignorable, Any) \
    /* destinations whose content is not shown, known also where a writer leaves out their \* */ \
    X(generator, Skipped, Any) X(title, Skipped, Any) X(subject, Skipped, Any) X(author, Skipped, Any) \
    X(operator, Skipped, Any) X(keywords, Skipped, Any) X(doccomm, Skipped, Any) X(company, Skipped, Any) \
    X(manager, Skipped, Any) X(category, Skipped, Any) X(hlinkbase, Skipped, Any) X(creatim, Skipped, Any) \
    X(revtim, Skipped, Any) X(printim, Skipped, Any) X(buptim, Skipped, Any) X(userprops, Skipped, Any) \
    X(xmlnstbl, Skipped, Any) X(rsidtbl, Skipped, Any) X(themedata, Skipped, Any) \
    X(colorschememapping, Skipped, Any) X(datastore, Skipped, Any) X(latentstyles, Skipped, Any) \
    X(defchp, Skipped, Any) X(defpap, Skipped, Any) X(wgrffmtfilter, Skipped, Any) X(mmathPr, Skipped, Any) \
    X(pgdsctbl, Skipped, Any) X(protusertbl, Skipped, Any) X(passwordhash, Skipped, Any) \
    X(bkmkstart, Skipped, Any) X(bkmkend, Skipped, Any) X(ftnsep, Skipped, Any) X(ftnsepc, Skipped, Any) \
    X(aftnsep, Skipped, Any) X(aftnsepc, Skipped, Any) X(ftncn, Skipped, Any) X(aftncn, Skipped, Any) \
    X(atnid, Skipped, Any) X(atnauthor, Skipped, Any) X(atndate, Skipped, Any) X(atnref, Skipped, Any) \
    X(atrfstart, Skipped, Any) X(atrfend, Skipped, Any) X(fontemb, Skipped, Any) X(fontfile, Skipped, Any) \
    X(background, Skipped, Any) X(htmltag, Skipped, Any) X(mhtmltag, Skipped, Any) X(objname, Skipped, Any) \
    X(objalias, Skipped, Any) X(objsect, Skipped, Any) X(objtime, Skipped, Any) X(formfield, Skipped, Any) \
    /* destinations whose content is not shown */ \
    X(info, Skipped, Any) X(header, Skipped, Any) X(headerl, Skipped, Any) X(headerr, Skipped, Any) \
    X(headerf, Skipped, Any) X(footer, Skipped, Any) X(footerl, Skipped, Any) X(footerr, Skipped, Any) \
    X(footerf, Skipped, Any) X(footnote, Skipped, Any) X(annotation, Skipped, Any) X(pntext, Skipped, Any) \
    X(listtext, Skipped, Any) X(pntxta, Skipped, Any) X(pntxtb, Skipped, Any) X(falt, Skipped, Any) \
    X(xe, Skipped, Any) X(tc, Skipped, Any) X(txe, Skipped, Any) X(rxe, Skipped, Any) X(comment, Skipped, Any) \
    X(leveltext, Skipped, Any) X(levelnumbers, Skipped, Any) X(listname, Skipped, Any) \
    X(lfolevel, Skipped, Any) X(objdata, Skipped, Any) X(objclass, Skipped, Any) X(datafield, Skipped, Any) \
    X(revtbl, Skipped, Any) X(template, Skipped, Any) X(docvar, Skipped, Any) X(filetbl, Skipped, Any) \
    X(listpicture, Skipped, Any) X(pnseclvl, Skipped, Any) X(fname, Skipped, Any) X(panose, Skipped, Any) \
    X(nonesttables, Skipped, Any) X(NeXTGraphic, Skipped, Any) X(shpinst, Skipped, Any)

enum Kw : quint16 {
    K_none,  // a word this reader does not know
#define X(name, k, r) K_##name,
    RTF_KEYWORDS(X)
#undef X
    kKeywordCount
};

struct Keyword {
    Kind kind;
    ParamRange range;
};

inline constexpr Keyword kKeywords[kKeywordCount] = {
    {Kind::Flag, range::Any},
#define X(name, k, r) {Kind::k, range::r},
    RTF_KEYWORDS(X)
#undef X
};

constexpr const Keyword &keyword(Kw kw) { return kKeywords[kw]; }

// The keyword of a control word's name, K_none when unknown.
Kw lookupKeyword(const char *name, size_t length);

// The character a symbol word stands for in running text, 0 for the words
// that end a paragraph, cell or row.
char16_t symbolText(Kw kw);

}  // namespace rtf
