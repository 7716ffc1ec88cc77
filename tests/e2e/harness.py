"""End-to-end bench: a headless desktop with a tray host, a private
installation, the real program against the simulated receiver, and the
effect programs' segments. Every wait is for a condition, with a generous
deadline."""

import atexit
import configparser
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BIN_DIR = os.path.abspath(os.environ.get("QUORVANT_BIN_DIR", os.path.join(HERE, "..", "..", "build", "bin")))
PIDNS = os.path.join(HERE, "pidns.py")
TIMEOUT = 60
SEGMENTS = {"Dotrix": "Dotrix_shared", "Loupex": "Magnifier_shared", "Halvix": "Halvix_shared"}

# Perl starts in a few milliseconds, and the kernel names the process after
# the script, so it is found and stopped by name like the real program.
STAND_IN = """#!/usr/bin/perl
use File::Basename;
open(my $log, '>>', dirname(__FILE__) . '/started.log') or die;
print $log basename(__FILE__) . " $$\\n";
close($log);
sleep 3600 while 1;
"""


def wait_until(predicate, timeout=TIMEOUT, interval=0.05, message="condition"):
    """Polls predicate until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, message))
        time.sleep(interval)


def output(*args, env=None):
    """Standard output of a command, or None when it failed."""
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
    """Pids of live (not zombie) processes whose command name is name."""
    return [pid for pid in map(int, filter(str.isdigit, os.listdir("/proc")))
            if read("/proc/%d/comm" % pid).strip() == name and not dead(pid)]


def listening(path):
    """Whether a process listens on the Unix socket at path, read from the
    kernel's table: connecting to the program's would bring up its window."""
    with open("/proc/net/unix") as table:
        return any(len(f) >= 8 and f[7] == path and int(f[3], 16) & 0x10000  # accepts connections
                   for f in (line.split() for line in table.read().splitlines()[1:]))


class Running:
    """Started by with, stopped at its end."""

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# Nothing is started on demand: the test starts what the bus carries.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir={folder}</listen>
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
    """A private session bus, which any user may join: sway refuses to run as root."""

    def start(self):
        self.folder = tempfile.mkdtemp(prefix="quorvant-bus-")
        os.chmod(self.folder, 0o755)
        config = os.path.join(self.folder, "session.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(folder=self.folder))
        self.process = subprocess.Popen(["dbus-daemon", "--config-file", config, "--nofork", "--print-address"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.address = self.process.stdout.readline().decode().strip()
        if not self.address:
            raise AssertionError("dbus-daemon did not start")
        return self

    def stop(self):
        end(self.process)
        self.process.stdout.close()
        shutil.rmtree(self.folder, ignore_errors=True)


class Image:
    def __init__(self, width, height, pixels):
        self.width, self.height, self._pixels = width, height, pixels

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self._pixels[i:i + 3])


class Desktop(Running):
    """An Xvfb display with a tray host (trayer) docked on it and, when asked
    for, a window manager (openbox) that focuses new windows as desktops do."""

    qt_platform = "xcb"

    def __init__(self, width=1280, height=800, tray=True, window_manager=False):
        self.width, self.height, self.display, self._processes = width, height, None, []
        self.tray, self.window_manager = tray, window_manager
        self.folder = tempfile.mkdtemp(prefix="quorvant-desktop-")

    def start(self):
        read_end, write_end = os.pipe()
        self._processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (self.width, self.height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            self.display = ":" + pipe.readline().strip().decode()
        if self.display == ":":
            raise AssertionError("Xvfb did not start")
        if self.window_manager:
            # Its settings are Debian's own; its caches stay in the desktop's folder.
            self._processes.append(subprocess.Popen(
                ["openbox", "--sm-disable"], env=dict(self.env(), XDG_CONFIG_HOME=self.folder, XDG_CACHE_HOME=self.folder),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_until(lambda: "window id" in (output("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", env=self.env()) or ""),
                       message="the window manager")
        if not self.tray:
            return self
        self.run_beside(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                         "--transparent", "false", "--tint", "0x303030", "--SetDockType", "true", "--expand", "true"])
        wait_until(self.tray_geometry, message="the tray host")
        return self

    def run_beside(self, args):
        """Starts a client of this display that ends with it."""
        self._processes.append(subprocess.Popen(args, env=self.env(), stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))

    def stop(self):
        for process in reversed(self._processes):
            end(process, timeout=10)
        shutil.rmtree(self.folder, ignore_errors=True)

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
        """Geometries of the visible top-level windows whose _NET_WM_WINDOW_TYPE
        is kind: TOOLTIP (Qt's balloon is one), POPUP_MENU..."""
        found = {}
        for window in self._search("--onlyvisible", "--maxdepth", "1", "--name", ""):
            types = (output("xprop", "-id", window, "_NET_WM_WINDOW_TYPE", env=self.env()) or "").replace(",", " ")
            if "_NET_WM_WINDOW_TYPE_" + kind in types.split():
                found[window] = self.window_geometry(window)
        return {window: geometry for window, geometry in found.items() if geometry}

    def tray_geometry(self):
        geometries = filter(None, map(self.window_geometry, self._search("--class", "trayer")))
        return max(geometries, key=lambda g: g[2] * g[3], default=None)

    def tray_menu(self, key):
        """Right-clicks the tray icon until its menu is up, then picks an entry."""
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
        """A left click at a point of a window."""
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

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def keep(self, name):
        """Saves a screenshot into $QUORVANT_SCREENSHOTS, when set, for a person to look at."""
        if os.environ.get("QUORVANT_SCREENSHOTS"):
            os.makedirs(os.environ["QUORVANT_SCREENSHOTS"], exist_ok=True)
            self.screenshot(os.path.join(os.environ["QUORVANT_SCREENSHOTS"], name + ".png"))

    def image(self):
        pixels = subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8", "rgb:-"],
                                check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return Image(self.width, self.height, pixels)


def install_app(bin_dir=BIN_DIR, effects=True, stand_ins=False, data=True):
    """A private copy of the program, out of the build: it writes its settings beside itself."""
    dest = tempfile.mkdtemp(prefix="quorvant-app-")
    shutil.copy2(os.path.join(bin_dir, "quorvant"), dest)
    if data:
        shutil.copytree(os.path.join(bin_dir, "data"), os.path.join(dest, "data"))
    for name in SEGMENTS if effects or stand_ins else ():
        if stand_ins:
            with open(os.path.join(dest, name), "w") as script:
                script.write(STAND_IN)
            os.chmod(os.path.join(dest, name), 0o755)
        else:
            shutil.copy2(os.path.join(bin_dir, name), dest)
    return dest


def private_home(user=None):
    """For the autostart entry and the single-instance socket, never the user's
    own; the given user's (a uid) when there is one."""
    home = tempfile.mkdtemp(prefix="quorvant-home-")
    atexit.register(shutil.rmtree, home, True)
    os.mkdir(os.path.join(home, "runtime"), 0o700)
    if user is not None:
        for folder in (home, os.path.join(home, "runtime")):
            os.chown(folder, user, user)
    return {"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_RUNTIME_DIR": os.path.join(home, "runtime")}


def as_user(uid):
    """The command prefix that runs what follows as that user (and group)."""
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups"]


class Program(Running):
    """The real program. Isolated, it runs through pidns.py: it finds and stops
    effect programs by name, and must meet only those it started itself."""

    def __init__(self, app_dir, desktop=None, pen=None, args=(), home=None, env=None, isolated=False):
        self.desktop, self.pen, self.extra_env = desktop, pen, env or {}
        self.executable = os.path.join(app_dir, "quorvant")
        self.settings_path = os.path.join(app_dir, "setting_Quorvant.ini")
        self.command = ([sys.executable, PIDNS] if isolated else []) + [self.executable, *args]
        self.home = home if home is not None else private_home()
        # Where the sizes go when the program's folder cannot take them.
        self.user_settings_path = os.path.join(self.home["XDG_CONFIG_HOME"], "quorvant", "setting_Quorvant.ini")
        self.process = None

    def environment(self):
        env = self.desktop.env() if self.desktop else dict(os.environ)
        # In the forms' own language, whatever the machine's.
        env.update(self.home, LANGUAGE="zh_CN", QT_FORCE_STDERR_LOGGING="1", QT_ASSUME_STDERR_HAS_CONSOLE="1")
        platform = self.desktop.qt_platform if self.desktop else "offscreen"
        if platform:
            env["QT_QPA_PLATFORM"] = platform
        env.update(self.pen.env() if self.pen else {}, **self.extra_env)
        return env

    def start(self):
        folder = tempfile.mkdtemp(prefix="quorvant-log-")
        # Kept to the end: a failure's report shows the log of any copy.
        atexit.register(shutil.rmtree, folder, True)
        self._err = os.path.join(folder, "stderr")
        with open(self._err, "wb") as err:
            self.process = subprocess.Popen(self.command, env=self.environment(), stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err)
        return self

    def instance_socket(self):
        """The single-instance socket, in the private folder of its runtime folder."""
        return os.path.join(self.environment()["XDG_RUNTIME_DIR"], "quorvant", "instance")

    def run_second_copy(self, args=(), timeout=TIMEOUT):
        """Starts another copy, outside any namespace (the guard is a socket in
        the runtime folder), and waits for its end: (exit code, stderr)."""
        result = subprocess.run([self.executable, *args], env=self.environment(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        return result.returncode, result.stderr.decode(errors="replace")

    def log_lines(self):
        """Everything the program wrote to standard error: its debug lines."""
        with open(self._err, "rb") as err:
            return err.read().decode(errors="replace").splitlines()

    def count(self, text):
        return sum(text in line for line in self.log_lines())

    def wait_for_log(self, text, count=1):
        wait_until(lambda: self.count(text) >= count, message="%d x %r in the log" % (count, text))

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait(self):
        return self.process.wait(TIMEOUT)

    def terminate(self):
        """Ends the program as a logout would; returns its exit status, and
        shows the end of its log when that is not 0."""
        self.process.send_signal(signal.SIGTERM)
        status = self.wait()
        sys.stderr.write("\n".join(self.log_lines()[-30:] + [""]) if status else "")
        return status

    def stop(self):
        if self.process:
            end(self.process)

    def saved_sizes(self, path=None):
        """The sizes in the settings file: magnifier, spotlight, laser pointer."""
        parser = configparser.ConfigParser(interpolation=None)
        parser.read_string(read(path or self.settings_path))
        return tuple(parser.getint("config", key) for key in ("MagnifeerSize", "QyLightSize", "redDotrixSize"))

    def program_pid(self):
        """The program itself, a child of its namespace's first process."""
        init = output("pgrep", "-P", str(self.process.pid)).split()[0]
        return int(output("pgrep", "-x", "quorvant", "-P", init))

    def beside(self):
        """The command prefix that starts a process where the program sees it:
        in its process namespace, when it runs in one."""
        init = output("pgrep", "-P", str(self.process.pid)).split()[0]
        inside = os.readlink("/proc/%s/ns/pid" % init) != os.readlink("/proc/self/ns/pid")
        return ["nsenter", "--target", init, "--pid", "--"] if inside else []


class Bench:
    """An installation, a runtime folder for the segments' keys and the
    single-instance socket, and isolated programs."""

    def __init__(self, desktop=None, pen=None, stand_ins=True, data=True, app=None):
        """app: an installed program's folder to use, instead of a private copy of the build."""
        self.desktop, self.pen = desktop, pen
        self._own_app = app is None
        self.app = install_app(effects=not stand_ins, stand_ins=stand_ins, data=data) if app is None else app
        self.ipc_dir = tempfile.mkdtemp(prefix="quorvant-ipc-")
        self.env = {"XDG_RUNTIME_DIR": self.ipc_dir}
        self.programs = []

    def start_program(self, home=None, args=()):
        program = Program(self.app, self.desktop, self.pen, args=args, home=home, env=self.env, isolated=True)
        self.programs.append(program.start())
        # The segments are made while the main window is built.
        self.wait(lambda: self.segment("Dotrix_shared") is not None, "the program's segments", program)
        return program

    def close(self):
        for program in self.programs:
            program.stop()
        for pid in (pid for name in SEGMENTS for pid in self.running_pids(name)):
            os.kill(pid, signal.SIGKILL)
        # Segments nobody holds outlive their key files: they go first.
        remove_segments(self.ipc_dir)
        if self._own_app:
            shutil.rmtree(self.app, ignore_errors=True)
        shutil.rmtree(self.ipc_dir, ignore_errors=True)

    def segment(self, key, runtime=None, user=None):
        """The level in a segment, read as an effect program reads it, or None:
        this user's in the bench's runtime folder, or that user's in that one."""
        env = dict(os.environ, **self.env)
        env["XDG_RUNTIME_DIR"] = runtime or env["XDG_RUNTIME_DIR"]
        out = output(*(as_user(user) if user is not None else []), os.path.join(BIN_DIR, "quorvant-segment"),
                     "read", key, env=env)
        return None if out is None else int(out)

    def segment_record(self, key):
        """(shmid, processes attached) from the system's table, or None: attaching
        to a segment nobody holds and letting go would remove it."""
        path = os.path.join(self.ipc_dir, "quorvant", key)
        if not os.path.exists(path):
            return None
        with open("/proc/sysvipc/shm") as table:
            for fields in (line.split() for line in list(table)[1:]):
                if int(fields[0]) & 0xFFFFFFFF == system_key(path):
                    return int(fields[1]), int(fields[6])
        return None

    def running_pids(self, name):
        return [pid for pid in processes_named(name) if self.app + "/" in read("/proc/%d/cmdline" % pid)]

    def running(self):
        return {name for name in SEGMENTS if self.running_pids(name)}

    def starts(self):
        """The stand-ins started so far, in order."""
        return [line.split()[0] for line in read(os.path.join(self.app, "started.log")).splitlines()]

    def wait(self, predicate, message, program=None, timeout=TIMEOUT):
        """wait_until, telling on failure what ran and what the program said."""
        try:
            return wait_until(predicate, timeout, message=message)
        except AssertionError as error:
            program = program or (self.programs + [None])[-1]
            raise AssertionError("\n".join(
                [str(error), "running: %r" % self.running(), "receiver: %r" % self.pen.status(),
                 "segments: %r" % {key: self.segment(key) for key in SEGMENTS.values()}]
                + (["program running: %r, its last lines:" % program.running()] + program.log_lines()[-20:]
                   if program else []))) from None

    def wait_effect(self, name, level, program=None):
        """Waits until name alone runs and its segment holds level."""
        key = SEGMENTS[name]
        self.wait(lambda: self.running() == {name} and self.segment(key) == level,
                  "%s alone running and %s holding %d" % (name, key, level), program)


def system_key(path):
    """The System V key Qt derives from a key file: ftok(file, 'Q')."""
    info = os.stat(path)
    return (ord("Q") << 24) | ((info.st_dev & 0xFF) << 16) | (info.st_ino & 0xFFFF)


def remove_segments(runtime):
    """Removes the segments keyed in the private folder of that runtime folder."""
    folder = os.path.join(runtime, "quorvant")
    for name in set(os.listdir(folder) if os.path.isdir(folder) else ()) - {"instance"}:
        subprocess.run(["ipcrm", "-M", "0x%08x" % system_key(os.path.join(folder, name))],
                       stderr=subprocess.DEVNULL)


def set_up(test, desktop=True, stand_ins=True, verbose_pen=False, data=True, window_manager=False):
    """(desktop, pen, bench) for one test, each stopped when it ends."""
    from simpen import SimPen

    screen = Desktop(window_manager=window_manager).start() if desktop else None
    test.addCleanup(screen.stop if screen else lambda: None)
    pen = SimPen(verbose=verbose_pen).start()
    test.addCleanup(pen.stop)
    bench = Bench(screen, pen, stand_ins=stand_ins, data=data)
    test.addCleanup(bench.close)
    return screen, pen, bench
