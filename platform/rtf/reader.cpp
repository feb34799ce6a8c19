// The RTF reader: the tokenizer's listener. It keeps a state for each open
// group, sends each token to the destination the group reads (the body, a
// header table, a picture, a field instruction) and decodes text in the
// code page of its font.
#include "rtf.h"

#include "builder.h"
#include "codepages.h"
#include "kept.h"
#include "sections.h"
#include "picture.h"
#include "properties.h"
#include "tables.h"
#include "textcodec.h"
#include "tokenizer.h"

#include <QTextCursor>
#include <QTextDocument>

#include <vector>

namespace rtf {

namespace {

// The target of a HYPERLINK field's instruction (with its \l anchor), empty
// for other fields.
QString hyperlinkTarget(const QString &inst)
{
    if (!inst.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return QString();
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
    return url;
}

class Reader final
{
public:
    Reader(const QByteArray &data, QTextDocument *doc)
        : tokens(data.constData(), data.constData() + data.size(), *this), builder(doc, tables)
    {
    }

    void run()
    {
        tokens.run();
        builder.finish(state());
        if (builder.keptAnything() || !pageSettings.isEmpty() || !styleSheet.isEmpty())
            saveKeptTables();
    }

    // ---- the tokens -------------------------------------------------------
    void groupOpen()
    {
        if (groups.open() && state().dest == StyleSheet) {
            state().dest = StyleEntry;
            tables.styles.beginEntry();
        }
    }

    void groupClose()
    {
        if (!fields.empty() && fields.back().depth == tokens.groupDepth())
            endField();
        if (shapeDepth == tokens.groupDepth())
            endShape();
        const State *popped = groups.close();
        if (!popped)
            return;
        if (popped->dest != state().dest)
            endDestination(*popped);
        else if (popped->dest == FontTable)
            tables.fonts.finishEntry();
    }

    void word(Kw kw, int param, bool hasParam, bool starred)
    {
        State &s = state();
        if (kw == K_shpinst && shapeDepth && s.dest == Body) {
            s.dest = ShapeInst;  // for its picture
            return;
        }
        // A skipped destination is skipped anywhere but in the colour table,
        // which takes its three words and every semicolon, in any group.
        if ((starred && !readsStarred(kw))
            || (keyword(kw).kind == Kind::Skipped && s.dest != ColorTable && !(kw == K_lfolevel && s.dest == Override))) {
            if (s.dest == Body && keepsSkipped(kw))
                keepGroup(kw, starred);
            else
                skipGroup();
            return;
        }
        switch (s.dest) {
        case Body:
            bodyWord(kw, param, hasParam);
            return;
        case FontTable:
            if (!unicodeWord(kw, param))
                tables.fonts.word(kw, param);
            return;
        case ColorTable:
            tables.colors.word(kw, param);
            return;
        case StyleSheet:
            return;
        case StyleEntry:
            tables.styles.word(kw, param, hasParam);
            return;
        case ListTable: case ListDef: case ListLevel: case OverrideTable: case Override:
            s.dest = tables.lists.word(s.dest, kw, param);
            return;
        case PnDef:
            tables.lists.pnWord(kw, param);
            return;
        case Pict:
            picture.word(kw, param, hasParam);
            return;
        case FieldInst:
            if (!unicodeWord(kw, param) && kw == K_fldrslt) {  // malformed nesting; show the result anyway
                s.dest = Body;
                if (!fields.empty())
                    fields.back().result = true;
            }
            return;
        case UprAnsi:
            if (kw == K_ud)
                s.dest = Body;
            return;
        case PictAlt:
            if (kw == K_pict)
                startPicture(true);
            return;
        case ShapeInst:
            if (kw == K_sn) {
                s.dest = ShapeName;
                shapeProperty.clear();
            } else if (kw == K_pict && (shapeProperty == "pib" || shapeProperty == "fillBlip") && shapePicture.image.isNull()) {
                startPicture(false);
                pictureOfShape = true;
            }
            return;
        case ShapeName:
            return;
        }
    }

    void symbol(char c)
    {
        switch (c) {
        case '\\': case '{': case '}': textChar(char16_t(c)); return;
        case '~': textChar(0x00A0); return;
        case '-': textChar(0x00AD); return;
        case '_': textChar(0x2011); return;
        case '\t': textChar('\t'); return;
        case '\r': case '\n':
            if (state().dest == Body)
                endParagraph();
            return;
        default:
            return;
        }
    }

    void hexByte(uchar b) { textByte(b); }

    void binary(const char *data, qint64 size)
    {
        if (state().dest == Pict && size > 0)
            picture.binary(data, size);
    }

    void text(const char *begin, const char *end)
    {
        switch (state().dest) {
        case Body:
            if (decoder.awaitsTrail()) {
                textByte(uchar(*begin++));  // the trail byte of a double-byte character
                if (begin == end)
                    return;
            }
            bodyText(QLatin1StringView(begin, end - begin));
            return;
        case Pict:
            picture.hexText(begin, end);
            return;
        case ShapeName:
            if (shapeProperty.size() < 32)
                shapeProperty.append(begin, std::min<qsizetype>(end - begin, 32));
            return;
        default:
            for (const char *q = begin; q < end; ++q)
                textByte(uchar(*q));
            return;
        }
    }

    void byte(uchar b)
    {
        switch (state().dest) {
        case Body:
            if (decoder.awaitsTrail() || b >= 0x80)
                textByte(b);
            else if (b == '\t')
                textChar('\t');
            return;
        case Pict:
            return;
        default:
            textByte(b);
            return;
        }
    }

private:
    State &state() { return groups.top(); }

    // ---- groups -----------------------------------------------------------
    // After \*, the group is read only when its word is one this reader
    // knows there; anything else skips the whole group.
    bool readsStarred(Kw kw)
    {
        switch (kw) {
        case K_ud:
            return state().dest == UprAnsi;
        case K_cs: case K_ds: case K_ts:  // a character, section or table style's number
            return state().dest == StyleEntry;
        default:
            return keyword(kw).kind == Kind::Ignorable;
        }
    }

    void skipGroup()
    {
        dropField();
        tokens.skipGroup();
        groups.drop();
    }

    // Groups in the body that the document cannot show are kept as read,
    // but for those the writer makes anew or that stand beside what is
    // shown (list text, another form of a table or an object).
    static bool keepsSkipped(Kw kw)
    {
        switch (kw) {
        case K_pntext: case K_listtext: case K_nonesttables: case K_shpinst: case K_objdata:
        case K_objclass:
            return false;
        default:
            return true;
        }
    }

    // ---- fields -------------------------------------------------------------
    // A field the document cannot show as a link keeps its instruction: the
    // result is shown between the field's bytes up to \\fldrslt and its
    // closing braces. One without any result is kept whole.
    struct OpenField {
        qint64 depth;
        const char *open;  // its '{', null when it cannot be kept as read
        bool result = false, spanning = false;
    };

    void beginField()
    {
        if (fields.size() >= 64)
            return;
        const char *open = tokens.lastGroupOpen();
        const bool clean = tokens.groupDepth() > 1 && open && kept::onlyWordsBetween(open, tokens.wordStart());
        fields.push_back({tokens.groupDepth(), clean ? open : nullptr});
    }

    void fieldResult(bool keepAround)
    {
        if (fields.empty() || fields.back().depth != tokens.groupDepth() - 1)
            return;
        OpenField &f = fields.back();
        f.result = true;
        if (!keepAround || f.spanning || !f.open || !kept::onlyWordsBetween(tokens.lastGroupOpen(), tokens.wordStart()))
            return;
        const QByteArray before(f.open, tokens.position() - f.open);
        f.spanning = builder.beginKeptSpan(before, QByteArrayLiteral("}}"));
    }

    void endField()
    {
        const OpenField f = fields.back();
        fields.pop_back();
        const bool shown = f.spanning ? builder.endKeptSpan() : f.result;
        if (shown || !f.open || shapeDepth)
            return;
        // Nothing shown: the whole field, its closing brace read just now.
        builder.keep(QByteArray(f.open, tokens.position() - f.open));
    }

    // ---- drawing objects ------------------------------------------------------
    // A shape is kept whole as read; what its result or text box shows
    // stands for it in the document. One showing nothing is kept as a group.
    void beginShape()
    {
        const char *open = tokens.lastGroupOpen();
        if (shapeDepth || tokens.groupDepth() <= 1 || !open || !kept::onlyWordsBetween(open, tokens.wordStart())
            || !builder.canBeginSpan())
            return;
        const char *end = tokens.groupEnd();
        const QByteArray object(open, end - open);
        if (object.back() != '}' || !builder.beginShownSpan(object))
            return;  // cut off: read as text
        shapeDepth = tokens.groupDepth();
        shapeObject = object;
    }

    void endShape()
    {
        if (!shapePicture.image.isNull() && !builder.spanUsed())
            builder.addPicture(shapePicture, state());
        shapePicture = DecodedPicture();
        shapeDepth = 0;
        if (!builder.endKeptSpan())
            builder.keep(shapeObject);
        shapeObject.clear();
    }

    // The group being skipped is a field's or a shape's: it ends unkept.
    void dropField()
    {
        if (shapeDepth == tokens.groupDepth())
            endShape();
        if (!fields.empty() && fields.back().depth == tokens.groupDepth()) {
            if (fields.back().spanning)
                builder.endKeptSpan();
            fields.pop_back();
        }
    }

    void saveKeptTables()
    {
        kept::Tables t;
        t.codePage = tables.codePage;
        t.settings = pageSettings;
        t.styleSheet = styleSheet;
        if (!styleSheet.isEmpty()) {
            FormatCache formats(tables);
            tables.styles.forEachApplied([&](int id, const CharProps &chr, const ParaProps &para) {
                t.styleFormats.push_back({id, formats.blockFormat(para, false), formats.charFormat(chr)});
            });
        }
        tables.fonts.forEach([&t](int id, const Fonts::Font &f) {
            t.fonts.push_back({id, f.charset < 0 ? 0 : f.charset, f.name, f.cpg});
        });
        for (int i = 1; i < tables.colors.count(); ++i) {
            const QColor c = tables.colors.color(i);
            t.colors << (c.isValid() ? c.rgb() & 0xFFFFFF : kept::kAutoColor);
        }
        kept::saveTables(builder.document(), t);
    }

    void keepGroup(Kw kw, bool starred)
    {
        if (shapeDepth) {  // the shape holds it
            skipGroup();
            return;
        }
        const char *open = tokens.lastGroupOpen(), *word = tokens.wordStart();
        if (tokens.groupDepth() <= 1 || !open || !word) {
            skipGroup();
            return;
        }
        dropField();
        const qint64 unclosed = tokens.skipGroup();
        groups.drop();
        const char *end = tokens.position();
        QByteArray bytes;
        if (open < word && kept::onlyWordsBetween(open, word)) {
            bytes = QByteArray(open, end - open);
        } else {
            bytes = starred ? QByteArray("{\\*") : QByteArray("{");
            bytes.append(word, end - word);
        }
        if (unclosed > 0) {
            // Cut off by the end of the data: closed here, unless binary
            // data would swallow the braces.
            if (bytes.contains("\\bin"))
                return;
            bytes.append(QByteArray(unclosed, '}'));
        }
        if (!isSectionGroup(kw) || !builder.keepInSection(bytes))
            builder.keep(bytes);
    }

    void endDestination(const State &popped)
    {
        switch (popped.dest) {
        case FontTable:
            tables.fonts.finishEntry();
            return;
        case StyleEntry:
            tables.styles.finishEntry();
            return;
        case StyleSheet:
            // Kept to be written back, for the styles the text and kept
            // groups name.
            if (styleSheetOpen && styleSheet.isEmpty() && tokens.position()[-1] == '}')
                styleSheet = QByteArray(styleSheetOpen, tokens.position() - styleSheetOpen);
            styleSheetOpen = nullptr;
            return;
        case Pict:
            if (pictureOfShape) {
                // Shown when the object's result shows nothing.
                pictureOfShape = false;
                shapePicture = picture.finish();
                return;
            }
            builder.addPicture(picture.finish(), state());
            return;
        case FieldInst:
            state().fieldLink = finishField();
            return;
        case PnDef:
            tables.lists.finishPn(state().para);
            return;
        case Override:
            tables.lists.finishOverride();
            return;
        default:
            return;
        }
    }

    void startPicture(bool alternative)
    {
        state().dest = Pict;
        picture.begin(alternative);
    }

    // The link the field's result carries, -1 for none.
    int finishField()
    {
        const QString url = hyperlinkTarget(fieldInst.trimmed());
        fieldInst.clear();
        if (url.isEmpty())
            return -1;
        tables.links.append(url);
        return int(tables.links.size() - 1);
    }

    // ---- the body ---------------------------------------------------------
    void bodyWord(Kw kw, int param, bool hasParam)
    {
        State &s = state();
        if (applyFormat(s.chr, s.para, kw, param, hasParam, tables.defaultFont) || unicodeWord(kw, param))
            return;
        if (sectionsEnded && builder.sectionOpen()) {
            // What sets a later section up is kept as read, up to its text.
            if (!isSectionWord(kw) || shapeDepth
                || !builder.keepInSection(QByteArray(tokens.wordStart(), tokens.position() - tokens.wordStart())))
                builder.closeSection();
        }
        switch (kw) {
        case K_par: endParagraph(); sectionBroke = false; return;
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
        case K_paperw: case K_paperh: case K_margl: case K_margr: case K_margt: case K_margb: case K_landscape:
        case K_gutter: case K_facingp: case K_titlepg: case K_pgwsxn: case K_pghsxn: case K_marglsxn:
        case K_margrsxn: case K_margtsxn: case K_margbsxn: case K_lndscpsxn: case K_cols: case K_colsx:
        case K_linebetcol: case K_headery: case K_footery: case K_pgnstarts: case K_deftab:
            // Those of the first section; the document has one.
            keepPageSetting();
            return;
        case K_ftnstart:
            if (!sectionsEnded)
                footnoteMarks = param - 1;
            keepPageSetting();
            return;
        case K_chftn:
            builder.appendMark(QString::number(++footnoteMarks), QByteArrayLiteral("\\chftn"), s);
            return;
        case K_ansi: tables.codePage = 1252; return;
        case K_mac: tables.codePage = 10000; return;
        case K_pc: tables.codePage = 437; return;
        case K_pca: tables.codePage = 850; return;
        case K_ansicpg:
            if (codepage::isKnown(param))
                tables.codePage = param;
            return;
        case K_deff:
            tables.defaultFont = param;
            s.chr.font = param;
            return;
        case K_upr: s.dest = UprAnsi; return;
        case K_fonttbl: s.dest = FontTable; tables.fonts.begin(); return;
        case K_colortbl: s.dest = ColorTable; tables.colors.begin(); return;
        case K_stylesheet:
            s.dest = StyleSheet;
            styleSheetOpen = tokens.groupDepth() > 1 && kept::onlyWordsBetween(tokens.lastGroupOpen(), tokens.wordStart())
                ? tokens.lastGroupOpen()
                : nullptr;
            return;
        case K_listtable: s.dest = ListTable; return;
        case K_listoverridetable: s.dest = OverrideTable; return;
        case K_pn: s.dest = PnDef; tables.lists.beginPn(); return;
        case K_pict: startPicture(false); return;
        case K_field: s.fieldLink = -1; beginField(); return;
        case K_shp: case K_shpgrp: case K_do: beginShape(); return;
        case K_fldinst: s.dest = FieldInst; fieldInst.clear(); return;
        case K_fldrslt:
            s.chr.link = s.fieldLink >= 0 ? s.fieldLink : s.chr.link;
            fieldResult(s.fieldLink < 0);
            return;
        case K_nonshppict:
            if (builder.pictureAwaitsAlternative())
                s.dest = PictAlt;
            else
                skipGroup();
            return;
        case K_s: tables.styles.apply(s, param, tables.defaultFont); return;
        case K_cs: tables.styles.applyCharacter(s, param, tables.defaultFont); return;
        case K_trowd: builder.startRow(); return;
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
            else if (isNoteSetting(kw))
                keepPageSetting();
            return;
        }
    }

    void keepPageSetting()
    {
        if (!sectionsEnded && pageSettings.size() < 4096)
            pageSettings.append(tokens.wordStart(), tokens.position() - tokens.wordStart());
    }

    void endParagraph()
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
        builder.endParagraph(state());
    }

    void endCell(bool nested)
    {
        if (shapeDepth) {
            textChar('\t');
            return;
        }
        highSurrogate = 0;
        builder.endCell(state(), nested);
    }

    // ---- text -------------------------------------------------------------
    // \u and \uc, read in the body, font names and field instructions.
    bool unicodeWord(Kw kw, int param)
    {
        if (kw == K_u)
            unicode(param);
        else if (kw == K_uc)
            state().uc = quint8(param);
        else
            return false;
        return true;
    }

    void unicode(int value)
    {
        State &s = state();
        tokens.skipFallback(s.uc);
        if (value < 0)
            value += 65536;
        char16_t c = value >= 0 && value <= 0xFFFF ? char16_t(value) : char16_t(0xFFFD);
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
                bodyText(QStringView(pair, 2));
                return;
            }
            c = 0xFFFD;
        } else if (c >= 0xF020 && c <= 0xF0FF) {
            c = codepage::symbolChar(uchar(c - 0xF000), currentCp() == codepage::kWingdings);
        }
        textChar(c);
    }

    // One byte of text in the current destination, in the current code page.
    void textByte(uchar b)
    {
        const Dest dest = state().dest;
        switch (dest) {
        case Body:
        case FieldInst:
            break;
        case FontTable:
            if (b == ';') {
                tables.fonts.finishEntry();
                return;
            }
            break;
        case ColorTable:
            if (b == ';')
                tables.colors.finishEntry();
            return;
        case StyleEntry:
            if (b == ';')
                tables.styles.finishEntry();
            return;
        default:
            return;
        }
        // A symbol font's name is plain text, not symbols.
        const int entryCp = dest == FontTable ? tables.fonts.entryCodePage(tables.codePage) : 0;
        const int cp = dest != FontTable ? currentCp() : entryCp == codepage::kSymbol ? tables.codePage : entryCp;
        decoder.decode(b, cp, [this](char16_t c) { textChar(c); });
    }

    // One character of decoded text, to wherever the destination collects.
    void textChar(char16_t c)
    {
        switch (state().dest) {
        case FontTable:
            tables.fonts.nameChar(c);
            return;
        case FieldInst:
            if (fieldInst.size() < 65536)
                fieldInst.append(QChar(c));
            return;
        case Body:
            bodyText(QStringView(&c, 1));
            return;
        default:
            return;
        }
    }

    template <typename Text>
    void bodyText(const Text &text)
    {
        decoder.dropLead();
        if (highSurrogate) {
            highSurrogate = 0;
            bodyText(QStringView(u"\uFFFD"));
        }
        builder.appendText(text, state());
    }

    int currentCp()
    {
        const int cp = tables.fonts.codePage(state().chr.font);
        return cp ? cp : tables.codePage;
    }

    Tokenizer<Reader> tokens;

    GroupStack groups;

    DocumentTables tables;

    // Decoding text.
    codepage::ByteDecoder decoder;
    char16_t highSurrogate = 0;  // the first half of a \u pair, in the body

    std::vector<OpenField> fields;
    qint64 shapeDepth = 0;  // of the shape being read, 0 for none
    QByteArray shapeObject;
    QByteArray shapeProperty;  // the name of the property being read
    DecodedPicture shapePicture;
    bool pictureOfShape = false;

    // Sections and footnotes.
    bool sectionBroke = false;  // since the last \\sect, no paragraph has ended
    bool sectionsEnded = false;  // the first section has
    QByteArray pageSettings;
    const char *styleSheetOpen = nullptr;  // its '{', when it can be kept
    QByteArray styleSheet;
    int footnoteMarks = 0;

    // Destinations being read.
    QString fieldInst;
    PictureReader picture;

    DocumentBuilder builder;
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

}  // namespace rtf
