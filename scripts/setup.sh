#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Safe to run again: packages already installed are not fetched twice.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libblkid-dev libudev-dev libunwind-dev
  # tests: disk images, peers to compare with, a display for screenshots
  fdisk gdisk dosfstools e2fsprogs exfatprogs ntfs-3g btrfs-progs xfsprogs util-linux hdparm
  python3 xz-utils pciutils libatasmart-bin desktop-file-utils
  # the read-only audit traces the report tool
  strace
  # the metrics are checked by promtool and scraped through a real node_exporter
  prometheus prometheus-node-exporter
  # sanitizer and fuzzing builds
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
