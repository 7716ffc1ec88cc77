"""The program installed where its user cannot write, as a package puts it,
run by an ordinary user: the sizes are kept in the user's own configuration
folder instead of being lost (even where the file beside the program is
the user's to write), a file already beside the program is still read until
then, and the next start reads the user's file."""

import os
import shutil
import stat
import unittest

import harness
from simpen import SimPen

NOBODY = 65534


def open_to_all(path):
    os.chmod(path, os.stat(path).st_mode | stat.S_IRWXO | stat.S_IRWXG | stat.S_IRWXU)


class InstalledLayout(unittest.TestCase):
    def setUp(self):
        self.pen = SimPen().start()
        self.addCleanup(self.pen.stop)
        # The user reaches the receiver's socket and makes segments of its own.
        for path in (os.path.dirname(self.pen.socket_path), self.pen.socket_path):
            open_to_all(path)
        self.bench = harness.Bench(pen=self.pen)
        self.addCleanup(self.bench.close)
        # No effect programs: the sizes are what this is about.
        for name in harness.SEGMENTS:
            os.remove(os.path.join(self.bench.app, name))
        open_to_all(self.bench.ipc_dir)
        os.chmod(self.bench.app, 0o755)  # root's, as /usr/lib/quorvant is
        self.home = harness.private_home()
        self.addCleanup(shutil.rmtree, self.home["HOME"], True)
        for folder, _, files in os.walk(self.home["HOME"]):
            os.chown(folder, NOBODY, NOBODY)

    def run_as_user(self, report=None):
        program = harness.Program(self.bench.app, pen=self.pen, home=self.home, env=self.bench.env, isolated=True)
        # Into the namespace as root, then down to the ordinary user.
        program.command[2:2] = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
        program.start()
        self.addCleanup(program.stop)
        self.pen.wait_sent(1)
        if report:
            mode, size, key = report
            self.pen.mode(mode, size)
            self.bench.wait(lambda: self.bench.segment(key) == size, "the mode report taken", program)
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


if __name__ == "__main__":
    unittest.main()
