#!/usr/bin/env python3
"""Screenshots of the real program under Xvfb with the openbox window manager
at 1366x768, driven with xdotool as a user would click.

    bash scripts/screenshots.sh                 # README pictures into docs/screenshots/
    bash scripts/screenshots.sh --all /tmp/shots  # every screen, for review

The program runs from a scratch copy of build/bin whose database holds a few
made-up examinees (scripts/demo_data.py); the build's own database is never
touched. Needs xvfb, openbox, xdotool, x11-utils and imagemagick.

Positions inside the program's screens are computed from their layout in
twips (1440 to the inch, 96 dots per inch on Xvfb); the toolbar buttons are
found from the right edge of the main window, where the first command stands.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Centres of the toolbar buttons, in pixels from the main window's right
# edge, in toolbar order (commands 100, 101, 140, 141, 142, 143, 144, 147,
# 145, 146), and their height below the window's top edge.
TOOLBAR = [45, 130, 219, 315, 400, 481, 577, 668, 747, 823]
TOOLBAR_Y = 37
# The registry's first list line, below its fields, buttons and headings.
REGISTRY_FIRST_LINE = 246
REGISTRY_BUTTONS = 171


def twips(t):
    return round(t * 96 / 1440)


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True).stdout


def xdo(*args):
    return run("xdotool", *[str(a) for a in args])


def pause(seconds=1.0):
    time.sleep(seconds)


def windows(title):
    """Ids of the mapped windows whose title matches (a regular expression)."""
    out = run("xdotool", "search", "--onlyvisible", "--name", title, check=False)
    return [w for w in out.split() if w]


def wait_window(title, timeout=20.0, exclude=()):
    end = time.time() + timeout
    while time.time() < end:
        found = [w for w in windows(title) if w not in exclude]
        if found:
            pause(0.8)
            return found[-1]
        pause(0.3)
    raise RuntimeError(f"no window {title!r}")


def client(window):
    """(left, top, width, height) of the window's client area on the screen."""
    info = run("xwininfo", "-id", window)
    val = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return (val("Absolute upper-left X"), val("Absolute upper-left Y"), val("Width"), val("Height"))


def frame(window):
    """The window with the window manager's frame: (left, top, width, height)."""
    left, top, width, height = client(window)
    info = run("xwininfo", "-id", window)
    rel_x = int(re.search(r"Relative upper-left X:\s+(-?\d+)", info).group(1))
    rel_y = int(re.search(r"Relative upper-left Y:\s+(-?\d+)", info).group(1))
    return (left - rel_x, top - rel_y, width + 2 * rel_x, height + rel_y + rel_x)


def click(x, y, double=False):
    xdo("mousemove", x, y)
    pause(0.2)
    xdo("click", "--repeat", 2 if double else 1, "--delay", 80, 1)
    pause(0.6)


def click_in(window, x, y, double=False):
    left, top, _, _ = client(window)
    click(left + x, top + y, double)


def key(*keys):
    xdo("key", *keys)
    pause(0.8)


class Shooter:
    def __init__(self, out, scale_small):
        self.out = out
        self.scale_small = scale_small
        os.makedirs(out, exist_ok=True)

    def shot(self, name, window=None):
        """The whole screen, or one window with its frame, as NAME.png."""
        path = os.path.join(self.out, name + ".png")
        pause(0.5)
        raw = path + ".raw.png"
        run("import", "-window", "root", raw)
        args = ["convert", raw]
        if window:
            x, y, w, h = frame(window)
            x, y = max(x, 0), max(y, 0)
            args += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        if self.scale_small:
            # Small files for the README: fewer colours, a little smaller.
            args += ["-resize", "80%", "-colors", "192"]
        args += ["-strip", "-define", "png:compression-level=9", path]
        run(*args)
        os.remove(raw)
        print("  " + path)
        return path


def main_window():
    for w in windows("^KVR$"):
        if client(w)[2] > 400:
            return w
    raise RuntimeError("no main window")


def command(index):
    main = main_window()
    left, top, width, _ = client(main)
    click(left + width - TOOLBAR[index], top + TOOLBAR_Y)


def start_program(folder, scale=None):
    env = dict(os.environ)
    if scale:
        env["QT_SCALE_FACTOR"] = scale
    proc = subprocess.Popen([os.path.join(folder, "kvr")], cwd=folder, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_window("^KVR$")
    pause(1.5)
    return proc


def stop_program(proc):
    proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()


def readme_shots(s):
    s.shot("main-window", main_window())

    command(0)  # the registry, with the first examinee chosen
    reg = wait_window("ثبت آزمودني")
    _, _, w, _ = client(reg)
    click_in(reg, w // 2, REGISTRY_FIRST_LINE)
    s.shot("registry", reg)
    key("alt+F4")

    command(1)  # the answer sheet, after a double-click on an examinee
    sheet = wait_window("ورود پاسخنامه")
    click_in(sheet, twips(8820) - 60, twips(180) + 45, double=True)
    pause(2.8)
    s.shot("answer-sheet", sheet)
    key("alt+F4")

    command(3)  # the results, scored
    res = wait_window("نتيجه تست")
    click_in(res, twips(10710) - 80, twips(105) + 45, double=True)
    s.shot("results", res)
    click_in(res, twips(10710 - 780), twips(4275 + 247))  # profile
    preview = wait_window("^KVR$", exclude=[main_window()])
    pause(2)
    s.shot("profile", preview)
    key("Escape")
    key("Escape")


def all_shots(s):
    readme_shots(s)

    command(0)  # the registry: the delete question, then the test screen
    reg = wait_window("ثبت آزمودني")
    _, _, w, _ = client(reg)
    click_in(reg, w // 2, REGISTRY_FIRST_LINE)
    click_in(reg, int(w * 0.225), REGISTRY_BUTTONS)  # delete
    pause(3.8)
    s.shot("registry-delete-question")
    key("Escape")
    click_in(reg, w // 2, REGISTRY_FIRST_LINE, double=True)
    test = wait_window("اجراي تست")
    s.shot("test-intro", test)
    click_in(test, twips(180 + 8700 // 2), twips(180 + 5505) - 30)  # start
    s.shot("test-item", test)
    click_in(test, twips(7500 + 600), twips(5700 + 210))  # help
    s.shot("test-help", test)
    key("alt+F4")
    command(0)
    wait_window("ثبت آزمودني")
    key("alt+F4")

    command(1)
    sheet = wait_window("ورود پاسخنامه")
    click_in(sheet, twips(6300 + 600), twips(4860 + 225))  # help
    s.shot("answer-sheet-help", sheet)
    key("alt+F4")

    command(2)  # the import
    imp = wait_window("فايل آزمودني")
    s.shot("import", imp)
    click_in(imp, twips(5625 + 600), twips(6120 + 240))  # help
    s.shot("import-help", imp)
    click_in(imp, twips(720 + 5505 // 2), twips(1305 + 4200) - 24)  # its close button
    click_in(imp, twips(3000), twips(600) + 52, double=True)  # a line: the file dialog
    pause(2)
    s.shot("import-file-dialog")
    key("Escape")
    s.shot("import-no-file-box")
    key("Return")
    key("alt+F4")

    command(3)
    res = wait_window("نتيجه تست")
    click_in(res, twips(10710 - 1560 - 180 - 2400 - 180 - 600), twips(4275 + 247))  # help
    s.shot("results-help", res)
    click_in(res, twips(10710) - 80, twips(105) + 45, double=True)
    click_in(res, twips(10710 - 780), twips(4275 + 247))  # profile
    preview = wait_window("^KVR$", exclude=[main_window()])
    pause(2)
    _, _, w, _ = client(preview)
    click_in(preview, w - 40, 20)  # print, the first button
    pause(2)
    s.shot("profile-print-dialog")
    key("Escape")
    key("Escape")
    key("Escape")

    command(4)  # settings, each tab
    st = wait_window("تنظيمات")
    s.shot("settings-theme", st)
    key("ctrl+Tab")
    s.shot("settings-clinic", st)
    key("ctrl+Tab")
    s.shot("settings-questions", st)
    key("ctrl+Tab")
    s.shot("settings-location", st)
    key("alt+F4")

    command(5)  # the update check, offline
    up = wait_window("KVR 4")
    s.shot("update", up)
    _, _, w, h = client(up)
    click_in(up, w - 70, h - 25)  # check
    pause(2)
    s.shot("update-offline-box")
    key("Return")
    key("Escape")

    command(6)  # backup
    bk = wait_window("Back up")
    s.shot("backup", bk)
    _, _, w, h = client(bk)
    click_in(bk, w - 30, h - 25)  # help
    s.shot("backup-help", bk)
    click_in(bk, twips(885 + 5535 // 2), twips(30 + 3075) - 22)  # its close button
    click_in(bk, 40, 55)  # "---": the save dialog
    pause(2)
    s.shot("backup-save-dialog")
    key("Return")
    s.shot("backup-path", bk)
    click_in(bk, w - 45, 55)  # BACKUP
    pause(2)
    s.shot("backup-made-box")
    key("Return")
    key("alt+F4")

    command(8)  # about
    ab = wait_window("About KVR")
    s.shot("about", ab)
    key("alt+F4")

    command(7)  # the site, offline
    pause(8)
    s.shot("site")
    key("alt+F4")

    command(9)  # exit: the confirmation over the main window; "no"
    pause(1)
    s.shot("exit-confirmation")
    key("Return")
    pause(2)
    s.shot("main-window-again")


def main():
    args = sys.argv[1:]
    build = os.path.join(ROOT, "build")
    if "--build" in args:
        build = args[args.index("--build") + 1]
    review = "--all" in args
    out = args[args.index("--all") + 1] if review else os.path.join(ROOT, "docs", "screenshots")
    folder = tempfile.mkdtemp(prefix="kvr-shots-")
    try:
        shutil.copytree(os.path.join(build, "bin"), folder, dirs_exist_ok=True)
        for f in ("KVRDB.mdb",):
            os.remove(os.path.join(folder, f))
        # A fresh database from the delivered text, with made-up examinees.
        run("python3", "-c", "import sqlite3,sys; db=sqlite3.connect(sys.argv[1]); "
            "db.executescript(open(sys.argv[2], encoding='utf-8').read()); db.commit()",
            os.path.join(folder, "KVRDB.mdb"), os.path.join(ROOT, "data", "KVRDB.sql"))
        run("python3", os.path.join(HERE, "demo_data.py"), os.path.join(folder, "KVRDB.mdb"))

        s = Shooter(out, scale_small=not review)
        proc = start_program(folder)
        try:
            all_shots(s) if review else readme_shots(s)
        finally:
            stop_program(proc)
        # The main window at 125 % display scaling.
        proc = start_program(folder, "1.25")
        try:
            s.shot("main-window-125", main_window() if review else None)
        finally:
            stop_program(proc)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
