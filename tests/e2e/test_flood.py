"""A receiver gone mad: the real program takes a flood of random reports,
short and long, many of them near misses of the real ones, and afterwards
still follows the pen's mode. QUORVANT_FLOOD_REPORTS and QUORVANT_FLOOD_SEED
set the size of the flood and its seed."""

import os
import random
import time
import unittest

import harness

REPORTS = int(os.environ.get("QUORVANT_FLOOD_REPORTS", "3000"))
SEED = int(os.environ.get("QUORVANT_FLOOD_SEED", "20240611"))

# The leading bytes of every report the receiver sends.
KNOWN = [bytes.fromhex(h) for h in ("1234abcd", "1234a1b1", "1234a2b2", "1234a0b0", "1234a0b1", "1234a1b2",
                                    "1234a2b3", "1234aacc", "8899", "6666", "55", "56")]


def flood(rng, count):
    """A third pure noise; the rest a known report's leading bytes, cut short
    or padded with noise up to 64 bytes, some with one byte changed."""
    reports = []
    for _ in range(count):
        length = rng.choice((0, 1, 2, 3, 4, 5, 6, 31, 32, 33, 63, 64, rng.randint(0, 64)))
        noise = bytes(rng.getrandbits(8) for _ in range(length))
        report = bytearray(noise if rng.random() < 1 / 3 else (rng.choice(KNOWN) + noise)[:length])
        if report and rng.random() < 0.2:
            report[rng.randrange(len(report))] = rng.getrandbits(8)
        reports.append(bytes(report))
    return reports


class Flood(unittest.TestCase):
    def test_flood_then_a_mode_report_is_still_followed(self):
        _, pen, bench = harness.set_up(self)
        program = bench.start_program()
        pen.wait_sent(1)  # the read-back request: the program has the receiver open
        reports = flood(random.Random(SEED), REPORTS)
        started = time.monotonic()
        for report in reports:
            pen.raw(report)
        bench.wait(lambda: pen.status()["pending_input"] == 0, "the program to read the whole flood", timeout=600)
        self.assertTrue(program.running(), "the program did not survive the flood")
        print("\nflood: %d reports (%d of 0 to 6 bytes, %d of 31 to 64), seed %d, read in %.1f s"
              % (len(reports), sum(len(r) <= 6 for r in reports), sum(len(r) >= 31 for r in reports), SEED,
                 time.monotonic() - started))

        # Whatever the flood left running, normal use stops it, and the next
        # mode reports are followed as ever.
        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "every effect program stopped")
        pen.mode("magnifier", 4)
        bench.wait_effect("Loupex", 4)
        pen.mode("laser", 255)
        bench.wait_effect("Dotrix", 255)
        # An orderly end: sizes saved and, in a sanitizer build, no leak.
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
