#include "frmeditor.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarbel"));
    QApplication::setDesktopFileName(QStringLiteral("tarbel"));
    frmeditor window;
    // One document on the command line (a desktop's "open with") opens
    // after the start-up look-up.
    QStringList files = QApplication::arguments().mid(1);
    files.removeIf([](const QString &a) { return a.startsWith(u'-'); });
    if (files.size() == 1)
        window.openAtStartup(files.first());
    window.show();
    return QApplication::exec();
}
