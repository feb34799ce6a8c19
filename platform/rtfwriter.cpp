#include "rtf.h"

#include <QTextBlock>
#include <QTextDocument>

namespace rtf {

QByteArray write(const QTextDocument *doc)
{
    // Placeholder until the full writer lands: text only.
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}}\r\n\\viewkind4\\uc1\\pard\\f0\\fs17 ";
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString t = b.text();
        for (QChar ch : t) {
            const char16_t c = ch.unicode();
            if (c == '\\' || c == '{' || c == '}') { out += '\\'; out += char(c); }
            else if (c < 0x80) out += char(c);
            else out += "\\u" + QByteArray::number(qint16(c)) + '?';
        }
        if (b.next().isValid())
            out += "\\par\r\n";
    }
    out += "\\par\r\n}\r\n";
    return out;
}

}  // namespace rtf
