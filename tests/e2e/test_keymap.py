"""The pen's key mapping, end to end: the real program reads the simulated
receiver's mapping into its editor at start, writes the editor back when
Ctrl+S is pressed on its window, takes a change made with the keyboard in one
of the covered combo boxes, and resets the receiver with Ctrl+R without
touching the editor. The receiver's acknowledgements come up as balloons on
the tray.
"""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from simpen import SimPen  # noqa: E402

TIMEOUT = 60

# The codes of the editor's entries, in the order its combo boxes list them.
VOCABULARY = (
    [0x00, 0xF5, 0x4B, 0x4E, 0x2B, 0xE0, 0xE4, 0xE1, 0xE5, 0xE2, 0xE6, 0x4A, 0x4D, 0xE3, 0xE7, 0x2C, 0x2A, 0x4C,
     0x2E, 0x38, 0x29, 0x52, 0x51, 0x50, 0x4F]
    + list(range(0x3A, 0x46)) + list(range(0x68, 0x74)) + list(range(0x04, 0x1E))
    + [0x36, 0x37, 0x28, 0xC3, 0xBD, 0xCE, 0x27] + list(range(0x1E, 0x27)) + [0xF3, 0xF4, 0xC8, 0xCD])

# The 48 action bytes of the 64-byte mapping, in slot order.
SLOT_BYTES = [block + start + i for block in (0, 32) for start in (3, 12, 21) for i in range(8)]


def sealed(image):
    image = bytearray(image)
    image[31] = sum(image[:31]) & 0xFF
    image[63] = sum(image[32:63]) & 0xFF
    return bytes(image)


def custom_mapping():
    """Something on every key, in both blocks, and never the last entry, so
    that any box can still move one entry down."""
    image = bytearray(64)
    image[0], image[32] = 0x55, 0x56
    for slot, byte in enumerate(SLOT_BYTES):
        if slot % 3 != 2:
            image[byte] = VOCABULARY[1 + (slot * 7) % 90]
    return sealed(image)


class KeyMapping(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop()
        cls.desktop.start()
        cls.pen = SimPen()
        cls.pen.start()
        cls.app = harness.install_app(effects=False)

    @classmethod
    def tearDownClass(cls):
        cls.pen.stop()
        cls.desktop.stop()
        shutil.rmtree(cls.app, ignore_errors=True)

    def show_window(self, program):
        """Shows the running program's window the way a user does, by
        starting the program again, and gives it the keyboard."""
        code, _ = program.run_second_copy()
        self.assertEqual(code, 0)
        window = harness.wait_until(lambda: self.desktop.visible_windows("^Widget$"), TIMEOUT,
                                    message="the main window")[0]
        self.assertEqual(self.desktop.xdotool("windowfocus", "--sync", window).returncode, 0)
        return window

    def keys(self, *keys):
        for key in keys:
            self.assertEqual(self.desktop.xdotool("key", "--clearmodifiers", key).returncode, 0)

    def balloons(self, program):
        """The balloons the program shows: its visible tooltip windows."""
        found = set()
        out = self.desktop.xdotool("search", "--onlyvisible", "--pid", str(program.process.pid))
        for window in out.stdout.split():
            kind = subprocess.run(["xprop", "-display", self.desktop.display, "-id", window, "_NET_WM_WINDOW_TYPE"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
            if "_NET_WM_WINDOW_TYPE_TOOLTIP" in kind:
                found.add(window)
        return found

    def wait_for_new_balloon(self, program, seen, what):
        new = harness.wait_until(lambda: self.balloons(program) - seen, TIMEOUT, message=what)
        keep = os.environ.get("QUORVANT_SCREENSHOT_DIR")
        if keep:
            shutil.copy(self.desktop.screenshot(), os.path.join(keep, "keymap-%s.png" % what.replace(" ", "-")))
        return seen | new

    def wait_for_write(self, program, count):
        program.wait_for_log("Write Usb Hid SUCC!", count, TIMEOUT)
        # The receiver has both blocks once it acknowledges the second.
        harness.wait_until(lambda: self.pen.status()["pending_input"] == 0, TIMEOUT, message="the acknowledgement")

    def test_mapping_round_trip(self):
        self.pen.reset()
        factory = self.pen.mapping()
        mapping = custom_mapping()
        self.assertNotEqual(mapping, factory)
        self.pen.set_mapping(mapping)

        program = harness.Program(self.app, self.desktop, self.pen)
        program.start()
        self.addCleanup(program.stop)
        program.wait_for_log("Write Usb Hid Read KeyValue SUCC!", 1, TIMEOUT)
        harness.wait_until(lambda: self.pen.status()["pending_input"] == 0, TIMEOUT,
                           message="the program to take both blocks")
        self.show_window(program)
        seen = self.balloons(program)

        # The editor holds what it read: with the receiver's memory wiped, a
        # write from the editor brings the mapping back.
        self.pen.factory()
        self.pen.clear_sent()
        self.keys("ctrl+s")
        self.wait_for_write(program, 1)
        self.assertEqual(self.pen.sent(), [b"\0" + mapping[:32], b"\0" + mapping[32:]])
        self.assertEqual(self.pen.mapping(), mapping)
        seen = self.wait_for_new_balloon(program, seen, "write acknowledged")

        # One box moved one entry down with the keyboard, written again: that
        # slot alone changes in the receiver, to the next entry's code.
        self.keys("Tab", "Down", "ctrl+s")
        self.wait_for_write(program, 2)
        stored = self.pen.mapping()
        changed = [(slot, mapping[byte], stored[byte]) for slot, byte in enumerate(SLOT_BYTES)
                   if stored[byte] != mapping[byte]]
        self.assertEqual(len(changed), 1, changed)
        slot, old, new = changed[0]
        self.assertEqual(new, VOCABULARY[VOCABULARY.index(old) + 1], "slot %d" % slot)
        self.assertEqual(stored, sealed(bytes(b if i != SLOT_BYTES[slot] else new for i, b in enumerate(mapping))))
        seen = self.wait_for_new_balloon(program, seen, "change acknowledged")

        # Reset: the receiver goes back to its defaults and says so; the
        # editor keeps its entries until the next read-back.
        self.pen.clear_sent()
        self.keys("ctrl+r")
        program.wait_for_log("Write Usb Hid Reset CMD SUCC!", 1, TIMEOUT)
        self.assertEqual(self.pen.sent(), [b"\0\x60\x60" + bytes(30)])
        self.assertEqual(self.pen.mapping(), factory)
        seen = self.wait_for_new_balloon(program, seen, "reset acknowledged")

        # The editor was not touched by the reset: a write puts the edited
        # mapping back over the defaults.
        self.keys("ctrl+s")
        self.wait_for_write(program, 3)
        self.assertEqual(self.pen.mapping(), stored)

        self.assertEqual(program.count("Fail!"), 0, program.log())
        self.assertTrue(program.running())


if __name__ == "__main__":
    unittest.main()
