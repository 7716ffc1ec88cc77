"""One copy of the program at a time; usage and the version without one."""

import os
import re
import shutil
import subprocess
import unittest

from tests.support.desktops import SOURCE_DIR, TIMEOUT, Desktop, listening, wait_until
from tests.support.desktops.program import Program, install_app, private_home


class SingleInstance(unittest.TestCase):
    def setUp(self):
        self.desktop = Desktop().start()
        self.addCleanup(self.desktop.stop)
        self.app = install_app(effects=False)
        self.addCleanup(shutil.rmtree, self.app)

    def window_shown(self):
        return self.desktop.visible_windows("^Widget$")

    def test_second_copy_shows_the_first_window_however_it_was_started(self):
        # "-bg" is the autostart entry's: after login, the launcher must still
        # bring the window up.
        for args in ([], ["-bg"]):
            with self.subTest(args=args):
                first = Program(self.app, self.desktop, args=args).start()
                self.addCleanup(first.stop)
                socket = first.instance_socket()
                wait_until(lambda: listening(socket), message="the single-instance guard")
                self.assertFalse(self.window_shown(), "start-up must not show the window")
                code, err = first.run_second_copy()
                self.assertEqual((code, err.splitlines()[-1:]), (0, ["quorvant already running."]))
                wait_until(self.window_shown, message="the first copy's window")
                first.stop()

    def test_of_two_copies_started_together_one_runs(self):
        home = private_home()
        copies = [Program(self.app, self.desktop, home=home) for _ in range(2)]
        # The first copy is held back between taking its name and listening
        # on it, where a second one finds nobody to answer.
        copies[0].command[:0] = ["strace", "-f", "-qq", "-o", "/dev/null", "--seccomp-bpf", "-e", "trace=listen",
                                 "-e", "inject=listen:delay_enter=1500000"]
        copies[0].start()
        self.addCleanup(copies[0].stop)
        # A stopped strace leaves its program running; killed, the program
        # skips the leak check at exit, which cannot trace a traced process.
        self.addCleanup(subprocess.run, ["pkill", "-KILL", "-P", str(copies[0].process.pid)])
        wait_until(lambda: os.path.exists(copies[0].instance_socket()), message="the first copy's socket")
        copies[1].start()
        self.addCleanup(copies[1].stop)
        ended = wait_until(lambda: [copy for copy in copies if not copy.running()], message="one copy to give way")
        self.assertEqual(len(ended), 1, "both copies gave way")
        self.assertEqual((ended[0].wait(), ended[0].log_lines()[-1:]), (0, ["quorvant already running."]))
        survivor = copies[1 - copies.index(ended[0])]
        wait_until(lambda: listening(survivor.instance_socket()), message="the guard of the one running")

    def test_help_and_version_answer_without_starting_anything(self):
        # No display at all: a program that went on to start would fail to.
        home = private_home()
        env = {key: value for key, value in os.environ.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(home, QT_QPA_PLATFORM="xcb")
        with open(os.path.join(SOURCE_DIR, "CMakeLists.txt")) as cmake:
            version = re.search(r"project\(Quorvant VERSION ([0-9.]+)", cmake.read()).group(1)
        for args, expected in ((["--help"], "Usage: quorvant"), (["--version"], "quorvant %s\n" % version),
                               (["-bg", "--version"], "quorvant %s\n" % version)):
            with self.subTest(args=args):
                result = subprocess.run([os.path.join(self.app, "quorvant"), *args], env=env, stdin=subprocess.DEVNULL,
                                        capture_output=True, text=True, timeout=TIMEOUT)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(result.stdout.startswith(expected), result.stdout)
                self.assertEqual(os.listdir(home["XDG_RUNTIME_DIR"]), [], "no single-instance socket")


if __name__ == "__main__":
    unittest.main()
