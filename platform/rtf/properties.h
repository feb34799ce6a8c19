#pragma once
// What a group of an RTF document holds: its character and paragraph
// properties and the destination its text goes to.
#include "bounds.h"
#include "keywords.h"

#include <array>
#include <climits>
#include <cstddef>
#include <vector>

namespace rtf {

enum Dest : quint8 {
    Body, FontTable, ColorTable, StyleSheet, StyleEntry, ListTable, ListDef, ListLevel,
    OverrideTable, Override, Pict, FieldInst, PnDef, PictAlt,
    UprAnsi,  // the ANSI half of \upr, shown only by readers without Unicode
    ShapeInst, ShapeName  // a drawing object's properties, and the name of one
};

struct CharProps {
    int font = -1;  // -1: none named, before \\deff or without it
    int size = 24;  // half points
    int fg = 0, bg = 0;  // colour table entries, 0 = automatic
    int link = -1;
    quint8 bold = 0, italic = 0, underline = 0, strike = 0, hidden = 0, valign = 0;
    quint8 bgWord = 0;  // the background came from 0 \\highlight, 1 \\cb, 2 \\chcbpat
    quint8 noproof = 0;
    quint8 dbch = 0;  // the font was named after \\dbch
    int dbchFont = -1;  // the font last named after \\dbch, -1 when none
    int feFont = -1;  // the font of its East Asian characters (\\dbch\\afN), -1 when none
    int cstyle = -1;  // the character style named, -1 when none
    std::array<quint16, 5> lang{};  // \\lang, \\langfe, \\langnp, \\langfenp, \\alang; 0 when not given
    bool operator==(const CharProps &) const = default;
};

struct CharHash {
    size_t operator()(const CharProps &c) const
    {
        size_t h = size_t(c.font) * 31 + size_t(c.size);
        h = h * 131 + size_t(c.fg) * 7 + size_t(c.bg);
        h = h * 131 + size_t(c.link + 1);
        h = h * 131 + (c.bold | c.italic << 1 | c.underline << 2 | c.strike << 3 | c.hidden << 4 | c.valign << 5 | c.bgWord << 7);
        h = h * 131 + size_t(c.cstyle + 1) * 7 + c.lang[0] + c.noproof;
        return h;
    }
};

struct ParaProps {
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;
    int ls = 0, ilvl = 0;
    int style = INT_MIN;  // the paragraph style named, INT_MIN when none
    quint8 align = 0, slmult = 0, intbl = 0;
    quint8 itap = 0;      // the depth of the table the paragraph is in, with intbl
    quint8 pagebb = 0;    // starts on a new page
    quint8 outline = 0;   // its outline level from 1, 0 for body text
    quint8 listKind = 0;  // 0 none, 1 RichEdit's \pn, 2 Word's \ls
    qint8 pnStyle = 0;    // QTextListFormat::Style of a \pn list
    qint8 pnLevel = 0;    // its \pnlvlN, 0 for a list of one level
    int pnStart = 0;      // its \pnstart, 0 when none
    quint8 ntabs = 0, nextTabType = 0;
    std::array<int, kMaxTabs> tabs{};
    std::array<quint8, kMaxTabs> tabTypes{};
    bool operator==(const ParaProps &) const = default;
};

// The depth of the table the paragraph is in, 0 outside tables.
inline int tableDepth(const ParaProps &pp) { return pp.intbl ? (pp.itap ? pp.itap : 1) : 0; }

struct State {
    CharProps chr;
    ParaProps para;
    Dest dest = Body;
    quint8 uc = 1;
    // The characters the words after \\loch, \\hich, \\dbch or \\rtlch are
    // about; \\af gives the font of the first (Word gives the text's font
    // that way) and, after \\dbch, of East Asian characters; 0 after \\ltrch.
    quint8 charClass = 0;
    int fieldLink = -1;
};

// The states of the open groups; groups nested deeper than kMaxDepth are
// only counted and share the deepest state.
class GroupStack
{
public:
    GroupStack()
    {
        stack.reserve(64);
        stack.push_back(State{});
    }
    State &top() { return stack.back(); }
    // False when the group is only counted.
    bool open()
    {
        if (stack.size() >= size_t(kMaxDepth)) {
            ++phantom;
            return false;
        }
        stack.push_back(stack.back());
        return true;
    }
    // The state of the group closed, or null when it was only counted or
    // was the outermost one. The outermost group keeps its state to the
    // end: a last paragraph without \par takes its format from it.
    const State *close()
    {
        if (phantom > 0) {
            --phantom;
            return nullptr;
        }
        if (stack.size() <= 2)
            return nullptr;
        closed = stack.back();
        stack.pop_back();
        return &closed;
    }
    // A group skipped whole; the outermost one keeps its state to the end.
    void drop()
    {
        if (phantom > 0)
            --phantom;
        else if (stack.size() > 2)
            stack.pop_back();
    }

private:
    std::vector<State> stack;
    qint64 phantom = 0;
    State closed;
};

// Applies a character or paragraph formatting word, as the body and the
// style sheet both read them: a toggle turns its property on or off, a value
// sets it, a flag sets what it names; \plain falls back to the default font.
// False when the word is no such word.
bool applyFormat(CharProps &c, ParaProps &pp, Kw kw, int param, bool hasParam, int defaultFont);

}  // namespace rtf
