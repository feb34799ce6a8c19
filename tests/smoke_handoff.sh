#!/bin/sh
# Starts the real editor on a virtual X display with a hand-off file in a
# fresh Wine prefix, waits for the window to name the handed-off document
# and saves a screenshot.  usage: smoke_handoff.sh PROGRAM SHOT.png
set -u
HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
export HOME WINEPREFIX
mkdir -p "$WINEPREFIX/drive_c/Autodesk" "$WINEPREFIX/drive_c/docs"
printf "{\\\\rtf1\\\\ansi Quarterly report\\\\par The {\\\\b pump engine} failed twice.\\\\par}" \
  > "$WINEPREFIX/drive_c/docs/report.rtf"
printf "C:\\\\docs\\\\report.rtf\r\n\"Pump Engine\"\r\n" > "$WINEPREFIX/drive_c/Autodesk/Slls.txt"
sh "$(dirname "$0")/support/on-xvfb.sh" 'Editor [C:\docs\report.rtf]' "$2" "$1"
rc=$?
rm -rf "$HOME" "$WINEPREFIX"
exit $rc
