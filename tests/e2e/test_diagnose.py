"""quorvant-diagnose against the simulated receiver: what it says of the
traffic interface, and its exit status, plugged in, not openable and pulled
out."""

import os
import subprocess
import sys
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
                                stderr=subprocess.PIPE, text=True, timeout=TIMEOUT)
        sys.stderr.write(result.stderr)
        return result.returncode, result.stdout.splitlines()

    def interface_line(self, lines, number):
        found = [line.split() for line in lines if line.split()[:2] == ["interface", str(number)]]
        self.assertEqual(len(found), 1, lines)
        return " ".join(found[0])

    def test_traffic_interface_as_the_receiver_has_it(self):
        status, lines = self.diagnose()
        self.assertEqual(status, 0, lines)
        self.assertIn("receiver 26e3:af01: 4 HID interfaces", lines)
        self.assertEqual(self.interface_line(lines, 3), "interface 3 quorvant-sim:if3 not a device node; openable: yes")
        self.assertTrue(any(line.startswith("udev rule: ") for line in lines), lines)

        self.pen.openable("no")
        status, lines = self.diagnose()
        self.assertEqual(status, 1, lines)
        self.assertRegex(self.interface_line(lines, 3),
                         r"^interface 3 quorvant-sim:if3 not a device node; openable: no \(.+\)$")
        self.assertTrue(lines[-1].startswith("result: interface 3 cannot be opened"), lines)

        self.pen.openable("yes")
        self.pen.unplug()
        status, lines = self.diagnose()
        self.assertEqual(status, 1, lines)
        self.assertFalse([line for line in lines if line.strip().startswith("interface")], lines)
        self.assertEqual(lines[-1], "result: interface 3 is not there")


if __name__ == "__main__":
    unittest.main()
