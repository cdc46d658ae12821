#!/usr/bin/env python3
"""Writes an 8-up step-and-repeat template (4 x 2 A4 frames on 2381.12 x 1683.78, every
frame box 1) whose frames lie in reading order, top row first: the peer benchmark's
verifier reads the repeated page numbers of a sheet in content order.

    step_repeat_rows.py OUT.pdf
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import make_examples as m  # noqa: E402

W, H = 595.28, 841.89


def main():
    cols, rows = 4, 2
    sw, sh = cols * W, rows * H
    frames = []
    for r in range(rows - 1, -1, -1):
        for c in range(cols):
            frames.append(m.frame_dict(1, c * W, r * H, (c + 1) * W, (r + 1) * H, 0, 0, 0, 0))
    # 1 catalog, 2 pages, 3 page, 4 content, then the frame dictionaries
    content = b"".join(b"/MC /F%d BDC\nEMC\n" % i for i in range(len(frames)))
    props = b" ".join(b"/F%d %d 0 R" % (i, 5 + i) for i in range(len(frames)))
    objs = [
        b"<< /Type /Catalog /Pages 2 0 R /Vexa << /PaperRect [0 0 %s %s] /Frames 1 >> >>"
        % (m.fx(sw), m.fx(sh)),
        b"<< /Type /Pages /Count 1 /Kids [3 0 R] >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %s %s] /Resources << /Properties << %s >> >>"
        b" /Contents 4 0 R >>" % (m.fx(sw), m.fx(sh), props),
        m.stream(content),
    ] + frames
    with open(sys.argv[1], "wb") as f:
        f.write(m.pdf(objs))


if __name__ == "__main__":
    main()
