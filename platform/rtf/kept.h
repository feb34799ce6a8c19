#pragma once
// What the document cannot show but a saved file must hold again: groups
// such as headers, footers, footnotes, bookmarks and document information,
// kept as the bytes that were read, and words that stand for generated text
// (a footnote's reference mark). They ride on the character where they stood,
// as properties of its format, so they move with the text around them and go
// when that character is deleted.
//
// An anchor covers the first `length` characters carrying its id; characters
// typed next to it take its format too, but only those first ones stand for
// it. The writer writes the kept groups once per id: before the anchor, or
// after it when the group followed the text in the paragraph.
#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QRgb>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextFormat>


#include <vector>

class QTextDocument;

namespace rtf::kept {

enum Property {
    Before = QTextFormat::UserProperty + 0x4B00,  // QByteArray: whole RTF groups, { to }, before the anchor
    After,                                        // QByteArray: the same, after it
    Id,                                           // int, unique for each anchor (Qt hashes formats by it)
    Word,                                         // QByteArray: RTF written instead of the anchor's text
    Length,                                       // int: characters the anchor covers, 1 when unset
    Span,                                         // bool: the anchor covers the run of characters
                                                  // carrying its id (a field's result), not Length
    BackgroundWord,                               // int: the background is written as 1 \\cb, 2 \\chcbpat,
                                                  // else \\highlight
    Shown,                                        // QString: the text a span showing an object showed
    Boxes,                                        // QVariantList of int: where in it each of its text
                                                  // boxes began, when it has more than one
    Section,                                      // QByteArray, of a block: the section it starts, its
                                                  // words and groups as read after \\sect (sections.h);
                                                  // Id tells copies made by splitting the block
    Break,                                        // QByteArray, of a block: the word that ended it in place of
                                                  // \\par (\\column), written after the last of its copies
    Held,                                         // QByteArray, of a block: groups the paragraph held where no
                                                  // character was to carry them (a drawing object alone
                                                  // in it), written before its text; Id as for Section
    ParagraphStyle = QTextFormat::UserProperty + 0x4B40,  // int, on a block: its style in the style sheet kept
    CharacterStyle,                               // int, of text: its character style in the style sheet kept
    StyleNumbers,                                 // bool, of a paragraph style's format: it puts its paragraphs
                                                  // in a list
    Language,                                     // int, of text: \\lang, where not the document's; then
    LanguageFe,                                   // \\langfe,
    LanguageNp,                                   // \\langnp,
    LanguageFeNp,                                 // \\langfenp
    LanguageComplex,                              // and \\alang
    NoProof,                                      // bool, of text: \\noproof
    FontAlone,                                    // bool, of East Asian text: its font was named alone, not after \\dbch
    CellGap,                                      // int, of a table: half the space between its cells' text, \\trgaph
    CellWords,                                    // QByteArray, of a table cell: the words that defined it
                                                  // before its \\cellx (borders, shading...), as read
    NoCell,                                       // bool, of a table cell: past the end of its row, whose
                                                  // cells end before the table's last column
    FontFe,                                       // int, of text: the font of its East Asian characters
                                                  // (\\dbch\\afN), by its number in the file read
    MergedCells,                                  // QVariantList of QByteArray, of a table cell: the cells
                                                  // merged into it that end where it ends (\\clmrg), each
                                                  // as the words that defined it
};

// Anchors made by one read past which later groups share the last one.
constexpr int kMaxAnchors = 65536;

// Adds groups on one side (Before or After) of the anchor format holds,
// making it one with newId when it holds none. True when it was made.
bool add(QTextCharFormat &format, Property side, const QByteArray &groups, int newId);

// True when format carries an anchor.
inline bool has(const QTextFormat &format) { return format.hasProperty(Id); }

// Whether the group that starts at begin (a '{') and holds only control
// words up to wordStart can be kept from its opening brace.
bool onlyWordsBetween(const char *begin, const char *wordStart);

// Whether bytes end in a control word, so that text written next needs a
// space to end it (\\fldrslt before a result starting with a digit).
bool endsInWord(const QByteArray &bytes);

// The drawing object with the text of its text boxes (\\shptxt, \\dptxbxtext)
// replaced by texts, written as RTF: the first box of each kind holds the
// first, and so on; boxes past the texts are emptied. The words around stay
// as read. Empty when it holds no text box.
QByteArray replaceShapeText(const QByteArray &object, const QByteArrayList &texts);

// The languages text has unless it says otherwise (\\deflang, \\deflangfe,
// \\adeflang; 0 where the file gives none), and the words that give a run's.
struct Languages {
    static constexpr int kCount = 5;
    static constexpr const char *kWords[kCount] = {"\\lang", "\\langfe", "\\langnp", "\\langfenp", "\\alang"};
    static constexpr Property kProperties[kCount] = {Language, LanguageFe, LanguageNp, LanguageFeNp, LanguageComplex};
    int deflang = 0, deflangfe = 0, adeflang = 0;
    // The language the word at index which gives text that names none.
    int defaultOf(int which) const
    {
        const int base = deflang ? deflang : 1033;
        if (which == 1 || which == 3)
            return deflangfe ? deflangfe : base;
        return which == 4 && adeflang ? adeflang : base;
    }
};

// Kept groups name fonts and colours by their numbers in the file read,
// and may hold bytes in its code page: the document keeps those tables, and
// the writer numbers its own fonts and colours after them.
constexpr QRgb kAutoColor = 0xFF000000;
struct Tables {
    struct Font {
        int id = 0;
        int charset = 0;
        QString name;
        int cpg = 0;  // its own \cpg, 0 for none
        QByteArray family;  // its family word without the backslash (froman, fswiss...), empty when none
    };
    int codePage = 1252;
    int defaultFont = 0;      // \\deff
    // Whether the file read named a default font of its table. Where it
    // did not, readers differ on the face of text that names none: its copy
    // names none either, so that each shows it as it showed the original.
    bool namesDefaultFont = true;
    Languages languages;
    std::vector<int> characterStyles;  // the character styles the style sheet holds
    std::vector<Font> fonts;  // by id
    QList<QRgb> colors;       // entries 1..n (kAutoColor: an empty entry)
    QByteArray settings;      // the document's and its first section's settings, the words as read
    QByteArray background;    // the page background's group as read
    // The style sheet as read, and the formats each paragraph style in use
    // gives its paragraph and text.
    QByteArray styleSheet;
    struct Style {
        int id;
        QTextBlockFormat block;
        QTextCharFormat text;
    };
    std::vector<Style> styleFormats;
};
void saveTables(QTextDocument *doc, const Tables &tables);
Tables loadTables(const QTextDocument *doc);
// True when the document keeps the tables of the file it was read from.
bool hasTables(const QTextDocument *doc);

}  // namespace rtf::kept
