#pragma once
// The tables of an RTF header: fonts, colours, styles and lists, each read
// from its destination, and the links of the fields. Formats refer to their
// entries by number.
#include "kept.h"
#include "properties.h"

#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextListFormat>

#include <array>
#include <climits>
#include <utility>
#include <vector>

namespace rtf {

class Fonts
{
public:
    void begin() { entryOpen = false; }
    // \f starts an entry, \fcharset and \cpg give its code page.
    void word(Kw kw, int param);
    void nameChar(char16_t c);
    void finishEntry();  // at its semicolon or the end of its group
    // The code page the entry's name is written in.
    int entryCodePage(int documentCp) const { return entryCp ? entryCp : documentCp; }

    // The font's own code page, 0 when it has none.
    int codePage(int font);
    // The face of font, else of fallback; where the file names neither,
    // the face every reader assumes then.
    QString family(int font, int fallback) const;
    // Whether the table has font, with a name.
    bool names(int font) const;
    // Whether its character set is Chinese, Japanese or Korean.
    bool isEastAsian(int font) const;
    static constexpr QLatin1StringView kUnnamedFace{"Times New Roman"};

    struct Font {
        QString name;
        int cp = 0;  // 0: the document's code page
        int charset = -1;  // \fcharset, -1 when none
        int cpg = 0;       // \cpg, 0 when none
        QByteArray family;  // froman, fswiss...; empty when none
    };
    // Each entry with its number, in the order read.
    template <typename F>
    void forEach(F f) const
    {
        for (auto it = index.constBegin(); it != index.constEnd(); ++it)
            f(it.key(), fonts[size_t(it.value())]);
    }

private:
    std::vector<Font> fonts;
    QHash<int, int> index;  // \fN -> fonts

    // The entry being read.
    bool entryOpen = false;
    int entryId = 0;
    int entryCp = 0;
    int entryCharset = -1;
    int entryCpg = 0;  // \cpg names the code page whatever the charset says
    QByteArray entryFamily;
    QString entryName;

    // The font last asked for its code page.
    int cpFont = INT_MIN;
    int cpValue = 0;
};

class Colors
{
public:
    void begin();
    void word(Kw kw, int param);
    void finishEntry();  // at its semicolon
    // Entry index, invalid for automatic (0), missing or empty entries.
    QColor color(int index) const;
    int count() const { return int(colors.size()); }

private:
    std::vector<QColor> colors;
    // The entry being read.
    int red = 0, green = 0, blue = 0;
    bool set = false;
};

class Styles
{
public:
    void beginEntry();  // an entry without \sN is the Normal style
    void word(Kw kw, int param, bool hasParam);
    void finishEntry();  // at its semicolon or the end of its group
    // Gives the group paragraph style id's properties, with those of the
    // styles it is based on; the group's table, list level and list stay.
    void apply(State &s, int id, int defaultFont);
    // Lays character style id's properties, with those of the styles it is
    // based on, over the group's: what the styles do not name stays.
    void applyCharacter(State &s, int id, int defaultFont);
    // The character styles there are.
    std::vector<int> characterStyles() const;
    // Each paragraph style applied so far, with the properties it gives.
    template <typename F>
    void forEachApplied(F f) const
    {
        for (auto it = resolved.constBegin(); it != resolved.constEnd(); ++it)
            f(it.key(), it->first, it->second);
    }

private:
    // Paragraph, character and other styles number each their own.
    enum Kind : qint64 { Paragraph, Character, Other };
    static qint64 key(Kind kind, int id) { return kind << 32 | quint32(id); }
    struct Style {
        int basedOn = -1;
        std::vector<std::pair<Kw, int>> words;  // INT_MIN: no parameter
    };
    // The style's words laid over start, after those of the styles it is
    // based on.
    bool resolve(qint64 style, CharProps &chr, ParaProps &para, int defaultFont) const;
    QHash<qint64, Style> styles;
    QHash<int, std::pair<CharProps, ParaProps>> resolved;
    // A character style laid over two starts that differ in every property:
    // where the two results agree, the style names that property.
    QHash<int, std::pair<CharProps, CharProps>> characters;

    // The entry being read.
    Style pending;
    qint64 pendingKey = -1;
};

// Word's list table and overrides, and RichEdit's \pn numbering.
class Lists
{
public:
    // A destination word inside \listtable or \listoverridetable: the
    // destination its group is read as, Body when it is none read there.
    Dest open(Dest dest, Kw kw);
    // Any other word there.
    void word(Dest dest, Kw kw, int param);
    void finishOverride();  // at the end of a \listoverride group
    // The style of level ilvl of the list \lsN names; ListStyleUndefined
    // when there is none.
    QTextListFormat::Style levelStyle(int ls, int ilvl) const;
    // The number that level starts at.
    int levelStart(int ls, int ilvl) const;

    void beginPn() { pnStyle = 0; pnLevel = 0; pnStart = 0; }
    void pnWord(Kw kw, int param);
    // At the end of a \pn group: the paragraph is numbered as it said.
    void finishPn(ParaProps &pp) const;

private:
    struct List {
        std::array<qint8, 9> styles{};  // QTextListFormat::Style of each level
        std::array<int, 9> starts{};    // 0: from 1
    };
    QHash<int, List> lists;  // \listid -> levels
    struct OverrideEntry {
        int list = INT_MIN;
        std::array<int, 9> starts{};  // 0: as the list says
    };
    QHash<int, OverrideEntry> overrides;  // \ls

    // The list being read.
    List levels;
    int listId = INT_MIN;
    int level = -1;

    // The override being read.
    int overrideLs = INT_MIN;
    OverrideEntry pending;
    int overrideLevel = -1;
    bool overrideStarts = false;

    // The \pn being read.
    qint8 pnStyle = 0, pnLevel = 0;
    int pnStart = 0;
};

// Everything a format refers to by number.
struct DocumentTables {
    int codePage = 1252;  // \ansicpg
    int defaultFont = -1;  // \deff; without it, text that names no font is in the face readers assume
    kept::Languages languages;
    Fonts fonts;
    Colors colors;
    Styles styles;
    Lists lists;
    QStringList links;  // the targets of HYPERLINK fields
};

}  // namespace rtf
