#pragma once
// What a document file holds, decided once when it is read: RTF, plain text
// (in the encoding and with the line ends it was read with), or neither, in
// which case the editor does not open it. Save writes a plain-text file back
// as plain text as long as the document holds nothing plain text loses.
// Rules only, without a window: the editor keeps the format of its document
// beside its file name.
#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QString>

#include "textcodec.h"

#include <optional>

class QTextBlock;
class QTextDocument;

struct DocumentFormat {
    enum Kind { Rtf, Text, Refused };
    enum Encoding { Utf8, Utf8Bom, Windows1252, Utf16LE, Utf16BE };

    Kind kind = Rtf;
    Encoding encoding = Utf8;
    QByteArray lineEnd = QByteArrayLiteral("\r\n");

    bool operator==(const DocumentFormat &) const = default;

    // What the bytes of a file are. Refused: NUL bytes outside UTF-16 text
    // with its byte-order mark, or the signature of a picture, an archive or
    // another binary format. An empty file is what its name says: RTF when
    // it ends in .rtf, text otherwise.
    static DocumentFormat of(const QByteArray &bytes, const QString &fileName = {});
    // The format of the file at path as it is on disk now (an RTF file is
    // told by its first bytes, a text file read through a piece at a time);
    // RTF when there is none.
    static DocumentFormat ofFile(const QString &path);

    // The text of a Text file: whole, or a piece at a time.
    QString decode(const QByteArray &bytes) const;
    platform::PieceDecoder pieceDecoder(QByteArrayView whole) const;
    // The bytes of text in this encoding, a paragraph a line; nothing when
    // a character has no place in the encoding, or when the file would not
    // open again as this text.
    std::optional<QByteArray> encode(const QString &text) const;

    // The document as the lines of a plain-text file (line breaks inside a
    // paragraph are line ends too), or nothing when it holds what plain text
    // cannot keep: formatting other than the document's default face and
    // size, pictures, lists, tables, aligned or indented paragraphs, or
    // RTF kept from a file.
    static std::optional<QString> plainTextOf(const QTextDocument *doc);
    // The same rule a paragraph at a time, for work done in slices, each
    // format judged once: plain text keeps the document when it keeps its
    // frames (none: no tables) and each of its paragraphs.
    class PlainRule {
    public:
        explicit PlainRule(const QTextDocument *doc);
        bool keepsFrames() const;
        bool keeps(const QTextBlock &block, const QString &text);   // text: the paragraph's
    private:
        const QTextDocument *m_doc;
        QFont m_face;
        QHash<int, bool> m_paragraphFormats, m_textFormats;
    };

    // The format in a few words, as a recovery copy records it, and back
    // (nothing for words that name no format).
    QString name() const;
    static std::optional<DocumentFormat> named(const QString &name);

private:
    std::optional<QByteArray> encodeLines(const QString &text) const;
};
