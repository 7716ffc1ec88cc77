#!/usr/bin/env python3
"""Cost and speed of the effect programs under Xvfb, this tree's beside a
baseline's, on a plain desktop and under xcompmgr.

For each of Dotrix, Loupex and Halvix: the pointer moving in a circle for a
phase (about 100 moves a second through the XTEST device, as a mouse moves
it), then still for a phase. Prints the CPU use of each phase (share of one core, from /proc), the
wakeups a second while the pointer is still (voluntary and involuntary
context switches of all the program's threads), and the frames a second the
program painted while the pointer moved, as it counts them itself
(QUORVANT_EFFECT_STATS). For Loupex and Halvix, a window under the pointer
then changes colour a few times: how long until the lens, or the spotlight's
circle and veil, show the new colour (median and worst, in ms), or "stale"
when they never do.

The baseline's effect programs are built from COMMIT in a scratch git
worktree under /tmp, which is removed afterwards.

With --gnome, the effects as GNOME Shell draws them, in a headless GNOME Shell
(tests/support/desktops/gnome.py) over a native Wayland window, with no effect (the
baseline) and with each effect on: the Shell's CPU use and the effect
program's own with the pointer still; the frames a second the Shell painted
while the pointer moved in a circle (about 100 moves a second through mutter's
RemoteDesktop, for --moving seconds; the stage's own frame count, read
through the tests' probe extension); and for the lens how long until a change
of the window shows in it (median and worst, in ms, screenshots polled).

With --wayland, the same in headless sway and KWin sessions
(tests/support/desktops/wayland.py), each effect drawn by the backend its
session chooses: the compositor's CPU use with no effect (the baseline) and
with each effect on, and the effect program's own CPU use and wakeups with
the pointer still; then the frames a second the effect program painted while
the pointer moved in a circle (about 100 moves a second through the
compositor's test input); and on sway, where the lens reads the screen
itself, how long a page turned in the window under it takes to show
(median and worst, in ms, grim's screenshots polled).

    python3 -m bench.effects [--baseline COMMIT] [--phase SECONDS] [BIN_DIR]
    python3 -m bench.effects --gnome [--phase SECONDS] [--moving SECONDS] [BIN_DIR]
    python3 -m bench.effects --wayland [--phase SECONDS] [--moving SECONDS] [BIN_DIR]

run from the repository's root, whose tests/support/desktops it imports.
BIN_DIR holds this tree's programs, by default build/bin beside this folder.
"""

import argparse
import ctypes
import math
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
if not __package__:
    # Run as a file: again, as the module it is, from the root that holds
    # the tests' package.
    os.chdir(os.path.dirname(HERE))
    os.execv(sys.executable, [sys.executable, "-m", "bench.effects"] + sys.argv[1:])

from tests.support.desktops import Desktop, gnome  # noqa: E402
from tests.support.desktops import wait_until as wait_for  # noqa: E402
from tests.support.desktops.x11 import X11  # noqa: E402

PROGRAMS = ("Dotrix", "Loupex", "Halvix")
WIDTH, HEIGHT = 1280, 800
MOVE_INTERVAL_S = 0.01
CHANGES = 6  # colour changes timed per effect
SHOW_DEADLINE_S = 2.0
COLOURS = ((200, 40, 40), (40, 40, 200))
VEIL_ALPHA = 102
SPOT_RADIUS = 30  # level 0, as the segment holds when no program wrote it
LENS_LEVEL_0 = 120


class PixelX11(X11):
    """Reads single pixels straight from the server, far quicker than a
    screenshot, to time how soon a change shows."""

    class Image(ctypes.Structure):
        _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                    ("format", ctypes.c_int), ("data", ctypes.c_void_p)]

    def __init__(self, display):
        super().__init__(display)
        p, window, i, u = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        self.x11.XGetImage.restype = ctypes.POINTER(PixelX11.Image)
        self.x11.XGetImage.argtypes = [p, window, i, i, u, u, window, i]
        self.x11.XFree.restype, self.x11.XFree.argtypes = i, [p]

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.connection, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        blue, green, red = ctypes.string_at(image.contents.data, 3)
        self.x11.XFree(image.contents.data)
        self.x11.XFree(image)
        return red, green, blue


def wait_until(predicate, timeout, what):
    try:
        wait_for(predicate, timeout, message=what)
    except AssertionError as error:
        raise SystemExit(str(error)) from None


class Screen:
    """A display of the tests' own, with xcompmgr when asked, and a window over most of it."""

    def __init__(self, compositor):
        self.desktop = Desktop(WIDTH, HEIGHT, tray=False).start()
        self.display, tmp = self.desktop.display, self.desktop.folder
        self.env = dict(self.desktop.env(), QT_QPA_PLATFORM="xcb", TMPDIR=tmp, XDG_RUNTIME_DIR=tmp,
                        QUORVANT_EFFECT_STATS="1")
        if compositor:
            self.desktop.run_beside(["xcompmgr"])
            # It names the window with which it takes the compositing selection.
            wait_until(lambda: self.xdotool("search", "--name", "^xcompmgr$"), 30, "xcompmgr")
        self.x = PixelX11(self.display)
        self.slide = self.x.window(40, 40, WIDTH - 80, HEIGHT - 80)
        self.x.paint(self.slide, COLOURS[0])

    def xdotool(self, *args):
        found = self.desktop.xdotool(*args)
        return found.returncode == 0 and found.stdout.strip() != ""

    def close(self):
        self.x.close()
        self.desktop.stop()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, fields 14 and 15 of the line
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def context_switches(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as status:
                total += sum(int(line.split()[1]) for line in status
                             if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
        except OSError:
            pass  # a thread that ended meanwhile
    return total


def circle(x11, phase_s):
    """The pointer around a circle of radius 250 in the middle, 200 moves a
    turn, on a connection of its own."""
    begin = time.monotonic()
    for i in range(int(phase_s / MOVE_INTERVAL_S)):
        angle = 2 * math.pi * i / 200
        x11.move_pointer(int(WIDTH / 2 + 250 * math.cos(angle)), int(HEIGHT / 2 + 250 * math.sin(angle)))
        time.sleep(max(0.0, begin + (i + 1) * MOVE_INTERVAL_S - time.monotonic()))
    x11.close()


def start(desktop, bin_dir, name):
    program = subprocess.Popen([os.path.join(bin_dir, name)], env=desktop.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    wait_until(lambda: desktop.xdotool("search", "--onlyvisible", "--name", "^%s$" % name), 30, name + "'s window")
    return program


def stop(program, name):
    program.send_signal(signal.SIGTERM)
    _, err = program.communicate(timeout=30)
    stats = re.search(rb"frames=(\d+) span_ms=(\d+) fps=([\d.]+)", err)
    if not stats:
        raise SystemExit("%s printed no frame count: %s" % (name, err.decode(errors="replace")))
    return float(stats[3])


def costs(desktop, bin_dir, name, phase_s):
    """(CPU % still, wakeups/s still, CPU % moving, frames/s moving)"""
    # Moving from before the start, so that the frames the program counts
    # are all of the pointer moving.
    desktop.x.move_pointer(WIDTH // 2 + 250, HEIGHT // 2)
    mover = threading.Thread(target=circle, args=(X11(desktop.display), phase_s))
    mover.start()
    program = start(desktop, bin_dir, name)

    begin_cpu, begin = cpu_seconds(program.pid), time.monotonic()
    mover.join()
    moving_cpu = (cpu_seconds(program.pid) - begin_cpu) / (time.monotonic() - begin)

    time.sleep(0.5)  # the last frames of the move
    begin_cpu, begin_switches, begin = cpu_seconds(program.pid), context_switches(program.pid), time.monotonic()
    time.sleep(phase_s)
    elapsed = time.monotonic() - begin
    still_cpu = (cpu_seconds(program.pid) - begin_cpu) / elapsed
    wakeups = (context_switches(program.pid) - begin_switches) / elapsed
    return still_cpu * 100, wakeups, moving_cpu * 100, stop(program, name)


def close(a, b, tolerance=12):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def dimmed(rgb):
    return tuple((v * (255 - VEIL_ALPHA) + 127) // 255 for v in rgb)


def change_shown(desktop, bin_dir, name):
    """Milliseconds from each change of the window under the pointer until the
    effect shows it, None for a change it never showed."""
    px, py = WIDTH // 2, HEIGHT // 2
    desktop.x.move_pointer(px, py)
    desktop.x.paint(desktop.slide, COLOURS[0])
    program = start(desktop, bin_dir, name)
    if name == "Loupex":
        shows = lambda colour: close(desktop.x.pixel(px + 10, py + 5), colour)
    else:
        shows = lambda colour: close(desktop.x.pixel(px + 10, py + 5), colour) and \
            close(desktop.x.pixel(px + SPOT_RADIUS + 30, py), dimmed(colour))
    wait_until(lambda: shows(COLOURS[0]), 30, name + " over the window")
    time.sleep(0.5)

    delays = []
    for i in range(CHANGES):
        colour = COLOURS[(i + 1) % 2]
        desktop.x.paint(desktop.slide, colour)
        begin = time.monotonic()
        while not shows(colour) and time.monotonic() - begin < SHOW_DEADLINE_S:
            time.sleep(0.002)
        delay = time.monotonic() - begin
        delays.append(delay * 1000 if delay < SHOW_DEADLINE_S else None)
        time.sleep(0.3)
    stop(program, name)
    return delays


def measure(bin_dir, compositor, phase_s):
    desktop = Screen(compositor)
    try:
        results = {}
        for name in PROGRAMS:
            results[name] = costs(desktop, bin_dir, name, phase_s)
            if name != "Dotrix":
                results[name] += (change_shown(desktop, bin_dir, name),)
        return results
    finally:
        desktop.close()


def build_baseline(commit, folder):
    repo = subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "rev-parse", "--show-toplevel"],
                          check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
    tree = os.path.join(folder, "tree")
    subprocess.run(["git", "-C", repo, "worktree", "add", "--detach", tree, commit], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        build = os.path.join(folder, "build")
        subprocess.run(["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        "-DQUORVANT_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "-j2", "--target", *PROGRAMS], check=True,
                       stdout=subprocess.DEVNULL)
        return os.path.join(build, "bin")
    finally:
        subprocess.run(["git", "-C", repo, "worktree", "remove", "--force", tree], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def delays_text(delays):
    if delays is None:
        return ""
    if any(d is None for d in delays):
        return "stale"
    return "%.0f/%.0f" % (statistics.median(delays), max(delays))


def gnome_moving(session, moving_s):
    """(frames/s the Shell painted, pointer moves/s) with the pointer going
    around a circle of radius 200 in the middle, 200 moves a turn, then back
    where it was."""
    home = session.pointer()
    cx, cy = gnome.WIDTH // 2, gnome.HEIGHT // 2
    session.move_pointer(cx + 200, cy)
    x, y = cx + 200, cy
    frames = session.probe("Frames")[0]
    begin = time.monotonic()
    moves = 0
    while time.monotonic() - begin < moving_s:
        if moves % 20 == 0:
            # Relative moves are accelerated: steer from where it really is.
            x, y = session.pointer()
        moves += 1
        angle = 2 * math.pi * moves / 200
        tx, ty = round(cx + 200 * math.cos(angle)), round(cy + 200 * math.sin(angle))
        session._remote("NotifyPointerMotionRelative", "dd", float(tx - x), float(ty - y))
        x, y = tx, ty
        time.sleep(max(0.0, begin + moves * MOVE_INTERVAL_S - time.monotonic()))
    elapsed = time.monotonic() - begin
    painted = session.probe("Frames")[0] - frames
    session.move_pointer(*home)
    return painted / elapsed, moves / elapsed


def gnome_figures(bin_dir, phase_s, moving_s):
    from tests.e2e.test_gnome import lens_at

    session = gnome.GnomeSession().start()
    try:
        slide = session.slide("Slides (Wayland)", 1, 100, 100, 500, 400)
        session.move_pointer(300, 300)
        shell = session.shell_pid()

        def share(pids):
            before = [cpu_seconds(pid) for pid in pids]
            time.sleep(phase_s)
            return [100 * (cpu_seconds(pid) - b) / phase_s for pid, b in zip(pids, before)]

        rates = []
        rows = [("no effect", share([shell])[0], None, None)]
        rates.append(gnome_moving(session, moving_s))
        for name in PROGRAMS:
            program = subprocess.Popen([os.path.join(bin_dir, name)], env=session.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(2)  # up and drawn
            shell_share, own_share = share([shell, program.pid])
            rates.append(gnome_moving(session, moving_s))
            delays = None
            if name == "Loupex":
                delays, phase = [], 0
                for _ in range(CHANGES):
                    phase ^= 1
                    begin = time.monotonic()
                    slide.turn()
                    wait_until(lambda: lens_at(session.screenshot(180, 180, 240, 240), 300, 300, LENS_LEVEL_0, phase),
                               SHOW_DEADLINE_S * 5, "the lens to change")
                    delays.append(1000 * (time.monotonic() - begin))
            program.terminate()
            program.wait()
            rows.append((name, shell_share, own_share, delays))
    finally:
        session.stop()

    print("GNOME Shell %s, headless %dx%d; CPU as a share of one core, pointer still for %.0f s; "
          "frames/s painted while the pointer moved for %.0f s, %.0f moves/s" % (
              subprocess.run(["gnome-shell", "--version"], stdout=subprocess.PIPE, text=True).stdout.split()[-1],
              gnome.WIDTH, gnome.HEIGHT, phase_s, moving_s,
              statistics.mean(r[1] for r in rates)))
    print("%-12s %16s %20s %20s %24s" % ("", "GNOME Shell CPU %", "effect program CPU %", "Shell frames/s moving",
                                         "lens change shown, ms"))
    for (name, shell_share, own_share, delays), (fps, _) in zip(rows, rates):
        print("%-12s %16.2f %20s %20.1f %24s" % (name, shell_share, "" if own_share is None else "%.2f" % own_share,
                                                 fps, delays_text(delays) if delays else ""))


def wayland_circle(session, moving_s):
    """Pointer moves a second, going around a circle of radius 200 in the
    middle, 200 moves a turn, through the compositor's own test input."""
    begin, moves = time.monotonic(), 0
    while time.monotonic() - begin < moving_s:
        angle = 2 * math.pi * moves / 200
        session.move_pointer(round(session.width / 2 + 200 * math.cos(angle)),
                             round(session.height / 2 + 200 * math.sin(angle)))
        moves += 1
        time.sleep(max(0.0, begin + moves * MOVE_INTERVAL_S - time.monotonic()))
    return moves / (time.monotonic() - begin)


def wayland_lens_changes(session):
    """Milliseconds from each page turn of the native window under the lens
    until a screenshot shows the new page enlarged; screenshots take tens of
    milliseconds each, which the figures include."""
    from tests.support.desktops import wayland
    x, y = wayland.PLACES[0][0] + 150, wayland.PLACES[0][1] + 200
    session.move_pointer(x, y)
    enlarged = lambda image, page: wayland.enlarged(image, x, y, page, offsets=(-20, 20))
    wait_until(lambda: enlarged(session.image(), session.page()), SHOW_DEADLINE_S * 5, "the lens over the native window")
    delays = []
    for _ in range(CHANGES):
        turned = 1 - session.page()
        begin = time.monotonic()
        session.key_n()
        wait_until(lambda: enlarged(session.image(), turned), SHOW_DEADLINE_S * 5, "the lens to show the next page")
        delays.append(1000 * (time.monotonic() - begin))
        time.sleep(0.3)
    return delays


def wayland_figures(bin_dir, phase_s, moving_s):
    from tests.support.desktops import wayland

    for kind in (wayland.Sway, wayland.KWin):
        session = kind().start()
        runtime = tempfile.mkdtemp(prefix="quorvant-bench-")
        try:
            session.place_windows()
            session.move_pointer(session.width // 2, session.height // 2)
            compositor = session._processes[0].pid
            env = dict(session.env(), XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=session.config_home,
                       QUORVANT_EFFECT_STATS="1")
            before = cpu_seconds(compositor)
            time.sleep(phase_s)
            rows = [("no effect", 100 * (cpu_seconds(compositor) - before) / phase_s, None, None, None, None)]
            rates = []
            for name in PROGRAMS:
                program = subprocess.Popen([os.path.join(bin_dir, name)], env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.PIPE)
                time.sleep(2)  # up and drawn
                # Moving first, so that the frames it counts are all of the pointer moving.
                rates.append(wayland_circle(session, moving_s))
                session.move_pointer(session.width // 2, session.height // 2)
                time.sleep(0.5)  # the last frames of the move
                cpu, own, switches = cpu_seconds(compositor), cpu_seconds(program.pid), context_switches(program.pid)
                time.sleep(phase_s)
                row = (name, 100 * (cpu_seconds(compositor) - cpu) / phase_s,
                       100 * (cpu_seconds(program.pid) - own) / phase_s,
                       (context_switches(program.pid) - switches) / phase_s)
                program.send_signal(signal.SIGTERM)
                _, err = program.communicate(timeout=30)
                stats = re.search(rb"fps=([\d.]+)", err)
                delays = None
                if name == "Loupex" and kind is wayland.Sway:
                    # Again, so that the frames counted above are all of the pointer moving.
                    # KWin's lens is KWin's own zoom; sway's reads the screen.
                    program = subprocess.Popen([os.path.join(bin_dir, name)], env=env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                    delays = wayland_lens_changes(session)
                    program.send_signal(signal.SIGTERM)
                    program.wait(timeout=30)
                rows.append(row + (float(stats[1]) if stats else None, delays))
        finally:
            session.stop()
            shutil.rmtree(runtime, ignore_errors=True)

        print("%s, headless %dx%d; CPU as a share of one core, pointer still for %.0f s; frames/s the effect "
              "program painted while the pointer moved for %.0f s, %.0f moves/s" % (
                  session.name, session.width, session.height, phase_s, moving_s, statistics.mean(rates)))
        print("%-12s %16s %14s %18s %20s %24s" % ("", "compositor CPU %", "effect CPU %", "effect wakeups/s",
                                                  "effect frames/s", "lens change shown, ms"))
        for name, shared, own, wakeups, fps, delays in rows:
            print("%-12s %16.2f %14s %18s %20s %24s" % (name, shared, "" if own is None else "%.2f" % own,
                                                        "" if wakeups is None else "%.1f" % wakeups,
                                                        "-" if fps is None and own is not None else
                                                        "" if fps is None else "%.1f" % fps,
                                                        delays_text(delays) if delays else ""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("bin_dir", nargs="?", default=os.path.join(here, "..", "build", "bin"))
    parser.add_argument("--baseline", default="982ec5c", help="commit to compare with (default 982ec5c)")
    parser.add_argument("--phase", type=float, default=10.0, help="seconds moving, then still (default 10)")
    parser.add_argument("--gnome", action="store_true", help="the effects in a headless GNOME Shell")
    parser.add_argument("--wayland", action="store_true", help="the effects in headless sway and KWin sessions")
    parser.add_argument("--moving", type=float, default=5.0,
                        help="with --gnome or --wayland, seconds the pointer moves (default 5)")
    args = parser.parse_args()
    if args.gnome:
        gnome_figures(os.path.abspath(args.bin_dir), args.phase, args.moving)
        return
    if args.wayland:
        wayland_figures(os.path.abspath(args.bin_dir), args.phase, args.moving)
        return
    for tool in ("Xvfb", "xdotool", "xcompmgr", "git", "cmake"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is missing")

    scratch = tempfile.mkdtemp(prefix="quorvant-baseline-")
    try:
        print("building the baseline %s..." % args.baseline, file=sys.stderr)
        versions = (("baseline", build_baseline(args.baseline, scratch)), ("new", os.path.abspath(args.bin_dir)))
        results = {}
        for compositor in (False, True):
            for version, bin_dir in versions:
                print("measuring %s%s..." % (version, " under xcompmgr" if compositor else ""), file=sys.stderr)
                results[compositor, version] = measure(bin_dir, compositor, args.phase)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    rows = (("CPU %, pointer still", 0, "%.1f"), ("wakeups/s, pointer still", 1, "%.0f"),
            ("CPU %, pointer moving", 2, "%.1f"), ("frames/s, pointer moving", 3, "%.1f"),
            ("change shown after, ms", 4, None))
    print("Xvfb %dx%d; %.0f s pointer moving, then %.0f s still; CPU as a share of one core; "
          "a change shown after: median/worst of %d" % (WIDTH, HEIGHT, args.phase, args.phase, CHANGES))
    print("%-34s %21s %21s" % ("", "no compositor", "xcompmgr"))
    print("%-34s %10s %10s %10s %10s" % ("", "baseline", "new", "baseline", "new"))
    for name in PROGRAMS:
        for label, index, form in rows:
            cells = []
            for compositor in (False, True):
                for version in ("baseline", "new"):
                    values = results[compositor, version][name]
                    if index >= len(values):
                        cells.append("")
                    else:
                        cells.append(delays_text(values[index]) if form is None else form % values[index])
            if any(cells):
                print("%-34s %10s %10s %10s %10s" % ("%-7s %s" % (name, label), *cells))


if __name__ == "__main__":
    main()
