"""A receiver that is plugged in but cannot be opened (no permission, held by
another program): the real program tries again only now and then, and
follows the pen as soon as the receiver can be opened."""

import time
import unittest

import harness

WINDOW = 6.0  # seconds watched
MOST_ATTEMPTS = 4


class Unopenable(unittest.TestCase):
    def test_retried_sparingly_then_followed(self):
        _, pen, bench = harness.set_up(self, desktop=False)
        pen.openable("no")
        program = bench.start_program()
        # Counted from the first attempt on: a slower machine only makes fewer.
        harness.wait_until(lambda: pen.status()["open_attempts"] >= 1, message="a first attempt to open")
        start = time.monotonic()
        while time.monotonic() - start < WINDOW:
            attempts = pen.status()["open_attempts"]
            self.assertLessEqual(attempts, MOST_ATTEMPTS, "opened too often")
            time.sleep(0.1)
        print("\nunopenable: %d open attempts in %.0f s" % (attempts, WINDOW))
        self.assertTrue(program.running())
        self.assertEqual(program.count("Write Usb Hid Read KeyValue Fail!"), 1)

        # Once it can be opened, the next attempt takes it, and the pen is followed again.
        pen.openable("yes")
        pen.mode("magnifier", 5)
        bench.wait_effect("Loupex", 5)
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
