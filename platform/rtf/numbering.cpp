#include "numbering.h"

#include <QTextCursor>
#include <QTextList>

#include <algorithm>

namespace rtf {

int writtenLevel(const QTextListFormat &format)
{
    return std::clamp(std::max(1, format.indent()) - 1 + format.intProperty(ListLevelShift), 0, 8);
}

int startNumber(const QTextListFormat &format)
{
    return format.hasProperty(ListStart) ? format.intProperty(ListStart) : 1;
}

int listGroup(const QTextListFormat &format)
{
    return format.hasProperty(ListGroup) ? format.intProperty(ListGroup) : -1;
}

QString itemText(const QTextList *list, const QTextBlock &block)
{
    const QTextListFormat lf = list->format();
    const int start = startNumber(lf);
    if (start == 1)
        return list->itemText(block);
    const int n = list->itemNumber(block) + start;
    QString text;
    switch (lf.style()) {
    case QTextListFormat::ListLowerAlpha: case QTextListFormat::ListUpperAlpha:
        for (int k = n; k > 0; k = (k - 1) / 26)
            text.prepend(QChar(u'a' + (k - 1) % 26));
        break;
    case QTextListFormat::ListLowerRoman: case QTextListFormat::ListUpperRoman: {
        static const std::pair<int, const char *> numerals[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
            {100, "c"}, {90, "xc"}, {50, "l"}, {40, "xl"}, {10, "x"}, {9, "ix"}, {5, "v"}, {4, "iv"}, {1, "i"}};
        int k = n;
        for (const auto &[value, numeral] : numerals)
            for (; k >= value; k -= value)
                text += QLatin1String(numeral);
        break;
    }
    default:
        text = QString::number(n);
        break;
    }
    if (lf.style() == QTextListFormat::ListUpperAlpha || lf.style() == QTextListFormat::ListUpperRoman)
        text = text.toUpper();
    return lf.numberPrefix() + text + (lf.hasProperty(QTextFormat::ListNumberSuffix) ? lf.numberSuffix() : QStringLiteral("."));
}

void ListMaker::attach(QTextCursor &cursor, const Numbering &n)
{
    if (last && n == lastNumbering) {
        last->add(cursor.block());
        return;
    }
    QHash<qint64, Made> &made = n.word ? wordMade : pnMade;
    // The levels below this one start again. Word's lists have their
    // levels, RichEdit's only their indents.
    const int depth = n.word ? n.level + 1 : n.indent;
    for (int deeper = depth + 1; deeper <= 9; ++deeper)
        made.remove(key(n.group, deeper));
    Made &m = made[key(n.group, depth)];
    if (m.list && m.numbering == n) {
        m.list->add(cursor.block());
    } else {
        QTextListFormat lf;
        lf.setStyle(n.style);
        lf.setIndent(n.indent);
        if (n.level != n.indent - 1)
            lf.setProperty(ListLevelShift, n.level - (n.indent - 1));
        if (n.start != 1)
            lf.setProperty(ListStart, n.start);
        if (n.word && n.group >= 0)
            lf.setProperty(ListGroup, n.group);
        m = {cursor.createList(lf), n};
    }
    last = m.list;
    lastNumbering = n;
}

void ListMaker::interrupt()
{
    last = nullptr;
    if (!pnMade.isEmpty())
        pnMade.clear();
}

}  // namespace rtf
