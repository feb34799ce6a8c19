#!/bin/sh
# The Windows programs on the other side, for real. In a fresh Wine prefix
# cmd.exe writes C:\Autodesk\Slls.txt as a Windows program does, and the real
# Tarbel opens the document it names and selects the phrase; the real Vennik
# saves a page served on 127.0.0.1 to a typed C: path, and cmd.exe reads
# C:\Zanth.lib and finds the page there; a document on drive D: (a dosdevices
# link) resolves for Tarbel as it does for Wine; cmd /u writes the hand-off
# in UTF-16 with a byte-order mark. Screenshots go to SHOTDIR.
#   wine_handoff.sh TARBEL VENNIK|- PAGESERVER|- SHOTDIR
# Exit code 0 passed, 1 failed, 77 skipped (no wine64, Wine cannot start, or
# a tool of the virtual display is missing).
set -u
abs() { case $1 in /* | -) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tarbel=$(abs "$1") vennik=$(abs "$2") server=$(abs "$3") shots=$(abs "$4")

if [ "${WINE_HANDOFF_ON_X:-}" != 1 ]; then
  wine=$(command -v wine64 2>/dev/null || echo /usr/lib/wine/wine64)
  if [ ! -x "$wine" ]; then
    echo "wine64 is missing: skipped"
    exit 77
  fi
  for tool in xvfb-run xwininfo xdotool xclip import cmp; do
    command -v $tool >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
  done
  WINE_HANDOFF_ON_X=1 WINE_HANDOFF_WINE=$wine \
    exec xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96 -noreset" sh "$0" "$@"
fi

# --- on the virtual display ---------------------------------------------------------

started=$(date +%s)
tmp=$(mktemp -d)
mkdir -p "$tmp/home" "$tmp/prefix" "$tmp/pages" "$shots"
HOME=$tmp/home WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
WINE=$WINE_HANDOFF_WINE
WINESERVER=$(dirname "$WINE")/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver 2>/dev/null || echo /usr/lib/wine/wineserver)
pids=""
failed=0

cleanup() {
  for p in $pids; do
    kill "$p" 2>/dev/null && wait "$p" 2>/dev/null
  done
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

say() { printf '[%s s] %s\n' $(($(date +%s) - started)) "$*"; }
# A file's bytes on one line, line ends shown as \r and \n.
bytes() { sed 's/\r$/\\r/; s/$/\\n/' "$1" | tr -d '\n'; }
fail() { say "FAIL: $*"; failed=1; }
# cmd.exe is a console program: it gets no display.
win() { env -u DISPLAY "$WINE" "$@" 2>>"$tmp/wine.log"; }
# The id of the top-level window with exactly this title, waiting up to $2 s.
window() {
  i=0
  while [ $i -lt $(($2 * 10)) ]; do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1; exit}')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}
# What Ctrl+C in that window puts on the clipboard.
copied() {
  printf '' | xclip -selection clipboard
  xdotool windowfocus --sync "$1" key --clearmodifiers ctrl+c
  sleep 0.3
  xclip -o -selection clipboard 2>/dev/null
}
shot() { import -window root "$shots/$1" && say "screenshot $shots/$1"; }

# A fresh prefix, kept alive by one wineserver for the whole run.
"$WINESERVER" -p 2>>"$tmp/wine.log"
if ! win cmd /c ver >"$tmp/ver" || [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
  say "Wine cannot start here: skipped"
  tail -5 "$tmp/wine.log"
  exit 77
fi
say "prefix ready: $(tr -d '\r' <"$tmp/ver" | grep .)"

# --- the hand-off: cmd.exe writes C:\Autodesk\Slls.txt, Tarbel reads it --------------

mkdir -p "$WINEPREFIX/drive_c/docs"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs24 Quarterly report\\par The {\\b pump engine, mark two} failed twice.\\par}' \
  >"$WINEPREFIX/drive_c/docs/report.rtf"
# A batch file as Windows keeps it: CR LF line ends.
printf '%s\r\n' '@echo off' 'mkdir C:\Autodesk' 'mkdir C:\Saved' \
  '> C:\Autodesk\Slls.txt echo C:\Docs\Report.RTF' \
  '>> C:\Autodesk\Slls.txt echo "Pump Engine, Mark Two"' >"$WINEPREFIX/drive_c/handoff.bat"
win cmd /c 'C:\handoff.bat' || fail "cmd.exe could not run C:\\handoff.bat"
printf '%s\r\n' 'C:\Docs\Report.RTF' '"Pump Engine, Mark Two"' >"$tmp/slls.expected"
win cmd /c type 'C:\Autodesk\Slls.txt' >"$tmp/slls"
cmp -s "$tmp/slls" "$tmp/slls.expected" || fail "cmd.exe wrote Slls.txt as: $(od -c "$tmp/slls" | head -5)"
# Wine finds the document under the name the hand-off gives it.
win cmd /c type 'C:\Docs\Report.RTF' >"$tmp/report"
cmp -s "$tmp/report" "$WINEPREFIX/drive_c/docs/report.rtf" || fail "cmd.exe's type C:\\Docs\\Report.RTF differs from docs/report.rtf"
say "cmd.exe wrote C:\\Autodesk\\Slls.txt: $(bytes "$tmp/slls")"

# Tarbel at start-up: the title shows the path as written, the phrase is selected.
handoff() {   # TITLE PHRASE SHOT
  (cd "$tmp" && exec "$tarbel") >/dev/null 2>>"$tmp/tarbel.log" &
  pid=$!
  pids="$pids $pid"
  if ! id=$(window "$1" 20); then
    fail "no window titled $1; windows: $(xwininfo -root -tree | grep -o '"[^"]*"' | sort -u | tr '\n' ' ')"
    tail -5 "$tmp/tarbel.log"
    shot "$3"
  else
    say "window titled $1"
    sleep 0.5
    shot "$3"
    sel=$(copied "$id")
    [ "$sel" = "$2" ] && say "selected: $sel" || fail "selected \"$sel\", expected \"$2\""
  fi
  kill $pid 2>/dev/null
  wait $pid 2>/dev/null
  pids=${pids% $pid}
}
handoff 'Editor [C:\Docs\Report.RTF]' 'pump engine, mark two' wine-tarbel-c.png

# --- Vennik saves to a typed C: path; cmd.exe reads the record and finds the page ----

if [ "$vennik" != - ]; then
  printf '%s' '<html><head><title>Pump station log</title></head><body><h1>Pump station log</h1>' \
    '<p>Served from 127.0.0.1 for the Wine run.</p></body></html>' >"$tmp/pages/log.html"
  "$server" "$tmp/pages" >"$tmp/port" 2>>"$tmp/server.log" &
  pids="$pids $!"
  i=0
  until grep -qs '^port ' "$tmp/port" || [ $i -ge 50 ]; do sleep 0.1; i=$((i + 1)); done
  port=$(sed -n 's/^port //p' "$tmp/port")
  [ -n "$port" ] || fail "the page server did not start: $(cat "$tmp/server.log")"
  address="http://127.0.0.1:$port/log.html"
  # cmd.exe made C:\Saved; the user types the folder in other letter case.
  target='C:\saved\Zanth Page.htm'

  (cd "$tmp" && QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking --disable-component-update \
--host-resolver-rules=\"MAP * ~NOTFOUND, EXCLUDE 127.0.0.1\" --no-proxy-server" exec "$vennik") \
    >/dev/null 2>>"$tmp/vennik.log" &
  vpid=$!
  pids="$pids $vpid"
  # The start page (unreachable here) completes first.
  i=0
  until id=$(xwininfo -root -tree | grep -F '"Zanth Browser - ' | awk '{print $1; exit}'); [ -n "$id" ] || [ $i -ge 600 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  if [ -z "$id" ]; then
    fail "Vennik showed no completed page"
    tail -5 "$tmp/vennik.log"
  else
    eval "$(xdotool getwindowgeometry --shell "$id")"
    # The client area is 532 pixels high at 96 dpi; the menu bar is above it.
    top=$((Y + HEIGHT - 532))
    # The address box at (72, 56), the save-path box at (72, 192), the save
    # button at (360, 152) in the client area.
    xdotool mousemove $((X + 212)) $((top + 65)) click 1 key ctrl+a type --delay 10 "$address"
    xdotool key Return
    if ! window 'Zanth Browser - Pump station log' 30 >/dev/null; then
      fail "the typed address did not complete"
      shot wine-vennik-address.png
      tail -5 "$tmp/vennik.log"
    else
      say "window titled Zanth Browser - Pump station log"
      sleep 0.8
      xdotool mousemove $((X + 212)) $((top + 201)) click 1 key ctrl+a type --delay 10 "$target"
      sleep 0.5
      shot wine-vennik-before-save.png
      xdotool mousemove $((X + 388)) $((top + 180)) click 1
      clicked=$(date +%s)
      i=0
      while kill -0 $vpid 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
      if kill -0 $vpid 2>/dev/null; then
        shot wine-vennik-after-save.png
        fail "Vennik did not end after the save"
      else
        wait $vpid
        rc=$?
        pids=${pids% $vpid}
        say "Vennik ended by itself within $(($(date +%s) - clicked)) s of the click, exit code $rc"
        [ $rc -eq 0 ] || fail "Vennik ended with exit code $rc"
      fi
      # What a Windows program reads: the record, byte for byte, and the page
      # where its second line says.
      printf '%s\r\n' "$address" "$target" >"$tmp/zanth.expected"
      win cmd /c type 'C:\Zanth.lib' >"$tmp/zanth"
      if cmp -s "$tmp/zanth" "$tmp/zanth.expected"; then
        say "cmd.exe's type C:\\Zanth.lib: $(bytes "$tmp/zanth")"
      else
        fail "cmd.exe's type C:\\Zanth.lib printed: $(od -c "$tmp/zanth" | head -8)"
      fi
      win cmd /c dir /b "$target" >"$tmp/dir"
      win cmd /c dir /b 'C:\Saved' >>"$tmp/dir"
      [ "$(cat "$tmp/dir")" = "$(printf 'Zanth Page.htm\r\nZanth Page.htm\r\n')" ] \
        && [ "$(ls "$WINEPREFIX/drive_c" | grep -ci '^saved$')" = 1 ] \
        && say "cmd.exe's dir finds $target, the one file in C:\\Saved" \
        || fail "cmd.exe's dir /b $target and dir /b C:\\Saved printed: $(bytes "$tmp/dir"); drive_c holds: $(ls "$WINEPREFIX/drive_c" | tr '\n' ' ')"
      win cmd /c type "$target" | grep -q 'Served from 127.0.0.1' || fail "$target does not hold the page"
    fi
  fi
fi

# --- drive D: as Wine resolves it ------------------------------------------------------

mkdir -p "$tmp/d/notes"
ln -s "$tmp/d" "$WINEPREFIX/dosdevices/d:"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs24 Valve memo\\par Check {\\i valve seven, north side} weekly.\\par}' \
  >"$tmp/d/notes/memo.rtf"
printf '%s\r\n' '@echo off' '> C:\Autodesk\Slls.txt echo D:\Notes\Memo.RTF' \
  '>> C:\Autodesk\Slls.txt echo "Valve Seven, North"' >"$WINEPREFIX/drive_c/handoff.bat"
win cmd /c 'C:\handoff.bat' || fail "cmd.exe could not run C:\\handoff.bat"
win cmd /c type 'D:\Notes\Memo.RTF' >"$tmp/memo"
cmp -s "$tmp/memo" "$tmp/d/notes/memo.rtf" && say "cmd.exe's type D:\\Notes\\Memo.RTF gives notes/memo.rtf on the D: link" \
  || fail "cmd.exe's type D:\\Notes\\Memo.RTF differs from notes/memo.rtf"
handoff 'Editor [D:\Notes\Memo.RTF]' 'valve seven, north' wine-tarbel-d.png

# --- the hand-off in UTF-16, as Windows programs writing Unicode leave it -----------------

# cmd /u writes UTF-16LE; the byte-order mark is the character U+FEFF echoed
# first, as PowerShell and Notepad write it. The mark and the phrase come from
# the environment, which Wine hands to cmd.exe as Unicode.
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs24 Menu\\par Today: {\\b caf\\'"'"'e9, cr\\'"'"'e8me} and tea.\\par}' \
  >"$WINEPREFIX/drive_c/docs/menu.rtf"
printf '%s\r\n' '@echo off' '> C:\Autodesk\Slls.txt echo %BOM%C:\Docs\Menu.RTF' \
  '>> C:\Autodesk\Slls.txt echo "%PHRASE%"' >"$WINEPREFIX/drive_c/handoff.bat"
BOM=$(printf '\357\273\277') PHRASE='Café, Crème' LC_ALL=C.UTF-8 win cmd /u /c 'C:\handoff.bat' || fail "cmd /u could not run C:\\handoff.bat"
start=$(od -An -tx1 -N6 "$WINEPREFIX/drive_c/Autodesk/Slls.txt" | tr -d ' ')
[ "$start" = fffe43003a00 ] && say "cmd /u wrote C:\\Autodesk\\Slls.txt in UTF-16 with a byte-order mark: $start..." \
  || fail "cmd /u wrote Slls.txt as: $(od -c "$WINEPREFIX/drive_c/Autodesk/Slls.txt" | head -3)"
handoff 'Editor [C:\Docs\Menu.RTF]' 'café, crème' wine-tarbel-utf16.png

say "done"
exit $failed
