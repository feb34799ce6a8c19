#!/bin/sh
# Starts the real editor on a virtual X display, waits for its window and
# saves a screenshot.  usage: smoke_tarbel.sh PROGRAM SHOT.png
set -u
HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
export HOME WINEPREFIX
sh "$(dirname "$0")/support/on-xvfb.sh" "Editor [ Untitled ]" "$2" "$1"
rc=$?
rm -rf "$HOME" "$WINEPREFIX"
exit $rc
