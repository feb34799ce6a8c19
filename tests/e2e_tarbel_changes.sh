#!/bin/sh
# End to end: no change is lost without a question. The real editor runs on a
# virtual X display and is driven with real X input (xdotool); what it did is
# read from its window titles and the files it writes.
#   1. open a document, Delete three times, Ctrl+Q: the save question comes;
#      Yes saves the document without the three characters;
#   2. open a document, middle-click the X selection in, Ctrl+Q: the question
#      comes; Cancel keeps the program running, Yes saves the pasted text;
#   3. with a hand-off file present (its names in other letter case, as a
#      Windows program may write them), open a document, type, click "find
#      phrase": the question comes first; Cancel keeps the typed document, Yes
#      saves it and then opens the handed-off one.
# usage: e2e_tarbel_changes.sh PROGRAM SHOTDIR
# Exit code: 0 passed, 1 failed, 77 a tool is missing.
set -u
for tool in xvfb-run xwininfo xdotool xclip import; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
prog=$1
shots=$2
mkdir -p "$shots"
HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
export HOME WINEPREFIX
docs=$WINEPREFIX/drive_c/docs
mkdir -p "$docs" "$WINEPREFIX/drive_c/autodesk"
xvfb-run -a -s "-screen 0 1280x900x24" sh -eu -c '
prog=$1 shots=$2 docs=$3
fail() { echo "FAILED: $*"; xwininfo -root -tree | grep -F "\"" | head; exit 1; }
# Waits (10 s at most) for a window with exactly this title.
shown() {
  i=0
  while ! xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""; do
    i=$((i + 1)); [ $i -lt 100 ] || return 1; sleep 0.1
  done
}
# Waits (10 s at most) for the program to end.
ended() {
  i=0
  while kill -0 $pid 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || return 1; sleep 0.1
  done
}
rtf() { printf "{\\\\rtf1\\\\ansi %s\\\\par}" "$1" > "$2"; }
start() {
  "$prog" "$@" 2>/dev/null &
  pid=$!
}
# A click into the document, which takes the keyboard, the caret at its start.
into_document() {
  xdotool mousemove 300 300 click 1
  sleep 0.3
  xdotool key ctrl+Home
}

# 1. Delete three times, Ctrl+Q.
rtf "Hello world" "$docs/one.rtf"
start "$docs/one.rtf"
shown "Editor [$docs/one.rtf]" || fail "document one not opened"
into_document
xdotool key Delete Delete Delete ctrl+q
shown "File Save" || fail "Ctrl+Q after Delete asked nothing"
import -window root "$shots/tarbel-delete-question.png"
xdotool key Return
ended || fail "Yes did not end the program"
grep -q "lo world" "$docs/one.rtf" && ! grep -q "Hello" "$docs/one.rtf" || fail "the deletion was not saved"
echo "ok 1: Delete x3 + Ctrl+Q asked, Yes saved"

# 2. Middle-click paste, Ctrl+Q.
rtf "Hello world" "$docs/two.rtf"
start "$docs/two.rtf"
shown "Editor [$docs/two.rtf]" || fail "document two not opened"
into_document
printf "PASTED " | xclip -selection primary 2>/dev/null
i=0
until [ "$(xclip -o -selection primary 2>/dev/null)" = "PASTED " ]; do
  i=$((i + 1)); [ $i -lt 50 ] || fail "xclip did not take the selection"; sleep 0.1
done
xdotool mousemove 300 300 click 2
sleep 0.3
xdotool key ctrl+q
shown "File Save" || fail "Ctrl+Q after a middle-click paste asked nothing"
xdotool key Escape
sleep 0.5
kill -0 $pid 2>/dev/null || fail "Cancel ended the program"
shown "Editor [$docs/two.rtf]" || fail "Cancel lost the document"
# With no window manager here, the keyboard comes back with a click.
xdotool click 1
xdotool key ctrl+q
shown "File Save" || fail "the second Ctrl+Q asked nothing"
xdotool key Return
ended || fail "Yes did not end the program"
grep -q "PASTED" "$docs/two.rtf" || fail "the pasted text was not saved"
echo "ok 2: middle-click paste + Ctrl+Q asked, Cancel kept it, Yes saved"

# 3. Type, then "find phrase" with a hand-off file present.
rtf "The pump engine failed." "$docs/handoff.rtf"
# Named as a Windows program may: letter case does not matter under C:.
printf "C:\\\\DOCS\\\\HandOff.RTF\r\nengine\r\n" > "$docs/../autodesk/SLLS.TXT"
rtf "Notes" "$docs/three.rtf"
start "$docs/three.rtf"
shown "Editor [$docs/three.rtf]" || fail "document three not opened after the start-up look-up"
into_document
xdotool type "typed words "
# The button sits on the toolbar, right of the font boxes.
wid=$(xdotool search --name "^Editor \\[" | head -1)
eval "$(xdotool getwindowgeometry --shell "$wid")"
xdotool mousemove $((X + 620)) $((Y + 30)) click 1
shown "EDITOR" || fail "find phrase asked nothing"
import -window root "$shots/tarbel-find-phrase-question.png"
xdotool key Escape
sleep 0.5
shown "Editor [$docs/three.rtf]" || fail "Cancel did not keep the typed document"
xdotool mousemove $((X + 620)) $((Y + 30)) click 1
shown "EDITOR" || fail "the second click asked nothing"
xdotool key Return
shown "Editor [C:\\DOCS\\HandOff.RTF]" || fail "Yes did not go on to the handed-off document"
grep -q "typed words" "$docs/three.rtf" || fail "the typed words were not saved"
import -window root "$shots/tarbel-find-phrase-after.png"
kill $pid
echo "ok 3: find phrase asked first, Cancel kept the typed text, Yes saved it"
' sh "$prog" "$shots" "$docs"
rc=$?
rm -rf "$HOME" "$WINEPREFIX"
exit $rc
