#!/bin/sh
# Unsaved work survives a kill: the real editor opens a document, gets text
# typed into it and is killed with SIGKILL; started again, it asks whether to
# recover, is answered Yes, shows the document's name and saves the typed
# text into it.  usage: e2e_recovery.sh PROGRAM SHOT.png (the question)
set -u
for tool in xvfb-run xdotool xwininfo import; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
work=$(mktemp -d)
HOME=$work/home WINEPREFIX=$work/wine XDG_STATE_HOME=$work/state
export HOME WINEPREFIX XDG_STATE_HOME
mkdir -p "$HOME"
printf '{\\rtf1\\ansi Ledger notes\\par}' > "$work/notes.rtf"
# -noreset: the server must not restart when the killed editor, its only
# client, goes, or the second start finds no display.
xvfb-run -a -s "-screen 0 1280x900x24 -noreset" sh -c '
  program=$1 shot=$2 doc=$3
  fail() { echo "$1"; kill -9 $pid 2>/dev/null; exit 1; }
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
  "$program" "$doc" & pid=$!
  w=$(window "Editor [$doc]") || fail "the document did not open"
  sleep 0.5
  # No window manager: a click into the text gives it the keyboard.
  xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+End type --delay 30 " typed before the kill"
  i=0
  until ls "$XDG_STATE_HOME"/tarbel/recovery/*.recovery >/dev/null 2>&1; do
    [ $i -lt 300 ] || fail "no recovery copy was written"
    sleep 0.1; i=$((i + 1))
  done
  kill -9 $pid; wait $pid 2>/dev/null
  "$program" & pid=$!
  q=$(window EDITOR) || fail "no question at the second start"
  sleep 1
  import -window root "$shot"
  xdotool windowfocus --sync "$q" key Return
  w=$(window "Editor [$doc]") || fail "the caption does not name the recovered document"
  grep -q "typed before the kill" "$doc" && fail "the document was saved before the kill"
  xdotool mousemove 300 300 click 1 sleep 0.3 key ctrl+s
  i=0
  until grep -q "typed before the kill" "$doc"; do
    [ $i -lt 200 ] || fail "the recovered text was not saved"
    sleep 0.1; i=$((i + 1))
  done
  sleep 0.5
  left=$(ls "$XDG_STATE_HOME"/tarbel/recovery/ | grep -c "\.recovery$")
  kill $pid; wait $pid 2>/dev/null
  [ "$left" = 0 ] || { echo "copies left after Save: $left"; exit 1; }
  echo "recovered the typed text into $doc"
' sh "$1" "$2" "$work/notes.rtf"
rc=$?
rm -rf "$work"
exit $rc
