"""End-to-end test bench: a headless desktop with a tray host, a private
installation of the program, and the real program started against the
simulated receiver.

Everything here waits for conditions with generous deadlines; nothing sleeps
for a fixed time and hopes.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time

BIN_DIR = os.environ.get("QUORVANT_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
EFFECT_PROGRAMS = ("Dotrix", "Loupex", "Halvix")


def wait_until(predicate, timeout=30.0, interval=0.05, message="condition"):
    """Polls predicate until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, message))
        time.sleep(interval)


def _have(tool):
    return shutil.which(tool) is not None


class Image:
    """A screenshot as RGB pixels."""

    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self._pixels = pixels

    @classmethod
    def load(cls, path):
        ppm = subprocess.run(["convert", path, "ppm:-"], check=True, stdout=subprocess.PIPE).stdout
        # Binary PPM: "P6\n<w> <h>\n<max>\n" then RGB triples.
        fields = []
        pos = 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            if ppm[pos:pos + 1] == b"#":
                pos = ppm.index(b"\n", pos) + 1
                continue
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        pos += 1
        width, height = int(fields[1]), int(fields[2])
        return cls(width, height, ppm[pos:pos + 3 * width * height])

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self._pixels[i:i + 3])

    def region(self, x, y, w, h):
        """The pixels of a rectangle, row by row, as one bytes object."""
        rows = []
        for row in range(y, y + h):
            i = 3 * (row * self.width + x)
            rows.append(self._pixels[i:i + 3 * w])
        return b"".join(rows)


class Desktop:
    """An Xvfb display, optionally with a tray host (trayer) docked on it."""

    def __init__(self, width=1280, height=800, tray=True):
        self.width = width
        self.height = height
        self.tray = tray
        self.display = None
        self._xvfb = None
        self._trayer = None
        self._dir = tempfile.mkdtemp(prefix="quorvant-desktop-")

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        read_end, write_end = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (self.width, self.height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise AssertionError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        if self.tray:
            self._trayer = subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                 "--transparent", "false", "--tint", "0x303030", "--SetDockType", "true", "--expand", "true"],
                env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(self._tray_ready, 30, message="the tray host to take the system tray")

    def stop(self):
        for process in (self._trayer, self._xvfb):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self._dir, ignore_errors=True)

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def _tray_ready(self):
        # The tray host owns the selection _NET_SYSTEM_TRAY_S0 once it runs.
        result = subprocess.run(["xprop", "-root", "-display", self.display], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        if result.returncode != 0:
            return False
        found = subprocess.run(["xdotool", "search", "--class", "trayer"], env=self.env(),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return found.returncode == 0 and found.stdout.strip() != ""

    def tray_geometry(self):
        """(x, y, width, height) of the tray host's window."""
        ids = subprocess.run(["xdotool", "search", "--class", "trayer"], env=self.env(),
                             stdout=subprocess.PIPE, text=True).stdout.split()
        best = None
        for window in ids:
            out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=self.env(),
                                 stdout=subprocess.PIPE, text=True).stdout
            values = dict(line.split("=", 1) for line in out.split() if "=" in line)
            geometry = (int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"]))
            if best is None or geometry[2] * geometry[3] > best[2] * best[3]:
                best = geometry
        return best

    def screenshot(self, path=None):
        """Saves the whole screen as a PNG and returns its path."""
        path = path or os.path.join(self._dir, "shot-%d.png" % time.monotonic_ns())
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def image(self):
        return Image.load(self.screenshot())

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)

    def visible_windows(self, name):
        """Ids of the visible windows whose title matches name (a regex)."""
        out = self.xdotool("search", "--onlyvisible", "--name", name)
        return out.stdout.split() if out.returncode == 0 else []

    def window_geometry(self, window):
        out = self.xdotool("getwindowgeometry", "--shell", window).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def install_app(bin_dir=BIN_DIR, effects=True, dest=None):
    """A private copy of the program with its data folder (and the effect
    programs), so the settings file it writes beside itself stays out of the
    build. Returns the folder."""
    dest = dest or tempfile.mkdtemp(prefix="quorvant-app-")
    shutil.copy2(os.path.join(bin_dir, "quorvant"), dest)
    if os.path.isdir(os.path.join(bin_dir, "data")):
        shutil.copytree(os.path.join(bin_dir, "data"), os.path.join(dest, "data"))
    if effects:
        for name in EFFECT_PROGRAMS:
            source = os.path.join(bin_dir, name)
            if os.path.exists(source):
                shutil.copy2(source, dest)
    return dest


def private_home():
    """A home of our own: autostart entries and the single-instance socket
    land here, never in the user's real folders."""
    home = tempfile.mkdtemp(prefix="quorvant-home-")
    runtime = os.path.join(home, "runtime")
    os.mkdir(runtime, 0o700)
    return {
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_RUNTIME_DIR": runtime,
    }


class Program:
    """The real program, started from an installed folder."""

    def __init__(self, app_dir, desktop=None, pen=None, args=(), home=None, env=None):
        self.app_dir = app_dir
        self.desktop = desktop
        self.pen = pen
        self.args = list(args)
        self.home = home if home is not None else private_home()
        self.extra_env = env or {}
        self.process = None
        self._out = None
        self._err = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    @property
    def executable(self):
        return os.path.join(self.app_dir, "quorvant")

    @property
    def settings_path(self):
        return os.path.join(self.app_dir, "setting_Quorvant.ini")

    def environment(self):
        env = self.desktop.env() if self.desktop else dict(os.environ)
        if not self.desktop:
            env["QT_QPA_PLATFORM"] = "offscreen"
        else:
            env["QT_QPA_PLATFORM"] = "xcb"
        env.update(self.home)
        env["QT_FORCE_STDERR_LOGGING"] = "1"
        env["QT_ASSUME_STDERR_HAS_CONSOLE"] = "1"
        if self.pen is not None:
            env.update(self.pen.env())
        env.update(self.extra_env)
        return env

    def start(self):
        log_dir = tempfile.mkdtemp(prefix="quorvant-log-")
        self._out = os.path.join(log_dir, "stdout")
        self._err = os.path.join(log_dir, "stderr")
        with open(self._out, "wb") as out, open(self._err, "wb") as err:
            self.process = subprocess.Popen([self.executable, *self.args], env=self.environment(),
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        return self

    def run_second_copy(self, args=(), timeout=30):
        """Starts another copy with the same environment and waits for it to
        end: (exit code, standard error)."""
        result = subprocess.run([self.executable, *args], env=self.environment(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        return result.returncode, result.stderr.decode(errors="replace")

    def log(self):
        """Everything the program wrote to standard error (its debug lines)."""
        with open(self._err, "rb") as err:
            return err.read().decode(errors="replace")

    def log_lines(self):
        return self.log().splitlines()

    def count(self, text):
        return sum(1 for line in self.log_lines() if text in line)

    def wait_for_log(self, text, count=1, timeout=30):
        wait_until(lambda: self.count(text) >= count, timeout, message="%d x %r in the log" % (count, text))

    def running(self):
        return self.process is not None and self.process.poll() is None

    def signal(self, number):
        self.process.send_signal(number)

    def wait(self, timeout=30):
        return self.process.wait(timeout)

    def stop(self):
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def processes_named(name):
    """Pids of live (not zombie) processes whose command name is name."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as comm:
                if comm.read().strip() != name:
                    continue
            with open("/proc/%s/stat" % entry) as stat:
                state = stat.read().rsplit(")", 1)[1].split()[0]
            if state != "Z":
                pids.append(int(entry))
        except OSError:
            continue
    return pids
