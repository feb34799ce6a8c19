#include "richtextbox.h"

#include "commondialog.h"
#include "menus.h"
#include "rtf/kept.h"
#include "rtf/rtf.h"
#include "runtime.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QTextDocumentFragment>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <private/qtextdocumentlayout_p.h>
#include <QTextList>
#include <QTextTableFormat>

#include <algorithm>
#include <limits>
#include <cmath>
#include <memory>

namespace platform {

// ---------------------------------------------------------------------------
// Units and keys

int virtualKeyCode(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Help: return 47;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    default: return 0;
    }
}

int shiftState(Qt::KeyboardModifiers m)
{
    int s = 0;
    if (m & Qt::ShiftModifier)
        s |= vbShiftMask;
    if (m & Qt::ControlModifier)
        s |= vbCtrlMask;
    if (m & Qt::AltModifier)
        s |= vbAltMask;
    return s;
}

// ---------------------------------------------------------------------------

namespace {
// An upper bound on the height of a document laid out, cheap enough to work
// out on every change: no character makes more than one line, and no line
// is taller than the tallest face, line spacing, paragraph spacing, table
// edge and picture the document holds, all together. Worked out again only
// when the document's formats change.
class HeightBound {
public:
    qreal of(const QTextDocument *doc, const QPaintDevice *device)
    {
        const QList<QTextFormat> formats = doc->allFormats();
        if (formats.size() != m_formats || doc->defaultFont() != m_font) {
            m_formats = formats.size();
            m_font = doc->defaultFont();
            m_perCharacter = perCharacter(formats, doc->defaultFont(), device);
        }
        return doc->characterCount() * m_perCharacter + 2 * doc->documentMargin();
    }

private:
    static qreal perCharacter(const QList<QTextFormat> &formats, const QFont &base, const QPaintDevice *device)
    {
        // A picture without a size of its own is as tall as its image.
        constexpr qreal kUnsizedPicture = 65536;
        const auto spacing = [&](const QFont &font) {
            return device ? QFontMetricsF(font, device).lineSpacing() : QFontMetricsF(font).lineSpacing();
        };
        qreal face = spacing(base), proportion = 1, fixed = 0, distance = 0, paragraph = 0, edge = 0, picture = 0;
        for (const QTextFormat &f : formats) {
            if (f.isImageFormat()) {
                const qreal h = f.toImageFormat().height();
                picture = std::max(picture, h > 0 ? h : kUnsizedPicture);
            } else if (f.isCharFormat()) {
                const QTextCharFormat c = f.toCharFormat();
                face = std::max(face, spacing(c.font().resolve(base)));
                const qreal padding = c.doubleProperty(QTextFormat::TableCellTopPadding)
                                      + c.doubleProperty(QTextFormat::TableCellBottomPadding);
                edge = std::max(edge, padding);
            } else if (f.isBlockFormat()) {
                const QTextBlockFormat b = f.toBlockFormat();
                paragraph = std::max(paragraph, b.topMargin() + b.bottomMargin());
                switch (b.lineHeightType()) {
                case QTextBlockFormat::ProportionalHeight: proportion = std::max(proportion, b.lineHeight() / 100); break;
                case QTextBlockFormat::FixedHeight:
                case QTextBlockFormat::MinimumHeight: fixed = std::max(fixed, b.lineHeight()); break;
                case QTextBlockFormat::LineDistanceHeight: distance = std::max(distance, b.lineHeight()); break;
                default: break;
                }
            } else if (f.isFrameFormat()) {
                const QTextFrameFormat fr = f.toFrameFormat();
                qreal e = fr.topMargin() + fr.bottomMargin() + 2 * (fr.border() + fr.padding());
                if (f.isTableFormat())
                    e += 2 * (f.toTableFormat().cellSpacing() + f.toTableFormat().cellPadding());
                edge = std::max(edge, e);
            }
        }
        const qreal scale = device ? std::max(1.0, device->logicalDpiY() / 96.0) : 1.0;
        return (face * proportion + fixed + distance + paragraph) * scale + edge + picture + 2;
    }

    qsizetype m_formats = -1;
    QFont m_font;
    qreal m_perCharacter = 0;
};

// Qt 6.4 lays a document whose page has no height (the control's own page:
// as tall as the text) as one page 8,388,607 pixels tall, and a line that
// reaches past that page's foot never ends the layout: the run waits for a
// next page, and a page without height gives none. A tall enough document
// (a large face, many lines) froze the window on open, typing or paste.
// This layout gives such a page a height just short of that one instead,
// once the document could reach it: up to it nothing changes; a line that
// would cross it starts a new page (a gap of at most a line, once in 8
// million pixels) and the run goes on. Only then, as a page with a height
// has Qt lay every table out again on each change below it, which would
// make typing in a document of many tables slow. The page size is decided
// here for every path (the control's resize and wrap, a held layout given
// back, a document of our own making, typing and pasting).
class TallDocumentLayout : public QTextDocumentLayout {
public:
    static constexpr qreal kPageHeight = 8388606;
    // Shorter documents never reach the foot of Qt's one page.
    static constexpr qreal kUnpagedLimit = 8000000;
    using QTextDocumentLayout::QTextDocumentLayout;

protected:
    void documentChanged(int from, int oldLength, int length) override
    {
        const QSizeF page = document()->pageSize();
        if (page.height() < 0 && !page.isNull() && m_bound.of(document(), paintDevice()) >= kUnpagedLimit) {
            document()->setPageSize(QSizeF(page.width(), kPageHeight));  // lays out again
            return;
        }
        QTextDocumentLayout::documentChanged(from, oldLength, length);
    }

private:
    HeightBound m_bound;
};

void layOutTallDocuments(QTextDocument *doc)
{
    if (!dynamic_cast<TallDocumentLayout *>(doc->documentLayout()))
        doc->setDocumentLayout(new TallDocumentLayout(doc));
}
}  // namespace

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    layOutTallDocuments(document());
    connect(verticalScrollBar(), &QAbstractSlider::rangeChanged, this, &RichTextBox::keepTallScrollRange);
    setAcceptRichText(false);
    setTabChangesFocus(false);
    setUndoRedoEnabled(true);
    setAutoFillBackground(true);
    watchDocument();
}

// Qt's text edit works the document's height out as an int, the height laid
// out so far times 100 over the percentage done, and past 21,474,836 pixels
// that overflows: the vertical scroll bar gets no range and hides, the text
// widens and is laid out again from the top, the bar comes back as soon as
// some of it is, the text narrows, and so on for ever. Each range it sets is
// put right here before the bar's visibility is decided on, so the bar stays
// and the layout settles; up to that height Qt's own range stands. A document
// given pages (one that could reach the foot of Qt's one page) keeps its bar
// once it is taller than the window, whatever Qt makes of its height later,
// so the text never changes width under the layout.
void RichTextBox::keepTallScrollRange()
{
    const auto *layout = qobject_cast<QTextDocumentLayout *>(document()->documentLayout());
    const QSizeF page = document()->pageSize();
    if (layout && !page.isNull()) {  // a null page: the layout is held back
        const bool keep = page.height() > 0 && (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn
                                                || layout->dynamicDocumentSize().height() > 2 * viewport()->height());
        const Qt::ScrollBarPolicy policy = keep ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
        if (verticalScrollBarPolicy() != policy)
            setVerticalScrollBarPolicy(policy);
    }
    const int percentDone = layout ? layout->layoutStatus() : 0;
    if (percentDone <= 0)
        return;
    const qreal height = layout->dynamicDocumentSize().height();
    if (qRound(height) <= std::numeric_limits<int>::max() / 100)
        return;
    const qreal maximum = height * 100 / percentDone - viewport()->height();
    const int wanted = int(std::min<qreal>(maximum, std::numeric_limits<int>::max()));
    QScrollBar *bar = verticalScrollBar();
    if (bar->minimum() != 0 || bar->maximum() != wanted)
        bar->setRange(0, wanted);
}

void RichTextBox::watchDocument()
{
    // Text and formatting changes alike; the layout alone is no change.
    disconnect(m_watch);
    m_watch = connect(document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
        keepLayoutOfLongParagraph(position);
        if ((removed != 0 || added != 0) && !m_composing)
            emit Change();
    });
}

void RichTextBox::keepLayoutOfLongParagraph(int position)
{
    // Qt lays a changed paragraph out whole, then drops what it worked out
    // (the text's items, breaks and glyphs) and works it out again, whole,
    // to place the caret and again to paint it. In a long paragraph each
    // of those costs as much as the layout: there it is kept.
    constexpr int kLong = 16 * 1024;
    const QTextBlock block = document()->findBlock(position);
    if (block.length() > kLong && block.layout())
        block.layout()->setCacheEnabled(true);
}

void RichTextBox::setRightMargin(double twips)
{
    m_rightMargin = twips;
    applyWrap();
}

void RichTextBox::applyWrap()
{
    // A paragraph of right-to-left text without an alignment of its own
    // starts at its natural edge, the right one: where lines wrap only at
    // the right margin, far beyond the window, that edge is out of sight,
    // so there it starts at the left one.
    QTextOption option = document()->defaultTextOption();
    const Qt::Alignment align = m_rightMargin > 0 ? Qt::AlignLeft | Qt::AlignAbsolute : Qt::AlignLeft;
    if (option.alignment() != align) {
        option.setAlignment(align);
        document()->setDefaultTextOption(option);
    }
    if (m_rightMargin > 0) {
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(twipsToPixelsX(m_rightMargin));
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    } else {
        setLineWrapMode(QTextEdit::WidgetWidth);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

// ---------------------------------------------------------------------------
// Content

QByteArray RichTextBox::TextRTF() const { return rtf::write(document()); }

QTextDocument *RichTextBox::newDocument() const
{
    auto *doc = new QTextDocument;
    layOutTallDocuments(doc);
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(ownFace());  // a rich-text file's own faces replace it
    doc->setDocumentMargin(document()->documentMargin());
    doc->setDefaultTextOption(document()->defaultTextOption());
    return doc;
}

void RichTextBox::setTextRTF(const QByteArray &data) { setTextRTF(data, {}); }

bool RichTextBox::setTextRTF(const QByteArray &data, const Progress &progress)
{
    QTextDocument *doc = newDocument();
    if (rtf::isRtf(data)) {
        if (!rtf::read(data, doc, progress)) {
            delete doc;
            return false;
        }
    } else if (!rtf::readPlainText(data, platform::textPieceDecoder(data), doc, progress)) {
        delete doc;
        return false;
    }
    adoptDocument(doc);
    return true;
}

namespace {
// Text in CR LF positions as the document holds it: a paragraph a line,
// whatever ends the lines, and a vertical tab a line break. One pass: a
// CR LF replaced all through the string would move everything after it,
// once for every batch of lines.
QString toDocumentText(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *d = out.data();
    const QChar *s = text.constData();
    const QChar *end = s + text.size();
    for (; s != end; ++s) {
        if (*s == u'\r') {
            *d++ = u'\n';
            if (s + 1 != end && s[1] == u'\n')
                ++s;
        } else {
            *d++ = *s == u'\v' ? QChar(QChar::LineSeparator) : *s;
        }
    }
    out.truncate(d - out.constData());
    return out;
}
}  // namespace

bool RichTextBox::setPlainTextDocument(QByteArrayView bytes, const PieceDecoder &decode, const Progress &progress)
{
    std::unique_ptr<QTextDocument> doc(newDocument());
    if (!rtf::readPlainText(bytes, decode, doc.get(), progress))
        return false;
    adoptDocument(doc.release());
    return true;
}

// The face of text the control is given without one: what the window gave
// its first document. A document loaded before does not hand its faces on.
const QFont &RichTextBox::ownFace() const
{
    if (!m_ownFace)
        m_ownFace = document()->defaultFont();
    return *m_ownFace;
}

void RichTextBox::adoptDocument(QTextDocument *doc)
{
    // The control deletes a document of its own making; one we gave it
    // earlier is ours to delete.
    QTextDocument *old = document();
    const bool ours = old && old != doc && old->parent() == this;
    doc->setParent(this);
    doc->setUndoRedoEnabled(true);
    layOutTallDocuments(doc);
    setDocument(doc);
    // The control's new cursor carries the widget's font as its format;
    // one made afresh takes the format of the text at the start instead.
    setTextCursor(QTextCursor(doc));
    applyWrap();
    if (ours)
        delete old;
    // Watched from now on: what came with it was loaded, not changed.
    watchDocument();
}

void RichTextBox::takeDocument(RichTextBox *other)
{
    if (!other || other == this)
        return;
    QTextDocument *doc = other->document();
    const QTextCursor caret = other->textCursor();
    // The first character in view, and how far below the top it stands.
    const QTextCursor top = other->cursorForPosition(QPoint(0, 0));
    const int topOffset = other->cursorRect(top).top();

    // Ours before other lets go of it, so that it is not deleted.
    doc->setParent(this);
    other->adoptDocument(other->newDocument());
    adoptDocument(doc);

    setTextCursor(caret);
    const bool caretInView = viewport()->rect().intersects(cursorRect());
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() + cursorRect(top).top() - topOffset);
    // The caret stays in view if it was; wrapping may have moved it down.
    if (caretInView && !viewport()->rect().contains(cursorRect()))
        ensureCursorVisible();
}

bool RichTextBox::hasPlainDefaults() const
{
    return document()->defaultFont() == ownFace() && !rtf::kept::hasTables(document());
}

QString RichTextBox::Text() const
{
    const QTextDocument *d = document();
    QString out;
    out.reserve(d->characterCount() + d->blockCount());
    for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
        if (b != d->begin())
            out += QLatin1String("\r\n");
        QString t = b.text();
        t.replace(QChar::LineSeparator, u'\v');
        out += t;
    }
    return out;
}

qint64 RichTextBox::textLength() const
{
    const QTextDocument *d = document();
    return qint64(d->characterCount() - 1) + (d->blockCount() - 1);
}

qint64 RichTextBox::toDocPosition(qint64 pos) const
{
    const QTextDocument *d = document();
    pos = std::clamp<qint64>(pos, 0, textLength());
    // The largest block whose start, counted with CR LF breaks, is <= pos.
    int lo = 0;
    int hi = d->blockCount() - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (d->findBlockByNumber(mid).position() + qint64(mid) <= pos)
            lo = mid;
        else
            hi = mid - 1;
    }
    const QTextBlock b = d->findBlockByNumber(lo);
    const qint64 offset = std::clamp<qint64>(pos - (b.position() + qint64(lo)), 0, b.length() - 1);
    return b.position() + offset;
}

qint64 RichTextBox::fromDocPosition(qint64 docPos) const
{
    const QTextDocument *d = document();
    docPos = std::clamp<qint64>(docPos, 0, d->characterCount() - 1);
    return docPos + d->findBlock(int(docPos)).blockNumber();
}

qint64 RichTextBox::SelStart() const { return fromDocPosition(textCursor().selectionStart()); }

namespace {
// A position between the halves of a character written as a surrogate pair
// (an emoji, most CJK extensions) moves on past it: text put there would
// split the character into two that no file can hold.
int wholeCharacter(const QTextDocument *doc, int pos)
{
    if (pos > 0 && doc->characterAt(pos - 1).isHighSurrogate() && doc->characterAt(pos).isLowSurrogate())
        return pos + 1;
    return pos;
}
}  // namespace

void RichTextBox::setSelStart(qint64 pos)
{
    QTextCursor c = textCursor();
    c.setPosition(wholeCharacter(document(), int(toDocPosition(pos))));
    setTextCursor(c);
}

qint64 RichTextBox::SelLength() const
{
    const QTextCursor c = textCursor();
    return fromDocPosition(c.selectionEnd()) - fromDocPosition(c.selectionStart());
}

void RichTextBox::setSelLength(qint64 length)
{
    QTextCursor c = textCursor();
    const qint64 start = fromDocPosition(c.selectionStart());
    c.setPosition(int(toDocPosition(start)));
    c.setPosition(wholeCharacter(document(), int(toDocPosition(start + std::max<qint64>(0, length)))), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

QString RichTextBox::SelText() const
{
    QString t = textCursor().selectedText();
    t.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    t.replace(QChar::LineSeparator, u'\v');
    return t;
}

namespace {
// Text put in by pieces of this many characters: each piece is one
// insertion Qt lays out before events run again.
constexpr qsizetype kPiece = 256 * 1024;

// The next piece of text from at: ends after a paragraph break where one is
// near, never inside a surrogate pair.
qsizetype pieceEnd(const QString &text, qsizetype at)
{
    if (text.size() - at <= kPiece)
        return text.size();
    qsizetype end = at + kPiece;
    const qsizetype nl = text.lastIndexOf(u'\n', end - 1);
    if (nl >= at + kPiece / 2)
        return nl + 1;
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return end;
}
}  // namespace

bool RichTextBox::insertInPieces(QTextCursor &c, const QString &text, const QTextCharFormat *format,
                                 bool joinFirst, const Progress &progress, bool stepEach)
{
    QTextDocument *doc = document();
    qsizetype at = 0;
    bool first = !joinFirst;
    while (at < text.size()) {
        const qsizetype end = pieceEnd(text, at);
        if (first || (stepEach && at > 0))
            c.beginEditBlock();  // clears what was left to redo
        else
            c.joinPreviousEditBlock();
        const QString piece = text.mid(at, end - at);
        if (format)
            c.insertText(piece, *format);
        else
            c.insertText(piece);
        c.endEditBlock();
        first = false;
        at = end;
        if (at < text.size() && !progress(at, text.size())) {
            if (stepEach)
                return false;  // the caller knows where its steps began
            // The pieces in are one step: it goes, and leaves nothing to redo.
            doc->undo();
            doc->clearUndoRedoStacks(QTextDocument::RedoStack);
            return false;
        }
    }
    return true;
}

bool RichTextBox::setSelText(const QString &text, const Progress &progress)
{
    if (!progress || text.size() <= kPiece) {
        setSelText(text);
        return true;
    }
    QTextCursor c = textCursor();
    const QTextCursor before = c;
    if (!insertInPieces(c, toDocumentText(text), nullptr, false, progress)) {
        setTextCursor(before);
        return false;
    }
    setTextCursor(c);
    return true;
}

void RichTextBox::setSelText(const QString &text)
{
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.insertText(toDocumentText(text));
    c.endEditBlock();
    setTextCursor(c);
}

void RichTextBox::changeSelCase(bool upper)
{
    QTextCursor sel = textCursor();
    if (!sel.hasSelection())
        return;
    const bool forward = sel.position() >= sel.anchor();
    const int start = sel.selectionStart();
    int end = sel.selectionEnd();
    // The pieces of text the selection covers, each with one format.
    struct Piece {
        int position;
        int length;
        QTextCharFormat format;
    };
    QList<Piece> pieces;
    const QTextDocument *d = document();
    for (QTextBlock b = d->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int from = std::max(f.position(), start);
            const int to = std::min(f.position() + f.length(), end);
            if (from < to)
                pieces.append({from, to - from, f.charFormat()});
        }
    }
    QTextCursor c(document());
    c.beginEditBlock();
    int shift = 0;   // a changed case may change a piece's length (ß, SS)
    for (const Piece &p : pieces) {
        c.setPosition(p.position + shift);
        c.setPosition(p.position + shift + p.length, QTextCursor::KeepAnchor);
        const QString text = c.selectedText();
        const QString changed = upper ? text.toUpper() : text.toLower();
        if (changed == text)
            continue;
        c.insertText(changed, p.format);
        shift += int(changed.size() - text.size());
    }
    c.endEditBlock();
    end += shift;
    sel.setPosition(forward ? start : end);
    sel.setPosition(forward ? end : start, QTextCursor::KeepAnchor);
    setTextCursor(sel);
}

namespace {
// Holds the document's layout back while large edits go in. Qt lays the
// document out again after every edit, from the edit on: edit after edit
// at the end of a long text costs a layout of the rest each time, and in
// Qt 6.4 a run that lays a line out across 8,388,607 pixels from the top
// never ends (its page loop waits for a page that never comes when the
// page has no height). A document with a null page size is not laid out
// at all; giving the size back lays it out once from the start, a piece
// at a time in the background, as after loading. The box sets the page
// size again when it is resized: hold() before each edit takes it back.
class HeldLayout {
public:
    explicit HeldLayout(QTextDocument *doc) : m_doc(doc) { hold(); }
    ~HeldLayout()
    {
        if (!m_page.isNull() && m_doc->pageSize().isNull())
            m_doc->setPageSize(m_page);
    }
    HeldLayout(const HeldLayout &) = delete;
    HeldLayout &operator=(const HeldLayout &) = delete;
    void hold()
    {
        const QSizeF now = m_doc->pageSize();
        if (now.isNull())
            return;
        m_page = now;
        m_doc->setPageSize(QSizeF(0, 0));
    }

private:
    QTextDocument *m_doc;
    QSizeF m_page;
};

// A list of pairs: where in the history each whole-text step starts and
// ends (it may span several of Qt's steps, one a piece).
const char kWholeSteps[] = "richTextBoxWholeSteps";
const char kWholeStepsWatched[] = "richTextBoxWholeStepsWatched";
}  // namespace

void RichTextBox::takeBack(int steps)
{
    QTextDocument *doc = document();
    while (doc->availableUndoSteps() > steps) {
        const int now = doc->availableUndoSteps();
        doc->undo();
        if (doc->availableUndoSteps() == now)
            break;
    }
    doc->clearUndoRedoStacks(QTextDocument::RedoStack);
}

void RichTextBox::markWholeStep(int before)
{
    // The history's positions where such a step starts and ends, kept with
    // the document (it may move to another box).
    QTextDocument *doc = document();
    QList<int> steps = doc->property(kWholeSteps).value<QList<int>>();
    steps << before << doc->availableUndoSteps();
    doc->setProperty(kWholeSteps, QVariant::fromValue(steps));
    if (doc->property(kWholeStepsWatched).toBool())
        return;
    doc->setProperty(kWholeStepsWatched, true);
    // A step added where one of them could have been redone (after it was
    // undone, or the history was cleared) takes its places over: it is
    // forgotten, or an ordinary step could later be taken for it.
    connect(doc, &QTextDocument::undoCommandAdded, doc, [doc] {
        const int now = doc->availableUndoSteps();
        QList<int> kept;
        const QList<int> marked = doc->property(kWholeSteps).value<QList<int>>();
        for (qsizetype i = 0; i + 1 < marked.size(); i += 2)
            if (marked.at(i + 1) < now)
                kept << marked.at(i) << marked.at(i + 1);
        doc->setProperty(kWholeSteps, QVariant::fromValue(kept));
    });
}

namespace {
// The old text, before the new text's start, goes; the first paragraph
// kept the old one's formats: plain, in no list.
void removeTextBefore(QTextCursor &c, int start)
{
    c.setPosition(0);
    c.setPosition(start, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    if (QTextList *list = c.currentList())
        list->remove(c.block());
    c.setBlockFormat(QTextBlockFormat());
    c.setBlockCharFormat(QTextCharFormat());
}
}  // namespace

bool RichTextBox::replaceText(const QString &text, const Progress &progress)
{
    if (!progress || text.size() <= kPiece) {
        replaceText(text);
        return true;
    }
    // As below: the new text goes in after the old one, which then goes.
    // Each piece is a step of Qt's history, so that Undo and Redo can take
    // them back a piece at a time as well; the box takes them as one step
    // (markWholeStep).
    const QTextCursor caret = textCursor();
    setTextCursor(QTextCursor(document()));
    const int before = document()->availableUndoSteps();
    HeldLayout held(document());
    QTextCursor c(document());
    c.beginEditBlock();
    c.movePosition(QTextCursor::End);
    c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    const int start = c.position();
    c.endEditBlock();
    const QString documentText = toDocumentText(text);
    // Progress counts the new text in and the old one out.
    const qint64 total = documentText.size() + start;
    qint64 done = 0;
    const Progress holding = [&](qint64 at, qint64) {
        const bool go = progress(done + at, total);
        held.hold();
        return go;
    };
    const QTextCharFormat plain;
    if (!insertInPieces(c, documentText, &plain, true, holding, true)) {
        takeBack(before);
        setTextCursor(caret);
        return false;
    }
    // The old text goes by pieces of whole paragraphs of the main text
    // (never part of a table), each joining the step; stopping meanwhile
    // takes the whole step back.
    QTextDocument *doc = document();
    done = documentText.size();
    int left = start;
    while (left > kPiece) {
        QTextBlock b = doc->findBlock(int(kPiece));
        while (b.isValid() && b.position() < left && (b.position() == 0 || QTextCursor(b).currentTable()))
            b = b.next();
        if (!b.isValid() || b.position() >= left)
            break;
        const int end = b.position();
        c.beginEditBlock();
        c.setPosition(0);
        c.setPosition(end, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.endEditBlock();
        left -= end;
        if (!holding(start - left, total)) {
            takeBack(before);
            setTextCursor(caret);
            return false;
        }
    }
    c.joinPreviousEditBlock();
    removeTextBefore(c, left);
    c.endEditBlock();
    markWholeStep(before);
    return true;
}

void RichTextBox::replaceText(const QString &text)
{
    // The caret goes to the start first and stays there: the new text goes
    // in after the old one, which then goes. (A caret left at the end of a
    // long new text would have it all laid out at once.)
    setTextCursor(QTextCursor(document()));
    const int before = document()->availableUndoSteps();
    HeldLayout held(document());
    QTextCursor c(document());
    c.beginEditBlock();
    c.movePosition(QTextCursor::End);
    c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    const int start = c.position();
    c.insertText(toDocumentText(text), QTextCharFormat());
    removeTextBefore(c, start);
    c.endEditBlock();
    markWholeStep(before);
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (source && source->hasText())
        setSelText(source->text());
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

// ---------------------------------------------------------------------------
// Attributes

template <typename T, typename Get>
std::optional<T> RichTextBox::uniform(Get get) const
{
    const QTextCursor c = textCursor();
    if (!c.hasSelection())
        return get(c.charFormat());
    const int s = c.selectionStart();
    const int e = c.selectionEnd();
    std::optional<T> value;
    const QTextDocument *d = document();
    for (QTextBlock b = d->findBlock(s); b.isValid() && b.position() < e; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.position() + f.length() <= s)
                continue;
            if (f.position() >= e)
                break;
            const T v = get(f.charFormat());
            if (!value)
                value = v;
            else if (!(*value == v))
                return std::nullopt;
        }
    }
    if (!value)
        return get(c.charFormat());
    return value;
}

std::optional<bool> RichTextBox::SelBold() const
{
    return uniform<bool>([](const QTextCharFormat &f) { return f.fontWeight() > QFont::Medium; });
}
void RichTextBox::setSelBold(bool on)
{
    QTextCharFormat f;
    f.setFontWeight(on ? QFont::Bold : QFont::Normal);
    mergeCurrentCharFormat(f);
}

std::optional<bool> RichTextBox::SelItalic() const
{
    return uniform<bool>([](const QTextCharFormat &f) { return f.fontItalic(); });
}
void RichTextBox::setSelItalic(bool on)
{
    QTextCharFormat f;
    f.setFontItalic(on);
    mergeCurrentCharFormat(f);
}

std::optional<bool> RichTextBox::SelUnderline() const
{
    return uniform<bool>([](const QTextCharFormat &f) { return f.fontUnderline(); });
}
void RichTextBox::setSelUnderline(bool on)
{
    QTextCharFormat f;
    f.setFontUnderline(on);
    mergeCurrentCharFormat(f);
}

std::optional<bool> RichTextBox::SelStrikeThru() const
{
    return uniform<bool>([](const QTextCharFormat &f) { return f.fontStrikeOut(); });
}
void RichTextBox::setSelStrikeThru(bool on)
{
    QTextCharFormat f;
    f.setFontStrikeOut(on);
    mergeCurrentCharFormat(f);
}

quint32 RichTextBox::SelColor() const
{
    const QTextCharFormat f = textCursor().charFormat();
    if (!f.hasProperty(QTextFormat::ForegroundBrush))
        return 0;
    return toOleColor(f.foreground().color());
}
void RichTextBox::setSelColor(quint32 ole)
{
    QTextCharFormat f;
    f.setForeground(fromOleColor(ole));
    mergeCurrentCharFormat(f);
}

std::optional<QString> RichTextBox::SelFontName() const
{
    const QString fallback = document()->defaultFont().family();
    return uniform<QString>([&fallback](const QTextCharFormat &f) {
        const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
        if (!families.isEmpty() && !families.first().isEmpty())
            return families.first();
        const QString family = f.property(QTextFormat::FontFamily).toString();
        return family.isEmpty() ? fallback : family;
    });
}
void RichTextBox::setSelFontName(const QString &face)
{
    if (face.isEmpty())
        return;
    QTextCharFormat f;
    f.setFontFamilies(QStringList{face});
    mergeCurrentCharFormat(f);
}

std::optional<double> RichTextBox::SelFontSize() const
{
    QFont df = document()->defaultFont();
    const double fallback = df.pointSizeF() > 0 ? df.pointSizeF() : 8.25;
    return uniform<double>([fallback](const QTextCharFormat &f) {
        return f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : fallback;
    });
}
void RichTextBox::setSelFontSize(double points)
{
    if (!(points >= 1.0 && points <= 1638.0))
        return;
    QTextCharFormat f;
    f.setFontPointSize(points);
    mergeCurrentCharFormat(f);
}

namespace {
bool isBulletStyle(QTextListFormat::Style s)
{
    return s == QTextListFormat::ListDisc || s == QTextListFormat::ListCircle || s == QTextListFormat::ListSquare;
}

// The last paragraph a selection touches: one that ends right at the start
// of a paragraph (a whole paragraph picked with its break) stops before it.
QTextBlock lastTouchedBlock(const QTextDocument *d, const QTextCursor &c)
{
    const QTextBlock last = d->findBlock(c.selectionEnd());
    if (c.hasSelection() && c.selectionEnd() == last.position())
        return last.previous();
    return last;
}
}  // namespace

std::optional<bool> RichTextBox::SelBullet() const
{
    const QTextCursor c = textCursor();
    const QTextDocument *d = document();
    const QTextBlock first = d->findBlock(c.selectionStart());
    const QTextBlock last = lastTouchedBlock(d, c);
    std::optional<bool> value;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        const bool on = b.textList() && isBulletStyle(b.textList()->format().style());
        if (!value)
            value = on;
        else if (*value != on)
            return std::nullopt;
        if (b == last)
            break;
    }
    return value.value_or(false);
}

void RichTextBox::setSelBullet(bool on)
{
    QTextCursor c = textCursor();
    QTextDocument *d = document();
    const QTextBlock first = d->findBlock(c.selectionStart());
    const QTextBlock last = lastTouchedBlock(d, c);
    c.beginEditBlock();
    QTextList *list = nullptr;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        QTextList *current = b.textList();
        if (on) {
            if (current && isBulletStyle(current->format().style()) && (!list || list == current)) {
                list = current;
            } else {
                if (current)
                    current->remove(b);
                if (list) {
                    list->add(b);
                } else {
                    QTextCursor bc(b);
                    QTextListFormat lf;
                    lf.setStyle(QTextListFormat::ListDisc);
                    lf.setIndent(1);
                    list = bc.createList(lf);
                }
            }
        } else if (current) {
            current->remove(b);
            QTextCursor bc(b);
            QTextBlockFormat bf = b.blockFormat();
            bf.setIndent(0);
            bc.setBlockFormat(bf);
        }
        if (b == last)
            break;
    }
    c.endEditBlock();
}

// ---------------------------------------------------------------------------
// Search and lines

namespace {
char32_t codePointBefore(const QTextDocument *d, int pos)
{
    if (pos <= 0)
        return 0;
    const QChar c = d->characterAt(pos - 1);
    if (c.isLowSurrogate() && pos >= 2) {
        const QChar h = d->characterAt(pos - 2);
        if (h.isHighSurrogate())
            return QChar::surrogateToUcs4(h, c);
    }
    return c.unicode();
}

char32_t codePointAt(const QTextDocument *d, int pos)
{
    if (pos >= d->characterCount())
        return 0;
    const QChar c = d->characterAt(pos);
    if (c.isHighSurrogate()) {
        const QChar l = d->characterAt(pos + 1);
        if (l.isLowSurrogate())
            return QChar::surrogateToUcs4(c, l);
    }
    return c.unicode();
}

bool isWordChar(char32_t c) { return c != 0 && QChar::isLetterOrNumber(c); }
}  // namespace

qint64 RichTextBox::Find(const QString &text)
{
    if (text.isEmpty())
        return -1;
    const QTextDocument *d = document();
    const QTextCursor sel = textCursor();
    int from = 0;
    int to = d->characterCount() - 1;
    if (sel.hasSelection()) {
        from = sel.selectionStart();
        to = sel.selectionEnd();
    }
    int pos = from;
    while (pos <= to) {
        const QTextCursor m = d->find(text, pos);
        if (m.isNull())
            return -1;
        const int ms = m.selectionStart();
        const int me = m.selectionEnd();
        if (me > to)
            return -1;
        if (!isWordChar(codePointBefore(d, ms)) && !isWordChar(codePointAt(d, me))) {
            setTextCursor(m);
            return fromDocPosition(ms);
        }
        pos = ms + 1;
    }
    return -1;
}

qint64 RichTextBox::GetLineFromChar(qint64 pos)
{
    QTextDocument *d = document();
    const int dp = int(toDocPosition(pos));
    const QTextBlock target = d->findBlock(dp);
    // Asking for the block's rectangle lays the document out up to it.
    d->documentLayout()->blockBoundingRect(target);
    qint64 line = 0;
    for (QTextBlock b = d->begin(); b.isValid() && b != target; b = b.next()) {
        const QTextLayout *l = b.layout();
        line += (l && l->lineCount() > 0) ? l->lineCount() : 1;
    }
    if (const QTextLayout *l = target.layout()) {
        const QTextLine tl = l->lineForTextPosition(dp - target.position());
        if (tl.isValid())
            line += tl.lineNumber();
    }
    return line;
}

// ---------------------------------------------------------------------------
// Geometry

double RichTextBox::widthTwips() const { return pixelsToTwipsX(width()); }

void RichTextBox::setWidthTwips(double twips)
{
    resize(std::max(0, twipsToPixelsX(twips)), height());
}

void RichTextBox::setHeightTwips(double twips)
{
    m_heightTwips = twips;
    applyGeometry();
}

void RichTextBox::moveTwips(double left, double top)
{
    m_leftTwips = left;
    m_topTwips = top;
    applyGeometry();
}

void RichTextBox::setVisibleBottom(int parentY)
{
    m_visibleBottom = parentY;
    applyGeometry();
}

void RichTextBox::applyGeometry()
{
    const int x = twipsToPixelsX(m_leftTwips);
    const int y = twipsToPixelsY(m_topTwips);
    int h = std::max(0, twipsToPixelsY(m_heightTwips));
    if (m_visibleBottom >= 0)
        h = std::clamp(m_visibleBottom - y, 0, h);
    setGeometry(x, y, width(), h);
}

// ---------------------------------------------------------------------------
// Events

bool RichTextBox::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride && isWindowShortcut(window(), static_cast<QKeyEvent *>(e))) {
        // Let the window's shortcut reach its menu item.
        e->ignore();
        return true;
    }
    return QTextEdit::event(e);
}

bool RichTextBox::newParagraphFromEmpty()
{
    QTextCursor c = textCursor();
    if (c.hasSelection() || c.block().length() != 1)
        return false;
    // The format the empty paragraph would type in, which the next one
    // takes over.
    const QTextCharFormat format = c.charFormat();
    c.beginEditBlock();
    if (QTextList *list = c.currentList()) {
        // An empty item ends its list; the paragraph stays.
        list->remove(c.block());
        QTextBlockFormat bf = c.blockFormat();
        bf.setIndent(0);
        c.setBlockFormat(bf);
        c.setBlockCharFormat(format);
    } else {
        c.insertBlock(c.blockFormat(), format);
    }
    c.endEditBlock();
    c.setCharFormat(format);
    setTextCursor(c);
    ensureCursorVisible();
    return true;
}

void RichTextBox::undo(const Progress &progress) { stepHistory(true, progress); }
void RichTextBox::redo(const Progress &progress) { stepHistory(false, progress); }

int RichTextBox::wholeStepEnd(bool back) const
{
    const QTextDocument *doc = document();
    const QList<int> whole = doc->property(kWholeSteps).value<QList<int>>();
    const int at = doc->availableUndoSteps();
    for (qsizetype i = 0; i + 1 < whole.size(); i += 2)
        if (back ? whole.at(i + 1) == at : whole.at(i) == at)
            return back ? whole.at(i) : whole.at(i + 1);
    return -1;
}

bool RichTextBox::isWholeStep(bool back) const { return wholeStepEnd(back) >= 0; }

void RichTextBox::stepHistory(bool back, const Progress &progress)
{
    // Qt puts the caret at the end of the step's change as it adds it up,
    // but it counts a range formatted twice in one step (a key typed over
    // a selection takes face and size) twice, which may reach past the
    // document's end. The caret goes to the end of the change the document
    // reports instead.
    QTextDocument *doc = document();
    int end = -1;
    const QMetaObject::Connection watch = connect(doc, &QTextDocument::contentsChange, this,
                                                  [&end](int from, int, int added) { end = std::max(end, from + added); });
    {
        // A step that replaced the whole text comes back with the layout
        // held, as it went, and a piece at a time.
        const int target = wholeStepEnd(back);
        const bool held = target >= 0;
        std::optional<Screen::BusyPointer> busy;
        std::optional<HeldLayout> holding;
        if (held) {
            // The caret at the end of the whole text would have it all laid
            // out at once: it stays at the start, as when the step was made,
            // while the old text goes in before it.
            busy.emplace();
            holding.emplace(doc);
            QTextCursor start(doc);
            start.setKeepPositionOnInsert(true);
            setTextCursor(start);
        }
        // Qt counts its history in edits, several to a step.
        const int from = doc->availableUndoSteps();
        const int total = std::abs(target - from);
        const auto notThere = [&] { return back ? doc->availableUndoSteps() > target : doc->availableUndoSteps() < target; };
        for (bool first = true; first || (held && notThere()); first = false) {
            if (!first && progress) {
                progress(std::abs(doc->availableUndoSteps() - from), total);  // cannot stop: half a step is no state of the document
                holding->hold();
            }
            const int now = doc->availableUndoSteps();
            if (back)
                doc->undo();
            else
                doc->redo();
            if (doc->availableUndoSteps() == now)
                break;
        }
        if (held) {
            setTextCursor(QTextCursor(doc));
            end = -1;
        }
    }
    disconnect(watch);
    if (end >= 0) {
        QTextCursor c = textCursor();
        c.setPosition(std::clamp(end, 0, doc->characterCount() - 1));
        setTextCursor(c);
    }
    ensureCursorVisible();
}

void RichTextBox::keyPressEvent(QKeyEvent *e)
{
    if (isWindowShortcut(window(), e)) {
        // A menu item's key whose item is disabled: nothing happens.
        e->accept();
        return;
    }
    int keyCode = virtualKeyCode(e->key());
    const int code = keyCode;
    emit KeyDown(keyCode, shiftState(e->modifiers()));
    if (code != 0 && keyCode == 0) {
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Insert && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Insert switches between inserting and overwriting.
        setOverwriteMode(!overwriteMode());
        e->accept();
        return;
    }
    // A key typed over a selection is one step of the history, whatever
    // the KeyPress procedure does to the selection first.
    QTextCursor step(document());
    const bool overSelection = textCursor().hasSelection();
    if (overSelection)
        step.beginEditBlock();
    const QString text = e->text();
    bool swallowed = false;
    if (!text.isEmpty() && text.at(0).unicode() != 127) {
        int keyAscii = text.at(0).unicode();
        emit KeyPress(keyAscii);
        swallowed = keyAscii == 0;
    }
    if (swallowed)
        e->accept();
    else if (e->matches(QKeySequence::InsertParagraphSeparator) && newParagraphFromEmpty())
        e->accept();
    else
        QTextEdit::keyPressEvent(e);
    if (overSelection)
        step.endEditBlock();
}

void RichTextBox::inputMethodEvent(QInputMethodEvent *e)
{
    // Text typed over a selection is one step of the history, as a key's.
    QTextCursor step(document());
    const bool overSelection = textCursor().hasSelection();
    if (overSelection)
        step.beginEditBlock();
    // A commit is typing: KeyPress comes first, as for a key.
    int keyAscii = -1;
    if (!e->commitString().isEmpty()) {
        keyAscii = e->commitString().at(0).unicode();
        emit KeyPress(keyAscii);
    }
    if (keyAscii == 0) {
        QInputMethodEvent rest(e->preeditString(), e->attributes());
        QTextEdit::inputMethodEvent(&rest);
        e->accept();
    } else {
        // Text still being composed is shown, not yet in the document.
        m_composing = e->commitString().isEmpty() && e->replacementLength() == 0 && !overSelection;
        QTextEdit::inputMethodEvent(e);
        m_composing = false;
    }
    if (overSelection)
        step.endEditBlock();
}

void RichTextBox::keyReleaseEvent(QKeyEvent *e)
{
    if (!e->isAutoRepeat()) {
        int keyCode = virtualKeyCode(e->key());
        emit KeyUp(keyCode, shiftState(e->modifiers()));
    }
    QTextEdit::keyReleaseEvent(e);
}

void RichTextBox::mousePressEvent(QMouseEvent *e)
{
    int button = 0;
    if (e->button() == Qt::LeftButton)
        button = 1;
    else if (e->button() == Qt::RightButton)
        button = 2;
    else if (e->button() == Qt::MiddleButton)
        button = 4;
    const QPointF p = e->position();
    emit MouseDown(button, shiftState(e->modifiers()), pixelsToTwipsX(int(p.x())), pixelsToTwipsY(int(p.y())));
    QTextEdit::mousePressEvent(e);
}

// ---------------------------------------------------------------------------
// Moving text by dragging it

namespace {
// The selection being dragged, as the document has it, with the box it came from.
class DraggedText : public QMimeData
{
public:
    QPointer<const RichTextBox> box;
    QTextDocumentFragment fragment;
};
}  // namespace

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    const std::unique_ptr<QMimeData> plain(QTextEdit::createMimeDataFromSelection());
    auto *data = new DraggedText;
    for (const QString &format : plain->formats())
        data->setData(format, plain->data(format));
    data->box = this;
    data->fragment = textCursor().selection();
    return data;
}

void RichTextBox::dropEvent(QDropEvent *e)
{
    const auto *dragged = dynamic_cast<const DraggedText *>(e->mimeData());
    QTextCursor from = textCursor();
    if (!dragged || dragged->box != this || e->dropAction() != Qt::MoveAction || !from.hasSelection()
        || isReadOnly()) {
        QTextEdit::dropEvent(e);
        return;
    }
    QDragLeaveEvent leave;
    QTextEdit::dragLeaveEvent(&leave);  // the drop caret goes
    QTextCursor to = cursorForPosition(e->position().toPoint());
    if (to.position() <= from.selectionStart() || to.position() >= from.selectionEnd()) {
        from.beginEditBlock();
        from.removeSelectedText();
        to.insertFragment(dragged->fragment);
        from.endEditBlock();
        setTextCursor(to);
    }
    e->acceptProposedAction();
}

}  // namespace platform
