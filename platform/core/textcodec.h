#pragma once
#include <QByteArray>
#include <QString>

#include <functional>

namespace platform {

// Text of a file that says nothing of its encoding: UTF-8 when the bytes are
// valid UTF-8 (a leading byte-order mark dropped), else Windows-1252.
QString decodeText(const QByteArray &bytes);
// Bytes decoded a piece at a time, the pieces given in order: the text of
// each, a character split between two pieces coming whole with the later.
using PieceDecoder = std::function<QString(QByteArrayView piece)>;
// decodeText's rules for the bytes of a whole file, a piece at a time.
PieceDecoder textPieceDecoder(QByteArrayView whole);
// Windows-1252 bytes of a text; characters it cannot hold become '?'.
QByteArray encodeWindows1252(const QString &text);

}  // namespace platform
