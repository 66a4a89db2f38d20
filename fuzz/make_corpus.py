#!/usr/bin/env python3
"""Writes the small committed seeds of every fuzz target into fuzz/corpus/.

Each seed is built here from the structure definitions, not copied from real
devices, so the corpus can be committed. Run again after changing a seed.
"""
import json
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def ata_string(text, words):
    text = text.ljust(2 * words)[: 2 * words].encode()
    return b"".join(bytes([text[i + 1], text[i]]) for i in range(0, len(text), 2))


def identify(model, serial, extra=None):
    w = [0] * 256
    w[0] = 0x0040
    w[1], w[3], w[6] = 16383, 16, 63
    w[47] = 0x8010
    w[49] = 0x0F00
    w[53] = 0x0007
    w[60], w[61] = 0xFFFF, 0x0FFF
    w[80], w[81] = 0x01F0, 0x0028
    w[82], w[83], w[84] = 0x746B, 0x7D09, 0x6063
    w[85], w[86], w[87] = 0x7469, 0xBC01, 0x6063
    w[88] = 0x203F
    w[93] = 0x0000
    w[100], w[101], w[102] = 0x6D30, 0x1D1C, 0
    w[106] = 0x6003
    w[217] = 1  # non-rotating
    for k, v in (extra or {}).items():
        w[k] = v
    block = bytearray(struct.pack("<256H", *w))
    block[20:40] = ata_string(serial, 10)
    block[46:54] = ata_string("1.0", 4)
    block[54:94] = ata_string(model, 20)
    block[510] = 0xA5
    block[511] = (-sum(block[:511])) & 0xFF
    return bytes(block)


def smart_pages(entries):
    data = bytearray(512)
    thresholds = bytearray(512)
    data[0] = thresholds[0] = 0x10
    for i, (aid, value, worst, raw, threshold) in enumerate(entries):
        o = 2 + 12 * i
        data[o] = aid
        data[o + 1 : o + 3] = b"\x33\x00"
        data[o + 3], data[o + 4] = value, worst
        data[o + 5 : o + 11] = raw.to_bytes(6, "little")
        thresholds[o], thresholds[o + 1] = aid, threshold
    data[511] = (-sum(data[:511])) & 0xFF
    thresholds[511] = (-sum(thresholds[:511])) & 0xFF
    return bytes(data), bytes(thresholds)


def records(entries):
    out = b""
    for aid, value, worst, raw, threshold in entries:
        out += bytes([aid, 0x33, 0, value, worst]) + raw.to_bytes(6, "little") + bytes([threshold])
    return out


ATTRS = [(1, 100, 100, 0, 6), (5, 100, 100, 3, 36), (9, 97, 97, 2811, 0), (194, 35, 52, 0x2800230023, 0),
         (197, 100, 100, 0, 0), (3, 1, 1, 0, 21)]


def section(tag, payload):
    return tag + struct.pack(">I", len(payload)) + payload


def main():
    ssd = identify("ACME SATA SSD 256GB", "AC1234567890")
    cf = identify("ACME CF CARD 8GB", "CF0001", {0: 0x848A, 83: 0x4004, 160: 0x8080})
    old = identify("ACME PATA 40GB", "P4000", {80: 0x001E, 82: 0, 83: 0x4000, 85: 0, 86: 0, 87: 0x4000})
    put("fuzz_ata_identify", "ssd", ssd)
    put("fuzz_ata_identify", "cf", cf)
    put("fuzz_ata_identify", "pata", old)
    put("fuzz_ata_identify", "short", ssd[:100])

    put("fuzz_smart_records", "healthy", b"\x01" + records(ATTRS))
    put("fuzz_smart_records", "failing", b"\x00" + records([(5, 1, 1, 4000, 36), (197, 90, 90, 12, 0)]))

    data, thresholds = smart_pages(ATTRS)
    put("fuzz_ata_snapshot", "full", section(b"IDFY", ssd) + section(b"SMST", b"\0\0\0\1")
        + section(b"SMDT", data) + section(b"SMTH", thresholds))
    put("fuzz_ata_snapshot", "identify-only", section(b"IDFY", old))

    # split byte 128 cuts the rest at 512 bytes: data page, then thresholds
    put("fuzz_ata_reply", "smart-pages", b"\x80" + data + thresholds)
    put("fuzz_ata_reply", "identify", b"\x00" + ssd)
    put("fuzz_ata_reply", "sense-descriptor",
        b"\x00" + bytes([0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0, 0, 0x50, 0]))
    put("fuzz_ata_reply", "sense-fixed",
        b"\x00" + bytes([0x70, 0, 0x01, 0, 0x50, 0, 0xFF, 10, 0, 0, 0, 0, 0x00, 0x1D, 0, 0, 0, 0]))

    inquiry = bytearray(96)
    inquiry[0], inquiry[1], inquiry[2], inquiry[3], inquiry[4] = 0, 0x80, 6, 2, 91
    inquiry[8:16] = b"ACME    "
    inquiry[16:32] = b"USB FLASH DRIVE "
    inquiry[32:36] = b"1.00"
    put("fuzz_scsi_inquiry", "standard", bytes(inquiry))
    put("fuzz_scsi_inquiry", "vpd0", bytes([0, 0, 0, 5, 0x00, 0x80, 0x83, 0x89, 0xB1]))
    put("fuzz_scsi_inquiry", "vpd80", bytes([0, 0x80, 0, 12]) + b"  ACME0001  ")
    vpd89 = bytearray(572)
    vpd89[1], vpd89[2], vpd89[3] = 0x89, 0x02, 0x38
    vpd89[56] = 0xEC
    vpd89[60:572] = ssd
    put("fuzz_scsi_inquiry", "vpd89", bytes(vpd89))

    ctrl = bytearray(4096)
    ctrl[0:2] = struct.pack("<H", 0x1E0F)
    ctrl[4:24] = b"NV0001".ljust(20)
    ctrl[24:64] = b"ACME NVMe SSD 1TB".ljust(40)
    ctrl[64:72] = b"2.1".ljust(8)
    ctrl[80:84] = struct.pack("<I", 0x00010400)
    ctrl[516:520] = struct.pack("<I", 1)
    put("fuzz_nvme_identify", "controller", bytes(ctrl))
    ns = bytearray(4096)
    ns[0:8] = struct.pack("<Q", 1953525168)
    ns[8:16] = struct.pack("<Q", 1953525168)
    ns[16:24] = struct.pack("<Q", 123456)
    ns[104:120] = bytes(range(1, 17))
    ns[120:128] = bytes([0, 0x1B, 0x44, 0x8B, 0, 0, 0, 1])
    put("fuzz_nvme_identify", "namespace", bytes(ns))

    ext = bytearray(512)
    ext[143:155] = bytes([0, 0, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0])  # GP_SIZE_MULT
    ext[155], ext[156] = 1, 0x01  # PARTITION_SETTING_COMPLETED, PARTITIONS_ATTRIBUTE
    ext[160] = 0x07
    ext[192], ext[196] = 8, 0x57
    ext[221], ext[224] = 1, 8
    ext[267], ext[268], ext[269] = 1, 2, 1
    put("fuzz_ext_csd", "emmc51", bytes(ext))

    device = bytes([18, 1, 0x10, 0x03, 0, 0, 0, 9, 0x34, 0x12, 0x78, 0x56, 0, 1, 1, 2, 3, 1])
    config = bytes([9, 2, 32, 0, 1, 1, 0, 0x80, 50])
    iface0 = bytes([9, 4, 0, 0, 2, 8, 6, 0x50, 0])
    iface1 = bytes([9, 4, 0, 1, 2, 8, 6, 0x62, 0])
    endpoint = bytes([7, 5, 0x81, 2, 0, 2, 0])
    put("fuzz_usb_descriptors", "mass-storage", device + config + iface0 + endpoint + endpoint + iface1)
    bos = bytes([5, 0x0F, 42, 0, 3]) + bytes([7, 0x10, 2, 0x02, 0, 0, 0]) \
        + bytes([10, 0x10, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07]) + bytes([20, 0x10, 4, 0]) + bytes(range(16))
    put("fuzz_usb_descriptors", "bos", bos)
    ssp = bytes([5, 0x0F, 33, 0, 2]) + bytes([7, 0x10, 2, 0x02, 0, 0, 0]) \
        + bytes([20, 0x10, 0x0A, 0, 1, 0, 0, 0, 0, 0, 0, 0]) + struct.pack("<II", 0x000A4030, 0x000A40B0)
    put("fuzz_usb_descriptors", "superspeedplus", ssp)

    words = " ".join("%04x" % w for w in struct.unpack("<256H", ssd))
    put("fuzz_sysfs_text", "number", b"\x00976773168\n")
    put("fuzz_sysfs_text", "hex-number", b"\x000x1f\n")
    put("fuzz_sysfs_text", "identify-text", b"\x01" + words.encode() + b"\n")
    put("fuzz_sysfs_text", "csd", b"\x02d00f00320f5903ffffffffe7804000\n")
    put("fuzz_sysfs_text", "scr", b"\x020235800300000000\n")
    put("fuzz_sysfs_text", "pci", b"\x030000:00:1f.2")
    put("fuzz_sysfs_text", "pci-path", b"\x03/devices/pci0000:00/0000:00:1c.0/0000:02:00.0/nvme/nvme0/nvme0n1")
    put("fuzz_sysfs_text", "uevent", b"\x04sda\nadd\n/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/"
        b"0:0:0:0/block/sda/sda1\npartition")
    mbr = bytearray(1024)
    mbr[440:444] = struct.pack("<I", 0x12345678)
    mbr[446:462] = bytes([0x80, 1, 1, 0, 0x83, 0xFE, 0xFF, 0xFF]) + struct.pack("<II", 2048, 204800)
    mbr[510:512] = b"\x55\xAA"
    put("fuzz_sysfs_text", "mbr-blocks", b"\x05" + bytes(mbr))

    # Partition tables: header is flags, block count (u32), head size (u32).
    def disk(flags, count, head, tail=b""):
        return bytes([flags]) + struct.pack("<II", count, len(head)) + head + tail

    put("fuzz_partitions", "mbr", disk(4, 409600, bytes(mbr[:512])))
    ext_mbr = bytearray(512)
    ext_mbr[446:462] = bytes([0, 0, 0, 0, 0x05, 0, 0, 0]) + struct.pack("<II", 1, 100)
    ext_mbr[510:512] = b"\x55\xAA"
    ebr = bytearray(512)
    ebr[446:462] = bytes([0, 0, 0, 0, 0x83, 0, 0, 0]) + struct.pack("<II", 1, 10)
    ebr[462:478] = bytes([0, 0, 0, 0, 0x05, 0, 0, 0]) + struct.pack("<II", 20, 30)
    ebr[510:512] = b"\x55\xAA"
    put("fuzz_partitions", "mbr-extended", disk(4, 200, bytes(ext_mbr) + bytes(ebr)))

    for bs, flags in ((512, 4), (4096, 5)):
        count = 65536
        entries = bytearray(128 * 4)
        entries[0:16] = bytes.fromhex("28732ac11ff8d211ba4b00a0c93ec93b")  # EFI system (mixed endian)
        entries[16:32] = bytes(range(16))
        entries[32:48] = struct.pack("<QQ", 34 if bs == 512 else 6, 2047)
        entries[56:56 + 8] = "EFI".encode("utf-16-le") + b"\0\0"
        entries[128:144] = bytes.fromhex("af3dc60f838472478e793d69d8477de4")  # Linux data
        entries[144:160] = bytes(range(16, 32))
        entries[160:176] = struct.pack("<QQ", 2048, count - 40)

        def header(current, backup, array_lba):
            h = bytearray(92)
            h[0:8] = b"EFI PART"
            h[8:12] = struct.pack("<I", 0x10000)
            h[12:16] = struct.pack("<I", 92)
            h[24:40] = struct.pack("<QQ", current, backup)
            h[40:56] = struct.pack("<QQ", 34 if bs == 512 else 6, count - 34)
            h[56:72] = bytes(range(100, 116))
            h[72:80] = struct.pack("<Q", array_lba)
            h[80:88] = struct.pack("<II", 4, 128)
            h[88:92] = struct.pack("<I", zlib.crc32(bytes(entries)))
            h[16:20] = struct.pack("<I", zlib.crc32(bytes(h)))
            return bytes(h).ljust(bs, b"\0")

        pmbr = bytearray(bs)
        pmbr[446:462] = bytes([0, 0, 2, 0, 0xEE, 0xFF, 0xFF, 0xFF]) + struct.pack("<II", 1, min(count - 1, 0xFFFFFFFF))
        pmbr[510:512] = b"\x55\xAA"
        head = bytes(pmbr) + header(1, count - 1, 2) + bytes(entries).ljust(bs, b"\0")
        tail = bytes(entries).ljust(bs, b"\0") + header(count - 1, 1, count - 2)
        put("fuzz_partitions", "gpt-%d" % bs, disk(flags, count, head, tail))
        # primary header damaged: the backup must carry the table
        broken = head[:bs] + b"\0" * bs + head[2 * bs:]
        put("fuzz_partitions", "gpt-backup-%d" % bs, disk(flags, count, broken, tail))

    apm = bytearray(1024)
    apm[0:2] = b"ER"
    apm[2:4] = struct.pack(">H", 512)
    apm[512:514] = b"PM"
    apm[516:520] = struct.pack(">I", 1)
    apm[520:528] = struct.pack(">II", 1, 63)
    apm[528:532] = b"Apple"
    apm[560:573] = b"Apple_partition_map"[:13]
    put("fuzz_partitions", "apm", disk(4, 4096, bytes(apm)))
    fat = bytearray(512)
    fat[0:3] = b"\xEB\x3C\x90"
    fat[3:11] = b"MSDOS5.0"
    fat[11:13] = struct.pack("<H", 512)
    fat[13], fat[14], fat[16] = 4, 1, 2
    fat[17:19] = struct.pack("<H", 512)
    fat[19:21] = struct.pack("<H", 40960)
    fat[21], fat[22] = 0xF8, 40
    fat[38], fat[39:43] = 0x29, b"\x12\x34\x56\x78"
    fat[43:54] = b"ACME STICK "
    fat[54:62] = b"FAT16   "
    fat[510:512] = b"\x55\xAA"
    put("fuzz_partitions", "superfloppy-fat", disk(0, 40960, bytes(fat)))

    tree = {
        "system": {"hosted": False, "bootParameter": ""},
        "nodes": {
            "/devices/sata/disk0": {
                "drive": True, "label": "ACME SSD", "canonical": "sata0",
                "properties": {"TYPE": "SATA", "NAME": "ACME SSD", "SERIAL": "AC1", "NODE_SET_SCSI": 1,
                               "PCI_ADR": "0000:00:1f.2"},
                "sets": {"ATA_IDENTIFY": {"buffer": ssd.hex()},
                         "ATA_SMART": {"buffer": records(ATTRS).hex()}},
                "providers": {"1": {"properties": {"SCSI_MODEL": "ACME SSD"}, "sets": {}}},
                "storage": {"blockSize": 512, "blockCount": 1000},
                "fail": [],
            },
            "/devices/usb/stick0": {
                "drive": True, "label": "Stick",
                "properties": {"TYPE": "USB", "USB_VENDOR": {"int": 4660}, "USB_CLASS": "8:6:80",
                               "LIST": [1, "two", None, [3], {"name": "VPD_PAGE_0x83", "buffer": "00 83 00 00"}]},
                "storage": {"blockSize": 4096, "blockCount": 16},
            },
            "/devices/vsctrl": {"fail": ["open"]},
        },
        "companions": {"x": [{"path": "/devices/pci/0000:00:1f.2", "type": 2}]},
    }
    text = json.dumps(tree, indent=1)
    put("fuzz_nodetree", "machine.json", text)
    put("fuzz_simdrive", "machine.json", text)
    put("fuzz_nodetree", "include.json", '{"include": ["a.json", "../b.json"], "nodes": {"/x": {"drive": 1}}}')


if __name__ == "__main__":
    main()
