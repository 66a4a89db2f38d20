#!/usr/bin/env python3
"""Writes the demo ATA drives of the simulated machine.

For each drive: a 512-byte IDENTIFY DEVICE block (with its integrity word) and
a file of 12-byte S.M.A.R.T. attribute records (id, two flag bytes, value,
worst, six raw bytes little-endian, threshold) into examples/nodes/blobs/, and
the node-tree fragment examples/nodes/demo/ata.json that offers them.

Run from anywhere: python3 tools/demo/make_ata_blobs.py [--check]
With --check nothing is written; the exit status says whether the committed
files are what this script makes.
"""

import json
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
BLOBS = ROOT / "examples" / "nodes" / "blobs"
FRAGMENT = ROOT / "examples" / "nodes" / "demo" / "ata.json"


class Identify:
    """256 IDENTIFY words, set by number, packed little-endian."""

    def __init__(self):
        self.words = [0] * 256

    def set(self, word, value):
        self.words[word] = value & 0xFFFF
        return self

    def wide(self, first, count, value):
        for i in range(count):
            self.words[first + i] = (value >> (16 * i)) & 0xFFFF
        return self

    def text(self, first, count, s):
        """ATA text: two characters per word, high byte first, blank-padded."""
        data = s.encode("ascii").ljust(2 * count, b" ")[: 2 * count]
        for i in range(count):
            self.words[first + i] = data[2 * i] << 8 | data[2 * i + 1]
        return self

    def pack(self):
        block = bytearray(struct.pack("<256H", *self.words[:255], 0))
        block[510] = 0xA5
        block[511] = (-sum(block[:511])) & 0xFF
        assert sum(block) % 256 == 0
        return bytes(block)


def chs(block, sectors):
    """Legacy geometry words as drives fill them."""
    cylinders = min(16383, sectors // (16 * 63))
    block.set(1, cylinders).set(3, 16).set(6, 63)
    block.set(53, block.words[53] | 0x0001).set(54, cylinders).set(55, 16).set(56, 63)
    block.wide(57, 2, cylinders * 16 * 63)
    block.wide(60, 2, min(sectors, 0x0FFFFFFF))


def ssd():
    """A SATA SSD of the ACS-3 era: 512 GB, TRIM, NCQ, 6 Gb/s, WWN."""
    b = Identify()
    b.set(0, 0x0040)
    b.text(10, 10, "DS5120000042").text(23, 4, "DSF30100").text(27, 20, "DEMO SSD 512GB")
    b.set(47, 0x8010).set(49, 0x2F00).set(50, 0x4000).set(53, 0x0007).set(59, 0x0110)
    b.set(63, 0x0007).set(64, 0x0003).set(65, 120).set(66, 120).set(67, 120).set(68, 120)
    b.set(69, 0x4000 | 0x0020)  # deterministic read and zeroes after TRIM
    b.set(75, 0x001F).set(76, 0x870E).set(77, 0x0006).set(78, 0x0144).set(79, 0x0044)
    b.set(80, 0x07F0).set(81, 0x011B)  # ACS-3, revision 4
    b.set(82, 0x746B).set(83, 0x7D01).set(84, 0x6163).set(85, 0x7469).set(86, 0xBC01).set(87, 0x6163)
    b.set(88, 0x407F).set(89, 0x0001).set(90, 0x0001).set(92, 0xFFFE).set(93, 0x0000)
    b.set(105, 8).set(106, 0x4000)
    b.set(108, 0x5002).set(109, 0x5388).set(110, 0x0042).set(111, 0xC0DE)
    b.set(119, 0x415C).set(120, 0x415C).set(128, 0x0029).set(168, 0x0003).set(169, 0x0001)
    b.set(206, 0x003D).set(217, 0x0001).set(222, 0x10FF)
    sectors = 1000215216
    chs(b, sectors)
    b.wide(100, 4, sectors)
    attrs = [
        (0x05, 0x0033, 100, 100, 10, 0),
        (0x09, 0x0032, 99, 99, 0, 1234),
        (0x0C, 0x0032, 99, 99, 0, 312),
        (0xAB, 0x0032, 100, 100, 0, 0),
        (0xAC, 0x0032, 100, 100, 0, 0),
        (0xAE, 0x0032, 100, 100, 0, 17),
        (0xB1, 0x0013, 97, 97, 0, 38),
        (0xB4, 0x0033, 100, 100, 10, 3321),
        (0xBB, 0x0032, 100, 100, 0, 0),
        (0xC2, 0x0022, 67, 55, 0, 0x0037_0012_0021),
        (0xC7, 0x003E, 100, 100, 0, 0),
        (0xE8, 0x0033, 100, 100, 10, 100),
        (0xE9, 0x0032, 97, 97, 0, 3),
        (0xF1, 0x0032, 99, 99, 0, 2_733_912_064),
        (0xF2, 0x0032, 99, 99, 0, 3_902_114_880),
    ]
    return b.pack(), attrs


def pata():
    """An IDE disk of the ATA/ATAPI-6 years: 80 GB, UDMA 5, AAM, no 48-bit."""
    b = Identify()
    b.set(0, 0x0C5A)
    b.text(10, 10, "  3HV1D2E7").text(23, 4, "3.AAE").text(27, 20, "DEMO PATA 80")
    b.set(20, 3).set(21, 4096).set(22, 4)
    b.set(47, 0x8010).set(49, 0x2F00).set(53, 0x0007).set(59, 0x0110)
    b.set(63, 0x0007).set(64, 0x0003).set(65, 120).set(66, 120).set(67, 240).set(68, 120)
    b.set(80, 0x007E).set(81, 0x0018)  # ATA/ATAPI-6 T13 1410D revision 0
    b.set(82, 0x346B).set(83, 0x5A09).set(84, 0x4003).set(85, 0x3469).set(86, 0x1A09).set(87, 0x4003)
    b.set(88, 0x203F).set(89, 0x0014).set(91, 0x00C0).set(93, 0x600B).set(94, 0x80FE)
    b.set(128, 0x0001)
    chs(b, 156301488)
    attrs = [
        (0x01, 0x000F, 100, 253, 6, 0),
        (0x03, 0x0003, 97, 97, 0, 0),
        (0x04, 0x0032, 99, 99, 20, 1043),
        (0x05, 0x0033, 100, 100, 36, 0),
        (0x07, 0x000F, 78, 60, 30, 72_115_523),
        (0x09, 0x0032, 62, 62, 0, 33_512),
        (0x0A, 0x0013, 100, 100, 97, 0),
        (0x0C, 0x0032, 99, 99, 20, 1051),
        (0xC2, 0x0022, 38, 51, 0, 38),
        (0xC3, 0x001A, 58, 48, 0, 181_524_114),
        (0xC5, 0x0012, 100, 100, 0, 0),
        (0xC6, 0x0010, 100, 100, 0, 0),
        (0xC7, 0x003E, 200, 200, 0, 0),
        (0xC8, 0x0000, 100, 253, 0, 0),
        (0xCA, 0x0032, 100, 253, 0, 0),
    ]
    return b.pack(), attrs


def compact_flash():
    """A 4 GB CompactFlash card: PIO 6, multiword DMA 4, UDMA 4."""
    b = Identify()
    b.set(0, 0x848A)
    sectors = 7_831_152
    b.set(1, 7769).set(3, 16).set(6, 63).wide(7, 1, sectors >> 16).set(8, sectors & 0xFFFF)
    b.text(10, 10, "CF0004GB2201").text(23, 4, "CF 1.20").text(27, 20, "DEMO CF 4GB")
    b.set(47, 0x8001).set(49, 0x0F00).set(53, 0x0007)
    b.set(63, 0x0007).set(64, 0x0003).set(65, 80).set(66, 80).set(67, 80).set(68, 80)
    b.set(82, 0x500C).set(83, 0x5004).set(84, 0x4000).set(85, 0x500C).set(86, 0x1004)
    b.set(88, 0x101F)
    b.set(160, 0x8064).set(162, 0x0000).set(163, 0x0492).set(164, 0x001B)
    b.wide(57, 2, sectors).wide(60, 2, sectors)
    attrs = [
        (0x09, 0x0000, 100, 100, 0, 812),
        (0x0C, 0x0000, 100, 100, 0, 95),
        (0xAB, 0x0000, 100, 100, 0, 0),
        (0xAC, 0x0000, 100, 100, 0, 0),
        (0xAD, 0x0000, 98, 98, 0, 41),
        (0xC4, 0x0000, 100, 100, 0, 0),
    ]
    return b.pack(), attrs


def failing():
    """A 1 TB SATA disk past its reallocation threshold: the drive says it is failing."""
    b = Identify()
    b.set(0, 0x0C5A)
    b.text(10, 10, "W1D0FAIL").text(23, 4, "CC46").text(27, 20, "DEMO HDD 1TB")
    b.set(47, 0x8010).set(49, 0x2F00).set(53, 0x0007).set(59, 0x0110)
    b.set(63, 0x0007).set(64, 0x0003).set(65, 120).set(66, 120).set(67, 120).set(68, 120)
    b.set(75, 0x001F).set(76, 0x050E).set(78, 0x0048).set(79, 0x0040)
    b.set(80, 0x01F0).set(81, 0x0029)  # ATA8-ACS version 4
    b.set(82, 0x746B).set(83, 0x7F61).set(84, 0x6123).set(85, 0x7469).set(86, 0xBE41).set(87, 0x6123)
    b.set(88, 0x407F).set(89, 0x00B0).set(90, 0x00B0).set(92, 0xFFFE).set(94, 0x80FE)
    b.set(106, 0x6003).set(108, 0x5000).set(109, 0xC500).set(110, 0x1BAD).set(111, 0xD15C)
    b.set(128, 0x0021).set(168, 0x0002).set(206, 0x003F).set(217, 7200).set(222, 0x101F)
    sectors = 1953525168
    chs(b, sectors)
    b.wide(100, 4, sectors)
    attrs = [
        (0x01, 0x000F, 98, 88, 6, 178_441_221),
        (0x03, 0x0003, 96, 95, 0, 0),
        (0x04, 0x0032, 99, 99, 20, 1821),
        (0x05, 0x0033, 31, 31, 36, 2_847),  # below its threshold: the reason for the verdict
        (0x07, 0x000F, 81, 60, 30, 131_733_104),
        (0x09, 0x0032, 71, 71, 0, 25_790),
        (0x0A, 0x0013, 100, 100, 97, 0),
        (0x0C, 0x0032, 99, 99, 20, 1830),
        (0xB7, 0x0032, 100, 100, 0, 0),
        (0xB8, 0x0032, 100, 100, 99, 0),
        (0xBB, 0x0032, 1, 1, 0, 412),
        (0xBC, 0x0032, 100, 99, 0, 0x0001_0001_0002),
        (0xBD, 0x003A, 100, 100, 0, 0),
        (0xBE, 0x0022, 62, 48, 45, 0x2A13_0026),
        (0xC2, 0x0022, 38, 52, 0, 38),
        (0xC3, 0x001A, 38, 23, 0, 178_441_221),
        (0xC5, 0x0012, 1, 1, 0, 3_712),
        (0xC6, 0x0010, 1, 1, 0, 3_712),
        (0xC7, 0x003E, 200, 200, 0, 0),
        (0xF0, 0x0000, 100, 253, 0, 0x3F20_0000_5A31),
        (0xF1, 0x0000, 100, 253, 0, 9_911_822_311),
        (0xF2, 0x0000, 100, 253, 0, 12_441_990_731),
    ]
    return b.pack(), attrs


def records(attrs):
    out = bytearray()
    for ident, flags, value, worst, threshold, raw in attrs:
        assert raw < 1 << 48
        out += struct.pack("<BHBB", ident, flags, value, worst) + raw.to_bytes(6, "little") + bytes([threshold])
    return bytes(out)


DRIVES = [
    # (blob name, node path, label, TYPE, health status, maker, decode)
    ("demo-ssd", "/devices/sata/demo-ssd", "Demo SATA SSD 512 GB", "SATA", 1, ssd),
    ("demo-pata", "/devices/ide/demo-pata", "Demo IDE disk 80 GB", "IDE", 1, pata),
    ("demo-cf", "/devices/cf/demo-cf", "Demo CompactFlash card 4 GB", "CF", 1, compact_flash),
    ("demo-failing", "/devices/sata/demo-failing", "Demo failing SATA disk 1 TB", "SATA", 0, failing),
]


def model_and_serial(block):
    words = struct.unpack("<256H", block)

    def text(first, count):
        return b"".join(struct.pack(">H", w) for w in words[first : first + count]).decode("ascii").strip()

    return text(27, 20), text(10, 10), words[60] | words[61] << 16, words[100] | words[101] << 16


def build():
    files = {}
    nodes = {}
    for name, path, label, kind, status, maker in DRIVES:
        block, attrs = maker()
        files[BLOBS / f"{name}.identify.bin"] = block
        files[BLOBS / f"{name}.attributes.bin"] = records(attrs)
        model, serial, lba28, lba48 = model_and_serial(block)
        nodes[path] = {
            "drive": True,
            "label": label,
            "canonical": name,
            "properties": {
                "TYPE": kind,
                "NAME": model,
                "SERIAL": serial,
                "ATA_SMART_ENABLED": {"name": "ATA_SMART_ENABLED", "int": 1},
                "ATA_SMART_STATUS": status,
            },
            "sets": {
                "ATA_IDENTIFY": {"file": f"../blobs/{name}.identify.bin"},
                "ATA_SMART_ATTRIBUTES": {"file": f"../blobs/{name}.attributes.bin"},
            },
            "storage": {"blockSize": 512, "blockCount": lba48 or lba28},
        }
    files[FRAGMENT] = (json.dumps({"nodes": nodes}, indent=2) + "\n").encode()
    return files


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for path, data in build().items():
        if check:
            if not path.is_file() or path.read_bytes() != data:
                stale.append(path)
            continue
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        print(f"wrote {path.relative_to(ROOT)} ({len(data)} bytes)")
    for path in stale:
        print(f"out of date: {path.relative_to(ROOT)}", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
