"""A receiver that is plugged in but cannot be opened (no permission, held by
another program): the real program tries again only now and then, and
follows the pen as soon as the receiver can be opened."""

import time
import unittest

from effectbench import EffectBench
from simpen import SimPen

TIMEOUT = 60
WINDOW = 6.0  # seconds watched
MOST_ATTEMPTS = 4


class Unopenable(unittest.TestCase):
    def setUp(self):
        self.pen = SimPen()
        self.pen.start()
        self.addCleanup(self.pen.stop)
        self.bench = EffectBench(pen=self.pen)
        self.addCleanup(self.bench.close)

    def test_retried_sparingly_then_followed(self):
        pen = self.pen
        pen.openable(False)
        program = self.bench.start_program()

        # From the first attempt on, the attempts are counted for a while:
        # a slower machine only makes fewer of them.
        pen.wait_for(lambda: pen.status()["open_attempts"] >= 1, TIMEOUT, "a first attempt to open")
        start = time.monotonic()
        attempts = 1
        while time.monotonic() - start < WINDOW:
            attempts = pen.status()["open_attempts"]
            self.assertLessEqual(attempts, MOST_ATTEMPTS, "opened too often")
            time.sleep(0.1)
        self.assertTrue(program.running())
        print("\nunopenable: %d open attempts in %.0f s" % (attempts, WINDOW))
        self.assertEqual(program.count("Write Usb Hid Read KeyValue Fail!"), 1)

        # Once it can be opened, the next attempt takes it, and the pen is
        # followed again.
        pen.openable(True)
        pen.mode("magnifier", 5)
        self.bench.wait(lambda: self.bench.running() == {"Loupex"} and self.bench.segment("Magnifier_shared") == 5,
                        "Loupex running and Magnifier_shared holding 5")
        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))


if __name__ == "__main__":
    unittest.main()
