#!/usr/bin/python3
"""Draws every bitmap Marglet ships: the three skins, the tab images, the
two title-bar pictures, the About background and the program icon.

Everything is computed pixel by pixel with the standard library only, so the
art can be regenerated anywhere Debian's python3 and giflib-tools exist.
GIFs are produced by feeding gifbuild its text format on stdin (it writes a
clean GIF89a with a proper transparency extension, which Qt reads); PNG and
ICO files are assembled here with zlib and struct.

Run it from anywhere:  python3 assets/art/draw.py
Output is deterministic: a rerun must leave every file byte-identical.
"""

import math
import os
import shutil
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.dirname(HERE)

CLEAR = (0, 0, 0, 0)


# ---------------------------------------------------------------- colours

def rgb(s):
    s = s.lstrip('#')
    return (int(s[0:2], 16), int(s[2:4], 16), int(s[4:6], 16))


def mix(a, b, t):
    """Linear blend of two RGB triples; t=0 gives a, t=1 gives b."""
    t = min(1.0, max(0.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def lighten(c, t):
    return mix(c, (255, 255, 255), t)


def darken(c, t):
    return mix(c, (0, 0, 0), t)


def ramp(stops, pos):
    """Piecewise-linear colour ramp; stops are (position, '#rrggbb')."""
    stops = [(p, rgb(c) if isinstance(c, str) else c) for p, c in stops]
    if pos <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if pos <= p1:
            return mix(c0, c1, (pos - p0) / float(p1 - p0) if p1 != p0 else 1)
    return stops[-1][1]


# ---------------------------------------------------------------- canvas

class Img:
    """RGBA raster; alpha is 0..255. GIF output demands alpha 0 or 255."""

    def __init__(self, w, h, fill=CLEAR):
        self.w, self.h = w, h
        if len(fill) == 3:
            fill = fill + (255,)
        self.px = [[fill] * w for _ in range(h)]

    def inside(self, x, y):
        return 0 <= x < self.w and 0 <= y < self.h

    def set(self, x, y, c):
        if self.inside(x, y):
            self.px[y][x] = c + (255,) if len(c) == 3 else c

    def get(self, x, y):
        return self.px[y][x]

    def blend(self, x, y, c, a):
        """Source-over with coverage/opacity a in 0..1."""
        if a <= 0 or not self.inside(x, y):
            return
        if a >= 1 and len(c) == 3:
            self.px[y][x] = c + (255,)
            return
        sa = a * (c[3] / 255.0 if len(c) == 4 else 1.0)
        dr, dg, db, da = self.px[y][x]
        da = da / 255.0
        oa = sa + da * (1 - sa)
        if oa <= 0:
            self.px[y][x] = CLEAR
            return
        out = tuple(int(round((c[i] * sa + (dr, dg, db)[i] * da * (1 - sa)) / oa))
                    for i in range(3))
        self.px[y][x] = out + (int(round(oa * 255)),)

    def rect(self, x0, y0, x1, y1, c):
        """Fill the inclusive rectangle; c may be a colour or f(x, y)."""
        for y in range(max(0, y0), min(self.h - 1, y1) + 1):
            for x in range(max(0, x0), min(self.w - 1, x1) + 1):
                self.set(x, y, c(x, y) if callable(c) else c)

    def hline(self, x0, x1, y, c):
        self.rect(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.rect(x, y0, x, y1, c)

    def paste(self, other, ox, oy):
        for y in range(other.h):
            for x in range(other.w):
                p = other.px[y][x]
                if p[3]:
                    self.blend(ox + x, oy + y, p[:3], p[3] / 255.0)

    def crop(self, x0, y0, w, h):
        out = Img(w, h)
        for y in range(h):
            out.px[y] = list(self.px[y0 + y][x0:x0 + w])
        return out

    def paint(self, shape, colour, box=None, n=4, opacity=1.0):
        """Anti-aliased fill of a shape given as inside(px, py) over
        continuous coordinates (pixel x covers [x, x+1)); n*n samples."""
        if box is None:
            box = getattr(shape, 'box', (0, 0, self.w - 1, self.h - 1))
        x0, y0, x1, y1 = box
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w - 1, int(math.ceil(x1))), min(self.h - 1, int(math.ceil(y1)))
        offs = [(i + 0.5) / n for i in range(n)]
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                hit = 0
                for oy in offs:
                    for ox in offs:
                        if shape(x + ox, y + oy):
                            hit += 1
                if hit:
                    c = colour(x, y) if callable(colour) else colour
                    self.blend(x, y, c, opacity * hit / float(n * n))


# ---------------------------------------------------------------- shapes
# Shapes are predicates over continuous coordinates.  Those taking pixel
# indices (seg, arc) measure from pixel centres, which keeps one-pixel
# strokes crisp when they run along a row or column.

class Shape:
    def __init__(self, fn, box):
        self.fn, self.box = fn, box

    def __call__(self, x, y):
        return self.fn(x, y)


def rrect(x0, y0, x1, y1, r):
    """Rounded rectangle covering [x0, x1] x [y0, y1] (edge coordinates)."""
    def fn(px, py):
        if px < x0 or px > x1 or py < y0 or py > y1:
            return False
        cx = min(max(px, x0 + r), x1 - r)
        cy = min(max(py, y0 + r), y1 - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    return Shape(fn, (x0 - 1, y0 - 1, x1 + 1, y1 + 1))


def seg(ax, ay, bx, by, width):
    """Capsule stroke between two pixel centres."""
    ax, ay, bx, by = ax + .5, ay + .5, bx + .5, by + .5
    r = width / 2.0
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy

    def fn(px, py):
        t = 0.0 if ll == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
        qx, qy = ax + t * dx - px, ay + t * dy - py
        return qx * qx + qy * qy <= r * r
    return Shape(fn, (min(ax, bx) - r - 1, min(ay, by) - r - 1,
                      max(ax, bx) + r + 1, max(ay, by) + r + 1))


def arc(cx, cy, rad, a0, a1, width):
    """Stroke along a circle (centre in pixel coordinates, may be
    fractional); angles in degrees, counter-clockwise, y pointing up."""
    cx, cy = cx + .5, cy + .5
    r = width / 2.0
    span = (a1 - a0) % 360 or 360
    ends = [(cx + rad * math.cos(math.radians(a)), cy - rad * math.sin(math.radians(a)))
            for a in (a0, a1)]

    def fn(px, py):
        dx, dy = px - cx, cy - py
        ang = math.degrees(math.atan2(dy, dx))
        if (ang - a0) % 360 <= span:
            return abs(math.hypot(dx, dy) - rad) <= r
        return any((px - ex) ** 2 + (py - ey) ** 2 <= r * r for ex, ey in ends)
    return Shape(fn, (cx - rad - r - 1, cy - rad - r - 1, cx + rad + r + 1, cy + rad + r + 1))


def union(shapes):
    shapes = list(shapes)
    box = (min(s.box[0] for s in shapes), min(s.box[1] for s in shapes),
           max(s.box[2] for s in shapes), max(s.box[3] for s in shapes))

    def fn(px, py):
        for s in shapes:
            b = s.box
            if b[0] <= px <= b[2] and b[1] <= py <= b[3] and s.fn(px, py):
                return True
        return False
    return Shape(fn, box)


def shifted(shape, dx, dy):
    b = shape.box
    return Shape(lambda px, py: shape.fn(px - dx, py - dy),
                 (b[0] + dx, b[1] + dy, b[2] + dx, b[3] + dy))


# ---------------------------------------------------------------- writers

KEYS = ('0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'
        '!$%&()*+,-./:;<=>?@[]^_{|}~')


def median_cut(hist, k):
    """Reduce a {rgb: count} histogram to at most k colours."""
    boxes = [sorted(hist.items())]
    while len(boxes) < k:
        best, best_score = None, -1
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            ranges = [max(c[ch] for c, _ in b) - min(c[ch] for c, _ in b) for ch in range(3)]
            ch = ranges.index(max(ranges))
            score = ranges[ch] * sum(n for _, n in b)
            if score > best_score:
                best, best_score = (i, ch), score
        if best is None:
            break
        i, ch = best
        b = sorted(boxes[i], key=lambda it: (it[0][ch], it[0]))
        total = sum(n for _, n in b)
        acc, cut = 0, 1
        for j, (_, n) in enumerate(b):
            acc += n
            if acc * 2 >= total:
                cut = min(max(j + 1, 1), len(b) - 1)
                break
        boxes[i:i + 1] = [b[:cut], b[cut:]]
    pal = []
    for b in boxes:
        total = sum(n for _, n in b)
        pal.append(tuple(int(round(sum(c[ch] * n for c, n in b) / float(total)))
                         for ch in range(3)))
    return sorted(set(pal))


def nearest(pal, c):
    return min(range(len(pal)),
               key=lambda i: ((pal[i][0] - c[0]) ** 2 * 3 + (pal[i][1] - c[1]) ** 2 * 4
                              + (pal[i][2] - c[2]) ** 2 * 2, i))


def gifbuild_text(img, max_colours=256, pad_to=None, clear_rgb=(0, 0, 0), exact=False):
    hist = {}
    has_clear = False
    for row in img.px:
        for p in row:
            if p[3] == 0:
                has_clear = True
            elif p[3] != 255:
                raise ValueError('GIF pixel with partial alpha %r' % (p,))
            else:
                hist[p[:3]] = hist.get(p[:3], 0) + 1
    room = max_colours - (1 if has_clear else 0)
    colours = sorted(hist)
    if len(colours) > room:
        if exact:
            raise ValueError('%d colours do not fit in %d' % (len(colours), room))
        colours = median_cut(hist, room)
        if os.environ.get('DRAW_VERBOSE'):
            sys.stderr.write('quantised %d colours to %d\n' % (len(hist), len(colours)))
    lookup = {}
    for c in hist:
        lookup[c] = colours.index(c) if c in colours else nearest(colours, c)
    base = 1 if has_clear else 0
    pal = ([clear_rgb] if has_clear else []) + colours
    if pad_to:
        assert len(pal) <= pad_to, (len(pal), pad_to)
        pal += [(0, 0, 0)] * (pad_to - len(pal))
    size = 2
    while size < len(pal):
        size *= 2
    ascii_keys = len(pal) <= len(KEYS)
    out = ['screen width %d' % img.w, 'screen height %d' % img.h,
           'screen colors %d' % size, 'screen background 0',
           '', 'screen map', '\tsort flag off']
    for i, c in enumerate(pal):
        key = (' is ' + KEYS[i]) if ascii_keys else ''
        out.append('\trgb %03d %03d %03d%s' % (c[0], c[1], c[2], key))
    out.append('end')
    if has_clear:
        out += ['', 'graphics control', '\tdisposal mode 0', '\tuser input flag off',
                '\tdelay 0', '\ttransparent index 0', 'end']
    out += ['', 'image', 'image left 0', 'image top 0',
            'image bits %d by %d%s' % (img.w, img.h, '' if ascii_keys else ' hex')]
    for row in img.px:
        idx = [0 if p[3] == 0 else base + lookup[p[:3]] for p in row]
        out.append(''.join(KEYS[i] for i in idx) if ascii_keys
                   else ''.join('%02x' % i for i in idx))
    return '\n'.join(out) + '\n'


GIFBUILD = shutil.which('gifbuild') or '/usr/bin/gifbuild'
WRITTEN = []


def save(path, data):
    full = os.path.join(ASSETS, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, 'wb') as f:
        f.write(data)
    WRITTEN.append(path)


def save_gif(img, path, **kw):
    text = gifbuild_text(img, **kw)
    res = subprocess.run([GIFBUILD], input=text.encode('ascii'),
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if res.returncode != 0 or not res.stdout.startswith(b'GIF'):
        sys.exit('gifbuild failed for %s: %s' % (path, res.stderr.decode(errors='replace')))
    save(path, res.stdout)


def png_bytes(img):
    def chunk(tag, data):
        return (struct.pack('>I', len(data)) + tag + data
                + struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff))
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in img.px)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', img.w, img.h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def dib_bytes(img):
    """32-bit BMP entry for an ICO: BGRA bottom-up plus the 1-bit AND mask
    that pre-alpha Windows versions still look at."""
    w, h = img.w, img.h
    head = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes(v for p in img.px[y] for v in (p[2], p[1], p[0], p[3]))
                   for y in range(h - 1, -1, -1))
    stride = ((w + 31) // 32) * 4
    mask = b''
    for y in range(h - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(w):
            if img.px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return head + xor + mask


def ico_bytes(imgs):
    blobs = [dib_bytes(im) for im in imgs]
    out = struct.pack('<HHH', 0, 1, len(imgs))
    offset = 6 + 16 * len(imgs)
    for im, blob in zip(imgs, blobs):
        out += struct.pack('<BBBBHHII', im.w % 256, im.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


# ---------------------------------------------------------------- the bar

W, H = 185, 343
TITLE_ROWS = 17          # rows 0..16 are all a collapsed bar shows

# Inclusive column span of the window mask for each row that is not full
# width; rows 17..22 and 337..342 round off the body under the neck.
SPANS = {0: (2, 182), 1: (1, 183), 15: (1, 183), 16: (2, 182),
         17: (6, 178), 18: (4, 180), 19: (3, 181), 20: (2, 182), 21: (1, 183), 22: (1, 183),
         337: (1, 183), 338: (1, 183), 339: (2, 182), 340: (3, 181), 341: (4, 180),
         342: (6, 178)}


def in_mask(x, y):
    if not (0 <= y < H):
        return False
    a, b = SPANS.get(y, (0, W - 1))
    return a <= x <= b


def same_part(y0, y1):
    """The title strip and the body are bevelled as two separate slabs."""
    return (y0 < TITLE_ROWS) == (y1 < TITLE_ROWS)


def edge_info(x, y):
    """(distance to the cut edge 1..3, which side faces it) for a pixel
    inside the mask; distance 3 means 'interior'."""
    for d in (1, 2):
        hits = set()
        for dy in range(-d, d + 1):
            for dx in range(-d, d + 1):
                ny = y + dy
                if not in_mask(x + dx, ny) or not same_part(y, ny):
                    if dy < 0 and abs(dx) <= abs(dy):
                        hits.add('top')
                    elif dy > 0 and abs(dx) <= abs(dy):
                        hits.add('bottom')
                    else:
                        hits.add('side')
        if hits:
            for side in ('top', 'bottom', 'side'):
                if side in hits:
                    return d, side
    return 3, None


TAB_BLUE = rgb('#4D90FE')        # the program's tab box colour
STRIP_LINE1 = rgb('#4F88D6')     # the two lines it draws under the tabs
STRIP_LINE2 = rgb('#2F548F')
PAD_EDGE = rgb('#DEDED6')

SKINS = {
    'Blue': dict(
        title=[(0, '#3A86F6'), (1, '#A9CBFF'), (2, '#7AB0FF'), (3, '#4D90FE'),
               (8, '#0A5FD8'), (10, '#0A5FD8'), (14, '#2B76E6'), (16, '#2066D8')],
        title_edge='#0A3A9C', title_edge_top='#1E5FCC',
        body_top='#6FA7FF', body='#3A83F4', body_bottom='#2A70E2',
        body_edge='#0A3A9C', body_edge_top='#2461CF', body_hi='#8EBBFF',
        well='#1D4FA6', well_hi='#7FB3FF',
        panel_top='#E8F2FF', panel_bottom='#D3E5FD', panel_edge='#A7C4EC',
        panel_hi='#F7FBFF',
        btn_face=('#6FA6FF', '#2C69E4'), btn_glow='#8FBEFF', btn_rim='#FFFFFF',
        btn_glyph='#FFFFFF',
        close_face=('#EE7B55', '#C63C17'), close_glow='#F7A684', close_rim='#FFFFFF',
        close_glyph='#FFFFFF'),
    'Silver': dict(
        title=[(0, '#9A9AB2'), (1, '#E6E6EE'), (2, '#C6C6D6'), (3, '#A5A5BC'),
               (8, '#6C6C88'), (10, '#66667F'), (14, '#7E7E98'), (16, '#707088')],
        title_edge='#44445A', title_edge_top='#6E6E88',
        body_top='#EEEEF4', body='#D8D8E3', body_bottom='#C4C4D2',
        body_edge='#6A6A82', body_edge_top='#8C8CA4', body_hi='#F8F8FC',
        well='#8A8AA0', well_hi='#FFFFFF',
        panel_top='#F4F4F8', panel_bottom='#E3E3EC', panel_edge='#B6B6C8',
        panel_hi='#FFFFFF',
        btn_face=('#FFFFFF', '#C4C4D4'), btn_glow='#E6E6EE', btn_rim='#F2F2F6',
        btn_glyph='#3E3E56',
        close_face=('#E88C70', '#B94A2C'), close_glow='#F2B09A', close_rim='#F2F2F6',
        close_glyph='#FFFFFF'),
    'Olive': dict(
        title=[(0, '#8BA169'), (1, '#D9E4C2'), (2, '#B9CB98'), (3, '#A4B97F'),
               (8, '#6F8747'), (10, '#6A8243'), (14, '#8BA169'), (16, '#7C9359')],
        title_edge='#46572B', title_edge_top='#6A7F48',
        body_top='#C6D5A8', body='#A4B97F', body_bottom='#93A96F',
        body_edge='#56693A', body_edge_top='#748A52', body_hi='#D3DFBC',
        well='#5F7440', well_hi='#D8E3C3',
        panel_top='#F3F7EA', panel_bottom='#E3EBD2', panel_edge='#B4C49A',
        panel_hi='#FFFFFF',
        btn_face=('#B9CC93', '#6F8747'), btn_glow='#C8D8A8', btn_rim='#F4F7EC',
        btn_glyph='#FFFFFF',
        close_face=('#EA8A55', '#BE4F1E'), close_glow='#F4AE85', close_rim='#F4F7EC',
        close_glyph='#FFFFFF'),
}


def draw_buttonarea(s):
    w, h = 171, 93
    im = Img(w, h)
    top, bottom = rgb(s['panel_top']), rgb(s['panel_bottom'])
    im.rect(0, 0, w - 1, h - 1, lambda x, y: mix(top, bottom, y / float(h - 1)))
    # A white inner line above a soft edge reads as a raised shelf under the
    # note pad, without competing with the buttons drawn on it.
    im.hline(1, w - 2, 1, rgb(s['panel_hi']))
    im.vline(1, 1, h - 2, mix(rgb(s['panel_hi']), top, 0.5))
    edge = rgb(s['panel_edge'])
    im.hline(0, w - 1, 0, edge)
    im.hline(0, w - 1, h - 1, edge)
    im.vline(0, 0, h - 1, edge)
    im.vline(w - 1, 0, h - 1, edge)
    return im


def draw_background(s, buttonarea):
    im = Img(W, H)
    title = s['title']
    body_c, body_top, body_bottom = rgb(s['body']), rgb(s['body_top']), rgb(s['body_bottom'])
    for y in range(H):
        for x in range(W):
            if not in_mask(x, y):
                continue
            d, side = edge_info(x, y)
            if y < TITLE_ROWS:
                fill = ramp(title, y)
                if d == 1:
                    c = rgb(s['title_edge_top'] if side == 'top' else s['title_edge'])
                elif d == 2 and side == 'side':
                    c = lighten(fill, 0.18)
                elif d == 2 and side == 'bottom':
                    c = darken(fill, 0.08)
                else:
                    c = fill
            else:
                if y < 26:
                    fill = mix(body_top, body_c, (y - 18) / 7.0)
                elif y > 334:
                    fill = mix(body_c, body_bottom, (y - 334) / 7.0)
                else:
                    fill = body_c
                if d == 1:
                    c = rgb(s['body_edge_top'] if side == 'top' else s['body_edge'])
                elif d == 2 and side == 'top':
                    c = rgb(s['body_hi'])
                elif d == 2 and side == 'side':
                    c = lighten(fill, 0.15)
                elif d == 2:
                    c = darken(fill, 0.1)
                else:
                    c = fill
            im.set(x, y, c)

    # The content well: tab strip, note pad and button panel sit in a
    # recess outlined by a dark line with a light lip outside it, so the
    # program's own lines at rows 46/47 run into a finished frame.
    well, well_hi = rgb(s['well']), rgb(s['well_hi'])
    im.hline(6, 178, 25, well)
    im.vline(6, 25, 335, well)
    im.vline(178, 25, 335, well)
    im.hline(6, 178, 335, well)
    im.hline(6, 179, 336, well_hi)
    im.vline(179, 25, 336, well_hi)

    im.rect(7, 26, 177, 45, TAB_BLUE)
    im.hline(7, 177, 46, STRIP_LINE1)
    im.hline(7, 177, 47, STRIP_LINE2)
    im.rect(7, 48, 177, 241, (255, 255, 255))
    im.vline(7, 48, 241, PAD_EDGE)
    im.vline(177, 48, 241, PAD_EDGE)
    im.paste(buttonarea, 7, 242)
    return im


def chevron(up, width=1.9):
    # Two strokes meeting at the centre column; pixel-centre coordinates.
    if up:
        pts = [(4, 9), (7, 6), (10, 9)]
    else:
        pts = [(4, 6), (7, 9), (10, 6)]
    return union([seg(pts[0][0], pts[0][1], pts[1][0], pts[1][1], width),
                  seg(pts[1][0], pts[1][1], pts[2][0], pts[2][1], width)])


def cross(lo, hi, width):
    return union([seg(lo, lo, hi, hi, width), seg(lo, hi, hi, lo, width)])


def xp_button(base, face, glow, rim, glyph_shape, glyph, size=15):
    """A Luna-style caption button drawn over the strip it will sit on, so
    its rounded corners blend into the real background rather than into
    the program's flat fill colour."""
    im = Img(size, size)
    im.paste(base, 0, 0)
    top, bottom = rgb(face[0]), rgb(face[1])
    glow = rgb(glow)
    n = float(size)
    im.paint(rrect(0, 0, n, n, 3.2), mix(rgb(rim), top, 0.15))

    def face_colour(x, y):
        c = mix(top, bottom, (y - 1) / (n - 3))
        # Light pooling in the lower right, as on the real thing.
        g = max(0.0, 1 - math.hypot(x - (n - 4), y - (n - 4)) / (n * 0.55))
        return mix(c, glow, g * 0.55)
    im.paint(rrect(1, 1, n - 1, n - 1, 2.3), face_colour)
    im.paint(glyph_shape, rgb(glyph))
    return im


def draw_skin(name, s):
    folder = 'skins/%s/' % name
    ba = draw_buttonarea(s)
    bg = draw_background(s, ba)
    save_gif(ba, folder + 'buttonarea.gif')
    save_gif(bg, folder + 'background.gif', clear_rgb=rgb(s['title_edge']))

    under_toggle = bg.crop(152, 1, 15, 15)
    under_close = bg.crop(169, 1, 15, 15)
    for fname, up in (('max.gif', False), ('min.gif', True)):
        b = xp_button(under_toggle, s['btn_face'], s['btn_glow'], s['btn_rim'],
                      chevron(up), s['btn_glyph'])
        save_gif(b, folder + fname)
    b = xp_button(under_close, s['close_face'], s['close_glow'], s['close_rim'],
                  cross(4, 10, 1.9), s['close_glyph'])
    save_gif(b, folder + 'close.gif')
    return bg


# ---------------------------------------------------------------- tabs

def draw_tabs():
    w, h = 52, 22
    edge = rgb('#94A5B5')
    t = Img(w, h)
    t.hline(1, w - 2, 2, edge)
    # White at the top settling to a warm grey, then a cooler grey at the
    # foot.  Listed row by row because the palette only has room for eleven
    # fill shades next to the edge, the two blue lines and transparency.
    shades = ['FFFFFF', 'FFFFFF', 'FDFDFB', 'FBFBF8', 'F9F9F5', 'F7F7F2', 'F7F7F2', 'F5F5EF',
              'F3F3ED', 'F3F3ED', 'F1F1EA', 'F1F1EA', 'EFEFE7', 'EFEFE7', 'EDEDE9', 'EBEBEB',
              'EBEBEB']
    for y, c in enumerate(shades, 3):
        t.hline(1, w - 2, y, rgb(c))
        t.set(0, y, edge)
        t.set(w - 1, y, edge)
    t.hline(0, w - 1, 20, rgb('#4A8CD6'))
    t.hline(0, w - 1, 21, rgb('#29528C'))
    save_gif(t, 'images/tab_inactive.gif', max_colours=16, pad_to=16, clear_rgb=TAB_BLUE,
             exact=True)

    a = Img(w, h)
    a.hline(1, w - 2, 0, rgb('#29528C'))
    for y in (1, 2):
        a.hline(1, w - 2, y, rgb('#4A8CD6'))
        a.set(0, y, rgb('#4273BD'))
        a.set(w - 1, y, rgb('#4273BD'))
    for y in range(3, h):
        a.hline(1, w - 2, y, (255, 255, 255))
        a.set(0, y, rgb('#DEDED6'))
        a.set(w - 1, y, rgb('#29528C'))
    save_gif(a, 'images/tab_active.gif', max_colours=16, pad_to=16, clear_rgb=TAB_BLUE,
             exact=True)
    return t, a


# ---------------------------------------------------------------- icon

ICON_BLUE = [(0, '#7DB2FF'), (0.35, '#3C86F5'), (1, '#0A56CF')]


def draw_icon(size):
    """A small window holding lines of text.  Each size is laid out by hand:
    plain scaling smears the one-pixel text lines."""
    L = {
        16: dict(box=(0, 1, 15, 14), bar=4, r=1.6, lines=[(7, 3, 12), (9, 3, 10), (11, 3, 12)],
                 lw=1, shadow=0, btn=None),
        32: dict(box=(1, 2, 29, 28), bar=7, r=2.6,
                 lines=[(12, 5, 24), (15, 5, 21), (18, 5, 24), (21, 5, 19), (24, 5, 22)],
                 lw=1, shadow=1, btn=(22, 4, 3)),
        48: dict(box=(2, 3, 44, 43), bar=10, r=3.6,
                 lines=[(17, 7, 37), (22, 7, 32), (27, 7, 37), (32, 7, 29), (37, 7, 34)],
                 lw=2, shadow=2, btn=(33, 6, 5)),
    }[size]
    x0, y0, x1, y1 = L['box']
    im = Img(size, size)
    if L['shadow']:
        k = L['shadow']
        im.paint(rrect(x0 + k, y0 + k, x1 + 1 + k, y1 + 1 + k, L['r'] + 0.5), (0, 0, 0),
                 opacity=0.28)
        im.paint(rrect(x0 + k + 1, y0 + k + 1, x1 + 1 + k, y1 + 1 + k, L['r']), (0, 0, 0),
                 opacity=0.15)
    frame = rgb('#0B3C9A')
    bar_end = y0 + L['bar']
    body_border = rgb('#5C7FB5')
    im.paint(rrect(x0, y0, x1 + 1, y1 + 1, L['r']),
             lambda x, y: frame if y <= bar_end else body_border)
    im.paint(rrect(x0 + 1, y0 + 1, x1, y1, max(0.8, L['r'] - 1)),
             lambda x, y: ramp(ICON_BLUE, (y - y0 - 1) / float(max(1, L['bar'] - 1)))
             if y < bar_end else (255, 255, 255))
    im.hline(x0 + 1, x1 - 1, bar_end, frame if size == 16 else rgb('#1448AA'))
    if L['btn']:
        bx, by, bs = L['btn']
        bx = x1 - 1 - (bs + (2 if size == 32 else 3))
        im.paint(rrect(bx, by, bx + bs, by + bs, 0.8), rgb('#E2592E'))
        im.paint(rrect(bx - bs - 1, by, bx - 1, by + bs, 0.8), rgb('#D9E8FF'))
    text = rgb('#8592A6')
    for ly, lx0, lx1 in L['lines']:
        for k in range(L['lw']):
            im.hline(lx0, lx1, ly + k, text)
    if size == 16:
        im.hline(x0 + 2, x0 + 6, y0 + 2, rgb('#E6F0FF'))
    return im


def draw_icons():
    icons = [draw_icon(s) for s in (16, 32, 48)]
    for im in icons:
        save(os.path.join('icons', 'marglet-%d.png' % im.w), png_bytes(im))
    save('icons/marglet.ico', ico_bytes(icons))
    return icons


# ---------------------------------------------------------------- pictures

def mini_bar(im, x, y, w=40, h=10):
    """The collapsed note bar at postage-stamp size, with a pale halo so
    it still separates from a blue title bar."""
    im.paint(rrect(x - 1, y - 1, x + w + 1, y + h + 1, 3.5), rgb('#DCEBFF'), opacity=0.7)
    im.paint(rrect(x, y, x + w, y + h, 2.5), rgb('#0A3A9C'))
    im.paint(rrect(x + 1, y + 1, x + w - 1, y + h - 1, 1.6),
             lambda px, py: ramp([(0, '#A9CBFF'), (0.2, '#4D90FE'), (0.55, '#0A5FD8'),
                                  (1, '#2B76E6')], (py - y - 1) / float(h - 3)))
    im.hline(x + 4, x + 17, y + h // 2 - 1, (255, 255, 255))
    im.hline(x + 4, x + 13, y + h // 2, rgb('#C8DCFF'))
    im.rect(x + w - 12, y + 2, x + w - 8, y + h - 3, rgb('#7FB0FF'))
    im.rect(x + w - 6, y + 2, x + w - 2, y + h - 3, rgb('#E0572C'))


def xp_caption_button(im, x, y, kind, size=21):
    if kind == 'close':
        face, glow = ('#E98460', '#C2401C'), '#F6A98A'
    else:
        face, glow = ('#5E9BFF', '#1F5FDB'), '#8CC0FF'
    base = im.crop(x, y, size, size)
    n = float(size)
    btn = Img(size, size)
    btn.paste(base, 0, 0)
    btn.paint(rrect(0, 0, n, n, 3.5), rgb('#F4F8FF'))
    top, bottom, glow = rgb(face[0]), rgb(face[1]), rgb(glow)

    def fc(px, py):
        c = mix(top, bottom, (py - 1) / (n - 3))
        g = max(0.0, 1 - math.hypot(px - (n - 5), py - (n - 5)) / (n * 0.55))
        return mix(c, glow, g * 0.5)
    btn.paint(rrect(1, 1, n - 1, n - 1, 2.6), fc)
    white = (255, 255, 255)
    if kind == 'close':
        btn.paint(cross(6, 14, 2.2), white)
    elif kind == 'min':
        btn.rect(5, 13, 11, 15, white)
    else:
        btn.rect(8, 4, 16, 5, white)        # back window
        btn.vline(16, 4, 11, white)
        btn.rect(4, 8, 12, 9, white)        # front window
        btn.vline(4, 8, 16, white)
        btn.vline(12, 8, 16, white)
        btn.hline(4, 12, 16, white)
    im.paste(btn, x, y)


def draw_pic_xp():
    w, h = 259, 26
    im = Img(w, h)
    luna = [(0, '#3D95FF'), (1, '#94C1FF'), (3, '#2E86FF'), (7, '#0058EE'), (12, '#0050EA'),
            (19, '#0361F2'), (23, '#0A6CF6'), (25, '#0049D0')]
    im.rect(0, 0, w - 1, h - 1, lambda x, y: ramp(luna, y))
    for x, kind in ((189, 'min'), (212, 'max'), (235, 'close')):
        xp_caption_button(im, x, 2, kind)
    mini_bar(im, 138, 9)
    return im


def classic_button(im, x, y, kind, w=16, h=14):
    face, light, shade, dark = (rgb(c) for c in ('#C0C0C0', '#FFFFFF', '#808080', '#000000'))
    im.rect(x, y, x + w - 1, y + h - 1, face)
    im.hline(x, x + w - 2, y, light)
    im.vline(x, y, y + h - 2, light)
    im.hline(x, x + w - 1, y + h - 1, dark)
    im.vline(x + w - 1, y, y + h - 1, dark)
    im.hline(x + 1, x + w - 2, y + h - 2, shade)
    im.vline(x + w - 2, y + 1, y + h - 2, shade)
    k = (0, 0, 0)
    if kind == 'min':
        im.rect(x + 4, y + 9, x + 9, y + 10, k)
    elif kind == 'max':
        im.rect(x + 5, y + 2, x + 10, y + 3, k)
        im.vline(x + 10, y + 2, y + 7, k)
        im.hline(x + 9, x + 10, y + 7, k)
        im.vline(x + 5, y + 2, y + 4, k)
        im.rect(x + 3, y + 5, x + 8, y + 6, k)
        im.vline(x + 3, y + 5, y + 10, k)
        im.vline(x + 8, y + 5, y + 10, k)
        im.hline(x + 3, x + 8, y + 10, k)
    else:
        for i in range(6):
            for dx in (0, 1):
                im.set(x + 4 + i + dx, y + 3 + i, k)
                im.set(x + 10 - i + dx, y + 3 + i, k)


def draw_pic_9x():
    w, h = 259, 26
    im = Img(w, h)
    navy, sky = rgb('#000080'), rgb('#1084D0')
    # This is the right end of a gradient that starts navy far to the left.
    im.rect(0, 0, w - 1, 17, lambda x, y: mix(navy, sky, 0.45 + 0.55 * x / (w - 1.0)))
    im.rect(0, 18, w - 1, h - 1, rgb('#C0C0C0'))
    for x, kind in ((206, 'min'), (222, 'max'), (240, 'close')):
        classic_button(im, x, 2, kind)
    # Menu captions hinted as dark dashes.
    for x0, x1 in ((6, 17), (26, 35), (44, 56), (65, 74)):
        im.hline(x0, x1, 22, rgb('#505050'))
    mini_bar(im, 162, 0)
    return im


# ---------------------------------------------------------------- about

def wordmark(x, base):
    """'Marglet' in a rounded geometric hand, built from strokes.
    Returns the stroke list; x is the left edge, base the baseline row."""
    X, C, D = 20, 30, 8          # x-height, ascender, descender depth
    sw = 5.2
    R = (X - sw) / 2.0           # bowl radius (stroke centre)
    h = sw / 2.0
    parts = []
    gap = 3.6

    def adv(width):
        nonlocal x
        x += width + gap

    # M
    m = 26
    parts += [seg(x + h, base - h, x + h, base - C + h, sw),
              seg(x + h, base - C + h, x + m / 2.0, base - C * 0.42, sw),
              seg(x + m / 2.0, base - C * 0.42, x + m - h, base - C + h, sw),
              seg(x + m - h, base - C + h, x + m - h, base - h, sw)]
    adv(m)
    # a
    cx, cy = x + h + R, base - X / 2.0
    parts += [arc(cx, cy, R, 0, 360, sw), seg(cx + R, base - X + h, cx + R, base - h, sw)]
    adv(2 * R + sw)
    # r
    parts += [seg(x + h, base - X + h, x + h, base - h, sw),
              arc(x + h + R * 0.95, base - X + h + R * 0.95, R * 0.95, 60, 180, sw)]
    # The arm ends high, so tuck the next letter in under it.
    adv(R * 1.5 + sw)
    # g
    cx, cy = x + h + R, base - X / 2.0
    hook = 5.5
    parts += [arc(cx, cy, R, 0, 360, sw),
              seg(cx + R, base - X + h, cx + R, base + D - hook - h, sw),
              arc(cx + R - hook, base + D - hook - h, hook, 200, 360, sw)]
    adv(2 * R + sw)
    # l
    parts += [seg(x + h, base - C + h, x + h, base - h, sw)]
    adv(sw)
    # e
    cx, cy = x + h + R, base - X / 2.0
    parts += [arc(cx, cy, R, 0, 318, sw), seg(cx - R, cy, cx + R, cy, sw * 0.85)]
    adv(2 * R + sw)
    # t
    tx = x + h + 2.5
    th = 4.8
    parts += [seg(tx, base - C + 3 + h, tx, base - th - h, sw),
              arc(tx + th, base - th - h, th, 200, 320, sw),
              seg(tx - 2.8, base - X + h, tx + 6.5, base - X + h, sw * 0.85)]
    adv(10)
    return parts, x


def draw_about(icon32):
    w, h = 250, 167
    im = Img(w, h)
    grey, white = rgb('#E0E0E0'), rgb('#FFFFFF')
    im.rect(0, 0, w - 1, h - 1,
            lambda x, y: mix(grey, white, 0.15 + 0.85 * (0.55 * x / (w - 1.0) + 0.45 * y / (h - 1.0))))
    # Pale plate behind the icon so it reads as a badge, not a sticker.
    im.paint(rrect(5, 5, 43, 43, 5), rgb('#FFFFFF'), opacity=0.85)
    ring = rrect(5, 5, 43, 43, 5)
    inner = rrect(6, 6, 42, 42, 4)
    im.paint(Shape(lambda px, py: ring(px, py) and not inner(px, py), ring.box),
             rgb('#B9C3D2'))
    im.paste(icon32, 8, 8)

    parts, _ = wordmark(54, 37)
    letters = union(parts)
    im.paint(shifted(letters, 1.5, 1.5), rgb('#6A7380'), n=4, opacity=0.30)
    blue = [(8, '#5FA0FF'), (22, '#2B76E6'), (37, '#0A4FC0'), (46, '#0A3E9E')]
    im.paint(letters, lambda x, y: ramp(blue, y), n=4)

    # Etched rule separating the banner from the text the program draws.
    im.hline(8, 241, 54, rgb('#C3C7CD'))
    im.hline(8, 241, 55, white)
    return im


# ---------------------------------------------------------------- main

def main():
    for name, s in SKINS.items():
        draw_skin(name, s)
    draw_tabs()
    save_gif(draw_pic_xp(), 'images/pic_xp.gif')
    save_gif(draw_pic_9x(), 'images/pic_9x.gif')
    icons = draw_icons()
    save_gif(draw_about(icons[1]), 'images/about.gif')
    for p in WRITTEN:
        print(os.path.join('assets', p))


if __name__ == '__main__':
    main()
