#!/bin/sh
# Starts the real editor on a virtual X display with a hand-off file in a
# fresh Wine prefix, waits for the window to name the handed-off document
# and saves a screenshot.  usage: smoke_handoff.sh PROGRAM SHOT.png
set -u
program=$1
shot=$2
if ! command -v xvfb-run >/dev/null || ! command -v xwininfo >/dev/null || ! command -v import >/dev/null; then
  echo "xvfb-run, xwininfo or import missing: skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x900x24" sh -c '
  program=$1; shot=$2
  export HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
  mkdir -p "$WINEPREFIX/drive_c/Autodesk" "$WINEPREFIX/drive_c/docs"
  printf "{\\\\rtf1\\\\ansi Quarterly report\\\\par The {\\\\b pump engine} failed twice.\\\\par}" \
    > "$WINEPREFIX/drive_c/docs/report.rtf"
  printf "C:\\\\docs\\\\report.rtf\r\n\"Pump Engine\"\r\n" > "$WINEPREFIX/drive_c/Autodesk/Slls.txt"
  "$program" &
  pid=$!
  i=0
  while [ $i -lt 100 ]; do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"Editor [C:\\docs\\report.rtf]\""; then
      sleep 1
      import -window root "$shot"
      kill $pid
      wait $pid 2>/dev/null
      rm -rf "$HOME" "$WINEPREFIX"
      echo "the handed-off document is open; screenshot in $shot"
      exit 0
    fi
    if ! kill -0 $pid 2>/dev/null; then
      echo "the editor ended before showing the document"
      exit 1
    fi
    sleep 0.1
    i=$((i + 1))
  done
  xwininfo -root -tree 2>/dev/null | grep Editor
  kill $pid
  rm -rf "$HOME" "$WINEPREFIX"
  echo "no window titled Editor [C:\\docs\\report.rtf] within 10 s"
  exit 1
' sh "$program" "$shot"
