# A disk of tst_loopdevice: GPT with partitions holding ext4, FAT, btrfs and
# XFS, the last two below their tools' usual minimum sizes (their test settings
# allow it). Run after tests/data/disks/put.sh.
truncate -s 72M disk.img
sfdisk -q disk.img <<END
label: gpt
start=2048, size=32768
size=32768
size=32768
size=32768
END
truncate -s 16M p1; mkfs.ext4 -q -F -L ext4fs p1; put 2048 p1 512
mkfs.vfat -n FATFS -C p2 16384 >/dev/null; put 34816 p2 512
truncate -s 16M p3; mkfs.btrfs -q -f -M -L btrfsfs p3 >/dev/null 2>&1; put 67584 p3 512
truncate -s 16M p4; TEST_DIR=1 TEST_DEV=1 QA_CHECK_FS=1 mkfs.xfs -q -f -L xfsfs p4; put 100352 p4 512
