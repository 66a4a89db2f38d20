#!/usr/bin/env python3
"""Draws the program's icons into resources/images/ as uncompressed PNG files.

Only the standard library: every icon is a stack of filled shapes in unit
coordinates, rendered with 4x4 supersampling and written by a small PNG writer
(stored deflate blocks, so the files stay uncompressed). Run from anywhere:
    python3 tools/demo/make_icons.py
"""
import math
import os
import struct
import zlib

SAMPLES = 4

# -- shapes: functions (x, y) -> bool in unit coordinates, y pointing down ----


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in, gap_from=None, gap_to=None):
    """Annulus; optionally without the angular gap [gap_from, gap_to] (degrees, 0 = right, clockwise)."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not (r_in * r_in <= d2 <= r_out * r_out):
            return False
        if gap_from is None:
            return True
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return not (gap_from <= a <= gap_to)
    return inside


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        if radius <= 0:
            return True
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def stroke(points, width):
    """A polyline of the given width with round joins."""
    half = width / 2

    def inside(x, y):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            dx, dy = bx - ax, by - ay
            length2 = dx * dx + dy * dy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            px, py = ax + t * dx, ay + t * dy
            if (x - px) ** 2 + (y - py) ** 2 <= half * half:
                return True
        return False
    return inside


# -- rendering -----------------------------------------------------------------


def render(size, layers):
    """layers: list of ((r, g, b, a), shape). Returns rows of RGBA bytes."""
    rows = []
    step = 1.0 / (size * SAMPLES)
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px * SAMPLES + sx + 0.5) * step
                    y = (py * SAMPLES + sy + 0.5) * step
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for (r, g, b, a), shape in layers:
                        if shape(x, y):
                            fa = a / 255.0
                            cr, cg, cb, ca = colour
                            colour = (r * fa + cr * (1 - fa), g * fa + cg * (1 - fa),
                                      b * fa + cb * (1 - fa), fa + ca * (1 - fa))
                    for i in range(4):
                        acc[i] += colour[i]
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [min(255, round(acc[i] / n / alpha)) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(raw, 0)))
        f.write(chunk(b"IEND", b""))


# -- the icons -----------------------------------------------------------------

GREEN = (46, 160, 67, 255)
RED = (207, 34, 46, 255)
AMBER = (230, 160, 20, 255)
WHITE = (255, 255, 255, 255)
DARK = (40, 40, 40, 255)
BLUE = (40, 110, 190, 255)
STEEL = (120, 130, 145, 255)
STEEL_DARK = (70, 78, 90, 255)
PLATTER = (205, 210, 218, 255)


def ok_icon():
    return [(GREEN, circle(0.5, 0.5, 0.47)),
            (WHITE, stroke([(0.27, 0.52), (0.43, 0.68), (0.74, 0.34)], 0.13))]


def error_icon():
    return [(RED, circle(0.5, 0.5, 0.47)),
            (WHITE, stroke([(0.32, 0.32), (0.68, 0.68)], 0.13)),
            (WHITE, stroke([(0.68, 0.32), (0.32, 0.68)], 0.13))]


def warning_icon():
    return [(AMBER, polygon([(0.5, 0.04), (0.97, 0.92), (0.03, 0.92)])),
            (DARK, stroke([(0.5, 0.34), (0.5, 0.62)], 0.12)),
            (DARK, circle(0.5, 0.78, 0.065))]


def reload_icon():
    # An open ring turning clockwise with an arrow head at its upper end.
    return [(BLUE, ring(0.5, 0.52, 0.42, 0.25, 245, 300)),
            (BLUE, polygon([(0.50, 0.0), (0.83, 0.12), (0.55, 0.36)]))]


def drive_icon():
    # A hard disk seen from above with a pulse line: the drive's health.
    return [(STEEL_DARK, rect(0.08, 0.04, 0.92, 0.96, 0.1)),
            (STEEL, rect(0.12, 0.08, 0.88, 0.92, 0.08)),
            (PLATTER, circle(0.5, 0.42, 0.3)),
            (STEEL_DARK, circle(0.5, 0.42, 0.06)),
            (GREEN, stroke([(0.16, 0.82), (0.36, 0.82), (0.44, 0.72), (0.52, 0.9), (0.6, 0.78),
                            (0.84, 0.78)], 0.06))]


ICONS = {
    "status.ok.png": (32, ok_icon),
    "status.ok.16.png": (16, ok_icon),
    "status.err.png": (32, error_icon),
    "status.err.14.png": (14, error_icon),
    "status.warning.16.png": (16, warning_icon),
    "reload.16.t.png": (16, reload_icon),
    "reload.14.t.png": (14, reload_icon),
    "smart.png": (48, drive_icon),
    "smart.small.png": (16, drive_icon),
    "icon.drivescope.16.png": (16, drive_icon),
}


# The desktop's application icon, installed into the icon theme (not compiled in).
DESKTOP_ICONS = {
    "drivescope.48.png": (48, drive_icon),
    "drivescope.128.png": (128, drive_icon),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for folder, icons in (("images", ICONS), ("desktop", DESKTOP_ICONS)):
        out = os.path.join(here, "..", "..", "resources", folder)
        os.makedirs(out, exist_ok=True)
        for name, (size, draw) in sorted(icons.items()):
            write_png(os.path.join(out, name), size, render(size, draw()))
            print(os.path.join("resources", folder, name))


if __name__ == "__main__":
    main()
