// The RTF writer: what the document keeps as read (fields, drawing
// objects, groups on their anchors), and pictures.
#include "writer.h"

#include "rtf.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace rtf {

// A span's characters go between its groups, as long as they follow
// one another in a paragraph; any carrying its id later are plain text.
void Writer::writeSpan(const QTextFragment &frag, const QTextCharFormat &cf)
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
void Writer::appendKept(const QByteArray &bytes)
{
    body += bytes;
    if (kept::endsInWord(bytes))
        body += ' ';
}

// The text of each of an object's text boxes, which showed shown from the
// offsets starts on and now show now. What an edit left alone stays in its
// box; text it put in goes to the box where it began.
QStringList Writer::boxTexts(const QString &shown, const QString &now, const QVariantList &starts)
{
    if (starts.size() <= 1)
        return {now};
    qsizetype prefix = 0, suffix = 0;
    while (prefix < shown.size() && prefix < now.size() && shown[prefix] == now[prefix])
        ++prefix;
    while (suffix < shown.size() - prefix && suffix < now.size() - prefix
           && shown[shown.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const auto map = [&](qsizetype x) {
        if (x <= prefix)
            return x;
        return x >= shown.size() - suffix ? x + now.size() - shown.size() : now.size() - suffix;
    };
    QStringList boxes;
    for (qsizetype k = 0; k < starts.size(); ++k) {
        const qsizetype from = k == 0 ? 0 : map(std::clamp<qsizetype>(starts.at(k).toInt(), 0, shown.size()));
        const qsizetype to = k + 1 == starts.size() ? now.size() : map(std::clamp<qsizetype>(starts.at(k + 1).toInt(), 0, shown.size()));
        boxes << now.mid(from, std::max<qsizetype>(0, to - from));
    }
    return boxes;
}

// An object whose shown text was edited, other than by typing after it,
// is written with the text the document has: the characters that
// carry its id from frag on. Returns how many those are, 0 when it is
// written as read.
qsizetype Writer::writeEditedObject(const QTextFragment &frag, const QTextCharFormat &cf)
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
    QByteArrayList texts;
    const RunProps saved = cur;
    for (const QString &box : boxTexts(shown, now, cf.property(kept::Boxes).toList())) {
        QByteArray text;
        std::swap(text, body);
        const QStringList paragraphs = QString(box).remove(QChar::ObjectReplacementCharacter).split(QChar::LineSeparator);
        for (qsizetype k = 0; k < paragraphs.size(); ++k) {
            if (k > 0)
                body += "\\par ";
            appendText(paragraphs.at(k));
        }
        std::swap(text, body);
        texts << text;
    }
    cur = saved;
    const QByteArray object = kept::replaceShapeText(cf.property(kept::Word).toByteArray(), texts);
    if (object.isEmpty())
        return 0;
    body += object;
    lineStart = body.size();
    return length;
}

void Writer::closeSpan()
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
void Writer::writeAnchored(const QTextFragment &frag, const QTextCharFormat &cf)
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

void Writer::writeImage(const QTextImageFormat &fmt)
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

}  // namespace rtf
