"""The program in a real tray: the icon follows the receiver with one read-back
request per plug-in, the menu's two entries work, hiding to the tray shows
the balloon, and both the menu's exit and SIGTERM leave the sizes saved and
the effect program stopped, with exit code 0.

Set QUORVANT_SCREENSHOTS to a folder to keep the screenshots taken on the way.
"""

import os
import shutil
import signal
import subprocess
import time
import unittest

import harness
from simpen import SimPen

READ_BACK = bytes([0x00, 0x70, 0x70]) + bytes(30)
DEADLINE = 60


def read_backs(pen):
    return sum(1 for report in pen.sent() if report == READ_BACK)


def settings(program):
    """The settings file as {key: value} of its [config] group."""
    values = {}
    group = None
    with open(program.settings_path) as ini:
        for line in ini:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif "=" in line and group == "[config]":
                key, _, value = line.partition("=")
                values[key] = value
    return values


class Tray(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop()
        cls.desktop.start()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()

    def setUp(self):
        self.app = harness.install_app()
        self.addCleanup(shutil.rmtree, self.app, True)
        # Verbose, so the log shows when the program lets go of its handle.
        self.pen = SimPen(verbose=True)
        self.pen.start()
        self.addCleanup(self.pen.stop)

    def start(self, args=()):
        program = harness.Program(self.app, self.desktop, self.pen, args=args)
        program.start()
        self.addCleanup(program.stop)
        harness.wait_until(lambda: self.icon_state() is not None, DEADLINE, message="the tray icon")
        return program

    def keep(self, name):
        folder = os.environ.get("QUORVANT_SCREENSHOTS")
        if folder:
            os.makedirs(folder, exist_ok=True)
            self.desktop.screenshot(os.path.join(folder, "tray-%s.png" % name))

    # --- what the screen shows -------------------------------------------

    def icon_state(self):
        """"present" for the pen with the green dot (3.png), "absent" for the
        grey pen with the red cross (2.png), None for anything else."""
        geometry = self.desktop.tray_geometry()
        if geometry is None:
            return None
        x, y, w, h = geometry
        pixels = self.desktop.image().region(x, y, w, h)
        green = red = 0
        for i in range(0, len(pixels), 3):
            r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
            if g > 140 and r < 110 and b < 130:
                green += 1
            elif r > 170 and g < 100 and b < 100:
                red += 1
        if green >= 8 and red < 3:
            return "present"
        if red >= 8 and green < 3:
            return "absent"
        return None

    def wait_icon(self, state):
        harness.wait_until(lambda: self.icon_state() == state, DEADLINE, message="the %s icon" % state)

    def windows_of(self, program):
        """(id, (x, y, w, h), title) of the program's visible windows."""
        out = self.desktop.xdotool("search", "--onlyvisible", "--pid", str(program.process.pid))
        found = []
        for window in out.stdout.split() if out.returncode == 0 else []:
            title = self.desktop.xdotool("getwindowname", window).stdout.strip()
            try:
                found.append((window, self.desktop.window_geometry(window), title))
            except (KeyError, ValueError):
                continue  # gone meanwhile
        return found

    def window_types(self, window):
        """The window's _NET_WM_WINDOW_TYPE values without their prefix, most
        specific first."""
        out = subprocess.run(["xprop", "-id", window, "_NET_WM_WINDOW_TYPE"], env=self.desktop.env(),
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        _, _, values = out.partition("=")
        return [value.strip().replace("_NET_WM_WINDOW_TYPE_", "") for value in values.split(",") if value.strip()]

    def menus_of(self, program):
        return [w for w in self.windows_of(program) if "POPUP_MENU" in self.window_types(w[0])]

    def balloons_of(self, program):
        # Qt's own balloon is a tool tip window, taller than the icon's tool tip.
        return [w for w in self.windows_of(program)
                if "TOOLTIP" in self.window_types(w[0]) and w[1][3] >= 60]

    def open_menu(self, program):
        """Right-clicks the tray icon until its menu is up; returns the menu."""
        # Near the icon's top edge: a balloon hangs below the icon with its
        # arrow reaching up into it, and a click there would only close it.
        # A click can also go astray while a new full-screen effect window is
        # being mapped over the tray, so it is repeated until the deadline.
        deadline = time.monotonic() + DEADLINE
        while True:
            x, y, w, h = harness.wait_until(self.desktop.tray_geometry, DEADLINE, message="the tray host")
            self.desktop.xdotool("mousemove", str(x + w // 2), str(y + 4), "click", "3")
            try:
                return harness.wait_until(lambda: self.menus_of(program), 5, message="the tray menu")
            except AssertionError:
                if time.monotonic() > deadline:
                    raise

    def effect_pids(self, name):
        """Live effect programs of that name started from this test's copy."""
        pids = []
        for pid in harness.processes_named(name):
            try:
                if os.path.dirname(os.readlink("/proc/%d/exe" % pid)) == os.path.realpath(self.app):
                    pids.append(pid)
            except OSError:
                continue
        return pids

    def enter_mode(self, program, mode, size, effect):
        self.pen.mode(mode, size)
        # Effect programs are found by name machine-wide: one started by
        # anything else also counts as running, and the program then starts
        # none of its own.
        try:
            harness.wait_until(lambda: harness.processes_named(effect), DEADLINE, message=effect)
        except AssertionError as error:
            raise AssertionError("%s; the program's log ends with %s" % (error, program.log_lines()[-10:]))

    def assertStopped(self, program, effect):
        self.assertEqual(self.effect_pids(effect), [])
        # At most: effect programs are stopped by name machine-wide, so one
        # may already have been stopped by something else.
        self.assertLessEqual(program.count("pInt:"), 1, "one kill, for the current mode only")

    def wait_released(self, closes_before):
        # The device link lets go of a vanished receiver on its next watch;
        # plugging in again before that would hand it a stale handle.
        harness.wait_until(lambda: self.pen.log().count("close ") > closes_before, DEADLINE,
                           message="the program to close the vanished receiver")

    # --- the tests ---------------------------------------------------------

    def test_icon_follows_the_receiver_with_one_read_back_per_plug_in(self):
        self.pen.unplug()
        program = self.start()
        self.wait_icon("absent")
        self.assertEqual(read_backs(self.pen), 0)

        for appearance in range(1, 4):
            self.pen.plug()
            self.wait_icon("present")
            harness.wait_until(lambda: read_backs(self.pen) >= appearance, DEADLINE,
                               message="read-back request %d" % appearance)
            if appearance == 1:
                self.keep("present")
            closes = self.pen.log().count("close ")
            self.pen.unplug()
            self.wait_icon("absent")
            self.wait_released(closes)
            # Exactly one per appearance: none while present after the first,
            # none while absent.
            self.assertEqual(read_backs(self.pen), appearance)
        self.keep("absent")
        self.assertEqual(program.count("Write Usb Hid Read KeyValue SUCC!"), 3)
        self.assertEqual(program.count("Write Usb Hid Read KeyValue Fail!"), 0)

        # Every start writes the autostart entry for this very executable.
        entry = os.path.join(program.home["XDG_CONFIG_HOME"], "autostart", "Quorvant.desktop")
        with open(entry) as desktop_file:
            self.assertIn('Exec="%s" -bg' % program.executable, desktop_file.read().splitlines())

    def test_menu_opens_the_navigation_window_and_exits(self):
        program = self.start()
        self.wait_icon("present")
        menu = self.open_menu(program)
        self.keep("menu")
        _, (_, _, width, height), _ = menu[0]
        self.assertLess(height, 80, "two entries, not more")
        self.desktop.xdotool("key", "s")
        harness.wait_until(lambda: self.desktop.visible_windows("功能导航"), DEADLINE,
                           message="the navigation window")
        self.assertTrue(program.running())

        self.enter_mode(program, "magnifier", 5, "Loupex")
        self.open_menu(program)
        self.desktop.xdotool("key", "e")
        self.assertEqual(program.wait(DEADLINE), 0)
        self.assertEqual(settings(program), {"MagnifeerSize": "5", "QyLightSize": "3", "redDotrixSize": "3"})
        self.assertStopped(program, "Loupex")
        self.assertIsNone(self.icon_state(), "the tray icon is gone")

    def test_sigterm_saves_the_sizes_and_stops_the_effect_program(self):
        program = self.start(args=["-bg"])
        self.enter_mode(program, "spotlight", 4, "Halvix")
        self.assertFalse(os.path.exists(program.settings_path))

        program.signal(signal.SIGTERM)
        self.assertEqual(program.wait(DEADLINE), 0)
        self.assertEqual(settings(program), {"MagnifeerSize": "3", "QyLightSize": "4", "redDotrixSize": "3"})
        self.assertStopped(program, "Halvix")

        # The next start reads them back, and writes them again at its end.
        again = self.start()
        again.signal(signal.SIGINT)
        self.assertEqual(again.wait(DEADLINE), 0)
        self.assertEqual(settings(again), {"MagnifeerSize": "3", "QyLightSize": "4", "redDotrixSize": "3"})

    def test_escape_return_and_enter_hide_to_the_tray_with_the_balloon(self):
        for key in ("Escape", "Return", "KP_Enter"):
            with self.subTest(key=key):
                program = self.start()
                code, _ = program.run_second_copy()
                self.assertEqual(code, 0)
                shown = harness.wait_until(lambda: self.desktop.visible_windows("^Widget$"), DEADLINE,
                                           message="the main window")
                self.assertEqual(self.balloons_of(program), [])
                self.desktop.xdotool("windowactivate", "--sync", shown[0])
                self.desktop.xdotool("key", "--window", shown[0], key)
                harness.wait_until(lambda: not self.desktop.visible_windows("^Widget$"), DEADLINE,
                                   message="the main window to hide")
                balloon = harness.wait_until(lambda: self.balloons_of(program), DEADLINE, message="the balloon")
                if key == "Escape":
                    self.keep("balloon")
                # Beside the tray, at the top of the screen.
                _, (x, y, width, height), _ = balloon[0]
                tray_x, _, _, tray_h = harness.wait_until(self.desktop.tray_geometry, DEADLINE,
                                                          message="the tray host")
                self.assertLess(y, tray_h + 20)
                self.assertGreater(x + width, tray_x - 40)
                self.assertTrue(program.running(), "hidden, not ended")
                program.stop()


if __name__ == "__main__":
    unittest.main()
