#!/usr/bin/python3
"""Sums the bytes of a PDF's objects by kind: where an imposed file's size goes.

Usage: pdf_sizes.py FILE.pdf [FILE.pdf ...]

Each indirect object's size is its stretch of the file (from its offset to the next
object's, so stream data and the xref entry are included); objects inside object
streams are counted by the length of their serialization. Kinds: pages, page content
streams, imported page forms, frame dictionaries, colour spaces, tint functions,
ExtGStates, fonts, images, page labels and the rest.
"""
import sys

import pikepdf


def kind(obj, content_ids, form_ids):
    og = obj.objgen
    if og in content_ids:
        return "sheet content"
    if isinstance(obj, pikepdf.Stream):
        st = obj.get("/Subtype")
        if st == "/Form":
            return "form (imported page)" if "/CMYK" in obj else "form (other)"
        if st == "/Image":
            return "image"
        if "/FunctionType" in obj:
            return "tint function"
        if obj.get("/Type") == "/ObjStm":
            return "object stream"
        if obj.get("/Type") == "/XRef":
            return "xref stream"
        return "stream (other)"
    if isinstance(obj, pikepdf.Array):
        if len(obj) and obj[0] in ("/Separation", "/DeviceN", "/ICCBased", "/Indexed"):
            return "colour space"
        return "array"
    if isinstance(obj, pikepdf.Dictionary):
        t = obj.get("/Type")
        if t == "/Page":
            return "page"
        if t == "/Pages":
            return "page tree"
        if t == "/Font" or "/BaseFont" in obj:
            return "font"
        if t == "/ExtGState" or any(k in obj for k in ("/OP", "/op", "/OPM", "/CA", "/ca")):
            return "ExtGState"
        if "/top" in obj:
            return "frame dictionary"
        if "/FunctionType" in obj:
            return "tint function"
        if "/S" in obj and ("/St" in obj or "/P" in obj) and len(obj) <= 3:
            return "page label"
        return "dict (other)"
    return "other"


def main(path):
    pdf = pikepdf.open(path)
    data = open(path, "rb").read()
    content_ids = set()
    for page in pdf.pages:
        c = page.obj.get("/Contents")
        if c is None:
            continue
        for s in (c if isinstance(c, pikepdf.Array) else [c]):
            if s.is_indirect:
                content_ids.add(s.objgen)
    # Offsets of the top-level objects, from a scan for "N G obj".
    import re

    offsets = {}
    for m in re.finditer(rb"(?m)^(\d+) (\d+) obj\b", data):
        offsets[(int(m.group(1)), int(m.group(2)))] = m.start()
    # The last object ends where the cross-reference table (or its trailer) begins.
    xref = data.rfind(b"\nxref")
    sx = data.rfind(b"startxref")
    ends = sorted(offsets.values()) + [xref + 1 if xref >= 0 else sx]
    size_at = {}
    for i, off in enumerate(ends[:-1]):
        size_at[off] = ends[i + 1] - off
    totals, counts = {}, {}
    for obj in pdf.objects:
        if obj is None or not hasattr(obj, "objgen") or obj.objgen == (0, 0):
            continue
        og = obj.objgen
        if og in offsets:
            n = size_at[offsets[og]] + 20  # with its xref entry
        else:
            try:
                n = len(obj.unparse()) + 4
            except Exception:
                n = 0
        k = kind(obj, content_ids, None)
        totals[k] = totals.get(k, 0) + n
        counts[k] = counts.get(k, 0) + 1
    total = len(data)
    print(f"{path}: {total} bytes, {len(pdf.pages)} pages, version {pdf.pdf_version}, "
          f"{sum(counts.values())} objects")
    for k in sorted(totals, key=lambda k: -totals[k]):
        print(f"  {k:24s} {counts[k]:7d} objects {totals[k]:10d} bytes {100.0 * totals[k] / total:5.1f} %")


if __name__ == "__main__":
    for p in sys.argv[1:]:
        main(p)
