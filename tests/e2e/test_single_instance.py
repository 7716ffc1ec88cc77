"""One copy of the program at a time, with real processes on a real display.
A copy that crashed and left its socket behind is in test_stale_state."""

import os
import shutil
import time
import unittest

import harness


class SingleInstance(unittest.TestCase):
    def setUp(self):
        self.desktop = harness.Desktop().start()
        self.addCleanup(self.desktop.stop)
        self.app = harness.install_app(effects=False)
        self.addCleanup(shutil.rmtree, self.app)

    def start(self, args=(), home=None, env=None):
        program = harness.Program(self.app, self.desktop, args=args, home=home, env=env).start()
        self.addCleanup(program.stop)
        return program

    def window_shown(self):
        return self.desktop.visible_windows("^Widget$")

    def test_second_copy_shows_the_first_window_unless_it_was_autostarted(self):
        for args in ([], ["-bg"]):
            with self.subTest(args=args):
                first = self.start(args)
                socket = first.instance_socket()
                harness.wait_until(lambda: harness.listening(socket), message="the single-instance guard")
                self.assertFalse(self.window_shown(), "start-up must not show the window")
                code, err = first.run_second_copy()
                self.assertEqual((code, err.splitlines()[-1:]), (0, ["quorvant already running."]))
                if not args:
                    harness.wait_until(self.window_shown, message="the first copy's window")
                # A negative, watched for as long as the first copy could take to react.
                deadline = time.monotonic() + 3
                while args and time.monotonic() < deadline:
                    self.assertFalse(self.window_shown())
                    time.sleep(0.1)
                self.assertTrue(first.running())
                first.stop()

    def test_a_strangers_folder_in_tmp_neither_stops_nor_is_used(self):
        # Without a runtime directory the guard lives in a private folder of
        # the temp directory; a folder of that name open to all is not trusted.
        home = dict(harness.private_home(), XDG_RUNTIME_DIR="")
        tmp = os.path.join(home["HOME"], "tmp")
        squatted = os.path.join(tmp, "quorvant-%d" % os.getuid())
        os.makedirs(squatted)
        os.chmod(squatted, 0o777)
        program = self.start(home=home, env={"TMPDIR": tmp})
        # It comes up (its tray icon is an X client) instead of giving way.
        harness.wait_until(lambda: self.desktop.xdotool("search", "--pid", str(program.process.pid)).stdout,
                           message="the program to come up")
        self.assertTrue(program.running())
        self.assertEqual(program.count("already running"), 0)
        self.assertEqual(os.listdir(squatted), [])


if __name__ == "__main__":
    unittest.main()
