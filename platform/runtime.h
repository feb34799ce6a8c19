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

// The hourglass for as long as the guard lives: the pointer it found comes
// back when the guard goes, whichever way the scope is left.
class BusyPointer {
public:
    BusyPointer() : m_previous(mousePointer()) { setMousePointer(vbHourglass); }
    ~BusyPointer() { setMousePointer(m_previous); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    int m_previous;
};
}  // namespace Screen

// The system clipboard, in its plain-text format only.
namespace Clipboard {
QString GetText();
void SetText(const QString &text);
}  // namespace Clipboard

// The folder that holds the running program.
QString appPath();

// Replaces the file at path (a native path) with bytes: through a temporary
// file beside it, flushed and renamed over it, so the
// file keeps its permissions and a symbolic link keeps pointing at the file
// it names, which is the one replaced. Where the folder takes no new file
// but the file itself may be written, the file is rewritten in place. A
// read-only file or a folder is never written. False on failure (the
// temporary file removed); never throws.
bool writeFileSafely(const QString &path, const QByteArray &bytes);

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
