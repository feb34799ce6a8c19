// A readable account of a document: one line per paragraph with its format,
// list and text split into runs of equal character format, properties
// resolved against the document's default font the way the writer resolves
// them. Two documents that describe alike hold the same content.
#include "rtfdescribe.h"

#include "rtf/kept.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <cmath>
#include <memory>

namespace rtftest {


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
    if (f.hasProperty(rtf::kept::CharacterStyle)) out << QStringLiteral("cs%1").arg(f.intProperty(rtf::kept::CharacterStyle));
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
    if (bf.pageBreakPolicy()) para << QStringLiteral("page%1").arg(int(bf.pageBreakPolicy()));
    if (bf.headingLevel()) para << QStringLiteral("h%1").arg(bf.headingLevel());
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
    if (bf.lineHeightType() != QTextBlockFormat::SingleHeight)
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

void describeItems(const QTextDocument *doc, QTextFrame::iterator it, QStringList &out, const QString &indent)
{
    for (; !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(child)) {
                out << indent + QStringLiteral("table %1x%2").arg(table->rows()).arg(table->columns());
                for (int r = 0; r < table->rows(); ++r)
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c)
                            continue;  // part of one spanning it
                        QString line = indent + QStringLiteral(" cell %1,%2").arg(r).arg(c);
                        if (cell.rowSpan() > 1 || cell.columnSpan() > 1)
                            line += QStringLiteral(" spans %1x%2").arg(cell.rowSpan()).arg(cell.columnSpan());
                        if (cell.format().boolProperty(rtf::kept::NoCell))
                            line += QStringLiteral(" past its row");
                        out << line;
                        describeItems(doc, cell.begin(), out, indent + QStringLiteral("  "));
                    }
                out << indent + QStringLiteral("end table");
            } else {
                describeItems(doc, child->begin(), out, indent);
            }
        } else {
            out << indent + blockText(doc, it.currentBlock());
        }
    }
}

void describeFrame(const QTextDocument *doc, QTextFrame *frame, QStringList &out)
{
    describeItems(doc, frame->begin(), out, QString());
}

QImage randomImage(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, 0xFF000000 | rng.bounded(0x1000000));
    return img;
}

// A document of random paragraphs, runs, lists, tables and pictures. A
// portable one keeps to what every word processor shows the same way: no
// tabs, line breaks, soft hyphens or links.
std::unique_ptr<QTextDocument> randomDocument(QRandomGenerator &rng, bool portable)
{

    const QStringList families{QStringLiteral("Arial"), QStringLiteral("Courier New"), QStringLiteral("Times New Roman"),
                               QString::fromUtf16(u"MS \u660e\u671d")};
    const QString pool = portable
        ? QString::fromUtf16(u"abcdefghijklmnopqrstuvwxyz ABC 0123456789 .,;:!?'\"-+*/=()[]{}\\@#$%&_|"
                             u"\u00e9\u00e0\u00fc\u00df\u00f8\u00a9\u20ac\u2013\u2014\u2018\u201d\u0416\u03a9")
        : QString::fromUtf16(
            u"abcdefghijklmnopqrstuvwxyz ABC 0123456789 .,;:!?'\"-+*/=<>()[]{}\\@#$%^&_|~`"
            u"\u00e9\u00e0\u00fc\u00df\u00f8\u00a9\u20ac\u2013\u2014\u2018\u201d\u2022\u0416\u03a9\u4e2d\u6587\t\u2028\u00a0\u00ad\u2011");
    const QTextListFormat::Style styles[] = {QTextListFormat::ListDisc, QTextListFormat::ListDecimal,
                                             QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
                                             QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
    auto randomFormat = [&] {
        QTextCharFormat f;
        if (rng.bounded(3))
            f.setFontFamilies({families.at(rng.bounded(int(families.size())))});
        if (rng.bounded(3))
            f.setFontPointSize(rng.bounded(12, 60) / 2.0);
        if (rng.bounded(2))
            f.setFontWeight(rng.bounded(2) ? QFont::Bold : QFont::Normal);
        if (rng.bounded(3) == 0) f.setFontItalic(true);
        if (rng.bounded(4) == 0) f.setFontUnderline(true);
        if (rng.bounded(5) == 0) f.setFontStrikeOut(true);
        if (rng.bounded(4) == 0) f.setForeground(QColor::fromRgb(rng.bounded(0x1000000)));
        if (rng.bounded(6) == 0) f.setBackground(QColor::fromRgb(rng.bounded(0x1000000)));
        if (rng.bounded(8) == 0)
            f.setVerticalAlignment(rng.bounded(2) ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
        if (!portable && rng.bounded(10) == 0) {
            f.setAnchor(true);
            f.setAnchorHref(rng.bounded(2) ? QStringLiteral("https://example.org/p%1?a=1&b=\"2\"").arg(rng.bounded(3))
                                           : QStringLiteral("C:\\Docs\\p%1.rtf").arg(rng.bounded(3)));
        }
        return f;
    };
    auto randomBlockFormat = [&] {
        QTextBlockFormat b;
        const Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
        if (rng.bounded(2)) b.setAlignment(aligns[rng.bounded(4)]);
        if (rng.bounded(3) == 0) b.setLeftMargin(rng.bounded(0, 100));
        if (rng.bounded(4) == 0) b.setRightMargin(rng.bounded(0, 60));
        if (rng.bounded(4) == 0) b.setTextIndent(rng.bounded(-20, 40));
        if (rng.bounded(3) == 0) b.setTopMargin(rng.bounded(0, 20));
        if (rng.bounded(3) == 0) b.setBottomMargin(rng.bounded(0, 20));
        switch (rng.bounded(6)) {
        case 0: b.setLineHeight(QList<int>{100, 115, 150, 200}.at(rng.bounded(4)), QTextBlockFormat::ProportionalHeight); break;
        case 1: b.setLineHeight(rng.bounded(10, 40), QTextBlockFormat::FixedHeight); break;
        case 2: b.setLineHeight(rng.bounded(10, 40), QTextBlockFormat::MinimumHeight); break;
        default: break;
        }
        if (rng.bounded(5) == 0) {
            QList<QTextOption::Tab> tabs;
            int x = 0;
            for (int k = rng.bounded(1, 4); k > 0; --k)
                tabs.append(QTextOption::Tab(x += rng.bounded(20, 120), QTextOption::TabType(rng.bounded(4)), u'.'));
            b.setTabPositions(tabs);
        }
        return b;
    };
    auto fillParagraph = [&](QTextCursor &c, QTextDocument &doc, int &images) {
        for (int r = rng.bounded(0, 6); r > 0; --r) {
            if (rng.bounded(12) == 0) {
                const QString name = QStringLiteral("tarbel-image:%1").arg(++images);
                doc.addResource(QTextDocument::ImageResource, QUrl(name),
                                randomImage(rng.bounded(1, 9), rng.bounded(1, 9), rng.generate()));
                QTextImageFormat img;
                img.setName(name);
                if (rng.bounded(2)) {
                    img.setWidth(rng.bounded(5, 90));
                    img.setHeight(rng.bounded(5, 90));
                }
                c.insertImage(img);
                continue;
            }
            QString text;
            for (int k = rng.bounded(1, 30); k > 0; --k)
                text += pool.at(rng.bounded(int(pool.size())));
            if (!portable && rng.bounded(10) == 0)
                text += QString::fromUtf16(u"\U0001F600");
            c.insertText(text, randomFormat());
        }
    };

    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(QFont(QStringLiteral("Verdana"), rng.bounded(8, 14)));
    QTextCursor c(doc.get());
    int images = 0;
    QPointer<QTextList> list;  // Qt deletes a list its last paragraph leaves
    for (int p = rng.bounded(1, 14); p > 0; --p) {
        if (p != 0 && c.position() > 0)
            c.insertBlock(randomBlockFormat(), QTextCharFormat());
        else
            c.setBlockFormat(randomBlockFormat());
        const int kind = rng.bounded(10);
        if (kind < 3) {
            if (list && rng.bounded(2))
                list->add(c.block());
            else {
                QTextListFormat lf;
                lf.setStyle(styles[rng.bounded(6)]);
                lf.setIndent(rng.bounded(1, 4));
                list = c.createList(lf);
            }
        } else if (kind == 3) {
            QTextTable *t = c.insertTable(rng.bounded(1, 4), rng.bounded(1, 4));
            for (int cell = t->rows() * t->columns(); cell > 0; --cell) {
                if (rng.bounded(3))
                    fillParagraph(c, *doc, images);
                if (rng.bounded(5) == 0) {
                    c.insertBlock(randomBlockFormat(), QTextCharFormat());
                    fillParagraph(c, *doc, images);
                }
                c.movePosition(QTextCursor::NextCell);
            }
            c.setPosition(t->lastPosition() + 1);
            list = nullptr;
        } else {
            list = nullptr;
        }
        fillParagraph(c, *doc, images);
    }
    return doc;
}

QString describe(const QTextDocument *doc)
{
    QStringList out;
    if (const QBrush page = doc->rootFrame()->frameFormat().background(); page.style() != Qt::NoBrush)
        out << QStringLiteral("page ") + page.color().name();
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
