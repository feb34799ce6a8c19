#pragma once
// The document format: Rich Text Format read into and written from a
// QTextDocument. Pure functions between bytes and a document, usable without
// any widget.
//
// The document model both sides agree on:
// - paragraphs are blocks; a line break inside one is QChar::LineSeparator;
// - character formats carry the face (fontFamilies().first()), point size,
//   weight, italic, underline, strike-out, foreground, background, vertical
//   alignment and, for links, anchor + anchorHref;
// - bullets and numbered lists are QTextLists, tables are QTextTables;
// - pictures are QTextImageFormats naming an ImageResource QImage, sized in
//   pixels at 96 dpi. When the picture came from JPEG data the original
//   bytes are kept as a UserResource (a QByteArray) under jpegSourceUrl() of
//   the picture's name, and the writer then writes them back as JPEG
//   instead of PNG.
#include <QByteArray>
#include <QString>
#include <QUrl>

#include "textcodec.h"

#include <functional>
#include <memory>

class QTextDocument;

namespace rtf {

// True when the bytes start with "{\rtf" after optional blanks.
bool isRtf(const QByteArray &data);

// Replaces the document's content with the RTF in data. Never fails: bad or
// hostile input yields whatever text could be recovered. Text is in the faces
// the file names, or in Times New Roman where it names none, and so is the
// document's default font (at 12 points). The document's undo history is
// left empty.
void read(const QByteArray &data, QTextDocument *doc);
// The same, telling progress how many of the bytes are read every few
// thousand tokens (well under a millisecond apart); when it answers false the reading stops there and read() answers
// false, leaving the document with part of the file.
bool read(const QByteArray &data, QTextDocument *doc, const std::function<bool(qint64 done, qint64 total)> &progress);

// Replaces the document's content with plain text (UTF-8 when valid, else
// Windows-1252), one paragraph per line (CR LF, LF or CR).
void readPlainText(const QByteArray &data, QTextDocument *doc);

// Told how far a long piece of work has come (in bytes of its input), after
// its first step and then about every 40 ms; returning false stops it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// The same with the bytes decoded by decode, a piece at a time, so that the
// whole text is never held beside the document. When progress stops it, the
// document is left empty and the result is false.
bool readPlainText(QByteArrayView data, const platform::PieceDecoder &decode, QTextDocument *doc,
                   const Progress &progress = {});

// The whole document as RTF (ASCII only).
QByteArray write(const QTextDocument *doc);

class Writer;

// The same bytes as write(), made a slice at a time so that a large document
// never holds up the window's thread for long: each step() writes whole
// top-level paragraphs and tables for about the time given and returns true
// once everything is written; result() then gives the file. The document
// must not change between the first step and result(): a caller that sees
// it change (QTextDocument::contentsChange) drops the writer and starts
// again.
class SlicedWriter
{
public:
    explicit SlicedWriter(const QTextDocument *doc);
    ~SlicedWriter();
    SlicedWriter(const SlicedWriter &) = delete;
    SlicedWriter &operator=(const SlicedWriter &) = delete;
    bool step(int milliseconds);
    // How many of the document's characters are written.
    qint64 written() const;
    QByteArray result();

private:
    std::unique_ptr<Writer> writer;
    bool done = false;
};

// Where the original JPEG bytes of a picture named imageName are kept.
QUrl jpegSourceUrl(const QString &imageName);

// Runs the tokenizer alone over the data, with a listener that only counts,
// and returns the number of characters of text outside the header tables,
// pictures and skipped destinations. For measuring the tokenizer.
qint64 scan(const QByteArray &data);

}  // namespace rtf
