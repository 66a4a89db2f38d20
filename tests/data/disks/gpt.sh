# GPT with FAT, ext4, swap and FAT32 file systems and an entry without one.
truncate -s 512M disk.img
sfdisk -q disk.img <<EOF
label: gpt
start=2048, size=16384, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, name="EFI system"
start=18432, size=24576, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, name="Wurzel Ä"
start=43008, size=8192, type=0657FD6D-A4AB-43C4-84E5-0933C84B4F4F, name="swap"
start=51200, size=614400, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, name="data"
start=665600, size=4096, type=E6D6D379-F507-44C2-A23C-238F2A3DF928
EOF
mkfs.vfat -n EFI -C p1 8192 >/dev/null; put 2048 p1 512
truncate -s 12M p2; mkfs.ext4 -q -F -L rootfs p2; put 18432 p2 512
truncate -s 4M p3; mkswap -L swp p3 >/dev/null; put 43008 p3 512
mkfs.vfat -F 32 -s 1 -n DATA32 -C p4 307200 >/dev/null
# The label blkid reports is the root directory's, found several MiB into this FAT32.
printf 'BOOTSECTOR ' | dd of=p4 bs=1 seek=71 conv=notrunc status=none; put 51200 p4 512
