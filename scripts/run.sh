#!/usr/bin/env bash
# Sets everything up, builds and starts Drive Scope. With --demo it shows the
# simulated demo machine instead of this machine's drives. Without a display
# it prints the report of all drives.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The programs only: the tests, fuzz support and benchmarks are the test command's.
BUILD_TARGETS="drivescope drivescope-report crashdump" bash scripts/build.sh
if [ "${1:-}" = "--demo" ]; then
  shift
  bash scripts/make-demo.sh
  export DRIVESCOPE_NODES="$PWD/examples/nodes/demo.json"
fi
if [ -x build/drivescope ]; then
  exec build/drivescope "$@"
fi
exec build/report/drivescope-report --all "$@"
