"""The pen's modes, end to end: driven by the simulated receiver, the real
program starts and stops the effect programs beside it (stand-ins that note
their start) and hands them their sizes, read from outside with
quorvant-segment; the mode notice comes up near the top of the screen.
Under a window manager, neither the notice nor an effect takes the focus
from a full-screen slide show."""

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


# A full-screen slide show that notes every key it is given, by keysym.
SLIDE = """
import sys
from Xlib import X, Xutil, display
d = display.Display()
screen = d.screen()
w = screen.root.create_window(0, 0, screen.width_in_pixels, screen.height_in_pixels, 0, screen.root_depth,
                              background_pixel=0x204080, event_mask=X.KeyPressMask)
w.set_wm_name("Slide")
w.set_wm_hints(flags=Xutil.InputHint, input=1)
w.change_property(d.intern_atom("_NET_WM_STATE"), d.intern_atom("ATOM"), 32,
                  [d.intern_atom("_NET_WM_STATE_FULLSCREEN")])
w.map()
while True:
    event = d.next_event()
    if event.type == X.KeyPress:
        with open(sys.argv[1], "a") as keys:
            keys.write("%#x\\n" % d.keycode_to_keysym(event.detail, 0))
"""
RIGHT = "0xff53"
SLIDE_BLUE = (0x20, 0x40, 0x80)


class Focus(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = harness.set_up(self, stand_ins=False, window_manager=True)
        self.keys = os.path.join(self.desktop.folder, "keys")
        self.desktop.run_beside(["/usr/bin/python3", "-c", SLIDE, self.keys])
        self.slide = harness.wait_until(lambda: self.desktop.visible_windows("^Slide$"), message="the slide")[0]
        harness.wait_until(lambda: self.desktop.focused_window() == self.slide, message="the slide focused")

    def keys_received(self):
        return harness.read(self.keys).split()

    def test_notices_and_effects_leave_the_focus_with_the_slide(self):
        self.bench.start_program()
        pressed = 0

        # Right typed into whatever has the focus, as a presenter does, while
        # the notice is up; a busy machine may let it go first, and it is
        # asked for again.
        def typed_during_notice():
            nonlocal pressed
            self.pen.notice("laser")
            shown = harness.wait_until(lambda: self.desktop.visible_windows("^Dialog$"), message="the notice")
            self.desktop.xdotool("key", "Right")
            pressed += 1
            image = self.desktop.image()
            self.desktop.keep("notice-over-full-screen")
            return self.desktop.visible_windows("^Dialog$") == shown and (shown[0], image)

        notice, image = harness.wait_until(typed_during_notice, message="a key typed while the notice is up")
        harness.wait_until(lambda: len(self.keys_received()) == pressed, message="every Right at the slide")
        self.assertEqual(self.desktop.focused_window(), self.slide)
        types = harness.output("xprop", "-id", notice, "_NET_WM_WINDOW_TYPE", env=self.desktop.env())
        self.assertIn("_NET_WM_WINDOW_TYPE_NOTIFICATION", types)
        # The panel stays behind the full-screen slide.
        x, y, width, height = self.desktop.tray_geometry()
        self.assertEqual(image.pixel(x + width // 2, y + height // 2), SLIDE_BLUE)

        # An effect program's start takes nothing either.
        self.pen.mode("laser", 5)
        self.bench.wait_effect("Dotrix", 5)
        harness.wait_until(lambda: self.desktop.visible_windows("^Dotrix$"), message="the laser dot's window")
        self.desktop.xdotool("key", "Right")
        pressed += 1
        harness.wait_until(lambda: len(self.keys_received()) == pressed, message="Right at the slide under the effect")
        self.assertEqual(self.desktop.focused_window(), self.slide)
        self.assertEqual(set(self.keys_received()), {RIGHT})


if __name__ == "__main__":
    unittest.main()
