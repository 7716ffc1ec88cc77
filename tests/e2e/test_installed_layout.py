"""What is on disk, with the real program: sizes kept by a user who cannot
write beside it, and what a killed copy leaves."""

import os
import shutil
import signal
import stat
import unittest

from tests.support.desktops import dead, listening, wait_until
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import SEGMENTS, Bench, Program, private_home, set_up

NOBODY = 65534


class InstalledLayout(unittest.TestCase):
    def test_sizes_kept_by_a_user_who_cannot_write_beside_the_program(self):
        # A receiver whose socket the user reaches.
        pen = SimPen().start()
        self.addCleanup(pen.stop)
        for path in (os.path.dirname(pen.socket_path), pen.socket_path):
            os.chmod(path, os.stat(path).st_mode | stat.S_IRWXO | stat.S_IRWXG | stat.S_IRWXU)
        bench = Bench(pen=pen)
        self.addCleanup(bench.close)
        # No effect programs: the sizes are what this is about.
        for name in SEGMENTS:
            os.remove(os.path.join(bench.app, name))
        os.chmod(bench.app, 0o755)  # root's, as /usr/lib/quorvant is
        home = private_home(NOBODY)
        self.addCleanup(shutil.rmtree, home["HOME"], True)

        beside = os.path.join(bench.app, "setting_Quorvant.ini")
        with open(beside, "w") as f:
            f.write("[config]\nMagnifeerSize=7\nQyLightSize=2\nredDotrixSize=1\n")
        # The user's to write, in a folder that takes no new file: the file is
        # saved whole into a new one beside it, so it cannot be saved there.
        os.chown(beside, NOBODY, NOBODY)
        program = Program(bench.app, pen=pen, home=home, isolated=True, user=NOBODY).start()
        self.addCleanup(program.stop)
        pen.wait_sent(1)
        pen.mode("spotlight", 9)
        bench.wait(lambda: bench.segment("Halvix_shared", runtime=home["XDG_RUNTIME_DIR"], user=NOBODY) == 9,
                   "the mode report taken", program)
        self.assertEqual(program.terminate(), 0)
        self.assertEqual(program.count("Settings not written"), 0)
        self.assertEqual(program.saved_sizes(program.user_settings_path), (7, 9, 1))
        self.assertEqual(program.saved_sizes(beside), (7, 2, 1))
        self.assertEqual(os.stat(program.user_settings_path).st_uid, NOBODY)


class StaleState(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = set_up(self, stand_ins=False)

    def test_socket_and_segments_of_a_killed_program(self):
        bench, pen = self.bench, self.pen
        first = bench.start_program()
        socket = first.instance_socket()
        pen.mode("laser", 9)
        bench.wait_effect("Dotrix", 9)

        # The effect program dies with the program's namespace.
        pid = first.program_pid()
        os.kill(pid, signal.SIGKILL)
        bench.wait(lambda: dead(pid), "%d to die" % pid)
        self.assertEqual(first.wait(), 128 + signal.SIGKILL)
        bench.wait(lambda: not bench.running(), "the effect program to go with the namespace")
        self.assertTrue(os.path.exists(socket), "a killed copy leaves its socket behind")
        for key in SEGMENTS.values():
            self.assertEqual(bench.mapped_by(key), [], "%s is left with nobody holding it" % key)

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
