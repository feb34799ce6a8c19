// A readable account of a document: one line per paragraph with its format,
// list and text split into runs of equal character format, properties
// resolved against the document's default font the way the writer resolves
// them. Two documents that describe alike hold the same content.
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <cmath>

namespace rtftest {

QString describe(const QTextDocument *doc);
QString plainText(const QTextDocument *doc);


QString runProps(const QTextDocument *doc, const QTextCharFormat &f)
{
    const QFont def = doc->defaultFont();
    QString family;
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty())
        family = families.first();
    if (family.isEmpty())
        family = def.family();
    const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : def.pointSizeF();
    QStringList out{family, QString::number(pt)};
    const bool bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold : def.bold();
    if (bold) out << QStringLiteral("b");
    if (f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : def.italic()) out << QStringLiteral("i");
    if (f.fontUnderline()) out << QStringLiteral("u");
    if (f.fontStrikeOut()) out << QStringLiteral("s");
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        out << QStringLiteral("fg") + f.foreground().color().name();
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        out << QStringLiteral("bg") + f.background().color().name();
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) out << QStringLiteral("super");
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) out << QStringLiteral("sub");
    if (f.isAnchor() && !f.anchorHref().isEmpty()) out << QStringLiteral("href=") + f.anchorHref();
    return out.join(u' ');
}

QString imageText(const QTextDocument *doc, const QTextImageFormat &f)
{
    const QVariant res = doc->resource(QTextDocument::ImageResource, QUrl(f.name()));
    QImage img = res.value<QImage>();
    if (img.isNull())
        img = res.value<QPixmap>().toImage();
    const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
    quint32 sum = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const uchar *line = argb.constScanLine(y);
        for (int x = 0; x < argb.width() * 4; ++x)
            sum = sum * 31 + line[x];
    }
    const double w = f.width() > 0 ? f.width() : img.width();
    const double h = f.height() > 0 ? f.height() : img.height();
    return QStringLiteral("[image %1x%2 shown %3x%4 sum %5]")
        .arg(img.width()).arg(img.height()).arg(std::lround(w)).arg(std::lround(h)).arg(sum);
}

QString blockText(const QTextDocument *doc, const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    QStringList para;
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter) para << QStringLiteral("center");
    else if (a & Qt::AlignRight) para << QStringLiteral("right");
    else if (a & Qt::AlignJustify) para << QStringLiteral("justify");
    if (QTextList *list = block.textList()) {
        para << QStringLiteral("list%1/%2").arg(int(list->format().style())).arg(list->format().indent());
    } else {
        if (std::lround(bf.leftMargin())) para << QStringLiteral("li%1").arg(std::lround(bf.leftMargin()));
        if (std::lround(bf.textIndent())) para << QStringLiteral("fi%1").arg(std::lround(bf.textIndent()));
    }
    if (std::lround(bf.rightMargin())) para << QStringLiteral("ri%1").arg(std::lround(bf.rightMargin()));
    if (std::lround(bf.topMargin())) para << QStringLiteral("sb%1").arg(std::lround(bf.topMargin()));
    if (std::lround(bf.bottomMargin())) para << QStringLiteral("sa%1").arg(std::lround(bf.bottomMargin()));
    if (bf.lineHeightType() != QTextBlockFormat::SingleHeight
        && !(bf.lineHeightType() == QTextBlockFormat::ProportionalHeight && std::lround(bf.lineHeight()) == 100))
        para << QStringLiteral("lh%1:%2").arg(bf.lineHeightType()).arg(std::lround(bf.lineHeight()));
    for (const QTextOption::Tab &t : bf.tabPositions())
        para << QStringLiteral("tab%1:%2").arg(std::lround(t.position)).arg(int(t.type));
    QString out = QLatin1Char('{') + para.join(u' ') + QLatin1Char('}');
    QString lastProps;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const QTextCharFormat cf = frag.charFormat();
        if (cf.isImageFormat()) {
            for (int k = 0; k < frag.length(); ++k)
                out += imageText(doc, cf.toImageFormat());
            lastProps.clear();
            continue;
        }
        const QString props = runProps(doc, cf);
        if (props != lastProps)
            out += QLatin1Char('<') + props + QLatin1Char('>');
        lastProps = props;
        out += frag.text();
    }
    return out;
}

void describeFrame(const QTextDocument *doc, QTextFrame *frame, QStringList &out)
{
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(child)) {
                out << QStringLiteral("table %1x%2").arg(table->rows()).arg(table->columns());
                for (int r = 0; r < table->rows(); ++r)
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        out << QStringLiteral(" cell %1,%2").arg(r).arg(c);
                        for (QTextFrame::iterator ci = cell.begin(); !ci.atEnd(); ++ci)
                            if (!ci.currentFrame())
                                out << QStringLiteral("  ") + blockText(doc, ci.currentBlock());
                    }
                out << QStringLiteral("end table");
            } else {
                describeFrame(doc, child, out);
            }
        } else {
            out << blockText(doc, it.currentBlock());
        }
    }
}

QString describe(const QTextDocument *doc)
{
    QStringList out;
    describeFrame(doc, doc->rootFrame(), out);
    return out.join(u'\n');
}

// The text as the editor hands it on: paragraphs joined by new lines.
QString plainText(const QTextDocument *doc)
{
    QStringList lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines.join(u'\n');
}

}  // namespace rtftest
