#!/usr/bin/env python3
"""An image-heavy source: PAGES A4 pages, each with an image of its own (noise, so that
it does not compress; about 2.7 MB each stored), for the benchmark of streams carried
as they are.

    bench/image_source.py OUT.pdf [PAGES]      (default 100 pages)
"""
import random
import sys
import zlib

W, H = 1240, 730  # pixels, RGB: 2.7 MB a page


def main():
    out = sys.argv[1]
    pages = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    objs = {}  # number -> bytes
    n_pages = 2
    kids = []
    font = 3 + 3 * pages
    nxt = 3
    for i in range(pages):
        rng = random.Random(i)
        data = zlib.compress(rng.randbytes(W * H * 3), 0)
        img, content, page = nxt, nxt + 1, nxt + 2
        nxt += 3
        objs[img] = (b"<< /Type /XObject /Subtype /Image /Width %d /Height %d "
                     b"/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode "
                     b"/Length %d >>\nstream\n" % (W, H, len(data)) + data + b"\nendstream")
        text = b"q 555 0 0 327 20 400 cm /Im0 Do Q BT /F1 24 Tf 40 100 Td (Page %d) Tj ET" % (i + 1)
        objs[content] = b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream"
        objs[page] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.276 841.89] "
                      b"/TrimBox [0 0 595.276 841.89] /Contents %d 0 R /Resources << "
                      b"/XObject << /Im0 %d 0 R >> /Font << /F1 %d 0 R >> >> >>"
                      % (content, img, font))
        kids.append(page)
    objs[font] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    objs[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objs[n_pages] = b"<< /Type /Pages /Count %d /Kids [%s] >>" % (
        pages, b" ".join(b"%d 0 R" % k for k in kids))
    with open(out, "wb") as f:
        f.write(b"%PDF-1.4\n%\xbf\xf7\xa2\xfe\n")
        offsets = {}
        for num in sorted(objs):
            offsets[num] = f.tell()
            f.write(b"%d 0 obj\n" % num + objs[num] + b"\nendobj\n")
        size = max(objs) + 1
        xref = f.tell()
        f.write(b"xref\n0 %d\n0000000000 65535 f \n" % size)
        for num in range(1, size):
            if num in offsets:
                f.write(b"%010d 00000 n \n" % offsets[num])
            else:
                f.write(b"0000000000 00000 f \n")
        f.write(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref))


if __name__ == "__main__":
    main()
