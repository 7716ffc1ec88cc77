"""The pen's key mapping edited by mouse in the real program, written to and
restored from the simulated receiver, and the editor closed to the tray."""

import unittest

from tests.support.desktops import wait_until
from tests.support.desktops.program import set_up

# The 48 action bytes of the 64-byte mapping, in slot order.
SLOT_BYTES = [block + start + i for block in (0, 32) for start in (3, 12, 21) for i in range(8)]
READ_BACK = b"\0\x70\x70" + bytes(30)
# Where the form puts things, from the window's top left corner.
KEY1_CLICK_COLUMN1 = (175, 135)
WRITE, RESTORE = (373, 624), (531, 624)


def sealed(image):
    image = bytearray(image)
    image[31], image[63] = sum(image[:31]) & 0xFF, sum(image[32:63]) & 0xFF
    return bytes(image)


class KeyMapping(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = set_up(self)

    def acknowledged(self, seen, what):
        seen |= wait_until(lambda: set(self.desktop.windows_of_type("TOOLTIP")) - seen, message=what)
        self.desktop.keep("keymap-" + what.replace(" ", "-"))
        return seen

    def restore(self, window, *answer):
        self.desktop.click(window, *RESTORE)
        question = wait_until(lambda: self.desktop.windows_of_type("DIALOG"), message="the question")
        self.desktop.keep("keymap-restore-question")
        self.desktop.xdotool("windowfocus", "--sync", *question)
        self.desktop.xdotool("key", *answer)
        wait_until(lambda: not self.desktop.windows_of_type("DIALOG"), message="the question answered")

    def test_remap_restore_and_close_by_mouse(self):
        # A letter on every key: the editor lists the letters in order, so a
        # box moved one entry down holds the next code.
        mapping = bytearray(64)
        mapping[0], mapping[32] = 0x55, 0x56
        for slot, byte in enumerate(SLOT_BYTES):
            mapping[byte] = 0x04 + (slot * 7) % 25
        factory, mapping = self.pen.mapping(), sealed(mapping)
        self.pen.set_mapping(mapping)
        program = self.bench.start_program()
        self.pen.wait_sent(1)
        wait_until(lambda: self.pen.status()["pending_input"] == 0, message="both blocks taken")

        self.desktop.tray_menu("k")
        window = wait_until(lambda: self.desktop.visible_windows("^Widget$"), message="the key settings")[0]
        self.desktop.keep("keymap-settings")
        seen = set(self.desktop.windows_of_type("TOOLTIP"))
        self.desktop.click(window, *KEY1_CLICK_COLUMN1)
        wait_until(lambda: self.desktop.windows_of_type("COMBO"), message="the box's list")
        self.desktop.xdotool("key", "Down", "Return")
        self.desktop.click(window, *WRITE)
        expected = bytearray(mapping)
        expected[3] += 1
        wait_until(lambda: self.pen.mapping() == sealed(expected) and self.pen.status()["pending_input"] == 0,
                   message="the receiver to hold the mapping")
        seen = self.acknowledged(seen, "write acknowledged")

        # Cancelled (the default answer), nothing is sent. Restored, the
        # editor holds the defaults without a re-plug: written again, they
        # are what the receiver gets.
        self.pen.clear_sent()
        self.restore(window, "Escape")
        self.restore(window, "Tab", "space")
        self.pen.wait_sent(2)
        self.acknowledged(seen, "reset acknowledged")
        wait_until(lambda: self.pen.status()["pending_input"] == 0, message="the defaults taken")
        self.assertEqual(self.pen.sent(), [b"\0\x60\x60" + bytes(30), READ_BACK])
        self.pen.clear_sent()
        self.desktop.click(window, *WRITE)
        self.pen.wait_sent(2)
        self.assertEqual(self.pen.sent(), [b"\0" + factory[:32], b"\0" + factory[32:]])

        # Closed as a window manager closes it: hidden, and still following the pen.
        # Qt passes over a close request that reaches a window it still
        # counts as blocked by a modal dialog, as the question just was; a
        # window that never hides fails the wait.
        wait_until(lambda: not self.desktop.visible_windows("^Widget$") or self.desktop.close_window(window),
                   interval=2.0, message="the window to hide")
        self.pen.mode("magnifier", 4)
        self.bench.wait_effect("Loupex", 4)
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
