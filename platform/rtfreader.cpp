#include "rtf.h"

#include "textcodec.h"

#include <QTextCursor>
#include <QTextDocument>

namespace rtf {

bool isRtf(const QByteArray &data)
{
    qsizetype i = 0;
    while (i < data.size() && (data.at(i) == ' ' || data.at(i) == '\t' || data.at(i) == '\r' || data.at(i) == '\n'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

void readPlainText(const QByteArray &data, QTextDocument *doc)
{
    QString text = platform::decodeText(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
}

void read(const QByteArray &data, QTextDocument *doc)
{
    // Placeholder until the full reader lands: text only.
    QByteArray text;
    int depth = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '{') { ++depth; continue; }
        if (c == '}') { --depth; continue; }
        if (c == '\\') {
            qsizetype j = i + 1;
            QByteArray word;
            while (j < data.size() && std::isalpha(static_cast<unsigned char>(data.at(j))))
                word += data.at(j++);
            while (j < data.size() && (std::isdigit(static_cast<unsigned char>(data.at(j))) || data.at(j) == '-'))
                ++j;
            if (j < data.size() && data.at(j) == ' ')
                ++j;
            if (word == "par")
                text += '\n';
            else if (word.isEmpty() && j < data.size())
                text += data.at(j++);
            i = j - 1;
            continue;
        }
        if (c != '\r' && c != '\n' && depth == 1)
            text += c;
    }
    readPlainText(text, doc);
}

}  // namespace rtf
