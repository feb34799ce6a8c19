#!/bin/sh
# Starts the real editor on a virtual X display, waits for its window and
# saves a screenshot.  usage: smoke_tarbel.sh PROGRAM SHOT.png
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
  "$program" &
  pid=$!
  i=0
  while [ $i -lt 100 ]; do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Editor \[ Untitled \]\""; then
      sleep 1
      import -window root "$shot"
      kill $pid
      wait $pid 2>/dev/null
      echo "window shown; screenshot in $shot"
      exit 0
    fi
    if ! kill -0 $pid 2>/dev/null; then
      echo "the editor ended before showing its window"
      exit 1
    fi
    sleep 0.1
    i=$((i + 1))
  done
  kill $pid
  echo "no window titled Editor [ Untitled ] within 10 s"
  exit 1
' sh "$program" "$shot"
