#include "rtf.h"

#include "bounds.h"
#include "codepages.h"
#include "kept.h"
#include "listtable.h"
#include "numbering.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <cctype>
#include <cmath>
#include <vector>

namespace rtf {

namespace {

// Where a long paragraph's line is broken (at a space; readers ignore the
// line end) and how wide picture data lines are.
constexpr int kLineLength = 200;
constexpr int kHexLine = 128;

struct RunProps {
    int font = 0;
    int size = 24;  // half points
    int fg = 0, bg = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    quint8 valign = 0;
    quint8 bgWord = 0;  // as the reader counts them
    bool operator==(const RunProps &) const = default;
};

const char kHex[] = "0123456789abcdef";

// The fonts and colours the header declares, and each character format's
// properties as numbers in them.
class RunTables
{
public:
    // The fonts and colours of a file read come first, under their numbers
    // there, when the document keeps groups that refer to them.
    RunTables(const QFont &defaultFont, const kept::Tables &read) : defaultFont(defaultFont)
    {
        for (const kept::Tables::Font &f : read.fonts) {
            if (f.id < 0 || f.id >= kMaxFontId || (!fonts.empty() && fonts.back().id == f.id))
                continue;
            fonts.push_back({f.id, f.charset, f.name, f.cpg});
            if (!fontIds.contains(f.name))
                fontIds.insert(f.name, f.id);
            if (f.charset != 0 || f.cpg != 0)
                nonAnsi.insert(f.id);
            nextFont = std::max(nextFont, f.id + 1);
        }
        for (QRgb rgb : read.colors) {
            colorList.append(rgb);
            if (rgb != kept::kAutoColor && !colorIds.contains(rgb))
                colorIds.insert(rgb, int(colorList.size()));
        }
        fontId(defaultFont.family());
    }

    const RunProps &props(int index, const QTextCharFormat &f);
    // The Symbol font that bullets are drawn in, declared on first use.
    int useSymbolFont()
    {
        if (symbolFontId < 0) {
            symbolFontId = nextFont++;
            fonts.push_back({symbolFontId, 2, QStringLiteral("Symbol")});
            nonAnsi.insert(symbolFontId);
        }
        return symbolFontId;
    }

    struct Font {
        int id;
        int charset;
        QString name;
        int cpg = 0;
    };
    const std::vector<Font> &fontList() const { return fonts; }
    const QList<QRgb> &colors() const { return colorList; }
    // Whether \'hh in font means Windows-1252.
    bool isAnsi(int font) const { return !nonAnsi.contains(font); }

private:
    static constexpr int kMaxFontId = 1 << 20;
    int fontId(const QString &family);
    int colorId(const QColor &color);

    QFont defaultFont;
    std::vector<Font> fonts;
    QHash<QString, int> fontIds;
    QSet<int> nonAnsi;
    int nextFont = 0;
    int symbolFontId = -1;
    QList<QRgb> colorList;
    QHash<QRgb, int> colorIds;
    // By the document's format index.
    std::vector<RunProps> cache;
    std::vector<bool> cacheValid;
    RunProps scratch;
};

const RunProps &RunTables::props(int index, const QTextCharFormat &f)
{
    if (index >= 0 && size_t(index) < cacheValid.size() && cacheValid[size_t(index)])
        return cache[size_t(index)];
    RunProps r;
    QString family;
    const QVariant families = f.property(QTextFormat::FontFamilies);
    if (families.isValid()) {
        const QStringList list = families.toStringList();
        if (!list.isEmpty())
            family = list.first();
    }
    if (family.isEmpty() && f.hasProperty(QTextFormat::FontFamily))
        family = f.stringProperty(QTextFormat::FontFamily);
    if (family.isEmpty())
        family = defaultFont.family();
    r.font = fontId(family);
    double pt = 0;
    if (f.hasProperty(QTextFormat::FontPointSize))
        pt = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        pt = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (pt <= 0)
        pt = defaultFont.pointSizeF() > 0 ? defaultFont.pointSizeF() : defaultFont.pixelSize() * 0.75;
    if (pt <= 0)
        pt = 12;
    r.size = std::clamp(int(std::lround(pt * 2)), 1, 3276);
    r.bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold : defaultFont.bold();
    r.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : defaultFont.italic();
    r.underline = f.hasProperty(QTextFormat::TextUnderlineStyle) || f.hasProperty(QTextFormat::FontUnderline)
        ? f.fontUnderline()
        : defaultFont.underline();
    r.strike = f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : defaultFont.strikeOut();
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        r.fg = colorId(f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        r.bg = colorId(f.background().color());
    if (r.bg && f.hasProperty(kept::BackgroundWord))
        r.bgWord = quint8(std::clamp(f.intProperty(kept::BackgroundWord), 0, 2));
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        r.valign = 1;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        r.valign = 2;
    if (index < 0)
        return scratch = r;
    if (size_t(index) >= cache.size()) {
        cache.resize(size_t(index) + 1);
        cacheValid.resize(size_t(index) + 1, false);
    }
    cache[size_t(index)] = r;
    cacheValid[size_t(index)] = true;
    return cache[size_t(index)];
}

int RunTables::fontId(const QString &family)
{
    const auto it = fontIds.constFind(family);
    if (it != fontIds.constEnd())
        return *it;
    const int id = nextFont++;
    fonts.push_back({id, 0, family});
    fontIds.insert(family, id);
    return id;
}

int RunTables::colorId(const QColor &color)
{
    const QRgb rgb = color.rgb() & 0xFFFFFF;
    const auto it = colorIds.constFind(rgb);
    if (it != colorIds.constEnd())
        return *it;
    colorList.append(rgb);
    const int id = int(colorList.size());
    colorIds.insert(rgb, id);
    return id;
}

class Writer
{
public:
    explicit Writer(const QTextDocument *doc, const kept::Tables &read = {})
        : doc(doc), tables(doc->defaultFont(), read), codePage(read.codePage), pageSettings(read.settings),
          styleSheet(read.styleSheet)
    {
        for (const kept::Tables::Style &s : read.styleFormats)
            styles.insert(s.id, {s.block, tables.props(-1, s.text)});
        if (codePage != 1252 && codepage::isKnown(codePage))
            ansiText = false;  // escapes would be read in that code page
        else
            codePage = 1252;
        body.reserve(doc->characterCount() * 2 + 1024);
    }

    QByteArray run()
    {
        writeFrame(doc->rootFrame());
        QByteArray out;
        out.reserve(body.size() + 1024);
        out += "{\\rtf1\\ansi\\ansicpg" + QByteArray::number(codePage) + "\\deff0\\deflang1033\r\n{\\fonttbl";
        for (const RunTables::Font &font : tables.fontList()) {
            out += "{\\f" + QByteArray::number(font.id) + "\\fnil\\fcharset" + QByteArray::number(font.charset);
            if (font.cpg)
                out += "\\cpg" + QByteArray::number(font.cpg);
            out += ' ';
            QByteArray name;
            std::swap(name, body);
            const bool ansi = ansiText;
            ansiText = ansiText && font.charset == 0;
            appendText(QString(font.name).remove(u';'));
            ansiText = ansi;
            std::swap(name, body);
            out += name + ";}";
        }
        out += "}\r\n{\\colortbl ;";
        for (QRgb rgb : tables.colors()) {
            if (rgb != kept::kAutoColor)
                out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb))
                    + "\\blue" + QByteArray::number(qBlue(rgb));
            out += ';';
        }
        out += "}\r\n";
        if (!styleSheet.isEmpty())
            out += styleSheet + "\r\n";
        if (!wordLists.isEmpty())
            out += wordLists.tables();
        if (!pageSettings.isEmpty())
            out += pageSettings.trimmed() + "\r\n";
        out += "\\viewkind4\\uc1\\pard\\plain\\f0\\fs24\r\n";
        out += body;
        out += "}\r\n";
        return out;
    }

private:
    void writeFrame(QTextFrame *frame)
    {
        for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                if (auto *table = qobject_cast<QTextTable *>(child))
                    writeTable(table, 1, 9360);
                else
                    writeFrame(child);
            } else {
                writeBlock(it.currentBlock(), 0, "\\par");
            }
        }
    }

    static void collectBlocks(QTextFrame::iterator it, std::vector<QTextBlock> &blocks)
    {
        for (; !it.atEnd(); ++it) {
            if (QTextFrame *child = it.currentFrame())
                collectBlocks(child->begin(), blocks);
            else
                blocks.push_back(it.currentBlock());
        }
    }

    // A table in a cell is written as Word writes one: its paragraphs carry
    // their depth, its cells end with \\nestcell and each row's edges come at
    // the row's end, beside a flat form for readers that know no nesting.
    // width: twips the table spans unless its columns say otherwise.
    void writeTable(QTextTable *table, int depth, qint64 width)
    {
        const bool pageBreak = depth == 1 && (table->format().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
        const int rows = table->rows(), cols = table->columns();
        const QList<QTextLength> widths = table->format().columnWidthConstraints();
        QByteArray rowDef = "\\trowd\\trgaph108\\trleft0";
        std::vector<qint64> right(size_t(std::max(cols, 0)));
        qint64 x = 0;
        for (int c = 0; c < cols; ++c) {
            qint64 w = width / std::max(cols, 1);
            // Widths from pasted HTML can be anything: no column is wider
            // than the widest page (22 inches).
            if (c < widths.size() && widths.at(c).type() == QTextLength::FixedLength && widths.at(c).rawValue() > 0)
                w = std::lround(std::min(widths.at(c).rawValue(), 2112.0) * 15);
            x += w;
            right[size_t(c)] = x;
            if (c > 0 && c % 2 == 0)
                rowDef += "\r\n";
            rowDef += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                      "\\clbrdrr\\brdrs\\brdrw10\\cellx" + QByteArray::number(x);
        }
        for (int r = 0; r < rows; ++r) {
            if (depth == 1) {
                // A section may start with the table or at one of its rows.
                const QTextTableCell lead = table->cellAt(r, 0);
                if (lead.row() == r) {
                    const QTextBlock first = doc->findBlock(lead.firstPosition());
                    const bool rowBreak = r == 0 ? pageBreak : bool(first.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
                    if (writeSection(first.blockFormat(), rowBreak))
                        sectionBrokeAt = first.blockNumber();
                    else if (r == 0 && pageBreak)
                        body += "\\page\r\n";
                }
                body += rowDef + "\r\n";
                lineStart = body.size();
            }
            for (int c = 0; c < cols; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                const qint64 cellWidth = right[size_t(c)] - (c > 0 ? right[size_t(c) - 1] : 0);
                writeCell(cell, cell.row() == r && cell.column() == c, depth, cellWidth);
            }
            if (depth == 1)
                body += "\\row\r\n";
            else
                body += "{\\*\\nesttableprops" + rowDef + "\\nestrow}{\\nonesttables\\par}\r\n";
            lineStart = body.size();
        }
    }

    void writeCell(const QTextTableCell &cell, bool origin, int depth, qint64 width)
    {
        const char *end = depth == 1 ? "\\cell" : "\\nestcell";
        // Its paragraphs, and the tables in it (null block) that can be
        // written nested; deeper ones are flattened.
        std::vector<std::pair<QTextBlock, QTextTable *>> items;
        for (QTextFrame::iterator it = cell.begin(); origin && !it.atEnd(); ++it) {
            QTextFrame *child = it.currentFrame();
            auto *inner = qobject_cast<QTextTable *>(child);
            if (inner && depth < kMaxTableDepth) {
                items.emplace_back(QTextBlock(), inner);
            } else if (child) {
                std::vector<QTextBlock> blocks;
                collectBlocks(child->begin(), blocks);
                for (const QTextBlock &b : blocks)
                    items.emplace_back(b, nullptr);
            } else {
                items.emplace_back(it.currentBlock(), nullptr);
            }
        }
        // Qt puts an empty paragraph before a table that starts the cell.
        if (items.size() > 1 && items[1].second && !items[0].second && items[0].first.length() <= 1)
            items.erase(items.begin());
        if (items.empty() || items.back().second) {
            for (const auto &item : items)
                writeTable(item.second, depth + 1, width);
            body += "\\pard\\intbl" + itap(depth) + end + "\r\n";
            lineStart = body.size();
            return;
        }
        for (size_t k = 0; k < items.size(); ++k) {
            if (items[k].second)
                writeTable(items[k].second, depth + 1, width);
            else
                writeBlock(items[k].first, depth, k + 1 == items.size() ? end : "\\par");
        }
    }

    static QByteArray itap(int depth) { return depth > 1 ? "\\itap" + QByteArray::number(depth) : QByteArray(); }

    // depth: of the table the block is in, 0 outside tables.
    void writeBlock(const QTextBlock &block, int depth, const char *terminator)
    {
        const QTextBlockFormat bf = block.blockFormat();
        const bool inTable = depth > 0;
        const bool pageBreak = (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) || breakBeforeNext;
        const bool sectionBreaks = inTable ? block.blockNumber() == sectionBrokeAt : writeSection(bf, pageBreak);
        body += "\\pard";
        if (inTable)
            body += "\\intbl" + itap(depth);
        writeStyle(block, bf);
        if (pageBreak && !sectionBreaks)
            body += "\\pagebb";
        breakBeforeNext = !inTable && (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter);
        QTextList *list = block.textList();
        int indentPx = 0;
        if (list) {
            const QTextListFormat lf = list->format();
            const int level = std::max(1, lf.indent());
            const int numbered = writtenLevel(lf), start = startNumber(lf);
            const auto style = lf.style();
            if (style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
                || style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman
                || style == QTextListFormat::ListUpperRoman) {
                const char *kind = style == QTextListFormat::ListDecimal ? "\\pndec"
                    : style == QTextListFormat::ListLowerAlpha           ? "\\pnlcltr"
                    : style == QTextListFormat::ListUpperAlpha           ? "\\pnucltr"
                    : style == QTextListFormat::ListLowerRoman           ? "\\pnlcrm"
                                                                         : "\\pnucrm";
                body += "{\\pntext\\f0 ";
                appendText(itemText(list, block));
                body += "\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart" + QByteArray::number(start);
                body += kind;
                body += "{\\pntxta.}}\\ls" + QByteArray::number(wordLists.number(list, style, numbered, start, listGroup(lf)))
                    + "\\ilvl" + QByteArray::number(numbered);
            } else {
                const QByteArray f = QByteArray::number(tables.useSymbolFont());
                body += "{\\pntext\\f" + f + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + f + "\\pnindent0{\\pntxtb\\'B7}}\\ls"
                    + QByteArray::number(wordLists.number(list, style, numbered, 1, listGroup(lf))) + "\\ilvl"
                    + QByteArray::number(numbered);
            }
            body += "\\fi-360\\li" + QByteArray::number(720 * level);
        } else {
            indentPx = bf.indent() * int(doc->indentWidth());
            const int li = int(std::lround((bf.leftMargin() + indentPx) * 15));
            const int fi = int(std::lround(bf.textIndent() * 15));
            if (li)
                body += "\\li" + QByteArray::number(li);
            if (fi)
                body += "\\fi" + QByteArray::number(fi);
        }
        const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (align & Qt::AlignHCenter)
            body += "\\qc";
        else if (align & Qt::AlignRight)
            body += "\\qr";
        else if (align & Qt::AlignJustify)
            body += "\\qj";
        twips("\\ri", bf.rightMargin());
        twips("\\sb", bf.topMargin());
        twips("\\sa", bf.bottomMargin());
        switch (bf.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            if (std::lround(bf.lineHeight()) != 100 && bf.lineHeight() > 0)
                body += "\\sl" + QByteArray::number(qlonglong(std::lround(bf.lineHeight() * 2.4))) + "\\slmult1";
            break;
        case QTextBlockFormat::FixedHeight:
            if (bf.lineHeight() > 0)
                body += "\\sl-" + QByteArray::number(qlonglong(std::lround(bf.lineHeight() * 15))) + "\\slmult0";
            break;
        case QTextBlockFormat::MinimumHeight:
            if (bf.lineHeight() > 0)
                body += "\\sl" + QByteArray::number(qlonglong(std::lround(bf.lineHeight() * 15))) + "\\slmult0";
            break;
        default:
            break;
        }
        if (bf.hasProperty(QTextFormat::TabPositions)) {
            for (const QTextOption::Tab &tab : bf.tabPositions()) {
                switch (tab.type) {
                case QTextOption::RightTab: body += "\\tqr"; break;
                case QTextOption::CenterTab: body += "\\tqc"; break;
                case QTextOption::DelimiterTab: body += "\\tqdec"; break;
                default: break;
                }
                body += "\\tx" + QByteArray::number(qlonglong(std::lround(tab.position * 15)));
            }
        }
        body += ' ';

        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid())
                continue;
            const QTextCharFormat cf = frag.charFormat();
            const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
            if (href.isEmpty()) {
                writeFragment(frag, cf);
                continue;
            }
            // A run of fragments with the same link becomes one field.
            closeSpan();
            body += "{\\field{\\*\\fldinst{HYPERLINK \"";
            QString escaped = href;
            escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("%22"));
            appendText(escaped);
            body += "\"}}{\\fldrslt{";
            const RunProps saved = cur;
            writeFragment(frag, cf);
            while (true) {
                QTextBlock::iterator next = it;
                ++next;
                if (next.atEnd())
                    break;
                const QTextCharFormat nf = next.fragment().charFormat();
                if (!nf.isAnchor() || nf.anchorHref() != href)
                    break;
                it = next;
                writeFragment(it.fragment(), nf);
            }
            closeSpan();
            body += "}}}";
            cur = saved;
        }
        closeSpan();
        // The paragraph mark keeps the paragraph's own character format:
        // Word and LibreOffice draw the bullet or number with it.
        setProps(tables.props(block.charFormatIndex(), block.charFormat()));
        lastBlockHasText = block.length() > 1;
        body += terminator;
        body += "\r\n";
        lineStart = body.size();
    }

    // The section a paragraph or table starts, once however often splitting
    // the paragraph copied it: the paragraph before ends with the break.
    // True when the break starts the page the paragraph wants.
    bool writeSection(const QTextBlockFormat &bf, bool pageBreak)
    {
        if (!bf.hasProperty(kept::Section) || sectionsWritten.contains(bf.intProperty(kept::Id)))
            return false;
        sectionsWritten.insert(bf.intProperty(kept::Id));
        const QByteArray words = bf.property(kept::Section).toByteArray();
        // The first section's headers and footers come without a break.
        const bool isBreak = words.startsWith("\\sect") && (words.size() == 5 || !std::isalpha(uchar(words.at(5))));
        if (isBreak && lastBlockHasText && body.endsWith("\\par\r\n"))
            body.chop(6);
        body += words;
        const bool breaks = isBreak && !words.contains("\\sbknone") && !words.contains("\\sbkcol");
        if (breaks && !pageBreak)
            body += "\\sbknone";
        body += "\r\n";
        lineStart = body.size();
        return breaks;
    }

    void twips(const char *word, qreal px)
    {
        const long v = std::lround(px * 15);
        if (v)
            body += word + QByteArray::number(qlonglong(v));
    }

    // The paragraph style read, where what this paragraph writes overrides
    // all the style gives it: it sets no tab stops, and sets nothing that
    // this paragraph has at its default, which is not written. Readers give
    // the text the style's formatting or keep what went before: \\plain
    // where the two differ.
    void writeStyle(const QTextBlock &block, const QTextBlockFormat &bf)
    {
        if (styles.isEmpty())
            return;
        auto known = styleOfFormat.constFind(block.blockFormatIndex());
        if (known == styleOfFormat.constEnd())
            known = styleOfFormat.insert(block.blockFormatIndex(), fittingStyle(bf));
        if (*known == INT_MIN)
            return;
        body += "\\s" + QByteArray::number(*known);
        if (!(styles.value(*known).text == cur)) {
            body += "\\plain";
            cur = RunProps();
        }
    }

    int fittingStyle(const QTextBlockFormat &bf) const
    {
        if (!bf.hasProperty(kept::ParagraphStyle))
            return INT_MIN;
        const int id = bf.intProperty(kept::ParagraphStyle);
        const auto it = styles.constFind(id);
        if (it == styles.constEnd())
            return INT_MIN;
        const QTextBlockFormat &style = it->block;
        const auto unset = [&](QTextFormat::Property p) {
            return bf.doubleProperty(p) != 0 || style.doubleProperty(p) == 0;
        };
        const auto notLeft = [](const QTextBlockFormat &f) { return f.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignLeft; };
        if (!style.tabPositions().isEmpty() || !unset(QTextFormat::BlockLeftMargin) || !unset(QTextFormat::TextIndent)
            || !unset(QTextFormat::BlockRightMargin) || !unset(QTextFormat::BlockTopMargin)
            || !unset(QTextFormat::BlockBottomMargin)
            || (style.lineHeightType() != QTextBlockFormat::SingleHeight && bf.lineHeightType() == QTextBlockFormat::SingleHeight)
            || (notLeft(style) && !notLeft(bf)) || style.pageBreakPolicy() != QTextFormat::PageBreak_Auto)
            return INT_MIN;
        return id;
    }

    void writeFragment(const QTextFragment &frag, const QTextCharFormat &cf)
    {
        if (span.open && !(kept::has(cf) && cf.intProperty(kept::Id) == span.id))
            closeSpan();  // (a span showing an object is never open)
        if (kept::has(cf))
            writeAnchored(frag, cf);
        else
            writePiece(frag, cf, 0, frag.length());
    }

    void writePiece(const QTextFragment &frag, const QTextCharFormat &cf, int from, int count)
    {
        if (count <= 0)
            return;
        if (cf.isImageFormat()) {
            // A picture's own format rarely names a font: leave the text's as it is.
            const QTextImageFormat img = cf.toImageFormat();
            for (int k = 0; k < count; ++k)
                writeImage(img);
            return;
        }
        setProps(tables.props(frag.charFormatIndex(), cf));
        appendText(from == 0 && count == frag.length() ? frag.text() : frag.text().mid(from, count));
    }

    // A span's characters go between its groups, as long as they follow
    // one another in a paragraph; any carrying its id later are plain text.
    void writeSpan(const QTextFragment &frag, const QTextCharFormat &cf)
    {
        const int id = cf.intProperty(kept::Id);
        int &used = keptUsed[id];
        if (cf.hasProperty(kept::Word)) {
            // The object, once, for the characters that show it.
            if (used == 0) {
                appendKept(cf.property(kept::Before).toByteArray());
                if (const qsizetype n = writeEditedObject(frag, cf)) {
                    used = INT_MAX / 2;
                    appendKept(cf.property(kept::After).toByteArray());
                    editedLeft[id] = n - frag.length();
                    return;
                }
                appendKept(cf.property(kept::Word).toByteArray());
                lineStart = body.size();
            } else if (qsizetype &left = editedLeft[id]; left > 0) {
                // In its text: written with it.
                const qsizetype n = std::min<qsizetype>(left, frag.length());
                left -= n;
                writePiece(frag, cf, int(n), frag.length() - int(n));
                return;
            }
            const int length = cf.hasProperty(kept::Length) ? cf.intProperty(kept::Length) : 1;
            const int shown = std::clamp(length - used, 0, frag.length());
            used += shown;
            if (shown > 0 && used >= length)
                appendKept(cf.property(kept::After).toByteArray());
            if (shown < frag.length())
                used = INT_MAX / 2;  // what follows is text typed next to it
            writePiece(frag, cf, shown, frag.length() - shown);
            return;
        }
        if (used == 0) {
            used = 1;
            span.open = true;
            span.id = id;
            span.after = cf.property(kept::After).toByteArray();
            span.saved = cur;
            appendKept(cf.property(kept::Before).toByteArray());
            lineStart = body.size();
        }
        writePiece(frag, cf, 0, frag.length());
    }

    // Kept bytes may end in a control word (a field's up to \\fldrslt): the
    // text after them must not read as its parameter or part of its name.
    void appendKept(const QByteArray &bytes)
    {
        body += bytes;
        if (kept::endsInWord(bytes))
            body += ' ';
    }

    // An object whose shown text was edited, other than by typing after it,
    // is written with the text the document has: the characters that
    // carry its id from frag on. Returns how many those are, 0 when it is
    // written as read.
    qsizetype writeEditedObject(const QTextFragment &frag, const QTextCharFormat &cf)
    {
        const QString shown = cf.property(kept::Shown).toString();
        if (!cf.hasProperty(kept::Shown))
            return 0;
        const int id = cf.intProperty(kept::Id);
        QString now;
        QTextBlock::iterator it = doc->findBlock(frag.position()).begin();
        while (!it.atEnd() && it.fragment().position() < frag.position())
            ++it;
        for (; !it.atEnd() && kept::has(it.fragment().charFormat())
             && it.fragment().charFormat().intProperty(kept::Id) == id && now.size() <= shown.size() + 65536;
             ++it)
            now += it.fragment().text();
        if (now.startsWith(shown))
            return 0;
        const qsizetype length = now.size();
        QByteArray text;
        std::swap(text, body);
        const RunProps saved = cur;
        const QStringList paragraphs = now.remove(QChar::ObjectReplacementCharacter).split(QChar::LineSeparator);
        for (qsizetype k = 0; k < paragraphs.size(); ++k) {
            if (k > 0)
                body += "\\par ";
            appendText(paragraphs.at(k));
        }
        cur = saved;
        std::swap(text, body);
        const QByteArray object = kept::replaceShapeText(cf.property(kept::Word).toByteArray(), text);
        if (object.isEmpty())
            return 0;
        body += object;
        lineStart = body.size();
        return length;
    }

    void closeSpan()
    {
        if (!span.open)
            return;
        span.open = false;
        keptUsed[span.id] = INT_MAX;
        appendKept(span.after);
        cur = span.saved;  // what its closing braces bring back
    }

    // The groups kept on an anchor go once around its first characters;
    // characters typed next to it since are plain text.
    void writeAnchored(const QTextFragment &frag, const QTextCharFormat &cf)
    {
        if (cf.hasProperty(kept::Span)) {
            writeSpan(frag, cf);
            return;
        }
        int &used = keptUsed[cf.intProperty(kept::Id)];
        const int length = cf.hasProperty(kept::Length) ? std::max(1, cf.intProperty(kept::Length)) : 1;
        int done = 0;
        if (used < length) {
            done = std::min(length - used, frag.length());
            if (used == 0)
                appendKept(cf.property(kept::Before).toByteArray());
            if (cf.hasProperty(kept::Word)) {
                const QByteArray word = cf.property(kept::Word).toByteArray();
                if (used == 0 && !word.isEmpty()) {
                    setProps(tables.props(frag.charFormatIndex(), cf));
                    body += word;
                    body += ' ';
                }
            } else {
                writePiece(frag, cf, 0, done);
            }
            used += done;
            if (used >= length)
                appendKept(cf.property(kept::After).toByteArray());
            lineStart = body.size();
        }
        writePiece(frag, cf, done, frag.length() - done);
    }

    void setProps(const RunProps &t)
    {
        const qsizetype before = body.size();
        if (t.font != cur.font)
            body += "\\f" + QByteArray::number(t.font);
        if (t.size != cur.size)
            body += "\\fs" + QByteArray::number(t.size);
        if (t.bold != cur.bold)
            body += t.bold ? "\\b" : "\\b0";
        if (t.italic != cur.italic)
            body += t.italic ? "\\i" : "\\i0";
        if (t.underline != cur.underline)
            body += t.underline ? "\\ul" : "\\ulnone";
        if (t.strike != cur.strike)
            body += t.strike ? "\\strike" : "\\strike0";
        if (t.fg != cur.fg)
            body += "\\cf" + QByteArray::number(t.fg);
        if (t.bg != cur.bg || t.bgWord != cur.bgWord) {
            static const char *const words[] = {"\\highlight", "\\cb", "\\chcbpat"};
            if (cur.bg && (t.bg == 0 || t.bgWord != cur.bgWord))
                body += QByteArray(words[cur.bgWord]) + '0';
            if (t.bg)
                body += words[t.bgWord] + QByteArray::number(t.bg);
        }
        if (t.valign != cur.valign)
            body += t.valign == 1 ? "\\super" : t.valign == 2 ? "\\sub" : "\\nosupersub";
        if (body.size() != before)
            body += ' ';
        cur = t;
    }

    void appendText(const QString &text)
    {
        const QChar *s = text.constData();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = s[i].unicode();
            if (c >= 0x20 && c < 0x7F) {
                if (c == '\\' || c == '{' || c == '}')
                    body += '\\';
                body += char(c);
                // Readers ignore line ends in text: break at a space, or
                // anywhere in a very long word.
                if (body.size() - lineStart > kLineLength && (c == ' ' || body.size() - lineStart > kLineLength + 55)) {
                    body += "\r\n";
                    lineStart = body.size();
                }
                continue;
            }
            switch (c) {
            case '\t': body += "\\tab "; continue;
            case 0x2028: body += "\\line "; continue;
            case 0x00A0: body += "\\~"; continue;
            case 0x00AD: body += "\\-"; continue;
            case 0x2011: body += "\\_"; continue;
            case 0xFFFC: continue;
            default: break;
            }
            if (c < 0x20)
                continue;
            if (const uchar b = c >= 0x80 && ansiText && tables.isAnsi(cur.font) ? codepage::toWindows1252(c) : 0) {
                const char esc[4] = {'\\', '\'', kHex[b >> 4], kHex[b & 15]};
                body.append(esc, 4);
                continue;
            }
            body += "\\u" + QByteArray::number(int(qint16(c))) + '?';
            if (body.size() - lineStart > kLineLength + 55) {
                body += "\r\n";
                lineStart = body.size();
            }
        }
    }

    void writeImage(const QTextImageFormat &fmt)
    {
        const QUrl url(fmt.name());
        const QVariant res = doc->resource(QTextDocument::ImageResource, url);
        QImage image;
        if (res.userType() == QMetaType::QImage)
            image = res.value<QImage>();
        else if (res.userType() == QMetaType::QPixmap)
            image = res.value<QPixmap>().toImage();
        else if (res.userType() == QMetaType::QByteArray)
            image = QImage::fromData(res.toByteArray());
        if (image.isNull())
            return;
        QByteArray data;
        const char *blip = "\\pngblip";
        const QVariant source = doc->resource(QTextDocument::UserResource, jpegSourceUrl(fmt.name()));
        if (source.userType() == QMetaType::QByteArray && source.toByteArray().startsWith("\xFF\xD8")) {
            data = source.toByteArray();
            blip = "\\jpegblip";
        } else {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        const double w = fmt.width() > 0 ? fmt.width() : image.width();
        const double h = fmt.height() > 0 ? fmt.height() : image.height();
        body += "{\\pict";
        body += blip;
        body += "\\picw" + QByteArray::number(image.width()) + "\\pich" + QByteArray::number(image.height())
            + "\\picwgoal" + QByteArray::number(qlonglong(std::lround(w * 15)))
            + "\\pichgoal" + QByteArray::number(qlonglong(std::lround(h * 15))) + "\r\n";
        const qsizetype start = body.size();
        body.resize(start + data.size() * 2 + (data.size() / (kHexLine / 2) + 1) * 2);
        char *o = body.data() + start;
        for (qsizetype i = 0; i < data.size(); ++i) {
            const uchar b = uchar(data[i]);
            *o++ = kHex[b >> 4];
            *o++ = kHex[b & 15];
            if ((i + 1) % (kHexLine / 2) == 0) {
                *o++ = '\r';
                *o++ = '\n';
            }
        }
        body.resize(o - body.data());
        body += "}";
        lineStart = body.size();
    }

    const QTextDocument *doc;
    RunTables tables;
    QByteArray body;
    qsizetype lineStart = 0;
    RunProps cur;  // what the text written last is in
    int codePage;
    QByteArray pageSettings;  // as read
    struct Style {
        QTextBlockFormat block;
        RunProps text;
    };
    QByteArray styleSheet;  // as read
    QHash<int, Style> styles;  // the paragraph styles of the text read
    QHash<int, int> styleOfFormat;  // by block format index: the style written, INT_MIN for none
    bool ansiText = true;  // non-ASCII text may go as Windows-1252 escapes
    bool breakBeforeNext = false;  // the paragraph before ends its page
    QHash<int, int> keptUsed;      // characters of each anchor written so far
    QHash<int, qsizetype> editedLeft;  // characters of an edited object's text still to come
    QSet<int> sectionsWritten;
    int sectionBrokeAt = -1;  // the cell paragraph whose row a section break written starts
    bool lastBlockHasText = false;  // an empty one keeps its \\par before a section break
    WordListTable wordLists;
    struct {
        bool open = false;
        int id = 0;
        QByteArray after;
        RunProps saved;
    } span;  // the span being written
};

}  // namespace

QByteArray write(const QTextDocument *doc)
{
    return Writer(doc, kept::loadTables(doc)).run();
}

}  // namespace rtf
