"""Whatever is left on disk: the real program starts and runs with a settings
file full of bad values, empty, binary garbage or unreadable, and without its
data folder. What it read shows in the file its orderly exit writes.

As root every file is readable, so an unreadable settings file is a folder in
its place there; chmod 000 is tried as well when the tests do not run as root.
"""

import configparser
import os
import random
import shutil
import unittest

import harness
from effectbench import EffectBench
from simpen import SimPen

TIMEOUT = 60
KEYS = ("MagnifeerSize", "QyLightSize", "redDotrixSize")


def config(magnifier, spotlight, laser):
    return ("[config]\nMagnifeerSize=%s\nQyLightSize=%s\nredDotrixSize=%s\n" % (magnifier, spotlight, laser)).encode()


def saved_sizes(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    with open(path, "rb") as f:
        parser.read_string(f.read().decode("latin-1"))
    return tuple(parser.getint("config", key) for key in KEYS)


class BadFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pen = SimPen()
        cls.pen.start()

    @classmethod
    def tearDownClass(cls):
        cls.pen.stop()

    def setUp(self):
        self.pen.reset()

    def run_program(self, bench, settings=None):
        """Starts the program on the given settings file contents (None: no
        file, a callable: it makes the file), checks it runs, ends it in order
        and returns its log."""
        path = os.path.join(bench.app, "setting_Quorvant.ini")
        if callable(settings):
            settings(path)
        elif settings is not None:
            with open(path, "wb") as f:
                f.write(settings)
        program = bench.start_program()
        # Running: it has the receiver open and asks for the mapping.
        self.pen.wait_sent(1, TIMEOUT)
        self.assertTrue(program.running())
        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))
        return program

    def test_settings_values_and_files(self):
        rng = random.Random(7)
        garbage = bytes(rng.getrandbits(8) for _ in range(4096))
        rows = [
            ("no file", None, (3, 3, 3)),
            ("letters, a trailing letter, nothing", config("abc", "4x", ""), (0, 0, 0)),
            ("negative", config(-7, -1, -2147483648), (-7, -1, -2147483648)),
            ("largest int", config(2147483647, 255, 256), (2147483647, 255, 256)),
            ("past an int", config(2147483648, 99999999999, -99999999999), (0, 0, 0)),
            ("empty", b"", (3, 3, 3)),
            ("binary garbage", garbage, (3, 3, 3)),
            ("garbage after the group", b"[config]\nQyLightSize=6\n" + garbage, (3, 6, 3)),
        ]
        for name, contents, expected in rows:
            with self.subTest(name):
                bench = EffectBench(pen=self.pen)
                self.addCleanup(bench.close)
                self.run_program(bench, contents)
                self.assertEqual(saved_sizes(os.path.join(bench.app, "setting_Quorvant.ini")), expected)
                self.pen.reset()

    def test_folder_in_place_of_the_settings_file(self):
        bench = EffectBench(pen=self.pen)
        self.addCleanup(bench.close)
        program = self.run_program(bench, lambda path: os.makedirs(os.path.join(path, "config")))
        self.assertEqual(program.count("Settings not written:"), 1)
        self.assertTrue(os.path.isdir(os.path.join(bench.app, "setting_Quorvant.ini")))

    def test_unreadable_settings_file(self):
        if os.geteuid() == 0:
            self.skipTest("the superuser reads any file; the folder case stands in for it")
        bench = EffectBench(pen=self.pen)
        self.addCleanup(bench.close)
        path = os.path.join(bench.app, "setting_Quorvant.ini")

        def unreadable(path):
            with open(path, "wb") as f:
                f.write(config(5, 6, 7))
            os.chmod(path, 0)

        program = self.run_program(bench, unreadable)
        self.assertEqual(program.count("Settings not written:"), 1)
        os.chmod(path, 0o600)
        self.assertEqual(saved_sizes(path), (5, 6, 7), "the file must be left as it was")

    def test_missing_data_folder(self):
        desktop = harness.Desktop()
        desktop.start()
        self.addCleanup(desktop.stop)
        bench = EffectBench(desktop, self.pen, data=False)
        self.addCleanup(bench.close)
        self.assertFalse(os.path.exists(os.path.join(bench.app, "data")))

        program = bench.start_program()
        self.pen.wait_sent(1, TIMEOUT)
        # The mapping is read back, the modes are followed, the notice shows.
        self.pen.mode("spotlight", 5)
        bench.wait(lambda: bench.running() == {"Halvix"} and bench.segment("Halvix_shared") == 5,
                   "Halvix running and Halvix_shared holding 5")
        self.pen.notice("spotlight")
        harness.wait_until(lambda: desktop.visible_windows("^Dialog$"), TIMEOUT, message="the mode notice")
        self.pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "Halvix stopped")

        # A second start brings the window up, title icon and all missing.
        code, err = program.run_second_copy()
        self.assertEqual(code, 0, err)
        harness.wait_until(lambda: desktop.visible_windows("^Widget$"), TIMEOUT, message="the main window")
        self.assertTrue(program.running())
        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))
        self.assertEqual(saved_sizes(os.path.join(bench.app, "setting_Quorvant.ini")), (3, 5, 3))


if __name__ == "__main__":
    unittest.main()
