#pragma once
// The document format: Rich Text Format read into and written from a
// QTextDocument. Pure functions between bytes and a document, usable without
// any widget.
#include <QByteArray>

class QTextDocument;

namespace rtf {

// True when the bytes start with "{\rtf" after optional blanks.
bool isRtf(const QByteArray &data);

// Replaces the document's content with the RTF in data. Never fails: bad or
// hostile input yields whatever text could be recovered.
void read(const QByteArray &data, QTextDocument *doc);

// Replaces the document's content with plain text (UTF-8 when valid, else
// Windows-1252), one paragraph per line (CR LF, LF or CR).
void readPlainText(const QByteArray &data, QTextDocument *doc);

// The whole document as RTF (ASCII only).
QByteArray write(const QTextDocument *doc);

}  // namespace rtf
