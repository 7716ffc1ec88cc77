"""The tray icon on panels that start after the program, as at login: a
StatusNotifierItem panel (status-notifier-watcher and gtk-sni-tray-standalone
on a private session bus) and an XEmbed tray (trayer)."""

import re
import subprocess
import time
import unittest

from tests.support.desktops import Desktop, SessionBus, end, icon_state, output, wait_until
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import Bench

WATCHER = "org.kde.StatusNotifierWatcher"
PANEL = {"watcher": ["status-notifier-watcher"], "host": ["gtk-sni-tray-standalone", "--top", "--end", "--size", "32"]}
# The panel comes this long after the program: the scenario, not a wait.
PANEL_DELAY_S = 3


class Tray(unittest.TestCase):
    def setUp(self):
        self.bus = SessionBus().start()
        self.addCleanup(self.bus.stop)
        self.desktop = Desktop(tray=False).start()
        self.addCleanup(self.desktop.stop)
        # Verbose, it logs when the program lets go of its handle.
        self.pen = SimPen(verbose=True).start()
        self.addCleanup(self.pen.stop)
        self.bench = Bench(self.desktop, self.pen)
        self.bench.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus.address
        self.addCleanup(self.bench.close)
        # The hosts are GTK programs: no accessibility bus for them.
        self.env = dict(self.desktop.env(), DBUS_SESSION_BUS_ADDRESS=self.bus.address, NO_AT_BRIDGE="1")
        self.hosts = []
        self.addCleanup(self.stop_hosts)

    def start_host(self, name):
        self.hosts.append(subprocess.Popen(PANEL[name], env=self.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        if name == "watcher":
            wait_until(self.watcher_up, message="the StatusNotifierWatcher")

    def stop_hosts(self):
        while self.hosts:
            end(self.hosts.pop())

    def call(self, destination, path, method, *args):
        return output("gdbus", "call", "--session", "--dest", destination, "--object-path", path,
                      "--method", method, "--", *args, env=self.env)

    def watcher_up(self):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                         WATCHER) == "(true,)\n"

    def watcher_property(self, name):
        return self.call(WATCHER, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get", WATCHER, name)

    def wait_host(self):
        wait_until(lambda: "true" in (self.watcher_property("IsStatusNotifierHostRegistered") or ""),
                   message="the StatusNotifierHost")

    def start_panel(self):
        self.start_host("watcher")
        self.start_host("host")
        self.wait_host()

    def items(self):
        return re.findall(r"'([^']*)'", self.watcher_property("RegisteredStatusNotifierItems") or "")

    def wait_item(self, program):
        """The program's one item: a bus name its process owns."""
        pid = "(uint32 %d,)\n" % program.program_pid()

        def one_item():
            found = [name.split("/")[0] for name in self.items() if self.call(
                "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                name.split("/")[0]) == pid]
            return len(found) == 1 and found[0]
        return self.bench.wait(one_item, "the program's one item with the watcher", program)

    def shown_by_item(self, item):
        # The picture the item hands to hosts: ARGB, its first size.
        found = re.search(r"\((\d+), (\d+), \[byte ([^\]]*)\]", self.item_property(item, "IconPixmap") or "")
        data = bytes(int(value, 16) for value in found.group(3).split(", ")) if found else b""
        opaque = [i for i in range(0, len(data) - 3, 4) if data[i] > 128]
        return icon_state(*(bytes(data[i + c] for i in opaque) for c in (1, 2, 3)))

    def wait_shown(self, state, shown):
        self.bench.wait(lambda: shown() == state, "the %s icon on screen" % state)

    def item_property(self, item, name):
        return self.call(item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties.Get",
                         "org.kde.StatusNotifierItem", name)

    def test_icon_comes_with_a_late_panel_and_tells_absent_present_and_not_openable_apart(self):
        self.pen.openable("denied")
        program = self.bench.start_program()
        time.sleep(PANEL_DELAY_S)
        self.start_panel()
        item = self.wait_item(program)
        # An item that registers as this host starts may be drawn twice, and
        # one of the two then never changes: the host's own race, so changes
        # are read from the item.
        panel = lambda: self.desktop.icon_shown(self.desktop.largest_window("gtk-sni-tray-standalone"))
        self.wait_shown("denied", panel)
        self.desktop.keep("status-notifier-denied")
        for state, tip, change in [
                ("denied", "receiver plugged in, but this user may not open it (see quorvant-diagnose)",
                 lambda: self.pen.openable("yes")),
                ("present", "receiver plugged in", self.pen.pull_out),
                ("absent", "receiver not plugged in", self.pen.plug),
                ("present", "receiver plugged in", None)]:
            self.wait_shown(state, lambda: self.shown_by_item(item))
            self.bench.wait(lambda: "'Quorvant: %s'" % tip in self.item_property(item, "ToolTip"),
                            "the tool tip of the %s icon" % state, program)
            if change:
                change()

        # A click opens the navigation window.
        self.call(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate", "0", "0")
        self.bench.wait(lambda: self.desktop.visible_windows("^功能导航$"), "the navigation window", program)

    def test_one_item_whatever_order_panel_watcher_and_program_come_in(self):
        self.start_panel()
        program = self.bench.start_program()
        first = self.wait_item(program)
        # Qt registers its item again with a watcher that comes back, if the
        # watcher serves by then; the program must neither lose the item nor
        # make a second one. This host does not register with a watcher that
        # comes after it, so it is waited for only when it comes last.
        for order in (["watcher", "host"], ["host", "watcher"], ["host"], ["watcher"], ["host"]):
            self.assertEqual(self.items(), [first])
            for name in order:
                running = next(p for p in self.hosts if p.args[0] == PANEL[name][0])
                end(running)
                self.hosts.remove(running)
            if "watcher" in order:
                wait_until(lambda: not self.watcher_up(), message="the watcher to go")
            for name in order:
                self.start_host(name)
            if order[-1] == "host":
                self.wait_host()
            self.bench.wait(lambda: self.items() == [first], "the program's one item again", program)
        # The menu's Exit ends the program in order.
        layout = self.call(first, self.item_property(first, "Menu").split("'")[1], "com.canonical.dbusmenu.GetLayout",
                           "0", "-1", "@as []")
        labels = re.findall(r"\((\d+), \{[^}]*'label': <'([^']*)'>", layout)
        self.assertEqual([label for _, label in labels], ["Function navigation (_S)", "Key settings (_K)", "Exit(_E)"])
        self.call(first, "/MenuBar", "com.canonical.dbusmenu.Event", labels[-1][0], "clicked", "<0>", "0")
        self.assertEqual(program.wait(), 0)
        wait_until(lambda: self.items() == [], message="no item left after Exit")

    def test_icon_docks_in_an_xembed_tray_that_comes_late_and_restarts(self):
        # A session bus with no StatusNotifierWatcher on it.
        program = self.bench.start_program()
        self.assertEqual(program.run_second_copy()[0], 0)
        window = self.bench.wait(lambda: self.desktop.visible_windows("^Widget$"), "the main window", program)[0]
        # Closed with no tray to hide to, the window must not be lost.
        self.desktop.xdotool("windowactivate", "--sync", window)
        self.desktop.xdotool("key", "--window", window, "Escape")
        time.sleep(PANEL_DELAY_S)
        shown_by_trayer = lambda: self.desktop.icon_shown(self.desktop.tray_geometry())
        self.hosts.append(self.desktop.start_tray())
        self.wait_shown("present", shown_by_trayer)
        self.assertTrue(self.desktop.visible_windows("^Widget$"), "closed before the tray came, the window went")
        self.desktop.xdotool("key", "--window", window, "Escape")
        self.bench.wait(lambda: not self.desktop.visible_windows("^Widget$"), "the window hidden to the tray", program)

        self.stop_hosts()
        self.bench.wait(lambda: self.desktop.tray_geometry() is None, "the tray to go", program)
        self.hosts.append(self.desktop.start_tray())
        self.wait_shown("present", shown_by_trayer)
        self.pen.pull_out()
        self.wait_shown("absent", shown_by_trayer)


if __name__ == "__main__":
    unittest.main()
