#include "runtime.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

#include "dialoghost.h"

namespace platform {

namespace Screen {
namespace {
int g_pointer = vbDefault;
}

void setMousePointer(int pointer)
{
    if (pointer == g_pointer)
        return;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        if (pointer == vbHourglass)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    g_pointer = pointer;
}

int mousePointer() { return g_pointer; }
}  // namespace Screen

namespace Clipboard {
QString GetText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void SetText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}
}  // namespace Clipboard

void MsgBoxFailure(const QString &message, const QString &path, const QString &reason)
{
    MsgBox(failureText(message, path, reason));
}

}  // namespace platform
