// The RTF reader's tokens, groups and text; the document functions.
#include "reader.h"
#include "rtf.h"

#include "kept.h"
#include "rtf.h"
#include "textcodec.h"

#include <QElapsedTimer>
#include <QFont>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace rtf {

namespace {
bool isLetter(uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The definition the table row read at p ends with: the edges (\\cellx)
// and left (\\trleft) after the last \\trowd before the next \\row, where
// one is within reach; a nested table's, ended by \\nestrow, is not the row's.
bool definitionBefore(const char *p, const char *end, std::vector<int> &edges, int &left)
{
    end = p + std::min<qint64>(end - p, 1 << 18);
    bool open = false;
    std::vector<int> found;
    int foundLeft = 0;
    while (p < end) {
        if (*p++ != '\\')
            continue;
        if (p < end && !isLetter(uchar(*p))) {
            ++p;  // a control symbol: \\\\, \\{ and \\' among them
            continue;
        }
        const char *name = p;
        while (p < end && isLetter(uchar(*p)))
            ++p;
        const QByteArrayView word(name, p - name);
        const bool negative = p < end && *p == '-';
        p += negative;
        qint64 value = 0;
        while (p < end && *p >= '0' && *p <= '9')
            value = std::min<qint64>(value * 10 + (*p++ - '0'), 1 << 30);
        const int param = int(negative ? -value : value);
        if (word == "row") {
            if (!open || found.empty())
                return false;
            edges = std::move(found);
            left = foundLeft;
            return true;
        }
        if (word == "trowd") {
            open = true;
            found.clear();
            foundLeft = 0;
        } else if (word == "nestrow") {
            open = false;
        } else if (word == "bin") {
            p += std::min<qint64>(std::max(param, 0), end - p);
        } else if (open && word == "cellx" && found.size() <= size_t(kMaxColumns)) {
            found.push_back(param);
        } else if (open && word == "trleft") {
            foundLeft = param;
        }
    }
    return false;
}
}  // namespace

Reader::Reader(const QByteArray &data, QTextDocument *doc)
    : dataBegin(data.constData()), dataSize(data.size()),
      tokens(data.constData(), data.constData() + data.size(), *this), builder(doc, tables)
{
    builder.definitionAhead = [this](std::vector<int> &edges, int &left) {
        return definitionBefore(tokens.position(), dataBegin + dataSize, edges, left);
    };
}

void Reader::look()
{
    // A few thousand tokens take well under a millisecond; the listener
    // keeps its own time.
    untilLook = 4096;
    if (!(*progress)(tokens.position() - dataBegin, dataSize)) {
        stopped = true;
        tokens.stop();
    }
}

void Reader::run()
{
    tokens.run();
    builder.finish(state());
    // What the document holds without a face of its own (a cell nothing
    // was written in) is in the file's default face, as other readers show it.
    QFont face(tables.fonts.family(tables.defaultFont, tables.defaultFont));
    face.setPointSize(12);
    builder.document()->setDefaultFont(face);
    // The fonts and colours as read, with what else the document keeps:
    // they are written back under their numbers, each font with its
    // character set and family.
    saveKeptTables();
}

void Reader::groupOpen()
{
    if (groups.open() && state().dest == StyleSheet) {
        state().dest = StyleEntry;
        tables.styles.beginEntry();
    }
}

void Reader::groupClose()
{
    tick();
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

// Each word by its kind: a destination opens its group as what it is
// read as where it stands, or the group is not read; every other word goes
// to the destination that reads it.
void Reader::word(Kw kw, int param, bool hasParam, bool starred)
{
    tick();
    State &s = state();
    const Kind kind = keyword(kw).kind;
    if (starred && !readsStarred(kw)) {
        unread(kw, starred);
        return;
    }
    if (kind == Kind::Destination || kind == Kind::Ignorable || kind == Kind::Skipped) {
        if (!openDestination(kw))
            unread(kw, starred);
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
    case StyleEntry:
        tables.styles.word(kw, param, hasParam);
        return;
    case ListTable: case ListDef: case ListLevel: case OverrideTable: case Override:
        tables.lists.word(s.dest, kw, param);
        return;
    case PnDef:
        tables.lists.pnWord(kw, param);
        return;
    case Pict:
        picture.word(kw, param, hasParam);
        return;
    case FieldInst:
        unicodeWord(kw, param);
        return;
    case StyleSheet: case UprAnsi: case PictAlt: case ShapeInst: case ShapeName:
        return;
    }
}

// The destination word kw opens its group as what the group it stands in
// reads it as; false when that reads no such group.
bool Reader::openDestination(Kw kw)
{
    State &s = state();
    switch (s.dest) {
    case Body:
        return openInBody(kw);
    case ColorTable:
        // It takes its three words and every semicolon, in any group.
        return keyword(kw).kind == Kind::Skipped;
    case ListTable: case ListDef: case ListLevel: case OverrideTable: case Override: {
        const Dest to = tables.lists.open(s.dest, kw);
        if (to == Body)
            return false;
        s.dest = to;
        return true;
    }
    case FieldInst:
        if (kw != K_fldrslt)
            return false;
        s.dest = Body;  // malformed nesting; the result is shown anyway
        if (!fields.empty())
            fields.back().result = true;
        return true;
    case UprAnsi:
        if (kw != K_ud)
            return false;
        s.dest = Body;
        return true;
    case PictAlt:
        if (kw != K_pict)
            return false;
        startPicture(true);
        return true;
    case ShapeInst:
        if (kw == K_sn) {
            s.dest = ShapeName;
            shapeProperty.clear();
            return true;
        }
        if (kw == K_pict && (shapeProperty == "pib" || shapeProperty == "fillBlip") && shapePicture.image.isNull()) {
            startPicture(false);
            pictureOfShape = true;
            return true;
        }
        return false;
    case FontTable: case StyleSheet: case StyleEntry: case PnDef: case Pict: case ShapeName:
        return false;
    }
    return false;
}

// A group no destination reads: kept as read where it stands in the body,
// else passed over.
void Reader::unread(Kw kw, bool starred)
{
    if (state().dest == Body && keepsSkipped(kw))
        keepGroup(kw, starred);
    else
        skipGroup();
}

void Reader::symbol(char c)
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

void Reader::binary(const char *data, qint64 size)
{
    if (state().dest == Pict && size > 0)
        picture.binary(data, size);
}

void Reader::text(const char *begin, const char *end)
{
    tick();
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

void Reader::byte(uchar b)
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

// After \*, the group is read only when its word is one this reader
// knows there; anything else skips the whole group.
bool Reader::readsStarred(Kw kw)
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

void Reader::skipGroup()
{
    dropField();
    tokens.skipGroup();
    groups.drop();
}

// Groups in the body that the document cannot show are kept as read,
// but for those the writer makes anew or that stand beside what is
// shown (list text, another form of a table or an object).
bool Reader::keepsSkipped(Kw kw)
{
    switch (kw) {
    case K_pntext: case K_listtext: case K_nonesttables: case K_shpinst: case K_objdata:
    case K_objclass: case K_nonshppict:
        return false;
    default:
        return true;
    }
}

void Reader::endDestination(const State &popped)
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

void Reader::startPicture(bool alternative)
{
    state().dest = Pict;
    picture.begin(alternative);
}

// \u and \uc, read in the body, font names and field instructions.
bool Reader::unicodeWord(Kw kw, int param)
{
    if (kw == K_u)
        unicode(param);
    else if (kw == K_uc)
        state().uc = quint8(param);
    else
        return false;
    return true;
}

void Reader::unicode(int value)
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
void Reader::textByte(uchar b)
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
void Reader::textChar(char16_t c)
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
        // An object's mark without its object stands for nothing.
        if (c == QChar::ObjectReplacementCharacter)
            return;
        bodyText(QStringView(&c, 1));
        return;
    default:
        return;
    }
}

template <typename Text>
void Reader::bodyText(const Text &text)
{
    decoder.dropLead();
    if (highSurrogate) {
        highSurrogate = 0;
        bodyText(QStringView(u"\uFFFD"));
    }
    builder.appendText(text, state());
}

int Reader::currentCp()
{
    const int cp = tables.fonts.codePage(state().chr.font);
    return cp ? cp : tables.codePage;
}

bool isRtf(const QByteArray &data)
{
    qsizetype i = 0;
    while (i < data.size() && (data.at(i) == ' ' || data.at(i) == '\t' || data.at(i) == '\r' || data.at(i) == '\n'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void readPlainText(const QByteArray &data, QTextDocument *doc)
{
    readPlainText(data, platform::textPieceDecoder(data), doc);
}

bool readPlainText(QByteArrayView data, const platform::PieceDecoder &decode, QTextDocument *doc,
                   const Progress &progress)
{
    // The cursor makes a paragraph of every line, whatever ends it; a CR
    // that ends a piece waits for the next one, which may start with its LF.
    // One insertion per piece: the text of the whole file is never made,
    // and nothing moves the text already in (a CR LF replaced all through
    // a string moves everything after it, again and again).
    constexpr qsizetype kPiece = 256 * 1024;
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    QElapsedTimer sinceTold;
    sinceTold.start();
    QString carried;
    bool stopped = false;
    for (qsizetype at = 0; at < data.size() && !stopped; at += kPiece) {
        const qsizetype n = std::min(kPiece, data.size() - at);
        QString text = decode(data.sliced(at, n));
        if (!carried.isEmpty())
            text.prepend(std::exchange(carried, QString()));
        if (at + n < data.size() && text.endsWith(u'\r')) {
            text.chop(1);
            carried = QStringLiteral("\r");
        }
        cursor.insertText(text);
        if (progress && (at == 0 || sinceTold.elapsed() >= 40)) {
            stopped = !progress(at + n, data.size());
            sinceTold.restart();
        }
    }
    cursor.endEditBlock();
    if (stopped)
        doc->clear();
    doc->setUndoRedoEnabled(undo);
    return !stopped;
}

void read(const QByteArray &data, QTextDocument *doc)
{
    read(data, doc, std::function<bool(qint64, qint64)>());
}

bool read(const QByteArray &data, QTextDocument *doc, const std::function<bool(qint64, qint64)> &progress)
{
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    bool completed = true;
    {
        Reader reader(data, doc);
        if (progress)
            reader.setProgress(&progress);
        reader.run();
        completed = reader.completed();
    }
    doc->setUndoRedoEnabled(undo);
    return completed;
}

QUrl jpegSourceUrl(const QString &imageName)
{
    QUrl url(imageName);
    url.setFragment(QStringLiteral("jpeg-source"));
    return url;
}

}  // namespace rtf
