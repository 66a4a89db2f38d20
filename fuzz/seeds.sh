#!/usr/bin/env bash
# Adds seeds derived at run time to a fuzz target's corpus folder:
#   fuzz/seeds.sh TARGET CORPUSDIR SHAREDDIR
# from the project's own fixtures (examples/nodes, tests/data) and, when it is
# there, the shared real-drive data (ATA snapshots, sysfs dumps). Nothing
# derived here is committed; a missing source is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
out=$2
shared=${3:-}
[ -n "$shared" ] && [ -d "$shared/testdata" ] || shared=""
exec python3 - "$target" "$out" "$shared" <<'PY'
import glob, hashlib, json, os, struct, sys, tarfile

target, out, shared = sys.argv[1], sys.argv[2], sys.argv[3]
count = 0


def put(name, data):
    global count
    if isinstance(data, str):
        data = data.encode()
    name = os.path.basename(name)[:40] + "-" + hashlib.sha1(data).hexdigest()[:12]
    with open(os.path.join(out, "derived-" + name), "wb") as f:
        f.write(data)
    count += 1


def snapshots():
    """(name, bytes, {tag: payload}) of every shared ATA snapshot."""
    if not shared:
        return
    for path in sorted(glob.glob(os.path.join(shared, "testdata", "ata-drives", "*"))):
        data = open(path, "rb").read()
        sections, at = {}, 0
        while at + 8 <= len(data):
            tag, size = data[at:at + 4], struct.unpack(">I", data[at + 4:at + 8])[0]
            sections[tag] = data[at + 8:at + 8 + size]
            at += 8 + size
        yield os.path.basename(path), data, sections


def merged_records(smdt, smth):
    thresholds = {smth[o]: smth[o + 1] for o in range(2, 362, 12) if smth[o]}
    return b"".join(smdt[o:o + 11] + bytes([thresholds.get(smdt[o], 0)]) for o in range(2, 362, 12) if smdt[o])


def sysfs_files():
    """(name, bytes) of every file of the project's synthetic tree and the shared dumps."""
    for root, dirs, files in os.walk("tests/data/sysfs/synthetic"):
        for f in sorted(files):
            path = os.path.join(root, f)
            if os.path.isfile(path) and not os.path.islink(path):
                yield path, open(path, "rb").read()
    if shared:
        for tar in sorted(glob.glob(os.path.join(shared, "testdata", "sysfs", "*.tar.xz"))):
            with tarfile.open(tar) as t:
                for m in t.getmembers():
                    if m.isfile() and m.size <= 65536 and "/sys/" in m.name:
                        yield m.name, t.extractfile(m).read()


def inline_tree(path, depth=0):
    """A demo node-tree file with its includes merged and buffer files inlined,
    so it reads the same from any folder; images are dropped."""
    tree = json.load(open(path))
    base = os.path.dirname(path)
    merged = {"nodes": {}, "companions": {}}
    for inc in tree.get("include", []) if depth < 4 else []:
        sub = inline_tree(os.path.join(base, inc), depth + 1)
        merged["nodes"].update(sub["nodes"])
        merged["companions"].update(sub["companions"])

    def fix(value):
        if isinstance(value, dict):
            if "file" in value:
                blob = open(os.path.join(base, value["file"]), "rb").read()
                rest = {k: v for k, v in value.items() if k != "file"}
                return dict(rest, buffer=blob.hex())
            return {k: fix(v) for k, v in value.items()}
        if isinstance(value, list):
            return [fix(v) for v in value]
        return value

    for name, node in tree.get("nodes", {}).items():
        node = fix(node)
        if isinstance(node.get("storage"), dict):
            node["storage"].pop("image", None)
        merged["nodes"][name] = node
    merged["companions"].update(tree.get("companions", {}))
    if "system" in tree:
        merged["system"] = tree["system"]
    return merged


blobs = sorted(glob.glob("examples/nodes/blobs/*"))
if target in ("fuzz_ata_identify", "fuzz_ata_reply"):
    prefix = b"" if target == "fuzz_ata_identify" else b"\x00"
    for b in blobs:
        if b.endswith(".identify.bin"):
            put(os.path.basename(b), prefix + open(b, "rb").read())
    for name, _, s in snapshots():
        if b"IDFY" in s:
            put(name, prefix + s[b"IDFY"])
        if target == "fuzz_ata_reply" and b"SMDT" in s and b"SMTH" in s:
            put(name + "-smart", b"\x80" + s[b"SMDT"] + s[b"SMTH"])
elif target == "fuzz_smart_records":
    for b in blobs:
        if b.endswith(".attributes.bin"):
            put(os.path.basename(b), b"\x01" + open(b, "rb").read())
    for name, _, s in snapshots():
        if b"SMDT" in s and b"SMTH" in s:
            put(name, b"\x01" + merged_records(s[b"SMDT"], s[b"SMTH"]))
elif target == "fuzz_ata_snapshot":
    for name, data, _ in snapshots():
        put(name, data)
elif target in ("fuzz_nodetree", "fuzz_simdrive"):
    for path in sorted(glob.glob("examples/nodes/*.json") + glob.glob("examples/nodes/*/*.json")):
        try:
            put(os.path.relpath(path, "examples/nodes"), json.dumps(inline_tree(path)))
        except (OSError, ValueError) as e:
            print("seeds: %s: %s" % (path, e), file=sys.stderr)
elif target == "fuzz_partitions":
    # The demo disk images (made by scripts/make-demo.sh): their first and last
    # blocks, where the tables live, in the target's header format.
    for tree in sorted(glob.glob("examples/nodes/demo/*.json")):
        base = os.path.dirname(tree)
        for node in json.load(open(tree)).get("nodes", {}).values():
            storage = node.get("storage") or {}
            image = os.path.join(base, storage.get("image", ""))
            if not storage.get("image") or not os.path.isfile(image):
                continue
            bs = storage.get("blockSize", 512)
            size = os.path.getsize(image)
            with open(image, "rb") as f:
                head = f.read(min(size, 40 * bs))
                f.seek(max(len(head), size - 34 * bs))
                tail = f.read()
            flags = (1 if bs == 4096 else 0) | 4
            put(os.path.basename(image), bytes([flags]) + struct.pack("<II", size // bs & 0xFFFFFFFF, len(head)) + head + tail)
else:
    wanted = {
        "fuzz_scsi_inquiry": lambda n: n in ("inquiry", "vpd_pg0", "vpd_pg80", "vpd_pg83", "vpd_pg89"),
        "fuzz_usb_descriptors": lambda n: n in ("descriptors", "bos_descriptors"),
        "fuzz_ext_csd": lambda n: n == "ext_csd",
        "fuzz_nvme_identify": lambda n: n in ("nguid", "eui", "wwid"),
    }
    choice = {"size": 0, "nsid": 0, "removable": 0, "logical_block_size": 0, "sata_spd": 0, "id": 1,
              "cid": 2, "csd": 2, "scr": 2, "uevent": 4}
    for name, data in sysfs_files():
        base = os.path.basename(name)
        if target in wanted and wanted[target](base):
            put(name, data)
        elif target == "fuzz_sysfs_text" and base in choice:
            put(name, bytes([choice[base]]) + data)
        elif target == "fuzz_sysfs_text" and "/pci0000:" in name and base == "class":
            put(name, b"\x03" + os.path.dirname(name).encode())
print("seeds: %s: %d derived" % (target, count), file=sys.stderr)
PY
