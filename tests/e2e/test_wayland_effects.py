"""The effect programs on KWin and sway, switched by the real program, each
drawn by the backend its session chooses, over a native Wayland window and
an X window whose pixels name their place."""

import os
import unittest

from tests.e2e.pixels import close, dimmed
from tests.support.desktops import end, icon_state, read, wait_until, wayland
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import Bench, private_home


TITLE_BAR = (79, 148, 205)


def red(rgb):
    r, g, b = rgb
    return r > 200 and g < 170 and b < 170


class WaylandEffects:
    session = None

    def setUp(self):
        self.desktop = self.session().start()
        self.addCleanup(self.desktop.stop)
        self.desktop.place_windows()
        self.pen = SimPen().start()
        self.addCleanup(self.pen.stop)
        self.bench = Bench(self.desktop, self.pen, stand_ins=False)
        self.addCleanup(self.bench.close)

    def wait_drawn(self, check, message):
        wait_until(lambda: check(self.desktop.image()), interval=0.1, message=message)

    def test_effects_over_native_and_x_windows(self):
        native, xwin = ((x + 150, y + 200) for x, y, _, _ in wayland.PLACES)
        self.desktop.move_pointer(*native)
        # What the program asks the desktop to tell the presenter.
        self.desktop.launch(["dbus-monitor", "--address", self.desktop.bus_address,
                             "interface=org.freedesktop.Notifications,member=Notify"], self.desktop.env(), "notifications.log")
        program = self.bench.start_program(home=dict(private_home(), XDG_CONFIG_HOME=self.desktop.config_home))
        self.pen.wait_sent(1)

        # The laser dot, 30 pixels across, at the pointer before it moves.
        self.pen.mode("laser", 5)
        self.bench.wait_effect("Dotrix", 5)
        dot = lambda image, x, y: red(image.pixel(x - 5, y)) and wayland.window_at(image, x - 40, y)[1:] == \
            (x - 40 - wayland.PLACES[wayland.window_at(image, x - 40, y)[0]][0], y - 60)
        self.wait_drawn(lambda image: dot(image, *native), "the dot at the pointer before any motion")
        self.desktop.keep("wayland-%s-dot" % self.desktop.name)
        for point in (xwin, native):
            self.desktop.move_pointer(*point)
            self.wait_drawn(lambda image: dot(image, *point), "the dot to follow to %r" % (point,))

        # Clicks and keys reach the window beneath, which keeps its place.
        self.desktop.click()

        # A key typed before the compositor has given the window the keyboard
        # is lost; one that never arrives fails the wait.
        wait_until(lambda: "key n" in self.desktop.window_log(0) or self.desktop.key_n(), interval=1.0,
                   message="the key in the native window")
        clicks = [line for line in self.desktop.window_log(0) if line.startswith("click")]
        # sway's effect holds the pointer: keys only.
        self.assertEqual(clicks, [] if self.desktop.name == "sway" else ["click 150 200"])
        self.wait_drawn(wayland.in_place, "the windows where they were")

        # The notice: a pale card, 300 by 100, centred 200 pixels below the
        # top of the output, over both windows and the gap between; typed
        # while it is up, a key still reaches the window beneath.
        before = self.desktop.image()
        card = lambda image: all(close(image.pixel(x, y), tuple((c + 0xef + 1) // 2 for c in before.pixel(x, y)), 8)
                                 for x, y in ((495, 205), (785, 295), (600, 210))) and \
            all(image.pixel(x, y) == before.pixel(x, y) for x, y in ((485, 205), (795, 295), (600, 305)))
        keys = self.desktop.window_log(0).count("key n")
        self.pen.notice("magnifier")
        self.wait_drawn(card, "the notice")
        self.desktop.keep("wayland-%s-notice" % self.desktop.name)
        self.desktop.key_n()
        wait_until(lambda: self.desktop.window_log(0).count("key n") > keys, message="the key beneath the notice")
        # Gone, where the key has not turned the native window's page.
        self.wait_drawn(lambda image: all(image.pixel(x, y) == before.pixel(x, y) for x, y in ((785, 295), (600, 210))),
                        "the notice gone")

        # The spotlight, 90 in radius: clear at the pointer, the rest veiled.
        self.pen.mode("spotlight", 3)
        self.bench.wait_effect("Halvix", 3)
        # Once, where the effects hold the pointer.
        held = lambda: read(os.path.join(self.desktop.folder, "notifications.log")).count("holds the pointer")
        wait_until(lambda: self.desktop.name != "sway" or held(), message="the balloon that tells of the held pointer")
        self.assertEqual(held(), 1 if self.desktop.name == "sway" else 0)
        far_x, far_y = wayland.PLACES[1][0] + 300, 300
        self.wait_drawn(lambda image: wayland.window_at(image, native[0] - 60, native[1]) == (0, 90, 200)
                        and close(image.pixel(far_x, far_y)[:2], dimmed((300 & 0xff, 240))), "the spotlight at the pointer")
        self.desktop.keep("wayland-%s-spotlight" % self.desktop.name)

        if self.desktop.name == "kwin":
            # KWin's own magnifier draws it; the user's setting for it must survive.
            kwinrc = os.path.join(self.desktop.config_home, "kwinrc")
            with open(kwinrc, "a") as f:
                f.write("\n[Effect-magnifier]\nWidth=300\n")
        # The magnifier, 240 across: twice the window beneath, live.
        self.pen.mode("magnifier", 3)
        self.bench.wait_effect("Loupex", 3)
        if self.desktop.name == "kwin":
            self.desktop.show_effect("magnifier")

        page = self.desktop.page()
        self.wait_drawn(lambda image: wayland.enlarged(image, *native, page), "the window enlarged under the lens")
        self.desktop.keep("wayland-%s-magnifier" % self.desktop.name)
        self.desktop.key_n()
        self.wait_drawn(lambda image: wayland.enlarged(image, *native, 1 - page), "the lens to show the next page")

        self.pen.mode("normal")
        self.bench.wait(lambda: not self.bench.running(), "the effects gone in normal use", program)
        watcher = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                   "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
        if self.desktop.name == "sway":
            # Its bar shows StatusNotifier items: the icon of a receiver plugged in, once no balloon is up.
            self.wait_drawn(lambda image: icon_state(*image.channels(1160, 696, 120, 24)) == "present", "the tray icon")
        else:
            # KWin's virtual session runs no panel: one comes, as it does after
            # login, and takes the icon; then it goes, not to hide the windows.
            env = dict(self.desktop.env(), GDK_BACKEND="x11", NO_AT_BRIDGE="1")
            panel = [self.desktop.launch(["status-notifier-watcher"], env, "watcher.log")]
            wait_until(lambda: self.desktop.dbus(*watcher), message="the StatusNotifierWatcher")
            panel.append(self.desktop.launch(["gtk-sni-tray-standalone", "--bottom", "--size", "24"], env, "panel.log"))
            wait_until(lambda: "StatusNotifierItem" in self.desktop.dbus(*watcher), message="the tray icon registered")
            for process in panel:
                end(process)

        # The navigation window, opened from the tray icon, and the main
        # window, brought up by a second start, show whole, at their own
        # size, across the middle of the screen: their title bars tell.
        def whole(width, height):
            def shown(image):
                top = next((y for y in range(image.height) if image.pixel(640, y) == TITLE_BAR), image.height)
                bar = [x for x in range(image.width) if top + height <= image.height and image.pixel(x, top + 5) == TITLE_BAR]
                return bar and (bar[0], bar[-1] + 1 - bar[0]) == ((image.width - width) // 2, width)
            return shown
        if self.desktop.name == "sway":
            item = self.desktop.dbus(*watcher).split("'")[1].split("/")[0]
            self.desktop.dbus(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate", "0", "0")
            self.wait_drawn(whole(850, 550), "the navigation window")
        self.assertEqual(program.run_second_copy()[0], 0)
        self.wait_drawn(whole(780, 650), "the main window")
        self.desktop.keep("wayland-%s-main-window" % self.desktop.name)
        if self.desktop.name == "kwin":
            # Killed, the magnifier leaves KWin as the user had it.
            wait_until(lambda: read(kwinrc).split("[Effect-magnifier]")[1].split() == ["Width=300"]
                               and '"magnifier"' not in self.desktop.loaded_effects(), message="KWin as it was")


class KWinEffects(WaylandEffects, unittest.TestCase):
    session = wayland.KWin


class SwayEffects(WaylandEffects, unittest.TestCase):
    session = wayland.Sway


if __name__ == "__main__":
    unittest.main()
