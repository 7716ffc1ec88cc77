"""A receiver gone mad: the real program takes a flood of random input
reports, short and long, some of them near misses and mutations of the real
ones, and afterwards still follows the pen's mode.

QUORVANT_FLOOD_REPORTS sets the size of the flood (default 3000) and
QUORVANT_FLOOD_SEED its random seed.
"""

import os
import random
import time
import unittest

import effectbench

REPORTS = int(os.environ.get("QUORVANT_FLOOD_REPORTS", "3000"))
SEED = int(os.environ.get("QUORVANT_FLOOD_SEED", "20240611"))
TIMEOUT = 120

# The leading bytes of every report the receiver sends.
KNOWN = [
    bytes([0x12, 0x34, 0xAB, 0xCD]), bytes([0x12, 0x34, 0xA1, 0xB1]), bytes([0x12, 0x34, 0xA2, 0xB2]),
    bytes([0x12, 0x34, 0xA0, 0xB0]), bytes([0x12, 0x34, 0xA0, 0xB1]), bytes([0x12, 0x34, 0xA1, 0xB2]),
    bytes([0x12, 0x34, 0xA2, 0xB3]), bytes([0x12, 0x34, 0xAA, 0xCC]), bytes([0x88, 0x99]),
    bytes([0x66, 0x66]), bytes([0x55]), bytes([0x56]),
]


def flood(rng, count):
    """Random reports: a third pure noise, the rest built on a known report's
    leading bytes, cut short, padded with noise up to 64 bytes, or with one
    byte changed."""
    reports = []
    for _ in range(count):
        length = rng.choice((0, 1, 2, 3, 4, 5, 6, 31, 32, 33, 63, 64, rng.randint(0, 64)))
        noise = bytes(rng.getrandbits(8) for _ in range(length))
        if rng.random() < 1 / 3:
            reports.append(noise)
            continue
        report = bytearray(rng.choice(KNOWN) + noise)[:length]
        if report and rng.random() < 0.2:
            report[rng.randrange(len(report))] = rng.getrandbits(8)
        reports.append(bytes(report))
    return reports


class Flood(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = effectbench.set_up(self)

    def test_flood_then_a_mode_report_is_still_followed(self):
        bench, pen = self.bench, self.pen
        program = bench.start_program()
        # The read-back request shows the program has the receiver open.
        pen.wait_sent(1, TIMEOUT)

        rng = random.Random(SEED)
        reports = flood(rng, REPORTS)
        started = time.monotonic()
        for report in reports:
            pen.raw(report)
        bench.wait(lambda: pen.status()["pending_input"] == 0, "the program to read the whole flood",
                   timeout=TIMEOUT * 5)
        elapsed = time.monotonic() - started
        self.assertTrue(program.running(), "the program did not survive the flood")
        print("\nflood: %d reports (%d of 0 to 6 bytes, %d of 31 to 64), seed %d, read in %.1f s;"
              " %d effect programs started, %d stopped"
              % (len(reports), sum(len(r) <= 6 for r in reports), sum(len(r) >= 31 for r in reports),
                 SEED, elapsed, len(bench.starts()), program.count("pInt:")))

        # Whatever the flood left running, normal use stops it, and the next
        # mode report is followed as ever.
        pen.mode("normal", 0)
        bench.wait(lambda: not bench.running(), "every effect program stopped")
        pen.mode("magnifier", 4)
        bench.wait(lambda: bench.running() == {"Loupex"} and bench.segment("Magnifier_shared") == 4,
                   "Loupex alone running and Magnifier_shared holding 4")
        pen.mode("laser", 255)
        bench.wait(lambda: bench.running() == {"Dotrix"} and bench.segment("Dotrix_shared") == 255,
                   "Dotrix alone running and Dotrix_shared holding 255")

        # An orderly end: sizes saved and, in a sanitizer build, no leak.
        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))


if __name__ == "__main__":
    unittest.main()
