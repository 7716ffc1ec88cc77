"""The pen's modes, end to end: driven by the simulated receiver, the real
program starts and stops the effect programs beside it (stand-ins that note
their start) and hands them their sizes, read from outside with
quorvant-segment; the mode notice comes up near the top of the screen."""

import os
import shutil
import subprocess
import tempfile
import unittest

import harness
from harness import SEGMENTS

NOBODY = 65534


class Modes(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = harness.set_up(self)

    def test_modes_start_and_stop_the_effect_programs(self):
        bench, pen = self.bench, self.pen
        program = bench.start_program()
        for mode, size, name, level, balloon in (("laser", 7, "Dotrix", 7, "Laser pointer mode"),
                                                 ("magnifier", 0, "Loupex", 3, "Magnifier mode"),
                                                 ("spotlight", 5, "Halvix", 5, "Spotlight mode!")):
            pen.mode(mode, size)
            bench.wait_effect(name, level)
            program.wait_for_log('Mode balloon: "Prompt" "%s"' % balloon)

        # A new size in the active mode reaches the running program, which is
        # neither restarted nor announced again.
        for level in (6, 5):
            pen.mode("spotlight", level)
            program.wait_for_log("Halvix Size: %d" % level)
            bench.wait_effect("Halvix", level)

        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "every effect program stopped")
        program.wait_for_log("pInt: 0", 3)
        self.assertEqual(bench.starts(), ["Dotrix", "Loupex", "Halvix"])
        self.assertEqual(program.count("Mode balloon:"), 3)
        self.assertEqual({key: bench.segment(key) for key in SEGMENTS.values()},
                         {"Dotrix_shared": 7, "Magnifier_shared": 3, "Halvix_shared": 5})

    def test_strangers_named_like_an_effect_program_are_left_alone(self):
        bench, pen = self.bench, self.pen
        program = bench.start_program()
        # A program named Halvix that is not ours, run by this user and by
        # another one, where the program sees them.
        folder = tempfile.mkdtemp(prefix="quorvant-stranger-")
        self.addCleanup(shutil.rmtree, folder, True)
        os.chmod(folder, 0o755)
        stranger = shutil.copy("/bin/sleep", os.path.join(folder, "Halvix"))
        for user in ([], harness.as_user(NOBODY)):
            process = subprocess.Popen(program.beside() + user + [stranger, "600"])
            self.addCleanup(harness.end, process)

        def strangers():
            return [pid for pid in harness.processes_named("Halvix") if folder in harness.read("/proc/%d/cmdline" % pid)]

        harness.wait_until(lambda: len(strangers()) == 2, message="both strangers")
        alive = strangers()

        pen.mode("spotlight", 5)
        bench.wait_effect("Halvix", 5)
        program.wait_for_log('Mode balloon: "Prompt" "Spotlight mode!"')
        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "Halvix stopped")
        program.wait_for_log("pInt: 0")
        self.assertEqual(program.count("is running!"), 0)
        self.assertEqual(strangers(), alive)

    def test_notice_appears_near_the_top(self):
        self.bench.start_program()
        self.pen.notice("magnifier")
        window = harness.wait_until(lambda: self.desktop.visible_windows("^Dialog$"), message="the notice")[0]
        x, y, width, height = self.desktop.window_geometry(window)
        self.assertEqual((x, y, width, height), (self.desktop.width // 2 - 150, 200, 300, 100))

        # Red text on it, wherever the font puts it. It stays for about two
        # seconds, which a busy machine may miss: it is asked for again until
        # a screenshot has caught it.
        def red_text():
            if not self.desktop.visible_windows("^Dialog$"):
                self.pen.notice("magnifier")
                return False
            image = self.desktop.image()
            reds = sum(r > 180 and g < 90 and b < 90 for r, g, b in
                       (image.pixel(px, py) for py in range(y, y + height, 2) for px in range(x, x + width, 2)))
            return reds > 20

        harness.wait_until(red_text, message="red text in the notice")
        self.desktop.keep("mode-notice")
        # It goes again by itself.
        harness.wait_until(lambda: not self.desktop.visible_windows("^Dialog$"), message="the notice to go")


if __name__ == "__main__":
    unittest.main()
