#pragma once
// Qt's formats for the properties the reader collects, each made once:
// documents use few distinct formats over and over.
#include "properties.h"
#include "tables.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>

#include <unordered_map>

namespace rtf {

class FormatCache
{
public:
    explicit FormatCache(const DocumentTables &tables) : tables(tables) {}

    const QTextCharFormat &charFormat(const CharProps &c);
    // A list's paragraphs take their indent from the list.
    const QTextBlockFormat &blockFormat(const ParaProps &pp, bool inList);

private:
    QTextCharFormat makeCharFormat(const CharProps &c) const;
    static QTextBlockFormat makeBlockFormat(const ParaProps &pp, bool inList);

    const DocumentTables &tables;

    std::unordered_map<CharProps, QTextCharFormat, CharHash> charFormats;
    CharProps lastChar;  // the last one asked for, most often asked for again
    QTextCharFormat lastCharFormat;
    bool haveLastChar = false;

    ParaProps lastPara;
    bool lastInList = false;
    QTextBlockFormat lastBlockFormat;
    bool haveLastBlock = false;
};

}  // namespace rtf
