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
  # the virtual-machine rig (tests/vm): a guest with real storage drivers, and peers run inside it
  qemu-system-x86 linux-image-amd64 busybox-static cpio smartmontools nvme-cli sg3-utils mmc-utils usbutils
  # the metrics are checked by promtool and scraped through a real node_exporter
  prometheus prometheus-node-exporter
  # sanitizer and fuzzing builds (the runtime package matching this clang follows below)
  clang clang-format
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
updated=0

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ -n "$SUDO" ] && ! command -v sudo >/dev/null; then
    echo "setup: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  [ $updated = 1 ] || { $SUDO apt-get update -qq; updated=1; }
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
# The sanitizer runtime must be the one of the clang just installed, whatever the release.
clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
install_missing "libclang-rt-${clang_major}-dev"
