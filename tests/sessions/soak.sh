#!/bin/sh
# The long run of the random-session testers: each program for SOAK_SECONDS
# (600 unless set) from SOAK_SEED (a random seed unless set), in the build
# given (made with the sanitizers by `make soak`), then the real-X variant
# for a short while on a virtual display. Every tester replays the
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
trap 'rm -f "$log"' EXIT
sessions=0 actions=0 violations=0

tally() {
  set -- $(grep '^@tally ' "$log" | tail -1)
  if [ $# -eq 4 ]; then
    sessions=$((sessions + $2)) actions=$((actions + $3)) violations=$((violations + $4))
  else
    echo "soak: $name gave no tally"
    violations=$((violations + 1))
  fi
}

for name in tarbel vennik; do
  tester=$build/tests/${name}_sessions
  [ -x "$tester" ] || { echo "soak: $tester is missing"; violations=$((violations + 1)); continue; }
  QT_QPA_PLATFORM=offscreen "$tester" --seconds "$seconds" --seed "$seed" --shrink-seconds 300 \
    --rows "$src/tests/sessions/rows/$name" --found "$found" | tee "$log"
  tally
done

for name in xtarbel xvennik; do
  tester=$build/tests/${name}_sessions
  if [ ! -x "$tester" ] || ! command -v xvfb-run >/dev/null || ! command -v xdotool >/dev/null; then
    echo "soak: the real-X variant $name is skipped (needs $tester, xvfb-run and xdotool)"
    continue
  fi
  QT_QPA_PLATFORM=offscreen xvfb-run -a -s "-screen 0 1280x900x24 -noreset" \
    "$tester" --seconds "$xseconds" --seed "$seed" --shrink-seconds 300 --found "$found" | tee "$log"
  tally
done

echo "soak: $sessions sessions, $actions actions, $violations violations"
[ "$violations" -eq 0 ]
