#!/bin/sh
# /init of the test guest: loads the storage drivers, runs drivescope-report
# (plain, under strace, unprivileged, unprivileged through the helper, with the kernel's cached identify data
# hidden, and as a hot-plug watcher) and the peer tools, then prints every
# result gzip'd and base64'd between marker lines and powers off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME=/root
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
/bin/busybox mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
mkdir -p /tmp /out/peer
chmod 1777 /tmp
echo "@@GUEST-START@@"
while read -r module args; do insmod "$module" $args 2>/dev/null; done </modules.order

EXPECTED=$(cat /expected-drives)
report=/usr/bin/drivescope-report
drives() { ls /sys/block | grep -E '^(sd|sr|nvme|mmcblk)' | grep -vE 'boot|rpmb'; }
i=0
while [ "$(drives | wc -l)" -lt "$EXPECTED" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
drives >/out/drives.txt
for d in $(drives); do
    echo "$d $(cat /sys/block/$d/device/type 2>/dev/null || echo -) $(readlink -f /sys/block/$d)"
done >/out/sysfs-paths.txt
echo "@@DRIVES $(drives | wc -l)/$EXPECTED@@"

t0=$(date +%s)
step() { echo "@@STEP $* $(($(date +%s) - t0))s@@"; }
step report
timeout 120 $report --all --json >/out/ours.json 2>/out/ours.err
echo "report-status $?" >>/out/status.txt
step strace
timeout 120 strace -f --seccomp-bpf -qq -e trace=open,openat,ioctl -X verbose -v -s 64 -o /out/strace-cached.txt \
    $report --all --json >/out/ours-strace.json 2>/dev/null
step unprivileged
timeout 120 /usr/bin/setpriv --reuid=1000 --regid=1000 --clear-groups --inh-caps=-all \
    $report --all --json >/out/unpriv.json 2>/out/unpriv.err
echo "unpriv-status $?" >>/out/status.txt
# uid 1000 with full access: raw data through the set-user-ID helper behind the
# stand-in pkexec, which keeps a copy of every request. The helper then answers
# them once more as root under strace (tracing the set-user-ID run itself would
# need strace without --seccomp-bpf, whose no_new_privs voids the bit, and
# takes a minute and a half under TCG).
step helper
timeout 120 /usr/bin/setpriv --reuid=1000 --regid=1000 --clear-groups --inh-caps=-all \
    env PATH=/fakebin:$PATH DRIVESCOPE_HELPER=/usr/libexec/drivescope/drivescope-helper \
    $report --full-access --all --json >/out/helper.json 2>/out/helper.err
echo "helper-status $?" >>/out/status.txt
timeout 120 strace -f --seccomp-bpf -qq -e trace=open,openat,ioctl -X verbose -v -s 64 -o /out/strace-helper.txt \
    /usr/libexec/drivescope/drivescope-helper </tmp/helper-requests >/out/helper-replies.jsonl
echo "helper-replay-status $? $(wc -l </tmp/helper-requests) requests" >>/out/status.txt

# The raw command path: the kernel's cached IDENTIFY, INQUIRY and VPD pages hidden.
for f in /sys/class/ata_device/*/id /sys/class/scsi_device/*/device/inquiry /sys/class/scsi_device/*/device/vpd_pg*; do
    [ -e "$f" ] && mount --bind /dev/null "$f" && echo "$f" >>/out/hidden.txt
done
step raw
timeout 120 strace -f --seccomp-bpf -qq -e trace=open,openat,ioctl -X verbose -v -s 64 -o /out/strace-raw.txt \
    $report --all --json >/out/ours-raw.json 2>/out/ours-raw.err
echo "raw-status $?" >>/out/status.txt
for f in $(cat /out/hidden.txt); do umount "$f"; done
echo "@@REPORTS $(($(date +%s) - t0))s@@"

# Peers.
step peers
for d in $(drives); do
    p=/out/peer/$d
    mkdir -p $p
    case $d in
    sd* | sr*)
        # hdparm cannot IDENTIFY an ATAPI device itself: it decodes libata's IDENTIFY PACKET DEVICE.
        id=$(ls $(readlink -f /sys/block/$d/device)/../../../link*/dev*/ata_device/dev*/id 2>/dev/null | head -1)
        case $d in
        sr*) [ -n "$id" ] && hdparm --Istdin <"$id" >$p/hdparm.txt 2>&1 ;;
        *) hdparm -I /dev/$d >$p/hdparm.txt 2>&1 ;;
        esac
        smartctl -x --json /dev/$d >$p/smartctl.json 2>&1
        sg_inq /dev/$d >$p/sg_inq.txt 2>&1
        sg_vpd -p 0 -H /dev/$d >$p/sg_vpd0.txt 2>&1
        sg_vpd -p 0x80 /dev/$d >$p/sg_vpd80.txt 2>&1
        ;;
    nvme*)
        c=/dev/${d%n*}
        nvme id-ctrl -o json $c >$p/id-ctrl.json 2>&1
        nvme id-ns -o json /dev/$d >$p/id-ns.json 2>&1
        nvme smart-log -o json /dev/$d >$p/smart-log.json 2>&1
        ;;
    mmcblk*)
        for f in cid csd scr name manfid oemid serial date hwrev fwrev type; do
            echo "$f=$(cat /sys/block/$d/device/$f 2>/dev/null)"
        done >$p/card.txt
        ;;
    esac
    sfdisk --json /dev/$d >$p/sfdisk.json 2>/dev/null
    cat /sys/block/$d/size >$p/size
    blkid -c /dev/null -p -o export /dev/$d* >$p/blkid.txt 2>/dev/null
done
lsusb -v >/out/peer/lsusb.txt 2>&1
echo "@@PEERS@@"

# Hot-plug: a watcher whose input is a FIFO held open here; closing it ends the watch.
mkfifo /tmp/watch-in
$report --watch </tmp/watch-in >/out/watch.jsonl 2>/out/watch.err &
watcher=$!
exec 3>/tmp/watch-in
wait_lines() { # count pattern
    i=0
    while [ "$(grep -c "$2" /out/watch.jsonl)" -lt "$1" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
}
wait_lines "$EXPECTED" '"present"'
for step in del-stick add-stick del-ns add-ns; do
    echo "@@QMP $step@@"
    case $step in
    del-*) wait_lines $(( $(grep -c '"remove"' /out/watch.jsonl) + 1 )) '"remove"' ;;
    add-*) wait_lines $(( $(grep -c '"add"' /out/watch.jsonl) + 1 )) '"add"' ;;
    esac
done
exec 3>&-
i=0
while kill -0 $watcher 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if kill -0 $watcher 2>/dev/null; then echo "watch-status running-after-eof" >>/out/status.txt; kill $watcher; else
    wait $watcher; echo "watch-status $?" >>/out/status.txt; fi
drives >/out/drives-after.txt

echo "@@RESULTS-BEGIN@@"
tar -C /out -cf - . | gzip -c | base64
echo "@@RESULTS-END@@"
sync
poweroff -f
