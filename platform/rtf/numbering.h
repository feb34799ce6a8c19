#pragma once
// Numbered and bulleted paragraphs as QTextLists. Qt numbers each list
// from 1 and knows a list's level only as its indent, so what it cannot
// hold rides on the list's format: the number the file starts it at and
// the level the file gave it, both written back.
#include <QHash>
#include <QPointer>
#include <QTextList>
#include <QString>
#include <QTextFormat>
#include <QTextListFormat>

#include <array>

class QTextBlock;
class QTextCursor;


namespace rtf {

enum ListProperty {
    ListStart = QTextFormat::UserProperty + 0x4C00,  // int: the first number, when not 1
    ListLevelShift,                                  // int: the level written less the indent's (indent 1: level 0)
    ListGroup,                                       // int: the Word list (\\ls) it was read from, whose levels
                                                     // the lists of one group are
};

// The level (0..8), the first number and the group (-1: none) a list is
// written with.
int writtenLevel(const QTextListFormat &format);
int startNumber(const QTextListFormat &format);
int listGroup(const QTextListFormat &format);
// The item's marker text, from the list's first number.
QString itemText(const QTextList *list, const QTextBlock &block);

// The numbering a paragraph asks for.
struct Numbering {
    QTextListFormat::Style style = QTextListFormat::ListStyleUndefined;
    int group = 0;   // the \ls of a Word list; RichEdit's lists are one group
    bool word = false;
    int indent = 1;  // 1..9, as Qt indents it
    int level = 0;   // 0..8, as the file numbers it
    int start = 1;
    bool operator==(const Numbering &) const = default;
};

// The lists made while reading. A list goes on where the file goes on with
// it; an item at one level restarts the levels below it, as Word numbers
// them; a different first number starts another list.
class ListMaker
{
public:
    // Puts the block under cursor in the list numbering names.
    void attach(QTextCursor &cursor, const Numbering &numbering);
    // A paragraph outside any list: RichEdit's lists end there.
    void interrupt();
    // A table: the next item starts looking up its list again.
    void breakRun() { last = nullptr; }

private:
    // Qt deletes a list its last paragraph leaves (when it is given
    // another format): the lists made are watched.
    struct Made {
        QPointer<QTextList> list;
        Numbering numbering;
    };
    static qint64 key(int group, int depth) { return qint64(quint32(group)) << 8 | quint8(depth); }
    QPointer<QTextList> last;
    Numbering lastNumbering;
    QHash<qint64, Made> wordMade, pnMade;  // by group and level (Word) or indent (RichEdit)
};

}  // namespace rtf
