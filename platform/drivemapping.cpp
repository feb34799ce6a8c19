#include "drivemapping.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <algorithm>

namespace platform {

namespace {
// rest (slashes) under the drive's folder, found as Wine finds it: letter
// case does not matter in any part. A part named exactly wins; otherwise
// the first entry that differs only in case. From the first part with no
// such entry on, the rest keeps the letters it was given, so that a new
// file is created as named.
QString resolveCaseBlind(const QString &folder, const QString &rest)
{
    const QStringList parts = rest.split(u'/', Qt::SkipEmptyParts);
    QString path = folder;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QString next = path + u'/' + part;
        if (part != QLatin1String(".") && part != QLatin1String("..") && !QFileInfo(next).exists()
            && !QFileInfo(next).isSymLink()) {
            const QStringList entries =
                QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
            const auto found = std::find_if(entries.begin(), entries.end(), [&part](const QString &e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (found == entries.end()) {
                path += u'/' + parts.mid(i).join(u'/');
                break;
            }
            next = path + u'/' + *found;
        }
        path = next;
    }
    if (rest.endsWith(u'/') && !parts.isEmpty())
        path += u'/';
    else if (parts.isEmpty())
        path += rest;
    return path;
}
}  // namespace

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
        return resolveCaseBlind(dosdevice, rest);
    return resolveCaseBlind(prefix + QStringLiteral("/drive_c"), rest);
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
