#!/usr/bin/env bash
# Generates the parts of the demo machine that are not committed (disk images).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -x tools/demo/make_disk_images.sh ]; then
  bash tools/demo/make_disk_images.sh examples/nodes/demo/images >/dev/null
fi
