#!/usr/bin/env bash
# Sets everything up, builds and runs every test: the normal build's tests,
# then the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short fixed run of every fuzz target.
# SKIP_SANITIZE=1 skips the second build (for a quick local run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/make-demo.sh
bash scripts/check-format.sh

echo "== normal build (warnings are errors)"
bash scripts/build.sh -DDRIVESCOPE_WERROR=ON
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600)

[ "${SKIP_SANITIZE:-0}" = 1 ] && exit 0

echo "== sanitizer build (clang, ASan + UBSan, fuzz targets)"
CXX=clang++ BUILD_DIR=build-asan BUILD_TYPE=Debug bash scripts/build.sh -DDRIVESCOPE_SANITIZE=ON -DDRIVESCOPE_FUZZ=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
# The virtual-machine rig ran on the normal build; a sanitizer build in a guest adds nothing but time.
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 900 -E '^vm_')

# 5,000 executions per target (the whole-machine target a twentieth of that)
# keep this stage near a minute on two cores; FUZZ_RUNS changes the count.
echo "== fuzz targets, short runs"
bash scripts/fuzz.sh build-asan "${FUZZ_RUNS:-5000}"
