// The RTF writer: the document's frames, tables, paragraphs and header.
#include "writer.h"

#include "rtf.h"

#include "bounds.h"
#include "codepages.h"
#include "numbering.h"
#include "tables.h"

#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace rtf {

Writer::Writer(const QTextDocument *doc, const kept::Tables &read)
    : doc(doc), next(doc->rootFrame()->begin()), tables(doc->defaultFont(), read), languages(read.languages),
      codePage(read.codePage), pageSettings(read.settings), backgroundRead(read.background),
      namesDefaultFont(read.namesDefaultFont),
      styleSheet(read.styleSheet)
{
    // The file's default font stays its default: kept groups and styles
    // may rely on it.
    // Text that named no font was read in the default font, or where the
    // file had none, in the face readers assume.
    int plainFont = 0;
    const auto deff = std::find_if(read.fonts.begin(), read.fonts.end(), [&read](const kept::Tables::Font &f) {
        return f.id == read.defaultFont && !f.name.isEmpty();
    });
    if (deff != read.fonts.end()) {
        plainFont = deff->id;
    } else if (!read.namesDefaultFont) {
        tables.keepUnnamed();
        plainFont = -1;
    } else {
        const QString family = read.fonts.empty() ? doc->defaultFont().family() : QString();
        plainFont = tables.face(family.isEmpty() ? QString(Fonts::kUnnamedFace) : family);
    }
    cur = plainProps = tables.plain(plainFont);
    for (const kept::Tables::Style &s : read.styleFormats)
        styles.insert(s.id, {s.block, tables.props(-1, s.text)});
    if (codePage != 1252 && codepage::isKnown(codePage))
        ansiText = false;  // escapes would be read in that code page
    else
        codePage = 1252;
    // The header is known only at the end: it goes in room kept for it in
    // front of the body, so that a large body is not copied behind it.
    body.reserve(kHeadRoom + doc->characterCount() * 2 + 1024);
    body.append(kHeadRoom, ' ');
    lineStart = body.size();
}

QByteArray Writer::run()
{
    step(QDeadlineTimer(QDeadlineTimer::Forever));
    return finish();
}

bool Writer::step(const QDeadlineTimer &deadline)
{
    // The clock is read every few items: reading it costs more than a short
    // paragraph.
    int untilLook = 0;
    while (!next.atEnd()) {
        writeItem(next);
        ++next;
        if (--untilLook <= 0) {
            if (deadline.hasExpired())
                break;
            untilLook = 16;
        }
    }
    return next.atEnd();
}

qint64 Writer::written() const
{
    if (next.atEnd())
        return doc->characterCount();
    if (const QTextFrame *frame = next.currentFrame())
        return frame->firstPosition();
    return next.currentBlock().position();
}

QByteArray Writer::finish()
{
    QByteArray out;
    out += "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(codePage);
    if (namesDefaultFont)
        appendWord(out, "\\deff", plainProps.font);
    appendWord(out, "\\deflang", languages.defaultOf(0));
    if (languages.deflangfe)
        appendWord(out, "\\deflangfe", languages.deflangfe);
    if (languages.adeflang)
        appendWord(out, "\\adeflang", languages.adeflang);
    out += "\r\n{\\fonttbl";
    for (const RunTables::Font &font : tables.fontList()) {
        out += "{\\f" + QByteArray::number(font.id) + '\\' + (font.family.isEmpty() ? QByteArray("fnil") : font.family)
            + "\\fcharset" + QByteArray::number(font.charset);
        if (font.cpg)
            out += "\\cpg" + QByteArray::number(font.cpg);
        out += ' ';
        QByteArray name;
        std::swap(name, body);
        const bool ansi = ansiText;
        ansiText = ansiText && font.charset == 0;
        appendText(QString(font.name).remove(u';'));
        ansiText = ansi;
        std::swap(name, body);
        out += name + ";}";
    }
    out += "}\r\n{\\colortbl ;";
    for (QRgb rgb : tables.colors()) {
        if (rgb != kept::kAutoColor)
            out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb))
                + "\\blue" + QByteArray::number(qBlue(rgb));
        out += ';';
    }
    out += "}\r\n";
    if (!styleSheet.isEmpty())
        out += styleSheet + "\r\n";
    if (!wordLists.isEmpty())
        out += wordLists.tables();
    if (!pageSettings.isEmpty())
        out += pageSettings.trimmed() + "\r\n";
    out += background();
    out += "\\viewkind4\\uc1\\pard\\plain";
    if (namesDefaultFont)
        appendWord(out, "\\f", plainProps.font);
    out += "\\fs24\r\n";
    // A document of one empty paragraph (what it holds kept, a header or
    // settings, but no text) ends without a paragraph mark, as it was read:
    // a mark would be a paragraph of the body, and a reader that shows an
    // empty body without its header would show the copy with it.
    if (doc->blockCount() == 1 && doc->firstBlock().length() == 1 && body.endsWith("\\par\r\n"))
        body.chop(6);
    body += "}\r\n";
    if (out.size() <= kHeadRoom) {
        const qsizetype at = kHeadRoom - out.size();
        std::memcpy(body.data() + at, out.constData(), size_t(out.size()));
        body.remove(0, at);   // moves the start, copies nothing
        return std::move(body);
    }
    out.append(body.constData() + kHeadRoom, body.size() - kHeadRoom);
    return out;
}

// The page background as read; one the document has without, as its
// fill colour.
QByteArray Writer::background() const
{
    if (!backgroundRead.isEmpty())
        return backgroundRead + "\r\n";
    const QBrush brush = doc->rootFrame()->frameFormat().background();
    if (brush.style() != Qt::SolidPattern)
        return QByteArray();
    const QRgb rgb = brush.color().rgb();
    return "{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv "
        + QByteArray::number(qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16) + "}}}}}\r\n";
}

void Writer::writeFrame(QTextFrame *frame)
{
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it)
        writeItem(it);
}

void Writer::writeItem(const QTextFrame::iterator &it)
{
    if (QTextFrame *child = it.currentFrame()) {
        if (auto *table = qobject_cast<QTextTable *>(child))
            writeTable(table, 1, 9360);
        else
            writeFrame(child);
    } else {
        writeBlock(it.currentBlock(), 0, "\\par");
    }
}

void Writer::collectBlocks(QTextFrame::iterator it, std::vector<QTextBlock> &blocks)
{
    for (; !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame())
            collectBlocks(child->begin(), blocks);
        else
            blocks.push_back(it.currentBlock());
    }
}

// A table in a cell is written as Word writes one: its paragraphs carry
// their depth, its cells end with \\nestcell and each row's edges come at
// the row's end, beside a flat form for readers that know no nesting.
// width: twips the table spans unless its columns say otherwise.
void Writer::writeTable(QTextTable *table, int depth, qint64 width)
{
    const bool pageBreak = depth == 1 && (table->format().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    const int rows = table->rows(), cols = table->columns();
    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    const int gap = table->format().hasProperty(kept::CellGap) ? table->format().intProperty(kept::CellGap) : 108;
    std::vector<qint64> right(size_t(std::max(cols, 0)));
    qint64 x = 0;
    for (int c = 0; c < cols; ++c) {
        qint64 w = width / std::max(cols, 1);
        // Widths from pasted HTML can be anything: no column is wider
        // than the widest page (22 inches).
        if (c < widths.size() && widths.at(c).type() == QTextLength::FixedLength && widths.at(c).rawValue() > 0)
            w = std::lround(std::min(widths.at(c).rawValue(), kMaxColumnTwips / 15.0) * 15);
        x += w;
        right[size_t(c)] = x;
    }
    for (int r = 0; r < rows; ++r) {
        // The row's cells: a cell spanning columns is one, up to its last
        // edge; one merged down from the row above continues it. Cells past
        // the end of the row, as read, are left out while empty.
        std::vector<QTextTableCell> cells;
        int end = cols;
        while (end > 1) {
            const QTextTableCell last = table->cellAt(r, end - 1);
            if (!last.format().boolProperty(kept::NoCell) || last.row() != r || last.firstPosition() != last.lastPosition())
                break;
            end = last.column();
        }
        QByteArray rowDef = "\\trowd\\trgaph" + QByteArray::number(gap) + "\\trleft0";
        for (int c = 0; c < end;) {
            const QTextTableCell cell = table->cellAt(r, c);
            const int span = std::max(1, cell.column() + cell.columnSpan() - c);
            if (!cells.empty() && cells.size() % 2 == 0)
                rowDef += "\r\n";
            if (cell.row() < r)
                rowDef += "\\clvmrg";
            else if (cell.rowSpan() > 1)
                rowDef += "\\clvmgf";
            const QVariant words = cell.format().property(kept::CellWords);
            if (words.isValid())
                rowDef += words.toByteArray();
            else
                rowDef += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10";
            rowDef += "\\cellx" + QByteArray::number(right[size_t(c + span - 1)]);
            // Cells merged into it as read, with no width of their own.
            if (cell.row() == r)
                for (const QVariant &merged : cell.format().property(kept::MergedCells).toList())
                    rowDef += merged.toByteArray() + "\\cellx" + QByteArray::number(right[size_t(c + span - 1)]);
            cells.push_back(cell);
            c += span;
        }
        if (depth == 1) {
            // A section may start with the table or at one of its rows.
            const QTextTableCell lead = table->cellAt(r, 0);
            if (lead.row() == r) {
                const QTextBlock first = doc->findBlock(lead.firstPosition());
                const bool rowBreak = r == 0 ? pageBreak : bool(first.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
                if (writeSection(first.blockFormat(), rowBreak))
                    sectionBrokeAt = first.blockNumber();
                else if (r == 0 && pageBreak)
                    body += "\\page\r\n";
            }
            body += rowDef + "\r\n";
            lineStart = body.size();
        }
        for (const QTextTableCell &cell : cells) {
            const int c = std::max(cell.column(), 0);
            const int last = std::min(c + cell.columnSpan(), cols) - 1;
            const qint64 cellWidth = right[size_t(last)] - (c > 0 ? right[size_t(c) - 1] : 0);
            writeCell(cell, cell.row() == r, depth, cellWidth);
            if (cell.row() == r) {
                const qsizetype merged = cell.format().property(kept::MergedCells).toList().size();
                for (qsizetype k = 0; k < merged; ++k)
                    body += "\\pard\\intbl" + itap(depth) + (depth == 1 ? "\\cell" : "\\nestcell") + "\r\n";
            }
        }
        if (depth == 1)
            body += "\\row\r\n";
        else
            body += "{\\*\\nesttableprops" + rowDef + "\\nestrow}{\\nonesttables\\par}\r\n";
        lineStart = body.size();
    }
}

void Writer::writeCell(const QTextTableCell &cell, bool origin, int depth, qint64 width)
{
    const char *end = depth == 1 ? "\\cell" : "\\nestcell";
    // Its paragraphs, and the tables in it (null block) that can be
    // written nested; deeper ones are flattened.
    std::vector<std::pair<QTextBlock, QTextTable *>> items;
    for (QTextFrame::iterator it = cell.begin(); origin && !it.atEnd(); ++it) {
        QTextFrame *child = it.currentFrame();
        auto *inner = qobject_cast<QTextTable *>(child);
        if (inner && depth < kMaxTableDepth) {
            items.emplace_back(QTextBlock(), inner);
        } else if (child) {
            std::vector<QTextBlock> blocks;
            collectBlocks(child->begin(), blocks);
            for (const QTextBlock &b : blocks)
                items.emplace_back(b, nullptr);
        } else {
            items.emplace_back(it.currentBlock(), nullptr);
        }
    }
    // Qt puts an empty paragraph before a table that starts the cell.
    if (items.size() > 1 && items[1].second && !items[0].second && items[0].first.length() <= 1)
        items.erase(items.begin());
    if (items.empty() || items.back().second) {
        for (const auto &item : items)
            writeTable(item.second, depth + 1, width);
        body += "\\pard\\intbl" + itap(depth) + end + "\r\n";
        lineStart = body.size();
        return;
    }
    for (size_t k = 0; k < items.size(); ++k) {
        if (items[k].second)
            writeTable(items[k].second, depth + 1, width);
        else
            writeBlock(items[k].first, depth, k + 1 == items.size() ? end : "\\par");
    }
}

// depth: of the table the block is in, 0 outside tables.
void Writer::writeBlock(const QTextBlock &block, int depth, const char *terminator)
{
    const QTextBlockFormat bf = block.blockFormat();
    const bool inTable = depth > 0;
    const bool pageBreak = (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) || breakBeforeNext;
    const bool sectionBreaks = inTable ? block.blockNumber() == sectionBrokeAt : writeSection(bf, pageBreak);
    body += "\\pard";
    if (inTable)
        body += "\\intbl" + itap(depth);
    writeStyle(block, bf);
    if (pageBreak && !sectionBreaks)
        body += "\\pagebb";
    breakBeforeNext = !inTable && (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter);
    QTextList *list = block.textList();
    int indentPx = 0;
    if (list) {
        const QTextListFormat lf = list->format();
        const int level = std::max(1, lf.indent());
        const int numbered = writtenLevel(lf), start = startNumber(lf);
        const auto style = lf.style();
        if (style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
            || style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman
            || style == QTextListFormat::ListUpperRoman) {
            const char *kind = style == QTextListFormat::ListDecimal ? "\\pndec"
                : style == QTextListFormat::ListLowerAlpha           ? "\\pnlcltr"
                : style == QTextListFormat::ListUpperAlpha           ? "\\pnucltr"
                : style == QTextListFormat::ListLowerRoman           ? "\\pnlcrm"
                                                                     : "\\pnucrm";
            body += "{\\pntext\\f0 ";
            appendText(itemText(list, block));
            appendWord(body, "\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart", start);
            body += kind;
            body += "{\\pntxta.}}\\ls" + QByteArray::number(wordLists.number(list, style, numbered, start, listGroup(lf)))
                + "\\ilvl" + QByteArray::number(numbered);
        } else {
            const QByteArray f = QByteArray::number(tables.useSymbolFont());
            body += "{\\pntext\\f" + f + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + f + "\\pnindent0{\\pntxtb\\'B7}}\\ls"
                + QByteArray::number(wordLists.number(list, style, numbered, 1, listGroup(lf))) + "\\ilvl"
                + QByteArray::number(numbered);
        }
        appendWord(body, "\\fi-360\\li", 720 * level);
    } else {
        indentPx = bf.indent() * int(doc->indentWidth());
        const int li = int(std::lround((bf.leftMargin() + indentPx) * 15));
        const int fi = int(std::lround(bf.textIndent() * 15));
        if (li)
            appendWord(body, "\\li", li);
        if (fi)
            appendWord(body, "\\fi", fi);
    }
    const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignHCenter)
        body += "\\qc";
    else if (align & Qt::AlignRight)
        body += "\\qr";
    else if (align & Qt::AlignJustify)
        body += "\\qj";
    twips("\\ri", bf.rightMargin());
    twips("\\sb", bf.topMargin());
    twips("\\sa", bf.bottomMargin());
    switch (bf.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (bf.lineHeight() > 0) {  // 100 too: it overrides a style's
            appendWord(body, "\\sl", qlonglong(std::lround(bf.lineHeight() * 2.4)));
            body += "\\slmult1";
        }
        break;
    case QTextBlockFormat::FixedHeight:
        if (bf.lineHeight() > 0) {
            appendWord(body, "\\sl-", qlonglong(std::lround(bf.lineHeight() * 15)));
            body += "\\slmult0";
        }
        break;
    case QTextBlockFormat::MinimumHeight:
        if (bf.lineHeight() > 0) {
            appendWord(body, "\\sl", qlonglong(std::lround(bf.lineHeight() * 15)));
            body += "\\slmult0";
        }
        break;
    default:
        break;
    }
    if (bf.headingLevel() > 0)
        appendWord(body, "\\outlinelevel", std::min(bf.headingLevel(), 9) - 1);
    if (bf.hasProperty(QTextFormat::TabPositions)) {
        for (const QTextOption::Tab &tab : bf.tabPositions()) {
            switch (tab.type) {
            case QTextOption::RightTab: body += "\\tqr"; break;
            case QTextOption::CenterTab: body += "\\tqc"; break;
            case QTextOption::DelimiterTab: body += "\\tqdec"; break;
            default: break;
            }
            appendWord(body, "\\tx", qlonglong(std::lround(tab.position * 15)));
        }
    }
    body += ' ';
    const bool held = bf.hasProperty(kept::Held) && heldWritten.insert(bf.intProperty(kept::Id)) != heldWritten.end();
    if (held)
        appendKept(bf.property(kept::Held).toByteArray());

    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.isValid())
            continue;
        const QTextCharFormat cf = frag.charFormat();
        const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
        if (href.isEmpty()) {
            writeFragment(frag, cf);
            continue;
        }
        // A run of fragments with the same link becomes one field.
        closeSpan();
        // The link's text is formatted before the field begins: readers
        // give a result the formatting in force where its field starts.
        if (!cf.isImageFormat())
            setProps(tables.props(frag.charFormatIndex(), cf));
        body += "{\\field{\\*\\fldinst{HYPERLINK \"";
        QString escaped = href;
        escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("%22"));
        appendText(escaped);
        body += "\"}}{\\fldrslt{";
        const RunProps saved = cur;
        writeFragment(frag, cf);
        while (true) {
            QTextBlock::iterator next = it;
            ++next;
            if (next.atEnd())
                break;
            const QTextCharFormat nf = next.fragment().charFormat();
            if (!nf.isAnchor() || nf.anchorHref() != href)
                break;
            it = next;
            writeFragment(it.fragment(), nf);
        }
        closeSpan();
        body += "}}}";
        cur = saved;
    }
    closeSpan();
    // The paragraph mark keeps the paragraph's own character format:
    // Word and LibreOffice draw the bullet or number with it.
    setProps(tables.props(block.charFormatIndex(), block.charFormat()));
    lastBlockHasText = block.length() > 1 || held;
    // A column break ends the last of the paragraphs splitting this one made.
    if (bf.hasProperty(kept::Break) && !qstrcmp(terminator, "\\par")
        && block.next().blockFormat().intProperty(kept::Id) != bf.intProperty(kept::Id))
        body += bf.property(kept::Break).toByteArray();
    else
        body += terminator;
    body += "\r\n";
    lineStart = body.size();
}

// The section a paragraph or table starts, once however often splitting
// the paragraph copied it: the paragraph before ends with the break.
// True when the break starts the page the paragraph wants.
bool Writer::writeSection(const QTextBlockFormat &bf, bool pageBreak)
{
    if (!bf.hasProperty(kept::Section) || sectionsWritten.contains(bf.intProperty(kept::Id)))
        return false;
    sectionsWritten.insert(bf.intProperty(kept::Id));
    const QByteArray words = bf.property(kept::Section).toByteArray();
    // The first section's headers and footers come without a break.
    const bool isBreak = words.startsWith("\\sect") && (words.size() == 5 || !std::isalpha(uchar(words.at(5))));
    if (isBreak && lastBlockHasText && body.endsWith("\\par\r\n"))
        body.chop(6);
    body += words;
    const bool breaks = isBreak && !words.contains("\\sbknone") && !words.contains("\\sbkcol");
    if (breaks && !pageBreak)
        body += "\\sbknone";
    body += "\r\n";
    lineStart = body.size();
    return breaks;
}

void Writer::twips(const char *word, qreal px)
{
    const long v = std::lround(px * 15);
    if (v)
        appendWord(body, word, qlonglong(v));
}

// The paragraph style read, where what this paragraph writes overrides
// all the style gives it: it sets no tab stops, and sets nothing that
// this paragraph has at its default, which is not written. Readers give
// the text the style's formatting or keep what went before: \\plain
// where the two differ.
void Writer::writeStyle(const QTextBlock &block, const QTextBlockFormat &bf)
{
    if (styles.isEmpty())
        return;
    auto known = styleOfFormat.constFind(block.blockFormatIndex());
    if (known == styleOfFormat.constEnd())
        known = styleOfFormat.insert(block.blockFormatIndex(), fittingStyle(bf, block.textList()));
    if (*known == INT_MIN)
        return;
    appendWord(body, "\\s", *known);
    const auto style = styles.constFind(*known);
    RunProps now = cur;
    if (style != styles.constEnd())
        now.dbchFont = style->text.dbchFont;
    if (style == styles.constEnd() || !(style->text == now))
        writePlain();
}

int Writer::fittingStyle(const QTextBlockFormat &bf, bool inList) const
{
    if (!bf.hasProperty(kept::ParagraphStyle))
        return INT_MIN;
    const int id = bf.intProperty(kept::ParagraphStyle);
    const auto it = styles.constFind(id);
    if (it == styles.constEnd())
        return INT_MIN;
    const QTextBlockFormat &style = it->block;
    const auto unset = [&](QTextFormat::Property p) {
        return bf.doubleProperty(p) != 0 || style.doubleProperty(p) == 0;
    };
    const auto notLeft = [](const QTextBlockFormat &f) { return f.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignLeft; };
    if (!style.tabPositions().isEmpty() || !unset(QTextFormat::BlockLeftMargin) || !unset(QTextFormat::TextIndent)
        || !unset(QTextFormat::BlockRightMargin) || !unset(QTextFormat::BlockTopMargin)
        || !unset(QTextFormat::BlockBottomMargin)
        || (style.lineHeightType() != QTextBlockFormat::SingleHeight && bf.lineHeightType() == QTextBlockFormat::SingleHeight)
        || (notLeft(style) && !notLeft(bf)) || style.pageBreakPolicy() != QTextFormat::PageBreak_Auto
        || (style.boolProperty(kept::StyleNumbers) && !inList))
        return INT_MIN;
    return id;
}

QByteArray write(const QTextDocument *doc)
{
    return Writer(doc, kept::loadTables(doc)).run();
}

SlicedWriter::SlicedWriter(const QTextDocument *doc) : writer(std::make_unique<Writer>(doc, kept::loadTables(doc))) {}

SlicedWriter::~SlicedWriter() = default;

bool SlicedWriter::step(int milliseconds)
{
    return done = done || writer->step(QDeadlineTimer(milliseconds, Qt::PreciseTimer));
}

qint64 SlicedWriter::written() const { return writer->written(); }

QByteArray SlicedWriter::result()
{
    Q_ASSERT(done);
    return writer->finish();
}

}  // namespace rtf
