#include "builder.h"

#include "kept.h"
#include "rtf.h"

#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>

namespace rtf {

DocumentBuilder::DocumentBuilder(QTextDocument *doc, const DocumentTables &tables)
    : doc(doc), cursor(doc), tables(tables), formats(tables)
{
    cursor.beginEditBlock();
}

// ---- text and paragraphs --------------------------------------------------

namespace {
// The mark of a cell's first paragraph is the cell's own: setting its
// format keeps the cell's spans and what is kept of it.
QTextCharFormat keepingCell(const QTextBlock &block, QTextCharFormat f)
{
    const QTextCharFormat old = block.charFormat();
    for (const int p : {int(QTextFormat::TableCellRowSpan), int(QTextFormat::TableCellColumnSpan), int(kept::CellWords), int(kept::NoCell)})
        if (old.hasProperty(p))
            f.setProperty(p, old.property(p));
    return f;
}

QString toString(QLatin1StringView text) { return QString(text); }
QString toString(QStringView text) { return text.toString(); }
}  // namespace

template <typename Text>
void DocumentBuilder::append(const Text &whole, const State &s)
{
    if (s.chr.hidden) {
        if (!hiddenText.isEmpty() && !(hiddenProps == s.chr))
            keepHidden();
        if (hiddenText.isEmpty()) {
            hiddenProps = s.chr;
            CharProps shown = s.chr;
            shown.hidden = 0;
            hiddenAsRun = !runText.isEmpty() && shown == runProps;
        }
        hiddenText += whole;
        return;
    }
    if (!hiddenText.isEmpty())
        flushText();
    if (needsPrepare(s)) {
        flushText();
        prepareContent(s, 0);
    }
    Text text = whole;
    shown += text.size();
    if (!keptPending.isEmpty() && !spanOpen && keptAnchors < kept::kMaxAnchors && !text.isEmpty()) {
        // The first character holds the groups that came before it.
        flushText();
        const qsizetype n = text.size() > 1 && QChar::isHighSurrogate(char16_t(QChar(text.at(0)).unicode())) ? 2 : 1;
        QTextCharFormat f = formats.charFormat(s.chr);
        takePendingKept(f);
        cursor.insertText(toString(text.left(n)), f);
        paraHasContent = true;
        text = text.sliced(n);
        if (text.isEmpty())
            return;
    }
    if (!runText.isEmpty() && !(runProps == s.chr))
        flushText();
    if (runText.isEmpty())
        runProps = s.chr;
    runText.append(text);
    paraHasContent = true;
}

void DocumentBuilder::appendText(QLatin1StringView text, const State &s) { append(text, s); }

void DocumentBuilder::appendText(QStringView text, const State &s) { append(text, s); }

void DocumentBuilder::flushText()
{
    if (!runText.isEmpty())
        insertRun();
    if (!hiddenText.isEmpty())
        keepHidden();
}

void DocumentBuilder::insertRun()
{
    if (spanOpen) {
        QTextCharFormat f = formats.charFormat(runProps);
        f.merge(spanFormat);
        if (!spanHasText)
            spanStart = cursor.position();
        cursor.insertText(runText, f);
        spanHasText = true;
    } else {
        cursor.insertText(runText, formats.charFormat(runProps));
    }
    runText.resize(0);
}

bool DocumentBuilder::canEndParagraph(const State &s) const
{
    return blockBudget > 0 || paraHasContent || table || s.para.intbl;
}

void DocumentBuilder::endParagraph(const State &s, const QByteArray &breakWord)
{
    flushText();
    prepareContent(s, 0);
    holdPending();
    applyBlockFormat(s);
    if (!breakWord.isEmpty()) {
        QTextBlockFormat f;
        f.setProperty(kept::Break, breakWord);
        if (!cursor.blockFormat().hasProperty(kept::Id))
            f.setProperty(kept::Id, nextKeptId());
        cursor.mergeBlockFormat(f);
        haveBlockFormat = false;
    }
    pendingBreak = true;
    breakCostsBudget = !paraHasContent;
    paraHasContent = false;
}

void DocumentBuilder::paragraphIntoTable(const State &s)
{
    if (table || spanOpen || pendingBreak || placeholderPending)
        return;
    flushText();
    QTextCursor held = cursor;
    held.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    if (!held.hasSelection())
        return;
    const QTextDocumentFragment text = held.selection();
    held.removeSelectedText();
    if (cursor.block().previous().isValid()) {
        cursor.deletePreviousChar();  // the paragraph's own break: it comes again in the cell
        pendingBreak = true;
        breakCostsBudget = false;
    }
    prepareContent(s, 0);
    cursor.insertFragment(text);
}

bool DocumentBuilder::needsPrepare(const State &s) const
{
    return pendingBreak || placeholderPending || tableDepth(s.para) != depth()
        || (table && (needCellAdvance || rowEnded));
}

// Puts the cursor where the next content goes: after a paragraph break,
// into or out of a table (at least minDepth deep), after a pending picture
// placeholder.
void DocumentBuilder::prepareContent(const State &s, int minDepth)
{
    if (placeholderPending) {
        placeholderPending = false;
        insertImage(PictureReader::placeholder(), placeholderW, placeholderH, QByteArray(), nullptr);
    }
    const int want = std::max(tableDepth(s.para), minDepth);
    while (depth() > want)
        leaveTable();
    if (table) {
        if (rowEnded)
            nextRow();
        else if (needCellAdvance)
            nextCell();
    }
    while (depth() < want)
        enterTable();
    if (pendingBreak) {
        pendingBreak = false;
        if (breakCostsBudget) {
            if (blockBudget <= 0) {
                cursor.insertText(QString(QChar::LineSeparator));
                return;
            }
            --blockBudget;
        }
        // The new paragraph most likely has the format of the one before.
        if (!haveBlockFormat)
            blockFormatNow = QTextBlockFormat();
        const CharProps mark = s.chr;
        cursor.insertBlock(blockFormatNow, formats.charFormat(mark));
        blockCharNow = mark;
        haveBlockFormat = haveBlockChar = true;
    }
}

namespace {
ParaProps withPageBreak(ParaProps pp)
{
    pp.pagebb = 1;
    return pp;
}
}  // namespace

// Gives the paragraph under the cursor its format and list.
void DocumentBuilder::applyBlockFormat(const State &s)
{
    const ParaProps &pp = s.para;
    Numbering n;
    if (pp.listKind == 2) {
        n.style = tables.lists.levelStyle(pp.ls, pp.ilvl);
        n.word = n.style != QTextListFormat::ListStyleUndefined;
        n.group = pp.ls;
        // Indented as the paragraph says, as Word shows it, else by its level.
        n.indent = pp.li > 0 ? std::clamp((pp.li + 360) / 720, 1, 9) : pp.ilvl + 1;
        n.level = pp.ilvl;
        n.start = tables.lists.levelStart(pp.ls, pp.ilvl);
    }
    if (!n.word && pp.pnStyle) {
        n.style = QTextListFormat::Style(pp.pnStyle);
        n.group = 0;
        n.indent = std::clamp((pp.li + 360) / 720, 1, 9);
        n.level = pp.pnLevel ? pp.pnLevel - 1 : 0;
        n.start = pp.pnStart ? pp.pnStart : 1;
    }
    const QTextListFormat::Style style = n.style;
    const bool inList = style != QTextListFormat::ListStyleUndefined;
    const bool breakBefore = pageBreakPending && !pp.pagebb;
    pagesBroken += breakBefore || pp.pagebb;
    pageBreakPending = false;
    const QTextBlockFormat &bf = formats.blockFormat(breakBefore ? withPageBreak(pp) : pp, inList);
    if (!haveBlockFormat || !(blockFormatNow == bf) || cursor.block().textList()) {
        cursor.setBlockFormat(bf);
        blockFormatNow = bf;
        haveBlockFormat = true;
    }
    if (sectionPending)
        attachSection();
    if (!heldBytes.isEmpty())
        attachHeld();
    // The paragraph mark's character format: Qt sizes an empty
    // paragraph and draws a list marker with it.
    const CharProps mark = s.chr;
    if (!haveBlockChar || !(mark == blockCharNow)) {
        cursor.setBlockCharFormat(keepingCell(cursor.block(), formats.charFormat(mark)));
        blockCharNow = mark;
        haveBlockChar = true;
    }
    if (inList)
        lists.attach(cursor, n);
    else
        lists.interrupt();
}

// ---- tables -----------------------------------------------------------------

void DocumentBuilder::addCellEdge(int x)
{
    if (cellx.size() < size_t(kMaxColumns)) {
        cellx.push_back(x);
        grid.cellWords.push_back(grid.wordsPending);
    }
    grid.wordsPending.clear();
}

void DocumentBuilder::addRowWord(const QByteArray &word)
{
    // Within reason: a cell's definition is a few borders and shadings.
    if (grid.wordsPending.size() + word.size() <= 4096)
        grid.wordsPending += word;
}

namespace {
// The state a cell or row ends in: the outermost table's, or for \\nestcell
// and \\nestrow the nested one the paragraph is in.
State endingIn(const State &s, bool nested)
{
    State in = s;
    in.para.intbl = 1;
    in.para.itap = quint8(nested ? std::clamp(tableDepth(s.para), 2, kMaxTableDepth) : 1);
    return in;
}
}  // namespace

void DocumentBuilder::endCell(const State &s, bool nested)
{
    flushText();
    const State inCell = endingIn(s, nested);
    if (needCellAdvance && table && depth() == tableDepth(inCell.para) && !placeholderPending && keptPending.isEmpty()
        && size_t(grid.cellIndex + 1) < grid.cellStarts.size() && grid.cellStarts[size_t(grid.cellIndex + 1)] < 0) {
        // An empty cell merged into the one before: nothing of it is left.
        ++grid.cellIndex;
        grid.wordsPending.clear();
        return;
    }
    prepareContent(inCell, tableDepth(inCell.para));
    holdPending();
    applyBlockFormat(s);
    needCellAdvance = true;
    paraHasContent = false;
    grid.wordsPending.clear();
}

void DocumentBuilder::endRow(const State &s, bool nested)
{
    flushText();
    const State inRow = endingIn(s, nested);
    const int d = tableDepth(inRow.para);
    if (depth() < d)
        return;
    if (placeholderPending || depth() > d)
        prepareContent(inRow, d);
    if (table && depth() == d) {
        keepWidths();
        keepCellWords();
    }
    rowEnded = true;
    needCellAdvance = false;
    pendingBreak = false;
    paraHasContent = false;
}

void DocumentBuilder::enterTable()
{
    if (table) {
        // A table in a cell: its rows come with their edges at their ends.
        outerTables.push_back({std::move(cellx), rowLeft, cellGap, table, row, col, needCellAdvance, rowEnded, std::move(grid)});
        cellx.clear();
        grid = Grid();
    }
    QTextTableFormat tf;
    tf.setBorder(1);
    tf.setCellSpacing(0);
    tf.setCellPadding(3);
    tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    if (pageBreakPending) {
        tf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        ++pagesBroken;
    }
    pageBreakPending = false;
    if (outerTables.empty())
        takeDefinitionAhead();
    table = cursor.insertTable(1, std::max<int>(1, int(distinctEdges(cellx).size())), tf);
    blockBudget -= table->columns() + 1;
    haveBlockFormat = haveBlockChar = false;
    row = col = 0;
    pendingBreak = needCellAdvance = rowEnded = false;
    lists.breakRun();
    grid.edges.clear();
    layRow();
}

void DocumentBuilder::nextRow()
{
    if (row + 1 >= table->rows() && blockBudget < table->columns()) {
        // Out of paragraphs: later rows share the last one.
        col = 0;
        cursor.setPosition(table->cellAt(row, 0).lastPosition());
        haveBlockFormat = haveBlockChar = false;
        needCellAdvance = rowEnded = false;
        pendingBreak = true;
        return;
    }
    if (row + 1 >= table->rows()) {
        // Qt works out the whole grid again after each change of shape: grow
        // in steps of up to 256 rows and trim the spare ones when the table
        // ends.
        const qint64 cols = table->columns();
        const qint64 add = std::clamp<qint64>(table->rows(), 1, std::min<qint64>(256, blockBudget / cols));
        table->appendRows(int(add));
        blockBudget -= add * cols;
    }
    ++row;
    col = 0;
    if (outerTables.empty())
        takeDefinitionAhead();
    layRow();
    cursor.setPosition(table->cellAt(row, 0).firstPosition());
    haveBlockFormat = haveBlockChar = false;
    pendingBreak = needCellAdvance = rowEnded = false;
}

void DocumentBuilder::nextCell()
{
    needCellAdvance = false;
    haveBlockFormat = haveBlockChar = false;
    // The next cell of the row, where its edges put it; past them, the
    // next column.
    const QTextTableCell here = table->cellAt(row, col);
    int next = here.column() + here.columnSpan();
    ++grid.cellIndex;
    if (size_t(grid.cellIndex) < grid.cellStarts.size())
        next = grid.cellStarts[size_t(grid.cellIndex)];
    if (next < 0) {
        // Merged into the cell before (its edge is that one's): what it
        // holds goes on there.
        cursor.setPosition(here.lastPosition());
        pendingBreak = true;
        return;
    }
    if (next >= table->columns() && (table->columns() >= kMaxColumns || blockBudget < table->rows())) {
        // Extra cells of an over-wide row share the last column.
        cursor.setPosition(here.lastPosition());
        pendingBreak = true;
        return;
    }
    if (next >= table->columns()) {
        appendCellColumn();
        blockBudget -= table->rows();
        for (int r = 0; r < row; ++r)
            markNoCell(r, next, true);
    }
    col = next;
    markNoCell(row, col, false);  // a cell after all
    cursor.setPosition(table->cellAt(row, col).firstPosition());
    pendingBreak = false;
}

void DocumentBuilder::leaveTable()
{
    trimTable();
    cursor.setPosition(table->lastPosition() + 1);
    haveBlockFormat = haveBlockChar = false;
    table = nullptr;
    pendingBreak = needCellAdvance = rowEnded = false;
    lists.breakRun();
    if (!outerTables.empty()) {
        // Back in the cell that holds it, after it.
        OuterTable &o = outerTables.back();
        cellx = std::move(o.cellx);
        rowLeft = o.rowLeft;
        cellGap = o.cellGap;
        table = o.table;
        row = o.row;
        col = o.col;
        needCellAdvance = o.needCellAdvance;
        rowEnded = o.rowEnded;
        grid = std::move(o.grid);
        outerTables.pop_back();
    }
}

void DocumentBuilder::appendColumns(int count)
{
    // The widths come again from the first row with a cell in each column.
    QTextTableFormat tf = table->format();
    tf.clearColumnWidthConstraints();
    table->setFormat(tf);
    table->appendColumns(count);
    grid.edges.clear();
}

// A column for a cell past the last edge its row defines. Readers that
// lay cells out by their edges put the edges in order, one a cell, and give
// such a cell none of its own; it takes the width of the cell before it, so
// that what it holds is seen, and is written back with an edge of its own
// and nothing else.
void DocumentBuilder::appendCellColumn()
{
    constexpr int kNarrowest = 360;  // a quarter inch
    if (grid.edges.size() != size_t(table->columns()) || grid.edges.back() > INT_MAX - kMaxColumnTwips) {
        appendColumns(1);
        return;
    }
    const int last = grid.edges.back();
    const int before = grid.edges.size() > 1 ? grid.edges[grid.edges.size() - 2] : grid.left;
    table->appendColumns(1);
    grid.edges.push_back(last + int(std::clamp<qint64>(qint64(last) - before, kNarrowest, kMaxColumnTwips)));
    setWidths();
    // Nothing defined it: no borders, no shading.
    QTextTableCell cell = table->cellAt(row, table->columns() - 1);
    QTextCharFormat f = cell.format();
    f.setProperty(kept::CellWords, QByteArray());
    cell.setFormat(f);
}

// A row is what its \\row finds defined: a definition given again after
// its cells (or only there) holds over the one before them.
void DocumentBuilder::takeDefinitionAhead()
{
    std::vector<int> ahead;
    int left = 0;
    if (!definitionAhead || !definitionAhead(ahead, left) || (ahead == cellx && left == rowLeft))
        return;
    if (ahead.size() > size_t(kMaxColumns))
        ahead.resize(size_t(kMaxColumns));
    cellx = std::move(ahead);
    rowLeft = left;
    grid.cellWords.assign(cellx.size(), QByteArray());
}

// Whether the row's edges are in order, from its left.
namespace {
bool inOrder(const std::vector<int> &edges, int left)
{
    for (const int x : edges) {
        if (x <= left)
            return false;
        left = x;
    }
    return !edges.empty();
}
}  // namespace

// A row's edges, each once where they do not go back: a cell ending where
// the cell before it ends (merged into it, \clmrg) has no width of its own.
std::vector<int> DocumentBuilder::distinctEdges(const std::vector<int> &cellx)
{
    if (!std::is_sorted(cellx.begin(), cellx.end()))
        return cellx;
    std::vector<int> edges = cellx;
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    return edges;
}

// Lays the row about to be read out on the table's columns: the edges the
// row gives that the table has not are new columns (a cell of the rows
// before over such an edge now spans both sides of it), and each of its
// cells spans the columns between its edges. A row whose edges are not in
// order, or come only at its end (a nested table's), takes a column for
// each cell; the columns' widths then come from the first row with a cell
// in each (keepWidths).
void DocumentBuilder::layRow()
{
    grid.cellStarts.clear();
    grid.cellIndex = 0;
    const std::vector<int> edges = distinctEdges(cellx);
    if (row == 0 && grid.edges.empty() && edges.size() == size_t(table->columns()) && inOrder(edges, rowLeft)) {
        grid.edges = edges;
        grid.left = rowLeft;
        setWidths();
    }
    if (grid.edges.empty() || !inOrder(edges, grid.left) || !addEdges(edges)) {
        // One column a cell, as many as the row says it has.
        const int more = int(cellx.size()) - table->columns();
        if (more > 0 && blockBudget >= qint64(more) * table->rows()) {
            blockBudget -= qint64(more) * table->rows();
            appendColumns(more);
            for (int r = 0; r < row; ++r)
                for (int c = table->columns() - more; c < table->columns(); ++c)
                    markNoCell(r, c, true);
        }
        return;
    }
    int start = 0;
    for (size_t k = 0; k < cellx.size(); ++k) {
        const int x = cellx[k];
        if (k > 0 && x == cellx[k - 1]) {
            grid.cellStarts.push_back(-1);  // merged into the cell before
            continue;
        }
        const int end = int(std::lower_bound(grid.edges.begin(), grid.edges.end(), x) - grid.edges.begin());
        grid.cellStarts.push_back(start);
        if (end > start)
            mergeCells(row, start, 1, end - start + 1);
        start = end + 1;
    }
    for (int c = start; c < table->columns(); ++c)
        markNoCell(row, c, true);
}

// The row's edges the table has not yet, as new columns; false, and the
// table left as it was, when they would be too many.
bool DocumentBuilder::addEdges(const std::vector<int> &edges)
{
    int added = 0;
    for (const int x : edges)
        added += !std::binary_search(grid.edges.begin(), grid.edges.end(), x);
    if (added == 0)
        return true;
    if (table->columns() + added > kMaxColumns || blockBudget < qint64(added) * table->rows())
        return false;
    blockBudget -= qint64(added) * table->rows();
    for (const int x : edges) {
        const auto at = std::lower_bound(grid.edges.begin(), grid.edges.end(), x);
        if (at != grid.edges.end() && *at == x)
            continue;
        const int split = int(at - grid.edges.begin());
        const bool past = at == grid.edges.end();
        grid.edges.insert(at, x);
        if (past) {
            // Past the rows before: no cell of theirs there.
            table->appendColumns(1);
            for (int r = 0; r < row; ++r)
                markNoCell(r, split, true);
            continue;
        }
        // The new column goes right of the edge, beside the one it splits.
        table->insertColumns(split + 1, 1);
        for (int r = 0; r < row; ++r) {
            const QTextTableCell cell = table->cellAt(r, split);
            if (!cell.isValid() || cell.row() != r)
                continue;
            if (cell.format().boolProperty(kept::NoCell))
                markNoCell(r, split + 1, true);
            else if (cell.column() + cell.columnSpan() == split + 1)
                mergeCells(r, cell.column(), cell.rowSpan(), cell.columnSpan() + 1);
        }
    }
    setWidths();
    return true;
}

// The columns' widths, as the edges give them. No column is wider than the
// widest page.
void DocumentBuilder::setWidths()
{
    QTextTableFormat tf = table->format();
    QList<QTextLength> widths;
    int left = grid.left;
    for (const int x : grid.edges) {
        widths.append(QTextLength(QTextLength::FixedLength, std::min(x - left, kMaxColumnTwips) / 15.0));
        left = x;
    }
    tf.setColumnWidthConstraints(widths);
    tf.setProperty(kept::CellGap, std::max(cellGap, 0));  // none given is none
    table->setFormat(tf);
}

// Qt gives a cell the first paragraph's formats of the (empty) cells
// merged into it where it is empty itself: it keeps its own, and what is
// kept on them.
void DocumentBuilder::mergeCells(int r, int c, int rows, int cols)
{
    const QTextBlock first = doc->findBlock(table->cellAt(r, c).firstPosition());
    const QTextBlockFormat bf = first.blockFormat();
    const QTextCharFormat cf = first.charFormat();
    table->mergeCells(r, c, rows, cols);
    QTextCursor at(doc);
    at.setPosition(table->cellAt(r, c).firstPosition());
    at.setBlockFormat(bf);
    at.setBlockCharFormat(keepingCell(at.block(), cf));
}

void DocumentBuilder::markNoCell(int r, int c, bool none)
{
    QTextTableCell cell = table->cellAt(r, c);
    if (!cell.isValid() || cell.format().boolProperty(kept::NoCell) == none)
        return;
    QTextCharFormat f = cell.format();
    if (none)
        f.setProperty(kept::NoCell, true);
    else
        f.clearProperty(kept::NoCell);
    cell.setFormat(f);
}

// Each cell of the row ending keeps the words that defined it, and those
// of the cells merged into it.
void DocumentBuilder::keepCellWords()
{
    int owner = -1;  // the column of the cell the next merged ones go into
    QVariantList merged;
    const auto keepMerged = [&] {
        if (owner >= 0 && !merged.isEmpty()) {
            QTextTableCell cell = table->cellAt(row, owner);
            QTextCharFormat f = cell.format();
            f.setProperty(kept::MergedCells, merged);
            cell.setFormat(f);
        }
        merged.clear();
    };
    for (size_t k = 0; k < grid.cellWords.size(); ++k) {
        if (k < grid.cellStarts.size() && grid.cellStarts[k] < 0) {
            if (owner >= 0)
                merged.append(grid.cellWords[k]);
            continue;
        }
        keepMerged();
        owner = -1;
        const int c = k < grid.cellStarts.size() ? grid.cellStarts[k] : grid.cellStarts.empty() ? int(k) : -1;
        if (c < 0 || c >= table->columns())
            break;
        QTextTableCell cell = table->cellAt(row, c);
        if (cell.row() != row || cell.column() != c)
            continue;
        QTextCharFormat f = cell.format();
        f.setProperty(kept::CellWords, grid.cellWords[k]);
        cell.setFormat(f);
        owner = c;
    }
    keepMerged();
}

// The widths of the columns of a table whose rows gave no edges before
// their cells, as the first row with a cell in each column gives them at
// its end; none where an edge is out of order.
void DocumentBuilder::keepWidths()
{
    const std::vector<int> edges = distinctEdges(cellx);
    if (!table->format().columnWidthConstraints().isEmpty() || edges.size() != size_t(table->columns())
        || !inOrder(edges, rowLeft))
        return;
    grid.edges = edges;
    grid.left = rowLeft;
    setWidths();
}

void DocumentBuilder::trimTable()
{
    const int spare = table->rows() - row - 1;
    if (spare > 0) {
        blockBudget += qint64(spare) * table->columns();
        table->removeRows(row + 1, spare);
    }
}

// ---- pictures ---------------------------------------------------------------

void DocumentBuilder::addPicture(const DecodedPicture &picture, const State &s)
{
    if (!picture.image.isNull()) {
        if (picture.alternative)
            placeholderPending = false;
        insertImage(picture.image, picture.width, picture.height, picture.jpeg, &s);
    } else if (!picture.alternative) {
        // Shown as a box of the declared size, unless an alternative
        // picture (\nonshppict) follows. It goes where the next text
        // would: after a paragraph break waiting to be made.
        flushText();
        if (needsPrepare(s))
            prepareContent(s, 0);
        placeholderPending = true;
        ++shown;
        placeholderW = picture.width;
        placeholderH = picture.height;
    }
}

void DocumentBuilder::insertImage(const QImage &image, double w, double h, const QByteArray &jpeg,
                                  const State *prepareFor)
{
    flushText();
    if (prepareFor && needsPrepare(*prepareFor))
        prepareContent(*prepareFor, 0);
    const QString name = QStringLiteral("rtf-picture:%1").arg(++pictureCount);
    doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
    if (!jpeg.isEmpty())
        doc->addResource(QTextDocument::UserResource, jpegSourceUrl(name), jpeg);
    QTextImageFormat f;
    if (spanOpen) {
        f.merge(spanFormat);
        if (!spanHasText)
            spanStart = cursor.position();
        spanHasText = true;
    } else if (!keptPending.isEmpty() && keptAnchors < kept::kMaxAnchors) {
        takePendingKept(f);
    }
    f.setName(name);
    f.setWidth(w);
    f.setHeight(h);
    cursor.insertImage(f);
    ++shown;
    paraHasContent = true;
}

void DocumentBuilder::finish(const State &s)
{
    flushText();
    if (placeholderPending)
        prepareContent(s, 0);
    if (!keptPending.isEmpty() && tableDepth(s.para) == 0) {
        // The last paragraph holds them, as it would hold text.
        if (needsPrepare(s))
            prepareContent(s, 0);
        holdPending();
    }
    const bool holds = paraHasContent || !heldBytes.isEmpty();
    if (sectionPending && !sectionBegun && doc->isEmpty() && !holds)
        attachSection();  // the document holds nothing else
    else if (sectionPending && (pendingBreak || !holds))
        keepSectionLeft(s);
    if (!keptPending.isEmpty())
        keepLeftovers(s);
    while (!outerTables.empty())
        leaveTable();
    if (table)
        trimTable();
    // The last paragraph takes the properties in force, and so does the
    // only one, empty, where no paragraph mark ended it.
    if (!pendingBreak && (holds || doc->characterCount() == 1))
        applyBlockFormat(s);
    cursor.endEditBlock();
}

}  // namespace rtf
