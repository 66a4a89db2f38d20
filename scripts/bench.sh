#!/usr/bin/env bash
# Builds the benchmarks (release build with -DDRIVESCOPE_BENCHMARKS=ON into
# build-bench/) and runs every bench_* program. Not part of the test command:
# timings depend on the machine. Extra arguments go to each benchmark program
# (for example -iterations 50, or a test function name).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/make-demo.sh
BUILD_DIR=build-bench BUILD_TYPE=Release bash scripts/build.sh -DDRIVESCOPE_BENCHMARKS=ON
status=0
for b in $(find build-bench/benchmarks -maxdepth 1 -type f -executable -name 'bench_*' | sort); do
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b" "$@" || status=1
done
exit $status
