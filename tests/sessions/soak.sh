#!/bin/sh
# The long run of the random-session testers: each program for SOAK_SECONDS
# (600 unless set), both at once, from SOAK_SEED (a random seed unless set),
# in the build given (made with the sanitizers by `make soak`), then the
# real-X variants for a short while on virtual displays. Each tester's output
# is shown when it has ended. Every tester replays the
# regression rows first. Ends with the line
#   soak: N sessions, M actions, V violations
# and a non-zero exit status when V > 0.
#   soak.sh BUILD SOURCE
set -u
build=$1 src=$2
seconds=${SOAK_SECONDS:-600}
seed=${SOAK_SEED:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
xseconds=${SOAK_X_SECONDS:-$(( seconds / 10 < 60 ? 60 : seconds / 10 ))}
found=$build/sessions-found
log=$(mktemp)
trap 'rm -f "$log" "$log".*' EXIT
sessions=0 actions=0 violations=0

tally() {
  set -- $(grep '^@tally ' "$1" | tail -1)
  if [ $# -eq 4 ]; then
    sessions=$((sessions + $2)) actions=$((actions + $3)) violations=$((violations + $4))
  else
    echo "soak: $name gave no tally"
    violations=$((violations + 1))
  fi
}

# Both programs at once, then both real-X variants at once: each has the
# whole time, and the run takes it once.
run() {
  for name in "$@"; do
    cat "$log.$name"
    tally "$log.$name"
  done
}

for name in tarbel vennik; do
  tester=$build/tests/${name}_sessions
  if [ ! -x "$tester" ]; then
    echo "soak: $tester is missing" > "$log.$name"
    continue
  fi
  QT_QPA_PLATFORM=offscreen "$tester" --seconds "$seconds" --seed "$seed" --shrink-seconds 300 \
    --rows "$src/tests/sessions/rows/$name" --found "$found" > "$log.$name" 2>&1 &
done
wait
run tarbel vennik

xnames=
for name in xtarbel xvennik; do
  tester=$build/tests/${name}_sessions
  if [ ! -x "$tester" ] || ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
    echo "soak: the real-X variant $name is skipped (needs $tester, xvfb-run and xdotool)"
    continue
  fi
  xnames="$xnames $name"
  QT_QPA_PLATFORM=offscreen xvfb-run -a -s "-screen 0 1280x900x24 -noreset" \
    "$tester" --seconds "$xseconds" --seed "$seed" --shrink-seconds 300 --found "$found" > "$log.$name" 2>&1 &
done
wait
run $xnames

echo "soak: $sessions sessions, $actions actions, $violations violations"
[ "$violations" -eq 0 ]
