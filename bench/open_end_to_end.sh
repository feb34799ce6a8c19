#!/bin/sh
# Open end to end: from starting Tarbel with a document on its command line
# to its window titled with that document, on a virtual X display, for each
# program given (e.g. a build from before a change and one from after), in
# turns so that the machine's load falls on each alike. Prints each run (and
# the program's CPU time and peak memory when its window shows the document) and
# each program's best and median, then Qt's floor for reading the document
# (rtf_bench: the same paragraphs and runs put in through QTextCursor alone).
#
# usage: open_end_to_end.sh [-n RUNS] [-f FILE] TARBEL... (default: the
#        5 MB ledger, 5 runs)
set -u
runs=5
here=$(cd "$(dirname "$0")/.." && pwd)
file=$here/../shared/rtf-samples/large-libreoffice-ledger.rtf
while getopts n:f: opt; do
  case $opt in
    n) runs=$OPTARG ;;
    f) file=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- "$here/build/bin/tarbel"
file=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
for tool in xvfb-run xwininfo; do
  command -v $tool >/dev/null || { echo "$tool missing"; exit 77; }
done
xvfb-run -a -s "-screen 0 1280x900x24" sh -c '
  runs=$1 file=$2
  shift 2
  work=$(mktemp -d)
  trap "rm -rf \"$work\"" EXIT
  title="Editor [$file]"
  run=0
  while [ $run -lt $runs ]; do
    n=0
    for program in "$@"; do
      n=$((n + 1))
      home=$work/home$n.$run
      mkdir -p "$home/config" "$home/state" "$home/data" "$home/runtime"
      chmod 700 "$home/runtime"
      start=$(date +%s%N)
      HOME=$home XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state XDG_DATA_HOME=$home/data \
        XDG_RUNTIME_DIR=$home/runtime WINEPREFIX=$home/wine "$program" "$file" >/dev/null 2>&1 &
      pid=$!
      shown= peak= cpu=
      while kill -0 $pid 2>/dev/null; do
        if xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\""; then
          shown=$(( ($(date +%s%N) - start) / 1000000 ))
          peak=$(awk "/^VmHWM/ { printf \"%d\", \$2 / 1024 }" /proc/$pid/status)
          cpu=$(awk "{ print (\$14 + \$15) * 10 }" /proc/$pid/stat)
          break
        fi
        [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 60000 ] && break
      done
      kill $pid 2>/dev/null
      wait $pid 2>/dev/null
      echo "${shown:-none} $n" >>"$work/times"
      echo "run $run, $program: ${shown:-no window} ms, CPU ${cpu:-?} ms, peak memory ${peak:-?} MB"
    done
    run=$((run + 1))
  done
  n=0
  for program in "$@"; do
    n=$((n + 1))
    sorted=$(awk -v n=$n "\$2 == n && \$1 != \"none\" { print \$1 }" "$work/times" | sort -n)
    best=$(echo "$sorted" | head -1)
    median=$(echo "$sorted" | awk "{ v[NR] = \$1 } END { print v[int((NR + 1) / 2)] }")
    missed=$(awk -v n=$n "\$2 == n && \$1 == \"none\"" "$work/times" | wc -l)
    echo "$program: best ${best:-none} ms, median ${median:-none} ms (start to the window titled with $(basename "$file")); no window in $missed runs"
  done
' sh "$runs" "$file" "$@"
status=$?
if [ -x "$here/build/bin/rtf_bench" ] && [ "$(head -c 5 "$file")" = "{\rtf" ]; then
  QT_QPA_PLATFORM=offscreen "$here/build/bin/rtf_bench" "$file" | grep -E "^(file|read|Qt's floor) " | head -3
fi
exit $status
