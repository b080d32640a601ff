#!/usr/bin/env python3
"""Writes the toolbar, class and category-symbol SVGs of Harrowvane.

The icons are drawn on the pixel grid of their final size (16 x 16 buttons, 22 x 24 class
icons, 10 x 8 symbols): one-pixel outlines sit on half-pixel coordinates and filled bars on
whole ones, so they stay sharp at 100 %. They use only what Qt SVG (SVG Tiny 1.2) draws:
paths, rectangles, circles, polygons and presentation attributes, no CSS, masks or filters.

Run it from anywhere; it rewrites resources/icons/{buttons,classes,symbols}/*.svg.
"""
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent / "icons"

# One restrained palette: a slate ink for outlines and text, white paper, and one colour per
# kind of library text so that buttons, class icons and lists agree with one another.
INK = "#3d4756"
PAPER = "#ffffff"
SHADE = "#e6ebf1"
LINE = "#a7b1bd"
BLUE, BLUE_L, BLUE_D = "#2f6fb5", "#d7e6f7", "#1f4f86"
GREEN, GREEN_L, GREEN_D = "#2e8b57", "#d6f0e0", "#1f6b42"
PURPLE, PURPLE_L = "#7a52b3", "#ebe2f7"
ORANGE, ORANGE_L, ORANGE_D = "#dd7a26", "#fde6d1", "#a9561a"
RED, RED_L = "#c9443a", "#f9dcd9"
TEAL, TEAL_L = "#1b8a8f", "#d2eef0"
YELLOW, YELLOW_L, YELLOW_D = "#f2c230", "#ffe58a", "#a87a12"
AMBER, AMBER_L, AMBER_D = "#e9b949", "#f8d775", "#a9791c"
WOOD, WOOD_D = "#c98a4b", "#8a5a2b"
GREY = "#7b8593"


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n{body}</svg>\n')


def el(tag, **attrs):
    parts = []
    for k, v in attrs.items():
        parts.append(f'{k.rstrip("_").replace("_", "-")}="{v}"')
    return f'  <{tag} {" ".join(parts)}/>\n'


def path(d, fill="none", stroke=None, sw=1, cap=None, join=None, rule=None, opacity=None):
    a = {"d": d, "fill": fill}
    if stroke:
        a["stroke"] = stroke
        a["stroke_width"] = sw
        if cap:
            a["stroke_linecap"] = cap
        if join:
            a["stroke_linejoin"] = join
    if rule:
        a["fill_rule"] = rule
    if opacity is not None:
        a["opacity"] = opacity
    return el("path", **a)


def rect(x, y, w, h, fill, stroke=None, sw=1, rx=None):
    a = {"x": x, "y": y, "width": w, "height": h, "fill": fill}
    if rx:
        a["rx"] = rx
    if stroke:
        a["stroke"] = stroke
        a["stroke_width"] = sw
    return el("rect", **a)


def circle(cx, cy, r, fill, stroke=None, sw=1):
    a = {"cx": cx, "cy": cy, "r": r, "fill": fill}
    if stroke:
        a["stroke"] = stroke
        a["stroke_width"] = sw
    return el("circle", **a)


def polygon(points, fill, stroke=None, sw=1, join=None):
    a = {"points": points, "fill": fill}
    if stroke:
        a["stroke"] = stroke
        a["stroke_width"] = sw
        if join:
            a["stroke_linejoin"] = join
    return el("polygon", **a)


# --- shared 16 px parts -------------------------------------------------------------------

def page(x0, y0, x1, y1, fold=3, fill=PAPER, stroke=INK):
    """A sheet with a folded top-right corner; x0..x1, y0..y1 are the outline's pixel columns."""
    a, b, c, d = x0 + .5, y0 + .5, x1 + .5, y1 + .5
    return (path(f"M{a} {b}H{c - fold}L{c} {b + fold}V{d}H{a}Z", fill=fill, stroke=stroke, join="round")
            + path(f"M{c - fold} {b}V{b + fold}H{c}", fill=SHADE, stroke=stroke, join="round"))


def lines(x, ys, lengths, colour=LINE, h=1):
    return "".join(rect(x, y, n, h, colour) for y, n in zip(ys, lengths))


def badge(cx, cy, colour, glyph):
    """A round coloured badge with a white ring, for 'new', 'close' and the like."""
    return circle(cx, cy, 4, colour, stroke=PAPER, sw=1) + glyph


def plus_glyph(cx, cy, colour=PAPER):
    # cx, cy are pixel centres (x.5), so the one-pixel bars cover whole pixels
    return rect(cx - 2.5, cy - .5, 5, 1, colour) + rect(cx - .5, cy - 2.5, 1, 5, colour)


def cross_glyph(cx, cy, colour=PAPER):
    return path(f"M{cx - 1.8} {cy - 1.8}L{cx + 1.8} {cy + 1.8}M{cx + 1.8} {cy - 1.8}L{cx - 1.8} {cy + 1.8}",
                stroke=colour, sw=1.4, cap="round")


def floppy(x, y, s=1.0):
    """A disk, 13 px square at scale 1, its top-left at x, y."""
    def p(v):
        return round(v * s, 2)
    return (path(f"M{x + .5} {y + .5}H{x + p(10)}L{x + p(12.5)} {y + p(3)}V{y + p(12.5)}H{x + .5}Z",
                 fill=BLUE, stroke=BLUE_D, join="round")
            + rect(x + p(3), y + 1, p(6), p(3.5), "#e3ebf5")
            + rect(x + p(7), y + p(1.6), 1, p(2), BLUE_D)
            + rect(x + p(2.5), y + p(7), p(8), p(5), PAPER)
            + rect(x + p(3.5), y + p(8.5), p(6), 1, LINE)
            + rect(x + p(3.5), y + p(10.5), p(6), 1, LINE))


def magnifier(cx, cy, r, lens=PAPER, hx=14.5, hy=14.5, sw=1.5, handle=2.2):
    k = 0.7071
    sx, sy = cx + r * k + .6, cy + r * k + .6
    return (path(f"M{sx:.2f} {sy:.2f}L{hx} {hy}", stroke=INK, sw=handle, cap="round")
            + circle(cx, cy, r, lens, stroke=INK, sw=sw))


def arrow_h(y, x0, x1, colour, right=True, sw=2):
    head = 4
    if right:
        d = f"M{x0} {y}H{x1}M{x1 - head} {y - head}L{x1} {y}L{x1 - head} {y + head}"
    else:
        d = f"M{x1} {y}H{x0}M{x0 + head} {y - head}L{x0} {y}L{x0 + head} {y + head}"
    return path(d, stroke=colour, sw=sw, cap="round", join="round")


def arrow_v(x, y0, y1, colour, up=True, sw=2):
    head = 4
    if up:
        d = f"M{x} {y1}V{y0}M{x - head} {y0 + head}L{x} {y0}L{x + head} {y0 + head}"
    else:
        d = f"M{x} {y0}V{y1}M{x - head} {y1 - head}L{x} {y1}L{x + head} {y1 - head}"
    return path(d, stroke=colour, sw=sw, cap="round", join="round")


def tick(d, colour=GREEN, sw=2):
    return path(d, stroke=colour, sw=sw, cap="round", join="round")


def question_mark(cx, top, h, colour, sw):
    """A question mark drawn as a stroke plus a dot; h is the height of the hook part."""
    w = h * 0.55
    y1 = top + h * 0.62
    return (path(f"M{cx - w} {top + h * .3:.2f}C{cx - w} {top - h * .05:.2f} {cx + w} {top - h * .08:.2f} "
                 f"{cx + w} {top + h * .32:.2f}C{cx + w} {top + h * .55:.2f} {cx} {top + h * .5:.2f} {cx} {y1:.2f}"
                 f"V{top + h * .78:.2f}", stroke=colour, sw=sw, cap="round", join="round")
            + circle(cx, top + h * 1.08, sw * 0.62, colour))


def bubble(x0, y0, x1, y1, fill, stroke):
    """A speech bubble with its tail at the bottom left."""
    r = 1.5
    return path(f"M{x0 + r} {y0}H{x1 - r}Q{x1} {y0} {x1} {y0 + r}V{y1 - r}Q{x1} {y1} {x1 - r} {y1}"
                f"H{x0 + 6}L{x0 + 3} {y1 + 3}V{y1}H{x0 + r}Q{x0} {y1} {x0} {y1 - r}V{y0 + r}Q{x0} {y0} {x0 + r} {y0}Z",
                fill=fill, stroke=stroke, join="round")


def book(x0, y0, x1, y1, fill, stroke):
    """An open book seen from the front; the spine is at the middle column."""
    m = (x0 + x1) / 2
    return (path(f"M{m} {y0 + 1.5}C{m - 1.5} {y0} {x0 + 2} {y0 - .3} {x0} {y0 + .5}V{y1}"
                 f"C{x0 + 2} {y1 - .8} {m - 1.5} {y1 - .5} {m} {y1 + 1}Z", fill=fill, stroke=stroke, join="round")
            + path(f"M{m} {y0 + 1.5}C{m + 1.5} {y0} {x1 - 2} {y0 - .3} {x1} {y0 + .5}V{y1}"
                   f"C{x1 - 2} {y1 - .8} {m + 1.5} {y1 - .5} {m} {y1 + 1}Z", fill=fill, stroke=stroke, join="round"))


def sticky(x0, y0, x1, y1, fold):
    return (path(f"M{x0} {y0}H{x1}V{y1 - fold}L{x1 - fold} {y1}H{x0}Z", fill=YELLOW_L, stroke=YELLOW_D, join="round")
            + path(f"M{x1} {y1 - fold}H{x1 - fold}V{y1}Z", fill=YELLOW, stroke=YELLOW_D, join="round"))


def paperclip(s, x, y, colour, sw):
    """A paper clip about 6 x 14 units at scale s, top-left at x, y."""
    def X(v):
        return round(x + v * s, 2)

    def Y(v):
        return round(y + v * s, 2)
    d = (f"M{X(6)} {Y(4)}V{Y(10.5)}C{X(6)} {Y(12.6)} {X(4.7)} {Y(14)} {X(3)} {Y(14)}"
         f"C{X(1.3)} {Y(14)} {X(0)} {Y(12.6)} {X(0)} {Y(10.5)}V{Y(2.2)}"
         f"C{X(0)} {Y(.9)} {X(.9)} {Y(0)} {X(2)} {Y(0)}C{X(3.1)} {Y(0)} {X(4)} {Y(.9)} {X(4)} {Y(2.2)}"
         f"V{Y(10)}C{X(4)} {Y(10.7)} {X(3.6)} {Y(11.2)} {X(3)} {Y(11.2)}C{X(2.4)} {Y(11.2)} {X(2)} {Y(10.7)} {X(2)} {Y(10)}V{Y(4)}")
    return path(d, stroke=colour, sw=sw, cap="round", join="round")


def window(x0, y0, x1, y1):
    return (rect(x0 + .5, y0 + .5, x1 - x0, y1 - y0, PAPER, stroke=INK)
            + rect(x0 + 1, y0 + 1, x1 - x0 - 1, 2, SHADE))


def bullet_list(colour):
    out = ""
    for y in (2, 7, 12):
        out += rect(1, y, 3, 3, colour) + rect(6, y + 1, 9, 1, INK)
    return out


# --- 16 px button faces ------------------------------------------------------------------

B = {}

B["NewB"] = page(2, 1, 12, 14) + badge(11.5, 11.5, GREEN, plus_glyph(11.5, 11.5))

B["OpenB"] = (path("M1.5 13.5V2.5H5.5L7 4H12.5V6.5", fill=AMBER, stroke=AMBER_D, join="round")
              + path("M1.5 13.5L4 7.5H15.5L13 13.5Z", fill=AMBER_L, stroke=AMBER_D, join="round"))

B["SaveB"] = floppy(1, 1)

B["SaveAs"] = (floppy(0, 0, 0.92)
               + path("M13.5 6.5L15.3 8.3L9.5 14.1L7 14.9L7.8 12.3Z", fill=YELLOW, stroke=INK, sw=.9, join="round"))

B["SaveAll"] = (path("M5.5 .5H12.5L14.5 2.5V10.5H5.5Z", fill="#6f9ed3", stroke=BLUE_D, join="round")
                + floppy(1, 4, 0.86))

B["PrintB"] = (rect(4.5, 1.5, 7, 4, PAPER, stroke=INK)
               + rect(1.5, 5.5, 13, 6, "#c9d1db", stroke=INK, rx=1)
               + rect(12, 7, 1, 1, GREEN)
               + rect(4.5, 9.5, 7, 5, PAPER, stroke=INK)
               + rect(6, 11, 4, 1, LINE) + rect(6, 13, 3, 1, LINE))

B["PrintSetup"] = (rect(4.5, 1.5, 7, 4, PAPER, stroke=INK)
                   + rect(1.5, 5.5, 13, 6, "#c9d1db", stroke=INK, rx=1)
                   + rect(4.5, 9.5, 6, 5, PAPER, stroke=INK)
                   + circle(12, 12, 3.2, GREY, stroke=PAPER, sw=1)
                   + circle(12, 12, 1.1, PAPER))

B["PrintPrevB"] = (page(1, 1, 10, 14, fold=3) + lines(3, (5, 7, 9), (5, 4, 3))
                   + magnifier(10, 9.5, 3.2, lens=BLUE_L, hx=14.5, hy=14, sw=1.3, handle=2))

B["CutB"] = (path("M5.6 9.8L11.5 1.5M10.4 9.8L4.5 1.5", stroke=INK, sw=1.4, cap="round")
             + circle(4.5, 12, 2.4, "none", stroke=RED, sw=1.6)
             + circle(11.5, 12, 2.4, "none", stroke=RED, sw=1.6)
             + circle(8, 5.9, .8, INK))

B["CopyB"] = (rect(1.5, 1.5, 8, 10, SHADE, stroke=INK)
              + rect(5.5, 4.5, 9, 10, PAPER, stroke=INK)
              + lines(7, (7, 9, 11), (6, 5, 6)))

B["PasteB"] = (rect(1.5, 2.5, 10, 12, WOOD, stroke=WOOD_D, rx=1)
               + rect(4.5, 1.5, 4, 2, "#dde3ea", stroke=INK)
               + rect(6.5, 6.5, 8, 8, PAPER, stroke=INK)
               + lines(8, (9, 11), (5, 4)))

# Related-item glyphs: one shape and one colour per kind of library text.
B["RelQB"] = page(2, 1, 13, 14, fill=BLUE_L, stroke=BLUE_D) + question_mark(7.5, 4.4, 6, BLUE, 1.8)
B["RelMSB"] = page(2, 1, 13, 14, fill=GREEN_L, stroke=GREEN_D) + tick("M4.5 8.6L7 11L11 5.5")
B["RelERB"] = (bubble(1.5, 2.5, 14.5, 11.5, ORANGE, ORANGE_D)
               + rect(4, 5, 8, 1, PAPER) + rect(4, 8, 5, 1, PAPER))
B["RelSylB"] = (book(1.5, 3, 14.5, 12.5, PURPLE_L, PURPLE)
                + rect(3, 6, 3, 1, PURPLE) + rect(3, 8, 3, 1, PURPLE)
                + rect(10, 6, 3, 1, PURPLE) + rect(10, 8, 3, 1, PURPLE))
B["RelNoteB"] = sticky(2.5, 2.5, 13.5, 13.5, 4) + rect(4, 5, 7, 1, YELLOW_D) + rect(4, 8, 5, 1, YELLOW_D)
B["RelResB"] = paperclip(0.93, 5, 1, TEAL, 1.6)

B["QFB"] = (rect(1, 2, 3, 3, BLUE) + rect(5, 3, 8, 1, INK)
            + rect(1, 7, 3, 3, BLUE) + rect(5, 8, 3, 1, INK)
            + rect(1, 12, 3, 3, BLUE)
            + magnifier(10.5, 10, 3.2, lens=PAPER, hx=14.8, hy=14.3, sw=1.4, handle=2))

B["ViewerB"] = (path("M1 8C3 4.5 5.5 3 8 3C10.5 3 13 4.5 15 8C13 11.5 10.5 13 8 13C5.5 13 3 11.5 1 8Z",
                     fill=PAPER, stroke=INK, join="round")
                + circle(8, 8, 3.2, BLUE) + circle(8, 8, 1.4, BLUE_D) + circle(9.1, 6.9, .75, PAPER))

B["CopyToDocB"] = (page(5, 1, 14, 14) + lines(7, (6, 8, 10, 12), (6, 4, 6, 5))
                   + path("M.8 8H6.5M4 4.5L7.5 8L4 11.5", stroke=PAPER, sw=4, cap="round", join="round")
                   + path("M.8 8H6.5M4 4.5L7.5 8L4 11.5", stroke=GREEN, sw=2, cap="round", join="round"))

B["NextB"] = arrow_h(8, 2.5, 13, BLUE, right=True)
B["PrevB"] = arrow_h(8, 3, 13.5, BLUE, right=False)
B["BackB"] = path("M4.5 5H10C12.5 5 14 6.8 14 9.1C14 11.4 12.5 13.2 10 13.2H6.5M7.5 1.8L4.3 5L7.5 8.2",
                  stroke=BLUE, sw=2, cap="round", join="round")

B["ViewSylB"] = bullet_list(PURPLE)
B["ViewMSB"] = bullet_list(GREEN)
B["ViewERB"] = bullet_list(ORANGE)
B["ViewResB"] = bullet_list(TEAL)

B["CreateMSB"] = (rect(4.5, .5, 10, 12, SHADE, stroke=INK)
                  + page(1, 3, 11, 15, fill=PAPER) + tick("M3.5 9.5L5.6 11.6L9 7", sw=1.8))
B["RepB"] = (rect(4.5, .5, 10, 12, SHADE, stroke=INK)
             + page(1, 3, 11, 15, fill=PAPER)
             + path("M3.5 7.5H8.5Q9.5 7.5 9.5 8.5V10.5Q9.5 11.5 8.5 11.5H5.5L4 13V11.5H3.5Z", fill=ORANGE,
                    stroke=ORANGE_D, sw=.8, join="round"))

B["WholeB"] = (path("M1.5 4.5V1.5H4.5M11.5 1.5H14.5V4.5M14.5 11.5V14.5H11.5M4.5 14.5H1.5V11.5",
                    stroke=BLUE, sw=1, join="round")
               + page(4, 3, 11, 12, fold=2) + lines(6, (6, 8, 10), (4, 3, 4)))
B["ZoomB"] = (magnifier(6.5, 6.5, 4.6, lens=PAPER, hx=14.2, hy=14.2, sw=1.5, handle=2.4)
              + plus_glyph(6.5, 6.5, BLUE))
B["Search"] = magnifier(6.5, 6.5, 4.6, lens=BLUE_L, hx=14.2, hy=14.2, sw=1.5, handle=2.4)

B["StyleB"] = (rect(1, 1, 11, 3, BLUE) + rect(1, 6, 14, 1, INK) + rect(1, 9, 14, 1, INK)
               + rect(1, 12, 9, 1, INK) + rect(12, 12, 3, 3, ORANGE))
B["FontB"] = (path("M1.5 13L6.4 1.5H9.6L14.5 13H11.8L10.7 10.2H5.3L4.2 13ZM6.2 8H9.8L8 3.4Z",
                   fill=INK, rule="evenodd")
              + rect(1, 14, 14, 2, BLUE))
B["BoldB"] = path("M3 2H9C11.5 2 12.5 3.4 12.5 5C12.5 6.3 11.8 7.2 10.8 7.6C12.3 8 13.2 9.2 13.2 10.7"
                  "C13.2 12.7 11.8 14 9.3 14H3ZM5.7 4.3V6.9H8.6C9.5 6.9 10 6.4 10 5.6C10 4.8 9.5 4.3 8.6 4.3Z"
                  "M5.7 9.1V11.7H9C10 11.7 10.6 11.2 10.6 10.4C10.6 9.6 10 9.1 9 9.1Z", fill=INK, rule="evenodd")
B["ItalicB"] = path("M6.5 2H13L12.6 4H10.9L8.7 12H10.4L10 14H3.5L3.9 12H5.6L7.8 4H6.1Z", fill=INK)
B["UnderlineB"] = (path("M4.5 1.5V7.5C4.5 9.9 6 11 8 11C10 11 11.5 9.9 11.5 7.5V1.5", stroke=INK, sw=2.2, cap="square")
                   + rect(2, 13, 12, 2, BLUE))


def align(kind):
    out = ""
    for i, y in enumerate((2, 5, 8, 11, 14)):
        n = 14 if i % 2 == 0 else 9
        x = {"left": 1, "center": (16 - n) // 2 if n == 14 else 3.5, "right": 15 - n}[kind]
        if kind == "center" and n == 9:
            x = 3  # 9 px cannot sit exactly centred on 16; lean one pixel left like text does
        out += rect(x, y, n, 1, INK)
    return out


B["LeftB"] = align("left")
B["CenterB"] = align("center")
B["RightB"] = align("right")

B["InsertPicB"] = (rect(1.5, 2.5, 13, 11, "#dcecfb", stroke=INK)
                   + path("M2 13L6 7.5L9 11L11 9L14 13Z", fill=GREEN)
                   + circle(11, 5.7, 1.6, YELLOW))
B["SuperB"] = (path("M1.8 6.5L7.8 13.5M7.8 6.5L1.8 13.5", stroke=INK, sw=1.7, cap="round")
               + path("M10 3.2C10 1.9 11 1.3 12 1.3C13.1 1.3 14 2 14 3C14 4.4 12 5.2 10.1 7.3H14.3",
                      stroke=BLUE, sw=1.3, cap="round", join="round"))
B["SubB"] = (path("M1.8 2.5L7.8 9.5M7.8 2.5L1.8 9.5", stroke=INK, sw=1.7, cap="round")
             + path("M10 10.2C10 8.9 11 8.3 12 8.3C13.1 8.3 14 9 14 10C14 11.4 12 12.2 10.1 14.3H14.3",
                    stroke=BLUE, sw=1.3, cap="round", join="round"))

B["btExport"] = (page(1, 1, 10, 14) + lines(3, (5, 7, 9, 11), (5, 4, 5, 3))
                 + path("M7.5 10H14M11 6.8L14.3 10L11 13.2", stroke=PAPER, sw=4, cap="round", join="round")
                 + path("M7.5 10H14M11 6.8L14.3 10L11 13.2", stroke=BLUE, sw=2, cap="round", join="round"))

B["CloseDoc"] = (page(1, 1, 11, 14)
               + path("M9 9L14 14M14 9L9 14", stroke=PAPER, sw=4.2, cap="round")
               + path("M9 9L14 14M14 9L9 14", stroke=RED, sw=2, cap="round"))

B["Exit"] = (rect(2.5, 1.5, 8, 13, "#d9dfe6", stroke=INK)
             + path("M2.5 1.5L7.5 3.5V15.5L2.5 14.5Z", fill=WOOD, stroke=WOOD_D, join="round")
             + rect(5.5, 8, 1, 1.5, PAPER)
             + path("M8.5 8H14.2M11.8 5.2L14.6 8L11.8 10.8", stroke=RED, sw=1.8, cap="round", join="round"))

B["Clear"] = path("M4 4L12 12M12 4L4 12", stroke=RED, sw=2.4, cap="round")

B["SelectAll"] = (path("M1.5 1.5H14.5V14.5H1.5Z", stroke=BLUE, sw=1, join="miter")
                  + el("path", d="M1.5 1.5H14.5V14.5H1.5Z", fill="none", stroke=PAPER, stroke_width=1,
                       stroke_dasharray="2 2")
                  + rect(4, 4, 8, 2, BLUE_L) + rect(4, 4, 8, 1, INK) + rect(4, 7, 8, 1, INK)
                  + rect(4, 10, 6, 1, INK))

B["MoveUp"] = arrow_v(8, 2.5, 13.5, BLUE, up=True)
B["MoveDown"] = arrow_v(8, 2.5, 13.5, BLUE, up=False)
B["MoveToTop"] = rect(2, 1, 12, 2, INK) + arrow_v(8, 5, 14.5, BLUE, up=True)
B["MoveToBottom"] = rect(2, 13, 12, 2, INK) + arrow_v(8, 1.5, 11, BLUE, up=False)

B["InsertTitle"] = (page(2, 1, 13, 14) + rect(4, 4, 7, 2, BLUE) + rect(5, 7, 5, 1, BLUE_L)
                    + lines(4, (10, 12), (7, 6)))
B["InsertSection"] = (page(2, 1, 13, 14) + lines(4, (4, 6), (6, 7))
                      + rect(4, 8, 8, 2, BLUE) + lines(4, (11, 13), (7, 5)))
B["InsertText"] = (page(2, 1, 13, 14) + rect(4, 4, 7, 2, INK) + rect(6.5, 4, 2, 7, INK)
                   + lines(4, (12,), (8,)))
B["EditText"] = (page(1, 1, 11, 14) + lines(3, (5, 7, 9, 11), (6, 5, 4, 3))
                 + path("M12.6 2.2L14.8 4.4L8.2 11L5.4 11.8L6.2 9Z", fill=YELLOW, stroke=INK, sw=.9, join="round")
                 + path("M5.4 11.8L6.2 9L8.2 11Z", fill=INK))

# Pixel digits, 3 x 5, used by Numbering and by the level symbols.
DIGITS = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["##.", "..#", ".#.", "#..", "###"],
    "3": ["##.", "..#", ".#.", "..#", "##."],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "##.", "..#", "##."],
    "6": [".##", "#..", "###", "#.#", "###"],
    "7": ["###", "..#", ".#.", ".#.", ".#."],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "9": ["###", "#.#", "###", "..#", "##."],
}


def digit(ch, x, y, colour):
    d = ""
    for r, row in enumerate(DIGITS[ch]):
        c = 0
        while c < 3:
            if row[c] == "#":
                start = c
                while c < 3 and row[c] == "#":
                    c += 1
                d += f"M{x + start} {y + r}h{c - start}v1h{start - c}z"
            else:
                c += 1
    return path(d, fill=colour)


B["Numbering"] = (digit("1", 1, 2, BLUE) + rect(5, 6, 1, 1, BLUE) + rect(7, 4, 8, 1, INK)
                  + digit("2", 1, 9, BLUE) + rect(5, 13, 1, 1, BLUE) + rect(7, 11, 8, 1, INK))

B["Picker"] = (rect(1.5, 1.5, 4, 4, BLUE_L, stroke=BLUE_D)
               + rect(3, 6, 1, 7, INK) + rect(4, 8, 3, 1, INK) + rect(4, 12, 3, 1, INK)
               + rect(7.5, 6.5, 4, 4, PAPER, stroke=INK) + rect(7, 10.5, 8, 5, BLUE, stroke=None)
               + rect(12, 8, 3, 1, INK))

B["Students"] = (circle(11, 4.6, 2.5, TEAL)
                 + path("M6.5 14C6.5 10.6 8.5 8.6 11 8.6C13.5 8.6 15.5 10.6 15.5 14Z", fill=TEAL)
                 + circle(5.8, 6.2, 2.9, BLUE, stroke=PAPER, sw=1)
                 + path("M.5 15.5C.5 11.6 2.8 9.8 5.8 9.8C8.8 9.8 11.1 11.6 11.1 15.5Z", fill=BLUE, stroke=PAPER, sw=1))


def grid(header, first_col, stroke):
    out = rect(1.5, 1.5, 13, 13, PAPER, stroke=stroke)
    if header:
        out += rect(2, 2, 12, 3, header)
    if first_col:
        out += rect(2, 2, 4, 12, first_col)
    out += rect(2, 5, 12, 1, stroke) + rect(2, 9, 12, 1, stroke)
    out += rect(6, 2, 1, 12, stroke) + rect(10, 2, 1, 12, stroke)
    return out


B["MarkSheet"] = grid(GREEN_L, None, GREEN) + tick("M10.5 12L12 13.3L14.8 9.6", colour=RED, sw=1.6)
B["FileIndex"] = (grid(None, BLUE_L, BLUE) + rect(3, 3, 2, 1, BLUE_D) + rect(3, 7, 2, 1, BLUE_D)
                  + rect(3, 11, 2, 1, BLUE_D) + rect(8, 3, 5, 1, INK) + rect(8, 7, 4, 1, INK) + rect(8, 11, 5, 1, INK))

B["Monitor"] = (window(1, 2, 14, 14)
                + path("M2.5 10.5H5L6.5 6.5L8.5 12.5L10 9H13.5", stroke=RED, sw=1.3, cap="round", join="round"))

B["Help"] = (circle(8, 8, 7, BLUE) + question_mark(8, 3.6, 6.2, PAPER, 1.9))
B["About"] = (circle(8, 8, 7, BLUE) + circle(8, 4.6, 1.2, PAPER) + rect(7, 6.8, 2, 5.7, PAPER)
              + rect(6, 11.5, 4, 1, PAPER) + rect(6, 6.8, 1, 1, PAPER))

B["Dock"] = (window(1, 2, 14, 14) + rect(9, 4, 5, 10, BLUE_L) + rect(8, 4, 1, 10, BLUE)
             + lines(3, (6, 8, 10), (4, 3, 4)))


# --- 22 x 24 class icons -----------------------------------------------------------------

def big_page(fill, stroke):
    return (path("M3.5 1.5H13.5L18.5 6.5V22.5H3.5Z", fill=fill, stroke=stroke, join="round")
            + path("M13.5 1.5V6.5H18.5", fill=PAPER, stroke=stroke, join="round"))


C = {}
C["Question"] = big_page(BLUE_L, BLUE_D) + question_mark(11, 7.6, 8.5, BLUE, 2.4)
C["MarkScheme"] = big_page(GREEN_L, GREEN_D) + tick("M6.5 13.2L9.8 16.4L15.5 8.8", sw=2.6)
C["Syllabus"] = (book(1.5, 5, 20.5, 18.5, PURPLE_L, PURPLE)
                 + "".join(rect(x, y, 5, 1, PURPLE) for x in (4, 13) for y in (8, 11, 14)))
C["ExaminersReport"] = (bubble(1.5, 3.5, 20.5, 16.5, ORANGE, ORANGE_D)
                        + rect(5, 7, 12, 1, PAPER) + rect(5, 10, 12, 1, PAPER) + rect(5, 13, 7, 1, PAPER))
C["Text"] = (big_page(PAPER, INK) + rect(6, 5, 8, 2, INK) + rect(9, 5, 2, 7, INK)
             + lines(6, (14, 16.5, 19), (10, 9, 6), colour=GREY))
C["Note"] = (sticky(2.5, 3.5, 19.5, 20.5, 5) + rect(5, 7, 10, 1, YELLOW_D) + rect(5, 10, 10, 1, YELLOW_D)
             + rect(5, 13, 6, 1, YELLOW_D))
C["Resource"] = (rect(2.5, 4.5, 12, 18, TEAL_L, stroke=TEAL)
                 + lines(5, (10, 13, 16, 19), (6, 5, 6, 4), colour=TEAL)
                 + paperclip(1.1, 12, 1.5, PAPER, 3.6)
                 + paperclip(1.1, 12, 1.5, TEAL, 1.7))

CLASS_FILES = {  # icon number in the program's class table -> name
    1: "Question", 2: "MarkScheme", 3: "Syllabus", 4: "ExaminersReport", 5: "Text", 7: "Note",
}


# --- 10 x 8 category symbols -------------------------------------------------------------

QT = [  # sixteen question-type symbols: every one a different shape, colours spread so neighbours differ
    circle(5, 4, 3.5, BLUE),
    rect(1.5, .5, 7, 7, GREEN, stroke=GREEN_D),
    polygon("5,0.3 9.3,7.6 0.7,7.6", ORANGE),
    polygon("5,0 9,4 5,8 1,4", PURPLE),
    polygon("0.7,0.4 9.3,0.4 5,7.7", RED),
    polygon("1,0.5 5,4 1,7.5", YELLOW_D) + polygon("9,0.5 5,4 9,7.5", YELLOW_D),
    polygon("2.5,0.5 7.5,0.5 9.7,4 7.5,7.5 2.5,7.5 0.3,4", TEAL),
    rect(3.5, 0, 3, 8, BLUE) + rect(1, 2.5, 8, 3, BLUE),
    circle(5, 4, 3, "none", stroke=RED, sw=1.6),
    rect(2, 1, 6, 6, "none", stroke=ORANGE, sw=1.6),
    polygon("5,0.3 9,3.5 9,7.5 1,7.5 1,3.5", GREEN),
    polygon("1.5,0.3 9,4 1.5,7.7", PURPLE),
    rect(0.5, 2, 9, 4, TEAL, rx=2),
    path("M1.5 1L8.5 7M8.5 1L1.5 7", stroke=INK, sw=2, cap="round"),
    polygon("5,1.2 8.6,7 1.4,7", "none", stroke=GREEN, sw=1.3, join="round"),
    path("M5 .5A3.5 3.5 0 0 0 5 7.5Z", fill=BLUE) + path("M5 .5A3.5 3.5 0 0 1 5 7.5Z", fill=ORANGE),
]
QT_NAMES = ["blue circle", "green square", "orange triangle", "purple diamond", "red inverted triangle",
            "gold bow tie", "teal hexagon", "blue plus", "red ring", "orange open square", "green house",
            "purple pointer", "teal bar", "slate cross", "green open triangle", "blue and orange disc"]

# Level colours run from green through blue and purple to red so that the order reads at a glance.
LEVEL_COLOURS = ["#2e8b57", "#3a9a4a", "#5d9a2c", "#8a9a1e", "#b58a12", "#cf7a1a", "#dd6a26", "#d2553a",
                 "#c9443a", "#b8405e", "#a04484", "#7a52b3", "#5b5fc2", "#3f6fc4", "#2f6fb5", "#1f4f86"]


def level_symbol(n):
    s = str(n)
    body = rect(0, 0, 10, 8, LEVEL_COLOURS[n - 1], rx=2)
    if len(s) == 1:
        body += digit(s, 4, 2, PAPER) if s != "1" else digit(s, 3.5 + .5, 2, PAPER)
    else:
        body += digit(s[0], 1, 2, PAPER) + digit(s[1], 6, 2, PAPER)
    return body


CLOCK = (path("M2.5 .5H5.5L7.5 2.5V5.5L5.5 7.5H2.5L.5 5.5V2.5Z", fill=PAPER, stroke=INK)
         + rect(4, 2, 1, 3, INK) + rect(5, 4, 1, 1, INK))
COLLAPSED = polygon("2.5,1 6.5,4 2.5,7", INK)
EXPANDED = polygon("1,2.5 7,2.5 4,6.5", INK)


def main():
    for name, body in B.items():
        (ROOT / "buttons" / f"{name}.svg").write_text(svg(16, 16, body))
    for name, body in C.items():
        (ROOT / "classes" / f"{name}.svg").write_text(svg(22, 24, body))
    for i, body in enumerate(QT, 1):
        (ROOT / "symbols" / f"qtype{i:02d}.svg").write_text(svg(10, 8, body))
    for i in range(1, 17):
        (ROOT / "symbols" / f"level{i:02d}.svg").write_text(svg(10, 8, level_symbol(i)))
    (ROOT / "symbols" / "clock.svg").write_text(svg(8, 8, CLOCK))
    (ROOT / "symbols" / "collapsed.svg").write_text(svg(8, 8, COLLAPSED))
    (ROOT / "symbols" / "expanded.svg").write_text(svg(8, 8, EXPANDED))


if __name__ == "__main__":
    main()
