#!/usr/bin/env python3
"""Writes the NVMe health logs of the demo machine's NVMe drives.

Each is the 512-byte SMART / Health Information log page (log identifier 02h)
as a drive returns it, into examples/nodes/blobs/, offered by the drives of
examples/nodes/demo/interfaces.json as the set "NVME_SMART_LOG".

Run from anywhere: python3 tools/demo/make_nvme_logs.py [--check]
With --check nothing is written; the exit status says whether the committed
files are what this script makes.
"""

import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
BLOBS = ROOT / "examples" / "nodes" / "blobs"

COUNTERS = ["units_read", "units_written", "host_reads", "host_writes", "busy_minutes", "power_cycles",
            "power_on_hours", "unsafe_shutdowns", "media_errors", "error_log_entries"]


def log_page(warning, kelvin, spare, threshold, used, counters, warning_minutes, critical_minutes, sensors):
    page = bytearray(512)
    struct.pack_into("<BHBBB", page, 0, warning, kelvin, spare, threshold, used)
    for i, name in enumerate(COUNTERS):  # 16-byte little-endian counters from byte 32
        page[32 + 16 * i:48 + 16 * i] = counters.get(name, 0).to_bytes(16, "little")
    struct.pack_into("<II", page, 192, warning_minutes, critical_minutes)
    for i, k in enumerate(sensors):
        struct.pack_into("<H", page, 200 + 2 * i, k)
    return bytes(page)


LOGS = {
    # A drive in good shape: 38 degrees, full spare, 3 % of its rated life used.
    "demo-nvme-healthy.smartlog.bin": log_page(
        0x00, 311, 100, 10, 3,
        {"units_read": 18532901, "units_written": 14210733, "host_reads": 312455120, "host_writes": 268003914,
         "busy_minutes": 1024, "power_cycles": 612, "power_on_hours": 3907, "unsafe_shutdowns": 41,
         "error_log_entries": 12},
        0, 0, [311, 318]),
    # A worn drive: spare below threshold, reliability degraded, too hot.
    "demo-nvme-warning.smartlog.bin": log_page(
        0x07, 355, 4, 10, 107,
        {"units_read": 402117346, "units_written": 1291004877, "host_reads": 5120448711,
         "host_writes": 9822310054, "busy_minutes": 88120, "power_cycles": 2210, "power_on_hours": 31876,
         "unsafe_shutdowns": 318, "media_errors": 23, "error_log_entries": 1536},
        310, 4, [355, 0, 349]),
}


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name, data in LOGS.items():
        path = BLOBS / name
        if check:
            if not path.exists() or path.read_bytes() != data:
                stale.append(name)
        else:
            path.write_bytes(data)
    for name in stale:
        print(f"{name} is not what {pathlib.Path(__file__).name} makes", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
