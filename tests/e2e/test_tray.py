"""The program in a real tray: the icon follows the receiver with one read-back
request per plug-in, and the menu opens the navigation window and exits,
leaving the sizes saved and the effect program stopped, with exit code 0.
(Hiding to the tray and the ways out by signal are in test_windows.)"""

import os
import unittest

import harness

READ_BACK = b"\0\x70\x70" + bytes(30)


class Tray(unittest.TestCase):
    def setUp(self):
        # A verbose receiver logs when the program lets go of its handle.
        self.desktop, self.pen, self.bench = harness.set_up(self, verbose_pen=True)

    def start(self, args=(), home=None):
        program = self.bench.start_program(home=home, args=args)
        harness.wait_until(lambda: self.icon_state() is not None, message="the tray icon")
        return program

    def icon_state(self):
        """"present": pen with a green dot (3.png); "absent": red cross (2.png)."""
        x, y, w, h = self.desktop.tray_geometry()
        image = self.desktop.image()
        colours = [image.pixel(px, py) for py in range(y, y + h) for px in range(x, x + w)]
        green = sum(g > 140 and r < 110 and b < 130 for r, g, b in colours)
        red = sum(r > 170 and g < 100 and b < 100 for r, g, b in colours)
        return "present" if green >= 8 and red < 3 else "absent" if red >= 8 and green < 3 else None

    def wait_icon(self, state):
        harness.wait_until(lambda: self.icon_state() == state, message="the %s icon" % state)

    def menu(self, key):
        self.desktop.tray_menu(key)
        self.desktop.keep("tray-menu")

    def test_icon_follows_the_receiver_with_one_read_back_per_plug_in(self):
        self.pen.unplug()
        program = self.start()
        self.wait_icon("absent")
        for appearance in range(1, 4):
            self.pen.plug()
            self.wait_icon("present")
            harness.wait_until(lambda: self.pen.sent().count(READ_BACK) >= appearance, message="a read-back")
            self.desktop.keep("tray-present")
            self.pen.pull_out()
            self.wait_icon("absent")
            self.assertEqual(self.pen.sent().count(READ_BACK), appearance, "one per appearance, none while absent")
        self.assertEqual(program.count("Write Usb Hid Read KeyValue SUCC!"), 3)
        # Run from a folder in the temporary folder, which anyone may fill
        # anew once it is cleared, the program leaves the session no entry
        # that would start it from there.
        self.assertFalse(os.path.exists(os.path.join(program.home["XDG_CONFIG_HOME"], "autostart")))
        self.assertEqual(program.count("Autostart entry not written"), 1)

    def test_menu_opens_the_navigation_window_and_exits(self):
        program = self.start()
        self.menu("s")
        harness.wait_until(lambda: self.desktop.visible_windows("^功能导航$"), message="the navigation window")
        self.pen.mode("magnifier", 5)
        self.bench.wait_effect("Loupex", 5)
        self.menu("e")
        self.assertEqual(program.wait(), 0)
        self.assertEqual(program.saved_sizes(), (5, 3, 3))
        self.assertEqual(program.count("pInt: 0"), 1, "the current effect program, killed once")
        self.assertIsNone(self.icon_state(), "the tray icon is gone")


if __name__ == "__main__":
    unittest.main()
