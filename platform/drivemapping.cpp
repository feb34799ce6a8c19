#include "drivemapping.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace platform {

QString winePrefix()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    while (prefix.size() > 1 && prefix.endsWith(u'/'))
        prefix.chop(1);
    return prefix;
}

QString mapDrivePath(const QString &path)
{
#ifdef Q_OS_WIN
    return path;
#else
    const bool drive = path.size() >= 2 && path.at(1) == u':' && path.at(0).unicode() < 128
                       && path.at(0).isLetter();
    if (!drive)
        return path;
    const QChar letter = path.at(0).toLower();
    QString rest = path.mid(2);
    rest.replace(u'\\', u'/');
    if (!rest.isEmpty() && !rest.startsWith(u'/'))
        rest.prepend(u'/');
    const QString prefix = winePrefix();
    const QString dosdevice = prefix + QStringLiteral("/dosdevices/") + letter + u':';
    if (QFileInfo(dosdevice).isDir() || letter != u'c')
        return dosdevice + rest;
    return prefix + QStringLiteral("/drive_c") + rest;
#endif
}

}  // namespace platform

namespace platform {

bool makeDriveFolder(const QString &path)
{
    const QString folder = mapDrivePath(path.left(2));
    if (folder != winePrefix() + QStringLiteral("/drive_c") || QFileInfo(folder).isDir())
        return true;
    return QDir().mkpath(folder);
}

}  // namespace platform
