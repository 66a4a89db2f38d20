# Helpers of the disk image scripts, run by bash in an empty folder: each makes disk.img.
put() { dd if="$2" of=disk.img bs=$3 seek=$1 conv=notrunc,sparse status=none; rm -f "$2"; }
startOf() { sfdisk -d disk.img | sed -n "s/^disk.img$1 : start= *\([0-9]*\),.*/\1/p"; }
