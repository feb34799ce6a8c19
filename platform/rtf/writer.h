#pragma once
// The RTF writer. It writes the document's frames, tables and paragraphs
// (writer.cpp), each run of text in its fonts, colours and code page
// (writer_text.cpp), and what the document keeps as read and its pictures
// (writer_objects.cpp).
#include "bounds.h"
#include "kept.h"
#include "listtable.h"

#include <QByteArray>
#include <QColor>
#include <QDeadlineTimer>
#include <QFont>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTextBlock>
#include <QTextFormat>
#include <QTextFrame>

#include <array>
#include <charconv>
#include <vector>

class QTextDocument;
class QTextTable;
class QTextTableCell;

namespace rtf {

// Where a long paragraph's line is broken (at a space; readers ignore the
// line end) and how wide picture data lines are.
constexpr int kLineLength = 200;
constexpr int kHexLine = 128;

struct RunProps {
    int font = 0;
    int size = 24;  // half points
    int fg = 0, bg = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    quint8 valign = 0;
    quint8 bgWord = 0;  // as the reader counts them
    bool noproof = false;
    bool fontAlone = false;  // East Asian text whose font is written without \\dbch
    int dbchFont = -1;  // of what is written: the font last written after \\dbch
    int feFont = -1;  // the font of East Asian characters given apart (\\dbch\\af), -1 when none
    int cstyle = -1;  // the character style, -1 for none
    std::array<quint16, kept::Languages::kCount> lang{};
    bool operator==(const RunProps &) const = default;
};

inline constexpr char kHex[] = "0123456789abcdef";

// Appends a control word and its number, without a temporary.
inline void appendWord(QByteArray &out, const char *word, qint64 n)
{
    char digits[24];
    const char *end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(word).append(digits, end - digits);
}

// The fonts and colours the header declares, and each character format's
// properties as numbers in them.
class RunTables
{
public:
    // The fonts and colours of a file read come first, under their numbers
    // there, so that groups kept as read still name theirs. A font is
    // declared once: a face already there, the Symbol font among them, is
    // used under its number; the document's default face only when some
    // text is in it.
    RunTables(const QFont &defaultFont, const kept::Tables &read);

    const RunProps &props(int index, const QTextCharFormat &f);
    // What \\plain gives text: the default font, the document's languages.
    RunProps plain(int font) const;
    // The Symbol font that bullets are drawn in.
    int useSymbolFont();
    // The number of a face, declared when it is not yet.
    int face(const QString &family) { return fontId(family); }
    // Text with no face of its own is written with none (font -1), where
    // the file read named no default font.
    void keepUnnamed() { unnamedKept = true; }

    struct Font {
        int id;
        int charset;
        QString name;
        int cpg = 0;
        QByteArray family;  // \froman, \fswiss...; empty for \fnil
    };
    const std::vector<Font> &fontList() const { return fonts; }
    const QList<QRgb> &colors() const { return colorList; }
    // Whether \'hh in font means Windows-1252.
    bool isAnsi(int font) const { return !nonAnsi.contains(font); }
    // Whether font is for Chinese, Japanese or Korean (its charset says so):
    // readers give such a font to that script only after \\dbch.
    bool isEastAsian(int font) const { return eastAsian.contains(font); }

private:
    static constexpr int kMaxFontId = 1 << 20;
    int fontId(const QString &family);
    int colorId(const QColor &color);

    QFont defaultFont;
    kept::Languages languages;
    QSet<int> characterStyles;
    std::vector<Font> fonts;
    QHash<QString, int> fontIds;
    QSet<int> nonAnsi;
    QSet<int> eastAsian;
    QSet<int> fontsRead;
    int nextFont = 0;
    int symbolFontId = -1;
    bool unnamedKept = false;
    QList<QRgb> colorList;
    QHash<QRgb, int> colorIds;
    // By the document's format index.
    std::vector<RunProps> cache;
    std::vector<bool> cacheValid;
    RunProps scratch;
};

class Writer
{
public:
    explicit Writer(const QTextDocument *doc, const kept::Tables &read = {});
    QByteArray run();
    // Writes the document's top-level paragraphs and tables in order until
    // the deadline, at least one; true once all are written.
    bool step(const QDeadlineTimer &deadline);
    // Where in the document the next item starts.
    qint64 written() const;
    // The file, once step() has written everything.
    QByteArray finish();

private:
    void writeFrame(QTextFrame *frame);
    void writeItem(const QTextFrame::iterator &it);
    static void collectBlocks(QTextFrame::iterator it, std::vector<QTextBlock> &blocks);
    void writeTable(QTextTable *table, int depth, qint64 width);
    void writeCell(const QTextTableCell &cell, bool origin, int depth, qint64 width);

    static QByteArray itap(int depth) { return depth > 1 ? "\\itap" + QByteArray::number(depth) : QByteArray(); }

    void writeBlock(const QTextBlock &block, int depth, const char *terminator);
    bool writeSection(const QTextBlockFormat &bf, bool pageBreak);
    void twips(const char *word, qreal px);
    void writeStyle(const QTextBlock &block, const QTextBlockFormat &bf);
    int fittingStyle(const QTextBlockFormat &bf, bool inList) const;
    void writeFragment(const QTextFragment &frag, const QTextCharFormat &cf);
    void writePiece(const QTextFragment &frag, const QTextCharFormat &cf, int from, int count);
    void writeSpan(const QTextFragment &frag, const QTextCharFormat &cf);
    void appendKept(const QByteArray &bytes);
    qsizetype writeEditedObject(const QTextFragment &frag, const QTextCharFormat &cf);
    static QStringList boxTexts(const QString &shown, const QString &now, const QVariantList &starts);
    void closeSpan();
    void writeAnchored(const QTextFragment &frag, const QTextCharFormat &cf);
    void setProps(const RunProps &t);
    void writePlain();
    void setLanguages(const RunProps &t, bool all);
    void appendText(const QString &text);
    void writeImage(const QTextImageFormat &fmt);

    static constexpr qsizetype kHeadRoom = 64 * 1024;  // in front of the body, for the header
    const QTextDocument *doc;
    QTextFrame::iterator next;  // the top-level item step() writes next
    RunTables tables;
    QByteArray body;
    qsizetype lineStart = 0;
    RunProps cur;  // what the text written last is in
    RunProps plainProps;  // what \\plain gives, in the file's default font (\\deff)
    kept::Languages languages;
    int codePage;
    QByteArray pageSettings;  // as read
    QByteArray backgroundRead;
    bool namesDefaultFont = true;  // false: \\deff is left out as the file read did
    QByteArray background() const;
    struct Style {
        QTextBlockFormat block;
        RunProps text;
    };
    QByteArray styleSheet;  // as read
    QHash<int, Style> styles;  // the paragraph styles of the text read
    QHash<int, int> styleOfFormat;  // by block format index: the style written, INT_MIN for none
    bool ansiText = true;  // non-ASCII text may go as Windows-1252 escapes
    bool breakBeforeNext = false;  // the paragraph before ends its page
    QHash<int, int> keptUsed;      // characters of each anchor written so far
    QHash<int, qsizetype> editedLeft;  // characters of an edited object's text still to come
    QSet<int> sectionsWritten;
    QSet<int> heldWritten;
    int sectionBrokeAt = -1;  // the cell paragraph whose row a section break written starts
    bool lastBlockHasText = false;  // an empty one keeps its \\par before a section break
    WordListTable wordLists;
    struct {
        bool open = false;
        int id = 0;
        QByteArray after;
        RunProps saved;
    } span;  // the span being written
};

}  // namespace rtf
