#pragma once
// Splits RTF into tokens and hands each to a listener: braces, control words
// with their parameters (clamped to the keyword's range), control symbols,
// \'hh escapes, \bin data and runs of plain text. It minds the fallback that
// follows \uN (the listener says how long it is) and remembers a \* for the
// next control word. No Qt text classes: bytes in, calls out.
//
// The listener is the template parameter, so its calls are inlined:
//   void groupOpen();
//   void groupClose();
//   void word(Kw kw, int param, bool hasParam, bool starred);
//   void symbol(char c);                            // a control symbol but \* and \'
//   void hexByte(uchar b);                          // \'hh
//   void binary(const char *data, qint64 size);     // the data of \binN
//   void text(const char *begin, const char *end);  // printable ASCII but \ { }
//   void byte(uchar b);                             // any other byte but CR and LF
#include "keywords.h"

#include <algorithm>

namespace rtf {

// The value of a hexadecimal digit, -1 for anything else.
inline int hexValue(uchar c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <typename Listener>
class Tokenizer
{
public:
    Tokenizer(const char *begin, const char *end, Listener &listener) : p(begin), end(end), listener(listener) {}

    // Up to the end of the outermost group, or of the data.
    void run()
    {
        while (p < end && *p != '{')
            ++p;
        while (p < end && !stopped) {
            const uchar c = uchar(*p);
            switch (kClass.of[c]) {
            case Open:
                lastOpen = p;
                ++p;
                ++depth;
                fallback = 0;
                starred = false;
                listener.groupOpen();
                break;
            case Close:
                ++p;
                fallback = 0;
                starred = false;
                listener.groupClose();
                if (--depth == 0)
                    return;
                break;
            case Backslash:
                ++p;
                control();
                break;
            case LineEnd:
                ++p;
                break;
            case Plain:
                if (fallback > 0) {
                    --fallback;
                    ++p;
                } else {
                    const char *start = p;
                    while (p < end && kClass.of[uchar(*p)] == Plain)
                        ++p;
                    listener.text(start, p);
                }
                break;
            default:
                ++p;
                if (fallback > 0)
                    --fallback;
                else
                    listener.byte(c);
                break;
            }
        }
    }

    // Past the end of the group open at p, minding \bin data and escapes;
    // nested counts the groups the data leaves open.
    static const char *scanGroup(const char *p, const char *end, qint64 &nested)
    {
        nested = 1;
        while (p < end) {
            const uchar c = uchar(*p++);
            if (c == '\\') {
                if (p < end && isAlpha(uchar(*p))) {
                    const char *name = p;
                    while (p < end && isAlpha(uchar(*p)))
                        ++p;
                    const bool isBin = p - name == 3 && name[0] == 'b' && name[1] == 'i' && name[2] == 'n';
                    qint64 n = 0;
                    bool negative = false;
                    if (p < end && *p == '-') {
                        negative = true;
                        ++p;
                    }
                    while (p < end && isDigit(uchar(*p))) {
                        if (n < INT_MAX)
                            n = n * 10 + (*p - '0');
                        ++p;
                    }
                    if (p < end && *p == ' ')
                        ++p;
                    if (isBin && !negative && n > 0)
                        p += std::min<qint64>(n, end - p);
                } else if (p < end) {
                    ++p;
                }
            } else if (c == '{') {
                ++nested;
            } else if (c == '}') {
                if (--nested == 0)
                    break;
            }
        }
        return p;
    }

    // Skips the rest of the group just opened. Returns how many of its
    // groups the data left open.
    qint64 skipGroup()
    {
        qint64 nested = 1;
        p = scanGroup(p, end, nested);
        fallback = 0;
        starred = false;
        if (--depth == 0)
            p = end;  // the outermost group itself was skipped
        return nested;
    }

    // The next count characters are the fallback of a \uN just read.
    void skipFallback(int count) { fallback = count; }

    // Where things are, for keeping a group's bytes as read: the last '{',
    // the backslash of the control word just read, the next byte to read.
    const char *lastGroupOpen() const { return lastOpen; }
    const char *wordStart() const { return lastWord; }
    const char *position() const { return p; }
    // Where the group open here ends, without reading it.
    const char *groupEnd() const
    {
        qint64 nested = 1;
        return scanGroup(p, end, nested);
    }
    qint64 groupDepth() const { return depth; }
    // run() returns before the next token.
    void stop() { stopped = true; }

private:
    enum ByteClass : quint8 { Other, Plain, Open, Close, Backslash, LineEnd };
    struct Classes {
        ByteClass of[256];
        constexpr Classes() : of{}
        {
            for (int i = 0x20; i < 0x7F; ++i)
                of[i] = Plain;
            of[uchar('{')] = Open;
            of[uchar('}')] = Close;
            of[uchar('\\')] = Backslash;
            of[uchar('\r')] = LineEnd;
            of[uchar('\n')] = LineEnd;
        }
    };
    static constexpr Classes kClass{};

    static bool isAlpha(uchar c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
    static bool isDigit(uchar c) { return c >= '0' && c <= '9'; }

    void control()
    {
        if (p >= end)
            return;
        const uchar c = uchar(*p);
        if (isAlpha(c)) {
            word();
            return;
        }
        ++p;
        if (c == '\'') {
            hexEscape();
        } else if (fallback > 0) {
            --fallback;
        } else if (c == '*') {
            starred = true;
        } else {
            listener.symbol(char(c));
        }
    }

    void hexEscape()
    {
        int value = 0, digits = 0;
        while (digits < 2 && p < end) {
            const int h = hexValue(uchar(*p));
            if (h < 0)
                break;
            value = value * 16 + h;
            ++p;
            ++digits;
        }
        if (digits == 0)
            return;
        if (fallback > 0)
            --fallback;
        else
            listener.hexByte(uchar(value));
    }

    void word()
    {
        lastWord = p - 1;
        const char *name = p;
        while (p < end && isAlpha(uchar(*p)))
            ++p;
        const size_t length = size_t(p - name);
        bool hasParam = false, negative = false;
        qint64 value = 0;
        if (p + 1 < end && *p == '-' && isDigit(uchar(p[1]))) {
            negative = true;
            ++p;
        }
        while (p < end && isDigit(uchar(*p))) {
            hasParam = true;
            if (value <= INT_MAX)
                value = value * 10 + (*p - '0');
            ++p;
        }
        if (p < end && *p == ' ')
            ++p;
        value = std::min<qint64>(value, INT_MAX);

        const Kw kw = lookupKeyword(name, length);
        const ParamRange range = keyword(kw).range;
        const int param = int(std::clamp<qint64>(negative ? -value : value, range.min, range.max));
        if (kw == K_bin) {
            const qint64 size = std::min<qint64>(hasParam ? param : 0, end - p);
            listener.binary(p, size);
            p += size;
            return;
        }
        const bool wasStarred = starred;
        starred = false;
        if (fallback > 0) {
            --fallback;
            return;
        }
        listener.word(kw, param, hasParam, wasStarred);
    }

    const char *p;
    const char *const end;
    Listener &listener;
    qint64 depth = 0;   // groups open
    int fallback = 0;   // characters still to skip after \uN
    bool starred = false;
    const char *lastOpen = nullptr;
    const char *lastWord = nullptr;
    bool stopped = false;
};

}  // namespace rtf
