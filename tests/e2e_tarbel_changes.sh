#!/bin/sh
# End to end: no change is lost without a question. The real editor runs on a
# virtual X display, driven with real X input (xdotool); its window titles and
# the files it writes tell what it did.
#   1. Delete three times, Ctrl+Q: the question; Yes saves without them;
#   2. middle-click the X selection in, Ctrl+Q: the question; Cancel keeps
#      the program running, Yes saves the pasted text;
#   3. type, click "find phrase" (a hand-off file present, its names in other
#      letter case, as a Windows program may write them): the question first;
#      Cancel keeps the typed text, Yes saves it, then the look-up runs.
# usage: e2e_tarbel_changes.sh PROGRAM SHOTDIR
# Exit code: 0 passed, 1 failed, 77 a tool is missing.
set -u
if [ -z "${E2E_DISPLAY_UP:-}" ]; then
  for tool in xvfb-run xwininfo xdotool xclip import; do
    command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
  done
  HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
  export HOME WINEPREFIX E2E_DISPLAY_UP=1
  mkdir -p "$2"
  xvfb-run -a -s "-screen 0 1280x900x24 -noreset" sh "$0" "$@"
  rc=$?
  rm -rf "$HOME" "$WINEPREFIX"
  exit $rc
fi
set -e
prog=$1 shots=$2 docs=$WINEPREFIX/drive_c/docs
mkdir -p "$docs" "$WINEPREFIX/drive_c/autodesk"
fail() { echo "FAILED: $*"; xwininfo -root -tree | grep -F '"' | head; exit 1; }
# Runs the command until it succeeds, 30 s at most (a loaded machine is slow).
within() { i=0; until "$@"; do i=$((i + 1)); [ $i -lt 300 ] || return 1; sleep 0.1; done; }
titled() { xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""; }
ended() { ! kill -0 $pid 2>/dev/null; }
selection_is() { [ "$(xclip -o -selection primary 2>/dev/null)" = "$1" ]; }
# Opens a new document holding text, then clicks into it: the caret at its start.
open_doc() {
  printf '{\\rtf1\\ansi %s\\par}' "$2" > "$docs/$1"
  "$prog" "$docs/$1" 2>/dev/null &
  pid=$!
  within titled "Editor [$docs/$1]" || fail "$1 did not open"
  xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+Home
}

open_doc one.rtf "Hello world"
xdotool key Delete Delete Delete ctrl+q
within titled "File Save" || fail "Ctrl+Q after Delete asked nothing"
import -window root "$shots/tarbel-delete-question.png"
xdotool key Return
within ended || fail "Yes did not end the program"
grep -q "lo world" "$docs/one.rtf" && ! grep -q "Hello" "$docs/one.rtf" || fail "the deletion was not saved"
echo "ok 1: Delete x3 + Ctrl+Q asked, Yes saved"

open_doc two.rtf "Hello world"
printf 'PASTED ' | xclip -selection primary 2>/dev/null
within selection_is "PASTED " || fail "xclip took no selection"
xdotool mousemove 300 300 click 2 sleep 0.3 key ctrl+q
within titled "File Save" || fail "Ctrl+Q after a middle-click paste asked nothing"
xdotool key Escape sleep 0.5
titled "Editor [$docs/two.rtf]" && ! ended || fail "Cancel lost the document"
# No window manager here: a click gives the keyboard back to the window.
xdotool click 1 sleep 0.5 key ctrl+q
within titled "File Save" || fail "the second Ctrl+Q asked nothing"
xdotool key Return
within ended || fail "Yes did not end the program"
grep -q "PASTED" "$docs/two.rtf" || fail "the pasted text was not saved"
echo "ok 2: middle-click paste + Ctrl+Q asked, Cancel kept it, Yes saved"

printf '{\\rtf1\\ansi The pump engine failed.\\par}' > "$docs/handoff.rtf"
printf 'C:\\DOCS\\HandOff.RTF\r\nengine\r\n' > "$WINEPREFIX/drive_c/autodesk/SLLS.TXT"
open_doc three.rtf "Notes"
xdotool type "typed words "
# "find phrase" is on the toolbar, right of the font boxes.
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name '^Editor \[' | head -1)")"
xdotool mousemove $((X + 620)) $((Y + 30)) click 1
within titled "EDITOR" || fail "find phrase asked nothing"
import -window root "$shots/tarbel-find-phrase-question.png"
xdotool key Escape sleep 0.5
titled "Editor [$docs/three.rtf]" || fail "Cancel did not keep the typed document"
xdotool click 1
within titled "EDITOR" || fail "the second click asked nothing"
xdotool key Return
within titled 'Editor [C:\DOCS\HandOff.RTF]' || fail "Yes did not go on to the handed-off document"
grep -q "typed words" "$docs/three.rtf" || fail "the typed words were not saved"
import -window root "$shots/tarbel-find-phrase-after.png"
kill $pid
echo "ok 3: find phrase asked first, Cancel kept the typed text, Yes saved it"
