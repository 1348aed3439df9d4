#!/usr/bin/env python3
"""Draws the example screens' pictures: the branded screen's background, logo and pattern tile, and the
animated screen's runner (a GIF). Run it after changing a picture; the files it writes are kept in the
repository so that the examples preview straight from the source tree. Only the standard library: PNG through
zlib, GIF with its LZW codes written plainly (a clear code often enough that the code width never grows)."""
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(max(0, min(255, int(round(c)))) for c in pixel(x, y)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
                  + chunk(b"IEND", b""))


def gif(path, width, height, palette, frames, delay):
    """frames: lists of palette indices (at most 128 colours); delay in hundredths of a second."""
    palette = list(palette) + [(0, 0, 0)] * (128 - len(palette))
    out = bytearray(b"GIF89a" + struct.pack("<HH", width, height) + bytes([0xF6, 0, 0]))
    for colour in palette:
        out.extend(bytes(colour))
    out.extend(b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00")
    for indices in frames:
        out.extend(b"\x21\xF9\x04\x04" + struct.pack("<H", delay) + b"\x00\x00")
        out.extend(b"\x2C" + struct.pack("<HHHH", 0, 0, width, height) + b"\x00\x07")
        codes = bytearray()
        for i, index in enumerate(indices):
            if i % 100 == 0:
                codes.append(128)  # clear: the table never reaches 256 entries and 9-bit codes
            codes.append(index)
        codes.append(129)
        for start in range(0, len(codes), 255):
            block = codes[start:start + 255]
            out.extend(bytes([len(block)]) + block)
        out.append(0)
    out.append(0x3B)
    with open(path, "wb") as f:
        f.write(out)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def background(x, y, width=960, height=640):
    """A dusk sky: a vertical gradient with a soft glow low in the middle."""
    t = y / (height - 1)
    sky = mix((18, 24, 58), (120, 52, 96), t)
    glow = math.exp(-(((x - width / 2) / (width * 0.35)) ** 2 + ((y - height * 0.9) / (height * 0.35)) ** 2))
    return mix(sky, (255, 170, 90), glow * 0.7) + (255,)


def logo(x, y, size=96):
    """A ring with a chevron inside, on transparency, its edges smoothed by 4x4 samples."""
    covered_ring = covered_mark = 0
    for sy in range(4):
        for sx in range(4):
            px, py = x + (sx + 0.5) / 4 - size / 2, y + (sy + 0.5) / 4 - size / 2
            r = math.hypot(px, py)
            if size * 0.36 <= r <= size * 0.46:
                covered_ring += 1
            elif abs(px) < size * 0.22 and abs(py - abs(px) * 0.9 + size * 0.08) < size * 0.07:
                covered_mark += 1
    ring, mark = covered_ring / 16, covered_mark / 16
    alpha = max(ring, mark)
    colour = mix((255, 200, 120), (255, 255, 255), mark / alpha) if alpha else (0, 0, 0)
    return colour + (alpha * 255,)


def pattern(x, y, size=16):
    """A tile of a small diamond, faint: the strip at the foot of the branded screen repeats it."""
    d = abs(x - size / 2 + 0.5) + abs(y - size / 2 + 0.5)
    on = d < size * 0.3
    return (255, 255, 255, 70 if on else 18)


def runner_frames(width=48, height=48, count=8):
    """A ball that bounces and squashes: eight frames of a loop."""
    palette = [(13, 17, 23)] + [mix((13, 17, 23), (255, 176, 64), i / 15) for i in range(1, 16)]
    palette = [tuple(int(c) for c in colour) for colour in palette]
    frames = []
    for frame in range(count):
        phase = frame / count
        height_up = abs(math.sin(phase * math.pi))
        cy = height - 10 - height_up * 26
        squash = 1.0 - 0.35 * max(0.0, 1 - height_up * 4)
        rx, ry = 9 / squash ** 0.5, 9 * squash
        indices = []
        for y in range(height):
            for x in range(width):
                inside = 0
                for sy in range(2):
                    for sx in range(2):
                        dx = (x + (sx + 0.5) / 2 - width / 2) / rx
                        dy = (y + (sy + 0.5) / 2 - cy) / ry
                        inside += dx * dx + dy * dy <= 1
                shadow = y >= height - 4 and abs(x - width / 2) < 10 * (1.2 - height_up)
                indices.append(inside * 15 // 4 if inside else (3 if shadow else 0))
        frames.append(indices)
    return width, height, palette, frames


def main():
    branded = os.path.join(HERE, "branded")
    png(os.path.join(branded, "background.png"), 960, 640, background)
    png(os.path.join(branded, "logo.png"), 96, 96, logo)
    png(os.path.join(branded, "pattern.png"), 16, 16, pattern)
    width, height, palette, frames = runner_frames()
    gif(os.path.join(HERE, "animated", "runner.gif"), width, height, palette, frames, 8)
    return 0


if __name__ == "__main__":
    sys.exit(main())
