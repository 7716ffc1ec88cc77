"""The pen's key mapping, end to end: the real program reads the simulated
receiver's mapping into its editor at plug-in, writes the editor back on
Ctrl+S, takes a change made with the keyboard in a combo box, and resets the
receiver on Ctrl+R. The receiver's acknowledgements come up as balloons."""

import unittest

import harness

READ_BACK = b"\0\x70\x70" + bytes(30)

# The 48 action bytes of the 64-byte mapping, in slot order.
SLOT_BYTES = [block + start + i for block in (0, 32) for start in (3, 12, 21) for i in range(8)]


def sealed(image):
    image = bytearray(image)
    image[31], image[63] = sum(image[:31]) & 0xFF, sum(image[32:63]) & 0xFF
    return bytes(image)


class KeyMapping(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = harness.set_up(self)

    def keys(self, *keys):
        for key in keys:
            self.assertEqual(self.desktop.xdotool("key", "--clearmodifiers", key).returncode, 0)

    def acknowledged(self, seen, what):
        """Waits for a balloon not seen before; returns all seen so far."""
        seen |= harness.wait_until(lambda: set(self.desktop.windows_of_type("TOOLTIP")) - seen, message=what)
        self.desktop.keep("keymap-" + what.replace(" ", "-"))
        return seen

    def wait_for_write(self, program, count):
        program.wait_for_log("Write Usb Hid SUCC!", count)
        # The receiver has both blocks once it acknowledged the second.
        harness.wait_until(lambda: self.pen.status()["pending_input"] == 0, message="the acknowledgement")

    def test_mapping_round_trip(self):
        # A letter on every key, never "z": the editor lists the letters in
        # order, so any box can move one entry down to the next code.
        mapping = bytearray(64)
        mapping[0], mapping[32] = 0x55, 0x56
        for slot, byte in enumerate(SLOT_BYTES):
            mapping[byte] = 0x04 + (slot * 7) % 25
        factory, mapping = self.pen.mapping(), sealed(mapping)
        self.pen.set_mapping(mapping)
        program = self.bench.start_program()
        program.wait_for_log("Write Usb Hid Read KeyValue SUCC!")
        harness.wait_until(lambda: self.pen.status()["pending_input"] == 0, message="both blocks taken")
        # The window comes up the way a user brings it, by starting again.
        self.assertEqual(program.run_second_copy()[0], 0)
        window = harness.wait_until(lambda: self.desktop.visible_windows("^Widget$"), message="the window")[0]
        self.assertEqual(self.desktop.xdotool("windowfocus", "--sync", window).returncode, 0)
        seen = set(self.desktop.windows_of_type("TOOLTIP"))

        # The editor holds what it read: with the receiver's memory wiped, a
        # write from the editor brings the mapping back.
        self.pen.factory()
        self.pen.clear_sent()
        self.keys("ctrl+s")
        self.wait_for_write(program, 1)
        self.assertEqual(self.pen.sent(), [b"\0" + mapping[:32], b"\0" + mapping[32:]])
        self.assertEqual(self.pen.mapping(), mapping)
        seen = self.acknowledged(seen, "write acknowledged")

        # One box moved one entry down with the keyboard, written again: that
        # slot alone changes in the receiver, to the next code.
        self.keys("Tab", "Down", "ctrl+s")
        self.wait_for_write(program, 2)
        stored = self.pen.mapping()
        changed = [byte for byte in SLOT_BYTES if stored[byte] != mapping[byte]]
        self.assertEqual(len(changed), 1, changed)
        expected = bytearray(mapping)
        expected[changed[0]] += 1
        self.assertEqual(stored, sealed(expected))
        seen = self.acknowledged(seen, "change acknowledged")

        # Reset: the receiver goes back to its defaults and says so, and the
        # editor reads them back, so that a write keeps them.
        self.pen.clear_sent()
        self.keys("ctrl+r")
        self.pen.wait_sent(2)
        self.assertEqual(self.pen.sent(), [b"\0\x60\x60" + bytes(30), READ_BACK])
        self.assertEqual(self.pen.mapping(), factory)
        self.acknowledged(seen, "reset acknowledged")
        harness.wait_until(lambda: self.pen.status()["pending_input"] == 0, message="the defaults taken")
        self.pen.clear_sent()
        self.keys("ctrl+s")
        self.wait_for_write(program, 3)
        self.assertEqual(self.pen.sent(), [b"\0" + factory[:32], b"\0" + factory[32:]])
        self.assertEqual(program.count("Fail!"), 0)


if __name__ == "__main__":
    unittest.main()
