// A drawing object whose text was edited: its words stay as read, the text
// of its text boxes is the document's.
#include "kept.h"

#include <algorithm>
#include <cstring>

namespace rtf::kept {

namespace {

bool isAlpha(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The control words that stand for text.
bool isTextWord(const QByteArray &w)
{
    static const char *const words[] = {"par", "line", "tab", "u", "emdash", "endash", "bullet", "lquote",
                                        "rquote", "ldblquote", "rdblquote", "emspace", "enspace", "qmspace",
                                        "zwj", "zwnj", "sect", "page", "cell", "row", "nestcell", "nestrow"};
    for (const char *t : words)
        if (w == t)
            return true;
    return false;
}

class Rewriter
{
public:
    Rewriter(const QByteArray &in, const QByteArrayList &texts) : in(in), texts(texts) {}

    QByteArray run()
    {
        out.reserve(in.size() + texts.join().size());
        qsizetype i = 0;
        while (i < in.size() && !failed)
            i = copyToken(i);
        return failed || !replaced ? QByteArray() : out;
    }

private:
    // The word at i (a backslash), its end and whether it has a number.
    struct Word {
        QByteArray name;
        qsizetype end;
        qint64 param = 0;
        bool hasParam = false;
    };
    Word readWord(qsizetype i) const
    {
        Word w;
        qsizetype p = i + 1;
        while (p < in.size() && isAlpha(in.at(p)) && p - i <= 32)
            ++p;
        w.name = in.mid(i + 1, p - i - 1);
        const qsizetype digits = p + (p < in.size() && in.at(p) == '-' ? 1 : 0);
        qsizetype q = digits;
        while (q < in.size() && isDigit(in.at(q)) && q - digits < 10)
            w.param = w.param * 10 + (in.at(q++) - '0');
        if (q > digits) {
            w.hasParam = true;
            p = q;
        }
        if (p < in.size() && in.at(p) == ' ')
            ++p;
        w.end = p;
        return w;
    }

    // Copies the token at i, a text box's text group whole with its text
    // replaced; returns where the next starts.
    qsizetype copyToken(qsizetype i)
    {
        const char c = in.at(i);
        if (c == '{' && i + 1 < in.size() && in.at(i + 1) == '\\') {
            const QByteArray name = readWord(i + 1).name;
            if (name == "shptxt" || name == "dptxbxtext")
                return copyTextGroup(i, name == "shptxt" ? shapeBoxes : doBoxes);
        }
        if (c != '\\') {
            out += c;
            return i + 1;
        }
        if (i + 1 < in.size() && !isAlpha(in.at(i + 1))) {
            out += in.mid(i, 2);
            return i + 2;
        }
        const Word w = readWord(i);
        out += in.mid(i, w.end - i);
        if (w.name == "bin" && w.hasParam) {
            // Raw bytes that may hold braces.
            const qsizetype n = qsizetype(std::min<qint64>(w.param, in.size() - w.end));
            out += in.mid(w.end, n);
            return w.end + n;
        }
        return w.end;
    }

    // Copies the group at i as it is.
    qsizetype copyGroup(qsizetype i)
    {
        qint64 depth = 0;
        do {
            const char c = in.at(i);
            depth += c == '{' ? 1 : c == '}' ? -1 : 0;
            if (c == '{' || c == '}') {
                out += c;
                ++i;
            } else {
                const qsizetype from = i;
                i = copyToken(i);
                if (c == '\\' && in.mid(from, 4) == "\\bin")
                    failed = true;  // raw data in text: left as read
            }
        } while (depth > 0 && i < in.size() && !failed);
        return i;
    }

    // A text box's text: its words kept, its text dropped and its new text
    // put where the first of it stood.
    qsizetype copyTextGroup(qsizetype i, qsizetype &boxes)
    {
        text = texts.value(boxes++);
        pending = true;
        out += '{';
        qsizetype p = i + 1;
        int depth = 1;
        while (p < in.size() && depth > 0) {
            const char c = in.at(p);
            if (c == '{') {
                // Groups that are not text (a picture, a field's instruction) stay whole.
                if (p + 2 < in.size() && in.at(p + 1) == '\\' && (in.at(p + 2) == '*' || readWord(p + 1).name == "pict")) {
                    p = copyGroup(p);
                    continue;
                }
                out += c;
                ++depth;
                ++p;
            } else if (c == '}') {
                if (--depth == 0)
                    insertText();
                out += c;
                ++p;
            } else if (c == '\r' || c == '\n') {
                out += c;
                ++p;
            } else if (c != '\\') {
                insertText();
                ++p;
            } else if (p + 1 < in.size() && !isAlpha(in.at(p + 1))) {
                const char s = in.at(p + 1);
                if (s == '\'') {
                    insertText();
                    p += 4;
                } else if (std::strchr("\\{}~-_\r\n", s)) {
                    insertText();
                    p += 2;
                } else {
                    out += in.mid(p, 2);
                    p += 2;
                }
            } else {
                const Word w = readWord(p);
                if (isTextWord(w.name)) {
                    insertText();
                } else if (w.name == "bin") {
                    failed = true;  // raw data in text: left as read
                    return in.size();
                } else {
                    out += in.mid(p, w.end - p);
                }
                p = w.end;
            }
        }
        return std::min(p, in.size());
    }

    void insertText()
    {
        if (!pending)
            return;
        pending = false;
        replaced = true;
        out += text;
    }

    const QByteArray &in;
    const QByteArrayList &texts;
    QByteArray text;  // the box's being copied
    QByteArray out;
    qsizetype shapeBoxes = 0, doBoxes = 0;  // text boxes of each kind copied
    bool pending = false, replaced = false, failed = false;
};

}  // namespace

QByteArray replaceShapeText(const QByteArray &object, const QByteArrayList &texts)
{
    return Rewriter(object, texts).run();
}

}  // namespace rtf::kept
