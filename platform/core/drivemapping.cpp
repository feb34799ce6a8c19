#include "drivemapping.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace platform {

namespace {

// CON, PRN, AUX, NUL, COM1-9, LPT1-9: the name before its first dot, blanks
// at its end dropped, in any letter case.
bool isDeviceName(QStringView name)
{
    const qsizetype dot = name.indexOf(u'.');
    QStringView base = dot < 0 ? name : name.left(dot);
    while (base.endsWith(u' '))
        base.chop(1);
    auto is = [&base](const char *device) { return base.compare(QLatin1String(device), Qt::CaseInsensitive) == 0; };
    if (base.size() == 3)
        return is("CON") || is("PRN") || is("AUX") || is("NUL");
    if (base.size() == 4 && base.at(3) >= u'1' && base.at(3) <= u'9') {
        base.chop(1);
        return is("COM") || is("LPT");
    }
    return false;
}

QChar forbiddenCharacter(QStringView name)
{
    for (QChar c : name) {
        if (c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c))
            return c;
    }
    return {};
}

// The names under the drive's root, as Windows reads them: "." and ".."
// taken away (".." stops at the root), trailing blanks and dots of the last
// name dropped, one trailing dot of a folder's name dropped. Empty refusal
// when the names are fine.
QStringList driveNames(const QString &rest, QString *refusal)
{
    const QStringList given = rest.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    QStringList names;
    for (qsizetype i = 0; i < given.size(); ++i) {
        QString name = given.at(i);
        if (name == u'.')
            continue;
        if (name == QLatin1String("..")) {
            if (!names.isEmpty())
                names.removeLast();
            continue;
        }
        if (i + 1 == given.size()) {
            while (name.endsWith(u' ') || name.endsWith(u'.'))
                name.chop(1);
        } else if (name.endsWith(u'.')) {
            name.chop(1);
        }
        if (name.isEmpty())
            continue;
        if (const QChar bad = forbiddenCharacter(name); !bad.isNull()) {
            *refusal = bad.unicode() < 0x20
                           ? QStringLiteral("a Windows file name cannot hold control characters")
                           : QStringLiteral("a Windows file name cannot hold \"%1\"").arg(bad);
            return {};
        }
        if (isDeviceName(name)) {
            *refusal = QStringLiteral("%1 is a Windows device name, not a file").arg(name);
            return {};
        }
        names << name;
    }
    return names;
}

// names under the drive's folder, found as Wine finds them: letter case does
// not matter in any part. A part named exactly wins; otherwise the first
// entry that differs only in case. From the first part with no such entry
// on, the rest keeps the letters it was given, so that a new file is created
// as named.
QString resolveCaseBlind(const QString &folder, const QStringList &names)
{
    QString path = folder;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &part = names.at(i);
        QString next = path + u'/' + part;
        if (!QFileInfo(next).exists() && !QFileInfo(next).isSymLink()) {
            const QStringList entries =
                QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
            const auto found = std::find_if(entries.begin(), entries.end(), [&part](const QString &e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (found == entries.end()) {
                path += u'/' + names.mid(i).join(u'/');
                break;
            }
            next = path + u'/' + *found;
        }
        path = next;
    }
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

QString mapDrivePath(const QString &path, QString *refusal)
{
#ifdef Q_OS_WIN
    Q_UNUSED(refusal);
    return path;
#else
    QString why;
    auto refuse = [&](const QString &reason) {
        if (refusal)
            *refusal = reason;
        return QString();
    };
    if (refusal)
        refusal->clear();
    if (path.startsWith(QLatin1String("\\\\?\\")) || path.startsWith(QLatin1String("\\\\.\\")))
        return refuse(QStringLiteral("\\\\?\\ and \\\\.\\ paths name no file here"));
    if (path.startsWith(QLatin1String("\\\\")) || path.startsWith(QLatin1String("\\/"))
        || path.startsWith(QLatin1String("/\\")))
        return refuse(QStringLiteral("a network path (\\\\server\\share) names no file here"));
    const bool drive = path.size() >= 2 && path.at(1) == u':' && path.at(0).unicode() < 128
                       && path.at(0).isLetter();
    QChar letter = u'c';
    QString rest;
    if (drive) {
        letter = path.at(0).toLower();
        rest = path.mid(2);
    } else if (path.contains(u'\\')) {
        // No drive: drive C:, from its root.
        rest = path;
    } else {
        return path;   // native
    }
    const QStringList names = driveNames(rest, &why);
    if (!why.isEmpty())
        return refuse(why);
    const QString prefix = winePrefix();
    const QString dosdevice = prefix + QStringLiteral("/dosdevices/") + letter + u':';
    const QString folder = QFileInfo(dosdevice).isDir() || letter != u'c' ? dosdevice
                                                                          : prefix + QStringLiteral("/drive_c");
    QString mapped = resolveCaseBlind(folder, names);
    // A folder named with a separator at its end keeps it; so does the root.
    if (rest.endsWith(u'\\') || rest.endsWith(u'/'))
        mapped += u'/';
    return mapped;
#endif
}

bool makeDriveFolder(const QString &path)
{
    const QString folder = mapDrivePath(path.left(2));
    if (folder != winePrefix() + QStringLiteral("/drive_c") || QFileInfo(folder).isDir())
        return true;
    return QDir().mkpath(folder);
}

}  // namespace platform
