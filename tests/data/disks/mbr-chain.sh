# MBR with an extended partition holding 40 logical ones.
truncate -s 160M disk.img
{ echo 'label: dos'; echo 'label-id: 0x1234abcd'
  echo 'start=2048, size=8192, type=e, bootable'; echo 'start=10240, size=8192, type=83'; echo 'start=18432, type=5'
  for i in $(seq 1 40); do echo 'size=1024, type=83'; done; } | sfdisk -q disk.img
mkfs.vfat -F 16 -s 1 -n BOOTFAT -C p1 4096 >/dev/null; put 2048 p1 512
truncate -s 512K p5; mkfs.ext2 -q -F -L log5 p5; put $(startOf 5) p5 512
mkfs.vfat -F 12 -n L6 -C p6 512 >/dev/null; put $(startOf 6) p6 512
truncate -s 512K p44; mkfs.ext2 -q -F -L last44 p44; put $(startOf 44) p44 512
