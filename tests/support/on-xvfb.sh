#!/bin/sh
# Runs a program on a virtual X display, waits (10 s at most) for a window
# with the given title, saves a screenshot unless SHOT is "-", and ends the
# program.  usage: on-xvfb.sh TITLE SHOT PROGRAM [ARGS...]
# Exit code: 0 the window showed, 1 it did not, 77 a tool is missing.
set -u
title=$1
shot=$2
shift 2
for tool in xvfb-run xwininfo import; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x900x24" sh -c '
  title=$1 shot=$2
  shift 2
  "$@" &
  pid=$!
  i=0
  while [ $i -lt 100 ]; do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\""; then
      if [ "$shot" != - ]; then
        sleep 1
        import -window root "$shot"
      fi
      kill $pid
      wait $pid 2>/dev/null
      echo "window titled $title${shot#-}"
      exit 0
    fi
    if ! kill -0 $pid 2>/dev/null; then
      echo "the program ended before showing $title"
      exit 1
    fi
    sleep 0.1
    i=$((i + 1))
  done
  xwininfo -root -tree 2>/dev/null | grep -F "\"" | head -20
  kill $pid
  echo "no window titled $title within 10 s"
  exit 1
' sh "$title" "$shot" "$@"
