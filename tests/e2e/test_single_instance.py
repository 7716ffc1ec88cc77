"""One copy of the program at a time, with real processes on a real display."""

import os
import signal
import time
import unittest

import harness


def answers(path):
    """Whether a copy is listening on the guard's socket, not just a file
    left behind. Read from the kernel's table, since connecting would itself
    count as a later copy and bring the window up."""
    with open("/proc/net/unix") as table:
        for line in table.read().splitlines()[1:]:
            fields = line.split()
            # Flags 00010000: the socket accepts connections.
            if len(fields) >= 8 and fields[7] == path and int(fields[3], 16) & 0x10000:
                return True
    return False


class SingleInstance(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop()
        cls.desktop.start()
        cls.app = harness.install_app(effects=False)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def start_first(self, args=()):
        first = harness.Program(self.app, self.desktop, args=args)
        first.start()
        self.addCleanup(first.stop)
        socket = os.path.join(first.home["XDG_RUNTIME_DIR"], "quorvant")
        harness.wait_until(lambda: answers(socket), 30, message="the single-instance guard")
        return first, socket

    def main_window_shown(self):
        return self.desktop.visible_windows("^Widget$")

    def test_second_copy_prints_its_line_and_shows_the_first_window(self):
        first, _ = self.start_first()
        self.assertFalse(self.main_window_shown(), "start-up must not show the window")

        code, err = first.run_second_copy()
        self.assertEqual(code, 0)
        self.assertEqual(err.splitlines()[-1:], ["quorvant already running."])
        harness.wait_until(self.main_window_shown, 30, message="the first copy's window")
        self.assertTrue(first.running())

        # A third launch while the window is up changes nothing else.
        code, err = first.run_second_copy(args=["-bg"])
        self.assertEqual(code, 0)
        self.assertIn("quorvant already running.", err)
        self.assertTrue(first.running())

    def test_autostarted_copy_keeps_its_window_hidden(self):
        first, _ = self.start_first(args=["-bg"])
        code, err = first.run_second_copy()
        self.assertEqual(code, 0)
        self.assertEqual(err.splitlines()[-1:], ["quorvant already running."])
        # Bounded check of a negative: the window must stay hidden for as
        # long as the first copy could take to react.
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            self.assertFalse(self.main_window_shown())
            time.sleep(0.1)
        self.assertTrue(first.running())

    def test_a_crashed_copy_does_not_stop_the_next_start(self):
        first, socket = self.start_first()
        first.signal(signal.SIGKILL)
        first.wait()
        self.assertTrue(os.path.exists(socket), "a killed copy leaves its socket behind")

        # Same user, same runtime directory: the leftover must be taken over.
        second = harness.Program(self.app, self.desktop, home=first.home)
        second.start()
        self.addCleanup(second.stop)
        # The leftover file is there from the start: wait for it to answer.
        harness.wait_until(lambda: answers(socket), 30, message="the next copy to listen")
        self.assertTrue(second.running())
        code, err = second.run_second_copy()
        self.assertEqual(code, 0)
        self.assertIn("quorvant already running.", err)
        harness.wait_until(self.main_window_shown, 30, message="the new copy's window")

    def test_other_users_files_in_tmp_do_not_matter(self):
        # Without a runtime directory the guard lives in a private folder of
        # the temp directory; a stranger's folder of that name is not trusted.
        home = harness.private_home()
        home["XDG_RUNTIME_DIR"] = ""
        tmp = os.path.join(home["HOME"], "tmp")
        os.mkdir(tmp)
        squatted = os.path.join(tmp, "quorvant-%d" % os.getuid())
        os.mkdir(squatted, 0o777)
        os.chmod(squatted, 0o777)
        first = harness.Program(self.app, self.desktop, home=home, env={"TMPDIR": tmp})
        first.start()
        self.addCleanup(first.stop)
        # It runs (unguarded) instead of being stopped by the stranger's folder.
        harness.wait_until(lambda: first.count("already running") == 0 and first.running()
                           and self._has_window_or_tray(first), 30, message="the program to come up")
        self.assertEqual(os.listdir(squatted), [])

    def _has_window_or_tray(self, program):
        # The program is up once its X client exists; its tray icon is one.
        out = self.desktop.xdotool("search", "--pid", str(program.process.pid))
        return out.returncode == 0 and out.stdout.strip() != ""


if __name__ == "__main__":
    unittest.main()
