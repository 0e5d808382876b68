#!/usr/bin/env python3
"""Draw the Quorvel app icon and write it as a multi-image .ico.

Standard library only, so anyone with Python 3 can regenerate it.
Every size is drawn from its own tuned geometry rather than scaled,
so the small frames stay crisp.

Usage:
    make_icon.py [OUT.ico] [--png DIR]

--png DIR also writes enlarged previews (read back from the .ico bytes)
over a checkerboard and over a dark background.
"""

import os
import struct
import sys
import zlib

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_OUT = os.path.join(REPO_ROOT, "resources", "quorvel.ico")

# Samples per pixel edge; 16x16 gives 256 coverage levels, enough for 8-bit alpha.
SS = 16

# Background gradient, top-left to bottom-right.
GRAD_A = (0x12, 0xB5, 0xA8)   # teal
GRAD_B = (0x1D, 0x4E, 0xD8)   # deep blue
WHITE = (0xFF, 0xFF, 0xFF)

# Per-size geometry in pixel units (origin top-left, y down).
# sq: rounded square bounds; r: corner radius (anti-aliased frames);
# r8: corner radius for the hard-edged 8-bit frames, picked by the staircase
# it yields (32px cuts 4,2,1,1; 16px cuts 2,1) so corners read round, not
# chamfered. Ring centre and radii sit on pixel boundaries so the ring's
# outer/inner extremes are crisp. The ring is nudged up-left where the tail
# needs room. tail: offsets along the 45-degree diagonal from the ring
# centre, and its half width; it pokes into the hole and only a little past
# the ring so it reads as a Q, not a magnifier.
GEOMETRY = {
    48: dict(sq=(2, 2, 46, 46), r=9.0,
             c=(23.0, 23.0), ro=14.0, ri=8.0,
             tail=(4.0, 22.0), hw=3.0),
    32: dict(sq=(1, 1, 31, 31), r=6.0, r8=6.0,
             c=(15.0, 15.0), ro=10.0, ri=6.0,
             tail=(3.0, 15.0), hw=2.0),
    16: dict(sq=(0, 0, 16, 16), r=3.0, r8=3.8,
             c=(8.0, 8.0), ro=6.0, ri=4.0,
             tail=(2.0, 9.0), hw=1.0),
}

# (size, bpp) in directory order, with the image byte counts they must have.
FRAMES = [(48, 32, 9640), (32, 32, 4264), (32, 8, 2216), (16, 32, 1128), (16, 8, 1384)]
TOTAL_SIZE = 18718


def in_rounded_square(x, y, sq, r):
    x0, y0, x1, y1 = sq
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    # Distance into the nearest corner's quarter circle, if in a corner zone.
    dx = (x0 + r - x) if x < x0 + r else (x - (x1 - r)) if x > x1 - r else 0.0
    dy = (y0 + r - y) if y < y0 + r else (y - (y1 - r)) if y > y1 - r else 0.0
    return dx * dx + dy * dy <= r * r


def in_q(x, y, g):
    cx, cy = g["c"]
    dx, dy = x - cx, y - cy
    d2 = dx * dx + dy * dy
    if g["ri"] * g["ri"] <= d2 <= g["ro"] * g["ro"]:
        return True
    # Tail: a band along the down-right diagonal. u and v are the along/across
    # coordinates scaled by sqrt(2); squaring keeps the test exact for dyadic inputs.
    u = dx + dy
    v = dy - dx
    s0, s1 = g["tail"]
    hw = g["hw"]
    return u >= 0 and 2 * s0 * s0 <= u * u <= 2 * s1 * s1 and v * v <= 2 * hw * hw


def bg_colour(x, y, sq):
    x0, y0, x1, y1 = sq
    t = ((x - x0) + (y - y0)) / ((x1 - x0) + (y1 - y0))
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(GRAD_A, GRAD_B))


def render(size, radius):
    """Return rows of (r, g, b, coverage) floats: straight colour + square coverage."""
    g = GEOMETRY[size]
    sq = g["sq"]
    n = SS * SS
    out = []
    for py in range(size):
        row = []
        for px in range(size):
            inside = 0
            white = 0
            for sy in range(SS):
                y = py + (sy + 0.5) / SS
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    if in_rounded_square(x, y, sq, radius):
                        inside += 1
                        if in_q(x, y, g):
                            white += 1
            if inside == 0:
                row.append((0.0, 0.0, 0.0, 0.0))
                continue
            # The gradient is linear, so its pixel average is its value at the centre.
            bg = bg_colour(px + 0.5, py + 0.5, sq)
            w = white / inside
            col = tuple(c + (255.0 - c) * w for c in bg)
            row.append(col + (inside / n,))
        out.append(row)
    return out


def to8(v):
    return max(0, min(255, int(v + 0.5)))


def and_mask(size, transparent):
    """1-bit mask, bottom-up, rows padded to 4 bytes."""
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if transparent(x, y):
                row[x >> 3] |= 0x80 >> (x & 7)
        data += row
    return bytes(data)


def info_header(size, bpp, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                       image_bytes, 0, 0, 0, 0)


def dib32(size):
    pix = render(size, GEOMETRY[size]["r"])
    rgba = [[(to8(r), to8(g), to8(b), to8(a * 255)) for (r, g, b, a) in row] for row in pix]
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for (r, g, b, a) in rgba[y]:
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    mask = and_mask(size, lambda x, y: rgba[y][x][3] == 0)
    body = bytes(xor) + mask
    return info_header(size, 32, len(body)) + body


def build_palette(colours, bgs):
    """Return the colour entries (index 0 is black, for masked pixels).

    The exact colours used when they fit (lossless); otherwise the pure
    gradient colours, white, and even blend steps from each gradient
    colour toward white, which is what anti-aliased edges here are made of.
    """
    uniq = sorted(set(colours))
    if len(uniq) > 255:
        pal_set = set(bgs) | {WHITE}
        bg_list = sorted(set(bgs))
        levels = max(1, (255 - len(pal_set)) // len(bg_list))
        for c in bg_list:
            for k in range(1, levels + 1):
                w = k / (levels + 1)
                pal_set.add(tuple(to8(v + (255 - v) * w) for v in c))
        uniq = sorted(pal_set)[:255]
    return [(0, 0, 0)] + uniq


def nearest(pal, c):
    best, best_d = 1, None
    for i in range(1, len(pal)):
        p = pal[i]
        d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def dib8(size):
    g = GEOMETRY[size]
    pix = render(size, g["r8"])
    # No alpha here, so edges are hard: a pixel is opaque when at least half covered.
    opaque = [[p[3] >= 0.5 for p in row] for row in pix]
    cols = [[(to8(p[0]), to8(p[1]), to8(p[2])) for p in row] for row in pix]
    cells = [(x, y) for y in range(size) for x in range(size) if opaque[y][x]]
    pal = build_palette([cols[y][x] for x, y in cells],
                        [tuple(to8(v) for v in bg_colour(x + 0.5, y + 0.5, g["sq"])) for x, y in cells])
    assert len(pal) <= 256
    cache = {}
    idx = [[0] * size for _ in range(size)]
    for x, y in cells:
        c = cols[y][x]
        if c not in cache:
            cache[c] = nearest(pal, c)
        idx[y][x] = cache[c]
    # Unused entries stay zero.
    table = b"".join(bytes((b, g_, r, 0)) for (r, g_, b) in pal) + bytes(4 * (256 - len(pal)))
    stride = (size + 3) & ~3
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        xor += bytes(idx[y]) + bytes(stride - size)
    mask = and_mask(size, lambda x, y: not opaque[y][x])
    body = bytes(xor) + mask
    return info_header(size, 8, len(body)) + table + body


def build_ico():
    images = []
    for size, bpp, expect in FRAMES:
        img = dib32(size) if bpp == 32 else dib8(size)
        assert len(img) == expect, (size, bpp, len(img), expect)
        images.append(img)
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for (size, bpp, _), img in zip(FRAMES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(img), offset)
        offset += len(img)
    data = header + entries + b"".join(images)
    assert offset == len(data) == TOTAL_SIZE, len(data)
    return data


# ---- preview: decode the .ico we wrote and save enlarged PNGs ----

def decode_ico(data):
    _, _, count = struct.unpack_from("<HHH", data, 0)
    frames = []
    for i in range(count):
        w, h, _, _, _, bpp, nbytes, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w = w or 256
        h = h or 256
        hdr = off + 40
        stride_and = ((w + 31) // 32) * 4
        if bpp == 32:
            xor_off = hdr
            and_off = xor_off + w * h * 4
        else:
            pal = [data[hdr + 4 * k: hdr + 4 * k + 3] for k in range(256)]
            xor_off = hdr + 1024
            and_off = xor_off + ((w + 3) & ~3) * h
        px = []
        for y in range(h):
            by = h - 1 - y
            row = []
            for x in range(w):
                masked = data[and_off + by * stride_and + (x >> 3)] & (0x80 >> (x & 7))
                if bpp == 32:
                    b, g, r, a = data[xor_off + (by * w + x) * 4: xor_off + (by * w + x) * 4 + 4]
                else:
                    b, g, r = pal[data[xor_off + by * ((w + 3) & ~3) + x]]
                    a = 0 if masked else 255
                row.append((r, g, b, a))
            px.append(row)
        frames.append((w, bpp, px))
    return frames


def write_png(path, w, h, rows):
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def previews(data, outdir, scale=12):
    os.makedirs(outdir, exist_ok=True)
    backdrops = {
        "checker": lambda x, y: (255, 255, 255) if ((x // 4 + y // 4) % 2) else (200, 200, 200),
        "dark": lambda x, y: (32, 32, 36),
        "light": lambda x, y: (240, 240, 240),
    }
    written = []
    for i, (w, bpp, px) in enumerate(decode_ico(data)):
        for name, bd in backdrops.items():
            rows = []
            for y in range(w * scale):
                row = bytearray()
                for x in range(w * scale):
                    r, g, b, a = px[y // scale][x // scale]
                    br, bg_, bb = bd(x // (scale // 2 or 1), y // (scale // 2 or 1))
                    row += bytes(((r * a + br * (255 - a) + 127) // 255,
                                  (g * a + bg_ * (255 - a) + 127) // 255,
                                  (b * a + bb * (255 - a) + 127) // 255))
                rows.append(row)
            p = os.path.join(outdir, "icon%d_%dx%d_%dbpp_%s.png" % (i, w, w, bpp, name))
            write_png(p, w * scale, w * scale, rows)
            written.append(p)
    return written


def main(argv):
    out = DEFAULT_OUT
    png_dir = None
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--png":
            png_dir = args.pop(0)
        else:
            out = a
    data = build_ico()
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (out, len(data)))
    if png_dir:
        for p in previews(data, png_dir):
            print("preview", p)


if __name__ == "__main__":
    main(sys.argv[1:])
