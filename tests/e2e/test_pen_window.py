"""The pen window, end to end: its buttons, pressed from the keyboard, reach
the receiver daemon and through it the real program; what it shows is read
as a screen reader reads it, over a private accessibility bus."""

import ast
import os
import re
import shutil
import subprocess
import unittest

import harness

ROOT = "/org/a11y/atspi/accessible/root"
BLANK = "no action"  # what a screen reader says of a key without one


def gvariant(text):
    """The value of gdbus's answer: GVariant text is Python's but for its
    type annotations and the variant brackets of a property."""
    text = re.sub(r"@a\(so\) |objectpath ", "", text.strip())
    return ast.literal_eval(re.sub(r"^\(<(.*)>,\)$", r"(\1,)", text, flags=re.S))[0]


class PenWindow(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = harness.set_up(self)
        home = harness.private_home()
        self.addCleanup(shutil.rmtree, home["HOME"], ignore_errors=True)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                               env=dict(os.environ, **home), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        self.addCleanup(bus.stdout.close)
        self.addCleanup(harness.end, bus)
        self.session_bus = bus.stdout.readline().strip()
        env = dict(self.desktop.env(), **home, QUORVANT_SIM_SOCKET=self.pen.socket_path,
                   DBUS_SESSION_BUS_ADDRESS=self.session_bus, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        window = subprocess.Popen([os.path.join(harness.BIN_DIR, "quorvant-pen-window")], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.end, window)
        self.window = harness.wait_until(lambda: self.desktop.visible_windows("^Quorvant pen$"),
                                         message="the pen window")[0]
        self.a11y_bus = None

    def keys(self, *keys):
        self.desktop.xdotool("windowfocus", "--sync", self.window)
        self.desktop.xdotool("key", *keys)

    def call(self, dest, path, method, *args):
        found = harness.output("gdbus", "call", "--address", self.a11y_bus, "--dest", dest, "--object-path", path,
                               "--method", method, *args)
        return None if found is None else gvariant(found)

    def texts(self, dest=None, path=ROOT):
        """(name, [children]) of every accessible object under path, or None
        while the window is not (or no longer wholly) on the bus."""
        if self.a11y_bus is None:
            found = harness.output("gdbus", "call", "--address", self.session_bus, "--dest", "org.a11y.Bus",
                                   "--object-path", "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress")
            self.a11y_bus = found and gvariant(found)
            if not self.a11y_bus:
                return None
        dest = dest or "org.a11y.atspi.Registry"
        name = self.call(dest, path, "org.freedesktop.DBus.Properties.Get", "org.a11y.atspi.Accessible", "Name")
        children = self.call(dest, path, "org.a11y.atspi.Accessible.GetChildren")
        subtrees = [self.texts(*child) for child in children or []]
        return None if name is None or children is None or None in subtrees else (name, subtrees)

    def shown(self):
        """The window's own texts, and the texts of each group by its title,
        in reading order."""
        tree = self.texts()
        window = tree[1][0][1][0] if tree and tree[1] and tree[1][0][1] else ("", [])
        return [name for name, _ in window[1]], {name: [text for text, _ in texts] for name, texts in window[1]}

    def shows(self, rows, state=None):
        """Whether the rows of the mapping, by their labels, hold those four
        texts, and the window shows the state line, if one is given."""
        texts, groups = self.shown()
        mapping = groups.get("Stored mapping", [])
        shown_rows = {mapping[i]: mapping[i + 1:i + 5] for i in range(0, len(mapping), 5)}
        return (state is None or state in texts) and all(shown_rows.get(label) == row for label, row in rows.items())

    def test_presses_reach_the_program(self):
        self.bench.start_program()
        self.keys("alt+z", "ctrl+a", "6", "alt+m")
        self.bench.wait_effect("Loupex", 6)
        self.desktop.keep("pen-window")

        self.keys("alt+u")
        harness.wait_until(lambda: not self.pen.status()["plugged"], message="the receiver unplugged")
        self.keys("alt+p")
        harness.wait_until(lambda: self.pen.status()["plugged"], message="the receiver plugged back in")

    def test_mapping_and_daemon_are_shown(self):
        image = bytearray(self.pen.mapping())
        image[4] = 0x3A  # key 1 click, column 2: F1
        image[32 + 28] = 0x99  # key 6 long press, column 4: in no vocabulary
        self.pen.set_mapping(image)
        harness.wait_until(lambda: self.shows({"单击Key1:": ["MOUSE_L", "F1", BLANK, BLANK],
                                               "长按Key6:": ["W", BLANK, BLANK, "0x99"]}), message="the mapping set")

        # A daemon that goes is shown gone, and one started later is found.
        self.pen.request("stop")
        harness.wait_until(lambda: self.shows({}, "Receiver daemon not running"), message="the daemon shown gone")
        daemon = subprocess.Popen([os.path.join(harness.BIN_DIR, "quorvant-pen"), "--socket", self.pen.socket_path,
                                   "serve"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.end, daemon)
        harness.wait_until(lambda: self.shows({"单击Key1:": ["MOUSE_L", BLANK, BLANK, BLANK]}, "Receiver plugged in"),
                           message="the new daemon and its factory mapping")


if __name__ == "__main__":
    unittest.main()
