#pragma once
// Windows paths, fixed in the programs or read from files written by Windows
// programs, name the same files for us as for those programs. On Windows a
// path is used as it stands. Elsewhere Wine's convention applies: drive X is
// $WINEPREFIX/dosdevices/x: when that exists, and C: falls back to
// $WINEPREFIX/drive_c (WINEPREFIX defaults to ~/.wine).
//
// The path is read as Windows reads it: backslashes and slashes both
// separate; "." and ".." are taken away by name and ".." stops at the
// drive's root; trailing blanks and dots of the last name go (and one
// trailing dot of a folder's name); a path without a drive ("\docs\a.rtf")
// lies on drive C:, and a relative one ("docs\a.rtf", "C:docs\a.rtf") starts
// at its drive's root, which is the current folder there for a Wine program
// that has not changed it. The drive letter and every name under the
// drive's folder are then found case-blind, as Wine finds them (a name that
// exists exactly wins; a missing part keeps its letters). A native path (no
// drive letter and no backslash) passes unchanged.
#include <QString>

namespace platform {

// The native path for path. A path that names no file for Windows is
// refused: the answer is then empty and refusal, when asked for, says why.
// Refused are the device names (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, with any extension, in any folder, in any letter case), network
// paths (\\server\share), the \\?\ and \\.\ forms, and names holding a
// character Windows does not allow in them (< > : " | ? * and control
// characters).
QString mapDrivePath(const QString &path, QString *refusal = nullptr);
// The Wine prefix in force: $WINEPREFIX, or ~/.wine.
QString winePrefix();

// Creates the folder drive C: maps to when it is missing: $WINEPREFIX/drive_c
// of a prefix Wine has not set up yet (Wine initialises such a prefix on its
// first run and keeps the files in it). Nothing else is created: another
// drive, or a drive C: that maps elsewhere, is left as it is. False only when
// path lies on that missing folder and it cannot be made.
bool makeDriveFolder(const QString &path);

}  // namespace platform
