#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a fixed number of executions:
#   scripts/fuzz.sh BUILD_DIR RUNS
# Seeds come from fuzz/corpus/<target>/ and from fuzz/seeds.sh (the project's
# fixtures and, where present, the shared real data). Targets that are slow per
# input (whole simulated machines) run RUNS/SLOW_DIVISOR executions so the
# stage stays short. An input that fails is kept in BUILD_DIR/fuzz-findings/.
# Long runs by hand: nice scripts/fuzz.sh build-asan 1000000
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
runs=${2:-20000}
shared=${DRIVESCOPE_SHARED:-$PWD/../shared}
slow_targets=" fuzz_simdrive "
slow_divisor=${SLOW_DIVISOR:-20}
targets=$(find "$build/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' 2>/dev/null | sort)
[ -n "$targets" ] || { echo "fuzz: no targets in $build/fuzz"; exit 0; }
passed=0; failed=0
for t in $targets; do
  name=$(basename "$t")
  n=$runs
  case "$slow_targets" in *" $name "*) n=$(( (runs + slow_divisor - 1) / slow_divisor ));; esac
  work=$(mktemp -d)
  mkdir -p "$work/corpus" "$work/found"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/corpus/"
  if [ -x "fuzz/seeds.sh" ]; then bash fuzz/seeds.sh "$name" "$work/corpus" "$shared" 2>/dev/null || true; fi
  start=$SECONDS
  if "$t" -runs="$n" -max_len=65536 -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$work/found/" \
      "$work/corpus" > "$work/log" 2>&1; then
    echo "fuzz: $name: $(grep -Eo 'Done [0-9]+ runs' "$work/log" | tail -1) in $((SECONDS - start)) s"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED"; tail -40 "$work/log"
    mkdir -p "$build/fuzz-findings"
    cp "$work/found/"* "$build/fuzz-findings/" 2>/dev/null && echo "fuzz: input kept in $build/fuzz-findings/"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
