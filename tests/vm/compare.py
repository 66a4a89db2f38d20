#!/usr/bin/env python3
"""Agreement of drivescope-report with the peers run beside it in the guest,
field by field, in the run with the kernel's cached data and in the raw-path
run (cached IDENTIFY, INQUIRY and VPD pages hidden); or, with --hotplug, the
lines of the --watch run while the USB stick and an NVMe namespace were
removed and added again.

usage: compare.py WORKDIR [--hotplug]
Prints the table (also written to WORKDIR/agreement.txt); exit status 0 when
every field agrees or has an explained exception, 1 otherwise, 77 when the
guest run was skipped.
"""
import json, os, re, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from devices import DRIVES  # noqa: E402

# (role, field) -> why ours and the peer may differ there. Every entry says
# who is right and why the difference is not ours to fix.
EXCEPTIONS = {
    # QEMU's IDENTIFY declares ATA/ATAPI-7 in w80 but fills w217, a word
    # ATA8-ACS defined later; the ATA tab shows the rows of the standard the
    # drive declares, smartctl reads w217 whatever the drive declares.
    ("sata-ssd", "rotation rate"): "w217 beyond the declared ATA/ATAPI-7",
    ("sata-hdd", "rotation rate"): "w217 beyond the declared ATA/ATAPI-7",
    ("pata", "rotation rate"): "w217 beyond the declared ATA/ATAPI-7",
    # No EVPD request goes to a USB bridge (many hang on one): with no page
    # cached by the kernel (usb-storage asks for none; hidden in the raw run)
    # there is no unit serial and no page list. sg_inq asks and QEMU answers.
    ("usb-stick", "SCSI serial"): "no EVPD to USB bridges",
    ("usb-stick", "VPD pages"): "no EVPD to USB bridges",
    ("usb-uas", "SCSI serial", "raw"): "no EVPD to USB bridges",
    ("usb-uas", "VPD pages", "raw"): "no EVPD to USB bridges",
    ("usb-optical", "SCSI serial", "raw"): "no EVPD to USB bridges",
    ("usb-optical", "VPD pages", "raw"): "no EVPD to USB bridges",
    # libata's page 0 always lists B9h (concurrent positioning ranges) but
    # refuses to return it for a device without that log (kernel 6.1); we list
    # the pages that can be read, sg_vpd prints page 0 as it is.
    ("sata-ssd", "VPD pages"): "libata lists page B9h it will not return",
    ("sata-hdd", "VPD pages"): "libata lists page B9h it will not return",
    ("pata", "VPD pages"): "libata lists page B9h it will not return",
    # The kernel caches only page 0 of the ATAPI drive; the pages it lists
    # but did not cache are not asked for while a cached set exists (the raw
    # run, with nothing cached, shows them all).
    ("atapi-cd", "VPD pages", "cached"): "page 83h listed but not cached by the kernel",
}

ATA_MAJOR = {4: "ATA/ATAPI-4", 5: "ATA/ATAPI-5", 6: "ATA/ATAPI-6", 7: "ATA/ATAPI-7", 8: "ATA8-ACS",
             9: "ACS-2", 10: "ACS-3", 11: "ACS-4", 12: "ACS-5"}


def load(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def load_json(path):
    text = load(path)
    try:
        return json.loads(text) if text.strip() else {}
    except ValueError:
        return {}


class Drive:
    """One drive of one report run: tabs as lists of (group, label, value)."""

    def __init__(self, entry):
        self.entry = entry
        self.tabs = {}
        for name, tab in entry["tabs"].items():
            rows, group = [], ""
            if tab.get("columns"):
                self.tabs[name] = tab
                continue
            for r in tab.get("rows", []):
                if r.get("header"):
                    group = r["label"]
                else:
                    rows.append((group, r["label"], r.get("value")))
            self.tabs[name] = rows

    def get(self, tab, label, group=None, nth=0):
        found = [v for g, l, v in self.tabs.get(tab, []) if l == label and (group is None or g == group)]
        return found[nth] if len(found) > nth else None

    def enabled(self, tab):
        return self.entry["tabs"].get(tab, {}).get("enabled", False)


def report(work, name):
    data = load_json(os.path.join(work, "out", name))
    return {d["path"].rsplit("/", 1)[-1]: Drive(d) for d in data.get("drives", [])}


def text_field(text, label):
    m = re.search(r"^\s*" + re.escape(label) + r":?\s*(.*?)\s*$", text, re.M)
    return m.group(1) if m else None


def norm(value):
    # Our placeholders for a value not known ("<NA>", "<NOT AVAILABLE>", ...).
    if value is None or re.fullmatch(r"<[A-Z ]+>", str(value)):
        return None
    return re.sub(r"\s+", " ", str(value)).strip()


class Table:
    def __init__(self):
        self.rows = []

    def add(self, run, role, field, ours, peer, same=None):
        ours, peer = norm(ours), norm(peer)
        ok = same(ours, peer) if same and ours is not None and peer is not None else ours == peer
        why = EXCEPTIONS.get((role, field)) or EXCEPTIONS.get((role, field, run))
        self.rows.append((run, role, field, ours, peer, "ok" if ok else ("exception" if why else "DIFFERS"), why))

    def failures(self):
        return [r for r in self.rows if r[5] == "DIFFERS"]

    def text(self):
        lines = ["%-6s %-12s %-26s %-34s %-34s %s" % ("run", "drive", "field", "ours", "peer", "result")]
        for run, role, field, ours, peer, result, why in self.rows:
            lines.append("%-6s %-12s %-26s %-34s %-34s %s" % (run, role, field, str(ours)[:34], str(peer)[:34],
                                                            result + (": " + why if why and result != "ok" else "")))
        return "\n".join(lines)


def same_int(a, b):
    try:
        return int(str(a).replace(",", "").split()[0], 0) == int(str(b).replace(",", "").split()[0], 0)
    except ValueError:
        return False


def compare_ata(t, run, role, ours, peer_dir):
    hdparm = load(os.path.join(peer_dir, "hdparm.txt"))
    smart = load_json(os.path.join(peer_dir, "smartctl.json"))
    t.add(run, role, "ATA model", ours.get("ATA", "Model number"), text_field(hdparm, "Model Number"))
    t.add(run, role, "ATA serial", ours.get("ATA", "Serial number"), text_field(hdparm, "Serial Number"))
    t.add(run, role, "ATA firmware", ours.get("ATA", "Firmware revision"), text_field(hdparm, "Firmware Revision"))
    major = smart.get("ata_version", {}).get("major_value")
    if major is not None:
        top = max((b for b in ATA_MAJOR if major & (1 << b)), default=None)
        shown = ours.get("ATA", "Major version number") or ""
        t.add(run, role, "ATA standard (highest)", shown, ATA_MAJOR.get(top),
              lambda o, p: p.replace("ATA/ATAPI-", "ATA-") in o.replace("ATA/ATAPI-", "ATA-"))
    dma = text_field(hdparm, "DMA") or ""
    udma = re.findall(r"(\*?)udma(\d)", dma)
    if udma:
        t.add(run, role, "UDMA max", ours.get("ATA", "Maximum Ultra DMA mode supported"), max(int(n) for _, n in udma))
        t.add(run, role, "UDMA selected", ours.get("ATA", "Selected Ultra DMA modes"),
              ",".join(n for star, n in udma if star) or "none", lambda o, p: o.replace(" ", "") == p)
    wwn = smart.get("wwn")
    if wwn:
        t.add(run, role, "WWN", ours.get("ATA", "World Wide Name"),
              "IEEE %06Xh %09Xh" % (wwn["oui"], wwn["id"]), lambda o, p: o.upper() == p.upper())
    rpm = smart.get("rotation_rate")
    if rpm is not None:
        t.add(run, role, "rotation rate", ours.get("ATA", "Norminal media rotation rate"),
              "Fixed media" if rpm == 0 else rpm, lambda o, p: p in o or o.split()[0] == p)
    table = smart.get("ata_smart_attributes", {}).get("table", [])
    smart_tab = ours.tabs.get("S.M.A.R.T.")
    ours_rows = {}
    if isinstance(smart_tab, dict):
        for cells in smart_tab.get("rows", []):
            ours_rows[int(str(cells[0]).rstrip("h"), 16)] = cells
    t.add(run, role, "SMART attribute ids", " ".join("%02X" % i for i in sorted(ours_rows)),
          " ".join("%02X" % a["id"] for a in sorted(table, key=lambda a: a["id"])))
    for a in table:
        cells = ours_rows.get(a["id"])
        if not cells:
            continue
        raw = int(str(cells[5]).replace(" ", ""), 16)
        t.add(run, role, "SMART %02X val/worst/thr/raw" % a["id"], "%s/%s/%s/%d" % (cells[2], cells[3], cells[4], raw),
              "%d/%d/%d/%d" % (a["value"], a["worst"], a["thresh"], a["raw"]["value"]))


def compare_scsi(t, run, role, ours, peer_dir):
    inq = load(os.path.join(peer_dir, "sg_inq.txt"))
    t.add(run, role, "SCSI vendor", ours.get("SCSI", "VENDOR"), text_field(inq, "Vendor identification"))
    t.add(run, role, "SCSI product", ours.get("SCSI", "MODEL"), text_field(inq, "Product identification"))
    t.add(run, role, "SCSI revision", ours.get("SCSI", "REVISION"), text_field(inq, "Product revision level"))
    t.add(run, role, "SCSI serial", ours.get("SCSI", "SERIAL"), text_field(inq, "Unit serial number"))
    # sg_vpd -H: the page in hex, "offset  bytes..."; the list starts at byte 4.
    data = []
    for line in load(os.path.join(peer_dir, "sg_vpd0.txt")).splitlines():
        m = re.match(r"^\s*([0-9a-f]{2,})\s+((?:[0-9a-f]{2}\s*)+)", line)
        if m:
            data += [int(b, 16) for b in m.group(2).split()]
    pages = ["%02Xh" % b for b in data[4:4 + (data[3] if len(data) > 3 else 0)]]
    listed = ours.get("SCSI", "AVAILABLE VPD PAGES")
    t.add(run, role, "VPD pages", " ".join(l.split(" / ")[0] for l in str(listed).split("\n")) if listed else None,
          " ".join(pages) if pages else None)


def compare_nvme(t, run, role, ours, peer_dir, drive):
    ctrl = load_json(os.path.join(peer_dir, "id-ctrl.json"))
    ns = load_json(os.path.join(peer_dir, "id-ns.json"))
    t.add(run, role, "NVMe model", ours.get("NVMe", "MODEL"), ctrl.get("mn"))
    t.add(run, role, "NVMe serial", ours.get("NVMe", "SERIAL"), ctrl.get("sn"))
    t.add(run, role, "NVMe firmware", ours.get("NVMe", "FIRMWARE"), ctrl.get("fr"))
    ver = ctrl.get("ver")
    if ver is not None:
        t.add(run, role, "NVMe version", ours.get("NVMe", "VERSION"),
              "%d.%d.%d" % (ver >> 16, (ver >> 8) & 0xFF, ver & 0xFF), lambda o, p: p.startswith(o) or o == p)
    t.add(run, role, "NVMe namespaces", ours.get("NVMe", "NUMBER OF NAMESPACES"), ctrl.get("nn"), same_int)
    t.add(run, role, "NVMe nsid", ours.get("NVMe", "ID"), drive.get("nsid"), same_int)
    for label, key in (("SIZE", "nsze"), ("CAPACITY", "ncap"), ("USED", "nuse")):
        t.add(run, role, "NVMe " + key, ours.get("NVMe", label), ns.get(key), same_int)
    nguid = ns.get("nguid")
    t.add(run, role, "NVMe NGUID", ours.get("NVMe", "NGUID"),
          None if not nguid or set(nguid) <= {"0"} else nguid,
          lambda o, p: o.replace("-", "").lower() == p.replace("-", "").lower())
    eui = ns.get("eui64")
    t.add(run, role, "NVMe EUI-64", ours.get("NVMe", "EUI"), None if not eui or set(eui) <= {"0"} else eui,
          lambda o, p: o.lower() == p.lower())


def lsusb_devices(text):
    devices = []
    for block in re.split(r"\n(?=Bus \d+ Device \d+:)", text):
        d = {"serial": None, "interfaces": []}
        for key in ("idVendor", "idProduct", "bcdDevice", "bDeviceClass", "iSerial", "iManufacturer", "iProduct"):
            m = re.search(r"^\s+%s\s+(\S+)\s*(.*)$" % key, block, re.M)
            if m:
                d[key] = (m.group(1), m.group(2).strip())
        d["serial"] = d.get("iSerial", ("", ""))[1] or None
        for m in re.finditer(r"bInterfaceClass\s+(\d+).*?\n\s+bInterfaceSubClass\s+(\d+).*?\n\s+bInterfaceProtocol\s+(\d+)",
                             block):
            d["interfaces"].append("%s:%s:%s" % m.groups())
        devices.append(d)
    return devices


def usb_of(lsusb, drive):
    if drive["role"] == "usb-uas":
        # QEMU generates the UAS device's USB serial; find it by its interface protocol (UAS, 98).
        return next((u for u in lsusb if any(i.endswith(":98") for i in u["interfaces"])), {"serial": None})
    return next((u for u in lsusb if u["serial"] == drive["serial"]), {"serial": None})


def compare_usb(t, run, role, ours, lsusb, drive):
    usb = usb_of(lsusb, drive)
    if not usb["serial"]:
        t.add(run, role, "USB device in lsusb", ours.get("USB", "SERIAL"), None)
        return
    t.add(run, role, "USB serial", ours.get("USB", "SERIAL"), usb["serial"])
    t.add(run, role, "USB vendor id", ours.get("USB", "MANUFACTURER"), usb["idVendor"][0],
          lambda o, p: re.search(r"\(\s*([0-9a-fA-F]+)h\)", o) is not None
          and int(re.search(r"\(\s*([0-9a-fA-F]+)h\)", o).group(1), 16) == int(p, 16))
    t.add(run, role, "USB product id", ours.get("USB", "PRODUCT"), usb["idProduct"][0],
          lambda o, p: re.search(r"\(\s*([0-9a-fA-F]+)h\)", o) is not None
          and int(re.search(r"\(\s*([0-9a-fA-F]+)h\)", o).group(1), 16) == int(p, 16))
    t.add(run, role, "USB bcdDevice", ours.get("USB", "FIRMWARE"), usb["bcdDevice"][0],
          lambda o, p: int(o.replace(".", ""), 16) == int(p.replace(".", ""), 16))
    ifcs = [(g, l, v) for g, l, v in ours.tabs.get("USB", []) if g.startswith("ALTERNATIVE")]
    mine, group = [], {}
    for g, l, v in ifcs:
        group.setdefault(g + str(len(mine)), None)
    shown = [v for g, l, v in ours.tabs.get("USB", []) if g.startswith("ALTERNATIVE") and l in ("CLASS", "SUBCLASS", "PROTOCOL")]
    mine = [":".join(str(x) for x in shown[i:i + 3]) for i in range(0, len(shown), 3)]
    t.add(run, role, "USB interface classes", " ".join(mine), " ".join(usb["interfaces"]))


def compare_sd(t, run, role, ours, peer_dir):
    card = dict(l.split("=", 1) for l in load(os.path.join(peer_dir, "card.txt")).splitlines() if "=" in l)
    t.add(run, role, "SD name (CID)", ours.get("SD/eMMC", "NAME"), card.get("name"))
    t.add(run, role, "SD serial (CID)", ours.get("SD/eMMC", "SERIAL"), card.get("serial"), same_int)
    t.add(run, role, "SD date (CID)", ours.get("SD/eMMC", "PRODUCTION DATE"), card.get("date"))
    csd = card.get("csd", "")
    if csd:
        structure = int(csd[0], 16) >> 2  # CSD_STRUCTURE, bits 127:126
        t.add(run, role, "SD sector access (CSD)", ours.get("SD/eMMC", "SECTOR ACCESS"),
              "YES" if structure >= 1 else "NO")


def fs_name(name):
    name = (name or "").lower()
    return "vfat" if "fat" in name else name


def compare_partitions(t, run, role, ours, peer_dir):
    sfdisk = load_json(os.path.join(peer_dir, "sfdisk.json")).get("partitiontable")
    blkid, whole = {}, {}
    for block in load(os.path.join(peer_dir, "blkid.txt")).split("\n\n"):
        fields = dict(l.split("=", 1) for l in block.splitlines() if "=" in l)
        if "DEVNAME" in fields:
            blkid[fields["DEVNAME"]] = fields.get("TYPE")
            if not re.search(r"\d$|p\d+$", fields["DEVNAME"]) or "/nvme" in fields["DEVNAME"] and "p" not in fields["DEVNAME"][9:]:
                whole = fields
    if whole.get("USAGE") == "filesystem" and "PTTYPE" not in whole:
        # A file system on the whole disk: sfdisk takes a FAT boot sector's
        # 55AAh for an empty DOS label; blkid knows it is a file system.
        t.add(run, role, "partition table", ours.get("Partitions", "PARTITION TABLE TYPE"), "SUPERFLOPPY")
        t.add(run, role, "whole-disk file system", fs_name(ours.get("Partitions", "FILE SYSTEM TYPE", "PARTITION 1")),
              fs_name(whole.get("TYPE")))
        return
    label = {"gpt": "GPT", "dos": "MBR"}.get(sfdisk["label"]) if sfdisk else "NONE"
    t.add(run, role, "partition table", ours.get("Partitions", "PARTITION TABLE TYPE"), label)
    parts = sfdisk.get("partitions", []) if sfdisk else []
    t.add(run, role, "partition count", ours.get("Partitions", "PARTITIONS"), len(parts), same_int)
    for i, p in enumerate(parts):
        group = "PARTITION %d" % (i + 1)
        field = "partition %d " % (i + 1)
        t.add(run, role, field + "start/size",
              "%s/%s" % (ours.get("Partitions", "START", group), ours.get("Partitions", "SIZE", group)),
              "%d/%d" % (p["start"], p["size"]))
        if sfdisk["label"] == "gpt":
            t.add(run, role, field + "type", ours.get("Partitions", "TYPE GPT", group), p["type"],
                  lambda o, q: o.lower() == q.lower())
        else:
            t.add(run, role, field + "type", ours.get("Partitions", "TYPE MBR", group), p["type"],
                  lambda o, q: int(o.rstrip("h"), 16) == int(q, 16))
        if blkid.get(p["node"]):
            t.add(run, role, field + "file system", fs_name(ours.get("Partitions", "FILE SYSTEM TYPE", group)),
                  fs_name(blkid.get(p["node"])))


def peer_serial(peer_dir):
    inq = text_field(load(os.path.join(peer_dir, "sg_inq.txt")), "Unit serial number")
    return inq or text_field(load(os.path.join(peer_dir, "hdparm.txt")), "Serial Number")


def identify(dev, ours, peer_dir, paths):
    """The configured drive behind a guest device name."""
    if dev.startswith("mmcblk"):
        return "sd"
    m = re.match(r"nvme\d+n(\d+)$", dev)
    if m:
        sn = load_json(os.path.join(peer_dir, "id-ctrl.json")).get("sn", "").strip()
        return next((d["role"] for d in DRIVES if d.get("nsid") == int(m.group(1)) and d["serial"] == sn), None)
    serial = peer_serial(peer_dir)
    for d in DRIVES:
        if serial and d.get("serial") == serial:
            return d["role"]
    # QEMU's usb-storage gives its disk no SCSI serial: the one USB disk left.
    if "/usb" in paths.get(dev, ""):
        return "usb-stick"
    return None


def compare_general(t, run, role, ours, peer_dir, d, lsusb):
    inq = load(os.path.join(peer_dir, "sg_inq.txt"))
    hdparm = load(os.path.join(peer_dir, "hdparm.txt"))
    kind = d["kind"]
    if kind in ("ata", "atapi"):
        name, serial = text_field(hdparm, "Model Number"), text_field(hdparm, "Serial Number")
    elif kind == "nvme":
        ctrl = load_json(os.path.join(peer_dir, "id-ctrl.json"))
        name, serial = ctrl.get("mn"), ctrl.get("sn")
    elif kind == "sd":
        card = dict(l.split("=", 1) for l in load(os.path.join(peer_dir, "card.txt")).splitlines() if "=" in l)
        name, serial = card.get("name"), card.get("serial")
    else:
        name = "%s %s" % (text_field(inq, "Vendor identification"), text_field(inq, "Product identification"))
        serial = usb_of(lsusb, d)["serial"] if kind.startswith("usb") else text_field(inq, "Unit serial number")
    t.add(run, role, "General NAME", ours.get("General", "NAME"), name)
    t.add(run, role, "General SERIAL", ours.get("General", "SERIAL"), serial,
          same_int if kind == "sd" else None)
    size = load(os.path.join(peer_dir, "size")).strip()
    block = ours.get("General", "BLOCKSIZE")
    if size and block:
        t.add(run, role, "General BLOCKS", ours.get("General", "BLOCKS"), int(size) * 512 // int(block), same_int)


def hotplug(work):
    """The watcher saw every drive, then the stick and the namespace leave and come back, then ended with its input."""
    lines = [json.loads(l) for l in load(os.path.join(work, "out", "watch.jsonl")).splitlines() if l.strip()]
    ours = load_json(os.path.join(work, "out", "ours.json")).get("drives", [])
    paths = dict(l.split()[0::2] for l in load(os.path.join(work, "out", "sysfs-paths.txt")).splitlines())
    def drive_of(role):
        for d in ours:
            dev = d["path"].rsplit("/", 1)[-1]
            if identify(dev, None, os.path.join(work, "out", "peer", dev), paths) == role:
                return d
        return {"path": "(no %s)" % role, "name": ""}

    problems = []
    present = [l for l in lines if l["event"] == "present"]
    if len(present) != len(DRIVES):
        problems.append("%d drives present at the start, %d expected" % (len(present), len(DRIVES)))
    events = [l for l in lines if l["event"] != "present"]
    expected = []
    for role in ("usb-stick", "nvme-hot"):
        d = drive_of(role)
        expected += [("remove", d["path"], d["name"]), ("add", None, d["name"].split(" (")[0])]
    got = [(l["event"], l["path"], l["name"]) for l in events]
    if len(got) != len(expected) or any(
            g[0] != e[0] or (e[1] and (g[1], g[2]) != (e[1], e[2])) or (not e[1] and g[2].split(" (")[0] != e[2])
            for g, e in zip(got, expected)):
        problems.append("events %s, expected %s" % (got, expected))
    status = load(os.path.join(work, "out", "status.txt"))
    if "watch-status 0" not in status:
        problems.append("the watcher did not end cleanly when its input closed: " + status.replace("\n", "; "))
    for line in lines:
        print(json.dumps(line))
    for p in problems:
        print("hotplug: " + p)
    print("hotplug: " + ("%d problems" % len(problems) if problems else "every event seen"))
    return 1 if problems else 0


# NVMe counters that the reads of the runs between root's and the helper's move on.
MOVING = ("DATA UNITS READ", "HOST READ COMMANDS", "CONTROLLER BUSY TIME", "POWER ON HOURS")


def compare_helper(table, work):
    """uid 1000 with full access through the helper: every row and status of
    every tab as root's run shows it."""
    def drives(name):
        return {d["path"]: d for d in load_json(os.path.join(work, "out", name)).get("drives", [])}

    def rows(tab):
        # Rows are label and value, or a table's cells (S.M.A.R.T.).
        cells = [(r.get("label"), r.get("value")) if isinstance(r, dict) else tuple(r) for r in tab.get("rows", [])]
        return [c for c in cells if c[0] not in MOVING] + [("status", s) for s in tab.get("status", [])]

    root, helper = drives("ours.json"), drives("helper.json")
    if not root or not helper:
        table.add("helper", "-", "report", None, "drives")
        return
    for path in sorted(root):
        dev = path.rsplit("/", 1)[-1]
        mine = helper.get(path, {}).get("tabs", {})
        for name, tab in sorted(root[path].get("tabs", {}).items()):
            want, got = rows(tab), rows(mine.get(name, {}))
            diff = next((i for i in range(max(len(want), len(got)))
                         if i >= len(want) or i >= len(got) or want[i] != got[i]), None)
            if diff is None:
                table.add("helper", dev, "%s (%d rows)" % (name, len(want)), "same", "same")
            else:
                table.add("helper", dev, "%s row %d" % (name, diff), str(got[diff] if diff < len(got) else None),
                          str(want[diff] if diff < len(want) else None))


def main():
    work = sys.argv[1]
    if not os.path.exists(os.path.join(work, "out", "sysfs-paths.txt")):
        print("agreement: SKIPPED: no guest results in " + work)
        return 77
    if "--hotplug" in sys.argv[2:]:
        return hotplug(work)
    table = Table()
    lsusb = lsusb_devices(load(os.path.join(work, "out", "peer", "lsusb.txt")))
    paths = dict(l.split()[0::2] for l in load(os.path.join(work, "out", "sysfs-paths.txt")).splitlines())
    for run, name in (("cached", "ours.json"), ("raw", "ours-raw.json")):
        drives = report(work, name)
        if not drives:
            table.add(run, "-", "report", None, "drives")
            continue
        for dev, ours in sorted(drives.items()):
            peer_dir = os.path.join(work, "out", "peer", dev)
            role = identify(dev, ours, peer_dir, paths)
            if not role:
                table.add(run, dev, "drive known", ours.get("General", "SERIAL"), "a configured drive")
                continue
            d = next(x for x in DRIVES if x["role"] == role)
            compare_general(table, run, role, ours, peer_dir, d, lsusb)
            kind = d["kind"]
            if kind in ("ata", "atapi"):
                compare_ata(table, run, role, ours, peer_dir)
            if kind in ("ata", "atapi", "scsi", "usb", "usb-optical"):
                compare_scsi(table, run, role, ours, peer_dir)
            if kind == "nvme":
                compare_nvme(table, run, role, ours, peer_dir, d)
            if kind in ("usb", "usb-optical"):
                compare_usb(table, run, role, ours, lsusb, d)
            if kind == "sd":
                compare_sd(table, run, role, ours, peer_dir)
            if kind not in ("atapi", "usb-optical"):
                compare_partitions(table, run, role, ours, peer_dir)
    # Unprivileged (uid 1000, no capabilities): what sysfs tells is the same as root sees.
    cached, unpriv = report(work, "ours.json"), report(work, "unpriv.json")
    for dev in sorted(cached):
        mine = unpriv.get(dev)
        for field in ("NAME", "SERIAL", "BLOCKS"):
            table.add("unpriv", dev, "General " + field, mine.get("General", field) if mine else None,
                      cached[dev].get("General", field))
    compare_helper(table, work)
    text = table.text()
    with open(os.path.join(work, "agreement.txt"), "w") as f:
        f.write(text + "\n")
    print(text)
    failures = table.failures()
    print("agreement: %d fields, %d differ without an explanation" % (len(table.rows), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
