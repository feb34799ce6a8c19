#!/bin/sh
# Runs the RTF fuzzer: fuzz/run.sh BUILD_DIR SECONDS [extra libFuzzer flags]
# The corpus grows in BUILD_DIR/fuzz-corpus; crashes land in BUILD_DIR/fuzz-crashes.
# Copy anything found into tests/rtf-data/regressions/ so the test suite replays it.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?build dir}
seconds=${2:-1800}
shift 2 || true
mkdir -p "$build/fuzz-corpus" "$build/fuzz-crashes" "$build/fuzz-seeds"
# Seeds: the samples (but the 5 MB benchmark file), our own test data, and
# real-world files from other projects' test suites, listed in
# tests/rtf-data/CORPUS-SOURCES and kept outside the repository: in
# ../shared/rtf-corpus, or wherever TARBEL_FUZZ_SEEDS names.
seeds=${TARBEL_FUZZ_SEEDS:-$here/../shared/rtf-corpus}
[ -d "$seeds" ] || echo "no folder $seeds: running without the real-world seeds (tests/rtf-data/CORPUS-SOURCES)" >&2
for f in "$here"/../shared/rtf-samples/*.rtf "$here"/tests/rtf-data/hostile/* "$here"/tests/rtf-data/regressions/* "$here"/tests/rtf-data/keep/* \
    "$seeds"/*.rtf; do
  [ -f "$f" ] || continue
  case "$f" in *large-*|*.description|*/README) continue ;; esac
  cp "$f" "$build/fuzz-seeds/"
done
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:detect_container_overflow=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
# One fuzzing process at a time (-fork=1) that keeps going after a crash.
exec "$build/bin/rtf_fuzz" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -max_len=32768 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$build/fuzz-crashes/" -print_final_stats=1 "$@" \
  "$build/fuzz-corpus" "$build/fuzz-seeds"
