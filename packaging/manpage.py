#!/usr/bin/env python3
"""Writes a manual page from a program's own --help texts, so the two never differ.

    manpage.py OUT PROGRAM SECTION "SUMMARY" [COMMAND...]

OUT ending in ".gz" is written compressed.
The page's SYNOPSIS and sections come from "PROGRAM --help": its usage lines, its
paragraphs, and its headed lists ("options:", "exit status:", "files:" ...), each
heading a section. Each COMMAND adds "PROGRAM COMMAND --help" under COMMANDS.

The help texts are read as they are printed: a line "usage: ..." (and the lines
indented under it) is a synopsis; a line indented by two to nine blanks starts a list
item, its term separated from its text by two blanks or more; deeper indented lines go
on with the item; a line "heading:" starts a list, "heading: text" a paragraph.
"""
import gzip
import os
import re
import subprocess
import sys


def roff(text):
    text = text.replace("\\", "\\e")
    return text


def term(text):
    return roff(text).replace("-", "\\-")


def line_start(text):
    return "\\&" + text if text[:1] in (".", "'") else text


def help_text(program, args):
    # A neutral environment: paths the texts name come out as "~/...".
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env["HOME"] = "~"
    env.pop("VEXA_CONFIG", None)
    env.pop("VEXA_LOG", None)
    out = subprocess.run([program] + args + ["--help"], env=env, capture_output=True,
                         text=True, check=True)
    return out.stdout


def convert(text, section_heads):
    """Returns (synopsis lines, roff body) of one help text. SECTION_HEADS: headings
    become .SH sections (else bold paragraph headings)."""
    synopsis, body = [], []
    lines = text.rstrip("\n").split("\n")
    i = 0
    para = []
    item = None  # [term, [text...]]

    def flush():
        nonlocal para, item
        if item is not None:
            body.append(".TP")
            body.append(".B " + term(item[0]) if item[0] else ".B")
            if item[1]:
                body.append(line_start(roff(" ".join(item[1]))))
            item = None
        if para:
            body.append(".PP")
            body.append(line_start(roff(" ".join(para))))
            para = []

    while i < len(lines):
        line = lines[i]
        m = re.match(r"^[Uu]sage: (.*)$", line)
        if m:
            flush()
            synopsis.append(m.group(1).strip())
            i += 1
            # Lines indented under it go on with it; they keep their place.
            while i < len(lines) and re.match(r"^ {6,}\S", lines[i]):
                synopsis.append(lines[i][len("usage: "):].rstrip())
                i += 1
            continue
        if not line.strip():
            flush()
            i += 1
            continue
        indent = len(line) - len(line.lstrip(" "))
        m = re.match(r"^([A-Za-z][A-Za-z -]*):$", line)
        if m:
            flush()
            head = m.group(1)
            if section_heads:
                body.append(".SH " + head.upper())
            else:
                body.append(".PP")
                body.append("\\fB" + roff(head[0].upper() + head[1:]) + "\\fR")
            i += 1
            continue
        if 2 <= indent < 7:
            flush()
            parts = re.split(r" {2,}", line.strip(), maxsplit=1)
            item = [parts[0], parts[1:]]
        elif indent >= 7 and item is not None:
            # A term too long for one line goes on with "[...]" before its text.
            if not item[1] and line.strip().startswith("["):
                item[0] += " " + line.strip()
            else:
                item[1].append(line.strip())
        else:
            if item is not None:
                flush()
            para.append(line.strip())
        i += 1
    flush()
    return synopsis, body


def main():
    out, program, section, summary = sys.argv[1:5]
    commands = sys.argv[5:]
    name = os.path.basename(program)
    synopsis, body = convert(help_text(program, []), True)
    page = [
        '.\\" Made from the program\'s --help texts; edit them, not this page.',
        '.TH %s %s "" "%s" "User Commands"' % (name.upper(), section, name),
        ".SH NAME",
        "%s \\- %s" % (term(name), roff(summary)),
        ".SH SYNOPSIS",
    ]
    page += [".nf"] + [line_start(roff(s)) for s in synopsis] + [".fi"]
    if body and not body[0].startswith(".SH"):
        page.append(".SH DESCRIPTION")
    page += body
    if commands:
        page.append(".SH COMMAND DETAILS")
        for cmd in commands:
            syn, text = convert(help_text(program, [cmd]), False)
            page.append(".SS %s %s" % (term(name), term(cmd)))
            page += [".PP", ".nf"] + [line_start(roff(s)) for s in syn] + [".fi"]
            page += text
    data = ("\n".join(page) + "\n").encode("utf-8")
    if out.endswith(".gz"):
        # Compressed as the system keeps manual pages, the same bytes for the same text.
        with open(out, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw,
                                                  compresslevel=9, mtime=0) as f:
            f.write(data)
    else:
        with open(out, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
