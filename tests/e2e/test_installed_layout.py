"""What is on disk, with the real program: installed where its user cannot
write, as a package puts it, the sizes read from beside the program are kept
in the user's own configuration folder (where the location is chosen is a
unit test's). Two users' copies run at once, each with segments of its own
in its own runtime folder. What a crash leaves (the single-instance socket,
size segments with nobody attached) stops neither the next run nor its guard
against a second copy."""

import os
import shutil
import signal
import stat
import unittest

from tests.support.desktops import dead, listening, wait_until
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import SEGMENTS, Bench, Program, private_home, remove_segments, set_up

NOBODY = 65534
# A user with no account, as a second person on the machine.
OTHER = 65533


class InstalledLayout(unittest.TestCase):
    def setUp(self):
        self.pen = self.start_pen()
        self.bench = Bench(pen=self.pen)
        self.addCleanup(self.bench.close)
        # No effect programs: the sizes are what this is about.
        for name in SEGMENTS:
            os.remove(os.path.join(self.bench.app, name))
        os.chmod(self.bench.app, 0o755)  # root's, as /usr/lib/quorvant is
        self.home = self.user_home(NOBODY)

    def start_pen(self):
        """A receiver whose socket the users reach."""
        pen = SimPen().start()
        self.addCleanup(pen.stop)
        for path in (os.path.dirname(pen.socket_path), pen.socket_path):
            os.chmod(path, os.stat(path).st_mode | stat.S_IRWXO | stat.S_IRWXG | stat.S_IRWXU)
        return pen

    def user_home(self, user):
        home = private_home(user)
        self.addCleanup(shutil.rmtree, home["HOME"], True)
        # The segments the user's copies leave behind go with the test.
        self.addCleanup(remove_segments, home["XDG_RUNTIME_DIR"])
        return home

    def start_as(self, user, home, pen):
        program = Program(self.bench.app, pen=pen, home=home, isolated=True, user=user).start()
        self.addCleanup(program.stop)
        pen.wait_sent(1)
        return program

    def segment(self, user, home, key):
        return self.bench.segment(key, runtime=home["XDG_RUNTIME_DIR"], user=user)

    def test_sizes_kept_by_a_user_who_cannot_write_beside_the_program(self):
        beside = os.path.join(self.bench.app, "setting_Quorvant.ini")
        with open(beside, "w") as f:
            f.write("[config]\nMagnifeerSize=7\nQyLightSize=2\nredDotrixSize=1\n")
        # The user's to write, in a folder that takes no new file: the file is
        # saved whole into a new one beside it, so it cannot be saved there.
        os.chown(beside, NOBODY, NOBODY)
        program = self.start_as(NOBODY, self.home, self.pen)
        self.pen.mode("spotlight", 9)
        self.bench.wait(lambda: self.segment(NOBODY, self.home, "Halvix_shared") == 9, "the mode report taken", program)
        self.assertEqual(program.terminate(), 0)
        self.assertEqual(program.count("Settings not written"), 0)
        self.assertEqual(program.saved_sizes(program.user_settings_path), (7, 9, 1))
        self.assertEqual(program.saved_sizes(beside), (7, 2, 1))
        self.assertEqual(os.stat(program.user_settings_path).st_uid, NOBODY)

    def test_two_users_at_once_each_with_segments_of_their_own(self):
        users = ((NOBODY, self.home, self.pen, 9), (OTHER, self.user_home(OTHER), self.start_pen(), 4))
        programs = [self.start_as(user, home, pen) for user, home, pen, _ in users]
        for _, _, pen, size in users:
            pen.mode("laser", size)
        for (user, home, pen, size), program in zip(users, programs):
            self.bench.wait(lambda: self.segment(user, home, "Dotrix_shared") == size, "%d's size" % user, program)
            key_file = os.path.join(home["XDG_RUNTIME_DIR"], "quorvant", "Dotrix_shared")
            self.assertEqual(os.stat(key_file).st_uid, user)
            self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(key_file)).st_mode), 0o700)
        for program, size in zip(programs, (9, 4)):
            self.assertEqual(program.terminate(), 0)
            self.assertEqual(program.saved_sizes(program.user_settings_path), (3, 3, size))


class StaleState(unittest.TestCase):
    """A real program killed by SIGKILL, and the next run. (A segment an
    effect program left behind is attached to in test_core.)"""

    def setUp(self):
        self.desktop, self.pen, self.bench = set_up(self, stand_ins=False)

    def kill(self, pid):
        os.kill(pid, signal.SIGKILL)
        self.bench.wait(lambda: dead(pid), "%d to die" % pid)

    def test_socket_and_segments_of_a_killed_program(self):
        bench, pen = self.bench, self.pen
        first = bench.start_program()
        socket = first.instance_socket()
        pen.mode("laser", 9)
        bench.wait_effect("Dotrix", 9)

        # The effect program dies with the program's namespace.
        self.kill(first.program_pid())
        self.assertEqual(first.wait(), 128 + signal.SIGKILL)
        bench.wait(lambda: not bench.running(), "the effect program to go with the namespace")
        self.assertTrue(os.path.exists(socket), "a killed copy leaves its socket behind")
        for key in SEGMENTS.values():
            self.assertEqual(bench.segment_record(key)[1], 0, "%s is left with nobody attached" % key)

        # The next start in the same runtime folder takes the socket over, and
        # hands over the size, an absurd one as it is: the effect program
        # clamps it, and is still there to be stopped.
        second = bench.start_program(home=first.home)
        wait_until(lambda: listening(socket), message="the next copy to listen")
        code, err = second.run_second_copy()
        self.assertEqual((code, err.splitlines()[-1:]), (0, ["quorvant already running."]))
        pen.mode("laser", 255)
        bench.wait_effect("Dotrix", 255, second)
        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "Dotrix stopped", second)
        self.assertEqual(second.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
