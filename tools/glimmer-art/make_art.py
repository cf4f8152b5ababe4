#!/usr/bin/env python3
"""Draws the pop-up library's artwork: the background plate and every icon in
both sizes, as PNG files named by resource id.

Only the standard library is used. Shapes are signed distance functions in a
100 x 100 design space (the plate uses pixels), rendered with one pixel of
anti-aliasing at each output size, so the large and normal icons are each
drawn natively rather than scaled. The output is byte-for-byte reproducible.

    tools/glimmer-art/make_art.py [OUTPUT_DIR [ID...]]
        (default libs/glimmer/resources/images; with ids, only those images and
        no resource script fragment, which goes beside OUTPUT_DIR)
"""

import math
import os
import struct
import sys
import zlib

LARGE = 325
NORMAL = 130

WHITE = (255, 255, 255)
ACCENT = (72, 160, 255)      # settings that are on
GREEN = (84, 214, 128)
AMBER = (255, 184, 56)
GREY = (150, 158, 170)       # settings that are off
DARK = (26, 30, 38)


# ---------------------------------------------------------------------------
# Distance functions (negative inside).

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(cx, cy, hw, hh, r=0.0):
    def d(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        out = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return out + min(max(qx, qy), 0.0) - r
    return d


def segment(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def d(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length2 if length2 else 0.0
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2
    return d


def arc(cx, cy, r, start_deg, end_deg, width):
    """A stroked arc with round caps; angles in degrees, clockwise from +x
    (y grows downwards)."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    p0 = (cx + r * math.cos(a0), cy + r * math.sin(a0))
    p1 = (cx + r * math.cos(a1), cy + r * math.sin(a1))
    span = (a1 - a0) % (2 * math.pi)

    def d(x, y):
        ang = (math.atan2(y - cy, x - cx) - a0) % (2 * math.pi)
        if ang <= span:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - p0[0], y - p0[1]), math.hypot(x - p1[0], y - p1[1])) - width / 2
    return d


def polygon(points):
    n = len(points)

    def d(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = min(max((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0), 1.0)
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -best if inside else best
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def outline(shape, width):
    return lambda x, y: abs(shape(x, y)) - width / 2


def grow(shape, amount):
    return lambda x, y: shape(x, y) - amount


def rotate(shape, cx, cy, degrees):
    c, s = math.cos(math.radians(-degrees)), math.sin(math.radians(-degrees))

    def d(x, y):
        dx, dy = x - cx, y - cy
        return shape(cx + dx * c - dy * s, cy + dx * s + dy * c)
    return d


# ---------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats, painted shape by shape.

class Canvas:
    def __init__(self, width, height, units):
        self.w, self.h = width, height
        self.unit = units / width        # design units per pixel
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def _pixels(self, bounds):
        if bounds is None:
            return range(self.h), range(self.w)
        x0, y0, x1, y1 = bounds
        u = self.unit
        return (range(max(int(y0 / u) - 2, 0), min(int(y1 / u) + 3, self.h)),
                range(max(int(x0 / u) - 2, 0), min(int(x1 / u) + 3, self.w)))

    def paint(self, shape, color, alpha=1.0, bounds=None):
        """Source-over with coverage from the distance; color is an (r, g, b)
        tuple or a function of the design coordinates giving (r, g, b, a)."""
        u = self.unit
        rows, cols = self._pixels(bounds)
        for j in rows:
            y = (j + 0.5) * u
            for i in cols:
                x = (i + 0.5) * u
                cover = 0.5 - shape(x, y) / u
                if cover <= 0.0:
                    continue
                cover = min(cover, 1.0)
                if callable(color):
                    r, g, b, a = color(x, y)
                else:
                    (r, g, b), a = color, 1.0
                a *= alpha * cover
                if a <= 0.0:
                    continue
                p = self.px[j * self.w + i]
                k = 1.0 - a
                p[0] = r * a + p[0] * k
                p[1] = g * a + p[1] * k
                p[2] = b * a + p[2] * k
                p[3] = 255.0 * a + p[3] * k

    def erase(self, shape, bounds=None):
        """Cuts the shape out of what is drawn (used for the gap beside a slash)."""
        u = self.unit
        rows, cols = self._pixels(bounds)
        for j in rows:
            y = (j + 0.5) * u
            for i in cols:
                x = (i + 0.5) * u
                cover = 0.5 - shape(x, y) / u
                if cover <= 0.0:
                    continue
                k = 1.0 - min(cover, 1.0)
                p = self.px[j * self.w + i]
                for c in range(4):
                    p[c] *= k

    def png(self):
        raw = bytearray()
        for j in range(self.h):
            raw.append(0)
            for i in range(self.w):
                r, g, b, a = self.px[j * self.w + i]
                if a <= 0.0:
                    raw += b"\0\0\0\0"
                    continue
                f = 255.0 / a
                raw += bytes((min(255, int(r * f + 0.5)), min(255, int(g * f + 0.5)),
                              min(255, int(b * f + 0.5)), min(255, int(a + 0.5))))

        def chunk(tag, data):
            body = tag + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# Pieces shared by several icons (design space 0..100).

STROKE = 5.0


def slash(c, length=1.0):
    """The 'switched off' stroke: a gap cut into the drawing, then the line."""
    a = 50 - 36 * length
    b = 50 + 36 * length
    c.erase(segment(a, a, b, b, STROKE + 6.0), (a - 8, a - 8, b + 8, b + 8))
    c.paint(segment(a, a, b, b, STROKE), WHITE, bounds=(a - 4, a - 4, b + 4, b + 4))


def radial(color, cx, cy, r0, r1, a0, a1):
    """A colour whose alpha runs from a0 at r0 to a1 at r1."""
    def f(x, y):
        t = min(max((math.hypot(x - cx, y - cy) - r0) / (r1 - r0), 0.0), 1.0)
        return color[0], color[1], color[2], a0 + (a1 - a0) * t
    return f


def rays(c, cx, cy, r_in, r_out, count, color, start=0.0, width=4.0, skip=()):
    for k in range(count):
        if k in skip:
            continue
        a = math.radians(start + 360.0 * k / count)
        c.paint(segment(cx + r_in * math.cos(a), cy + r_in * math.sin(a),
                        cx + r_out * math.cos(a), cy + r_out * math.sin(a), width), color,
                bounds=(cx - r_out - 4, cy - r_out - 4, cx + r_out + 4, cy + r_out + 4))


# Eye: a lens made of two circles, with iris, pupil and highlight.
def eye(c, iris_color):
    lens = intersect(circle(50, 86, 52), circle(50, 14, 52))
    c.paint(outline(lens, STROKE), WHITE, bounds=(8, 24, 92, 76))
    c.paint(circle(50, 50, 15), iris_color, bounds=(34, 34, 66, 66))
    c.paint(circle(50, 50, 6.5), DARK, bounds=(42, 42, 58, 58))
    c.paint(circle(55, 45, 3.2), WHITE, bounds=(50, 40, 60, 50))


def draw_privacy_off(c):
    eye(c, ACCENT)


def draw_privacy_on(c):
    # The eye behind a veil: a translucent drape hung from a rod, with a
    # scalloped hem and pleats, hiding the upper part of the eye.
    eye(c, GREY)
    hem = union(*[circle(18 + 16 * k, 49, 8) for k in range(5)])
    drape = union(box(50, 33, 38, 16, 3), hem)
    drape = intersect(drape, box(50, 40, 40, 24))
    c.paint(drape, ACCENT, alpha=0.62, bounds=(8, 16, 92, 60))
    for k in range(1, 5):
        x = 18 + 16 * k - 8
        c.paint(segment(x, 22, x, 50, 1.6), WHITE, alpha=0.4, bounds=(x - 2, 20, x + 2, 52))
    c.paint(segment(8, 17, 92, 17, 4.5), WHITE, bounds=(4, 12, 96, 22))


# Status light: a bulb with a screw base.
BULB = union(circle(50, 40, 22), polygon([(36, 55), (64, 55), (58, 68), (42, 68)]))


def bulb(c, fill, fill_alpha):
    if fill is not None:
        c.paint(BULB, fill, alpha=fill_alpha, bounds=(26, 16, 74, 70))
    c.paint(outline(BULB, STROKE), WHITE, bounds=(24, 14, 76, 72))
    for y in (74, 81):
        c.paint(segment(41, y, 59, y, STROKE), WHITE, bounds=(36, y - 4, 64, y + 4))
    c.paint(segment(46, 88, 54, 88, STROKE), WHITE, bounds=(42, 84, 58, 92))


def draw_light_on(c):
    c.paint(circle(50, 40, 40), radial(AMBER, 50, 40, 20, 40, 0.45, 0.0), bounds=(10, 0, 90, 80))
    bulb(c, AMBER, 1.0)
    rays(c, 50, 40, 30, 40, 8, AMBER, start=-90, skip=(3, 4, 5))


def draw_light_off(c):
    bulb(c, None, 0.0)
    slash(c)


def draw_light_auto(c):
    bulb(c, GREEN, 0.9)
    # "A" badge at the lower right.
    c.paint(circle(74, 74, 17), ACCENT, bounds=(56, 56, 92, 92))
    c.paint(segment(67, 83, 74, 64, 3.8), WHITE, bounds=(62, 60, 86, 88))
    c.paint(segment(81, 83, 74, 64, 3.8), WHITE, bounds=(62, 60, 86, 88))
    c.paint(segment(70, 77, 78, 77, 3.4), WHITE, bounds=(66, 73, 82, 81))


# Fan: four curved blades around a hub, inside a ring.
def fan(c, color, cx=50, cy=50, scale=1.0):
    blade = intersect(circle(cx + 10 * scale, cy - 16 * scale, 17 * scale),
                      circle(cx - 6 * scale, cy - 30 * scale, 19 * scale))
    bounds = (cx - 40 * scale, cy - 40 * scale, cx + 40 * scale, cy + 40 * scale)
    c.paint(union(*[rotate(blade, cx, cy, 90 * k) for k in range(4)]), color, bounds=bounds)
    c.paint(circle(cx, cy, 7 * scale), color, bounds=bounds)
    c.paint(circle(cx, cy, 3 * scale), DARK, bounds=bounds)
    c.paint(outline(circle(cx, cy, 37 * scale), STROKE * 0.8), color, bounds=bounds)


def draw_fan_standard(c):
    fan(c, WHITE)


def draw_fan_whisper(c):
    fan(c, WHITE, 44, 50, 0.88)
    # A crescent moon: the quiet mode.
    moon = subtract(circle(80, 24, 13), circle(86, 19, 11))
    c.paint(moon, ACCENT, bounds=(64, 8, 96, 40))


def draw_fan_performance(c):
    fan(c, WHITE, 44, 54, 0.88)
    bolt = polygon([(84, 6), (68, 30), (78, 30), (70, 50), (90, 24), (80, 24), (88, 6)])
    c.paint(grow(bolt, 2.5), DARK, bounds=(62, 0, 98, 56))
    c.paint(bolt, AMBER, bounds=(62, 0, 98, 56))


# Microphone and presenters.
def microphone(c, cx, cy, s, color):
    b = (cx - 22 * s, cy - 36 * s, cx + 22 * s, cy + 40 * s)
    c.paint(box(cx, cy - 14 * s, 9 * s, 18 * s, 9 * s), color, bounds=b)
    c.paint(arc(cx, cy - 4 * s, 16 * s, 0, 180, STROKE * s), color, bounds=b)
    c.paint(segment(cx, cy + 12 * s, cx, cy + 24 * s, STROKE * s), color, bounds=b)
    c.paint(segment(cx - 10 * s, cy + 26 * s, cx + 10 * s, cy + 26 * s, STROKE * s), color, bounds=b)


def person_shape(cx, cy, s):
    shoulders = intersect(circle(cx, cy + 22 * s, 20 * s), box(cx, cy + 12 * s, 22 * s, 12 * s))
    return union(circle(cx, cy - 14 * s, 10 * s), shoulders)


def person(c, cx, cy, s, color, gap=False):
    b = (cx - 26 * s, cy - 30 * s, cx + 26 * s, cy + 30 * s)
    if gap:  # stands in front of another: cut a margin around it first
        c.erase(grow(person_shape(cx, cy, s), 3.0), b)
    c.paint(person_shape(cx, cy, s), color, bounds=b)


def draw_mic_off(c):
    microphone(c, 50, 50, 1.35, WHITE)
    slash(c)


def draw_mic_single(c):
    person(c, 34, 52, 1.25, ACCENT)
    microphone(c, 74, 56, 0.95, WHITE)


def draw_mic_multi(c):
    person(c, 46, 52, 0.9, ACCENT)
    person(c, 24, 58, 0.9, ACCENT, gap=True)
    microphone(c, 78, 56, 0.95, WHITE)


# Speaker with waves or a cross.
SPEAKER = union(box(22, 50, 9, 11, 2), polygon([(28, 39), (48, 22), (48, 78), (28, 61)]))


def draw_speaker_on(c):
    c.paint(SPEAKER, WHITE, bounds=(10, 18, 52, 82))
    for k, r in enumerate((14, 26, 38)):
        c.paint(arc(48, 50, r, -50, 50, STROKE), ACCENT, bounds=(52, 10, 92, 90))


def draw_speaker_off(c):
    c.paint(SPEAKER, WHITE, bounds=(10, 18, 52, 82))
    c.paint(segment(62, 38, 84, 62, STROKE), GREY, bounds=(56, 32, 90, 68))
    c.paint(segment(84, 38, 62, 62, STROKE), GREY, bounds=(56, 32, 90, 68))


# Touchpad and keyboard (one size each).
PAD = box(50, 50, 34, 28, 7)


def touchpad(c, color=WHITE):
    c.paint(outline(PAD, STROKE), color, bounds=(12, 18, 88, 82))
    c.paint(segment(16.5, 64, 83.5, 64, STROKE * 0.7), color, bounds=(12, 60, 88, 68))
    c.paint(segment(50, 64, 50, 76, STROKE * 0.7), color, bounds=(46, 60, 54, 80))


def draw_twinpad(c):
    touchpad(c)
    # A second screen inside the pad: a small display with two windows.
    c.paint(box(50, 40, 24, 13, 2.5), ACCENT, bounds=(24, 24, 76, 56))
    c.paint(box(40, 40, 9, 8, 1.5), WHITE, alpha=0.85, bounds=(28, 30, 52, 50))
    c.paint(box(61, 37, 8, 5, 1.5), WHITE, alpha=0.85, bounds=(50, 30, 72, 44))
    c.paint(box(61, 47, 8, 3, 1.0), WHITE, alpha=0.85, bounds=(50, 42, 72, 52))


def draw_pad(c):
    touchpad(c)
    c.paint(circle(56, 42, 5), ACCENT, bounds=(48, 34, 64, 50))
    c.paint(outline(circle(56, 42, 11), 2.2), ACCENT, alpha=0.8, bounds=(42, 28, 70, 56))


def draw_pad_off(c):
    touchpad(c, GREY)
    slash(c)


def keyboard(c, key_color):
    c.paint(outline(box(50, 60, 40, 22, 5), STROKE), WHITE, bounds=(6, 34, 94, 86))
    for row, (y, count, x0) in enumerate(((50, 8, 17.5), (60, 8, 17.5), (70, 7, 22))):
        for k in range(count):
            x = x0 + 9.3 * k
            c.paint(box(x, y, 3.2, 3.0, 1.0), key_color, bounds=(x - 5, y - 5, x + 5, y + 5))
    c.paint(box(50, 78, 16, 2.4, 1.0), key_color, bounds=(30, 74, 70, 82))


def draw_keyboard_bright(c):
    keyboard(c, WHITE)
    c.paint(circle(50, 22, 7), AMBER, bounds=(40, 12, 60, 32))
    rays(c, 50, 22, 11, 17, 8, AMBER, start=0, width=3.4, skip=(1, 2, 3))


def draw_keyboard_off(c):
    keyboard(c, GREY)
    slash(c, 0.95)


def draw_plate(c):
    """The background plate, in pixels: a dark rounded panel with a soft
    vertical gradient and a faint rim."""
    w, h = c.w, c.h
    panel = box(w / 2, h / 2, w / 2 - 1, h / 2 - 1, 58)

    def shade(x, y):
        t = y / h
        return (44 - 20 * t, 49 - 22 * t, 58 - 24 * t, 0.93)
    c.paint(panel, shade)
    c.paint(outline(grow(panel, -2.5), 2.0), WHITE, alpha=0.16)


# ---------------------------------------------------------------------------

# id: (drawing, size)
ICONS = {
    134: (draw_twinpad, LARGE), 136: (draw_pad, LARGE), 138: (draw_pad_off, LARGE),
    133: (draw_keyboard_off, LARGE), 132: (draw_keyboard_bright, LARGE),
}
for large, normal, drawing in (
        (149, 146, draw_fan_standard), (151, 148, draw_fan_whisper), (150, 147, draw_fan_performance),
        (143, 140, draw_light_auto), (145, 142, draw_light_on), (144, 141, draw_light_off),
        (232, 233, draw_privacy_on), (230, 231, draw_privacy_off),
        (220, 221, draw_mic_off), (222, 223, draw_mic_single), (224, 225, draw_mic_multi),
        (226, 227, draw_speaker_off), (228, 229, draw_speaker_on)):
    ICONS[large] = (drawing, LARGE)
    ICONS[normal] = (drawing, NORMAL)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "libs", "glimmer", "resources", "images")
    only = {int(a) for a in sys.argv[2:]}
    os.makedirs(out, exist_ok=True)
    jobs = [(131, draw_plate, (550, 553))] + [(k, d, (s, s)) for k, (d, s) in sorted(ICONS.items())]
    for rid, drawing, (w, h) in jobs:
        if only and rid not in only:
            continue
        c = Canvas(w, h, w if rid == 131 else 100.0)
        drawing(c)
        with open(os.path.join(out, "%d.png" % rid), "wb") as f:
            f.write(c.png())
        print("%d.png %dx%d" % (rid, w, h))
    if not only:
        rc = ["// Generated by tools/glimmer-art/make_art.py: the pop-up's images (type PNG)."]
        rc += ['%d PNG "images/%d.png"' % (rid, rid) for rid, _, _ in jobs]
        with open(os.path.join(out, "..", "images.rc"), "w", newline="\n") as f:
            f.write("\n".join(rc) + "\n")


if __name__ == "__main__":
    main()
