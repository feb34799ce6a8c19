#include "frmMain.h"

#include "runtime.h"
#include "webbrowser.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Children (the page area's processes) are this program's to wait for,
    // whatever the program that started it ignored.
    platform::resetInheritedSignals();
    platform::WebBrowser::prepareProcess("vennik");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vennik"));
    QApplication::setOrganizationName(QStringLiteral("Zanth"));
    QApplication::setDesktopFileName(QStringLiteral("vennik"));
    // One address on the command line (a desktop's "open with") is shown
    // instead of the start address.
    QStringList addresses = QApplication::arguments().mid(1);
    addresses.removeIf([](const QString &a) { return a.startsWith(u'-'); });
    std::unique_ptr<frmMain> window;
    if (const int failed = frmMain::Start(platform::appPath(), window, addresses.size() == 1 ? addresses.first() : QString()))
        return failed;
    return QApplication::exec();
}
