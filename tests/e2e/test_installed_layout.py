"""The program installed where its user cannot write, as a package puts it,
run by ordinary users: the sizes are kept in the user's own configuration
folder instead of being lost (even where the file beside the program is
the user's to write), a file already beside the program is still read until
then, and the next start reads the user's file. Two users' copies run at
once, each with segments of its own in its own runtime folder."""

import fcntl
import os
import shutil
import stat
import unittest

import harness
from simpen import SimPen

NOBODY = 65534
# A user with no account, as a second person on the machine.
OTHER = 65533


def open_to_all(path):
    os.chmod(path, os.stat(path).st_mode | stat.S_IRWXO | stat.S_IRWXG | stat.S_IRWXU)


class InstalledLayout(unittest.TestCase):
    def setUp(self):
        self.pen = self.start_pen()
        self.bench = harness.Bench(pen=self.pen)
        self.addCleanup(self.bench.close)
        # No effect programs: the sizes are what this is about.
        for name in harness.SEGMENTS:
            os.remove(os.path.join(self.bench.app, name))
        os.chmod(self.bench.app, 0o755)  # root's, as /usr/lib/quorvant is
        self.home = self.user_home(NOBODY)

    def start_pen(self):
        """A receiver whose socket the users reach."""
        pen = SimPen().start()
        self.addCleanup(pen.stop)
        for path in (os.path.dirname(pen.socket_path), pen.socket_path):
            open_to_all(path)
        return pen

    def user_home(self, user):
        home = harness.private_home(user)
        self.addCleanup(shutil.rmtree, home["HOME"], True)
        # The segments the user's copies leave behind go with the test.
        self.addCleanup(harness.remove_segments, home["XDG_RUNTIME_DIR"])
        return home

    def start_as(self, user, home, pen):
        program = harness.Program(self.bench.app, pen=pen, home=home, isolated=True)
        # Into the namespace as root, then down to the ordinary user.
        program.command[2:2] = harness.as_user(user)
        program.start()
        self.addCleanup(program.stop)
        pen.wait_sent(1)
        return program

    def segment(self, user, home, key):
        return self.bench.segment(key, runtime=home["XDG_RUNTIME_DIR"], user=user)

    def run_as_user(self, report=None):
        program = self.start_as(NOBODY, self.home, self.pen)
        if report:
            mode, size, key = report
            self.pen.mode(mode, size)
            self.bench.wait(lambda: self.segment(NOBODY, self.home, key) == size, "the mode report taken", program)
        self.assertEqual(program.terminate(), 0)
        self.pen.clear_sent()
        return program

    def test_sizes_survive_a_folder_the_user_cannot_write(self):
        beside = os.path.join(self.bench.app, "setting_Quorvant.ini")
        with open(beside, "w") as f:
            f.write("[config]\nMagnifeerSize=7\nQyLightSize=2\nredDotrixSize=1\n")
        # The user's to write, in a folder that takes no new file: the file is
        # saved whole into a new one beside it, so it cannot be saved there.
        os.chown(beside, NOBODY, NOBODY)
        program = self.run_as_user(("laser", 9, "Dotrix_shared"))
        self.assertEqual(program.count("Settings not written"), 0)
        # Read from beside the program, written to the user's own file.
        self.assertEqual(program.saved_sizes(program.user_settings_path), (7, 2, 9))
        self.assertEqual(program.saved_sizes(beside), (7, 2, 1))
        self.assertEqual(os.stat(program.user_settings_path).st_uid, NOBODY)

        # From now on the user's file is the one read.
        self.run_as_user(("spotlight", 4, "Halvix_shared"))
        self.assertEqual(program.saved_sizes(program.user_settings_path), (7, 4, 9))
        program = self.run_as_user()
        self.assertEqual(program.saved_sizes(program.user_settings_path), (7, 4, 9))

    def test_two_users_at_once_each_with_segments_of_their_own(self):
        users = ((NOBODY, self.home, self.pen, 9), (OTHER, self.user_home(OTHER), self.start_pen(), 4))
        programs = [self.start_as(user, home, pen) for user, home, pen, _ in users]
        for (user, home, pen, size), program in zip(users, programs):
            pen.mode("laser", size)
        for (user, home, pen, size), program in zip(users, programs):
            self.bench.wait(lambda: self.segment(user, home, "Dotrix_shared") == size, "%d's size" % user, program)
            key_file = os.path.join(home["XDG_RUNTIME_DIR"], "quorvant", "Dotrix_shared")
            self.assertEqual(os.stat(key_file).st_uid, user)
            self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(key_file)).st_mode), 0o700)

        # One user's lock held for good, by a process stopped while it holds
        # it: the other user's copy goes on, and the holder's own gives up on
        # its segment for a moment, says so, and takes the next size.
        held = os.path.join(self.home["XDG_RUNTIME_DIR"], "quorvant", "Dotrix_shared")
        with open(held) as holder:
            fcntl.flock(holder, fcntl.LOCK_EX)
            users[1][2].mode("laser", 5)
            self.bench.wait(lambda: self.segment(OTHER, users[1][1], "Dotrix_shared") == 5, "the other's new size",
                            programs[1])
            self.pen.mode("laser", 8)
            programs[0].wait_for_log("its lock was held elsewhere")
        self.pen.mode("laser", 7)
        self.bench.wait(lambda: self.segment(NOBODY, self.home, "Dotrix_shared") == 7, "the size after the lock",
                        programs[0])
        for program, sizes in zip(programs, ((3, 3, 7), (3, 3, 5))):
            self.assertEqual(program.terminate(), 0)
            self.assertEqual(program.saved_sizes(program.user_settings_path), sizes)


if __name__ == "__main__":
    unittest.main()
