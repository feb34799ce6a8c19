#pragma once
// The rich-text box: a QTextEdit with the properties and events the editor
// window programs against.
//
// Positions. Text separates paragraphs with CR LF and every position
// (SelStart, SelLength, Find's result, GetLineFromChar's argument) counts a
// paragraph break as those two characters; QTextDocument counts one. The
// conversion both ways costs O(log^2 n) through the document's block map. A
// position between the CR and the LF means the end of that paragraph.
//
// Events. KeyDown, KeyPress, KeyUp and MouseDown are raised before the
// control acts on the key or click, with the runtime's virtual-key codes
// and character codes; a handler that sets KeyAscii to 0 swallows the
// character. Keys that are shortcuts of the window's menu items go to the
// menu, never to the control. Text committed by an input method (dead keys,
// compose, IBus and the like) raises KeyPress too, with its first character.
//
// Change is raised after every change to the document's text or formatting,
// whoever made it: the keys the control handles itself, input methods, the
// mouse (middle-click paste, drag and drop), undo and redo, and every program
// call. Loading a document through setTextRTF or setPlainTextDocument is no
// change.
//
// History. The document keeps its own undo history: each program call that
// edits (setSelText, the attributes, changeSelCase, replaceText, pictures) is
// one step, and so is a key typed over a selection. Ctrl+Z and Ctrl+Y reach
// the window's menu items, which call undo() and redo(). Loading a document
// starts a fresh history; takeDocument keeps it.
#include <QByteArray>
#include <QColor>
#include <QTextEdit>
#include <functional>
#include <optional>

#include "textcodec.h"
#include "units.h"

class QPrinter;

namespace platform {

// Shift state of key and mouse events.
constexpr int vbShiftMask = 1;
constexpr int vbCtrlMask = 2;
constexpr int vbAltMask = 4;

// The runtime's virtual-key code of a Qt key (0 when it has none).
int virtualKeyCode(int qtKey);
int shiftState(Qt::KeyboardModifiers modifiers);

// Long calls tell how far they are through one of these about every 30 ms
// of work, and stop, with the document as it was, when it answers false.
using Progress = std::function<bool(qint64 done, qint64 total)>;

class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // Wrapping: at RightMargin twips from the left edge, or at the width.
    void setRightMargin(double twips);

    // The whole content.
    QByteArray TextRTF() const;
    void setTextRTF(const QByteArray &data);
    // The same, false (and the document as it was) when progress stopped it.
    bool setTextRTF(const QByteArray &data, const Progress &progress);
    // Plain text as a new document, a paragraph a line (CR LF, LF or CR),
    // its bytes decoded a piece at a time; false (and the document as it
    // was) when progress stopped it.
    bool setPlainTextDocument(QByteArrayView bytes, const PieceDecoder &decode, const Progress &progress = {});
    QString Text() const;
    // True while the document has the defaults a plain-text load gives it
    // (the box's own face, no tables kept from an RTF file): its text alone,
    // loaded as plain text, makes the same document when each paragraph is
    // plain.
    bool hasPlainDefaults() const;
    // The whole content becomes text, in the document's default format and
    // out of any list or table, as one step of the history.
    void replaceText(const QString &text);
    // The same in pieces, telling progress between them; false (and the
    // document and its history as they were) when progress stopped it.
    bool replaceText(const QString &text, const Progress &progress);
    // Shows the document other shows, with its history, caret and
    // selection, from the same place on; other is left an empty one.
    void takeDocument(RichTextBox *other);

    // One step of the history back or forward; the caret goes to the end
    // of what the step changed, always inside the document (to the start
    // after a step that replaced the whole text). A step that replaced the
    // whole text goes back or forward a piece at a time, telling progress
    // between them (it cannot be stopped).
    void undo(const Progress &progress = {});
    void redo(const Progress &progress = {});
    // Is the next step back (or forward) one that replaced the whole text?
    bool isWholeStep(bool back) const;

    // Selection, in CR LF positions.
    qint64 SelStart() const;
    void setSelStart(qint64 pos);
    qint64 SelLength() const;
    void setSelLength(qint64 length);
    QString SelText() const;
    void setSelText(const QString &text);
    // The same in pieces, telling progress between them, still one step of
    // the history; false (and the document as it was) when progress stopped
    // it.
    bool setSelText(const QString &text, const Progress &progress);
    // The selected letters in upper (or lower) case, in place: every
    // character keeps its format, and the selection stays on them.
    void changeSelCase(bool upper);

    // Character attributes of the selection, or of the insertion point when
    // nothing is selected; nothing (null) when the selection mixes values.
    std::optional<bool> SelBold() const;
    void setSelBold(bool on);
    std::optional<bool> SelItalic() const;
    void setSelItalic(bool on);
    std::optional<bool> SelUnderline() const;
    void setSelUnderline(bool on);
    std::optional<bool> SelStrikeThru() const;
    void setSelStrikeThru(bool on);
    // Bullets of the paragraphs the selection touches.
    std::optional<bool> SelBullet() const;
    void setSelBullet(bool on);
    // &H00BBGGRR
    quint32 SelColor() const;
    void setSelColor(quint32 oleColor);
    std::optional<QString> SelFontName() const;
    void setSelFontName(const QString &face);
    std::optional<double> SelFontSize() const;
    void setSelFontSize(double points);

    // Whole-word, case-blind search of the selection when there is one,
    // else of the whole text. Selects the match and returns its position,
    // or returns -1 and leaves the selection alone.
    qint64 Find(const QString &text);
    // Number from 0 of the laid-out line holding the character at pos,
    // wrapped lines included.
    qint64 GetLineFromChar(qint64 pos);

    // Prints the selection, or the whole content when nothing is selected,
    // on the printer (richtextbox_print.cpp).
    void SelPrint(QPrinter *printer);

    // Embedded objects (richtextbox_objects.cpp).
    class ObjectCollection {
    public:
        explicit ObjectCollection(RichTextBox *box) : m_box(box) {}
        // Embeds the file at the caret; throws std::runtime_error when it
        // cannot (an empty or unreadable name, not a picture, too large).
        void Add(const QString &sourceFile);

    private:
        RichTextBox *m_box;
    };
    ObjectCollection OLEObjects{this};

    // Size in twips. The control keeps the height it is given even when it
    // reaches past the window's client area; only the part that can be seen
    // is laid out as its viewport, so the caret never hides below the edge.
    double widthTwips() const;
    void setWidthTwips(double twips);
    double heightTwips() const { return m_heightTwips; }
    void setHeightTwips(double twips);
    void moveTwips(double left, double top);
    double leftTwips() const { return m_leftTwips; }
    double topTwips() const { return m_topTwips; }
    // Lowest pixel row of the parent that can be seen (the status bar's top).
    void setVisibleBottom(int parentY);

    // Conversions between CR LF positions and document positions.
    qint64 toDocPosition(qint64 pos) const;
    qint64 fromDocPosition(qint64 docPos) const;
    qint64 textLength() const;   // length of Text()

signals:
    void KeyDown(int &KeyCode, int Shift);
    void KeyPress(int &KeyAscii);
    void KeyUp(int &KeyCode, int Shift);
    void MouseDown(int Button, int Shift, double X, double Y);
    void Change();

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    // A drag inside the document moves the text as it is (formatting,
    // footnotes, fields, drawing objects, hidden text), in one edit.
    QMimeData *createMimeDataFromSelection() const override;
    void dropEvent(QDropEvent *e) override;

private:
    // Return in an empty paragraph: out of its list, or a new paragraph in
    // the same formats (never the document's defaults).
    bool newParagraphFromEmpty();
    void applyWrap();
    void applyGeometry();
    void keepTallScrollRange();
    QTextDocument *newDocument() const;
    void adoptDocument(QTextDocument *doc);
    // Puts text in at c by pieces, the first starting a step of the history
    // (or joining the one before, joinFirst), the others joining it (or each
    // a step of its own, stepEach); after each piece but the last, progress
    // may stop it, and the step goes (with stepEach, the caller takes its
    // steps back).
    bool insertInPieces(QTextCursor &c, const QString &text, const QTextCharFormat *format, bool joinFirst,
                        const Progress &progress, bool stepEach = false);
    // Undoes back to the history's position steps and forgets what could
    // be redone.
    void takeBack(int steps);
    int wholeStepEnd(bool back) const;
    const QFont &ownFace() const;
    void watchDocument();
    void keepLayoutOfLongParagraph(int position);
    void stepHistory(bool back, const Progress &progress);
    // Marks the history's last step, from before on, as one Qt should not
    // lay out edit by edit when it is undone or redone (see HeldLayout).
    void markWholeStep(int before);
    template <typename T, typename Get>
    std::optional<T> uniform(Get get) const;

    double m_rightMargin = 0;
    double m_heightTwips = 0;
    double m_leftTwips = 0;
    double m_topTwips = 0;
    int m_visibleBottom = -1;
    bool m_composing = false;
    QMetaObject::Connection m_watch;
    mutable std::optional<QFont> m_ownFace;
};

}  // namespace platform
