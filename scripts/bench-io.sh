#!/usr/bin/env bash
# Many disks, little I/O: drivescope-report against the peers on 32 loop devices
# (BENCH_DISKS), each a GPT disk of four 16 MiB partitions holding ext4, FAT,
# btrfs and XFS. Compares `--all --json` with `sfdisk --json` plus `blkid -p`
# for every partition of every disk the report lists, and `--list` with
# `lsblk -O -J`: warm (best of BENCH_RUNS) and, where the page cache can be
# dropped, cold, with the bytes the block layer read from the loop devices.
# Needs root (loop devices); the devices are detached again.
#   scripts/bench-io.sh [PATH-TO-drivescope-report]
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="/usr/sbin:/sbin:$PATH"
report=${1:-build-bench/report/drivescope-report}
disks=${BENCH_DISKS:-32}
runs=${BENCH_RUNS:-5}
if [ "$(id -u)" -ne 0 ] || ! command -v losetup >/dev/null; then
  echo "bench-io: needs root and losetup; skipped"
  exit 0
fi
for tool in sfdisk blkid lsblk jq mkfs.ext4 mkfs.vfat mkfs.btrfs mkfs.xfs; do
  command -v "$tool" >/dev/null || { echo "bench-io: $tool is missing; skipped"; exit 0; }
done
[ -x "$report" ] || { echo "bench-io: no $report" >&2; exit 1; }

work=$(mktemp -d)
loops=()
cleanup() {
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# One disk image, copied: the file systems' ids repeat, which no reader minds.
(
  cd "$work"
  truncate -s 72M disk.img
  printf 'label: gpt\nstart=2048, size=32768\nsize=32768\nsize=32768\nsize=32768\n' | sfdisk -q disk.img
  put() { dd if=p of=disk.img bs=512 seek="$1" conv=notrunc,sparse status=none; rm -f p; }
  truncate -s 16M p; mkfs.ext4 -q -F -L ext4fs p; put 2048
  mkfs.vfat -n FATFS -C p 16384 >/dev/null; put 34816
  truncate -s 16M p; mkfs.btrfs -q -f -M -L btrfsfs p >/dev/null 2>&1; put 67584
  truncate -s 16M p; TEST_DIR=1 TEST_DEV=1 QA_CHECK_FS=1 mkfs.xfs -q -f -L xfsfs p; put 100352
)
for i in $(seq 1 "$disks"); do
  cp --sparse=always "$work/disk.img" "$work/d$i.img"
  loops+=("$(losetup -f --show "$work/d$i.img")")
done
udevadm settle 2>/dev/null || true

# The peers' loop: every disk the report lists, its table, each partition probed.
targets=()
while read -r name type; do
  [ "$type" = disk ] || [ "$type" = loop ] || continue
  dev=/dev/$name
  targets+=("$dev")
done < <(lsblk -dn -o NAME,TYPE)
peers() {
  for dev in "${targets[@]}"; do
    sfdisk --json "$dev" 2>/dev/null |
      jq -r '.partitiontable as $t | $t.partitions[]? | "\(.start * ($t.sectorsize // 512)) \(.size * ($t.sectorsize // 512))"' |
      while read -r offset size; do
        blkid -p -o export --offset "$offset" --size "$size" "$dev" >/dev/null 2>&1 || true
      done
  done
}

can_drop=0
if (echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then can_drop=1; fi
sectors() { # sectors read from the loop devices so far
  local sum=0
  for l in "${loops[@]}"; do sum=$((sum + $(awk '{print $3}' "/sys/block/${l#/dev/}/stat"))); done
  echo "$sum"
}
seconds() { # best wall time of `runs` runs of "$@", in seconds
  local best=999
  for _ in $(seq 1 "$runs"); do
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    best=$(echo "$t1 - $t0" | bc -l | awk -v b="$best" '{print ($1 < b) ? $1 : b}')
  done
  printf '%.3f' "$best"
}
cold() { # one run after dropping the caches: seconds and KiB read per loop partition
  echo 3 > /proc/sys/vm/drop_caches
  local s0 t0 t1 s1
  s0=$(sectors); t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N); s1=$(sectors)
  printf '%.3f s, %d KiB per partition' "$(echo "$t1 - $t0" | bc -l)" $(((s1 - s0) / 2 / (4 * disks)))
}

export DRIVESCOPE_LOG_LEVEL=4
ours_all() { "$report" --all --json; }
ours_list() { "$report" --list; }
lsblk_all() { lsblk -O -J; }

echo "bench-io: $disks loop devices of four partitions (ext4, FAT, btrfs, XFS), ${#targets[@]} disks listed"
a=$(seconds ours_all); p=$(seconds peers)
echo "warm  drivescope-report --all --json: $a s; sfdisk --json + blkid -p per partition: $p s; ratio $(echo "$a / $p" | bc -l | xargs printf '%.2f') (goal <= 0.25)"
l=$(seconds ours_list); k=$(seconds lsblk_all)
echo "warm  drivescope-report --list: $l s; lsblk -O -J: $k s; ratio $(echo "$l / $k" | bc -l | xargs printf '%.2f') (goal <= 2)"
if [ "$can_drop" = 1 ]; then
  echo "cold  drivescope-report --all --json: $(cold ours_all)"
  echo "cold  sfdisk --json + blkid -p:       $(cold peers)"
  echo "cold  drivescope-report --list:       $(cold ours_list)"
  echo "cold  lsblk -O -J:                    $(cold lsblk_all)"
else
  echo "cold  runs skipped: the page cache cannot be dropped here"
fi
