#include "documentformat.h"

#include "drivemapping.h"
#include "rtf/rtf.h"
#include "textcodec.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace {

// The first bytes of pictures, archives and other files that are no text.
bool hasBinarySignature(const QByteArray &b)
{
    static const QByteArray kSignatures[] = {
        QByteArrayLiteral("\x89PNG\r\n\x1a\n"), QByteArrayLiteral("\xFF\xD8\xFF"),   // PNG, JPEG
        QByteArrayLiteral("GIF87a"), QByteArrayLiteral("GIF89a"),
        QByteArrayLiteral("PK\x03\x04"), QByteArrayLiteral("PK\x05\x06"), QByteArrayLiteral("PK\x07\x08"),   // zip, docx, odt
        QByteArrayLiteral("\x1F\x8B"), QByteArrayLiteral("\xFD" "7zXZ"), QByteArrayLiteral("7z\xBC\xAF\x27\x1C"),
        QByteArrayLiteral("Rar!\x1A\x07"), QByteArrayLiteral("\x28\xB5\x2F\xFD"),   // gzip, xz, 7-Zip, RAR, zstd
        QByteArrayLiteral("%PDF-"), QByteArrayLiteral("\x7F" "ELF"),
        QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"),   // Word 97 and other OLE files
    };
    for (const QByteArray &s : kSignatures)
        if (b.startsWith(s))
            return true;
    // RIFF pictures (WebP), bzip2
    if (b.startsWith("RIFF") && b.mid(8, 4) == "WEBP")
        return true;
    return b.size() >= 10 && b.startsWith("BZh") && b.at(3) >= '1' && b.at(3) <= '9' && b.mid(4, 6) == "1AY&SY";
}

// The first line end of text (or of bytes in UTF-8 or Windows-1252); CR LF
// when it has none.
template <typename Text>
QByteArray firstLineEnd(const Text &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n')
            return QByteArrayLiteral("\n");
        if (text.at(i) == u'\r')
            return i + 1 < text.size() && text.at(i + 1) == u'\n' ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r");
    }
    return QByteArrayLiteral("\r\n");
}

bool hasUserProperty(const QTextFormat &f)
{
    const auto properties = f.properties();
    return !properties.isEmpty() && properties.lastKey() >= QTextFormat::UserProperty;
}

bool isPlainParagraph(const QTextBlock &b)
{
    if (b.textList())
        return false;
    const QTextBlockFormat f = b.blockFormat();
    if (hasUserProperty(f))
        return false;
    const Qt::Alignment align = f.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
    return (align == Qt::AlignLeft || align == Qt::AlignLeading) && f.indent() == 0 && f.textIndent() == 0
           && f.leftMargin() == 0 && f.rightMargin() == 0 && f.topMargin() == 0 && f.bottomMargin() == 0
           && f.lineHeightType() == QTextBlockFormat::SingleHeight
           && f.pageBreakPolicy() == QTextFormat::PageBreak_Auto && f.background().style() == Qt::NoBrush
           && f.layoutDirection() != Qt::RightToLeft;
}

bool isPlainText(const QTextCharFormat &f, const QFont &face)
{
    if (f.isImageFormat() || f.objectType() != QTextFormat::NoObject || hasUserProperty(f))
        return false;
    if (f.isAnchor() || !f.anchorHref().isEmpty())
        return false;
    if ((f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() != QFont::Normal) || f.fontItalic()
        || f.fontUnderline() || f.fontStrikeOut() || f.fontOverline()
        || f.verticalAlignment() != QTextCharFormat::AlignNormal
        || f.fontCapitalization() != QFont::MixedCase)
        return false;
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush
        && f.foreground().color().rgb() != QColor(Qt::black).rgb())
        return false;
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        return false;
    // The face and size the document shows by default are plain text's own.
    QStringList families = f.fontFamilies().toStringList();
    if (families.isEmpty() && f.hasProperty(QTextFormat::FontFamily))
        families << f.stringProperty(QTextFormat::FontFamily);
    if (!families.isEmpty() && families.first().compare(face.family(), Qt::CaseInsensitive) != 0)
        return false;
    if (f.hasProperty(QTextFormat::FontPointSize) && !qFuzzyCompare(f.fontPointSize(), face.pointSizeF()))
        return false;
    return !f.hasProperty(QTextFormat::FontPixelSize);
}

}  // namespace

DocumentFormat DocumentFormat::of(const QByteArray &bytes, const QString &fileName)
{
    DocumentFormat format;
    if (rtf::isRtf(bytes) || (bytes.isEmpty() && fileName.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive)))
        return format;
    format.kind = Text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        format.encoding = bytes.startsWith("\xFF\xFE") ? Utf16LE : Utf16BE;
        format.lineEnd = firstLineEnd(format.decode(bytes.left(4096)));
    } else if (hasBinarySignature(bytes) || std::memchr(bytes.constData(), 0, size_t(bytes.size()))) {
        format.kind = Refused;
    } else {
        // Told from the bytes: a large file is not decoded twice.
        format.encoding = !bytes.isValidUtf8() ? Windows1252 : bytes.startsWith("\xEF\xBB\xBF") ? Utf8Bom : Utf8;
        format.lineEnd = firstLineEnd(QByteArrayView(bytes));
    }
    return format;
}

DocumentFormat DocumentFormat::ofFile(const QString &path)
{
    QFile file(platform::mapDrivePath(path));
    if (path.isEmpty() || file.size() > std::numeric_limits<int>::max() || !file.open(QIODevice::ReadOnly))
        return {};
    // An RTF file says so in its first bytes: the rest of a large one is
    // not read for it. Text is looked at whole (its encoding), but a piece
    // at a time: a large file is never held whole beside its document.
    constexpr qint64 kPiece = 1 << 20;
    const QByteArray head = file.peek(4096);
    if (rtf::isRtf(head) || file.size() <= kPiece || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        const DocumentFormat format = of(file.readAll(), path);
        return format.kind == Refused ? DocumentFormat() : format;
    }
    if (hasBinarySignature(head))
        return {};
    DocumentFormat format;
    format.kind = Text;
    format.encoding = head.startsWith("\xEF\xBB\xBF") ? Utf8Bom : Utf8;
    bool lineEndFound = false, crLast = false;
    QByteArray valid;   // what is checked for UTF-8: a character cut at a piece's end, then the next piece
    while (!file.atEnd()) {
        const QByteArray piece = file.read(kPiece);
        if (piece.isEmpty())
            return {};
        if (std::memchr(piece.constData(), 0, size_t(piece.size())))
            return {};
        if (crLast) {
            format.lineEnd = piece.startsWith('\n') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r");
            lineEndFound = true;
            crLast = false;
        }
        if (!lineEndFound) {
            const qsizetype at = piece.indexOf('\r'), lf = piece.indexOf('\n');
            if (at >= 0 && at == piece.size() - 1 && (lf < 0 || lf > at))
                crLast = true;
            else if (at >= 0 || lf >= 0) {
                format.lineEnd = firstLineEnd(QByteArrayView(piece));
                lineEndFound = true;
            }
        }
        if (format.encoding == Windows1252)
            continue;
        // The last character may go on in the next piece.
        qsizetype cut = piece.size();
        for (qsizetype back = 1; back <= 3 && back <= piece.size(); ++back) {
            const uchar c = uchar(piece.at(piece.size() - back));
            if ((c & 0xC0) == 0x80)
                continue;
            const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > back)
                cut = piece.size() - back;
            break;
        }
        valid += QByteArrayView(piece).first(cut);
        if (!QByteArrayView(valid).isValidUtf8())
            format.encoding = Windows1252;
        valid = piece.sliced(cut);
    }
    if (crLast)
        format.lineEnd = QByteArrayLiteral("\r");
    if (!valid.isEmpty())
        format.encoding = Windows1252;
    return format;
}

QString DocumentFormat::decode(const QByteArray &bytes) const
{
    return pieceDecoder(bytes)(bytes);
}

platform::PieceDecoder DocumentFormat::pieceDecoder(QByteArrayView whole) const
{
    switch (encoding) {
    case Utf16LE:
    case Utf16BE: {
        // The byte-order mark is skipped; the decoder drops another one.
        auto utf16 = std::make_shared<QStringDecoder>(encoding == Utf16LE ? QStringConverter::Utf16LE
                                                                          : QStringConverter::Utf16BE);
        return [utf16, skip = qsizetype(2)](QByteArrayView piece) mutable {
            const qsizetype n = std::min(skip, piece.size());
            skip -= n;
            return QString(utf16->decode(piece.sliced(n)));
        };
    }
    case Utf8:
    case Utf8Bom:
    case Windows1252:
        break;
    }
    // UTF-8 when valid (a byte-order mark dropped), else Windows-1252.
    return platform::textPieceDecoder(whole);
}

std::optional<QByteArray> DocumentFormat::encode(const QString &text) const
{
    std::optional<QByteArray> bytes = encodeLines(text);
    if (!bytes)
        return std::nullopt;
    // The file must come back as this text when it is opened again: text
    // that begins like RTF, holds a NUL or a picture's signature, or reads
    // otherwise in the encoding its bytes show, is not written as text.
    const DocumentFormat back = of(*bytes);
    if (back.kind != Text)
        return std::nullopt;
    if (back.encoding != encoding && back.decode(*bytes) != decode(*bytes))
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> DocumentFormat::encodeLines(const QString &text) const
{
    // In one pass: a replace all through the string moves everything after
    // each batch of line ends, again and again in a large file.
    QString lines;
    if (lineEnd == "\n") {
        lines = text;
    } else {
        const QString end = QString::fromLatin1(lineEnd);
        lines.reserve(text.size() + text.count(u'\n') * (end.size() - 1));
        for (qsizetype from = 0; from <= text.size();) {
            qsizetype to = text.indexOf(u'\n', from);
            if (to < 0)
                to = text.size();
            lines += QStringView(text).sliced(from, to - from);
            if (to < text.size())
                lines += end;
            from = to + 1;
        }
    }
    switch (encoding) {
    case Utf8:
        return lines.toUtf8();
    case Utf8Bom:
        return QByteArrayLiteral("\xEF\xBB\xBF") + lines.toUtf8();
    case Utf16LE:
    case Utf16BE: {
        QStringEncoder utf16(encoding == Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                             QStringConverter::Flag::WriteBom);
        return QByteArray(utf16.encode(lines));
    }
    case Windows1252: {
        // A character without a place in it comes out as '?'.
        QByteArray bytes = platform::encodeWindows1252(lines);
        if (bytes.count('?') != lines.count(u'?'))
            return std::nullopt;
        return bytes;
    }
    }
    return std::nullopt;
}

DocumentFormat::PlainRule::PlainRule(const QTextDocument *doc) : m_doc(doc), m_face(doc->defaultFont()) {}

bool DocumentFormat::PlainRule::keepsFrames() const
{
    return m_doc->rootFrame()->childFrames().isEmpty();   // tables
}

bool DocumentFormat::PlainRule::keeps(const QTextBlock &block, const QString &text)
{
    auto known = m_paragraphFormats.constFind(block.blockFormatIndex());
    if (known == m_paragraphFormats.constEnd())
        known = m_paragraphFormats.insert(block.blockFormatIndex(), isPlainParagraph(block));
    if (!*known)
        return false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const int index = it.fragment().charFormatIndex();
        auto plain = m_textFormats.constFind(index);
        if (plain == m_textFormats.constEnd())
            plain = m_textFormats.insert(index, isPlainText(it.fragment().charFormat(), m_face));
        if (!*plain)
            return false;
    }
    return !text.contains(QChar::ObjectReplacementCharacter);
}

std::optional<QString> DocumentFormat::plainTextOf(const QTextDocument *doc)
{
    PlainRule rule(doc);
    if (!rule.keepsFrames())
        return std::nullopt;
    QString out;
    out.reserve(doc->characterCount());
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QString line = b.text();
        if (!rule.keeps(b, line))
            return std::nullopt;
        if (b != doc->begin())
            out += u'\n';
        line.replace(QChar::LineSeparator, u'\n');
        out += line;
    }
    return out;
}

namespace {
const std::pair<DocumentFormat::Encoding, QLatin1StringView> kEncodingNames[] = {
    {DocumentFormat::Utf8, QLatin1StringView("utf-8")},
    {DocumentFormat::Utf8Bom, QLatin1StringView("utf-8-bom")},
    {DocumentFormat::Windows1252, QLatin1StringView("windows-1252")},
    {DocumentFormat::Utf16LE, QLatin1StringView("utf-16le")},
    {DocumentFormat::Utf16BE, QLatin1StringView("utf-16be")},
};
const std::pair<QByteArray, QLatin1StringView> kLineEndNames[] = {
    {QByteArrayLiteral("\r\n"), QLatin1StringView("crlf")},
    {QByteArrayLiteral("\n"), QLatin1StringView("lf")},
    {QByteArrayLiteral("\r"), QLatin1StringView("cr")},
};
}  // namespace

QString DocumentFormat::name() const
{
    if (kind != Text)
        return QStringLiteral("rtf");
    QString out = QStringLiteral("text");
    for (const auto &[e, n] : kEncodingNames)
        if (e == encoding)
            out += u' ' + n;
    for (const auto &[l, n] : kLineEndNames)
        if (l == lineEnd)
            out += u' ' + n;
    return out;
}

std::optional<DocumentFormat> DocumentFormat::named(const QString &name)
{
    const QStringList words = name.split(u' ');
    if (words == QStringList{QStringLiteral("rtf")})
        return DocumentFormat();
    if (words.size() != 3 || words.at(0) != QLatin1String("text"))
        return std::nullopt;
    DocumentFormat format;
    format.kind = Text;
    bool encodingKnown = false, lineEndKnown = false;
    for (const auto &[e, n] : kEncodingNames)
        if (words.at(1) == n)
            format.encoding = e, encodingKnown = true;
    for (const auto &[l, n] : kLineEndNames)
        if (words.at(2) == n)
            format.lineEnd = l, lineEndKnown = true;
    if (!encodingKnown || !lineEndKnown)
        return std::nullopt;
    return format;
}
