"""Headless desktops for the end-to-end tests and the benchmarks: an Xvfb
display with a tray host (here), the Wayland sessions (wayland.py, gnome.py),
the real program installed privately (program.py) and the simulated receiver
(pen.py). Imported as a package from the repository's root."""

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.environ.get("QUORVANT_SOURCE_DIR", os.path.join(HERE, "..", "..", "..")))
BIN_DIR = os.path.abspath(os.environ.get("QUORVANT_BIN_DIR", os.path.join(SOURCE_DIR, "build", "bin")))
TIMEOUT = 60


def wait_until(predicate, timeout=TIMEOUT, interval=0.05, message="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, message))
        time.sleep(interval)


def output(*args, env=None):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
    return result.stdout.decode(errors="replace") if result.returncode == 0 else None


def end(process, timeout=15):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def dead(pid):
    """Gone, or a zombie: the state follows the command name in its stat line."""
    return read("/proc/%d/stat" % pid).rsplit(")", 1)[-1].split()[:1] in ([], ["Z"])


def processes_named(name):
    return [pid for pid in map(int, filter(str.isdigit, os.listdir("/proc")))
            if read("/proc/%d/comm" % pid).strip() == name and not dead(pid)]


def listening(path):
    """Whether a process listens on the Unix socket at path, read from the
    kernel's table: connecting to the program's would bring up its window."""
    with open("/proc/net/unix") as table:
        return any(len(f) >= 8 and f[7] == path and int(f[3], 16) & 0x10000  # accepts connections
                   for f in (line.split() for line in table.read().splitlines()[1:]))


def die_with_parent():
    """For Popen's preexec_fn: a desktop killed for its time-out leaves no server behind."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def open_x11_folder():
    """XWayland makes its socket where any user may make one, as on a booted system."""
    if os.geteuid() == 0 and os.path.isdir("/tmp/.X11-unix"):
        os.chmod("/tmp/.X11-unix", 0o1777)


def keep(name, write):
    """A screenshot for a person to look at, when $QUORVANT_SCREENSHOTS is set:
    write(path without its extension) makes it."""
    if os.environ.get("QUORVANT_SCREENSHOTS"):
        os.makedirs(os.environ["QUORVANT_SCREENSHOTS"], exist_ok=True)
        write(os.path.join(os.environ["QUORVANT_SCREENSHOTS"], name))


class Running:
    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# Nothing is started on demand: the test starts what the bus carries.
BUS_CONFIG = """<busconfig>
  <type>session</type>
  <listen>%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class SessionBus(Running):
    """A private bus, which any user may join: sway refuses to run as root."""

    def start(self):
        self.folder = tempfile.mkdtemp(prefix="quorvant-bus-")
        os.chmod(self.folder, 0o755)
        config = os.path.join(self.folder, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG % ("unix:tmpdir=" + self.folder))
        self.process = subprocess.Popen(["dbus-daemon", "--config-file", config, "--nofork", "--print-address"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        self.address = self.process.stdout.readline().decode().strip()
        if not self.address:
            raise AssertionError("dbus-daemon did not start")
        return self

    def stop(self):
        end(self.process)
        self.process.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)


class Session(Running):
    """What the Wayland sessions share: a folder that any user may enter (sway
    runs as another), private buses, and processes ended in reverse at the
    end, also when the start fails, since nobody else would end them."""

    qt_platform = None  # Qt finds its way as on a login to that desktop

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="quorvant-%s-" % self.name)
        os.chmod(self.folder, 0o755)
        self._processes, self._buses = [], []

    def subfolder(self, path, mode=0o755):
        path = os.path.join(self.folder, path)
        os.makedirs(path, mode, exist_ok=True)
        return path

    def new_bus(self):
        self._buses.append(SessionBus().start())
        return self._buses[-1].address

    def launch(self, args, env, log):
        with open(os.path.join(self.folder, log), "ab") as out:
            self._processes.append(subprocess.Popen(args, env=env, cwd=self.folder, stdout=out,
                                                    stderr=subprocess.STDOUT, preexec_fn=die_with_parent))
        return self._processes[-1]

    def start(self):
        try:
            self.begin()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        for process in reversed(self._processes):
            end(process)
        for bus in self._buses:
            bus.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


class Image:
    """Packed RGB bytes, read by the screen's coordinates from (x, y)."""

    def __init__(self, width, height, pixels, x=0, y=0):
        self.width, self.height, self.pixels, self.x, self.y = width, height, pixels, x, y

    def pixel(self, x, y):
        i = 3 * ((y - self.y) * self.width + x - self.x)
        return tuple(self.pixels[i:i + 3])

    def save_ppm(self, path):
        with open(path, "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % (self.width, self.height) + self.pixels)

    def channels(self, x, y, width, height):
        x, y = max(x, self.x), max(y, self.y)
        rows = b"".join(self.pixels[3 * (row * self.width + x):3 * (row * self.width + x + width)]
                        for row in range(y - self.y, min(y - self.y + height, self.height)))
        return rows[0::3], rows[1::3], rows[2::3]


def parse_ppm(data, x=0, y=0):
    """An Image of a binary PPM whose header lines end in newlines, as grim and ImageMagick write them."""
    _, size, _, pixels = data.split(b"\n", 3)
    width, height = map(int, size.split())
    return Image(width, height, pixels[:3 * width * height], x, y)


# The tray icon's pictures by their colours, as ranges of (red, green, blue)
# open at both ends: the pen with a green dot (3.png), the red cross (2.png),
# the amber padlock (4.png).
ICON_COLOURS = {"present": ((-1, 110), (140, 256), (-1, 130)),
                "absent": ((170, 256), (-1, 100), (-1, 100)),
                "denied": ((190, 256), (110, 210), (-1, 90))}


def icon_state(red, green, blue):
    """"present", "absent", "denied" or None. Judged a channel at a time, so
    that it can be polled every millisecond beside a starting program."""
    counts = {}
    for state, ranges in ICON_COLOURS.items():
        hits = -1
        for channel, (low, high) in zip((red, green, blue), ranges):
            hits &= int.from_bytes(channel.translate(bytes(low < v < high for v in range(256))), "big")
        counts[state] = bin(hits).count("1")
    found = [state for state, count in counts.items() if count >= 8]
    return found[0] if len(found) == 1 and sorted(counts.values())[1] < 3 else None


TRAYER = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
          "--transparent", "false", "--tint", "0x303030", "--SetDockType", "true", "--expand", "true"]


class Desktop(Session):
    """An Xvfb display with a tray host (trayer) docked on it and, when asked
    for, a window manager (openbox) that focuses new windows as desktops do."""

    name, qt_platform = "desktop", "xcb"

    def __init__(self, width=1280, height=800, tray=True, window_manager=False):
        super().__init__()
        self.width, self.height, self.tray, self.window_manager = width, height, tray, window_manager

    def begin(self):
        read_end, write_end = os.pipe()
        self._processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (self.width, self.height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            self.display = ":" + pipe.readline().strip().decode()
        if self.display == ":":
            raise AssertionError("Xvfb did not start")
        if self.window_manager:
            # Its settings are Debian's own; its caches stay in the desktop's folder.
            self.run_beside(["openbox", "--sm-disable"], XDG_CONFIG_HOME=self.folder, XDG_CACHE_HOME=self.folder)
            wait_until(lambda: "window id" in (output("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", env=self.env()) or ""),
                       message="the window manager")
        if self.tray:
            self.start_tray()

    def start_tray(self):
        tray = self.run_beside(TRAYER)
        wait_until(self.tray_geometry, message="the tray host")
        return tray

    def run_beside(self, args, **env):
        return self.launch(args, dict(self.env(), **env), os.path.basename(args[0]) + ".log")

    def env(self):
        env = dict(os.environ, DISPLAY=self.display)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)

    def _search(self, *args):
        found = self.xdotool("search", *args)
        return found.stdout.split() if found.returncode == 0 else []

    def visible_windows(self, name):
        return self._search("--onlyvisible", "--name", name)

    def focused_window(self):
        return self.xdotool("getwindowfocus").stdout.strip()

    def window_geometry(self, window):
        """(x, y, width, height), or None for a window gone meanwhile."""
        out = self.xdotool("getwindowgeometry", "--shell", window).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")) if "X" in values else None

    def windows_of_type(self, kind):
        """Visible top-level windows' geometries by _NET_WM_WINDOW_TYPE: TOOLTIP (Qt's balloon), POPUP_MENU..."""
        found = {}
        for window in self._search("--onlyvisible", "--maxdepth", "1", "--name", ""):
            types = (output("xprop", "-id", window, "_NET_WM_WINDOW_TYPE", env=self.env()) or "").replace(",", " ")
            geometry = "_NET_WM_WINDOW_TYPE_" + kind in types.split() and self.window_geometry(window)
            if geometry:
                found[window] = geometry
        return found

    def largest_window(self, wm_class):
        geometries = filter(None, map(self.window_geometry, self._search("--onlyvisible", "--class", wm_class)))
        return max(geometries, key=lambda g: g[2] * g[3], default=None)

    def tray_geometry(self):
        return self.largest_window("trayer")

    def icon_shown(self, geometry):
        return geometry and icon_state(*self.image().channels(*geometry))

    def tray_menu(self, key):
        def opened():
            # Near the icon's top edge: a balloon hangs below the icon with its
            # arrow reaching up into it, and a click there would only close it.
            x, y, w, _ = self.tray_geometry()
            self.xdotool("mousemove", str(x + w // 2), str(y + 4), "click", "3")
            try:
                return wait_until(lambda: self.windows_of_type("POPUP_MENU"), 5, message="a menu")
            except AssertionError:
                return False

        wait_until(opened, message="the tray menu")
        self.xdotool("key", key)

    def click(self, window, x, y):
        self.xdotool("mousemove", "--window", window, str(x), str(y), "click", "1")

    def close_window(self, window):
        """Asks a window to close as a window manager does (WM_DELETE_WINDOW).
        Through Debian's own Python, which has python3-xlib."""
        script = ("import sys; from Xlib import display, X, protocol; d = display.Display(); "
                  "w = d.create_resource_object('window', int(sys.argv[1])); "
                  "a = d.intern_atom('WM_PROTOCOLS'); "
                  "w.send_event(protocol.event.ClientMessage(window=w, client_type=a, "
                  "data=(32, [d.intern_atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0])), X.NoEventMask); d.flush()")
        subprocess.run(["/usr/bin/python3", "-c", script, str(window)], env=self.env(), check=True)

    def keep(self, name):
        keep(name, lambda path: self.import_root(path + ".png"))

    def image(self):
        return Image(self.width, self.height, self.import_root("-depth", "8", "rgb:-"))

    def import_root(self, *args):
        return subprocess.run(["import", "-display", self.display, "-window", "root", *args],
                              check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
