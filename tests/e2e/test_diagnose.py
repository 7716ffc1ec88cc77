"""quorvant-diagnose against the simulated receiver."""

import os
import subprocess
import unittest

from tests.support.desktops import BIN_DIR, TIMEOUT
from tests.support.desktops.pen import SimPen

DIAGNOSE = os.path.join(BIN_DIR, "quorvant-diagnose")


class Diagnose(unittest.TestCase):
    def setUp(self):
        self.pen = SimPen().start()
        self.addCleanup(self.pen.stop)

    def diagnose(self):
        result = subprocess.run([DIAGNOSE], env=dict(os.environ, **self.pen.env()), stdout=subprocess.PIPE,
                                text=True, timeout=TIMEOUT)
        return result.returncode, result.stdout.splitlines()

    def test_traffic_interface_plugged_in_not_openable_and_pulled_out(self):
        # what is done to the receiver, exit status, interface 3's line (none
        # when it is not there), the last line
        for change, status, interface, last in (
                (None, 0, r"openable: yes$", r"^result: "),
                (lambda: self.pen.openable("no"), 1, r"openable: no \(.+\)$", r"^result: interface 3 cannot be opened"),
                (lambda: self.pen.openable("yes") or self.pen.unplug(), 1, None, r"^result: interface 3 is not there$")):
            if change:
                change()
            code, lines = self.diagnose()
            self.assertEqual(code, status, lines)
            found = [" ".join(line.split()) for line in lines if line.split()[:2] == ["interface", "3"]]
            if interface:
                self.assertEqual(len(found), 1, lines)
                self.assertRegex(found[0], r"^interface 3 quorvant-sim:if3 not a device node; " + interface)
                self.assertIn("receiver 26e3:af01: 4 HID interfaces", lines)
            else:
                self.assertEqual(found, [])
            self.assertRegex(lines[-1], last)


if __name__ == "__main__":
    unittest.main()
