"""A receiver that is plugged in but cannot be opened: held by another program,
it is tried again only now and then; not the user's to open, the user is told
once and it is not tried again until the system reports a change of its
nodes, when it is opened at once. Either way the pen is then followed."""

import time
import unittest

import harness

WINDOW = 6.0  # seconds watched
MOST_ATTEMPTS = 4


class Unopenable(unittest.TestCase):
    def test_held_elsewhere_is_retried_sparingly(self):
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

        # Once it can be opened it is taken, and the pen is followed again.
        pen.openable("yes")
        pen.mode("magnifier", 5)
        bench.wait_effect("Loupex", 5)
        self.assertEqual(program.terminate(), 0)

    def test_denied_is_told_once_and_taken_when_the_system_allows(self):
        desktop, pen, bench = harness.set_up(self)
        pen.openable("denied")
        program = bench.start_program()
        # Qt's balloon is a tool tip window, taller than the icon's tool tip.
        harness.wait_until(lambda: [g for g in desktop.windows_of_type("TOOLTIP").values() if g[3] >= 60],
                           message="the balloon that says why")
        desktop.keep("unopenable-denied")
        # No retry loop: watched for a while, nothing is tried.
        attempts, start = pen.status()["open_attempts"], time.monotonic()
        while time.monotonic() - start < WINDOW / 2:
            self.assertEqual(pen.status()["open_attempts"], attempts)
            time.sleep(0.1)
        self.assertEqual(pen.sent(), [])

        # The rule installed and applied: the receiver is opened at once and
        # read back.
        pen.openable("yes")
        harness.wait_until(lambda: pen.sent(), 5, message="the read-back at once")
        pen.mode("spotlight", 3)
        bench.wait_effect("Halvix", 3)
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
