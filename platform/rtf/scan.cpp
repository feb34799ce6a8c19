// scan(): the tokenizer with a listener that only counts, to measure the
// tokenizer on its own.
#include "rtf.h"

#include "tokenizer.h"

#include <vector>

namespace rtf {

namespace {

// Counts the characters of text outside the header tables, pictures and
// skipped destinations: a byte, an escape or a \u each count as one.
class Counter final
{
public:
    explicit Counter(const QByteArray &data) : tokens(data.constData(), data.constData() + data.size(), *this)
    {
        groups.reserve(64);
        groups.push_back(Group{});
    }

    qint64 run()
    {
        tokens.run();
        return count;
    }

    void groupOpen()
    {
        if (groups.size() >= size_t(kMaxDepth))
            ++phantom;
        else
            groups.push_back(groups.back());
    }

    void groupClose()
    {
        if (phantom > 0)
            --phantom;
        else if (groups.size() > 1)
            groups.pop_back();
    }

    void word(Kw kw, int param, bool, bool starred)
    {
        const Kind kind = keyword(kw).kind;
        if ((starred && kind != Kind::Ignorable) || kind == Kind::Skipped) {
            tokens.skipGroup();
            groupClose();
            return;
        }
        Group &g = groups.back();
        switch (kw) {
        case K_uc:
            g.uc = quint8(param);
            return;
        case K_u:
            tokens.skipFallback(g.uc);
            count += g.text;
            return;
        case K_fonttbl: case K_colortbl: case K_stylesheet: case K_listtable: case K_listoverridetable:
        case K_pict: case K_fldinst: case K_shpinst:
            g.text = false;
            return;
        default:
            if (kind == Kind::Symbol)
                count += g.text;
            return;
        }
    }

    void symbol(char) { count += groups.back().text; }
    void hexByte(uchar) { count += groups.back().text; }
    void binary(const char *, qint64) {}
    void text(const char *begin, const char *end) { count += groups.back().text ? end - begin : 0; }
    void byte(uchar) { count += groups.back().text; }

private:
    struct Group {
        quint8 uc = 1;
        bool text = true;
    };

    Tokenizer<Counter> tokens;
    std::vector<Group> groups;
    qint64 phantom = 0;
    qint64 count = 0;
};

}  // namespace

qint64 scan(const QByteArray &data)
{
    return Counter(data).run();
}

}  // namespace rtf
