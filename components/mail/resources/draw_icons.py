#!/usr/bin/env python3
"""Draws the Send Message window's small icons (32x32 and 16x16, 32-bit)."""
import math
import struct
import sys

N = 32


class Canvas:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * N for _ in range(N)]

    def dot(self, x, y, c):
        if 0 <= x < N and 0 <= y < N:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill, edge=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                self.dot(x, y, edge if (edge and border) else fill)

    def line(self, x0, y0, x1, y1, c, w=1.0):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 3) + 1
        r = w / 2
        for i in range(steps + 1):
            t = i / steps
            cx, cy = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
            for y in range(int(cy - r - 1), int(cy + r + 2)):
                for x in range(int(cx - r - 1), int(cx + r + 2)):
                    if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                        self.dot(x, y, c)

    def poly(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            xs = []
            for i in range(len(pts)):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
                if (ay <= y + 0.5 < by) or (by <= y + 0.5 < ay):
                    xs.append(ax + (y + 0.5 - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(round(a)), int(round(b))):
                    self.dot(x, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(N):
            for x in range(N):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.dot(x, y, c)


WHITE = (255, 255, 255, 255)
INK = (40, 40, 60, 255)
PAPER = (250, 250, 240, 255)
BLUE = (40, 90, 200, 255)
RED = (210, 40, 40, 255)
GREEN = (30, 150, 60, 255)
YELLOW = (245, 200, 40, 255)
GREY = (150, 150, 160, 255)
SKIN = (240, 190, 150, 255)
BROWN = (140, 90, 40, 255)


def page(c, x0=7, y0=3, x1=24, y1=28):
    c.poly([(x0, y0), (x1 - 6, y0), (x1, y0 + 6), (x1, y1), (x0, y1)], INK)
    c.poly([(x0 + 1, y0 + 1), (x1 - 6, y0 + 1), (x1 - 1, y0 + 6), (x1 - 1, y1 - 1), (x0 + 1, y1 - 1)], PAPER)
    c.poly([(x1 - 6, y0), (x1, y0 + 6), (x1 - 6, y0 + 6)], GREY)


def file_icon(c):
    page(c)
    for y in (12, 16, 20, 24):
        c.line(10, y, 21, y, BLUE, 1.2)


def clip_icon(c):
    c.line(12, 6, 12, 24, GREY, 2.2)
    c.line(20, 10, 20, 26, GREY, 2.2)
    c.line(16, 3, 16, 20, GREY, 2.2)
    c.line(12, 6, 14, 3, GREY, 2.2)
    c.line(14, 3, 18, 3, GREY, 2.2)
    c.line(18, 3, 20, 6, GREY, 2.2)
    c.line(20, 6, 20, 10, GREY, 2.2)
    c.line(12, 24, 14, 28, GREY, 2.2)
    c.line(14, 28, 18, 28, GREY, 2.2)
    c.line(18, 28, 20, 26, GREY, 2.2)
    c.line(16, 20, 17, 22, GREY, 2.2)


def to_icon(c):
    c.rect(3, 8, 28, 26, PAPER, INK)
    c.disc(11, 14, 3.2, SKIN)
    c.poly([(6, 24), (8, 19), (14, 19), (16, 24)], BLUE)
    for y in (13, 17, 21):
        c.line(18, y, 25, y, INK, 1.2)


def new_icon(c):
    page(c)
    c.rect(14, 12, 17, 25, GREEN)
    c.rect(9, 17, 22, 20, GREEN)


def edit_icon(c):
    page(c, 4, 3, 21, 28)
    c.line(12, 26, 27, 9, YELLOW, 4.0)
    c.line(27, 9, 29, 7, RED, 4.0)
    c.poly([(9, 29), (10, 24), (14, 27)], BROWN)


def delete_icon(c):
    c.line(7, 7, 25, 25, RED, 5.0)
    c.line(25, 7, 7, 25, RED, 5.0)


def send_icon(c):
    c.rect(2, 9, 23, 25, PAPER, INK)
    c.line(2, 9, 12, 18, INK, 1.2)
    c.line(23, 9, 12, 18, INK, 1.2)
    c.poly([(19, 16), (26, 16), (26, 12), (31, 19), (26, 26), (26, 22), (19, 22)], GREEN)


def exit_icon(c):
    c.rect(6, 3, 20, 28, BROWN, INK)
    c.rect(9, 6, 17, 25, (180, 130, 70, 255))
    c.disc(15, 16, 1.3, YELLOW)
    c.poly([(16, 13), (24, 13), (24, 9), (30, 16), (24, 23), (24, 19), (16, 19)], RED)


def bmp_entry(px, size):
    scale = N // size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for dy in range(scale):
                for dx in range(scale):
                    r, g, b, a = px[y * scale + dy][x * scale + dx]
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = scale * scale
            a = acc[3] // n
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], a))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("BBBB", b, g, r, a) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    return header + pixels + mask


def write_ico(path, draw):
    c = Canvas()
    draw(c)
    entries = [bmp_entry(c.px, 32), bmp_entry(c.px, 16)]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in zip((32, 16), entries):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(entries))


ICONS = {
    "FILE.ICO": file_icon,
    "CLIP07.ICO": clip_icon,
    "TO2.ICO": to_icon,
    "NEW1.ICO": new_icon,
    "EDIT1.ICO": edit_icon,
    "DELETE1.ICO": delete_icon,
    "SEND2.ICO": send_icon,
    "exit5.ico": exit_icon,
}

if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, draw in ICONS.items():
        write_ico(f"{folder}/{name}", draw)
