#pragma once
// Small runtime services of the windows: the screen-wide busy pointer, the
// plain-text clipboard and failure messages; with the services that need no
// window.
#include "services.h"

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

// Shows failureText in a message box with an OK button only.
void MsgBoxFailure(const QString &message, const QString &path, const QString &reason);

}  // namespace platform
