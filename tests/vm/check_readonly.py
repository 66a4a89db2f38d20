#!/usr/bin/env python3
"""Read-only proof from the guest's strace logs of drivescope-report (the run
with the kernel's cached data, the raw-path run, and the privileged helper
answering again the requests of uid 1000's run with full access).

usage: check_readonly.py WORKDIR          no device opened for writing; every
                                          SCSI command allowed for its device type
       check_readonly.py WORKDIR --once   each command and each open at most once
                                          per drive per run
Exit status 0 when the check holds, 1 with one line per violation, 77 when the
guest run was skipped.
"""
import os, re, sys
from collections import Counter

OPEN = re.compile(r'^(\d+)\s+open(?:at)?\((?:[^"]*?, )?"([^"]+)", (?:0x[0-9a-f]+ /\* )?([A-Z_|]+)[^)]*\) = (-?\d+)')
IOCTL = re.compile(r'^(\d+)\s+ioctl\((\d+), ([^,]+?)(?: /\* (\w+) \*/)?, (.*)\) = (-?\d+)')
CLOSE = re.compile(r'^(\d+)\s+close\((\d+)\)')
CDB = re.compile(r'cmdp="((?:\\x[0-9a-f]{2})+)"')
ATA_PASS_THROUGH = {0x85: "ATA PASS-THROUGH (16)", 0xA1: "ATA PASS-THROUGH (12)"}


def pass_through_allowed(opcode, scsi_type, libata):
    """Our own statement of the per-device-class rule, independent of the program's table:
    disks (type 0) and RBC (0x0E) may get both sizes; an optical drive (type 5) only
    the 16-byte form and only on libata, where 0x85 reaches the ATAPI device's
    taskfile instead of being a packet command (0xA1 is BLANK on MMC devices);
    any other type neither."""
    if scsi_type in (0x00, 0x0E):
        return True
    if scsi_type == 0x05:
        return opcode == 0x85 and libata
    return False


def devices(work):
    info = {}
    with open(os.path.join(work, "out", "sysfs-paths.txt")) as f:
        for line in f:
            name, scsi_type, path = line.split()
            info[name] = (int(scsi_type) if scsi_type.isdigit() else None, "/ata" in path)
    return info


def trace(path):
    """Yields (kind, device, detail) for every open and command of one strace log."""
    fds = {}
    with open(path, errors="replace") as f:
        for line in f:
            m = OPEN.match(line)
            if m:
                pid, dev, flags, fd = m.groups()
                if int(fd) >= 0:
                    fds[(pid, fd)] = dev
                if dev.startswith("/dev/"):
                    yield "open", dev, flags
                continue
            m = IOCTL.match(line)
            if m:
                pid, fd, request, named, args, _ = m.groups()
                dev = fds.get((pid, fd))
                if not dev or not dev.startswith("/dev/"):
                    continue
                request = named or request
                cdb = CDB.search(args)
                if cdb:
                    yield "cdb", dev, bytes(int(x, 16) for x in cdb.group(1).split("\\x")[1:])
                else:
                    yield "ioctl", dev, request + " " + re.sub(r"0x[0-9a-f]{6,}", "PTR", args)


def check(work, once):
    info = devices(work)
    problems = []
    for log in ("strace-cached.txt", "strace-raw.txt", "strace-helper.txt"):
        path = os.path.join(work, "out", log)
        if not os.path.exists(path):
            problems.append("%s: missing" % log)
            continue
        counts = Counter()
        events = list(trace(path))
        # The helper's replay of the window's requests must have sent commands.
        if log == "strace-helper.txt" and not any(kind == "cdb" for kind, _, _ in events):
            problems.append("%s: no command sent" % log)
        for kind, dev, detail in events:
            name = os.path.basename(dev)
            if kind == "open":
                counts[("open", name, "")] += 1
                if re.search(r"O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND", detail):
                    problems.append("%s: %s opened with %s" % (log, dev, detail))
            elif kind == "cdb":
                counts[("SG_IO", name, detail.hex(" "))] += 1
                scsi_type, libata = info.get(name, (None, False))
                if detail[0] in ATA_PASS_THROUGH and not pass_through_allowed(detail[0], scsi_type, libata):
                    problems.append("%s: %s to %s (SCSI type %s%s): %s" % (
                        log, ATA_PASS_THROUGH[detail[0]], dev, scsi_type, ", libata" if libata else "",
                        detail.hex(" ")))
            elif not detail.startswith(("BLK", "TCGETS", "FIO", "HDIO_GETGEO", "CDROM_GET_CAPABILITY")):
                counts[("ioctl", name, detail)] += 1
        if once:
            for (kind, name, what), n in sorted(counts.items()):
                # An NVMe controller node answers Identify Controller once for each of its namespaces.
                allowed = sum(1 for d in info if d.startswith(name + "n")) if re.fullmatch(r"nvme\d+", name) else 1
                if n > allowed:
                    problems.append("%s: %s %s %s %d times" % (log, name, kind, what, n))
    return problems


def main():
    work = sys.argv[1]
    if not os.path.exists(os.path.join(work, "out", "sysfs-paths.txt")):
        print("read-only check: SKIPPED: no guest results in " + work)
        return 77
    problems = check(work, "--once" in sys.argv[2:])
    for p in problems:
        print(p)
    print("read-only check (%s): %s" % ("once" if "--once" in sys.argv[2:] else "rule",
                                         "%d violations" % len(problems) if problems else "holds"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
