#pragma once
// Builds the QTextDocument from what the reader finds in the body:
// paragraphs and their formats, tables, lists and pictures, within a budget
// of paragraphs that keeps hostile files in proportion.
#include "formats.h"
#include "kept.h"
#include "numbering.h"
#include "picture.h"
#include "properties.h"
#include "tables.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QTextCursor>

#include <functional>
#include <vector>

class QTextDocument;
class QTextList;
class QTextTable;

namespace rtf {

class DocumentBuilder
{
public:
    DocumentBuilder(QTextDocument *doc, const DocumentTables &tables);

    void appendText(QLatin1StringView text, const State &s);
    void appendText(QStringView text, const State &s);

    // Past the budget, an empty paragraph outside tables is not ended: its
    // break becomes a line break, and the paragraph stays empty.
    bool canEndParagraph(const State &s) const;
    // breakWord: what ended it when not \\par (\\column), written back.
    void endParagraph(const State &s, const QByteArray &breakWord = QByteArray());
    void keepEmpty() { paraHasContent = false; }
    // Whether anything was put in the paragraph yet, shown or kept.
    bool paragraphStarted() const
    {
        return paraHasContent || !runText.isEmpty() || placeholderPending || !hiddenText.isEmpty() || !keptPending.isEmpty();
    }

    void startRow()
    {
        cellx.clear();
        grid.cellWords.clear();
        grid.wordsPending.clear();
        rowLeft = 0;
        cellGap = -1;
    }
    // A word of the row's definition the document does not read (borders,
    // shading, heights): kept for the cell its next \\cellx ends.
    void addRowWord(const QByteArray &word);
    void setRowLeft(int x) { rowLeft = x; }
    // The definition the row about to be read ends with, where the file
    // gives it again after the row's cells (as \\row finds it): its edges
    // and left; false when there is none.
    std::function<bool(std::vector<int> &, int &)> definitionAhead;
    void setCellGap(int x) { cellGap = x; }
    // \\intbl after the paragraph's first text: the paragraph was in the
    // table all along (its properties hold from its end), so what it holds
    // so far moves into the cell.
    void paragraphIntoTable(const State &s);
    // Whether a table is being read: one open, a row defined or the paragraph in one.
    bool inTable(const State &s) const { return table || !cellx.empty() || s.para.intbl; }
    void addCellEdge(int x);
    // \\cell and \\row end a cell or row of the outermost table (depth 1),
    // \\nestcell and \\nestrow one of a table nested in a cell.
    void endCell(const State &s, bool nested);
    void endRow(const State &s, bool nested);

    void addPicture(const DecodedPicture &picture, const State &s);
    // A picture shown as a box waits for an alternative (\nonshppict).
    bool pictureAwaitsAlternative() const { return placeholderPending; }

    // The next paragraph starts a new page.
    void breakPage() { pageBreakPending = !table || rowEnded; }
    void cancelPageBreak() { pageBreakPending = false; }
    // The page the paragraph being read is on, as the breaks read count.
    int pageNumber(const State &s) const { return pagesBroken + 1 + (pageBreakPending || s.para.pagebb); }

    // A section break: what sets the new section up, up to its first text,
    // goes on its first paragraph (sections.h).
    void beginSection();
    bool sectionOpen() const { return sectionOpenNow; }
    void closeSection() { sectionOpenNow = false; }
    // Keeps words or a group in the section being set up; false when text
    // came since the section began.
    bool keepInSection(const QByteArray &bytes);

    // A group the document cannot show, kept as read on the character
    // before it in the paragraph, else on the next one.
    void keep(const QByteArray &groups);
    // Text between begin and end goes between the kept before and after
    // (a field's result between its instruction and closing braces). False
    // when a span is open already.
    bool beginKeptSpan(const QByteArray &before, const QByteArray &after);
    // The same for a span whose text only shows the object kept, and is
    // written as that.
    bool beginShownSpan(const QByteArray &object);
    bool canBeginSpan() const { return !spanOpen && keptAnchors < kept::kMaxAnchors; }
    // A text box of the object shown begins.
    void beginBox();
    bool spanUsed() const { return spanHasText || !runText.isEmpty(); }
    // Whether any text went into the span.
    bool endKeptSpan();
    // Text generated where word stands (a footnote's reference mark).
    void appendMark(const QString &shown, const QByteArray &word, const State &s);

    void finish(const State &s);

    // Grows with everything shown: text, pictures, marks.
    qint64 shownCount() const { return shown; }

    QTextDocument *document() const { return doc; }

private:
    template <typename Text>
    void append(const Text &text, const State &s);
    bool needsPrepare(const State &s) const;
    void prepareContent(const State &s, int minDepth);
    void enterTable();
    void nextRow();
    void nextCell();
    void leaveTable();
    void trimTable();
    void keepWidths();
    void takeDefinitionAhead();
    void layRow();
    bool addEdges(const std::vector<int> &edges);
    static std::vector<int> distinctEdges(const std::vector<int> &cellx);
    void setWidths();
    void appendCellColumn();
    void markNoCell(int r, int c, bool none);
    void mergeCells(int r, int c, int rows, int cols);
    void keepCellWords();
    void appendColumns(int count);
    void flushText();
    void insertRun();
    void keepHidden();
    void applyBlockFormat(const State &s);
    void insertImage(const QImage &image, double w, double h, const QByteArray &jpeg, const State *prepareFor);
    int nextKeptId();
    bool keepOnPrevious(const QByteArray &groups);
    void takePendingKept(QTextCharFormat &f);
    void keepLeftovers(const State &s);
    void holdPending();
    void attachHeld();
    void attachSection();
    void keepSectionLeft(const State &s);

    QTextDocument *doc;
    QTextCursor cursor;
    const DocumentTables &tables;
    FormatCache formats;

    // The paragraph being read.
    QString runText;  // text not inserted yet, all in runProps
    QString hiddenText;  // hidden text read since, kept as one group where it stood
    CharProps hiddenProps;  // its formatting
    bool hiddenAsRun = false;  // formatted as the text shown just before it
    CharProps runProps;
    bool pendingBreak = false;
    bool paraHasContent = false;
    // Whether the pending paragraph break ends an empty paragraph, which
    // counts against the budget.
    bool breakCostsBudget = true;
    qint64 blockBudget = kMaxBlocks;

    // What the block under the cursor has.
    QTextBlockFormat blockFormatNow;  // less its list
    bool haveBlockFormat = true;
    CharProps blockCharNow;  // its paragraph mark's format
    bool haveBlockChar = false;

    ListMaker lists;

    // The table being read, the innermost when they are nested.
    std::vector<int> cellx;  // right edges of the row's cells
    int rowLeft = 0;  // where the row's first cell starts
    int cellGap = -1;  // the row's \\trgaph, -1 when none
    QTextTable *table = nullptr;
    int row = 0, col = 0;
    bool needCellAdvance = false, rowEnded = false;
    // Its columns are the edges of all its rows' cells; a cell of a row
    // spans the columns between its edges.
    struct Grid {
        std::vector<int> edges;  // right edges of its columns, empty when the rows gave none in order
        int left = 0;            // where its first column starts
        std::vector<int> cellStarts;  // the column each cell of the row being read starts at
        int cellIndex = 0;       // the cell being read
        std::vector<QByteArray> cellWords;  // the row's cells' definitions, beside cellx
        QByteArray wordsPending;  // read since the last \\cellx
    } grid;
    // The tables around it, with where each was.
    struct OuterTable {
        std::vector<int> cellx;
        int rowLeft, cellGap;
        QTextTable *table;
        int row, col;
        bool needCellAdvance, rowEnded;
        Grid grid;
    };
    std::vector<OuterTable> outerTables;
    int depth() const { return table ? int(outerTables.size()) + 1 : 0; }

    // A picture shown as a box, not inserted yet.
    bool placeholderPending = false;
    double placeholderW = 0, placeholderH = 0;
    int pictureCount = 0;

    bool pageBreakPending = false;
    qint64 shown = 0;
    int pagesBroken = 0;  // paragraphs and tables that start a page

    // The span open, and whether text went into it.
    bool spanOpen = false, spanHasText = false;
    int spanStart = -1;  // where its first character went
    QTextCharFormat spanFormat;  // its properties
    std::vector<int> boxStarts;  // where in it each text box of the object shown began

    // The section being set up: open until text comes, kept until its
    // first paragraph takes it.
    bool sectionOpenNow = true;
    bool sectionPending = false;
    bool sectionBegun = false;  // past the first section
    int sectionMark = 0;        // where the cursor was at the break
    QByteArray sectionBytes;

    // Kept groups waiting for the next character, and the anchors made.
    QByteArray keptPending;
    QByteArray heldBytes;  // those the paragraph being ended holds
    int keptAnchors = 0;
    int keptIdBase = 0;
};

}  // namespace rtf
