#!/bin/sh
# End to end: what the user writes stays theirs. The real editor runs on a
# virtual X display, driven with real X input (xdotool); its window titles,
# the clipboard (xclip) and the files it writes tell what it did.
#   0. typing at once after the start goes into the document;
#   1. Write File of one line over the open letter: the letter is then
#      unsaved work, Ctrl+Q asks, Yes puts it back whole;
#   2. the Edit menu opened with nothing selected, then a selection and
#      Ctrl+C copies; F6 on bold, italic and red words keeps all three and
#      the selection; Return twice after DejaVu Serif text and typing goes on
#      in DejaVu Serif; Ctrl+Z after typing takes the typing back and pastes
#      nothing;
#   3. a plain-text file stays plain text when saved; a PNG is not opened,
#      and Save leaves it alone;
#   4. screenshots of the window made narrow (the toolbar's overflow menu
#      open) and wide.
# usage: e2e_tarbel_editing.sh PROGRAM SHOTDIR
# Exit code: 0 passed, 1 failed, 77 a tool is missing.
set -u
if [ -z "${E2E_DISPLAY_UP:-}" ]; then
  for tool in xvfb-run xwininfo xdotool xclip import; do
    command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
  done
  HOME=$(mktemp -d) WINEPREFIX=$(mktemp -d)
  XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_STATE_HOME=$HOME/.local/state
  XDG_CACHE_HOME=$HOME/.cache
  export HOME WINEPREFIX XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_CACHE_HOME E2E_DISPLAY_UP=1
  mkdir -p "$2"
  xvfb-run -a -s "-screen 0 1280x900x24 -noreset" sh "$0" "$@"
  rc=$?
  rm -rf "$HOME" "$WINEPREFIX"
  exit $rc
fi
set -e
prog=$1 shots=$2 docs=$HOME/docs
mkdir -p "$docs"
fail() { printf 'FAILED: %s\n' "$*"; xwininfo -root -tree | grep -F '"' | head; exit 1; }
# Runs the command until it succeeds, 30 s at most (a loaded machine is slow).
within() { i=0; until "$@"; do i=$((i + 1)); [ $i -lt 300 ] || return 1; sleep 0.1; done; }
titled() { xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""; }
ended() { ! kill -0 $pid 2>/dev/null; }
clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }
# Starts the editor on a document and clicks into its text.
open_doc() {
  "$prog" "$1" 2>/dev/null &
  pid=$!
  within titled "Editor [$1]" || fail "$1 did not open"
  focus_text
}
# No window manager here: the window is given the keyboard back after a
# dialog, and a click puts the caret in its text.
focus_text() {
  sleep 0.3
  xdotool search --name '^Editor \[' windowfocus --sync
  xdotool mousemove 300 300 click 1 sleep 0.3
}
# Types a path into the file dialog titled $1 and accepts it.
choose_file() {
  within titled "$1" || fail "no dialog titled $1"
  sleep 0.5
  xdotool type --delay 20 "$2"
  xdotool key Return
}

# 0. Started without a document, the window given the keyboard and no
# click: typing goes into the document.
"$prog" 2>/dev/null &
pid=$!
within titled "Editor [ Untitled ]" || fail "no window"
sleep 0.5
xdotool search --name '^Editor \[' windowfocus --sync
xdotool type --delay 20 "first words"
xdotool key shift+Home ctrl+c
within clipboard_is "first words" || fail "typing at start did not reach the document: $(xclip -o -selection clipboard)"
kill $pid
wait $pid 2>/dev/null || true
echo "ok 0: typing at once after the start went into the document"

printf '{\\rtf1\\ansi Dear reader,\\par the whole letter, which must not be lost.\\par}' > "$docs/letter.rtf"
open_doc "$docs/letter.rtf"
xdotool key ctrl+Home shift+End alt+f w
choose_file "Save As" "$docs/letter.rtf"
within titled "Save As" && sleep 0.5
xdotool key y
within sh -c "! grep -q rtf1 '$docs/letter.rtf'" || fail "Write File did not write the line"
[ "$(cat "$docs/letter.rtf")" = "$(printf 'Dear reader,\r')" ] || fail "the line written: $(cat "$docs/letter.rtf")"
focus_text
xdotool key ctrl+q
within titled "File Save" || fail "Ctrl+Q after Write File over the letter asked nothing"
xdotool key Return
within ended || fail "Yes did not end the program"
grep -q "must not be lost" "$docs/letter.rtf" || fail "the letter was not saved back"
echo "ok 1: Write File over the letter left it unsaved; Ctrl+Q asked, Yes saved it whole"

printf '{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Serif;}}{\\colortbl;\\red255\\green0\\blue0;}\\f0\\fs24 {\\b bold} {\\i italic} {\\cf1 red}\\par}' > "$docs/mixed.rtf"
open_doc "$docs/mixed.rtf"
printf 'before' | xclip -selection clipboard
xdotool key ctrl+Home alt+e sleep 0.5 key Escape sleep 0.3 key Escape
focus_text
xdotool key ctrl+Home shift+End ctrl+c
within clipboard_is "bold italic red" || fail "Ctrl+C after the Edit menu copied nothing"
xdotool key F6 ctrl+c
within clipboard_is "BOLD ITALIC RED" || fail "F6 lost the selection or the case: $(xclip -o -selection clipboard)"
printf 'CLIP' | xclip -selection clipboard
xdotool key End Return Return
xdotool type "next words"
xdotool key Return
xdotool type "teh"
xdotool key ctrl+z ctrl+s
within sh -c "grep -q 'next words' '$docs/mixed.rtf'" || fail "Ctrl+S did not save"
for word in '\b BOLD' '\i ITALIC' '\cf1 RED'; do
  grep -qF "$word" "$docs/mixed.rtf" || fail "F6 lost the formatting of $word: $(cat "$docs/mixed.rtf")"
done
! grep -q "teh\|CLIP" "$docs/mixed.rtf" || fail "Ctrl+Z did not take the typing back, or pasted"
# The new words go on in DejaVu Serif 12 pt (\f1\fs24), like the text
# before them: their paragraph switches neither face nor size.
grep -F 'next words' "$docs/mixed.rtf" | grep -qvF -e '\f' -e '\fs' ||
  fail "the new paragraph lost the face: $(cat "$docs/mixed.rtf")"
import -window root "$shots/tarbel-editing.png"
kill $pid
echo "ok 2: Edit menu then Ctrl+C copied; F6 kept the formats; Return kept the face; Ctrl+Z undid typing"

printf 'buy milk\nwalk the dog\n' > "$docs/todo.txt"
printf '\211PNG\r\n\032\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\10\2\0\0\0' > "$docs/photo.png"
cp "$docs/photo.png" "$docs/photo-before.png"
open_doc "$docs/todo.txt"
xdotool key ctrl+End
xdotool type "call mum"
xdotool key ctrl+s
within sh -c "grep -q 'call mum' '$docs/todo.txt'" || fail "Ctrl+S did not save the text file"
[ "$(cat "$docs/todo.txt")" = "$(printf 'buy milk\nwalk the dog\ncall mum')" ] || fail "todo.txt: $(od -c "$docs/todo.txt")"
xdotool key ctrl+o
choose_file "Open" "$docs/photo.png"
within titled "EDITOR" || fail "the PNG opened without a word"
import -window root "$shots/tarbel-png-refused.png"
xdotool key Return
focus_text
titled "Editor [$docs/todo.txt]" || fail "the PNG replaced the document"
xdotool key ctrl+s sleep 1
cmp -s "$docs/photo.png" "$docs/photo-before.png" || fail "the PNG was written"
kill $pid
echo "ok 3: a text file saved as text; a PNG refused, and left alone by Save"

open_doc "$docs/mixed.rtf"
wid=$(xdotool search --name '^Editor \[' | head -1)
xdotool windowsize $wid 1100 800 sleep 1
import -window root "$shots/tarbel-wide.png"
xdotool windowsize $wid 360 300 sleep 1
# The overflow button sits at the toolbar's right end.
xdotool mousemove 350 30 click 1 sleep 0.8
import -window root "$shots/tarbel-narrow.png"
xdotool key Escape
kill $pid
echo "ok 4: screenshots of the wide and the narrow window in $shots"
