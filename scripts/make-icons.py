#!/usr/bin/env python3
"""Draws Postvane's tray and window icons and its logo as SVG files.

Run from anywhere: writes resources/icons/<id>.svg, logo.svg and icons.qrc.
Everything is plain paths (no text, filters, masks or CSS) so Qt's SVG Tiny
renderer and rsvg draw them alike; shapes are bold for 16-pixel trays.
"""

import math
import pathlib
import re

OUT = pathlib.Path(__file__).resolve().parent.parent / "resources" / "icons"

INK = "#15191e"          # outlines and numbers
PAPER = "#ffffff"        # envelope body
PAPER_SHADE = "#d8dde3"  # envelope flap
ERROR_RED = "#e8262b"
ERROR_RED_SHADE = "#a8151a"
BADGE = "#fff3b0"
GLASS = "#bfe3ff"
HANDLE = "#6b3f1d"

# Mailbox markers 0..9: red, blue, green, cyan, magenta, yellow, light grey,
# white, black, dark grey.
MARKER_COLOURS = [
    "#e8262b", "#1f5fff", "#19b33a", "#19d6e0", "#e020d0",
    "#ffe11a", "#b4b4b4", "#ffffff", "#000000", "#5a5a5a",
]


def num(v):
    """Shortest exact-enough decimal for path data."""
    s = f"{v:.2f}".rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def transform_path(d, ox, oy, sx, sy):
    """Maps an absolute-command path (M L H V C A Z) into place."""
    arity = {"M": 2, "L": 2, "H": 1, "V": 1, "C": 6, "A": 7, "Z": 0}
    tokens = re.findall(r"[A-Za-z]|-?\d*\.?\d+", d)
    out = []
    i = 0
    while i < len(tokens):
        cmd = tokens[i]
        if cmd not in arity:
            raise ValueError(f"unsupported path command {cmd!r} in {d!r}")
        v = [float(t) for t in tokens[i + 1:i + 1 + arity[cmd]]]
        i += 1 + arity[cmd]
        if cmd in ("M", "L"):
            out.append(f"{cmd}{num(ox + v[0] * sx)},{num(oy + v[1] * sy)}")
        elif cmd == "H":
            out.append(f"H{num(ox + v[0] * sx)}")
        elif cmd == "V":
            out.append(f"V{num(oy + v[0] * sy)}")
        elif cmd == "C":
            pts = [f"{num(ox + v[k] * sx)},{num(oy + v[k + 1] * sy)}"
                   for k in (0, 2, 4)]
            out.append("C" + " ".join(pts))
        elif cmd == "A":
            out.append(f"A{num(v[0] * sx)} {num(v[1] * sy)} {num(v[2])} "
                       f"{int(v[3])} {int(v[4])} "
                       f"{num(ox + v[5] * sx)},{num(oy + v[6] * sy)}")
        else:
            out.append("Z")
    return " ".join(out)


def svg(body, w=32, h=32, title=""):
    head = (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" '
            f'baseProfile="tiny" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n')
    if title:
        head += f"<title>{title}</title>\n"
    return head + "".join(f"{line}\n" for line in body) + "</svg>\n"


def path(d, fill="none", stroke=None, width=None, cap="round",
         join="round", extra=""):
    attrs = [f'd="{d}"', f'fill="{fill}"']
    if stroke:
        attrs += [f'stroke="{stroke}"', f'stroke-width="{num(width)}"',
                  f'stroke-linecap="{cap}"', f'stroke-linejoin="{join}"']
    if extra:
        attrs.append(extra)
    return "<path " + " ".join(attrs) + "/>"


def rect_d(x, y, w, h):
    return (f"M{num(x)},{num(y)} H{num(x + w)} V{num(y + h)} "
            f"H{num(x)} Z")


def round_rect_d(x, y, w, h, r):
    return (f"M{num(x + r)},{num(y)} H{num(x + w - r)} "
            f"A{num(r)} {num(r)} 0 0 1 {num(x + w)},{num(y + r)} "
            f"V{num(y + h - r)} "
            f"A{num(r)} {num(r)} 0 0 1 {num(x + w - r)},{num(y + h)} "
            f"H{num(x + r)} "
            f"A{num(r)} {num(r)} 0 0 1 {num(x)},{num(y + h - r)} "
            f"V{num(y + r)} "
            f"A{num(r)} {num(r)} 0 0 1 {num(x + r)},{num(y)} Z")


# --- envelope -----------------------------------------------------------

def envelope(x, y, w, h, body=PAPER, flap=PAPER_SHADE, stroke=INK, sw=2.0):
    """A closed envelope seen from the back: body, flap and a bold outline."""
    mx = x + w / 2
    fy = y + h * 0.58
    vee = f"M{num(x)},{num(y)} L{num(mx)},{num(fy)} L{num(x + w)},{num(y)}"
    return [
        path(rect_d(x, y, w, h), fill=body),
        path(vee + " Z", fill=flap),
        path(vee, stroke=stroke, width=sw * 0.8),
        path(rect_d(x, y, w, h), stroke=stroke, width=sw),
    ]


def speed_lines(fill, stroke=INK):
    """Three bars trailing the envelope; outlined so they read on any panel."""
    out = []
    for (x0, x1, y) in ((2.0, 8.5, 11.0), (4.0, 8.5, 17.0), (2.0, 8.5, 23.0)):
        out.append(path(f"M{num(x0)},{num(y)} H{num(x1)}", stroke=stroke,
                        width=4.2))
        out.append(path(f"M{num(x0)},{num(y)} H{num(x1)}", stroke=fill,
                        width=1.6))
    return out


def fast_envelope(body, flap):
    return speed_lines(body) + envelope(11, 8, 19, 18, body=body, flap=flap)


# --- letter box ---------------------------------------------------------

def letter_box():
    out = []
    # post
    out.append(path(rect_d(13, 20, 5, 10.5), fill="#8a5a2b", stroke=INK,
                    width=1.6))
    # box, side view: rounded top, flat bottom
    body = ("M3,21 V12.5 A7.5,7.5 0 0 1 10.5,5 H21 A7.5,7.5 0 0 1 28.5,12.5 "
            "V21 Z")
    out.append(path(body, fill="#3f7fd9"))
    out.append(path("M10.5,5 A7.5,7.5 0 0 1 18,12.5 V21", stroke=INK,
                    width=1.4))
    out.append(path("M3,21 V12.5 A7.5,7.5 0 0 0 18,12.5", fill="#2a5ba3"))
    out.append(path(body, stroke=INK, width=2))
    # a letter in the slot
    out.append(path(rect_d(5.5, 11, 9, 3.2), fill=PAPER, stroke=INK,
                    width=1.2))
    # raised flag
    out.append(path("M24.5,21 V2", stroke=INK, width=2.2))
    out.append(path("M24.5,2 H31 V7.5 H24.5 Z", fill=ERROR_RED, stroke=INK,
                    width=1.4))
    return out


# --- numbers ------------------------------------------------------------

def arc_point(cx, cy, rx, ry, deg):
    a = math.radians(deg)
    return cx + rx * math.cos(a), cy + ry * math.sin(a)


def p(x, y):
    return f"{num(x)},{num(y)}"


# Digit outlines as stroke centre lines in a 10 x 18 box (y down). The first
# number is the inked width used to lay digits out side by side.
def _digit_paths():
    d = {}
    d["0"] = (10, "M0,5 A5,5 0 0 1 10,5 V13 A5,5 0 0 1 0,13 Z")
    d["1"] = (6, "M0,4.2 L5,0 V18")
    d["2"] = (10, "M0.2,4.8 A4.9,4.8 0 0 1 10,4.8 "
                  "C10,9.5 0.3,12.5 0,18 H10")
    a0 = arc_point(5, 4.3, 4.6, 4.3, 200)
    a1 = arc_point(5, 13.2, 4.9, 4.8, 150)
    d["3"] = (10, f"M{p(*a0)} A4.6,4.3 0 1 1 4.2,8.6 "
                  f"A4.9,4.8 0 1 1 {p(*a1)}")
    d["4"] = (10, "M7.6,18 V0 L0,12.6 H10")
    b1 = arc_point(4.8, 12.5, 5.2, 5.5, 148)
    d["5"] = (10, f"M9.6,0 H1.4 L0.8,8.3 C2,7.4 3.3,7 4.8,7 "
                  f"A5.2,5.5 0 1 1 {p(*b1)}")
    d["6"] = (10, "M0,12.9 A5,5.1 0 1 0 10,12.9 A5,5.1 0 1 0 0,12.9 "
                  "C0,4.5 3.2,0 9,0.3")
    d["7"] = (10, "M0,0 H10 L3.6,18")
    d["8"] = (10, "M5,8.5 A4.5,4.25 0 1 1 5,0 A4.5,4.25 0 1 1 5,8.5 "
                  "A5,4.75 0 1 0 5,18 A5,4.75 0 1 0 5,8.5 Z")
    d["9"] = (10, "M10,5.1 A5,5.1 0 1 0 0,5.1 A5,5.1 0 1 0 10,5.1 "
                  "C10,13.5 6.8,18 1,17.7")
    return d


DIGITS = _digit_paths()


def number_badge(n):
    out = [path(round_rect_d(1, 1, 30, 30, 6.5), fill=BADGE, stroke=INK,
                width=2)]
    text = str(n)
    if len(text) == 1:
        sx, sy, gap, sw = 1.4, 22.0 / 18, 0.0, 4.4
    else:
        sx, sy, gap, sw = 1.0, 22.0 / 18, 2.3, 3.6
    widths = [DIGITS[c][0] * sx for c in text]
    total = sum(widths) + gap * (len(text) - 1)
    x = 16 - total / 2
    y = 16 - 9 * sy
    for c, w in zip(text, widths):
        out.append(path(transform_path(DIGITS[c][1], x, y, sx, sy),
                        stroke=INK, width=sw))
        x += w + gap
    return out


# --- mailbox markers: new mail in mailbox i --------------------------------

def shade(colour, factor):
    """The colour darkened (factor < 1) towards black."""
    r, g, b = (int(colour[k:k + 2], 16) for k in (1, 3, 5))
    return "#" + "".join(f"{round(v * factor):02x}" for v in (r, g, b))


def near_dark_panel(colour):
    """True when the colour would melt into a dark panel (about #2b2b2b)."""
    r, g, b = (int(colour[k:k + 2], 16) - 0x2b for k in (1, 3, 5))
    return math.sqrt((r * r + g * g + b * b) / 3) / 255 < 0.3


def number_on(text, cx, cy, height, width_scale, gap, sw, colour=INK):
    """Digits centred on (cx, cy), `height` tall."""
    sy = height / 18
    widths = [DIGITS[c][0] * width_scale for c in text]
    total = sum(widths) + gap * (len(text) - 1)
    x = cx - total / 2
    out = []
    for c, w in zip(text, widths):
        out.append(path(transform_path(DIGITS[c][1], x, cy - height / 2,
                                       width_scale, sy),
                        stroke=colour, width=sw))
        x += w + gap
    return out


def light(colour):
    r, g, b = (int(colour[k:k + 2], 16) / 255 for k in (1, 3, 5))
    return 0.2126 * r + 0.7152 * g + 0.0722 * b > 0.5


def mailbox_marker(index, colour):
    """A white open envelope with a letter coming out in the mailbox's colour,
    carrying the mailbox's number (1 to 10, as the dialog counts): new mail,
    and where. Nothing of the red error envelope or of the magnifier."""
    out = []
    # open flap behind the letter
    out.append(path("M3,14 L16,4.5 L29,14 Z", fill=PAPER_SHADE, stroke=INK,
                    width=1.8))
    # the letter in the mailbox's colour, with the number where nothing
    # covers it
    out.append(path(rect_d(7.5, 1.5, 17, 19), fill=colour, stroke=INK,
                    width=1.8))
    if near_dark_panel(colour):
        # a light rim inside, so a dark letter still stands out on a dark panel
        out.append(path(rect_d(9.2, 3.2, 13.6, 15.6), stroke="#aab4c0",
                        width=1.2))
    ink = INK if light(colour) else PAPER
    text = str(index + 1)
    if len(text) == 1:
        out += number_on(text, 16, 8.8, 10.5, 0.78, 0, 2.6, ink)
    else:
        out += number_on(text, 16, 8.8, 10, 0.6, 1.2, 2.1, ink)
    # the white front pocket
    pocket = "M2,14 L16,22.5 L30,14 V29 H2 Z"
    out.append(path(pocket, fill=PAPER))
    out.append(path("M2,29 L12.5,20.5 M30,29 L19.5,20.5",
                    stroke=PAPER_SHADE, width=1.4))
    out.append(path(pocket, stroke=INK, width=2))
    return out


# --- checking animation -------------------------------------------------

LENS_CENTRES = [(9.0, 10.5), (21.0, 10.5), (21.0, 18.5), (9.0, 18.5)]


def magnifier_frame(k):
    out = envelope(3, 7, 26, 18)
    cx, cy = LENS_CENTRES[k]
    r = 5.8
    hx0, hy0 = cx + r * 0.72, cy + r * 0.72
    hx1, hy1 = cx + (r + 6.5) * 0.72, cy + (r + 6.5) * 0.72
    handle = f"M{num(hx0)},{num(hy0)} L{num(hx1)},{num(hy1)}"
    out.append(path(handle, stroke=INK, width=5.6))
    out.append(path(handle, stroke=HANDLE, width=3.0))
    lens = (f"M{num(cx - r)},{num(cy)} A{num(r)},{num(r)} 0 1 1 "
            f"{num(cx + r)},{num(cy)} A{num(r)},{num(r)} 0 1 1 "
            f"{num(cx - r)},{num(cy)} Z")
    out.append(path(lens, fill=GLASS, extra='fill-opacity="0.55"'))
    out.append(path(lens, stroke=INK, width=3.8))
    out.append(path(lens, stroke="#c9ced6", width=1.4))
    # glint
    g0 = arc_point(cx, cy, r - 2.6, r - 2.6, 200)
    g1 = arc_point(cx, cy, r - 2.6, r - 2.6, 250)
    out.append(path(f"M{p(*g0)} A{num(r - 2.6)},{num(r - 2.6)} 0 0 1 "
                    f"{p(*g1)}", stroke=PAPER, width=1.5))
    return out


# --- logo ---------------------------------------------------------------

# Lower-case and capital outlines for the word mark as stroke centre lines;
# baseline at y 41.5, x-height at 24.5, cap height at 12.5. Each entry holds
# the inked width and the path.
LETTERS = {
    "P": (19, "M0,41.5 V12.5 H9.5 A9.5,8.75 0 0 1 9.5,30 H0"),
    "o": (17, "M0,33 A8.5,8.5 0 1 1 17,33 A8.5,8.5 0 1 1 0,33 Z"),
    "s": (14, "M13.5,27.6 C11.5,23.6 1,23.4 1,28.8 C1,33.6 14,31.6 14,37 "
              "C14,43.2 2.2,43.2 0,38.6"),
    "t": (12, "M4.5,16 V37 C4.5,41.2 8,42 12,41.3 M0,24.5 H11.5"),
    "v": (17, "M0,24.5 L8.5,41.5 L17,24.5"),
    "a": (17, "M17,33 A8.5,8.5 0 1 0 0,33 A8.5,8.5 0 1 0 17,33 "
              "M17,24.5 V41.5"),
    "n": (16, "M0,41.5 V24.5 M0,32.5 A8,8 0 0 1 16,32.5 V41.5"),
    "e": (17, "M0.2,33 H17 A8.5,8.5 0 1 0 14.6,38.9"),
}


def logo():
    light = "#f4f6f8"
    accent = "#ffc23d"
    out = []
    # weather vane: an arrow whose tail fin is an envelope, on a post with
    # compass arms
    out.append(path("M33,15 V50", stroke=light, width=3.4))
    out.append(path("M22,38 H44", stroke=light, width=2.8))
    for x in (22, 44):
        out.append(path(f"M{x},38 H{x + 0.1}", stroke=light, width=5))
    out.append(path("M22,14.5 H46", stroke=light, width=3.4))
    out.append(path("M43,6 L56,14.5 L43,23 Z", fill=light, stroke=light,
                    width=1.6))
    out.append(path("M33,11 A3.6,3.6 0 1 1 33,18.2 A3.6,3.6 0 1 1 33,11 Z",
                    fill=light))
    out.extend(envelope(2, 6, 22, 17, body=accent, flap="#e69a14",
                        stroke=light, sw=2.4))
    word = "Postvane"
    scale = 1.16
    gap = 6.6
    sw = 5.2
    widths = [LETTERS[c][0] * scale for c in word]
    total = sum(widths) + gap * (len(word) - 1)
    left = 66 + (292 - 66 - 4 - total) / 2
    # centre the letters on the canvas height: ink spans 12.5..41.5 unscaled
    oy = 27 - (12.5 + 41.5) / 2 * scale
    x = left
    for i, (c, w) in enumerate(zip(word, widths)):
        colour = light if i < 4 else accent
        out.append(path(transform_path(LETTERS[c][1], x, oy, scale, scale),
                        stroke=colour, width=sw))
        x += w + gap
    return out


# --- output -------------------------------------------------------------

def icons():
    pics = {}
    white = fast_envelope(PAPER, PAPER_SHADE)
    pics[1] = ("Postvane", white)
    pics[101] = ("Idle", white)
    pics[102] = ("Letter box", letter_box())
    pics[103] = ("Error", fast_envelope(ERROR_RED, ERROR_RED_SHADE))
    for n in range(1, 21):
        pics[103 + n] = (f"{n} new", number_badge(n))
    for i, colour in enumerate(MARKER_COLOURS):
        pics[124 + i] = (f"Mailbox {i}", mailbox_marker(i, colour))
    for k in range(4):
        pics[134 + k] = (f"Checking {k + 1}", magnifier_frame(k))
    return pics


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    names = []
    for icon_id, (title, body) in sorted(icons().items()):
        name = f"{icon_id}.svg"
        (OUT / name).write_text(svg(body, title=title), encoding="utf-8")
        names.append(name)
    (OUT / "logo.svg").write_text(svg(logo(), 292, 54, "Postvane"),
                                  encoding="utf-8")
    names.append("logo.svg")
    qrc = ['<!DOCTYPE RCC>', '<RCC version="1.0">',
           '<qresource prefix="/icons">']
    qrc += [f'  <file alias="{n}">{n}</file>' for n in names]
    qrc += ['</qresource>', '</RCC>']
    (OUT / "icons.qrc").write_text("\n".join(qrc) + "\n", encoding="utf-8")
    print(f"wrote {len(names)} pictures and icons.qrc to {OUT}")


if __name__ == "__main__":
    main()
