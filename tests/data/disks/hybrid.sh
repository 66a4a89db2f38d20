# GPT with a hybrid MBR.
truncate -s 64M disk.img
sgdisk -o -n 1:2048:+8M -t 1:ef00 -c 1:ESP -n 2:0:+16M -t 2:0700 -c 2:shared -n 3:0:+8M -t 3:8300 disk.img >/dev/null
sgdisk -h 1:2 disk.img >/dev/null
mkfs.vfat -n SHARED -C p2 16384 >/dev/null; put 18432 p2 512
