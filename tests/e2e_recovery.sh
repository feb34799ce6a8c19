#!/bin/sh
# Unsaved work survives a kill, and keeping it never holds up the window.
# The real editor, started with SIGCHLD ignored (as some launchers leave it),
# opens a document, gets text typed into it and is killed with SIGKILL.
# Started again it asks whether to recover: Escape keeps the copy for the next
# start, where Return takes it back; the document's name shows and Ctrl+S
# saves the typed text into it. Then, with the copies' folder hanging (a
# preloaded library makes its syncs never return): Ctrl+S still saves at
# once, and a killed editor's window goes at once, since the stuck writer
# holds none of the editor's descriptors.
#   usage: e2e_recovery.sh PROGRAM SHOT.png (the question) FAULTSHIM
set -u
for tool in xvfb-run xdotool xwininfo import; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
work=$(mktemp -d)
HOME=$work/home WINEPREFIX=$work/wine XDG_STATE_HOME=$work/state
export HOME WINEPREFIX XDG_STATE_HOME
mkdir -p "$HOME"
printf '{\\rtf1\\ansi Ledger notes\\par}' > "$work/notes.rtf"
printf 'one\ttwo\nthree\n' > "$work/notes.txt"
# -noreset: the server must not restart when the killed editor, its only
# client, goes, or the second start finds no display.
xvfb-run -a -s "-screen 0 1280x900x24 -noreset" sh -c '
  program=$1 shot=$2 doc=$3 shim=$4 txt=$5
  copies=$XDG_STATE_HOME/tarbel/recovery
  fail() { echo "$1"; kill -9 $pid $stuck 2>/dev/null; exit 1; }
  stuck=
  # Waits up to 30 s for a window titled $1 and prints its id.
  window() {
    i=0
    while [ $i -lt 300 ]; do
      id=$(xdotool search --name "^$(printf %s "$1" | sed "s/[][\\.*^$]/\\\\&/g")\$" 2>/dev/null | head -1)
      [ -n "$id" ] && { echo "$id"; return 0; }
      sleep 0.1; i=$((i + 1))
    done
    return 1
  }
  # Waits up to $2 tenths of a second for the command $1 to succeed.
  until_true() {
    i=0
    until eval "$1"; do
      [ $i -lt $2 ] || return 1
      sleep 0.1; i=$((i + 1))
    done
  }
  # No window manager: a click into the text gives it the keyboard.
  type_at_end() { xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+End type --delay 30 "$1"; }

  (trap "" CHLD; exec "$program" "$doc") & pid=$!
  w=$(window "Editor [$doc]") || fail "the document did not open"
  sigign=$(sed -n "s/^SigIgn:[[:space:]]*//p" /proc/$pid/status)
  [ $((0x$sigign & 0x10000)) = 0 ] || fail "SIGCHLD is still ignored: SigIgn $sigign"
  sleep 0.5
  type_at_end " typed before the kill"
  until_true "ls \"$copies\"/*.recovery >/dev/null 2>&1" 300 || fail "no recovery copy was written"
  kill -9 $pid; wait $pid 2>/dev/null

  "$program" & pid=$!
  q=$(window EDITOR) || fail "no question at the second start"
  xdotool windowfocus --sync "$q" key Escape
  window "Editor [ Untitled ]" >/dev/null || fail "Escape did not leave an untitled window"
  ls "$copies"/*.recovery >/dev/null 2>&1 || fail "Escape removed the recovery copy"
  kill $pid; wait $pid 2>/dev/null

  "$program" & pid=$!
  q=$(window EDITOR) || fail "no question at the third start"
  sleep 1
  import -window root "$shot"
  xdotool windowfocus --sync "$q" key Return
  w=$(window "Editor [$doc]") || fail "the caption does not name the recovered document"
  grep -q "typed before the kill" "$doc" && fail "the document was saved before the kill"
  xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+s
  until_true "grep -q \"typed before the kill\" \"$doc\"" 200 || fail "the recovered text was not saved"
  sleep 0.5
  left=$(ls "$copies" | grep -c "\.recovery$")
  [ "$left" = 0 ] || fail "copies left after Save: $left"
  kill $pid; wait $pid 2>/dev/null
  echo "recovered the typed text into $doc"

  # A plain-text document: its copy is text, and it comes back as the text
  # file it was (Ctrl+S writes text with its LF line ends and tab).
  (exec "$program" "$txt") & pid=$!
  window "Editor [$txt]" >/dev/null || fail "the text document did not open"
  sleep 0.5
  type_at_end " typed"
  until_true "grep -qs ^content=text \"$copies\"/*.recovery" 300 || fail "no text copy was written"
  kill -9 $pid; wait $pid 2>/dev/null
  "$program" & pid=$!
  q=$(window EDITOR) || fail "no question for the text document"
  xdotool windowfocus --sync "$q" key Return
  window "Editor [$txt]" >/dev/null || fail "the caption does not name the recovered text document"
  xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+s
  until_true "printf \"one\\ttwo\\nthree\\n typed\" | cmp -s - \"$txt\"" 200 ||
    fail "the recovered text document was not saved as it was: $(od -c "$txt" | head -3)"
  kill $pid; wait $pid 2>/dev/null
  echo "recovered the typed text into $txt, saved as text"

  # The copies folder stops answering.
  LD_PRELOAD=$shim FAULTSHIM_STALL=$XDG_STATE_HOME "$program" "$doc" & pid=$!
  w=$(window "Editor [$doc]") || fail "the document did not open over the hanging folder"
  sleep 0.5
  type_at_end " while the folder hangs"
  until_true "[ -e \"$XDG_STATE_HOME.stalled\" ]" 300 || fail "no copy was started"
  started=$(date +%s%N)
  xdotool key ctrl+s
  until_true "grep -q \"while the folder hangs\" \"$doc\"" 50 || fail "Ctrl+S did not save within 5 s"
  echo "saved in $((($(date +%s%N) - started) / 1000000)) ms while a copy was stuck"
  rm "$XDG_STATE_HOME.stalled"
  type_at_end " and more"
  until_true "[ -e \"$XDG_STATE_HOME.stalled\" ]" 300 || fail "no second copy was started"
  stuck=$(pgrep -P $pid)
  [ -n "$stuck" ] || fail "no writer child"
  [ "$(ls /proc/$stuck/fd | wc -l)" = 1 ] || fail "the writer holds more than its file: $(ls -l /proc/$stuck/fd)"
  kill -9 $pid; wait $pid 2>/dev/null
  until_true "! xwininfo -id $w >/dev/null 2>&1" 20 || fail "the killed editor stayed on screen"
  kill -0 $stuck 2>/dev/null || fail "the writer did not outlive the editor"
  echo "the killed editor left the screen while its writer was stuck"
  kill -9 $stuck
' sh "$1" "$2" "$work/notes.rtf" "$3" "$work/notes.txt"
rc=$?
rm -rf "$work"
exit $rc
