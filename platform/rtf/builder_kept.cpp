// The builder's side of what the document keeps as read: groups on the
// character where they stood, fields' and drawing objects' spans, footnote
// marks.
#include "builder.h"

#include "kept.h"

#include <QRandomGenerator>
#include <QTextDocument>
#include <QVariantList>

#include <algorithm>
#include <utility>

namespace rtf {

int DocumentBuilder::nextKeptId()
{
    // Most likely unique across documents too, so that text pasted from one
    // into another keeps its own.
    static_assert(kept::kMaxAnchors <= 1 << 16);
    if (keptIdBase == 0)
        keptIdBase = int(QRandomGenerator::global()->bounded(1, 1 << 15)) << 16;
    return keptIdBase + std::min(keptAnchors++, (1 << 16) - 1);
}

void DocumentBuilder::takePendingKept(QTextCharFormat &f)
{
    kept::add(f, kept::Before, keptPending, nextKeptId());
    keptPending.clear();
}

void DocumentBuilder::keep(const QByteArray &groups)
{
    if (spanOpen || keptAnchors >= kept::kMaxAnchors || !paraHasContent || !keepOnPrevious(groups))
        keptPending += groups;
}

namespace {

// The words that give text c's formatting after \\plain.
QByteArray formatWords(const CharProps &c)
{
    QByteArray out;
    const auto word = [&out](const char *w, int v) { out += w + QByteArray::number(v); };
    if (c.font >= 0)
        word("\\f", c.font);
    if (c.size != 24)
        word("\\fs", c.size);
    for (const auto &[on, w] : {std::pair{c.bold, "\\b"}, {c.italic, "\\i"}, {c.underline, "\\ul"}, {c.strike, "\\strike"},
                                {quint8(c.valign == 1), "\\super"}, {quint8(c.valign == 2), "\\sub"}, {c.noproof, "\\noproof"}})
        if (on)
            out += w;
    if (c.fg)
        word("\\cf", c.fg);
    if (c.bg)
        word(c.bgWord == 0 ? "\\highlight" : c.bgWord == 1 ? "\\cb" : "\\chcbpat", c.bg);
    for (size_t k = 0; k < c.lang.size(); ++k)
        if (c.lang[k])
            word(kept::Languages::kWords[k], c.lang[k]);
    return out;
}

}  // namespace

// Hidden text is not shown: it is kept as a group where it stood, with its
// formatting unless it is that of the text it follows.
void DocumentBuilder::keepHidden()
{
    QByteArray bytes = hiddenAsRun ? QByteArray("{\\v ") : "{\\plain\\v" + formatWords(hiddenProps) + ' ';
    for (const QChar c : std::exchange(hiddenText, QString())) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}')
            bytes += '\\';
        if (u == '\t')
            bytes += "\\tab ";
        else if (u >= 0x20 && u < 0x80)
            bytes += char(u);
        else if (u == QChar::LineSeparator)
            bytes += "\\line ";
        else
            bytes += "\\u" + QByteArray::number(qint16(u)) + '?';
    }
    keep(bytes + '}');
}

bool DocumentBuilder::keepOnPrevious(const QByteArray &groups)
{
    flushText();
    if (placeholderPending || pendingBreak || cursor.positionInBlock() == 0)
        return false;
    const int pos = cursor.position();
    QTextCursor c(doc);
    const bool pair = pos >= 2 && QChar::isLowSurrogate(doc->characterAt(pos - 1).unicode())
        && QChar::isHighSurrogate(doc->characterAt(pos - 2).unicode()) && cursor.positionInBlock() >= 2;
    c.setPosition(pos - (pair ? 2 : 1));
    c.setPosition(pos, QTextCursor::KeepAnchor);
    QTextCharFormat f = c.charFormat();
    if (!kept::has(f) && keptAnchors >= kept::kMaxAnchors)
        return false;
    kept::add(f, kept::After, groups, kept::has(f) ? 0 : nextKeptId());
    c.setCharFormat(f);
    return true;
}

bool DocumentBuilder::beginKeptSpan(const QByteArray &before, const QByteArray &after)
{
    if (spanOpen || keptAnchors >= kept::kMaxAnchors)
        return false;
    flushText();
    spanOpen = true;
    spanHasText = false;
    spanFormat = QTextCharFormat();
    kept::add(spanFormat, kept::Before, keptPending + before, nextKeptId());
    keptPending.clear();
    kept::add(spanFormat, kept::After, after, 0);
    spanFormat.setProperty(kept::Span, true);
    return true;
}

bool DocumentBuilder::beginShownSpan(const QByteArray &object)
{
    if (!canBeginSpan())
        return false;
    flushText();
    spanOpen = true;
    spanHasText = false;
    spanFormat = QTextCharFormat();
    kept::add(spanFormat, kept::Before, keptPending, nextKeptId());
    keptPending.clear();
    spanFormat.setProperty(kept::Word, object);
    spanFormat.setProperty(kept::Span, true);
    boxStarts.clear();
    return true;
}

void DocumentBuilder::beginBox()
{
    if (!spanOpen || !spanFormat.hasProperty(kept::Word) || boxStarts.size() >= 4096)
        return;
    flushText();
    boxStarts.push_back(spanHasText ? cursor.position() - spanStart : 0);
}

bool DocumentBuilder::endKeptSpan()
{
    flushText();
    if (spanOpen && spanHasText && spanFormat.hasProperty(kept::Word)) {
        // Characters typed next to them later are not part of the object;
        // an edit of them is an edit of its text.
        QTextCharFormat length;
        if (cursor.position() - spanStart > 1)
            length.setProperty(kept::Length, cursor.position() - spanStart);
        QTextCursor c(doc);
        c.setPosition(spanStart);
        c.setPosition(cursor.position(), QTextCursor::KeepAnchor);
        length.setProperty(kept::Shown, c.selectedText());
        if (boxStarts.size() > 1)
            length.setProperty(kept::Boxes, QVariantList(boxStarts.begin(), boxStarts.end()));
        c.setPosition(spanStart);
        c.setPosition(cursor.position(), QTextCursor::KeepAnchor);
        c.mergeCharFormat(length);
    }
    spanOpen = false;
    return spanHasText;
}

void DocumentBuilder::appendMark(const QString &shown, const QByteArray &word, const State &s)
{
    if (s.chr.hidden || shown.isEmpty())
        return;
    if (keptAnchors >= kept::kMaxAnchors) {
        append(QStringView(shown), s);
        return;
    }
    if (needsPrepare(s))
        prepareContent(s, 0);
    flushText();
    QTextCharFormat f = formats.charFormat(s.chr);
    kept::add(f, kept::Before, keptPending, nextKeptId());
    keptPending.clear();
    f.setProperty(kept::Word, word);
    this->shown += shown.size();
    if (shown.size() != 1)
        f.setProperty(kept::Length, int(shown.size()));
    cursor.insertText(shown, f);
    paraHasContent = true;
}

// Kept groups that no character of the paragraph carries, when the
// paragraph ends: the paragraph holds them, so that whatever ends it (a
// page or section break, a cell, the end of the document) they stay in it.
void DocumentBuilder::holdPending()
{
    if (keptPending.isEmpty() || spanOpen || keptAnchors >= kept::kMaxAnchors)
        return;
    heldBytes += std::exchange(keptPending, QByteArray());
}

// The paragraph under the cursor holds them.
void DocumentBuilder::attachHeld()
{
    QTextBlockFormat f;
    f.setProperty(kept::Held, std::exchange(heldBytes, QByteArray()));
    f.setProperty(kept::Id, nextKeptId());
    cursor.mergeBlockFormat(f);
    haveBlockFormat = false;  // the next paragraph starts without them
}

// Groups after the last text ride on the last character there is.
void DocumentBuilder::keepLeftovers(const State &s)
{
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    int pos = c.position();
    while (pos > 0 && (doc->characterAt(pos - 1) == QChar::ParagraphSeparator
                       || doc->characterAt(pos - 1).unicode() == 0xFDD0 || doc->characterAt(pos - 1).unicode() == 0xFDD1))
        --pos;
    if (pos > 0) {
        c.setPosition(pos - 1);
        c.setPosition(pos, QTextCursor::KeepAnchor);
        QTextCharFormat f = c.charFormat();
        kept::add(f, kept::After, keptPending, nextKeptId());
        c.setCharFormat(f);
    } else {
        // Nothing to hold them: a character of its own.
        QTextCharFormat f = formats.charFormat(s.chr);
        kept::add(f, kept::Before, keptPending, nextKeptId());
        f.setProperty(kept::Word, QByteArray());
        c.insertText(QString(QChar::ObjectReplacementCharacter), f);
    }
    keptPending.clear();
}


// ---- sections ---------------------------------------------------------------

void DocumentBuilder::beginSection()
{
    flushText();
    // One that showed nothing goes with the next.
    if (!sectionPending)
        sectionBytes.clear();
    sectionBytes += "\\sect";
    sectionPending = sectionBegun = sectionOpenNow = true;
    sectionMark = cursor.position();
}

bool DocumentBuilder::keepInSection(const QByteArray &bytes)
{
    if (!sectionOpenNow)
        return false;
    if (paraHasContent || !runText.isEmpty() || placeholderPending || cursor.position() != sectionMark) {
        sectionOpenNow = false;
        return false;
    }
    sectionBytes += bytes;
    sectionPending = true;
    return true;
}

// The paragraph under the cursor is the section's first.
void DocumentBuilder::attachSection()
{
    QTextBlockFormat f;
    f.setProperty(kept::Section, sectionBytes);
    f.setProperty(kept::Id, nextKeptId());
    cursor.mergeBlockFormat(f);
    haveBlockFormat = false;  // the next paragraph starts without it
    sectionPending = sectionOpenNow = false;
    sectionBytes.clear();
}

// A section with no text after it has an empty paragraph of its own,
// unless it is a bare break.
void DocumentBuilder::keepSectionLeft(const State &s)
{
    if (!sectionBegun)
        keptPending.prepend(sectionBytes);
    else if (sectionBytes != "\\sect")
        endParagraph(s);
    sectionPending = false;
    sectionBytes.clear();
}

}  // namespace rtf
