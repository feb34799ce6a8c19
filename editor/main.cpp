#include "frmeditor.h"
#include "runtime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Children (the writer of a recovery copy) are this program's to wait
    // for, whatever the program that started it ignored.
    platform::resetInheritedSignals();
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
