#!/bin/bash
# Builds the disk images of the demo machine (examples/nodes/demo/disks.json)
# into the folder given as the only argument. Needs sfdisk, sgdisk, fdisk,
# mkfs.vfat, mkfs.ext4 and mkswap; the images are sparse files.
#   tools/demo/make_disk_images.sh examples/nodes/demo/images
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTPUT-FOLDER" >&2
    exit 2
fi
export PATH="/usr/sbin:/sbin:$PATH"
for tool in sfdisk sgdisk fdisk mkfs.vfat mkfs.ext4 mkswap truncate dd; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
mkdir -p "$1"
out=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# put IMAGE START-BLOCK BLOCK-SIZE FS-IMAGE: copies a file system into a partition.
put() { dd if="$4" of="$1" bs="$3" seek="$2" conv=notrunc,sparse status=none; rm -f "$4"; }

# GPT, 512-byte blocks, 256 MiB: EFI, ext4 root, swap, FAT32 data, an ext4 home, a partition without file system.
rm -f gpt.img; truncate -s 256M gpt.img
sfdisk -q gpt.img <<EOF
label: gpt
label-id: 6D1F1E10-4A2B-4C3D-9E8F-0123456789AB
start=2048, size=65536, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, uuid=0E3B1B2C-1111-4A4A-8B8B-000000000001, name="EFI system partition"
start=67584, size=131072, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, uuid=0E3B1B2C-2222-4A4A-8B8B-000000000002, name="root"
start=198656, size=32768, type=0657FD6D-A4AB-43C4-84E5-0933C84B4F4F, uuid=0E3B1B2C-3333-4A4A-8B8B-000000000003, name="swap"
start=231424, size=151552, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=0E3B1B2C-4444-4A4A-8B8B-000000000004, name="Daten Ü"
start=382976, size=81920, type=933AC7E1-2EB4-4F13-B844-0E14E2AEF915, uuid=0E3B1B2C-5555-4A4A-8B8B-000000000005, name="home"
start=464896, size=8192, type=A19D880F-05FC-4D3B-A006-743F0F84911E, uuid=0E3B1B2C-6666-4A4A-8B8B-000000000006, name="raid (empty)"
EOF
mkfs.vfat -F 16 -n EFI -i 1A2B3C4D -C p1 32768 >/dev/null; put gpt.img 2048 512 p1
truncate -s 64M p2; mkfs.ext4 -q -F -L root -U 7f6c6a52-1c1a-4b8e-9d44-2a3b4c5d6e7f p2; put gpt.img 67584 512 p2
truncate -s 16M p3; mkswap -L swap -U 5b2a9d0e-3c4f-4a1b-8e7d-6f5a4b3c2d1e p3 >/dev/null 2>&1; put gpt.img 198656 512 p3
mkfs.vfat -F 32 -s 1 -n DATEN -i 5EED0001 -C p4 75776 >/dev/null; put gpt.img 231424 512 p4
truncate -s 40M p5; mkfs.ext4 -q -F -L home -U 0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d p5; put gpt.img 382976 512 p5

# GPT with 4096-byte blocks, 64 MiB (fdisk can set the block size; sfdisk cannot).
rm -f gpt4k.img; truncate -s 64M gpt4k.img
printf 'g\nn\n1\n256\n+8M\nn\n2\n\n+32M\nt\n1\nC12A7328-F81F-11D2-BA4B-00A0C93EC93B\nx\nn\n1\nESP\nn\n2\nstore\nr\nw\n' |
    fdisk -b 4096 gpt4k.img >/dev/null
mkfs.vfat -S 4096 -n ESP4K -i 4B000001 -C p1 8192 >/dev/null; put gpt4k.img 256 4096 p1
truncate -s 32M p2; mkfs.ext4 -q -F -b 4096 -L store4k -U 11111111-2222-4333-8444-555555555555 p2; put gpt4k.img 2304 4096 p2

# MBR with a bootable FAT16 primary, a Linux primary and an extended partition with six logical ones.
rm -f mbr.img; truncate -s 128M mbr.img
{
    echo 'label: dos'; echo 'label-id: 0x5eedbeef'
    echo 'start=2048, size=32768, type=e, bootable'
    echo 'start=34816, size=65536, type=83'
    echo 'start=100352, type=5'
    for i in 1 2 3 4 5 6; do echo 'size=16384, type=83'; done
} | sfdisk -q mbr.img
startOf() { sfdisk -d mbr.img | sed -n "s/^mbr.img$1 : start= *\([0-9]*\),.*/\1/p"; }
mkfs.vfat -F 16 -s 1 -n DOSBOOT -i 00C0FFEE -C p1 16384 >/dev/null; put mbr.img 2048 512 p1
truncate -s 32M p2; mkfs.ext4 -q -F -L linux -U 2f2e2d2c-2b2a-4929-8827-262524232221 p2; put mbr.img 34816 512 p2
truncate -s 8M p5; mkfs.ext2 -q -F -L logical5 -U 3a3b3c3d-3e3f-4041-8243-444546474849 p5; put mbr.img "$(startOf 5)" 512 p5
mkfs.vfat -n LOGICAL7 -i 77777777 -C p7 8192 >/dev/null; put mbr.img "$(startOf 7)" 512 p7
truncate -s 8M p9; mkswap -L swap9 -U 9a9b9c9d-9e9f-4a0a-8b0b-0c0d0e0f1011 p9 >/dev/null 2>&1; put mbr.img "$(startOf 9)" 512 p9

# A file system on the whole medium, without table.
rm -f floppy.img; mkfs.vfat -n FLOPPY -i 0F10FF11 -C floppy.img 1440 >/dev/null

# A blank disk.
rm -f empty.img; truncate -s 32M empty.img

# A protective MBR whose GPT copies are both missing: the tab shows the manager error.
rm -f broken.img; truncate -s 16M broken.img
printf 'label: dos\nstart=1, size=32767, type=ee\n' | sfdisk -q broken.img

mv gpt.img gpt4k.img mbr.img floppy.img empty.img broken.img "$out/"
echo "disk images written to $out"
