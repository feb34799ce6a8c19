// The RTF reader: fields, drawing objects, and the groups kept as read.
#include "reader.h"

#include "kept.h"
#include "sections.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QRegularExpression>

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
    // A quotation mark cannot stand in the instruction's quotes: writers
    // give it as %22, which means the same in an address.
    url.replace(QLatin1String("%22"), QLatin1String("\""));
    if (!anchor.isEmpty())
        url += u'#' + anchor;
    return url;
}

}  // namespace

void Reader::beginField()
{
    if (fields.size() >= 64)
        return;
    const char *open = tokens.lastGroupOpen();
    const bool clean = tokens.groupDepth() > 1 && open && kept::onlyWordsBetween(open, tokens.wordStart());
    fields.push_back({tokens.groupDepth(), clean ? open : nullptr, builder.shownCount()});
}

void Reader::fieldResult(bool keepAround)
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

void Reader::endField()
{
    const OpenField f = fields.back();
    fields.pop_back();
    // Text shown from a field without a result it knows (a broken one)
    // stands for it: keeping the field too would show that text twice.
    const bool shown = f.spanning ? builder.endKeptSpan() : f.result || builder.shownCount() != f.shownBefore;
    if (shown || !f.open || shapeDepth)
        return;
    // Nothing shown: the whole field, its closing brace read just now.
    builder.keep(QByteArray(f.open, tokens.position() - f.open));
}

// The link the field's result carries, -1 for none.
int Reader::finishField()
{
    const QString url = hyperlinkTarget(fieldInst.trimmed());
    fieldInst.clear();
    if (url.isEmpty())
        return -1;
    tables.links.append(url);
    return int(tables.links.size() - 1);
}

// A shape is kept whole as read; what its result or text box shows
// stands for it in the document. One showing nothing is kept as a group.
void Reader::beginShape()
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

void Reader::endShape()
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
void Reader::dropField()
{
    if (shapeDepth == tokens.groupDepth())
        endShape();
    if (!fields.empty() && fields.back().depth == tokens.groupDepth()) {
        if (fields.back().spanning)
            builder.endKeptSpan();
        fields.pop_back();
    }
}

void Reader::keepGroup(Kw kw, bool starred)
{
    // A shape holds it, or a field before its result, which is kept from
    // its brace up to there.
    if (shapeDepth || (!fields.empty() && fields.back().open && !fields.back().result)) {
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
        qsizetype slashes = 0;  // a backslash the data ended on would escape the first
        while (slashes < bytes.size() && bytes[bytes.size() - 1 - slashes] == '\\')
            ++slashes;
        bytes.chop(slashes % 2);
        bytes.append(QByteArray(unclosed, '}'));
    }
    if (!isSectionGroup(kw) || !builder.keepInSection(bytes))
        builder.keep(bytes);
}

// The page background: a drawing object of its own, kept as read and
// written with the document's settings; a plain fill colour is shown.
void Reader::keepBackground()
{
    const char *open = tokens.lastGroupOpen();
    const bool whole = tokens.groupDepth() > 1 && open && kept::onlyWordsBetween(open, tokens.wordStart());
    const char *end = tokens.groupEnd();
    if (whole && background.isEmpty() && end[-1] == '}') {
        background = QByteArray(open, end - open);
        const auto property = [this](const char *name) {
            static const QString pattern = QStringLiteral("\\\\sn\\s*%1\\s*\\}\\s*\\{\\\\sv\\s*(-?\\d+)");
            const QRegularExpressionMatch m =
                QRegularExpression(pattern.arg(QLatin1String(name))).match(QLatin1String(background));
            return m.hasMatch() ? m.captured(1).toLongLong() : -1;
        };
        const qint64 fill = property("fillColor");
        if (fill >= 0 && fill <= 0xFFFFFF && property("fFilled") != 0 && property("fillType") <= 0) {
            QTextFrameFormat f = builder.document()->rootFrame()->frameFormat();
            f.setBackground(QColor(int(fill & 0xFF), int(fill >> 8 & 0xFF), int(fill >> 16 & 0xFF)));
            builder.document()->rootFrame()->setFrameFormat(f);
        }
    }
    skipGroup();
}

void Reader::saveKeptTables()
{
    kept::Tables t;
    t.codePage = tables.codePage;
    t.defaultFont = tables.defaultFont;
    t.namesDefaultFont = false;
    tables.fonts.forEach([&t](int id, const Fonts::Font &f) {
        t.namesDefaultFont = t.namesDefaultFont || (id == t.defaultFont && !f.name.isEmpty());
    });
    t.languages = tables.languages;
    t.settings = pageSettings;
    t.background = background;
    t.styleSheet = styleSheet;
    if (!styleSheet.isEmpty()) {
        t.characterStyles = tables.styles.characterStyles();
        FormatCache formats(tables);
        tables.styles.forEachApplied([&](int id, const CharProps &chr, const ParaProps &para) {
            QTextBlockFormat block = formats.blockFormat(para, false);
            if (para.listKind)
                block.setProperty(kept::StyleNumbers, true);
            t.styleFormats.push_back({id, block, formats.charFormat(chr)});
        });
    }
    tables.fonts.forEach([&t](int id, const Fonts::Font &f) {
        t.fonts.push_back({id, f.charset < 0 ? 0 : f.charset, f.name, f.cpg, f.family});
    });
    for (int i = 1; i < tables.colors.count(); ++i) {
        const QColor c = tables.colors.color(i);
        t.colors << (c.isValid() ? c.rgb() & 0xFFFFFF : kept::kAutoColor);
    }
    kept::saveTables(builder.document(), t);
}

}  // namespace rtf
