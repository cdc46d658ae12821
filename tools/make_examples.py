#!/usr/bin/env python3
"""Writes the example data: a 16-page A5 brochure with 3 mm bleed, a TrimBox on every
page and a spot colour, and a 2-up saddle-stitch booklet template for it.

    tools/make_examples.py [OUTDIR]     (default: examples/ beside this folder)
"""
import os
import sys

BLEED = 8.5  # 3 mm
TRIM_W, TRIM_H = 420.0, 595.0  # A5 in points (rounded)


def pdf(objects, root=1, info=None):
    """objects: list of bytes, object i + 1. Returns the file."""
    out = bytearray(b"%PDF-1.6\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    trailer = b"<< /Size %d /Root %d 0 R" % (len(objects) + 1, root)
    if info:
        trailer += b" /Info %d 0 R" % info
    out += b"trailer\n" + trailer + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref
    return bytes(out)


def stream(data, extra=b""):
    return b"<< /Length %d%s >>\nstream\n" % (len(data), extra) + data + b"\nendstream"


def brochure(pages=16, rotations=None):
    """rotations: {page number: 90, 180 or 270}: that page gets /Rotate and content drawn
    turned back, so that it still shows upright."""
    w, h = TRIM_W + 2 * BLEED, TRIM_H + 2 * BLEED
    # 1 catalog, 2 pages, 3 font, 4 spot colour, 5 info, then page + content pairs
    objs = [None] * 5
    kids = []
    for n in range(1, pages + 1):
        x = 60 + (n % 4) * 60
        y = 300 + (n % 3) * 80
        content = (
            b"q /CS0 cs 0.25 scn 0 0 %.2f %.2f re f Q\n" % (w, h)
            + b"q /CS0 cs 1 scn %.2f %.2f %.2f 40 re f Q\n" % (BLEED, h - BLEED - 40, TRIM_W)
            + b"q 0 g 1 w %.2f %.2f m %.2f %.2f l S Q\n" % (BLEED + 30, BLEED + 30, w - BLEED - 30, BLEED + 30)
            + b"BT /F1 36 Tf 0 g %d %d Td (Page %d) Tj ET\n" % (x, y, n)
            + b"BT /F1 10 Tf 0 g %.2f %.2f Td (Example brochure, page %d of %d) Tj ET\n"
            % (BLEED + 30, BLEED + 40, n, pages)
        )
        pnum = len(objs) + 1
        rot = (rotations or {}).get(n, 0)
        pw, ph, rotate = w, h, b""
        if rot:
            # the upright page turned against the /Rotate it gets
            cm = {90: b"0 1 -1 0 %.2f 0" % h, 180: b"-1 0 0 -1 %.2f %.2f" % (w, h),
                  270: b"0 -1 1 0 0 %.2f" % w}[rot]
            content = b"q " + cm + b" cm\n" + content + b"Q\n"
            if rot != 180:
                pw, ph = h, w
            rotate = b" /Rotate %d" % rot
        objs.append(
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /BleedBox [0 0 %.2f %.2f]"
            b" /TrimBox [%.2f %.2f %.2f %.2f] /Resources << /Font << /F1 3 0 R >>"
            b" /ColorSpace << /CS0 4 0 R >> >> /Contents %d 0 R%s >>"
            % (pw, ph, pw, ph, BLEED, BLEED, pw - BLEED, ph - BLEED, pnum + 1, rotate)
        )
        objs.append(stream(content))
        kids.append(pnum)
    objs[0] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objs[1] = b"<< /Type /Pages /Count %d /Kids [%s] >>" % (
        pages, b" ".join(b"%d 0 R" % k for k in kids))
    objs[2] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
    objs[3] = (b"[/Separation /PANTONE#20286#20C /DeviceCMYK << /FunctionType 2 /Domain [0 1]"
               b" /C0 [0 0 0 0] /C1 [1 0.66 0 0.02] /N 1 >>]")
    objs[4] = b"<< /Title (Example brochure) /Author (Vexa examples) >>"
    return pdf(objs, info=5)


def fx(v):
    return b"%.5f" % v


def frame_dict(box, left, bottom, right, top, bl, bt, br, bb):
    return (b"<< /boxnum %d /left %s /top %s /right %s /bottom %s /bl %s /bt %s /br %s /bb %s"
            b" /rotation 0 >>" % (box, fx(left), fx(top), fx(right), fx(bottom),
                                  fx(bl), fx(bt), fx(br), fx(bb)))


def booklet_template(colour_bar=False):
    """Two sheets of 907 x 652 pt, two A5 frames each: front 4 | 1, back 2 | 3.
    colour_bar: below the frames, a bar in the placeholder separation X (it takes the
    source's spot colour) and a mark in the "All" separation (every plate)."""
    sw, sh = 907.0, 652.0
    fw, fh = TRIM_W + BLEED, TRIM_H + 2 * BLEED
    x0 = (sw - 2 * fw) / 2
    y0 = (sh - fh) / 2
    left = (x0, y0, x0 + fw, y0 + fh, BLEED, BLEED, 0.0, BLEED)
    right = (x0 + fw, y0, x0 + 2 * fw, y0 + fh, 0.0, BLEED, BLEED, BLEED)
    sides = [(4, 1), (2, 3)]
    objs = [None, None]
    kids = []
    for a, b in sides:
        pnum = len(objs) + 1
        fa, fb = pnum + 2, pnum + 3
        content = b"/MC /F0 BDC\nEMC\n/MC /F1 BDC\nEMC\n"
        spaces = b""
        if colour_bar:
            content += (b"q /CSX cs 1 scn 30 4 100 10 re f Q\n"
                        b"q /CSA cs 1 scn 200 4 100 10 re f Q\n")
            fn = b"<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>"
            spaces = (b" /ColorSpace << /CSX [/Separation /X /DeviceCMYK %s]"
                      b" /CSA [/Separation /All /DeviceCMYK %s] >>" % (fn, fn))
        objs.append(
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %s %s] /Resources << /Properties"
            b" << /F0 %d 0 R /F1 %d 0 R >>%s >> /Contents %d 0 R >>"
            % (fx(sw), fx(sh), fa, fb, spaces, pnum + 1))
        objs.append(stream(content))
        objs.append(frame_dict(a, *left))
        objs.append(frame_dict(b, *right))
        kids.append(pnum)
    objs[0] = (b"<< /Type /Catalog /Pages 2 0 R /Vexa << /PaperRect [0 0 %s %s] /Frames 1 >> >>"
               % (fx(sw), fx(sh)))
    objs[1] = b"<< /Type /Pages /Count 2 /Kids [%s] >>" % b" ".join(b"%d 0 R" % k for k in kids)
    return pdf(objs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "brochure.pdf"), "wb") as f:
        f.write(brochure())
    with open(os.path.join(out, "booklet-2up.pdf"), "wb") as f:
        f.write(booklet_template())


if __name__ == "__main__":
    main()
