#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// Text of a file that says nothing of its encoding: UTF-8 when the bytes are
// valid UTF-8 (a leading byte-order mark dropped), else Windows-1252.
QString decodeText(const QByteArray &bytes);
// Windows-1252 bytes of a text; characters it cannot hold become '?'.
QByteArray encodeWindows1252(const QString &text);

}  // namespace platform
