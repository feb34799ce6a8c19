#pragma once
// Windows paths, fixed in the programs or read from files written by Windows
// programs, name the same files for us as for those programs. On Windows a
// path is used as it stands. Elsewhere Wine's convention applies: drive X is
// $WINEPREFIX/dosdevices/x: when that exists, and C: falls back to
// $WINEPREFIX/drive_c (WINEPREFIX defaults to ~/.wine). Backslashes become
// slashes; the drive letter and every name under the drive's folder are
// case-blind, as in Wine (a name that exists exactly wins; a missing part
// keeps its letters); a native path passes unchanged.
#include <QString>

namespace platform {

QString mapDrivePath(const QString &path);
// The Wine prefix in force: $WINEPREFIX, or ~/.wine.
QString winePrefix();

}  // namespace platform

namespace platform {

// Creates the folder drive C: maps to when it is missing: $WINEPREFIX/drive_c
// of a prefix Wine has not set up yet (Wine initialises such a prefix on its
// first run and keeps the files in it). Nothing else is created: another
// drive, or a drive C: that maps elsewhere, is left as it is. False only when
// path lies on that missing folder and it cannot be made.
bool makeDriveFolder(const QString &path);

}  // namespace platform
