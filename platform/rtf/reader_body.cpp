// The RTF reader: the words of the body (formatting, paragraphs, sections,
// tables, the destinations they open).
#include "reader.h"

#include "kept.h"
#include "sections.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace rtf {

// The destinations the body opens; the others are not read there. The
// groups of objects, their results and the Unicode half of \\upr go on as
// the body.
bool Reader::openInBody(Kw kw)
{
    State &s = state();
    switch (kw) {
    case K_upr: s.dest = UprAnsi; return true;
    case K_background: keepBackground(); return true;
    case K_fonttbl: s.dest = FontTable; tables.fonts.begin(); return true;
    case K_colortbl: s.dest = ColorTable; tables.colors.begin(); return true;
    case K_stylesheet:
        // The first style sheet is the document's; another is kept as read.
        if (styleSheetSeen)
            return false;
        styleSheetSeen = true;
        s.dest = StyleSheet;
        styleSheetOpen = tokens.groupDepth() > 1 && kept::onlyWordsBetween(tokens.lastGroupOpen(), tokens.wordStart())
            ? tokens.lastGroupOpen()
            : nullptr;
        return true;
    case K_listtable: s.dest = ListTable; return true;
    case K_listoverridetable: s.dest = OverrideTable; return true;
    case K_pn: s.dest = PnDef; tables.lists.beginPn(); return true;
    case K_pict: startPicture(false); return true;
    case K_field: s.fieldLink = -1; beginField(); return true;
    case K_shp: case K_shpgrp: case K_do: beginShape(); return true;
    case K_shpinst:
        if (!shapeDepth)
            return false;
        s.dest = ShapeInst;  // for its picture
        return true;
    case K_fldinst: s.dest = FieldInst; fieldInst.clear(); return true;
    case K_fldrslt:
        s.chr.link = s.fieldLink >= 0 ? s.fieldLink : s.chr.link;
        fieldResult(s.fieldLink < 0);
        return true;
    case K_nonshppict:
        if (!builder.pictureAwaitsAlternative())
            return false;
        s.dest = PictAlt;
        return true;
    case K_dptxbxtext:
        if (shapeDepth)
            builder.beginBox();
        return true;
    case K_ud: case K_shppict: case K_object: case K_result: case K_shprslt: case K_nesttableprops:
        return true;
    default:
        return false;
    }
}

void Reader::bodyWord(Kw kw, int param, bool hasParam)
{
    State &s = state();
    const bool inTableBefore = s.para.intbl;
    if (kw == K_f) {
        s.chr.dbch = s.charClass == 3;
        if (s.chr.dbch)
            s.chr.dbchFont = param;
    }
    if (applyFormat(s.chr, s.para, kw, param, hasParam, tables.defaultFont)) {
        if (s.para.intbl && !inTableBefore && !shapeDepth)
            builder.paragraphIntoTable(s);
        return;
    }
    if (unicodeWord(kw, param))
        return;
    switch (kw) {
    case K_ltrch: s.charClass = 0; return;
    case K_loch: s.charClass = 1; return;
    case K_hich: s.charClass = 2; return;
    case K_dbch: s.charClass = 3; return;
    case K_rtlch: s.charClass = 4; return;
    case K_af:
        if (s.charClass == 1)
            s.chr.font = param;
        else if (s.charClass == 3)
            s.chr.feFont = param;
        return;
    default: break;
    }
    if (sectionsEnded && builder.sectionOpen()) {
        // What sets a later section up is kept as read, up to its text.
        if (!isSectionWord(kw) || shapeDepth
            || !builder.keepInSection(QByteArray(tokens.wordStart(), tokens.position() - tokens.wordStart())))
            builder.closeSection();
    }
    switch (kw) {
    case K_par: endParagraph(); sectionBroke = false; return;
    case K_column: endParagraph(QByteArrayLiteral("\\column")); sectionBroke = false; return;
    case K_page: case K_sect:
        if (shapeDepth)
            return;
        if (builder.paragraphStarted())
            endParagraph();
        // A section starts on a new page unless it says otherwise.
        sectionBroke = kw == K_sect;
        sectionsEnded = sectionsEnded || sectionBroke;
        builder.breakPage();
        if (sectionBroke)
            builder.beginSection();
        return;
    case K_sbknone: case K_sbkcol:
        if (sectionBroke)
            builder.cancelPageBreak();
        return;
    case K_ftnstart:
        if (!sectionsEnded)
            footnoteMarks = param - 1;
        keepPageSetting();
        return;
    case K_chftn:
        builder.appendMark(QString::number(++footnoteMarks), QByteArrayLiteral("\\chftn"), s);
        return;
    // The page number, date and time where the file asks for them: shown
    // as they are now, written back as asked.
    case K_chpgn: builder.appendMark(QString::number(builder.pageNumber(s)), QByteArrayLiteral("\\chpgn"), s); return;
    case K_chdate: case K_chdpl: case K_chdpa:
        builder.appendMark(QLocale().toString(QDate::currentDate(), kw == K_chdpl ? QLocale::LongFormat : QLocale::ShortFormat),
                           kw == K_chdate ? QByteArrayLiteral("\\chdate") : kw == K_chdpl ? QByteArrayLiteral("\\chdpl")
                                                                            : QByteArrayLiteral("\\chdpa"), s);
        return;
    case K_chtime:
        builder.appendMark(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat), QByteArrayLiteral("\\chtime"), s);
        return;
    case K_ansi: tables.codePage = 1252; return;
    case K_mac: tables.codePage = 10000; return;
    case K_pc: tables.codePage = 437; return;
    case K_pca: tables.codePage = 850; return;
    case K_ansicpg:
        if (codepage::isKnown(param))
            tables.codePage = param;
        return;
    case K_deflang: tables.languages.deflang = param; return;
    case K_deflangfe: tables.languages.deflangfe = param; return;
    case K_adeflang: tables.languages.adeflang = param; return;
    case K_deff:
        tables.defaultFont = param;
        s.chr.font = param;
        return;
    case K_s: tables.styles.apply(s, param, tables.defaultFont); return;
    case K_cs: tables.styles.applyCharacter(s, param, tables.defaultFont); return;
    case K_trowd: builder.startRow(); return;
    case K_trleft: builder.setRowLeft(param); return;
    case K_trgaph: builder.setCellGap(param); return;
    case K_cellx: builder.addCellEdge(param); return;
    case K_cell: case K_nestcell: endCell(kw == K_nestcell); return;
    case K_row: case K_nestrow:
        if (shapeDepth)
            textChar(QChar::LineSeparator);
        else
            builder.endRow(s, kw == K_nestrow);
        return;
    default:
        if (const char16_t c = symbolText(kw))
            textChar(c);
        else if (isPageSetting(kw) || isNoteSetting(kw))
            keepPageSetting();
        else if (kw == K_none && !shapeDepth)
            builder.addRowWord(QByteArray(tokens.wordStart(), tokens.position() - tokens.wordStart()));
        return;
    }
}

// Those of the first section and the document's; the document has one.
void Reader::keepPageSetting()
{
    if (!sectionsEnded && pageSettings.size() < 4096)
        pageSettings.append(tokens.wordStart(), tokens.position() - tokens.wordStart());
}

void Reader::endParagraph(const QByteArray &breakWord)
{
    if (shapeDepth) {  // a shape's text stays in its paragraph
        textChar(QChar::LineSeparator);
        return;
    }
    if (!builder.canEndParagraph(state())) {
        textChar(QChar::LineSeparator);
        builder.keepEmpty();
        return;
    }
    highSurrogate = 0;
    decoder.dropLead();
    builder.endParagraph(state(), breakWord);
}

void Reader::endCell(bool nested)
{
    // In a shape's text, or with no table anywhere (no row defined, no
    // paragraph in one): a tab parts the cells' text. (WordPad and
    // LibreOffice run the two cells' words together; a tab keeps them
    // apart, and is what every reader reads back.)
    if (shapeDepth || !builder.inTable(state())) {
        textChar('\t');
        return;
    }
    highSurrogate = 0;
    builder.endCell(state(), nested);
}

}  // namespace rtf
