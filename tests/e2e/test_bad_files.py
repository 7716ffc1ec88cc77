"""Whatever is left on disk: the real program starts and runs with a settings
file of bad values, empty, binary garbage or a folder in its place (then
the sizes go to the user's own file), and without its data folder. What it
read shows in the file its orderly exit writes."""

import os
import random
import unittest

import harness
from simpen import SimPen

GARBAGE = bytes(random.Random(7).getrandbits(8) for _ in range(4096))


def config(magnifier, spotlight, laser):
    return ("[config]\nMagnifeerSize=%s\nQyLightSize=%s\nredDotrixSize=%s\n" % (magnifier, spotlight, laser)).encode()


class BadFiles(unittest.TestCase):
    def test_settings_files(self):
        rows = [
            ("no file", None, (3, 3, 3)),
            ("not numbers", config("abc", "4x", ""), (0, 0, 0)),
            ("negative, past an int", config(-7, 2147483648, -99999999999), (-7, 0, 0)),
            ("empty", b"", (3, 3, 3)),
            ("binary garbage", GARBAGE, (3, 3, 3)),
            ("a folder in its place", "folder", None),
        ]
        pen = SimPen().start()
        self.addCleanup(pen.stop)
        for name, contents, expected in rows:
            with self.subTest(name):
                pen.reset()
                bench = harness.Bench(pen=pen)
                self.addCleanup(bench.close)
                path = os.path.join(bench.app, "setting_Quorvant.ini")
                if contents == "folder":
                    os.makedirs(os.path.join(path, "config"))
                elif contents is not None:
                    with open(path, "wb") as f:
                        f.write(contents)
                program = bench.start_program()
                pen.wait_sent(1)  # running: it has the receiver open and asks for the mapping
                self.assertEqual(program.terminate(), 0)
                if expected is None:
                    # Nothing can be written there: the user's own file takes the sizes.
                    self.assertTrue(os.path.isdir(path))
                    self.assertEqual(program.saved_sizes(program.user_settings_path), (3, 3, 3))
                else:
                    self.assertEqual(program.saved_sizes(), expected)

    def test_missing_data_folder(self):
        desktop, pen, bench = harness.set_up(self, data=False)
        self.assertFalse(os.path.exists(os.path.join(bench.app, "data")))
        program = bench.start_program()
        # The mapping is read back, the modes are followed, the notice shows.
        pen.wait_sent(1)
        pen.mode("spotlight", 5)
        bench.wait_effect("Halvix", 5)
        pen.notice("spotlight")
        harness.wait_until(lambda: desktop.visible_windows("^Dialog$"), message="the mode notice")
        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "Halvix stopped")
        # A second start brings the window up, title icon and all missing.
        self.assertEqual(program.run_second_copy()[0], 0)
        harness.wait_until(lambda: desktop.visible_windows("^Widget$"), message="the main window")
        self.assertEqual(program.terminate(), 0)
        self.assertEqual(program.saved_sizes(), (3, 5, 3))


if __name__ == "__main__":
    unittest.main()
