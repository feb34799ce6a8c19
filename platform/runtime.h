#pragma once
// Small runtime services both programs share: the screen-wide busy pointer,
// the plain-text clipboard, the free-format item reader and the program
// folder.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "textcodec.h"

namespace platform {

// The screen-wide mouse pointer: 11 shows the hourglass over every window of
// the program, 0 restores the default. Setting the same value twice is
// harmless; 0 always clears the hourglass.
namespace Screen {
constexpr int vbDefault = 0;
constexpr int vbHourglass = 11;
void setMousePointer(int pointer);
int mousePointer();
}  // namespace Screen

// The system clipboard, in its plain-text format only.
namespace Clipboard {
QString GetText();
void SetText(const QString &text);
}  // namespace Clipboard

// The folder that holds the running program.
QString appPath();

// Reads free-format items the way the runtime's sequential input does: an
// item ends at a comma or a line end (CR LF, LF or CR); an item that starts
// with a double quote runs to the next double quote and may hold commas and
// line ends (what follows the closing quote up to the next comma or line
// end is dropped); blanks and tabs in front of an item are skipped, and
// blanks at the end of an unquoted item are dropped.
class FreeFormatReader {
public:
    explicit FreeFormatReader(QString text);
    // Reads the next item; false at the end of the text (nothing left to
    // read), which the runtime reports as input past the end of the file.
    bool readItem(QString &item);
    bool atEnd() const;

private:
    QString m_text;
    qsizetype m_pos = 0;
};

// The runtime's Val(): the leading number of a text (blanks skipped), 0 when
// there is none. Saturates instead of overflowing.
double val(const QString &text);

}  // namespace platform
