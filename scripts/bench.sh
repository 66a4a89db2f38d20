#!/usr/bin/env bash
# Builds the benchmarks (release build with -DDRIVESCOPE_BENCHMARKS=ON into
# build-bench/) and runs every bench_* program. Not part of the test command:
# timings depend on the machine. Extra arguments go to each benchmark program
# (for example -iterations 50).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/make-demo.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRIVESCOPE_BENCHMARKS=ON "${launcher[@]}" >/dev/null
# Only the benchmark programs and the report tool: the tests are not needed here.
cmake --build build-bench -j"$(nproc)" --target drivescope-report $(ls benchmarks/bench_*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
status=0
for b in $(find build-bench/benchmarks -maxdepth 1 -type f -executable -name 'bench_*' | sort); do
  echo "== $(basename "$b")"
  # What the drive code logs on the way (every iteration) would drown the figures.
  QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="default.debug=false;default.warning=false;default.critical=false" "$b" -maxwarnings 0 "$@" || status=1
done
# Whole processes against the peers that do the same work on this machine.
echo "== drivescope-report against lsblk"
python3 scripts/bench-commands.py 40 1.5 "build-bench/report/drivescope-report --all --json" "lsblk -O -J" || status=1
# Whole processes on loop devices against the peers (root only).
echo "== bench-io"
bash scripts/bench-io.sh build-bench/report/drivescope-report || status=1
exit $status
