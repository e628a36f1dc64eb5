#!/usr/bin/env python3
"""Draws Parlova's monochrome symbols into symbols/*.svg.

Every symbol sits in a 24 × 24 box, is drawn in `currentColor` and uses one
line weight (2 units, round ends). Qt SVG on Debian 12 knows neither masks nor
clip paths, so the "fill" symbols cut their inner glyph out of the solid shape
with real outlines and the even-odd rule: they stay one colour and can be
tinted by the program (render, then paint the tint with SourceIn).

Run it again after changing a drawing: python3 draw_symbols.py
"""

import math
import pathlib

W = 2.0  # line weight
H = W / 2


def f(v):
    s = f"{v:.2f}".rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def pt(p):
    return f"{f(p[0])} {f(p[1])}"


def add(a, b):
    return (a[0] + b[0], a[1] + b[1])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def mul(a, k):
    return (a[0] * k, a[1] * k)


def unit(a):
    n = math.hypot(*a)
    return (a[0] / n, a[1] / n)


def left(d):
    # In screen coordinates (y down) this is the normal on the left of d.
    return (d[1], -d[0])


def intersect(p, d, q, e):
    den = d[0] * e[1] - d[1] * e[0]
    t = ((q[0] - p[0]) * e[1] - (q[1] - p[1]) * e[0]) / den
    return add(p, mul(d, t))


def circle(c, r, clockwise=True):
    """A closed circle as two arcs."""
    s = 1 if clockwise else 0
    a = (c[0] - r, c[1])
    b = (c[0] + r, c[1])
    return f"M{pt(a)}A{f(r)} {f(r)} 0 0 {s} {pt(b)}A{f(r)} {f(r)} 0 0 {s} {pt(a)}Z"


def stroke_outline(points, h=H):
    """Outline of a polyline drawn with round caps and round joins."""
    dirs = [unit(sub(b, a)) for a, b in zip(points, points[1:])]

    def side(pts, ds):
        out = []
        for i, d in enumerate(ds):
            n = mul(left(d), h)
            a, b = add(pts[i], n), add(pts[i + 1], n)
            if i == 0:
                out.append(("M", a))
            if i + 1 < len(ds):
                nd = ds[i + 1]
                nn = mul(left(nd), h)
                turn = d[0] * nd[1] - d[1] * nd[0]  # > 0: turns right on screen
                if turn > 0:  # left side is the outer side: round join
                    out.append(("L", b))
                    out.append(("A", add(pts[i + 1], nn)))
                else:  # inner side: meet where the two edges cross
                    out.append(("L", intersect(a, d, add(pts[i + 1], nn), nd)))
            else:
                out.append(("L", b))
        return out

    fwd = side(points, dirs)
    rev_pts = list(reversed(points))
    back = side(rev_pts, [unit(sub(b, a)) for a, b in zip(rev_pts, rev_pts[1:])])
    d = ""
    for op, p in fwd:
        d += f"{op}{pt(p)}" if op != "A" else f"A{f(h)} {f(h)} 0 0 1 {pt(p)}"
    d += f"A{f(h)} {f(h)} 0 0 1 {pt(back[0][1])}"
    for op, p in back[1:]:
        d += f"{op}{pt(p)}" if op != "A" else f"A{f(h)} {f(h)} 0 0 1 {pt(p)}"
    d += f"A{f(h)} {f(h)} 0 0 1 {pt(fwd[0][1])}Z"
    return d


def capsule(a, b, h=H):
    return stroke_outline([a, b], h)


def cross_outline(c, arm, h=H):
    """Outline of an × made of two round-ended strokes."""
    d = ""
    dirs = [unit((math.cos(a), math.sin(a))) for a in (-math.pi / 4, math.pi / 4, 3 * math.pi / 4, -3 * math.pi / 4)]
    for i, dv in enumerate(dirs):
        n = left(dv)
        tip = add(c, mul(dv, arm))
        a = add(tip, mul(n, h))
        b = sub(tip, mul(n, h))
        nxt = dirs[(i + 1) % 4]
        corner = intersect(b, dv, add(c, mul(left(nxt), h)), nxt)
        d += ("M" if i == 0 else "L") + pt(a)
        d += f"A{f(h)} {f(h)} 0 0 1 {pt(b)}L{pt(corner)}"
    return d + "Z"


def arcs_outside(c, r, a0, a1, ex, er, steps=720):
    """Stroke-centre arcs of circle (c, r) from angle a0 to a1 (radians, clockwise
    on screen) that stay farther than er from point ex."""
    runs, run = [], []
    for i in range(steps + 1):
        a = a0 + (a1 - a0) * i / steps
        p = (c[0] + r * math.cos(a), c[1] + r * math.sin(a))
        if math.dist(p, ex) > er:
            run.append(a)
        elif run:
            runs.append(run)
            run = []
    if run:
        runs.append(run)
    d = ""
    for run in runs:
        s, e = run[0], run[-1]
        ps = (c[0] + r * math.cos(s), c[1] + r * math.sin(s))
        pe = (c[0] + r * math.cos(e), c[1] + r * math.sin(e))
        large = 1 if (e - s) > math.pi else 0
        d += f"M{pt(ps)}A{f(r)} {f(r)} 0 {large} 1 {pt(pe)}"
    return d


def rounded_triangle(top, bl, br, r):
    """A triangle with its corners rounded by quadratic curves."""
    pts = [top, br, bl]
    d = ""
    for i, p in enumerate(pts):
        prev, nxt = pts[i - 1], pts[(i + 1) % 3]
        a = add(p, mul(unit(sub(prev, p)), r))
        b = add(p, mul(unit(sub(nxt, p)), r))
        d += ("M" if i == 0 else "L") + pt(a) + f"Q{pt(p)} {pt(b)}"
    return d + "Z"


def seal(c, outer, inner, bumps):
    """A rosette: a circle whose edge waves `bumps` times."""
    n = bumps * 2
    pts = []
    for i in range(n):
        a = -math.pi / 2 + i * math.pi / bumps
        r = outer if i % 2 == 0 else inner
        pts.append((a, r))
    d = ""
    for i in range(n):
        a, r = pts[i]
        b, s = pts[(i + 1) % n]
        if b < a:
            b += 2 * math.pi
        p = (c[0] + r * math.cos(a), c[1] + r * math.sin(a))
        q = (c[0] + s * math.cos(b), c[1] + s * math.sin(b))
        k = (b - a) * (r + s) / 2 * 0.36
        tp = (-math.sin(a), math.cos(a))
        tq = (-math.sin(b), math.cos(b))
        c1 = add(p, mul(tp, k))
        c2 = sub(q, mul(tq, k))
        if i == 0:
            d += f"M{pt(p)}"
        d += f"C{pt(c1)} {pt(c2)} {pt(q)}"
    return d + "Z"


def svg(body):
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">\n'
        + body
        + "</svg>\n"
    )


def filled(d):
    return f'  <path fill="currentColor" fill-rule="evenodd" d="{d}"/>\n'


def stroked(d, cap="round"):
    return (
        f'  <path fill="none" stroke="currentColor" stroke-width="{f(W)}" '
        f'stroke-linecap="{cap}" stroke-linejoin="round" d="{d}"/>\n'
    )


C = (12, 12)
R_FILL = 10  # solid discs
R_RING = 9  # rings: their outer edge meets the solid discs' edge

CHECK = [(7.6, 12.4), (10.6, 15.3), (16.4, 9.1)]
WAVE = [(4.0, 4.4), (8.0, 7.2), (12.0, 9.0), (16.0, 7.2), (20.0, 4.4)]  # x, half height
WAVE_IN_DISC = [(6.6, 1.9), (9.3, 3.3), (12.0, 4.8), (14.7, 3.3), (17.4, 1.9)]


def exclamation(top, bottom, dot, h=H, x=12):
    return capsule((x, top), (x, bottom), h) + circle((x, dot), h * 1.15)


def waveform():
    d = "".join(f"M{f(x)} {f(12 - hh)}V{f(12 + hh)}" for x, hh in WAVE)
    return svg(stroked(d))


def waveform_circle_fill():
    bars = "".join(capsule((x, 12 - hh), (x, 12 + hh), 0.8) for x, hh in WAVE_IN_DISC)
    return svg(filled(circle(C, R_FILL) + bars))


def ellipsis_circle():
    dots = "".join(circle((x, 12), 1.35) for x in (7.8, 12, 16.2))
    return svg(stroked(circle(C, R_RING)) + filled(dots))


def exclamationmark_triangle():
    tri = rounded_triangle((12, 3.2), (2.6, 20), (21.4, 20), 2.4)
    return svg(stroked(tri) + stroked("M12 9.2V13.4") + filled(circle((12, 16.7), 1.2)))


def exclamationmark_triangle_fill():
    tri = rounded_triangle((12, 2.2), (1.4, 21), (22.6, 21), 2.6)
    return svg(filled(tri + exclamation(8.9, 13.6, 17.2)))


def checkmark_circle_fill():
    return svg(filled(circle(C, R_FILL) + stroke_outline(CHECK)))


def xmark_circle_fill():
    return svg(filled(circle(C, R_FILL) + cross_outline(C, 4.1)))


def exclamationmark_circle_fill():
    return svg(filled(circle(C, R_FILL) + exclamation(6.9, 12.9, 16.9)))


def info_circle_fill():
    i = capsule((12, 11), (12, 17), H) + circle((12, 7.3), H * 1.2)
    return svg(filled(circle(C, R_FILL) + i))


def checkmark_seal_fill():
    return svg(filled(seal(C, 10.9, 9.3, 8) + stroke_outline([(7.8, 12.3), (10.7, 15.1), (16.2, 9.3)])))


def checkmark():
    return svg(stroked("M5 12.6L9.6 17L19 7.2"))


def doc_on_doc():
    front = "M10 7H18A2 2 0 0 1 20 9V19A2 2 0 0 1 18 21H10A2 2 0 0 1 8 19V9A2 2 0 0 1 10 7Z"
    back = "M15.6 3.9A2 2 0 0 0 13.8 3H6A2 2 0 0 0 4 5V14.8A2 2 0 0 0 5.2 16.6"
    return svg(stroked(front) + stroked(back))


def gift_fill():
    lid = (
        "M3.6 8H10.9V12.6H2.6V9A1 1 0 0 1 3.6 8Z"
        "M13.1 8H20.4A1 1 0 0 1 21.4 9V12.6H13.1Z"
    )
    box = (
        "M3.8 14.2H10.9V21.5H5.8A2 2 0 0 1 3.8 19.5Z"
        "M13.1 14.2H20.2V19.5A2 2 0 0 1 18.2 21.5H13.1Z"
    )
    bow = "M12 7.6C10.6 4.4 7.1 3.2 6.6 5.2C6.2 6.9 9 7.6 12 7.6C15 7.6 17.8 6.9 17.4 5.2C16.9 3.2 13.4 4.4 12 7.6Z"
    return svg(filled(lid + box) + stroked(bow))


def person_crop_circle_badge_exclamationmark():
    ring_c, ring_r = (11, 11), 9
    badge_c, badge_r = (18.6, 18.6), 5.2
    keep_clear = badge_r + 1.6 + H
    ring = arcs_outside(ring_c, ring_r, -math.pi / 2, 3 * math.pi / 2, badge_c, keep_clear)
    head = circle((11, 8.6), 3.1)
    # Shoulders: the top of a wide circle, cut where it meets the ring and the badge.
    sh_c, sh_r = (11, 21.6), 7.4
    a0 = math.pi + 0.78
    a1 = 2 * math.pi - 0.78
    shoulders = arcs_outside(sh_c, sh_r, a0, a1, badge_c, keep_clear)
    mark = exclamation(15.9, 19.0, 21.5, 0.95, badge_c[0])
    return svg(stroked(ring, "butt") + stroked(head) + stroked(shoulders) + filled(circle(badge_c, badge_r) + mark))


SYMBOLS = {
    "waveform": waveform,
    "waveform.circle.fill": waveform_circle_fill,
    "ellipsis.circle": ellipsis_circle,
    "exclamationmark.triangle": exclamationmark_triangle,
    "person.crop.circle.badge.exclamationmark": person_crop_circle_badge_exclamationmark,
    "exclamationmark.triangle.fill": exclamationmark_triangle_fill,
    "checkmark.circle.fill": checkmark_circle_fill,
    "xmark.circle.fill": xmark_circle_fill,
    "exclamationmark.circle.fill": exclamationmark_circle_fill,
    "info.circle.fill": info_circle_fill,
    "checkmark.seal.fill": checkmark_seal_fill,
    "gift.fill": gift_fill,
    "checkmark": checkmark,
    "doc.on.doc": doc_on_doc,
}

if __name__ == "__main__":
    out = pathlib.Path(__file__).resolve().parent / "symbols"
    out.mkdir(exist_ok=True)
    for name, draw in SYMBOLS.items():
        (out / f"{name}.svg").write_text(draw())
