#include "kept.h"

#include <QTextCharFormat>

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

bool onlyWordsBetween(const char *begin, const char *wordStart)
{
    const auto alpha = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    const char *p = begin + 1;
    while (p < wordStart) {
        if (*p == '\r' || *p == '\n' || *p == ' ') {
            ++p;
        } else if (*p == '\\' && p + 1 < wordStart && p[1] == '*') {
            p += 2;
        } else if (*p == '\\' && p + 1 < wordStart && alpha(p[1])) {
            ++p;
            while (p < wordStart && alpha(*p))
                ++p;
            if (p < wordStart && *p == '-')
                ++p;
            while (p < wordStart && *p >= '0' && *p <= '9')
                ++p;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace rtf::kept
