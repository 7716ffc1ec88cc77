"""The frameless windows on a real display: dragging them with the mouse, the
navigation window's first place, and that it reopens from the tray where it
was left."""

import os
import unittest

import harness

DESKTOP = (1280, 800)


class WindowChrome(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop(*DESKTOP)
        cls.desktop.start()
        cls.app = harness.install_app(effects=False)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def setUp(self):
        self.program = harness.Program(self.app, self.desktop)
        self.program.start()
        self.addCleanup(self.program.stop)
        socket = os.path.join(self.program.home["XDG_RUNTIME_DIR"], "quorvant")
        harness.wait_until(lambda: os.path.exists(socket), 30, message="the program to start")
        # The tray icon is docked once the tray host has grown to hold it.
        harness.wait_until(lambda: self.desktop.tray_geometry()[2] >= 16, 30, message="the tray icon")

    # --- helpers ------------------------------------------------------------

    def window(self, title):
        found = self.desktop.visible_windows(title)
        return found[0] if found else None

    def wait_window(self, title):
        return harness.wait_until(lambda: self.window(title), 30, message="window %r" % title)

    def geometry(self, window):
        return self.desktop.window_geometry(window)

    def wait_geometry(self, window, expected):
        harness.wait_until(lambda: self.geometry(window) == expected, 30,
                           message="geometry %r (last %r)" % (expected, self.geometry(window)))

    def click_tray(self):
        x, y, w, h = self.desktop.tray_geometry()
        self.desktop.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")

    def drag(self, start, delta, button="1"):
        x, y = start
        dx, dy = delta
        # Several steps, as a hand would move, each a motion event.
        steps = ["mousemove", str(x), str(y), "mousedown", button]
        for i in range(1, 5):
            steps += ["mousemove", str(x + dx * i // 4), str(y + dy * i // 4)]
        steps += ["mouseup", button]
        self.desktop.xdotool(*steps)

    def show_main_window(self):
        code, _ = self.program.run_second_copy()
        self.assertEqual(code, 0)
        return self.wait_window("^Widget$")

    # --- tests --------------------------------------------------------------

    def test_navigation_window_opens_placed_and_reopens_where_left(self):
        self.click_tray()
        navigation = self.wait_window("^功能导航$")
        width, height = DESKTOP
        placed = ((width - 800) // 2, int((height - 500) * 0.3), 850, 550)
        self.wait_geometry(navigation, placed)

        # Escape, Return and Enter do not close it. The drag that follows is
        # seen only after the keys were handled, so no waiting is needed.
        self.desktop.xdotool("windowfocus", "--sync", navigation)
        self.desktop.xdotool("key", "--window", navigation, "Escape", "Return", "KP_Enter")

        # Dragged by its title, past its text.
        x, y = placed[0] + 600, placed[1] + 25
        self.drag((x, y), (-100, 60))
        moved = (placed[0] - 100, placed[1] + 60, 850, 550)
        self.wait_geometry(navigation, moved)
        self.assertTrue(self.window("^功能导航$"), "a key closed the navigation window")

        # The close button at the right end of the title bar hides it.
        self.desktop.xdotool("mousemove", str(moved[0] + 825), str(moved[1] + 25), "click", "1")
        harness.wait_until(lambda: not self.window("^功能导航$"), 30, message="the window to close")

        self.click_tray()
        navigation = self.wait_window("^功能导航$")
        self.wait_geometry(navigation, moved)

    def test_main_window_drags_by_title_and_by_picture(self):
        main = self.show_main_window()
        x, y, w, h = self.geometry(main)
        self.assertEqual((w, h), (780, 650))

        # The title, then the picture, which lies over the key grid.
        self.drag((x + 400, y + 25), (50, 40))
        x, y = x + 50, y + 40
        self.wait_geometry(main, (x, y, w, h))

        self.drag((x + 175, y + 135), (30, -20))
        x, y = x + 30, y - 20
        self.wait_geometry(main, (x, y, w, h))

        # A right-button drag moves nothing; a later left drag still works
        # from where the window is.
        self.drag((x + 400, y + 25), (80, 80), button="3")
        self.drag((x + 400, y + 25), (-10, 5))
        self.wait_geometry(main, (x - 10, y + 5, w, h))


if __name__ == "__main__":
    unittest.main()
