#!/usr/bin/python3
"""Draw the patcher's pictures: the two check-box skins, the gear of the
"Patch" button, the two popup signs and the window icon.

Usage: make_images.py OUT_DIR

Writes box_empty.png, box_ticked.png, gear.png, popup_cross.png,
popup_tick.png and kelm.ico into OUT_DIR, and the desktop icon in the usual
hicolor sizes as hicolor/NxN/apps/kelm-patcher.png. Every shape is drawn as a
coverage mask at several times the final size and box-filtered down, so edges
are anti-aliased; the files carry no time stamps and are the same bytes on
every run.
"""
import math
import os
import struct
import sys
import zlib

from PIL import Image, ImageChops, ImageFilter

SUPER = 8  # supersampling factor of every mask

BOX_GREY = (175, 175, 175)
CROSS_RED = (236, 21, 21)
TICK_GREEN = (45, 198, 21)

GEAR_WHITE = (255, 255, 255)
GEAR_MID = (225, 225, 235)
GEAR_DARK = (149, 150, 185)


# --- masks --------------------------------------------------------------------
# Coordinates are in final pixels: pixel (i, j) covers [i, i+1) x [j, j+1). A
# mask holds SUPER x SUPER samples per pixel, each set when its centre lies
# inside the shape; box-filtering the samples gives the pixel's coverage.
# Polygons are filled by a scanline pass of our own (even-odd, half-open
# spans) so that shapes symmetric about a pixel edge come out symmetric.

class Mask:
    def __init__(self, width, height, scale=SUPER):
        self.width, self.height, self.scale = width, height, scale
        self.w, self.h = width * scale, height * scale
        self.buf = bytearray(self.w * self.h)

    def polygon(self, points, value=255):
        s = self.scale
        pts = [(x * s, y * s) for x, y in points]
        crossings = {}
        for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
            if y0 == y1:
                continue
            if y0 > y1:
                x0, y0, x1, y1 = x1, y1, x0, y0
            # rows whose sample line y = j + 0.5 falls in [y0, y1)
            first = max(0, math.ceil(y0 - 0.5))
            last = min(self.h - 1, math.ceil(y1 - 0.5) - 1)
            slope = (x1 - x0) / (y1 - y0)
            for j in range(first, last + 1):
                crossings.setdefault(j, []).append(x0 + (j + 0.5 - y0) * slope)
        fill = bytes([value]) * self.w
        for j, xs in crossings.items():
            xs.sort()
            row = j * self.w
            for a, b in zip(xs[0::2], xs[1::2]):
                i0 = max(0, math.ceil(a - 0.5))
                i1 = min(self.w, math.ceil(b - 0.5))
                if i1 > i0:
                    self.buf[row + i0:row + i1] = fill[:i1 - i0]

    def disc(self, cx, cy, r, value=255):
        self.polygon(circle_points(cx, cy, r, r), value)

    def capsule(self, p, q, half_width, value=255):
        """A straight stroke from p to q with round ends."""
        self.bar(p, q, half_width, value)
        self.disc(p[0], p[1], half_width, value)
        self.disc(q[0], q[1], half_width, value)

    def bar(self, p, q, half_width, value=255):
        """A straight stroke from p to q with square-cut ends."""
        (x0, y0), (x1, y1) = p, q
        length = math.hypot(x1 - x0, y1 - y0)
        nx, ny = -(y1 - y0) / length * half_width, (x1 - x0) / length * half_width
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], value)

    @property
    def image(self):
        return Image.frombytes("L", (self.w, self.h), bytes(self.buf))

    def minus(self, other):
        self.buf = bytearray(ImageChops.subtract(self.image, other.image).tobytes())

    def plus(self, other):
        self.buf = bytearray(ImageChops.lighter(self.image, other.image).tobytes())

    def coverage(self):
        """The mask box-filtered to its final size: alpha 0..255 per pixel."""
        return self.image.resize((self.width, self.height), Image.BOX)


def circle_points(cx, cy, rx, ry, steps=256):
    return [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
            for i in range(steps)]


def rounded_rect_points(x0, y0, x1, y1, rx, ry, steps=64):
    """Outline of a rectangle [x0, x1] x [y0, y1] with elliptical corners."""
    pts = []
    corners = ((x1 - rx, y0 + ry, -90), (x1 - rx, y1 - ry, 0), (x0 + rx, y1 - ry, 90), (x0 + rx, y0 + ry, 180))
    for cx, cy, start in corners:
        for i in range(steps + 1):
            a = math.radians(start + 90.0 * i / steps)
            pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


def flat_rgba(size, rgb, alpha):
    """An image of one colour whose alpha is the given coverage."""
    img = Image.new("RGBA", size, rgb + (0,))
    img.putalpha(alpha)
    return clear_transparent(img)


def clear_transparent(img):
    """Fully transparent pixels become 0, 0, 0, 0 so they compress alike."""
    px = img.load()
    for y in range(img.height):
        for x in range(img.width):
            if px[x, y][3] == 0:
                px[x, y] = (0, 0, 0, 0)
    return img


# --- check-box skins ----------------------------------------------------------
# The outline touches the left edge of the canvas; its outer edge spans x 0 to
# 216. Sides are 20 pixels wide, top and bottom 22, the outer corners round
# with a radius of 40 (so the inner corners with 20 by 18).

BOX_LEFT, BOX_RIGHT, BOX_TOP = 0, 217, 19
BOX_SIDE, BOX_CAP, BOX_RADIUS = 20, 22, 40


def box_outline(width, height, bottom):
    m = Mask(width, height)
    m.polygon(rounded_rect_points(BOX_LEFT, BOX_TOP, BOX_RIGHT, bottom, BOX_RADIUS, BOX_RADIUS))
    m.polygon(rounded_rect_points(BOX_LEFT + BOX_SIDE, BOX_TOP + BOX_CAP, BOX_RIGHT - BOX_SIDE, bottom - BOX_CAP,
                                  BOX_RADIUS - BOX_SIDE, BOX_RADIUS - BOX_CAP), value=0)
    return m


def draw_box_empty():
    m = box_outline(256, 256, 238)  # outer edge rows 19 to 237
    return flat_rgba((256, 256), BOX_GREY, m.coverage())


# The tick: two strokes 49 pixels thick with round ends. The short one runs
# from the left inside the box down to the turn; the long one rises at 45
# degrees past the box's upper-right corner and leaves the canvas on the right.
TICK_HALF = 24.5
TICK_START = (63.5, 118.0)   # left end reaches x 39
TICK_TURN = (117.0, 171.5)   # lowest point of the mark at y 196
TICK_END = (235.0, 53.5)     # top of the mark at y 29, cut by the right edge
TICK_GAP = 7.0               # clear space kept between the mark and the outline


def draw_box_ticked():
    w, h = 256, 276
    outline = box_outline(w, h, 237)  # outer edge rows 19 to 236
    clearance = Mask(w, h)
    for p, q in ((TICK_START, TICK_TURN), (TICK_TURN, TICK_END)):
        clearance.capsule(p, q, TICK_HALF + TICK_GAP)
    outline.minus(clearance)
    mark = Mask(w, h)
    for p, q in ((TICK_START, TICK_TURN), (TICK_TURN, TICK_END)):
        mark.capsule(p, q, TICK_HALF)
    outline.plus(mark)
    return flat_rgba((w, h), BOX_GREY, outline.coverage())


# --- popup signs --------------------------------------------------------------

def sign_disc(size=48):
    m = Mask(size, size)
    m.disc(size / 2, size / 2, size / 2)
    return m


def draw_popup_cross():
    disc = sign_disc()
    cut = Mask(48, 48)
    # Bars 6 pixels thick whose square ends stop inside the middle 26 x 26.
    reach = 13.0 * math.sqrt(2) - 3.0  # half length along the diagonal
    d = reach / math.sqrt(2)
    cut.bar((24 - d, 24 - d), (24 + d, 24 + d), 3.0)
    cut.bar((24 - d, 24 + d), (24 + d, 24 - d), 3.0)
    disc.minus(cut)
    return flat_rgba((48, 48), CROSS_RED, disc.coverage())


def draw_popup_tick():
    disc = sign_disc()
    cut = Mask(48, 48)
    a, b, c = (12.0, 20.0), (20.0, 33.0), (36.0, 12.0)
    cut.capsule(a, b, 2.5)
    cut.capsule(b, c, 2.5)
    disc.minus(cut)
    return flat_rgba((48, 48), TICK_GREEN, disc.coverage())


# --- the cog --------------------------------------------------------------------
# Ten teeth, one pointing right; drawn for a canvas of `size` pixels with every
# measure given for 29 and scaled.

# The desktop icon's sizes. Each is drawn afresh at its own size, not scaled
# from another, so the rim and the specks stay crisp at every size.
ICON_SIZES = (16, 32, 48, 64, 128, 256)
# The web page's icons, for browsers that install it as an app.
WEB_ICON_SIZES = (192, 512)


def cog_scale(size):
    """Samples per pixel edge for a cog of `size` pixels. The shading is
    worked out per sample in Python, so the large desktop icons take fewer:
    at 128 pixels and up 4 x 4 still gives 17 levels along an edge."""
    return SUPER if size <= 64 else 4


def erode(img, width):
    """Minimum over a width x width square (width odd), as MinFilter(width)
    would give, built from 3 x 3 passes: the same pixels, but it stays fast
    for the wide rims of the large icons."""
    for _ in range(width // 2):
        img = img.filter(ImageFilter.MinFilter(3))
    return img


def draw_cog(size):
    s = cog_scale(size)
    k = size / 29.0
    c = size / 2.0
    r_tip, r_root = 14.8 * k, 11.2 * k
    r_hole, r_band = 4.5 * k, 6.6 * k
    r_speck, speck_at = 0.95 * k, 8.9 * k
    tip_half, root_half = math.radians(7.0), math.radians(11.5)

    shape = Mask(size, size, s)
    shape.disc(c, c, r_root)
    for i in range(10):
        t = math.radians(36 * i)
        pts = [(c + (r_root - 1.5 * k) * math.cos(t - root_half), c + (r_root - 1.5 * k) * math.sin(t - root_half)),
               (c + r_root * math.cos(t - root_half), c + r_root * math.sin(t - root_half))]
        for j in range(9):
            a = t - tip_half + 2 * tip_half * j / 8
            pts.append((c + r_tip * math.cos(a), c + r_tip * math.sin(a)))
        pts += [(c + r_root * math.cos(t + root_half), c + r_root * math.sin(t + root_half)),
                (c + (r_root - 1.5 * k) * math.cos(t + root_half), c + (r_root - 1.5 * k) * math.sin(t + root_half))]
        shape.polygon(pts)
    shape.disc(c, c, r_hole, value=0)
    for i in range(5):
        a = math.radians(18 + 72 * i)
        shape.disc(c + speck_at * math.cos(a), c + speck_at * math.sin(a), r_speck, value=0)

    # Shading, worked out per supersampled pixel: light falls from the upper
    # left; the teeth and the outer ring sit lower than the face and catch less
    # of it; a raised collar round the hole catches the most.
    n = size * s
    # A thin darker rim along every edge keeps the light side of the cog
    # visible on a light title bar.
    rim_width = 2 * round(0.45 * k * s) + 1
    solid = erode(shape.image, rim_width).tobytes()
    mix = lambda p, q, f: tuple(p[i] + (q[i] - p[i]) * f for i in range(3))
    data = bytearray(n * n * 4)
    for py in range(n):
        y = (py + 0.5) / s - c
        for px in range(n):
            x = (px + 0.5) / s - c
            r = math.hypot(x, y)
            # -1 at the upper left, +1 at the lower right
            lin = max(-1.0, min(1.0, (x + y) / (math.sqrt(2) * r_tip)))
            sheen = math.sin(2 * math.atan2(y, x)) * 0.22  # conical sheen of turned metal
            t = lin * 0.8 + sheen
            if r > r_root - 1.2 * k:
                t += 0.35
            elif r < r_band:
                t = t * 0.45 - 0.75
                if r < r_hole + 0.9 * k:
                    t += 0.55 * lin  # inner wall of the hole: shadowed at the top
            if not solid[py * n + px]:
                t = max(t + 0.5, 0.35)
            t = max(-1.0, min(1.0, t))
            col = mix(GEAR_MID, GEAR_WHITE, -t) if t < 0 else mix(GEAR_MID, GEAR_DARK, t)
            o = (py * n + px) * 4
            data[o:o + 4] = bytes((round(col[0]), round(col[1]), round(col[2]), 255))
    colour = Image.frombytes("RGBA", (n, n), bytes(data))
    colour.putalpha(shape.image)
    return clear_transparent(colour.resize((size, size), Image.BOX))


def to_palette(img):
    """Palette form of an RGBA picture: fully transparent pixels share entry 0,
    the edge pixels with partial alpha come next, the opaque colours last, so a
    tRNS chunk covering a prefix of the palette gives every alpha."""
    w, h = img.size
    px = list(img.getdata())
    partial = [p for p in px if 0 < p[3] < 255]
    opaque = [p for p in px if p[3] == 255]

    def reduce(pixels, mode, colours, method):
        if not pixels:
            return [], {}
        strip = Image.new(mode, (len(pixels), 1))
        strip.putdata([p if mode == "RGBA" else p[:3] for p in pixels])
        q = strip.quantize(colors=colours, method=method)
        pal = q.getpalette(rawmode=mode)
        idx = list(q.getdata())
        step = len(mode)
        entries = [tuple(pal[i * step:(i + 1) * step]) for i in range(max(idx) + 1)]
        if mode == "RGB":
            entries = [e + (255,) for e in entries]
        return entries, {p: entries[i] for p, i in zip(pixels, idx)}

    part_entries, part_map = reduce(partial, "RGBA", 120, Image.Quantize.FASTOCTREE)
    opaque_entries, opaque_map = reduce(opaque, "RGB", 120, Image.Quantize.MEDIANCUT)
    # Entries that serve no pixel are dropped; the rest keep a fixed order.
    used_part = sorted({e for e in part_map.values() if e[3] > 0}, key=lambda e: (e[3], e))
    used_opaque = sorted(set(opaque_map.values()), key=lambda e: (-sum(e[:3]), e))
    palette = [(0, 0, 0, 0)] + used_part + used_opaque
    index = {e: i for i, e in enumerate(palette)}
    pixels = []
    for p in px:
        if p[3] == 0:
            pixels.append(0)
        elif p[3] < 255:
            e = part_map[p]
            pixels.append(index[e] if e[3] > 0 else 0)
        else:
            pixels.append(index[opaque_map[p]])
    return palette, pixels, 1 + len(used_part)


# --- file writers -------------------------------------------------------------

def _chunk(kind, payload):
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filter_rows(rows, bpp, adaptive):
    """Per row, the PNG filter whose output has the smallest sum of magnitudes
    (palette rows stay unfiltered, as is usual for indexed data)."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        candidates = [(0, row)]
        if adaptive:
            sub = bytes((row[i] - (row[i - bpp] if i >= bpp else 0)) & 255 for i in range(len(row)))
            up = bytes((row[i] - prev[i]) & 255 for i in range(len(row)))
            avg = bytes((row[i] - (((row[i - bpp] if i >= bpp else 0) + prev[i]) >> 1)) & 255 for i in range(len(row)))
            pae = bytes((row[i] - _paeth(row[i - bpp] if i >= bpp else 0, prev[i],
                                         prev[i - bpp] if i >= bpp else 0)) & 255 for i in range(len(row)))
            candidates += [(1, sub), (2, up), (3, avg), (4, pae)]
        kind, data = min(candidates, key=lambda c: (sum(b if b < 128 else 256 - b for b in c[1]), c[0]))
        out.append(kind)
        out += data
        prev = row
    return bytes(out)


def png_rgba(img):
    w, h = img.size
    raw = img.tobytes()
    rows = [raw[y * w * 4:(y + 1) * w * 4] for y in range(h)]
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    idat = zlib.compress(_filter_rows(rows, 4, True), 9)
    return b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) + _chunk(b"IDAT", idat) + _chunk(b"IEND", b"")


def png_palette(w, h, palette, pixels, n_alpha):
    rows = [bytes(pixels[y * w:(y + 1) * w]) for y in range(h)]
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0)
    plte = b"".join(bytes(e[:3]) for e in palette)
    trns = bytes(e[3] for e in palette[:n_alpha])
    idat = zlib.compress(_filter_rows(rows, 1, False), 9)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) + _chunk(b"PLTE", plte) + _chunk(b"tRNS", trns)
            + _chunk(b"IDAT", idat) + _chunk(b"IEND", b""))


def ico_32bpp(img):
    """An icon file with one 32-bit image: header, BGRA rows bottom-up, then
    the 1-bit mask (set where the picture is fully transparent)."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    mask = bytearray()
    stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w & 255, h & 255, 0, 0, 1, 32, len(image), 6 + 16)
    return icondir + entry + image


def make_images(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    files = {
        "box_empty.png": png_rgba(draw_box_empty()),
        "box_ticked.png": png_rgba(draw_box_ticked()),
        "popup_cross.png": png_rgba(draw_popup_cross()),
        "popup_tick.png": png_rgba(draw_popup_tick()),
        "kelm.ico": ico_32bpp(draw_cog(32)),
    }
    palette, pixels, n_alpha = to_palette(draw_cog(29))
    files["gear.png"] = png_palette(29, 29, palette, pixels, n_alpha)
    for size in ICON_SIZES:
        files["hicolor/%dx%d/apps/kelm-patcher.png" % (size, size)] = png_rgba(draw_cog(size))
    for size in WEB_ICON_SIZES:
        files["web/icon-%d.png" % size] = png_rgba(draw_cog(size))
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(out_dir, name)), exist_ok=True)
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_images.py OUT_DIR")
    make_images(sys.argv[1])
