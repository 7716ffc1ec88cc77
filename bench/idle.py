#!/usr/bin/python3
"""What the program costs while it waits, and how fast it answers, next to an
older commit's figures from the same run.

Runs the real program under Xvfb with a tray host, installed in a private
folder with a private home, against the simulated receiver where one is
needed, and watches it only from outside: CPU time and context switches of
all its threads from /proc, resident memory from /proc, the tray icon from the
X server's pixels, the magnifier's size from its shared-memory segment, and
whether the GUI thread answers from the X server (_NET_WM_PING, bench/wmping.py).
The desktop, the installation and the receiver are the end-to-end tests' own
(tests/support/desktops), imported as a package from the repository's root.

The older commit is checked out into a scratch worktree under /tmp and built
there (RelWithDebInfo, its own build folder); both are removed at the end.
This tree's figures come from its build/bin, built first when a program is
missing. Each build runs with its own simulated receiver.

    python3 -m bench.idle [--baseline REV]      default: 5e39504

Needs the packages of scripts/deps.sh --test; takes about five minutes.
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PYTHON = sys.executable
try:
    from Xlib import X, display
except ImportError:
    # Debian's python3-xlib is for Debian's interpreter; another python3 may
    # come first on PATH.
    if os.path.realpath(sys.executable) == os.path.realpath("/usr/bin/python3"):
        raise SystemExit("python3-xlib is missing: run scripts/deps.sh --test")
    PYTHON = "/usr/bin/python3"
if not __package__ or PYTHON != sys.executable:
    # Run as a file, or by an interpreter without Xlib: again, as the module
    # it is, from the root that holds the tests' package.
    os.chdir(ROOT)
    os.execv(PYTHON, [PYTHON, "-m", "bench.idle"] + sys.argv[1:])

from tests.support.desktops import Desktop, end, icon_state, processes_named, read as read_text  # noqa: E402
from tests.support.desktops import wait_until as wait_for  # noqa: E402
from tests.support.desktops.pen import SimPen  # noqa: E402
from tests.support.desktops.program import SEGMENTS, Program, install_app, read_segment, segment_tool  # noqa: E402

DEFAULT_BASELINE = "5e39504"
# What a run needs of a build; the rest of the tree is not built for it.
TARGETS = ("quorvant", "quorvant_data", "quorvant-pen", "quorvant-hidsim", "Loupex")
NEEDED_FILES = ("quorvant", "data", "quorvant-pen", "libquorvant-hidsim.so", "Loupex")

IDLE_WINDOW_S = 5.0
IDLE_WINDOWS = 3
SETTLE_S = 2.0
STARTS = 7
SIZE_REPORTS = 10
PLUG_CYCLES = 5
EFFECT_S = 10.0
STOP_S = 0.2
PING_MS = 10
DEADLINE_S = 15.0
READ_BACK = b"\0\x70\x70"
TRAY_STRIP = 160  # the tray host grows leftwards from the top right corner

# (key, what, format, goal), in the order printed.
ROWS = (
    ("idle_none_cpu", "idle, no receiver (real hidapi): CPU, % of one core", "%.2f", "<= 0.2"),
    ("idle_none_wake", "idle, no receiver (real hidapi): wakeups/s", "%.1f", "<= 10"),
    ("idle_pen_cpu", "idle, receiver present and silent: CPU, %", "%.2f", "<= 0.5"),
    ("idle_pen_wake", "idle, receiver present and silent: wakeups/s", "%.1f", "<= 20"),
    ("idle_shown_cpu", "idle after the main window was shown once: CPU, %", "%.2f", "<= 0.5"),
    ("idle_shown_wake", "idle after the main window was shown once: wakeups/s", "%.1f", "<= 20"),
    ("rss_start", "resident memory at start, MiB", "%.1f", ""),
    ("rss_notice", "resident memory after the first mode notice, MiB", "%.1f", ""),
    ("rss_all", "resident memory, every window shown once, MiB", "%.1f", "<= 45"),
    ("segment_ms", "mode report to the size in the segment, median ms", "%.2f", "<= 5"),
    ("close_ms", "unplug to handle closed, median ms", "%.1f", "<= 250"),
    ("read_back_ms", "plug-in to read-back request, median ms", "%.0f", "<= 1000"),
    ("blocked_ms", "GUI thread blocked (plugging, modes), longest ms", "%.0f", "<= 50"),
    ("probe_ms", "  probe check: SIGSTOP for %.0f ms seen as, ms" % (STOP_S * 1000), "%.0f", "~%.0f" % (STOP_S * 1000)),
    ("tray_ms", "start to tray icon drawn, no receiver, median ms", "%.0f", "<= 300"),
    (("effect_cpu", "effect_wake"), "Loupex, pointer still: CPU, % / wakeups/s", "%.2f / %.0f", "<= 1 (CPU)"),
)


class Failed(Exception):
    pass


def wait_until(predicate, what, timeout=DEADLINE_S, interval=0.01):
    try:
        return wait_for(predicate, timeout, interval, message=what)
    except AssertionError as timeout_error:
        raise Failed(str(timeout_error)) from None


def quiet(*args, **kwargs):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          **kwargs)


# --- Builds ---

def git(*args):
    return subprocess.run(["git", "-C", ROOT, *args], stdin=subprocess.DEVNULL, check=True, text=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout.strip()


def build(source, build_dir, log, *configure):
    env = dict(os.environ, QUORVANT_BUILD_DIR=build_dir, QUORVANT_TARGETS=" ".join(TARGETS),
               CMAKE_BUILD_TYPE="RelWithDebInfo")
    with open(log, "wb") as out:
        done = subprocess.run([os.path.join(source, "scripts", "build"), *configure], env=env,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        with open(log, errors="replace") as out:
            sys.stderr.write("".join(out.readlines()[-30:]))
        raise SystemExit("the build of %s failed" % source)


class Baseline:
    """A commit checked out and built under /tmp, gone again at the end."""

    def __init__(self, rev):
        try:
            self.rev = git("rev-parse", "--short", rev + "^{commit}")
        except subprocess.CalledProcessError:
            raise SystemExit("no commit %s in this repository" % rev) from None
        self.folder = tempfile.mkdtemp(prefix="quorvant-baseline-")
        self.tree = os.path.join(self.folder, "tree")
        self.bin_dir = os.path.join(self.folder, "build", "bin")

    def __enter__(self):
        git("worktree", "add", "--detach", self.tree, self.rev)
        started = time.monotonic()
        # Its tests are never built here: no need to configure them.
        build(self.tree, os.path.join(self.folder, "build"), os.path.join(self.folder, "build.log"),
              "-DQUORVANT_BUILD_TESTS=OFF")
        note("built %s in %.0f s" % (self.rev, time.monotonic() - started))
        return self

    def __exit__(self, *exc):
        if os.path.isdir(self.tree):
            subprocess.run(["git", "-C", ROOT, "worktree", "remove", "--force", self.tree], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.folder, ignore_errors=True)
        quiet("git", "-C", ROOT, "worktree", "prune")


def this_tree():
    bin_dir = os.path.join(ROOT, "build", "bin")
    if not all(os.path.exists(os.path.join(bin_dir, name)) for name in NEEDED_FILES):
        note("building this tree into build/")
        log = tempfile.NamedTemporaryFile(prefix="quorvant-build-", suffix=".log", delete=False).name
        try:
            build(ROOT, os.path.join(ROOT, "build"), log)
        finally:
            os.unlink(log)
    label = git("rev-parse", "--short", "HEAD")
    if git("status", "--porcelain", "--untracked-files=no"):
        label += "+changes"
    return label, bin_dir


def spread(what, samples_ms):
    note("%s: %s ms" % (what, " ".join("%.1f" % s for s in sorted(samples_ms))))


def note(text):
    sys.stderr.write("idle.py: %s\n" % text)
    sys.stderr.flush()


# --- What /proc tells ---

def read(path):
    with open(path) as f:
        return f.read()


def thread_counters(pid):
    """{tid: (ns on a CPU, context switches, name)} for every thread of pid."""
    counters = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        base = "/proc/%d/task/%s/" % (pid, tid)
        try:
            run_ns = int(read(base + "schedstat").split()[0])
            status = dict(line.split(":", 1) for line in read(base + "status").splitlines() if ":" in line)
            switches = int(status["voluntary_ctxt_switches"]) + int(status["nonvoluntary_ctxt_switches"])
        except (OSError, KeyError, ValueError, IndexError):
            continue  # ended meanwhile
        # Threads take the program's name unless they were given one.
        name = "GUI thread" if int(tid) == pid else "%s %s" % (status["Name"].strip(), tid)
        counters[tid] = (run_ns, switches, name)
    return counters


def idle_cost(pid, seconds):
    """(% of one core, wakeups/s, {thread name: wakeups/s}) of all pid's
    threads over seconds. A thread born meanwhile counts whole; one that ended
    meanwhile is lost."""
    before, begin = thread_counters(pid), time.monotonic()
    time.sleep(seconds)
    after, span = thread_counters(pid), time.monotonic() - begin
    run_ns = switches = 0
    by_name = {}
    for tid, (now_ns, now_switches, name) in after.items():
        then_ns, then_switches, _ = before.get(tid, (0, 0, name))
        run_ns += now_ns - then_ns
        switches += now_switches - then_switches
        by_name[name] = by_name.get(name, 0) + (now_switches - then_switches) / span
    return 100.0 * run_ns / 1e9 / span, switches / span, by_name


def idle_median(pid, what):
    """Medians over IDLE_WINDOWS windows; which threads wake, on stderr."""
    samples = [idle_cost(pid, IDLE_WINDOW_S) for _ in range(IDLE_WINDOWS)]
    by_name = samples[-1][2]
    note("%s, wakeups/s by thread in the last window: %s" % (what, ", ".join(
        "%s %.1f" % (name, rate) for name, rate in sorted(by_name.items(), key=lambda item: -item[1]) if rate >= 0.1)))
    return statistics.median(s[0] for s in samples), statistics.median(s[1] for s in samples)


def rss_mib(pid):
    for line in read("/proc/%d/status" % pid).splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024.0
    raise Failed("no VmRSS for %d" % pid)


# --- What the X server tells ---

class Screen:
    """A desktop with a tray host, and a connection to its X server."""

    def __init__(self):
        self.desktop = Desktop()
        try:
            self.desktop.start()
        except BaseException:
            self.desktop.stop()
            raise
        self.x = display.Display(self.desktop.display)
        self.root = self.x.screen().root
        self.width = self.desktop.width

    def close(self):
        self.x.close()
        self.desktop.stop()

    def tray_icon(self):
        """"present" (green dot), "absent" (red cross) or None, from the tray's
        pixels as the tests tell them."""
        image = self.root.get_image(self.width - TRAY_STRIP, 0, TRAY_STRIP, 32, X.ZPixmap, 0xFFFFFFFF).data
        return icon_state(image[2::4], image[1::4], image[0::4])  # blue, green, red, then a pad byte

    def program_windows(self):
        """The program's viewable windows: (id, width, height)."""
        found = []

        def walk(window):
            for child in window.query_tree().children:
                try:
                    wm_class = child.get_wm_class()
                    viewable = child.get_attributes().map_state == X.IsViewable
                    geometry = child.get_geometry()
                except Exception:  # gone meanwhile
                    continue
                if wm_class and wm_class[0] == "quorvant" and viewable:
                    found.append((child.id, geometry.width, geometry.height))
                walk(child)

        walk(self.root)
        return found

    def tray_window(self):
        """The tray icon's own window, embedded in the tray host: (id, width, height)."""
        small = [w for w in self.program_windows() if w[1] <= 64 and w[2] <= 64]
        return small[0] if small else None

    def origin(self, window):
        """Where a window's top left corner is on the screen."""
        at = self.root.translate_coords(self.x.create_resource_object("window", window), 0, 0)
        return at.x, at.y

    def visible(self, title):
        return self.desktop.visible_windows("^%s$" % title)


# --- The program ---

class OwnProgram(Program):
    def stop(self):
        super().stop()
        if self.process:
            shutil.rmtree(os.path.dirname(self._err), ignore_errors=True)
        shutil.rmtree(self.home["HOME"], ignore_errors=True)


class Session:
    """One installation of a build, its runtime folder for the segments' keys, and
    optionally a simulated receiver; everything gone on close."""

    def __init__(self, bin_dir, screen, pen=False, verbose_pen=False, stand_ins=True):
        self.screen, self.program, self.pen, self.watches = screen, None, None, []
        self.app = install_app(bin_dir, effects=False, stand_ins=stand_ins)
        self.ipc_dir = tempfile.mkdtemp(prefix="quorvant-ipc-")
        try:
            self.pen = SimPen(bin_dir, verbose=verbose_pen).start() if pen else None
        except BaseException:
            self.close()
            raise

    def start(self, isolated=True):
        """Isolated, it finds and stops by name only the stand-ins it started."""
        self.isolated = isolated
        self.program = OwnProgram(self.app, self.screen.desktop, self.pen, env={"TMPDIR": self.ipc_dir, "XDG_RUNTIME_DIR": self.ipc_dir},
                               isolated=isolated)
        if not self.pen:
            self.program.extra_env["LD_PRELOAD"] = ""
        self.program.start()
        return self.program

    def pid(self):
        return self.program.program_pid() if self.isolated else self.program.process.pid

    def settle(self, icon):
        wait_until(lambda: self.screen.tray_icon() == icon, "%s tray icon" % icon)
        time.sleep(SETTLE_S)

    def segment(self, key):
        """A watch on key's segment, in the private folder of the runtime folder."""
        wait_until(lambda: read_segment(key, self.ipc_dir) is not None, "segment %s" % key)
        self.watches.append(SegmentWatch(key, self.ipc_dir))
        return self.watches[-1]

    def running(self, name):
        return [pid for pid in processes_named(name) if self.app + "/" in read_text("/proc/%d/cmdline" % pid)]

    def close(self):
        # Let go first: Qt removes a segment only when nobody else holds it.
        for watch in self.watches:
            end(watch.tool)
        if self.program:
            self.program.stop()
        for name in SEGMENTS:
            for pid in self.running(name):
                os.kill(pid, signal.SIGKILL)
        if self.pen:
            self.pen.stop()
        remove_all_segments(self.ipc_dir)
        shutil.rmtree(self.app, ignore_errors=True)


class SegmentWatch:
    """The levels a segment comes to hold, as quorvant-segment watch tells
    them, each with the time it was told."""

    def __init__(self, key, runtime):
        self.tool = segment_tool("watch", key, runtime, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if self.tool.stdout.readline() != "ready\n":
            raise Failed("segment %s cannot be had" % key)
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.tool.stdout:
            self.seen.append((time.monotonic(), int(line)))

    def level(self):
        return self.seen[-1][1] if self.seen else None


def system_key(path):
    """The System V key Qt derives from a key file, ftok(file, 'Q'): how a
    baseline from before the segments were mapped files keyed them."""
    info = os.stat(path)
    return (ord("Q") << 24) | ((info.st_dev & 0xFF) << 16) | (info.st_ino & 0xFFFF)


def remove_all_segments(ipc_dir):
    """Segments and semaphores a baseline keyed by files in ipc_dir or its
    private folder, then the folder."""
    private = os.path.join(ipc_dir, "quorvant")
    for folder in (ipc_dir, private) if os.path.isdir(private) else (ipc_dir,):
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if name.startswith("qipc_"):
                quiet("ipcrm", "-M" if name.startswith("qipc_sharedmemory_") else "-S", "0x%08x" % system_key(path))
            elif folder == private and name not in ("instance", "instance.lock"):
                quiet("ipcrm", "-M", "0x%08x" % system_key(path))
    shutil.rmtree(ipc_dir, ignore_errors=True)


# --- Measures: each fills part of one column ---

def measure_start_to_tray(bin_dir, screen, figures):
    """No receiver, real hidapi: exec to the red icon in the tray, STARTS times."""
    samples = []
    for _ in range(STARTS):
        session = Session(bin_dir, screen, stand_ins=False)
        try:
            wait_until(lambda: screen.tray_icon() is None, "empty tray")
            begin = time.monotonic()
            session.start(isolated=False)
            wait_until(lambda: screen.tray_icon() == "absent", "tray icon", interval=0.001)
            samples.append((time.monotonic() - begin) * 1000)
        finally:
            session.close()
    figures["tray_ms"] = statistics.median(samples)
    spread("start to tray icon", samples)


def measure_idle_without_receiver(bin_dir, screen, figures):
    session = Session(bin_dir, screen)
    try:
        session.start()
        session.settle("absent")
        figures["idle_none_cpu"], figures["idle_none_wake"] = idle_median(session.pid(), "no receiver")
    finally:
        session.close()


def measure_idle_with_receiver(bin_dir, screen, figures):
    """Receiver present and silent; then a mode notice, the main window brought
    up by a second copy and hidden with Escape, the navigation window."""
    session = Session(bin_dir, screen, pen=True)
    try:
        program = session.start()
        session.settle("present")
        pid = session.pid()
        figures["rss_start"] = rss_mib(pid)
        figures["idle_pen_cpu"], figures["idle_pen_wake"] = idle_median(pid, "receiver present")

        session.pen.notice("magnifier")
        wait_until(lambda: screen.visible("Dialog"), "mode notice")
        wait_until(lambda: not screen.visible("Dialog"), "mode notice to go", timeout=10)
        time.sleep(0.5)
        figures["rss_notice"] = rss_mib(pid)

        if program.run_second_copy()[0] != 0:
            raise Failed("the second copy failed")
        window = wait_until(lambda: screen.visible("Widget"), "main window")[0]
        screen.desktop.xdotool("windowactivate", "--sync", window)
        screen.desktop.xdotool("key", "--window", window, "Escape")
        wait_until(lambda: not screen.visible("Widget"), "main window to hide")
        # The balloon that says where the window went stays ten seconds.
        time.sleep(1)
        wait_until(lambda: not screen.desktop.windows_of_type("TOOLTIP"), "balloon to go", timeout=30, interval=0.5)
        time.sleep(1)
        figures["idle_shown_cpu"], figures["idle_shown_wake"] = idle_median(pid, "after the window")

        icon, width, height = wait_until(screen.tray_window, "tray icon window")
        x, y = screen.origin(icon)
        screen.desktop.xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")
        wait_until(lambda: screen.visible("功能导航"), "navigation window")
        time.sleep(1)
        figures["rss_all"] = rss_mib(pid)
    finally:
        session.close()


def measure_responses(bin_dir, screen, figures):
    """Mode reports, mode switches and plugging with the stand-ins, while the
    GUI thread is pinged through the X server."""
    session = Session(bin_dir, screen, pen=True, verbose_pen=True)
    probe = None
    try:
        pen = session.pen
        session.start()
        wait_until(lambda: any(s.startswith(READ_BACK) for s in pen.sent()), "read-back request")
        session.settle("present")
        pid = session.pid()
        magnifier = session.segment("Magnifier_shared")

        icon = wait_until(screen.tray_window, "tray icon window")[0]
        probe = subprocess.Popen([sys.executable, os.path.join(HERE, "wmping.py"), screen.desktop.display, str(icon),
                                  str(PING_MS)], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        time.sleep(0.5)
        stop_begin = time.monotonic()
        os.kill(pid, signal.SIGSTOP)
        try:
            time.sleep(STOP_S)
        finally:
            os.kill(pid, signal.SIGCONT)
        time.sleep(0.5)
        work_begin = time.monotonic()

        pen.mode("magnifier", 1)
        wait_until(lambda: session.running("Loupex") and magnifier.level() == 1, "magnifier at 1")
        samples = []
        for level in range(2, 2 + SIZE_REPORTS):
            begin = time.monotonic()
            pen.mode("magnifier", level)
            held = wait_until(lambda: next((t for t, seen in magnifier.seen if seen == level and t >= begin), None),
                              "the segment to hold %d" % level, interval=0.001)
            samples.append((held - begin) * 1000)
            time.sleep(0.05)
        figures["segment_ms"] = statistics.median(samples)
        spread("mode report to segment", samples)

        for mode, program in (("laser", "Dotrix"), ("spotlight", "Halvix"), ("magnifier", "Loupex")) * 2:
            pen.mode(mode, 3)
            others = set(SEGMENTS) - {program}
            wait_until(lambda: session.running(program) and not any(session.running(o) for o in others),
                       "%s alone" % program)
            time.sleep(0.1)

        closes, read_backs = [], []
        for _ in range(PLUG_CYCLES):
            log = DaemonLog(pen)
            begin = time.monotonic()
            pen.unplug()
            wait_until(lambda: log.says("quorvant-pen: close "), "handle closed", interval=0.0005)
            closes.append((time.monotonic() - begin) * 1000)
            wait_until(lambda: screen.tray_icon() == "absent", "absent icon")
            time.sleep(0.3)
            pen.clear_sent()
            begin = time.monotonic()
            pen.plug()
            wait_until(lambda: any(s.startswith(READ_BACK) for s in pen.sent()), "read-back request", interval=0.002)
            read_backs.append((time.monotonic() - begin) * 1000)
            wait_until(lambda: screen.tray_icon() == "present", "present icon")
            time.sleep(0.3)
        figures["close_ms"] = statistics.median(closes)
        figures["read_back_ms"] = statistics.median(read_backs)
        spread("unplug to closed", closes)
        spread("plug-in to read-back", read_backs)

        work_end = time.monotonic()
        time.sleep(0.2)
        probe.send_signal(signal.SIGTERM)
        pings = [line.split() for line in probe.communicate(timeout=30)[0].splitlines()]
        probe = None
        ended = time.monotonic()
        latencies = [(float(sent), ended - float(sent) if latency == "-" else float(latency))
                     for sent, latency in pings]
        figures["probe_ms"] = 1000 * max(l for s, l in latencies if stop_begin - 0.05 <= s < work_begin)
        figures["blocked_ms"] = 1000 * max(l for s, l in latencies if work_begin <= s < work_end)
    finally:
        if probe:
            probe.kill()
            probe.wait()
        session.close()


class DaemonLog:
    """What a verbose receiver daemon logs from now on."""

    def __init__(self, pen):
        self.path = pen._log
        self.offset = os.path.getsize(self.path)

    def says(self, text):
        with open(self.path, "rb") as log:
            log.seek(self.offset)
            return text.encode() in log.read()


def measure_effect(bin_dir, screen, figures):
    """The real magnifier alone, the pointer still in the middle of the screen."""
    tmp = tempfile.mkdtemp(prefix="quorvant-effect-")
    env = dict(screen.desktop.env(), QT_QPA_PLATFORM="xcb", TMPDIR=tmp, XDG_RUNTIME_DIR=tmp)
    env.pop("LD_PRELOAD", None)
    screen.desktop.xdotool("mousemove", str(screen.width // 2), str(screen.desktop.height // 2))
    effect = subprocess.Popen([os.path.join(bin_dir, "Loupex")], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: screen.visible("Loupex"), "Loupex's window")
        time.sleep(1)
        figures["effect_cpu"], figures["effect_wake"], _ = idle_cost(effect.pid, EFFECT_S)
    finally:
        end(effect)
        remove_all_segments(tmp)


MEASURES = (measure_start_to_tray, measure_idle_without_receiver, measure_idle_with_receiver, measure_responses,
            measure_effect)


def run_all(builds):
    """Each measure for every build in turn, each on a desktop of its own."""
    figures = {label: {} for label, _ in builds}
    failures = []
    for measure in MEASURES:
        for label, bin_dir in builds:
            note("%s: %s" % (label, measure.__name__[len("measure_"):].replace("_", " ")))
            try:
                screen = Screen()
                try:
                    measure(bin_dir, screen, figures[label])
                finally:
                    screen.close()
            except Exception as error:  # the other figures are still worth having
                failures.append("%s, %s: %s" % (label, measure.__name__, error))
                traceback.print_exc(file=sys.stderr)
    return figures, failures


def table(builds, figures):
    """A markdown table: a row per measure, a column per build, the goal."""
    header = ["measure", "%s (baseline)" % builds[0][0], "%s (this tree)" % builds[1][0], "goal"]

    def cell(found, keys, form):
        keys = keys if isinstance(keys, tuple) else (keys,)
        return form % tuple(found[key] for key in keys) if all(key in found for key in keys) else "-"

    rows = [[what] + [cell(figures[label], keys, form) for label, _ in builds] + [goal]
            for keys, what, form, goal in ROWS]
    widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]

    def line(cells):
        return "| " + " | ".join(cell.ljust(width) if i == 0 else cell.rjust(width)
                                 for i, (cell, width) in enumerate(zip(cells, widths))) + " |"

    rule = "|" + "|".join("-" * (width + 2) if i == 0 else "-" * (width + 1) + ":" for i, width in enumerate(widths))
    return "\n".join([line(header), rule + "|"] + [line(row) for row in rows])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--baseline", default=DEFAULT_BASELINE, help="commit to compare with (default %(default)s)")
    args = parser.parse_args()
    for tool in ("Xvfb", "trayer", "xdotool", "xprop", "ipcrm", "git"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is missing: run scripts/deps.sh --test")
    # A stop from outside still takes everything down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    label, bin_dir = this_tree()
    with Baseline(args.baseline) as baseline:
        builds = [(baseline.rev, baseline.bin_dir), (label, bin_dir)]
        started = time.monotonic()
        figures, failures = run_all(builds)
        note("measured in %.0f s" % (time.monotonic() - started))

    print(table(builds, figures))
    print()
    print("Idle rows: median of %d windows of %.0f s each, %.0f s after the tray icon was drawn; CPU from the"
          " threads' run time (schedstat), wakeups = voluntary + involuntary context switches of all threads."
          % (IDLE_WINDOWS, IDLE_WINDOW_S, SETTLE_S))
    print("Memory: receiver present; after the notice has gone; all = main window (shown, hidden), navigation"
          " window, notice. Timings: medians of %d size reports, %d unplugs and plug-ins, %d starts, timed from"
          " the request to the receiver daemon (or the exec); GUI probe: _NET_WM_PING every %d ms to the tray"
          " icon's window. Loupex: one window of %.0f s." % (SIZE_REPORTS, PLUG_CYCLES, STARTS, PING_MS, EFFECT_S))
    for failure in failures:
        print("not measured: " + failure)


if __name__ == "__main__":
    main()
