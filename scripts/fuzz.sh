#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a fixed number of executions:
#   scripts/fuzz.sh BUILD_DIR RUNS
# Seeds come from fuzz/corpus/<target>/ and, where present, the shared real data.
# Longer runs by hand: scripts/fuzz.sh build-asan 1000000
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
runs=${2:-20000}
shared=${DRIVESCOPE_SHARED:-$PWD/../shared}
targets=$(find "$build/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' 2>/dev/null | sort)
[ -n "$targets" ] || { echo "fuzz: no targets in $build/fuzz"; exit 0; }
passed=0; failed=0
for t in $targets; do
  name=$(basename "$t")
  work=$(mktemp -d)
  mkdir -p "$work/corpus"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/corpus/"
  if [ -x "fuzz/seeds.sh" ]; then bash fuzz/seeds.sh "$name" "$work/corpus" "$shared"; fi
  if "$t" -runs="$runs" -max_len=65536 -rss_limit_mb=2048 -timeout=10 "$work/corpus" > "$work/log" 2>&1; then
    echo "fuzz: $name: $(grep -Eo 'Done [0-9]+ runs' "$work/log" | tail -1)"
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED"; tail -40 "$work/log"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
