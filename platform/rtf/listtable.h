#pragma once
// Word's list table for the lists a document writes: each list its
// own entry, so that readers keep lists apart that the document keeps apart,
// but for the levels of one list read from a file, which share one. RichEdit's
// \pn, written beside it, carries the same list for readers that know only
// that.
#include <QByteArray>
#include <QHash>
#include <QTextListFormat>

#include <algorithm>
#include <array>
#include <vector>

class QTextList;

namespace rtf {

class WordListTable
{
public:
    // The \ls number of list, counted from 1 in the order first asked for;
    // its level starts at start. Lists of one group (read from one Word
    // list) share a number while their levels agree.
    int number(const QTextList *list, QTextListFormat::Style style, int level, int start, int group)
    {
        const auto it = ids.constFind(list);
        if (it != ids.constEnd())
            return *it;
        level = std::clamp(level, 0, 8);
        const auto g = group < 0 ? groups.constEnd() : groups.constFind(group);
        if (g != groups.constEnd()) {
            Entry &e = entries[size_t(*g - 1)];
            if (!(e.set >> level & 1) || (e.styles[level] == style && e.starts[level] == start)) {
                e.set |= 1 << level;
                e.styles[level] = style;
                e.starts[level] = start;
                ids.insert(list, *g);
                return *g;
            }
        }
        Entry e;
        e.styles.fill(style);
        e.starts.fill(1);
        e.starts[level] = start;
        e.set = 1 << level;
        entries.push_back(e);
        const int n = int(entries.size());
        ids.insert(list, n);
        if (group >= 0 && g == groups.constEnd())
            groups.insert(group, n);
        return n;
    }

    bool isEmpty() const { return entries.empty(); }

    // {\*\listtable ...}{\*\listoverridetable ...}, each list with its
    // nine levels, those no list asked for in the style of the first.
    QByteArray tables() const
    {
        QByteArray lists = "{\\*\\listtable", overrides = "{\\*\\listoverridetable";
        for (size_t i = 0; i < entries.size(); ++i) {
            const QByteArray id = QByteArray::number(qlonglong(i + 1));
            lists += "\r\n{\\list\\listtemplateid" + id + "\\listsimple0";
            for (int level = 0; level <= 8; ++level) {
                const QByteArray l = QByteArray::number(level);
                const int n = nfc(entries[i].styles[level]);
                lists += "{\\listlevel\\levelnfc" + QByteArray::number(n) + "\\levelstartat"
                    + QByteArray::number(entries[i].starts[level]) + "\\levelfollow0"
                    + (n == kBullet ? QByteArray("{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}")
                                    : "{\\leveltext\\'02\\'0" + l + ".;}{\\levelnumbers\\'01;}")
                    + "\\fi-360\\li" + QByteArray::number(720 * (level + 1)) + "}\r\n";
            }
            lists += "\\listid" + id + "}";
            overrides += "{\\listoverride\\listid" + id + "\\listoverridecount0\\ls" + id + "}";
        }
        return lists + "}\r\n" + overrides + "}\r\n";
    }

private:
    static constexpr int kBullet = 23;
    static int nfc(QTextListFormat::Style style)
    {
        switch (style) {
        case QTextListFormat::ListDisc: case QTextListFormat::ListCircle: case QTextListFormat::ListSquare:
            return kBullet;
        case QTextListFormat::ListUpperRoman: return 1;
        case QTextListFormat::ListLowerRoman: return 2;
        case QTextListFormat::ListUpperAlpha: return 3;
        case QTextListFormat::ListLowerAlpha: return 4;
        default: return 0;
        }
    }

    struct Entry {
        std::array<QTextListFormat::Style, 9> styles;
        std::array<int, 9> starts;
        int set = 0;  // the levels a list asked for
    };
    std::vector<Entry> entries;
    QHash<const QTextList *, int> ids;
    QHash<int, int> groups;  // group -> \ls
};

}  // namespace rtf
