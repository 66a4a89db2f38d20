# Apple partition map: the driver descriptor (512-byte blocks), then two entries
# (signature, map size, start, size, name, type): the map itself and one HFS volume.
truncate -s 1M disk.img
at() { printf "$2" | dd of=disk.img bs=1 seek=$1 conv=notrunc status=none; }
at 0 'ER\x02\x00'
at 512 'PM\x00\x00\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x3fApple'; at 560 Apple_partition_map
at 1024 'PM\x00\x00\x00\x00\x00\x02\x00\x00\x00\x40\x00\x00\x03\xe8Macintosh HD'; at 1072 Apple_HFS
