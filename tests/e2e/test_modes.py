"""The pen's modes, end to end: the real program, driven by the simulated
receiver, starts and stops the effect programs beside it and hands them
their sizes; the mode notice comes up near the top of the screen.

The effect programs are stand-ins: small scripts named as the real ones that
note their start and wait to be killed. The segments are read from outside
with quorvant-segment, as an effect program would read them. The program runs
in a process namespace of its own, so that effect programs of the same names
running elsewhere on the machine are neither found nor stopped by it.
"""

import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from simpen import SimPen  # noqa: E402

TIMEOUT = 60
PIDNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pidns.py")
SEGMENTS = {"Dotrix": "Dotrix_shared", "Loupex": "Magnifier_shared", "Halvix": "Halvix_shared"}

STAND_IN = """#!/usr/bin/python3
# Stands in for an effect program: notes that it started, then waits to be
# killed.
import os, sys, time
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "started.log"), "a") as log:
    log.write("%s %d\\n" % (os.path.basename(__file__), os.getpid()))
while True:
    time.sleep(3600)
"""


def install_stand_ins(app_dir):
    for name in SEGMENTS:
        path = os.path.join(app_dir, name)
        with open(path, "w") as script:
            script.write(STAND_IN)
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


class IsolatedProgram(harness.Program):
    """The real program, started through pidns.py."""

    def __init__(self, app_dir, *args, **kwargs):
        super().__init__(app_dir, *args, **kwargs)
        self.args = [PIDNS, os.path.join(app_dir, "quorvant")] + self.args

    @property
    def executable(self):
        return sys.executable


class Modes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop()
        cls.desktop.start()
        cls.pen = SimPen()
        cls.pen.start()
        cls.app = harness.install_app(effects=False)
        install_stand_ins(cls.app)
        # The segments' keys live under TMPDIR: one of our own keeps them
        # apart from any other copy of the program on this machine.
        cls.ipc_dir = tempfile.mkdtemp(prefix="quorvant-ipc-")

    @classmethod
    def tearDownClass(cls):
        for name in SEGMENTS:
            for pid in harness.processes_named(name):
                if cls.app in cls.cmdline(pid):
                    os.kill(pid, 9)
        cls.pen.stop()
        cls.desktop.stop()
        shutil.rmtree(cls.app, ignore_errors=True)
        shutil.rmtree(cls.ipc_dir, ignore_errors=True)

    @staticmethod
    def cmdline(pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return f.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            return ""

    def start_program(self):
        try:
            os.remove(os.path.join(self.app, "started.log"))
        except FileNotFoundError:
            pass
        program = IsolatedProgram(self.app, self.desktop, self.pen, env={"TMPDIR": self.ipc_dir})
        program.start()
        self.program = program
        self.addCleanup(program.stop)
        # The segments are made while the main window is built.
        self.wait(lambda: self.segment("Dotrix_shared") is not None, "the program's segments")
        return program

    def wait(self, predicate, message):
        """wait_until, telling on failure what ran and what the segments held."""
        try:
            return harness.wait_until(predicate, TIMEOUT, message=message)
        except AssertionError as error:
            others = {name: [self.cmdline(pid) for pid in harness.processes_named(name)] for name in SEGMENTS}
            state = "\n".join([
                "effect programs by name anywhere: %r" % others,
                "segments: %r" % {key: self.segment(key) for key in SEGMENTS.values()},
                "starts: %r" % self.starts(),
                "program log (last lines):"] + self.program.log_lines()[-15:])
            raise AssertionError("%s\n%s" % (error, state)) from None

    def segment(self, key):
        result = subprocess.run([os.path.join(harness.BIN_DIR, "quorvant-segment"), "read", key],
                                env=dict(os.environ, TMPDIR=self.ipc_dir), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, timeout=TIMEOUT)
        return int(result.stdout) if result.returncode == 0 else None

    def running(self):
        """The stand-ins of this installation that run, by name."""
        found = {}
        for name in SEGMENTS:
            pids = [pid for pid in harness.processes_named(name) if self.app in self.cmdline(pid)]
            if pids:
                found[name] = pids
        return found

    def starts(self):
        try:
            with open(os.path.join(self.app, "started.log")) as log:
                return [line.split()[0] for line in log]
        except FileNotFoundError:
            return []

    def enter(self, mode, size, program, key, level):
        self.pen.mode(mode, size)
        self.wait(lambda: list(self.running()) == [program] and self.segment(key) == level
                  and self.starts()[-1:] == [program],
                  "%s alone running and %s holding %d" % (program, key, level))

    def test_modes_start_and_stop_the_effect_programs(self):
        program = self.start_program()
        self.assertEqual(self.running(), {})

        self.enter("laser", 7, "Dotrix", "Dotrix_shared", 7)
        program.wait_for_log('Mode balloon: "Prompt" "Laser pointer mode"')

        self.enter("magnifier", 0, "Loupex", "Magnifier_shared", 3)
        program.wait_for_log('Mode balloon: "Prompt" "Magnifier mode"')

        self.enter("spotlight", 5, "Halvix", "Halvix_shared", 5)
        program.wait_for_log('Mode balloon: "Prompt" "Spotlight mode!"')

        # A new size in the active mode reaches the running program, which is
        # neither restarted nor announced again.
        for level in (6, 5):
            self.pen.mode("spotlight", level)
            self.wait(lambda: self.segment("Halvix_shared") == level, "Halvix_shared holding %d" % level)
            program.wait_for_log("Halvix Size: %d" % level)
        self.assertEqual(list(self.running()), ["Halvix"])

        self.pen.mode("normal", 0)
        self.wait(lambda: self.running() == {}, "every effect program stopped")
        program.wait_for_log("pInt: 0", 3)

        self.assertEqual(self.starts(), ["Dotrix", "Loupex", "Halvix"])
        self.assertEqual(program.count("Mode balloon:"), 3)
        self.assertEqual({key: self.segment(key) for key in SEGMENTS.values()},
                         {"Dotrix_shared": 7, "Magnifier_shared": 3, "Halvix_shared": 5})
        self.assertTrue(program.running())

    def test_missing_effect_program_is_reported(self):
        program = self.start_program()
        os.rename(os.path.join(self.app, "Loupex"), os.path.join(self.app, "Loupex.away"))
        self.addCleanup(os.rename, os.path.join(self.app, "Loupex.away"), os.path.join(self.app, "Loupex"))

        self.pen.mode("magnifier", 4)
        program.wait_for_log('Mode balloon: "Prompt" "Magnifier mode: Loupex could not be started."')
        self.wait(lambda: self.segment("Magnifier_shared") == 4, "Magnifier_shared holding 4")
        self.assertEqual(self.running(), {})
        self.assertEqual(program.count('"Magnifier mode"'), 0)
        self.pen.mode("normal", 0)

    def test_notice_appears_near_the_top(self):
        self.start_program()
        self.pen.notice("magnifier")
        windows = harness.wait_until(lambda: self.desktop.visible_windows("^Dialog$"), TIMEOUT,
                                     message="the mode notice")
        x, y, width, height = self.desktop.window_geometry(windows[0])
        self.assertEqual((width, height), (300, 100))
        self.assertEqual((x, y), (self.desktop.width // 2 - 150, 200))

        # Red text on the notice, wherever the font puts it. The notice stays
        # for about two seconds; a busy machine may miss it, so it is asked for
        # again until a screenshot has caught it.
        caught = []

        def red_text():
            if not self.desktop.visible_windows("^Dialog$"):
                self.pen.notice("magnifier")
                return False
            shot = self.desktop.screenshot()
            image = harness.Image.load(shot)
            reds = 0
            for py in range(y, y + height, 2):
                for px in range(x, x + width, 2):
                    r, g, b = image.pixel(px, py)
                    if r > 180 and g < 90 and b < 90:
                        reds += 1
            if reds > 20:
                caught.append(shot)
            return reds > 20
        harness.wait_until(red_text, TIMEOUT, message="red text in the notice")
        keep = os.environ.get("QUORVANT_SCREENSHOT_DIR")
        if keep:
            shutil.copy(caught[0], os.path.join(keep, "mode-notice.png"))

        # It goes again by itself.
        harness.wait_until(lambda: not self.desktop.visible_windows("^Dialog$"), TIMEOUT,
                           message="the notice to go")


if __name__ == "__main__":
    unittest.main()
