#include "kept.h"

#include <QTextCharFormat>
#include <QTextDocument>
#include <QUrl>
#include <QVariantList>

#include <algorithm>

namespace rtf::kept {

bool add(QTextCharFormat &format, Property side, const QByteArray &groups, int newId)
{
    const bool made = !has(format);
    if (made)
        format.setProperty(Id, newId);
    if (!groups.isEmpty())
        format.setProperty(side, format.property(side).toByteArray() + groups);
    return made;
}

bool endsInWord(const QByteArray &bytes)
{
    const auto alnum = [](char c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || (c >= '0' && c <= '9') || c == '-'; };
    qsizetype i = bytes.size();
    while (i > 0 && alnum(bytes[i - 1]))
        --i;
    if (i == bytes.size() || i == 0 || bytes[i - 1] != '\\' || !((bytes[i] | 0x20) >= 'a' && (bytes[i] | 0x20) <= 'z'))
        return false;
    // An even run of backslashes before it is escaped ones and text.
    qsizetype slashes = 0;
    while (i > slashes && bytes[i - 1 - slashes] == '\\')
        ++slashes;
    return slashes % 2 == 1;
}

bool onlyWordsBetween(const char *begin, const char *wordStart)
{
    const auto alpha = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    const char *p = begin + 1;
    bool afterWord = false;  // a space ends the word before it; any other is text
    while (p < wordStart) {
        if (*p == '\r' || *p == '\n') {
            ++p;
        } else if (*p == ' ' && afterWord) {
            ++p;
            afterWord = false;
        } else if (*p == '\\' && p + 1 < wordStart && p[1] == '*') {
            p += 2;
            afterWord = false;
        } else if (*p == '\\' && p + 1 < wordStart && alpha(p[1])) {
            ++p;
            while (p < wordStart && alpha(*p))
                ++p;
            if (p < wordStart && *p == '-')
                ++p;
            while (p < wordStart && *p >= '0' && *p <= '9')
                ++p;
            afterWord = true;
        } else {
            return false;
        }
    }
    return true;
}

namespace {
const QUrl kTablesUrl(QStringLiteral("rtf-kept:tables"));
}

void saveTables(QTextDocument *doc, const Tables &tables)
{
    QVariantList fonts;
    for (const Tables::Font &f : tables.fonts)
        fonts << QVariant(QVariantList{f.id, f.charset, f.name, f.cpg, f.family});
    QVariantList colors;
    for (QRgb c : tables.colors)
        colors << QVariant(uint(c));
    QVariantList characterStyles;
    for (int id : tables.characterStyles)
        characterStyles << id;
    QVariantList styles;
    for (const Tables::Style &s : tables.styleFormats)
        styles << QVariant(QVariantList{s.id, QVariant(s.block), QVariant(s.text)});
    doc->addResource(QTextDocument::UserResource, kTablesUrl,
                     QVariantList{tables.codePage, fonts, colors, tables.settings, tables.styleSheet, styles,
                                  tables.defaultFont, tables.background,
                                  QVariantList{tables.languages.deflang, tables.languages.deflangfe, tables.languages.adeflang},
                                  characterStyles, tables.namesDefaultFont});
}

bool hasTables(const QTextDocument *doc)
{
    return doc->resource(QTextDocument::UserResource, kTablesUrl).isValid();
}

Tables loadTables(const QTextDocument *doc)
{
    Tables t;
    const QVariantList all = doc->resource(QTextDocument::UserResource, kTablesUrl).toList();
    if (all.size() != 11)
        return t;
    t.codePage = all.at(0).toInt();
    t.defaultFont = all.at(6).toInt();
    t.namesDefaultFont = all.at(10).toBool();
    t.background = all.at(7).toByteArray();
    if (const QVariantList l = all.at(8).toList(); l.size() == 3)
        t.languages = {l.at(0).toInt(), l.at(1).toInt(), l.at(2).toInt()};
    for (const QVariant &v : all.at(9).toList())
        t.characterStyles.push_back(v.toInt());
    for (const QVariant &v : all.at(1).toList()) {
        const QVariantList f = v.toList();
        if (f.size() == 5)
            t.fonts.push_back({f.at(0).toInt(), f.at(1).toInt(), f.at(2).toString(), f.at(3).toInt(), f.at(4).toByteArray()});
    }
    std::sort(t.fonts.begin(), t.fonts.end(), [](const Tables::Font &a, const Tables::Font &b) { return a.id < b.id; });
    for (const QVariant &v : all.at(2).toList())
        t.colors << QRgb(v.toUInt());
    t.settings = all.at(3).toByteArray();
    t.styleSheet = all.at(4).toByteArray();
    for (const QVariant &v : all.at(5).toList()) {
        const QVariantList s = v.toList();
        if (s.size() == 3)
            t.styleFormats.push_back({s.at(0).toInt(), s.at(1).value<QTextFormat>().toBlockFormat(),
                                      s.at(2).value<QTextFormat>().toCharFormat()});
    }
    return t;
}

}  // namespace rtf::kept
