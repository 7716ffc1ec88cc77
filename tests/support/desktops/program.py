"""The real program, installed in a private folder with a private home, and
the effect programs' size segments, read from outside with quorvant-segment."""

import atexit
import configparser
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from . import BIN_DIR, HERE, TIMEOUT, Desktop, Running, end, output, processes_named, read, wait_until
from .pen import SimPen

PIDNS = os.path.join(HERE, "pidns.py")
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


def install_app(bin_dir=BIN_DIR, effects=True, stand_ins=False):
    """A private copy: the program writes its settings beside itself."""
    dest = tempfile.mkdtemp(prefix="quorvant-app-")
    shutil.copy2(os.path.join(bin_dir, "quorvant"), dest)
    shutil.copytree(os.path.join(bin_dir, "data"), os.path.join(dest, "data"))
    for name in SEGMENTS if effects or stand_ins else ():
        if stand_ins:
            with open(os.path.join(dest, name), "w") as script:
                script.write(STAND_IN)
            os.chmod(os.path.join(dest, name), 0o755)
        else:
            shutil.copy2(os.path.join(bin_dir, name), dest)
    if effects:
        shutil.copy2(os.path.join(bin_dir, "quorvant-notice"), dest)
    return dest


def private_home(user=None):
    """For the autostart entry and the single-instance socket, never the user's own."""
    home = tempfile.mkdtemp(prefix="quorvant-home-")
    atexit.register(shutil.rmtree, home, True)
    os.mkdir(os.path.join(home, "runtime"), 0o700)
    if user is not None:
        for folder in (home, os.path.join(home, "runtime")):
            os.chown(folder, user, user)
    return {"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_RUNTIME_DIR": os.path.join(home, "runtime")}


def as_user(uid):
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups"]


class Program(Running):
    """The real program. Isolated, it runs through pidns.py: it finds and stops
    effect programs by name, and must meet only those it started itself."""

    def __init__(self, app_dir, desktop=None, pen=None, args=(), home=None, env=None, isolated=False, user=None):
        self.desktop, self.pen, self.extra_env = desktop, pen, env or {}
        self.executable = os.path.join(app_dir, "quorvant")
        # Into the namespace as root, then down to the user.
        self.command = ([sys.executable, PIDNS] if isolated else []) + (as_user(user) if user is not None else []) + \
            [self.executable, *args]
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
        return os.path.join(self.environment()["XDG_RUNTIME_DIR"], "quorvant", "instance")

    def run_second_copy(self):
        """(exit code, stderr) of another copy, outside any namespace: the guard
        is a socket in the runtime folder."""
        result = subprocess.run([self.executable], env=self.environment(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
        return result.returncode, result.stderr.decode(errors="replace")

    def log_lines(self):
        with open(self._err, "rb") as err:
            return err.read().decode(errors="replace").splitlines()

    def count(self, text):
        return sum(text in line for line in self.log_lines())

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

    def saved_sizes(self, path):
        """Magnifier, spotlight, laser pointer, under the keys their users have on disk."""
        parser = configparser.ConfigParser(interpolation=None)
        parser.read_string(read(path))
        return tuple(parser.getint("config", key) for key in ("MagnifeerSize", "QyLightSize", "redDotrixSize"))

    def program_pid(self):
        # A child of its namespace's first process.
        init = output("pgrep", "-P", str(self.process.pid)).split()[0]
        return int(output("pgrep", "-x", "quorvant", "-P", init))


class Bench:
    """An installation, a runtime folder for the segments' keys and the single-instance socket, isolated programs."""

    def __init__(self, desktop=None, pen=None, stand_ins=True, app=None):
        self.desktop, self.pen = desktop, pen
        self._own_app = app is None
        self.app = install_app(effects=not stand_ins, stand_ins=stand_ins) if app is None else app
        self.ipc_dir = tempfile.mkdtemp(prefix="quorvant-ipc-")
        self.env = {"XDG_RUNTIME_DIR": self.ipc_dir}
        self.programs = []

    def start_program(self, home=None, program=None):
        program = program or Program(self.app, self.desktop, self.pen, home=home, env=self.env, isolated=True)
        self.programs.append(program.start())
        # The segments are made while the main window is built.
        self.wait(lambda: self.segment("Dotrix_shared") is not None, "the program's segments", program)
        return program

    def close(self):
        for program in self.programs:
            program.stop()
        for pid in (pid for name in SEGMENTS for pid in self.running_pids(name)):
            os.kill(pid, signal.SIGKILL)
        if self._own_app:
            shutil.rmtree(self.app, ignore_errors=True)
        shutil.rmtree(self.ipc_dir, ignore_errors=True)

    def segment(self, key, runtime=None, user=None):
        return read_segment(key, runtime or self.ipc_dir, user)

    def mapped_by(self, key):
        """The processes that have the segment mapped, by its file."""
        path = os.path.join(self.ipc_dir, "quorvant", key)
        return [pid for pid in map(int, filter(str.isdigit, os.listdir("/proc")))
                if any(line.endswith(" " + path) for line in read("/proc/%d/maps" % pid).splitlines())]

    def running_pids(self, name):
        return [pid for pid in processes_named(name) if self.app + "/" in read("/proc/%d/cmdline" % pid)]

    def running(self):
        return {name for name in SEGMENTS if self.running_pids(name)}

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
        key = SEGMENTS[name]
        self.wait(lambda: self.running() == {name} and self.segment(key) == level,
                  "%s alone running and %s holding %d" % (name, key, level), program)


def segment_tool(command, key, runtime, user=None, **popen):
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    env.pop("LD_PRELOAD", None)
    return subprocess.Popen((as_user(user) if user is not None else []) + [
        os.path.join(BIN_DIR, "quorvant-segment"), command, key], env=env, text=True, **popen)


def read_segment(key, runtime, user=None):
    """The level in a segment, read as an effect program reads it, or None."""
    tool = segment_tool("read", key, runtime, user=user, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = tool.communicate(timeout=TIMEOUT)[0]
    return int(out) if tool.returncode == 0 else None


def set_up(test, stand_ins=True, verbose_pen=False, window_manager=False):
    screen = Desktop(window_manager=window_manager).start()
    test.addCleanup(screen.stop)
    pen = SimPen(verbose=verbose_pen).start()
    test.addCleanup(pen.stop)
    bench = Bench(screen, pen, stand_ins=stand_ins)
    test.addCleanup(bench.close)
    return screen, pen, bench
