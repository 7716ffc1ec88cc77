"""The real program in a process namespace of its own, with its segments
under a private TMPDIR and, where a test switches modes by the thousand,
stand-ins for the effect programs that start in a few milliseconds.

    def setUp(self):
        self.desktop, self.pen, self.bench = effectbench.set_up(self)

    def test_laser(self):
        program = self.bench.start_program()
        self.pen.mode("laser", 5)
        self.bench.wait(lambda: self.bench.running() == {"Dotrix"}
                        and self.bench.segment("Dotrix_shared") == 5, "Dotrix with 5")
"""

import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile

import harness
from simpen import SimPen

PIDNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pidns.py")
TIMEOUT = 60
SEGMENTS = {"Dotrix": "Dotrix_shared", "Loupex": "Magnifier_shared", "Halvix": "Halvix_shared"}
PROGRAM_OF_MODE = {"laser": "Dotrix", "magnifier": "Loupex", "spotlight": "Halvix"}

# Perl starts in a few milliseconds, and the kernel names the process after
# the script, so it is found and stopped by name like the real program.
STAND_IN = """#!/usr/bin/perl
# Stands in for an effect program: notes its start, then waits to be killed.
use File::Basename;
open(my $log, '>>', dirname(__FILE__) . '/started.log') or die;
print $log basename(__FILE__) . " $$\\n";
close($log);
sleep 3600 while 1;
"""


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def parent_of(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return 0


def vm_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


def is_sanitized(pid):
    """Whether the process runs with AddressSanitizer, whose quarantine keeps
    freed memory on purpose."""
    with open("/proc/%d/maps" % pid) as f:
        return "libasan" in f.read()


class IsolatedProgram(harness.Program):
    """The real program, started through pidns.py: it finds and stops effect
    programs by name, and must meet only those it started itself."""

    def __init__(self, app_dir, *args, **kwargs):
        super().__init__(app_dir, *args, **kwargs)
        self.args = [PIDNS, os.path.join(app_dir, "quorvant")] + self.args

    @property
    def executable(self):
        return sys.executable

    def run_second_copy(self, args=(), timeout=TIMEOUT):
        """Starts the program again, outside the namespace (the guard is a
        socket in the runtime folder): (exit code, standard error)."""
        result = subprocess.run([os.path.join(self.app_dir, "quorvant"), *args], env=self.environment(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=timeout)
        return result.returncode, result.stderr.decode(errors="replace")

    def program_pid(self):
        """The pid of the program itself, below the namespace's first process."""
        wanted = os.path.join(self.app_dir, "quorvant")
        for pid in harness.processes_named("quorvant"):
            if not cmdline(pid).startswith(wanted):
                continue
            ancestor = pid
            while ancestor > 1:
                ancestor = parent_of(ancestor)
                if ancestor == self.process.pid:
                    return pid
        return None

    def terminate(self, timeout=TIMEOUT):
        """Ends the program as a logout would and returns its exit status."""
        self.signal(15)
        return self.wait(timeout)


def set_up(test, stand_ins=True, verbose_pen=False):
    """A desktop with a tray, a receiver and a bench for one test, each
    stopped when the test ends: (desktop, pen, bench)."""
    desktop = harness.Desktop()
    desktop.start()
    test.addCleanup(desktop.stop)
    pen = SimPen(verbose=verbose_pen)
    pen.start()
    test.addCleanup(pen.stop)
    bench = EffectBench(desktop, pen, stand_ins=stand_ins)
    test.addCleanup(bench.close)
    return desktop, pen, bench


class EffectBench:
    """A private installation, its segments, and the program started from it."""

    def __init__(self, desktop=None, pen=None, stand_ins=True, data=True):
        self.desktop = desktop
        self.pen = pen
        self.app = harness.install_app(effects=not stand_ins)
        if stand_ins:
            for name in SEGMENTS:
                path = os.path.join(self.app, name)
                with open(path, "w") as script:
                    script.write(STAND_IN)
                os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
        if not data:
            shutil.rmtree(os.path.join(self.app, "data"), ignore_errors=True)
        # The segments' keys live under TMPDIR: one of our own keeps them
        # apart from any other copy of the program on this machine.
        self.ipc_dir = tempfile.mkdtemp(prefix="quorvant-ipc-")
        self.programs = []

    def env(self):
        return {"TMPDIR": self.ipc_dir}

    def start_program(self, home=None):
        program = IsolatedProgram(self.app, self.desktop, self.pen, env=self.env(), home=home)
        program.start()
        self.programs.append(program)
        # The segments are made while the main window is built.
        self.wait(lambda: self.segment("Dotrix_shared") is not None, "the program's segments", program)
        return program

    def close(self):
        for program in self.programs:
            program.stop()
        for name in SEGMENTS:
            for pid in self.running_pids(name):
                os.kill(pid, 9)
        # A test that failed half-way may leave segments and locks that nobody
        # holds; they outlive their key files, so they go first.
        for name in os.listdir(self.ipc_dir):
            if name.startswith("qipc_"):
                kind = "-M" if name.startswith("qipc_sharedmemory_") else "-S"
                subprocess.run(["ipcrm", kind, "0x%08x" % self.system_key(name)], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.app, ignore_errors=True)
        shutil.rmtree(self.ipc_dir, ignore_errors=True)

    def system_key(self, file_name):
        """The System V key Qt derives from a key file: ftok(file, 'Q')."""
        info = os.stat(os.path.join(self.ipc_dir, file_name))
        return (ord("Q") << 24) | ((info.st_dev & 0xFF) << 16) | (info.st_ino & 0xFFFF)

    def segment(self, key):
        """The level in a segment, read as an effect program reads it, or None."""
        result = subprocess.run([os.path.join(harness.BIN_DIR, "quorvant-segment"), "read", key],
                                env=dict(os.environ, TMPDIR=self.ipc_dir), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, timeout=TIMEOUT)
        return int(result.stdout) if result.returncode == 0 else None

    def segment_record(self, key):
        """(shmid, attached processes) of a segment as the system lists it,
        or None. Unlike reading it, looking here never attaches, so a segment
        that nobody holds is not removed by the last one to let go."""
        # QSharedMemory's key file: the key's letters and its SHA-1, under
        # TMPDIR; the system key is ftok(file, 'Q').
        name = "qipc_sharedmemory_" + "".join(c for c in key if c.isalpha()) \
            + hashlib.sha1(key.encode()).hexdigest()
        try:
            system_key = self.system_key(name)
        except FileNotFoundError:
            return None
        with open("/proc/sysvipc/shm") as table:
            next(table)
            for line in table:
                fields = line.split()
                if int(fields[0]) & 0xFFFFFFFF == system_key:
                    return int(fields[1]), int(fields[6])
        return None

    def running_pids(self, name):
        return [pid for pid in harness.processes_named(name) if cmdline(pid).find(self.app + "/") >= 0]

    def running(self):
        """The effect programs of this installation that run, by name."""
        return {name for name in SEGMENTS if self.running_pids(name)}

    def starts(self):
        try:
            with open(os.path.join(self.app, "started.log")) as log:
                return [line.split()[0] for line in log]
        except FileNotFoundError:
            return []

    def wait(self, predicate, message, program=None, timeout=TIMEOUT):
        """wait_until, telling on failure what ran and what the program said."""
        try:
            return harness.wait_until(predicate, timeout, message=message)
        except AssertionError as error:
            program = program or (self.programs[-1] if self.programs else None)
            state = ["running: %r" % sorted(self.running()),
                     "segments: %r" % {key: self.segment(key) for key in SEGMENTS.values()}]
            if self.pen is not None and self.pen.running():
                state.append("receiver: %r" % self.pen.status())
            if program is not None:
                state += ["program running: %r" % program.running(), "program log (last lines):"]
                state += program.log_lines()[-20:]
            raise AssertionError("%s\n%s" % (error, "\n".join(state))) from None
