#!/usr/bin/env python3
"""A person's session with vexa-studio on a real X server (Xvfb), driven by xdotool.

Opens a copy of the booklet template, clicks a page frame and types a box number,
drags the other frame, saves (Ctrl+S), undoes the drag (Ctrl+Z) and saves again;
screenshots of every step are taken with ImageMagick's import. The saved files are
read back with "vexa template show" and the pictures are checked for the page and
for the drag showing on screen.

usage: xsession.py BIN_DIR OUT_DIR
Exits 77 (skipped) when Xvfb, xdotool or import is missing.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN = (1400, 900)
WINDOW = (1060, 840)


def fail(message):
    print("xsession: FAILED: " + message, flush=True)
    sys.exit(1)


def wait_until(what, test, timeout=20.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = test()
        if value:
            return value
        time.sleep(step)
    fail("timed out waiting for " + what)


class Session:
    def __init__(self, bin_dir, out_dir):
        self.bin_dir = bin_dir
        self.out = out_dir
        self.tmp = tempfile.mkdtemp(prefix="vexa-xsession-")
        self.env = dict(os.environ)
        home = os.path.join(self.tmp, "home")
        config = os.path.join(home, "config")
        os.makedirs(os.path.join(config, "Orvanta"))
        self.env.update(HOME=home, XDG_CONFIG_HOME=config,
                        XDG_DATA_HOME=os.path.join(home, "data"),
                        XDG_CACHE_HOME=os.path.join(home, "cache"),
                        XDG_RUNTIME_DIR=self.tmp, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        self.env.pop("QT_QPA_PLATFORM", None)
        # The palette beside the main window, the thumbnails closed: the window
        # shows the page and nothing else white.
        with open(os.path.join(config, "Orvanta", "Vexa.ini"), "w") as f:
            f.write("[General]\nPalPos=%d 40\n" % (WINDOW[0] + 30))
        with open(os.path.join(config, "Orvanta", "vexa-studio.ini"), "w") as f:
            f.write("[View]\nThumbnails=false\nRulers=true\n")
        self.xvfb = self.studio = None
        self.shots = 0

    # ---- processes --------------------------------------------------------------

    def start_x(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0",
             "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        end = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < end:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            fail("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_studio(self, document):
        log = open(os.path.join(self.out, "vexa-studio.log"), "w")
        self.studio = subprocess.Popen(
            [os.path.join(self.bin_dir, "vexa-studio"), "--language", "ENU",
             "-geometry", "%dx%d+0+0" % WINDOW, document],
            env=self.env, stdout=log, stderr=subprocess.STDOUT)

    def stop(self):
        for p in (self.studio, self.xvfb):
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run(self, *args, timeout=15, check=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                           timeout=timeout)
        if check and r.returncode != 0:
            fail("%s: %s" % (" ".join(args), r.stderr.strip() or r.returncode))
        return r.stdout

    def xdotool(self, *args):
        return self.run("xdotool", *map(str, args))

    # ---- pictures ---------------------------------------------------------------

    def shot(self, name):
        """The screen as a PNG in the output folder and as rows of RGB bytes."""
        self.shots += 1
        png = os.path.join(self.out, "%02d-%s.png" % (self.shots, name))
        ppm = os.path.join(self.tmp, "shot.ppm")
        self.run("import", "-window", "root", png)
        self.run("import", "-window", "root", "-depth", "8", ppm)
        with open(ppm, "rb") as f:
            data = f.read()
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if not m:
            fail("import wrote no PPM picture")
        if m.group(3) != b"255":
            fail("import wrote %s levels a colour, not 256" % m.group(3).decode())
        w, h = int(m.group(1)), int(m.group(2))
        pixels = data[m.end():]
        return Picture(w, h, pixels, png)

    def page_rect(self, picture):
        """The page on screen: the bounding box of the white paper inside the window."""
        rect = picture.white_box(0, 0, WINDOW[0], WINDOW[1])
        if not rect:
            return None
        left, top, right, bottom = rect
        # A sheet of 450 x 350 mm fitted into the window: wide, and mostly of it.
        if right - left < 300 or bottom - top < 200:
            return None
        return rect


class Picture:
    def __init__(self, w, h, pixels, path):
        self.w, self.h, self.pixels, self.path = w, h, pixels, path

    def rgb(self, x, y):
        i = (y * self.w + x) * 3
        return tuple(self.pixels[i:i + 3])

    def white_box(self, x0, y0, x1, y1):
        white = b"\xff\xff\xff" * 8
        top = bottom = left = right = None
        for y in range(y0, min(y1, self.h)):
            row = self.pixels[(y * self.w + x0) * 3:(y * self.w + min(x1, self.w)) * 3]
            first = row.find(white)
            if first < 0:
                continue
            last = row.rfind(white)
            # Whole pixels only; rows of paper only (not a white tab or field).
            first = (first + 2) // 3
            last = last // 3 + 7
            if last - first < 300:
                continue
            top = y if top is None else top
            bottom = y
            left = first if left is None else min(left, first)
            right = last if right is None else max(right, last)
        if top is None:
            return None
        return (x0 + left, top, x0 + right + 1, bottom + 1)

    def find(self, test, x0, y0, x1, y1):
        """The centre of the pixels in the area for which test(r, g, b) holds."""
        xs, ys = [], []
        for y in range(y0, min(y1, self.h)):
            for x in range(x0, min(x1, self.w)):
                if test(*self.rgb(x, y)):
                    xs.append(x)
                    ys.append(y)
        if not xs:
            return None
        return (sum(xs) // len(xs), sum(ys) // len(ys))

    def differs(self, other, rect):
        left, top, right, bottom = rect
        changed = 0
        for y in range(top, bottom):
            a = self.pixels[(y * self.w + left) * 3:(y * self.w + right) * 3]
            b = other.pixels[(y * other.w + left) * 3:(y * other.w + right) * 3]
            if a != b:
                changed += sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
        return changed


def frames(session, pdf):
    """Box number -> (left, bottom, right, top) in mm of the first sheet's page frames."""
    text = session.run(os.path.join(session.bin_dir, "vexa"), "template", "show", pdf)
    sheet = text.split("sheet 2:")[0]
    found = {}
    for m in re.finditer(r"page frame (-?\d+): trim ([-\d.]+) ([-\d.]+) ([-\d.]+) ([-\d.]+)",
                         sheet):
        found[int(m.group(1))] = tuple(float(v) for v in m.group(2, 3, 4, 5))
    return found


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    bin_dir, out_dir = sys.argv[1], sys.argv[2]
    missing = [t for t in ("Xvfb", "xdotool", "import") if not shutil.which(t)]
    if missing:
        print("xsession: skipped: %s not installed (scripts/setup.sh installs xvfb, "
              "xdotool and imagemagick)" % ", ".join(missing))
        return SKIP
    os.makedirs(out_dir, exist_ok=True)
    started = time.monotonic()
    s = Session(bin_dir, out_dir)
    try:
        s.start_x()
        template = os.path.join(bin_dir, "plug_ins", "Vexa", "templates", "Booklet_2up_A4.pdf")
        doc = os.path.join(s.tmp, "booklet.pdf")
        shutil.copyfile(template, doc)
        before = frames(s, doc)
        if sorted(before) != [1, 4]:
            fail("the booklet template's first sheet has frames %s" % sorted(before))
        s.start_studio(doc)
        window = s.xdotool("search", "--sync", "--onlyvisible", "--name",
                           "booklet.pdf").split()[0]
        # No window manager: the keyboard goes where it is given.
        s.xdotool("windowfocus", "--sync", window)

        # The page rendered and still: two pictures alike with the page in them.
        last = [None]

        def settled():
            p = s.shot("opened")
            rect = s.page_rect(p)
            ok = rect and last[0] and last[0][1] == rect and not p.differs(last[0][0], rect)
            last[0] = (p, rect)
            if not ok:
                os.remove(p.path)
                s.shots -= 1
            return rect if ok else None

        page = wait_until("the page on screen", settled, timeout=30, step=0.3)
        opened = last[0][0]
        left, top, right, bottom = page
        sheet_w, sheet_h = 450.0, 350.0

        def at(x_mm, y_mm):
            return (int(round(left + (right - left) * x_mm / sheet_w)),
                    int(round(bottom - (bottom - top) * y_mm / sheet_h)))

        def centre(box):
            l, b, r, t = before[box]
            return at((l + r) / 2, (b + t) / 2)

        # The plug-in's tool from the toolbar: its button shows a sheet with red frames.
        tool = opened.find(lambda r, g, b: r > 180 and g < 80 and b < 80, 0, 20, 500, 120)
        if not tool:
            fail("no tool button in the toolbar (%s)" % opened.path)
        s.xdotool("mousemove", "--sync", tool[0], tool[1], "click", 1)
        time.sleep(0.3)

        # Frame 4 (left) gets box number 9, typed after a click on it.
        x, y = centre(4)
        s.xdotool("mousemove", "--sync", x, y, "click", 1)
        time.sleep(0.3)
        s.xdotool("type", "--delay", 80, "9")
        s.xdotool("key", "Return")
        time.sleep(0.3)
        numbered = s.shot("box-number-typed")

        # Frame 1 (right) dragged 30 mm down and to the left.
        x, y = centre(1)
        dx, dy = at(30, 0)[0] - at(0, 0)[0], at(0, 0)[1] - at(0, 30)[1]
        s.xdotool("mousemove", "--sync", x, y, "mousedown", 1)
        steps = 8
        for i in range(1, steps + 1):
            s.xdotool("mousemove", "--sync", x - dx * i // steps, y + dy * i // steps)
            time.sleep(0.03)
        s.xdotool("mouseup", 1)
        time.sleep(0.5)
        dragged = s.shot("frame-dragged")
        if dragged.differs(numbered, page) < 100:
            fail("the drag did not show on screen (%s)" % dragged.path)

        s.xdotool("key", "--window", window, "ctrl+s")
        saved = wait_until("the saved drag", lambda: (
            lambda f: f if f != before and 9 in f else None)(frames(s, doc)), timeout=10)
        if saved[9] != before[4]:
            fail("frame 9 stands at %s, frame 4 stood at %s" % (saved[9], before[4]))
        moved = saved.get(1)
        if not moved or abs((before[1][0] - moved[0]) - 30) > 3 or \
                abs((before[1][1] - moved[1]) - 30) > 3:
            fail("frame 1 went from %s to %s, not 30 mm left and down" % (before[1], moved))

        # Ctrl+Z takes the drag back; saved again, frame 1 is where it was.
        s.xdotool("key", "--window", window, "ctrl+z")
        time.sleep(0.5)
        undone = s.shot("drag-undone")
        s.xdotool("key", "--window", window, "ctrl+s")
        restored = wait_until("the saved undo", lambda: (
            lambda f: f if f.get(1) == before[1] else None)(frames(s, doc)), timeout=10)
        if restored.get(9) != before[4]:
            fail("after Undo frame 9 is %s" % restored.get(9))
        if undone.differs(dragged, page) < 100:
            fail("Undo did not show on screen (%s)" % undone.path)
        if opened.differs(numbered, page) < 20:
            fail("the typed box number did not show on screen (%s)" % numbered.path)
        print("xsession: passed in %.1f s; screenshots in %s" % (time.monotonic() - started,
                                                                 out_dir))
        return 0
    finally:
        s.stop()


if __name__ == "__main__":
    sys.exit(main())
