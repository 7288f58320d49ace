#!/usr/bin/python3
"""Draws the monitor's images (program and tray icons, status images, tool-bar buttons) as PNG
files in resources/wardlet/, and the program icon in the sizes of the desktop's icon theme in
resources/icons/hicolor/. The pixel art is made here, from shapes, so it can be renewed:
    scripts/make_images.py"""
import math, os, struct, zlib

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
OUT = os.path.join(RESOURCES, "wardlet")
ICONS = os.path.join(RESOURCES, "icons", "hicolor")


def png(path, size, pixel):
    """pixel(x, y) -> (r, g, b, a) in 0..255, sampled 4x4 per pixel for smooth edges."""
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    r, g, b, a = pixel((x + (sx + 0.5) / 4) / size, (y + (sy + 0.5) / 4) / size)
                    acc[0] += r * a; acc[1] += g * a; acc[2] += b * a; acc[3] += a
            a = acc[3] / 16
            row += bytes([int(acc[0] / acc[3]) if acc[3] else 0, int(acc[1] / acc[3]) if acc[3] else 0,
                          int(acc[2] / acc[3]) if acc[3] else 0, int(round(a))])
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", raw) + chunk(b"IEND", b""))


CLEAR = (0, 0, 0, 0)
INK = (40, 44, 52, 255)


def layers(*shapes):
    """The first shape (front to back) that covers a point gives its colour."""
    def pixel(x, y):
        for shape in shapes:
            c = shape(x, y)
            if c:
                return c
        return CLEAR
    return pixel


def page(fill, x0=0.16, y0=0.06, x1=0.84, y1=0.94, fold=0.22, line=0.07):
    """A document page with a folded top-right corner and an outline."""
    def shape(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return None
        if x - (x1 - fold) > y - y0:  # cut corner
            return None
        if abs((x - (x1 - fold)) - (y - y0)) < line * 0.7 or x >= x1 - fold and y <= y0 + fold and (
                x >= x1 - fold and abs(y - (y0 + fold)) < line / 2 or abs(x - (x1 - fold)) < line / 2):
            return INK
        if x - x0 < line or x1 - x < line or y - y0 < line or y1 - y < line:
            return INK
        return fill
    return shape


def disc(cx, cy, r, color, ring=None):
    def shape(x, y):
        d = math.hypot(x - cx, y - cy)
        if d > r:
            return None
        if ring and d > r - ring:
            return INK
        return color
    return shape


def rect(x0, y0, x1, y1, color):
    return lambda x, y: color if x0 <= x <= x1 and y0 <= y <= y1 else None


def text_lines(x0, x1, ys, color=(150, 160, 175, 255), h=0.035):
    return lambda x, y: color if x0 <= x <= x1 and any(abs(y - v) < h for v in ys) else None


def gear(cx, cy, r, color):
    def shape(x, y):
        d = math.hypot(x - cx, y - cy)
        a = math.atan2(y - cy, x - cx)
        tooth = r * (1.0 if math.cos(8 * a) > 0.3 else 0.78)
        if d < r * 0.32:
            return None
        if d <= tooth:
            return INK if d > tooth - 0.05 or d < r * 0.32 + 0.05 else color
        return None
    return shape


def arrow_ring(cx, cy, r, w, color):
    """A circular arrow (check again)."""
    def shape(x, y):
        d = math.hypot(x - cx, y - cy)
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        if abs(d - r) < w / 2 and not (300 < a < 360):
            return color
        # arrow head at 300 degrees
        hx, hy = cx + r * math.cos(math.radians(300)), cy + r * math.sin(math.radians(300))
        if abs(x - hx) + abs(y - hy) < w * 1.3 and y > hy - w * 1.3 and x < hx + w:
            return color
        return None
    return shape


WHITE, YELLOW, RED, GREEN = (255, 255, 255, 255), (255, 214, 64, 255), (226, 64, 56, 255), (72, 190, 80, 255)
BLUE = (52, 120, 210, 255)

os.makedirs(OUT, exist_ok=True)
for name, fill in [("status_checked", WHITE), ("status_retrieving", YELLOW), ("status_unavailable", RED),
                   ("status_changed", GREEN)]:
    png(os.path.join(OUT, name + ".png"), 16, layers(page(fill, line=0.09)))

# The program icon: a page watched by a blue eye.
def eye(cx, cy, w, h):
    def shape(x, y):
        nx, ny = (x - cx) / w, (y - cy) / h
        if nx * nx + ny * ny > 1:
            return None
        d = math.hypot(x - cx, y - cy)
        if d < h * 0.45:
            return INK
        if d < h * 0.85:
            return BLUE
        return WHITE if nx * nx + ny * ny < 0.8 else INK
    return shape


program = layers(eye(0.56, 0.62, 0.36, 0.22), text_lines(0.26, 0.66, [0.26, 0.36]),
                 page((236, 242, 250, 255), line=0.06))
for size in (16, 32, 48):
    png(os.path.join(OUT, "wardlet_%d.png" % size), size, program)
png(os.path.join(OUT, "tray.png"), 16, program)
# The same drawing for the desktop's icon theme (installed under share/icons/hicolor); its
# scalable/apps/wardlet.svg is drawn by hand after the shapes above.
for size in (16, 32, 48, 256):
    folder = os.path.join(ICONS, "%dx%d" % (size, size), "apps")
    os.makedirs(folder, exist_ok=True)
    png(os.path.join(folder, "wardlet.png"), size, program)

png(os.path.join(OUT, "tool_options.png"), 42, layers(gear(0.5, 0.5, 0.4, (170, 178, 190, 255))))
png(os.path.join(OUT, "tool_add.png"), 42,
    layers(rect(0.56, 0.48, 0.68, 0.9, GREEN), rect(0.42, 0.63, 0.82, 0.75, GREEN),
           text_lines(0.3, 0.62, [0.3, 0.4]), page(WHITE, 0.2, 0.1, 0.76, 0.9, line=0.05)))
png(os.path.join(OUT, "tool_check.png"), 42,
    layers(arrow_ring(0.6, 0.62, 0.22, 0.09, BLUE), text_lines(0.3, 0.62, [0.3, 0.4]),
           page(WHITE, 0.16, 0.08, 0.72, 0.9, line=0.05)))
png(os.path.join(OUT, "tool_open.png"), 42,
    layers(rect(0.12, 0.5, 0.88, 0.88, (236, 190, 80, 255)), rect(0.12, 0.38, 0.45, 0.5, (220, 170, 60, 255)),
           text_lines(0.34, 0.66, [0.22, 0.32]), page(WHITE, 0.28, 0.08, 0.74, 0.6, line=0.05)))
print("images written to", os.path.normpath(OUT), "and", os.path.normpath(ICONS))
