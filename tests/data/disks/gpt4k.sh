# GPT on 4096-byte sectors, made by fdisk.
truncate -s 96M disk.img
printf 'g\nn\n1\n256\n+8M\nn\n2\n\n+16M\nn\n3\n\n+8M\nt\n1\nC12A7328-F81F-11D2-BA4B-00A0C93EC93B\nt\n3\nswap\nx\nn\n1\nESP four\nn\n2\nroot\nr\nw\n' | fdisk -b 4096 disk.img >/dev/null
mkfs.vfat -S 4096 -n EFI4K -C p1 8192 >/dev/null; put 256 p1 4096
truncate -s 16M p2; mkfs.ext4 -q -F -b 4096 -L root4k p2; put 2304 p2 4096
