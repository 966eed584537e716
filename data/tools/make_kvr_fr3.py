#!/usr/bin/env python3
"""Writes data/KVR.fr3, the page description of the printed profile.

The layout is computed here from a handful of measures so that rows, grid
lines and bars always line up; run it after changing the layout and commit
both files:  python3 data/tools/make_kvr_fr3.py
Units are report units of 1/96 inch; the page is A4 portrait.
The objects the program fills keep their fixed names (Memo3, Memo5, Memo10,
Memo12, Picture2, Memo22..Memo44, Shape3..Shape17); all others are static.
"""
import os
from xml.sax.saxutils import escape, quoteattr

CAPTIONS = ['فقدان توحيد يافتگي يا انسجام هشياري نسبت به خود ( Q3)', 'فقدان نيروي من يا نورزگرائي عمومي C', 'ناايمني پارانويائي L', 'گرايش به احساس گناهکاري O', 'تنش ارگي ( فشار بن ) Q4', 'اضطراب پنهان', 'اضطراب آشکار', 'نمره کل اضطراب']
HEAD_SCALES, HEAD_RAW, HEAD_STEN = ('عوامل اضطرابي', 'نمره خام', 'نمره تراز شده')

PAGE_W, PAGE_H = 793.7, 1122.5
LEFT, RIGHT = 34.0, 759.7
PERSIAN = "B Nazanin,Nazli,Noto Naskh Arabic"
TITLE_FONT = "B Titr,Titr," + PERSIAN
NAVY = "#1b3a5c"
INK = "#222a33"
GREY = "#5d6b79"
RULE = "#9fb3c8"
TINT = "#eef3f8"

# the table of scales
CAPTION_L = 556.0                 # caption column: CAPTION_L .. RIGHT
RAW_L = 496.0                     # raw score column: RAW_L .. CAPTION_L
STEN_L = 436.0                    # sten column: STEN_L .. RAW_L
AXIS0 = 430.0                     # sten 0; the bars grow to the left
STEN_UNIT = 38.0                  # report units per sten point
TABLE_TOP = 318.0
HEAD_H = 62.0
ROW_H = 50.0
BAR_H = 22.0
ROWS = [  # raw memo, sten memo, bar shape, bar colours
    ("Memo22", "Memo37", "Shape3", "#6a9bd3", "#3b6ea5"),
    ("Memo23", "Memo38", "Shape4", "#6a9bd3", "#3b6ea5"),
    ("Memo24", "Memo39", "Shape8", "#6a9bd3", "#3b6ea5"),
    ("Memo30", "Memo40", "Shape10", "#6a9bd3", "#3b6ea5"),
    ("Memo31", "Memo41", "Shape12", "#6a9bd3", "#3b6ea5"),
    ("Memo32", "Memo42", "Shape15", "#3f6f9f", "#1f4468"),
    ("Memo33", "Memo43", "Shape16", "#3f6f9f", "#1f4468"),
    ("Memo34", "Memo44", "Shape17", "#a85252", "#6b2626"),
]

out = []


def fmt(v):
    return ("%.1f" % v).rstrip("0").rstrip(".")


def attrs(d):
    return "".join(" %s=%s" % (k, quoteattr(str(v) if not isinstance(v, float) else fmt(v)))
                   for k, v in d.items() if v is not None)


def persian(text):
    # the program's texts use the Arabic yeh
    return text.replace("\u06cc", "\u064a")


def memo(name, l, t, w, h, text="", **kw):
    d = {"name": name, "left": l, "top": t, "width": w, "height": h,
         "font": kw.pop("font", PERSIAN), "size": kw.pop("size", 11)}
    d.update({k.replace("_", "-"): v for k, v in kw.items()})
    out.append("  <memo%s>%s</memo>" % (attrs(d), escape(persian(text))))


def shape(name, l, t, w, h, **kw):
    d = {"name": name, "left": l, "top": t, "width": w, "height": h}
    d.update({k.replace("_", "-"): v for k, v in kw.items()})
    out.append("  <shape%s/>" % attrs(d))


def line(name, x1, y1, x2, y2, pen=RULE, width=0.8, style="solid"):
    shape(name, x1, y1, x2 - x1, y2 - y1, kind="line", pen=pen, pen_width=width, pen_style=style)


def build():
    # page border
    shape("PageBorder", 22.0, 22.0, PAGE_W - 44.0, PAGE_H - 44.0, kind="rectangle",
          pen=NAVY, pen_width=1.6, fill="none")
    shape("PageBorderInner", 26.0, 26.0, PAGE_W - 52.0, PAGE_H - 52.0, kind="rectangle",
          pen=RULE, pen_width=0.5, fill="none")

    # header: clinic name and address at the right, contact lines beside
    # them, the logo at the left
    shape("HeaderBand", LEFT, 34.0, RIGHT - LEFT, 150.0, kind="round-rectangle",
          radius=6.0, pen=RULE, pen_width=0.8, fill="#f4f7fb")
    out.append("  <picture%s/>" % attrs({"name": "Picture2", "left": 46.0, "top": 44.0,
                                          "width": 130.0, "height": 130.0}))
    memo("Memo5", 188.0, 44.0, 172.0, 130.0, "", size=9.5, color=GREY, align="right",
         valign="center", dir="auto", shrink="true")
    line("HeaderDivider", 370.0, 54.0, 370.0, 164.0)
    memo("Memo10", 380.0, 44.0, 370.0, 54.0, "", font=TITLE_FONT, size=20, color=NAVY,
         align="right", valign="center", wrap="true", shrink="true")
    memo("Memo12", 380.0, 100.0, 370.0, 74.0, "", size=11, color=INK, align="right",
         valign="top", wrap="true", shrink="true")

    # title
    shape("TitleBand", LEFT, 196.0, RIGHT - LEFT, 40.0, kind="round-rectangle", radius=6.0,
          pen="none", fill="#24507d", fill2=NAVY)
    memo("ProfileTitle", LEFT, 196.0, RIGHT - LEFT, 40.0, "پروفایل نمرات اضطراب",
         size=16, bold="true", color="#ffffff", align="center")

    # the examinee
    shape("ExamineeBand", LEFT, 248.0, RIGHT - LEFT, 50.0, kind="round-rectangle", radius=6.0,
          pen=RULE, pen_width=0.8, fill="#fbfcfe")
    memo("ExamineeCaption", 640.0, 251.0, 112.0, 44.0, "مشخصات آزمودنی:", size=12,
         bold="true", color=NAVY, align="right")
    memo("Memo3", 42.0, 251.0, 598.0, 44.0, "", size=12, color=INK, align="right",
         shrink="true")

    # the table of scales
    top = TABLE_TOP
    body = top + HEAD_H
    bottom = body + ROW_H * len(ROWS)
    shape("TableHead", LEFT, top, RIGHT - LEFT, HEAD_H, kind="rectangle", pen="none", fill="#dde7f1")
    for i in range(len(ROWS)):
        if i % 2 == 1:
            shape("RowBand%d" % i, LEFT, body + ROW_H * i, RIGHT - LEFT, ROW_H, kind="rectangle",
                  pen="none", fill="#f5f8fb")
    shape("RawBand", RAW_L, body, CAPTION_L - RAW_L, bottom - body, kind="rectangle", pen="none",
          fill="#e9f0f7")
    # the average stens, 4 to 7, lie on a shaded band
    shape("AverageBand", AXIS0 - 7 * STEN_UNIT, body, 4 * STEN_UNIT, bottom - body,
          kind="rectangle", pen="none", fill="#e4ebf3")

    memo("HeadScales", CAPTION_L, top, RIGHT - CAPTION_L, HEAD_H, HEAD_SCALES, size=12,
         bold="true", color=NAVY, align="center", padding=4.0)
    memo("HeadRaw", RAW_L, top, CAPTION_L - RAW_L, HEAD_H, HEAD_RAW, size=10.5, bold="true",
         color=NAVY, align="center", wrap="true", padding=3.0)
    memo("HeadSten", STEN_L, top, RAW_L - STEN_L, HEAD_H, HEAD_STEN, size=10.5, bold="true",
         color=NAVY, align="center", wrap="true", padding=3.0)
    bands = [("HeadLow", 0, 3, "پایین"), ("HeadAverage", 3, 7, "متوسط"), ("HeadHigh", 7, 10, "بالا")]
    for name, a, b, text in bands:
        memo(name, AXIS0 - b * STEN_UNIT, top + 4.0, (b - a) * STEN_UNIT, 24.0, text, size=10,
             bold="true", color=GREY, align="center", padding=0.0)
    line("HeadBandRule", AXIS0 - 10 * STEN_UNIT, top + 31.0, AXIS0, top + 31.0, pen=RULE, width=0.5)
    for k in range(1, 11):
        x = AXIS0 - k * STEN_UNIT
        memo("AxisLabel%d" % k, x - 15.0, top + 34.0, 30.0, 24.0, str(k), size=11, bold="true",
             color=NAVY, align="center", dir="ltr", padding=0.0)

    # grid: a dotted line at every sten, the axis itself solid
    for k in range(1, 11):
        x = AXIS0 - k * STEN_UNIT
        line("Grid%d" % k, x, body, x, bottom, pen="#aebdcc", width=0.6,
             style="solid" if k in (3, 7) else "dot")
    line("Axis0", AXIS0, top + 34.0, AXIS0, bottom, pen=NAVY, width=1.0)

    # rows
    for i, (raw, sten, bar, c1, c2) in enumerate(ROWS):
        y = body + ROW_H * i
        total = i == len(ROWS) - 1
        memo("Caption%d" % i, CAPTION_L, y, RIGHT - CAPTION_L, ROW_H, CAPTIONS[i],
             size=10.5 if not total else 11, bold="true" if total else "false", color=INK,
             align="right", wrap="true", shrink="true", padding=6.0)
        memo(raw, RAW_L, y, CAPTION_L - RAW_L, ROW_H, "", size=13, color=INK, align="center",
             dir="ltr", shrink="true")
        memo(sten, STEN_L, y, RAW_L - STEN_L, ROW_H, "", size=14, bold="true", color=NAVY,
             align="center", dir="ltr", shrink="true")
        shape(bar, AXIS0, y + (ROW_H - BAR_H) / 2.0, 0.0, BAR_H, kind="round-rectangle",
              radius=2.5, pen=c2, pen_width=0.6, fill=c1, fill2=c2, anchor="right")
        if i > 0:
            heavy = i == 5
            line("RowRule%d" % i, LEFT, y, RIGHT, y, pen=NAVY if heavy else "#c9d3de",
                 width=1.2 if heavy else 0.5)

    # table frame and column rules
    line("HeadRule", LEFT, body, RIGHT, body, pen=NAVY, width=1.0)
    for name, x in (("ColRule1", CAPTION_L), ("ColRule2", RAW_L), ("ColRule3", STEN_L)):
        line(name, x, top, x, bottom, pen="#8ea3b9", width=0.7)
    shape("TableFrame", LEFT, top, RIGHT - LEFT, bottom - top, kind="rectangle", pen=NAVY,
          pen_width=1.2, fill="none")

    # how to read the profile
    y = bottom + 10.0
    memo("StenNote", LEFT, y, RIGHT - LEFT, 40.0,
         "نمره تراز شده هر مقیاس از ۱ تا ۱۰ است و طول میله آن را نشان می دهد: "
         "۱ تا ۳ پایین تر از میانگین، ۴ تا ۷ در محدوده میانگین و ۸ تا ۱۰ بالاتر از میانگین.",
         size=9.5, color=GREY, align="right", wrap="true", valign="top")

    # the psychologist's notes
    y += 48.0
    shape("NotesBox", LEFT, y, RIGHT - LEFT, 150.0, kind="round-rectangle", radius=6.0,
          pen=RULE, pen_width=0.8, fill="none")
    memo("NotesCaption", LEFT + 10.0, y + 6.0, RIGHT - LEFT - 20.0, 26.0,
         "تفسیر و توصیه های روانشناس:", size=11.5, bold="true", color=NAVY, align="right")
    for k in range(1, 5):
        ly = y + 30.0 + 28.0 * k
        line("NotesLine%d" % k, LEFT + 16.0, ly, RIGHT - 16.0, ly, pen="#c3ced9", width=0.5,
             style="dot")

    # date and signature
    y += 168.0
    memo("DateCaption", 560.0, y, 190.0, 30.0, "تاریخ:", size=11, bold="true", color=NAVY,
         align="right")
    line("DateLine", 560.0, y + 44.0, 750.0, y + 44.0, pen="#8ea3b9", width=0.6)
    memo("SignatureCaption", 44.0, y, 260.0, 30.0, "مهر و امضای روانشناس", size=11,
         bold="true", color=NAVY, align="right")
    line("SignatureLine", 44.0, y + 44.0, 304.0, y + 44.0, pen="#8ea3b9", width=0.6)

    # footer
    fy = PAGE_H - 66.0
    line("FooterRule", LEFT, fy, RIGHT, fy, pen=RULE, width=0.6)
    memo("FooterNote", LEFT, fy + 4.0, RIGHT - LEFT, 26.0,
         "این گزارش محرمانه است و تفسیر آن باید به دست متخصص انجام شود.",
         size=9, color=GREY, align="center")


def main():
    build()
    text = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            "<!-- KVR profile sheet: written by data/tools/make_kvr_fr3.py -->\n"
            '<report version="1">\n'
            '  <page width="%s" height="%s" fill="#ffffff"/>\n' % (fmt(PAGE_W), fmt(PAGE_H))
            + "\n".join(out) + "\n</report>\n")
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "KVR.fr3"), "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
