#!/usr/bin/env python3
"""Writes the dialog descriptions of plugin/resources from the layouts below.

Each layout is a window (title key, size) and a list of controls; run this script after
changing a layout and commit the generated XML files.
"""
import os

MM = lambda mm: int(mm * 72 * 65536 / 25.4)
MAXF = 0x7FFFFFFF

def ctl(type, text=None, id=None, rect=(0, 0, 0, 0), cmd=None, menu=None, just=None,
        unit=None, vmin=None, vmax=None, multi=False, extra=None):
    parts = [f"<type>{type}</type>"]
    if text is not None: parts.append(f"<text>{text}</text>")
    if id is not None: parts.append(f"<id>{id}</id>")
    parts.append("<rect>%d %d %d %d</rect>" % rect)
    if cmd: parts.append(f"<cmd>{cmd}</cmd>")
    if just: parts.append(f"<just>{just}</just>")
    if multi: parts.append("<multi>true</multi>")
    if unit is not None: parts.append(f"<unit>{unit}</unit>")
    if vmin is not None: parts.append(f"<vmin>{vmin}</vmin>")
    if vmax is not None: parts.append(f"<vmax>{vmax}</vmax>")
    if extra:
        for k, v in extra.items(): parts.append(f"<{k}>{v}</{k.strip()}>")
    if menu is not None:
        parts.append("<menu>" + "".join(f"<item>{m}</item>" for m in menu) + "</menu>")
    return "<control>" + "".join(parts) + "</control>"

def end():
    return "<control><type>####</type></control>"

def buttons(w, h, ok="ok", okcmd="ok  ", cancelcmd="cncl"):
    return [ctl("push", "cancel", 2, (w - 200, h - 40, 88, 20), cmd=cancelcmd),
            ctl("push", ok, 1, (w - 104, h - 40, 88, 20), cmd=okcmd)]

def label(key, y, x=16, w=140):
    return ctl("stxt", key, 0, (x, y, w, 16), just="right")

def field(id, y, x=164, w=100, unit=3, vmin=None, vmax=None, text=""):
    return ctl("eutx", text, id, (x, y, w, 19), unit=unit, vmin=vmin, vmax=vmax)

def row(key, id, y, **kw):
    return [label(key, y + 2), field(id, y, **kw)]

def window(title, w, h, controls):
    body = "\n\t".join(controls)
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<window>\n\t<name>{title}</name>\n'
            f'\t<rect>0 0 {w} {h}</rect>\n\t{body}\n</window>\n')

D = {}
UNITS = ["pts", "inch", "mm", "cm"]

# Create frames.
c = []
c += row("rows", 4, 16, unit=0, vmin=1, vmax=256, w=60)
c += row("cols", 6, 44, unit=0, vmin=1, vmax=256, w=60)
c += row("width", 8, 80, vmin=MM(1), vmax=MM(5000))
c += row("height", 10, 108, vmin=MM(1), vmax=MM(5000))
c += row("distance", 12, 144, vmin=-MM(1000), vmax=MM(5000))
c += row("distance", 14, 172, vmin=-MM(1000), vmax=MM(5000))
c.append(ctl("cbox", "rotate90", 15, (16, 204, 280, 20)))
D["ADDFRAMES"] = window("addframes", 320, 280, c + buttons(320, 280))

# Marks.
c = []
c += row("distance", 4, 16, vmin=-MM(10), vmax=MM(100))
c += row("length", 6, 44, vmin=0, vmax=MM(100))
c += row("width", 8, 72, vmin=0, vmax=MM(100))
c.append(ctl("sepa", None, 0, (16, 102, 288, 2)))
c.append(ctl("cbox", "cutmarks", 9, (16, 112, 288, 20)))
c.append(ctl("cbox", "regmarks", 11, (16, 136, 288, 20)))
c.append(ctl("cbox", "alternategray", 12, (36, 160, 268, 20)))
c.append(ctl("cbox", "centermarks", 13, (16, 184, 288, 20)))
D["ADDMARKS"] = window("addmarks", 320, 256, c + buttons(320, 256))

# Sheet copies.
c = []
c += row("copies", 4, 16, unit=0, vmin=1, vmax=10000, w=80, text="1")
c += row("boxnroffset", 6, 44, unit=0, vmin=0, vmax=10000, w=80, text="0")
c.append(label("mirroring", 74))
c.append(ctl("popb", None, 8, (164, 72, 140, 20), menu=["dontmirror", "horizontal", "vertical"]))
D["ADDPAGES"] = window("addsheets", 320, 150, c + buttons(320, 150))

# Bleed, one value and four values.
c = row("bleeding", 4, 16, vmin=0, vmax=MM(100))
c.append(ctl("cbox", "symmetric", 5, (164, 44, 140, 20)))
D["BLEEDING1"] = window("bleedingdlg", 320, 120, c + buttons(320, 120))
c = []
for i, (key, cmd) in enumerate([("top", "top "), ("left", "left"), ("right", "rght"), ("bottom", "bttm")]):
    y = 16 + 28 * i
    c.append(label(key, y + 2))
    c.append(ctl("eutx", "", 4 + i, (164, y, 100, 19), cmd=cmd, unit=3, vmin=-1, vmax=MAXF))
D["BLEEDING2"] = window("bleedingdlg", 320, 180, c + buttons(320, 180))

# Duplicate.
c = []
c += row("copies", 4, 16, unit=0, vmin=1, vmax=100, w=80, text="1")
c += row("offsethor", 6, 44, vmin=-MM(1000), vmax=MM(5000))
c += row("offsetver", 8, 72, vmin=-MM(1000), vmax=MM(5000))
D["DUPLICATE"] = window("duplicate", 320, 150, c + buttons(320, 150))

# One-line text dialogs.
def textDialog(title, labelKey, preset=""):
    c = [ctl("stxt", labelKey, 3, (16, 18, 288, 16)),
         ctl("etxt", preset, 4, (16, 40, 288, 19))]
    return window(title, 320, 116, c + buttons(320, 116))
D["FRAMENUM"] = textDialog("framenumberdlg", "framenumber", "0")
D["TEXTFRAME"] = textDialog("textframe", "textframe")
D["GETSTRING"] = textDialog("inripsep", "inripsep")

# Layout sample: two group boxes with value fields.
c = [ctl("grpb", "measure", 3, (12, 12, 296, 84))]
c += [label("width", 22, x=8, w=120), field(4, 20, x=136, w=100),
      label("height", 50, x=8, w=120), field(5, 48, x=136, w=100), end(),
      ctl("grpb", "offset", 6, (12, 108, 296, 84)),
      label("w", 22, x=8, w=120), field(7, 20, x=136, w=100, unit=6, vmin=0, vmax=MAXF),
      label("distance", 50, x=8, w=120), field(8, 48, x=136, w=100), end()]
D["GROUPBOXES"] = window("GroupBoxes", 320, 240, c + buttons(320, 240))

# Hot folders.
c = [ctl("stxt", "Nr.:", 0, (16, 18, 60, 16), just="right"),
     ctl("popb", None, 13, (84, 16, 80, 20), menu=[]),
     ctl("push", "add", 12, (180, 14, 88, 20)),
     ctl("push", "remove", 11, (276, 14, 88, 20))]
for i, key in enumerate(["In:", "Out:", "Done:"]):
    y = 52 + 28 * i
    c += [ctl("stxt", key, 0, (16, y + 2, 100, 16), just="right"),
          ctl("etxt", "", 14 + 2 * i, (124, y, 300, 19)),
          ctl("push", "choose", 15 + 2 * i, (432, y - 1, 88, 20))]
for i, key in enumerate(["template", "halfsheet"]):
    y = 144 + 28 * i
    c += [ctl("stxt", key, 0, (16, y + 2, 100, 16), just="right"),
          ctl("etxt", "", 20 + 2 * i, (124, y, 300, 19)),
          ctl("push", "choose", 21 + 2 * i, (432, y - 1, 88, 20))]
c += [ctl("stxt", "binding", 0, (16, 214, 100, 16), just="right"),
      ctl("popb", None, 24, (124, 212, 160, 20), menu=["saddlestitch", "perfectbinding"]),
      ctl("stxt", "align", 0, (16, 242, 100, 16), just="right"),
      ctl("popb", None, 25, (124, 240, 160, 20), menu=["trimboxmenu", "centered"]),
      ctl("stxt", "creep", 0, (16, 270, 100, 16), just="right"),
      ctl("eutx", "", 26, (124, 268, 100, 19), unit=3, vmin=0, vmax=MAXF)]
D["HOTFOLDER"] = window("hotfolder", 536, 340, c + buttons(536, 340))

# Imposition.
W, H = 671, 464
c = [ctl("grpb", "template", 0, (12, 10, 647, 56)),
     ctl("stxt", "path", 0, (8, 24, 60, 16), just="right"),
     ctl("popb", None, 3, (76, 22, 460, 20), menu=["---"]),
     ctl("push", "choose", 4, (548, 21, 88, 20)), end(),
     ctl("grpb", "halfsheet", 0, (12, 74, 647, 56)),
     ctl("stxt", "path", 0, (8, 24, 60, 16), just="right"),
     ctl("popb", None, 5, (76, 22, 364, 20), menu=["---"]),
     ctl("push", "choose", 6, (452, 21, 88, 20)),
     ctl("push", "clear", 18, (548, 21, 88, 20)), end(),
     ctl("grpb", "document", 0, (12, 138, 647, 110)),
     ctl("stxt", "path", 0, (8, 24, 60, 16), just="right"),
     ctl("popb", None, 7, (76, 22, 560, 20), menu=["---"]),
     ctl("stxt", "pages", 0, (8, 52, 60, 16), just="right"),
     ctl("stxt", "", 9, (76, 52, 120, 16)),
     ctl("stxt", "trimbox", 0, (200, 52, 80, 16), just="right"),
     ctl("stxt", "---", 10, (288, 52, 160, 16)),
     ctl("stxt", "cropbox", 0, (200, 76, 80, 16), just="right"),
     ctl("stxt", "", 11, (288, 76, 160, 16)), end(),
     ctl("grpb", "binding", 0, (12, 256, 318, 90)),
     ctl("popb", None, 12, (12, 24, 200, 20), menu=["saddlestitch", "perfectbinding", "envelope"]),
     ctl("stxt", "creep", 0, (12, 56, 80, 16), just="right"),
     ctl("eutx", "0", 13, (100, 54, 100, 19), unit=3, vmin=-1, vmax=MAXF), end(),
     ctl("grpb", "align", 0, (341, 256, 318, 90)),
     ctl("popb", None, 16, (12, 24, 200, 20), menu=["trimboxmenu", "centered", "adjustframe"]),
     ctl("stxt", "scale", 0, (12, 56, 80, 16), just="right"),
     ctl("eutx", "100 %", 17, (100, 54, 100, 19), unit=6, vmin=655, vmax=MAXF), end(),
     ctl("grpb", "pages", 0, (12, 354, 647, 56)),
     ctl("stxt", "from", 0, (8, 24, 60, 16), just="right"),
     ctl("eutx", "1", 14, (76, 22, 100, 19), unit=0, vmin=1, vmax=MAXF),
     ctl("stxt", "to", 0, (188, 24, 60, 16), just="right"),
     ctl("eutx", "1", 15, (256, 22, 100, 19), unit=0, vmin=1, vmax=MAXF), end(),
     ctl("push", "cancel", 2, (W - 200, H - 40, 88, 20), cmd="not!"),
     ctl("push", "impose", 1, (W - 104, H - 40, 88, 20), cmd="ok  ")]
D["IMPOSE"] = window("imposedlg", W, H, c)

# Job information.
c = [ctl("stxt", "A:", 0, (16, 18, 30, 16), just="right"),
     ctl("etxt", "", 3, (52, 16, 252, 19)),
     ctl("stxt", "B:", 0, (16, 46, 30, 16), just="right"),
     ctl("etxt", "", 4, (52, 44, 252, 19))]
for i, key in enumerate(["sheets", "order", "title", "datetime", "colors", "filename",
                         "pagenumbers", "template"]):
    c.append(ctl("cbox", key, 5 + i, (16 + 150 * (i % 2), 80 + 26 * (i // 2), 144, 20)))
c.append(ctl("cbox", "usegrayspace", 13, (16, 190, 288, 20)))
c.append(ctl("push", "saveasdefault", 20, (16, 240, 140, 20)))
D["JOBINFO"] = window("jobinfo", 320, 280, c + buttons(320, 280))

# Moving mark.
c = [ctl("grpb", "movingmark", 0, (12, 12, 296, 84)),
     ctl("stxt", "moveto", 0, (8, 22, 120, 16), just="right"),
     ctl("popb", None, 3, (136, 20, 140, 20), menu=["top", "left", "bottom", "right"]),
     ctl("stxt", "movelimit", 0, (8, 52, 120, 16), just="right"),
     ctl("eutx", "", 4, (136, 50, 100, 19), unit=3, vmin=-1, vmax=MAXF), end()]
D["MOVINGMARK"] = window("movingmark", 320, 150, c + buttons(320, 150))

# New sheet and paper size.
c = []
c += row("width", 5, 16, vmin=1857713, vmax=928856704)
c += row("height", 7, 44, vmin=1857713, vmax=928856704)
c.append(ctl("cbox", "jobinfo", 8, (164, 76, 140, 20)))
c.append(ctl("cbox", "usegrayspace", 9, (164, 100, 140, 20)))
D["NEWDOC"] = window("newdoc", 320, 176, c + buttons(320, 176))
c = []
c += row("width", 5, 16, vmin=1857713, vmax=928856704)
c += row("height", 7, 44, vmin=1857713, vmax=928856704)
c.append(ctl("cbox", "keepcentered", 8, (16, 76, 288, 20)))
D["PAGESIZE"] = window("pagesize", 320, 150, c + buttons(320, 150))

# Plate.
c = [ctl("stxt", "plates", 0, (16, 18, 80, 16), just="right"),
     ctl("popb", None, 3, (104, 16, 200, 20), menu=[])]
D["PLATESIZE"] = window("Plattenformat", 320, 100, c + buttons(320, 100))

# Palette.
c = [ctl("push", "new", 1, (8, 8, 184, 20), cmd="newd"),
     ctl("push", "preferences", 14, (8, 32, 184, 20)),
     ctl("sepa", None, 0, (8, 58, 184, 2)),
     ctl("push", "position", 2, (8, 66, 90, 20)),
     ctl("push", "frames", 3, (102, 66, 90, 20)),
     ctl("push", "marks", 4, (8, 90, 90, 20)),
     ctl("push", "rotate", 5, (102, 90, 90, 20)),
     ctl("push", "copy", 6, (8, 114, 90, 20)),
     ctl("push", "paper", 27, (102, 114, 90, 20)),
     ctl("push", "plate", 28, (8, 138, 90, 20)),
     ctl("grpb", "bleeding", 7, (8, 166, 184, 64)),
     ctl("stxt", "top", 0, (4, 16, 40, 16)), ctl("stxt", "", 8, (46, 16, 44, 16)),
     ctl("stxt", "left", 0, (92, 16, 40, 16)), ctl("stxt", "", 9, (134, 16, 44, 16)),
     ctl("stxt", "right", 0, (4, 38, 40, 16)), ctl("stxt", "", 10, (46, 38, 44, 16)),
     ctl("stxt", "bottom", 0, (92, 38, 40, 16)), ctl("stxt", "", 11, (134, 38, 44, 16)), end(),
     ctl("grpb", "measure", 17, (8, 236, 184, 64)),
     ctl("stxt", "X:", 0, (4, 16, 20, 16)), ctl("stxt", "", 22, (26, 16, 64, 16)),
     ctl("stxt", "Y:", 0, (92, 16, 20, 16)), ctl("stxt", "", 23, (114, 16, 64, 16)),
     ctl("stxt", "w", 0, (4, 38, 20, 16)), ctl("stxt", "", 24, (26, 38, 64, 16)),
     ctl("stxt", "H:", 0, (92, 38, 20, 16)), ctl("stxt", "", 25, (114, 38, 64, 16)), end(),
     ctl("cbox", "showguides", 12, (8, 306, 184, 20)),
     ctl("stxt", "keys", 0, (8, 334, 50, 16)),
     ctl("popb", None, 16, (60, 332, 132, 20), menu=["moveframe", "movecontent", "scalecontent"]),
     ctl("sepa", None, 0, (8, 362, 184, 2)),
     ctl("push", "place", 26, (8, 372, 184, 20)),
     ctl("push", "impose", 13, (8, 400, 184, 24))]
D["PALETTE"] = window("Vexa", 200, 463, c)

# Preferences.
c = [ctl("grpb", "general", 0, (12, 12, 336, 104)),
     ctl("stxt", "origin", 0, (8, 24, 100, 16), just="right"),
     ctl("popb", None, 4, (116, 22, 160, 20), menu=["bottomleft", "topleft"]),
     ctl("cbox", "dragdropall", 8, (8, 50, 320, 20)),
     ctl("cbox", "missingtrim", 9, (8, 74, 320, 20)), end(),
     ctl("grpb", "measures", 0, (12, 124, 336, 80)),
     ctl("stxt", "palette", 0, (8, 24, 100, 16), just="right"),
     ctl("popb", None, 6, (116, 22, 120, 20), menu=UNITS),
     ctl("stxt", "dialogs", 0, (8, 52, 100, 16), just="right"),
     ctl("popb", None, 7, (116, 50, 120, 20), menu=UNITS), end(),
     ctl("push", "vexaini", 10, (12, 220, 120, 20))]
D["PREFS"] = window("preferences", 360, 280, c + buttons(360, 280))

# Position.
c = []
for i, (key, id, lo, hi, unit) in enumerate([
        ("X:", 4, -MM(1000), MM(5000), 3), ("Y:", 6, -MM(1000), MM(5000), 3),
        ("w", 8, 0, MM(5000), 3), ("H:", 10, 0, MM(5000), 3),
        ("dx:", 12, -MM(1000), MM(5000), 3), ("dy:", 14, -MM(1000), MM(5000), 3),
        ("scale", 16, 6553, 655360, 6)]):
    c += row(key, id, 16 + 28 * i, unit=unit, vmin=lo, vmax=hi)
D["SETPOS"] = window("positiondlg", 320, 270, c + buttons(320, 270))

# TrimBox.
c = []
for i, (key, id) in enumerate([("X:", 4), ("Y:", 6), ("w", 8), ("H:", 10)]):
    c += row(key, id, 16 + 28 * i, vmin=-1, vmax=MAXF)
c.append(ctl("cbox", "processall", 11, (16, 132, 288, 20)))
D["TRIMBOX"] = window("TrimBox", 320, 200, c + buttons(320, 200))

# Spot colour mapping.
c = [ctl("grpb", "spotcolors", 0, (12, 12, 336, 170))]
for i in range(5):
    y = 22 + 28 * i
    c += [ctl("stxt", f"spot{i + 1}", 10 + 2 * i, (8, y + 2, 150, 16)),
          ctl("popb", None, 11 + 2 * i, (166, y, 160, 20),
              menu=["dontmapspot", "cyan", "magenta", "yellow", "black"])]
c.append(end())
D["MAPSPOTCOLORS"] = window("spotcolors", 360, 240, c + buttons(360, 240))

out = os.path.join(os.path.dirname(__file__), "..", "plugin", "resources")
for name, text in D.items():
    with open(os.path.join(out, name + ".xml"), "w") as f:
        f.write(text)
print(len(D), "descriptions")
