#include "frmeditor.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarbel"));
    QApplication::setDesktopFileName(QStringLiteral("tarbel"));
    frmeditor window;
    window.show();
    return QApplication::exec();
}
