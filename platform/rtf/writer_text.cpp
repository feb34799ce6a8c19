// The RTF writer: runs of text, their formatting and characters.
#include "writer.h"

#include "codepages.h"
#include "tables.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace rtf {

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
    if (family.isEmpty() && !unnamedKept)
        family = defaultFont.family();
    if (family.isEmpty() && !unnamedKept)
        family = Fonts::kUnnamedFace;
    r.font = family.isEmpty() ? -1 : fontId(family);
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
    for (int k = 0; k < kept::Languages::kCount; ++k) {
        const auto p = kept::Languages::kProperties[k];
        r.lang[size_t(k)] = quint16(f.hasProperty(p) ? f.intProperty(p) : languages.defaultOf(k));
    }
    r.noproof = f.boolProperty(kept::NoProof);
    r.fontAlone = f.boolProperty(kept::FontAlone);
    if (f.hasProperty(kept::FontFe) && fontsRead.contains(f.intProperty(kept::FontFe)))
        r.feFont = f.intProperty(kept::FontFe);
    if (f.hasProperty(kept::CharacterStyle) && characterStyles.contains(f.intProperty(kept::CharacterStyle)))
        r.cstyle = f.intProperty(kept::CharacterStyle);
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

RunTables::RunTables(const QFont &defaultFont, const kept::Tables &read)
    : defaultFont(defaultFont), languages(read.languages)
{
    for (int id : read.characterStyles)
        characterStyles.insert(id);
    for (const kept::Tables::Font &f : read.fonts) {
        if (f.id < 0 || f.id >= kMaxFontId || (!fonts.empty() && fonts.back().id == f.id))
            continue;
        fonts.push_back({f.id, f.charset, f.name, f.cpg, f.family});
        fontsRead.insert(f.id);
        if (!f.name.isEmpty() && !fontIds.contains(f.name))
            fontIds.insert(f.name, f.id);
        if (f.charset != 0 || f.cpg != 0)
            nonAnsi.insert(f.id);
        if (f.charset == 128 || f.charset == 129 || f.charset == 130 || f.charset == 134 || f.charset == 136)
            eastAsian.insert(f.id);
        if (symbolFontId < 0 && f.charset == 2 && f.name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0)
            symbolFontId = f.id;
        nextFont = std::max(nextFont, f.id + 1);
    }
    for (QRgb rgb : read.colors) {
        colorList.append(rgb);
        if (rgb != kept::kAutoColor && !colorIds.contains(rgb))
            colorIds.insert(rgb, int(colorList.size()));
    }
}

RunProps RunTables::plain(int font) const
{
    RunProps r;
    r.font = font;
    for (int k = 0; k < kept::Languages::kCount; ++k)
        r.lang[size_t(k)] = quint16(languages.defaultOf(k));
    return r;
}

int RunTables::useSymbolFont()
{
    if (symbolFontId < 0) {
        symbolFontId = nextFont++;
        fonts.push_back({symbolFontId, 2, QStringLiteral("Symbol"), 0, {}});
        nonAnsi.insert(symbolFontId);
    }
    return symbolFontId;
}

namespace {

// The face a family is written as, with its family word. Qt's family
// aliases (Sans Serif, Serif, Monospace) name no face any Windows program
// knows: the face they resolve to here stands for them, or without fonts to
// ask, the Windows face of their kind.
std::pair<QString, QByteArray> writtenFace(const QString &family)
{
    struct Alias {
        QLatin1StringView name;
        const char *word;
        QLatin1StringView windowsFace;
    };
    static const Alias aliases[] = {
        {QLatin1StringView("Sans Serif"), "fswiss", QLatin1StringView("Arial")},
        {QLatin1StringView("sans-serif"), "fswiss", QLatin1StringView("Arial")},
        {QLatin1StringView("Sans"), "fswiss", QLatin1StringView("Arial")},
        {QLatin1StringView("Serif"), "froman", QLatin1StringView("Times New Roman")},
        {QLatin1StringView("Monospace"), "fmodern", QLatin1StringView("Courier New")},
        {QLatin1StringView("Mono"), "fmodern", QLatin1StringView("Courier New")}};
    for (const Alias &alias : aliases) {
        if (family.compare(alias.name, Qt::CaseInsensitive) != 0)
            continue;
        QString face;
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            face = QFontInfo(QFont(family)).family().remove(QRegularExpression(QStringLiteral(" *\\[.*\\]$")));
        if (face.isEmpty() || face.compare(family, Qt::CaseInsensitive) == 0)
            face = alias.windowsFace;
        return {face, QByteArray(alias.word)};
    }
    return {family, family == Fonts::kUnnamedFace ? QByteArray("froman") : QByteArray()};
}

}  // namespace

int RunTables::fontId(const QString &family)
{
    auto it = fontIds.constFind(family);
    if (it != fontIds.constEnd())
        return *it;
    const auto [face, word] = writtenFace(family);
    it = fontIds.constFind(face);
    const int id = it != fontIds.constEnd() ? *it : nextFont++;
    if (it == fontIds.constEnd()) {
        fonts.push_back({id, 0, face, 0, word});
        fontIds.insert(face, id);
    }
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

void Writer::writeFragment(const QTextFragment &frag, const QTextCharFormat &cf)
{
    if (span.open && !(kept::has(cf) && cf.intProperty(kept::Id) == span.id))
        closeSpan();  // (a span showing an object is never open)
    if (kept::has(cf))
        writeAnchored(frag, cf);
    else
        writePiece(frag, cf, 0, frag.length());
}

void Writer::writePiece(const QTextFragment &frag, const QTextCharFormat &cf, int from, int count)
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

// \\plain, and \\loch after East Asian text, so that a font named next is
// the one for all text again.
void Writer::writePlain()
{
    body += tables.isEastAsian(cur.font) ? "\\plain\\loch" : "\\plain";
    cur = plainProps;
}

// The words that take the text from what it is in (cur) to t. A character
// style is named with all of t after it, whatever the style gives; \\plain
// ends it.
void Writer::setProps(const RunProps &t)
{
    const qsizetype before = body.size();
    bool all = false;
    // \\plain is also the only way back to no font (for all text or for
    // East Asian characters), and to a font named alone where \\dbch named
    // it before.
    if ((t.cstyle != cur.cstyle && t.cstyle < 0) || (t.font < 0 && cur.font >= 0) || (t.feFont < 0 && cur.feFont >= 0)
        || (t.fontAlone && t.font == cur.dbchFont && (t.font != cur.font || !cur.fontAlone)))
        writePlain();
    int dbchFont = cur.dbchFont;
    if (t.cstyle != cur.cstyle && t.cstyle >= 0) {
        appendWord(body, "\\cs", t.cstyle);
        all = true;
    }
    if (t.font >= 0 && (all || t.font != cur.font || t.fontAlone != cur.fontAlone)) {
        // LibreOffice gives a font to Chinese, Japanese and Korean text
        // only after \\dbch, and after it to nothing else; text read with
        // its font named alone is written so, and shown as it was.
        if (tables.isEastAsian(t.font) && !t.fontAlone) {
            appendWord(body, "\\loch\\f", t.font);
            body += "\\dbch";
            dbchFont = t.font;
        } else if (tables.isEastAsian(cur.font)) {
            body += "\\loch";
        }
        appendWord(body, "\\f", t.font);
    }
    if (t.feFont >= 0 && (all || t.feFont != cur.feFont)) {
        // \\loch after it, so that a font named next is not taken for
        // East Asian characters alone.
        appendWord(body, "\\dbch\\af", t.feFont);
        body += "\\loch";
    }
    if (all || t.size != cur.size)
        appendWord(body, "\\fs", t.size);
    if (all || t.bold != cur.bold)
        body += t.bold ? "\\b" : "\\b0";
    if (all || t.italic != cur.italic)
        body += t.italic ? "\\i" : "\\i0";
    if (all || t.underline != cur.underline)
        body += t.underline ? "\\ul" : "\\ulnone";
    if (all || t.strike != cur.strike)
        body += t.strike ? "\\strike" : "\\strike0";
    if (all || t.fg != cur.fg)
        appendWord(body, "\\cf", t.fg);
    if (all || t.bg != cur.bg || t.bgWord != cur.bgWord) {
        static const char *const words[] = {"\\highlight", "\\cb", "\\chcbpat"};
        if ((cur.bg || all) && (t.bg == 0 || t.bgWord != cur.bgWord))
            body += QByteArray(words[all && !cur.bg ? t.bgWord : cur.bgWord]) + '0';
        if (t.bg)
            appendWord(body, words[t.bgWord], t.bg);
    }
    if (all || t.valign != cur.valign)
        body += t.valign == 1 ? "\\super" : t.valign == 2 ? "\\sub" : "\\nosupersub";
    setLanguages(t, all);
    if (body.size() != before)
        body += ' ';
    cur = t;
    cur.dbchFont = dbchFont;
}

void Writer::setLanguages(const RunProps &t, bool all)
{
    for (size_t k = 0; k < t.lang.size(); ++k)
        if (all || t.lang[k] != cur.lang[k])
            appendWord(body, kept::Languages::kWords[k], t.lang[k]);
    if (all || t.noproof != cur.noproof)
        body += t.noproof ? "\\noproof" : "\\noproof0";
}

void Writer::appendText(const QString &text)
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
        if (const uchar b = c >= 0x80 && ansiText && tables.isAnsi(cur.font) ? codepage::toWindows1252(c) : 0) {
            const char esc[4] = {'\\', '\'', kHex[b >> 4], kHex[b & 15]};
            body.append(esc, 4);
            continue;
        }
        appendWord(body, "\\u", int(qint16(c)));
        body += '?';
        if (body.size() - lineStart > kLineLength + 55) {
            body += "\r\n";
            lineStart = body.size();
        }
    }
}

}  // namespace rtf
