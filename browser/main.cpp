#include "frmMain.h"

#include "runtime.h"
#include "webbrowser.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    platform::WebBrowser::prepareProcess("vennik");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vennik"));
    QApplication::setOrganizationName(QStringLiteral("Zanth"));
    QApplication::setDesktopFileName(QStringLiteral("vennik"));
    std::unique_ptr<frmMain> window;
    if (const int failed = frmMain::Start(platform::appPath(), window))
        return failed;
    return QApplication::exec();
}
