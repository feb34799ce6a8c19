#!/bin/sh
# Runs the end-to-end driver on a virtual X display.
#   browser-e2e.sh MODE DRIVER VENNIK OUTDIR
# Exit code 77 (skipped) when there is no xvfb-run or no import.
mode=$1 driver=$2 vennik=$3 outdir=$4
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is missing: skipped"
  exit 77
fi
if ! command -v import >/dev/null 2>&1; then
  echo "import (ImageMagick) is missing: skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$driver" "$mode" "$vennik" "$outdir"
