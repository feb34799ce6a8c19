#pragma once
// Word's list table for the lists a document writes: each list its
// own entry, so that readers number each from 1 and keep lists apart that
// the document keeps apart. RichEdit's \pn, written beside it, carries the
// same list for readers that know only that.
#include <QByteArray>
#include <QHash>
#include <QTextListFormat>

#include <algorithm>
#include <vector>

class QTextList;

namespace rtf {

class WordListTable
{
public:
    // The \ls number of list, counted from 1 in the order first asked for.
    int number(const QTextList *list, QTextListFormat::Style style, int level)
    {
        const auto it = ids.constFind(list);
        if (it != ids.constEnd())
            return *it;
        entries.push_back({style, std::clamp(level, 0, 8)});
        const int n = int(entries.size());
        ids.insert(list, n);
        return n;
    }

    bool isEmpty() const { return entries.empty(); }

    // {\*\listtable ...}{\*\listoverridetable ...}, each list with the
    // levels up to its own, all in its style.
    QByteArray tables() const
    {
        QByteArray lists = "{\\*\\listtable", overrides = "{\\*\\listoverridetable";
        for (size_t i = 0; i < entries.size(); ++i) {
            const QByteArray id = QByteArray::number(qlonglong(i + 1));
            lists += "\r\n{\\list\\listtemplateid" + id + "\\listsimple0";
            for (int level = 0; level <= 8; ++level) {
                const QByteArray l = QByteArray::number(level);
                const int n = nfc(entries[i].style);
                lists += "{\\listlevel\\levelnfc" + QByteArray::number(n) + "\\levelstartat1\\levelfollow0"
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
        QTextListFormat::Style style;
        int level;
    };
    std::vector<Entry> entries;
    QHash<const QTextList *, int> ids;
};

}  // namespace rtf
