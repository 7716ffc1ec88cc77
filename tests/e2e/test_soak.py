"""Weeks in the tray, in a few minutes: the real program follows 2,000 mode
switches, each with its notice, and 50 replugs of the receiver. It must keep
following the pen, and after a warm-up its resident size grows by at most
2 MiB (printed but not bounded under AddressSanitizer, which looks for leaks
at exit instead). QUORVANT_SOAK_SWITCHES and QUORVANT_SOAK_REPLUGS shorten it.
A receiver gone mad: the program takes a flood of random reports, short and
long, many of them near misses of the real ones, and afterwards still
follows the pen's mode. QUORVANT_FLOOD_REPORTS and QUORVANT_FLOOD_SEED set
the size of the flood and its seed.
"""

import os
import random
import re
import time
import unittest

from tests.support.desktops import read, wait_until
from tests.support.desktops.program import set_up

SWITCHES = int(os.environ.get("QUORVANT_SOAK_SWITCHES", "2000"))
REPLUGS = int(os.environ.get("QUORVANT_SOAK_REPLUGS", "50"))
WARM_UP = SWITCHES // 10  # switches, and their share of replugs, before the baseline
SAMPLE_EVERY = SWITCHES // 5
BATCH = 20  # switches sent before waiting for the program to catch up
GROWTH_LIMIT_KIB = 2048
CYCLE = ("laser", "magnifier", "spotlight", "normal")
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


class Soak(unittest.TestCase):
    def test_soak(self):
        # A verbose receiver logs when the program lets go of it.
        desktop, pen, bench = set_up(self, verbose_pen=True)
        program = bench.start_program()
        pen.wait_sent(1)
        pid = program.program_pid()
        # AddressSanitizer keeps freed memory in quarantine on purpose.
        sanitized = "libasan" in read("/proc/%d/maps" % pid)
        entered, replugged, samples = 0, 0, []  # effect modes asked for
        started = time.monotonic()
        for switch in range(SWITCHES):
            mode = CYCLE[switch % len(CYCLE)]
            pen.mode(mode, switch % 11)
            pen.notice(mode)
            entered += mode != "normal"
            done = switch + 1
            if done % BATCH and done != SWITCHES:
                continue
            # Mode reports that come faster than the program takes them give
            # way to the newest, so a last spotlight of a size of its own
            # shows that the program caught up with the batch.
            level = 1 + done // BATCH % 10
            pen.mode("spotlight", level)
            bench.wait_effect("Halvix", level)
            pen.mode("normal")
            bench.wait(lambda: not bench.running() and pen.status()["pending_input"] == 0,
                       "the program to follow %d switches" % done, program, 120)
            while replugged < done * REPLUGS // SWITCHES:  # spread evenly over the switches
                attempts = pen.status()["open_attempts"]
                pen.pull_out()
                pen.plug()
                bench.wait(lambda: pen.status()["open_attempts"] > attempts, "the receiver opened again")
                replugged += 1
            if done == WARM_UP or done % SAMPLE_EVERY == 0:
                rss = re.search(r"VmRSS:\s*(\d+)", read("/proc/%d/status" % pid))[1]
                samples.append((done, int(rss)))
        elapsed = time.monotonic() - started
        self.assertGreaterEqual(program.count("Mode balloon:"), SWITCHES // BATCH)
        self.assertEqual(program.count("could not be started"), 0)

        # Still following the pen to the letter, and no notice left up.
        bench.wait(lambda: not bench.running(), "normal use to leave no effect program running")
        pen.mode("spotlight", 9)
        bench.wait_effect("Halvix", 9)
        wait_until(lambda: not desktop.visible_windows("^Dialog$"), message="the last notice to go")

        growth = max(rss for _, rss in samples) - samples[0][1]
        print("\nsoak: %d switches, %d replugs in %.0f s; %d effect modes asked for, %d finding their effect program"
              " still running" % (SWITCHES, replugged, elapsed, entered, program.count("is running!")))
        print("soak: VmRSS after switches %s KiB; growth after the first %d switches %d KiB%s"
              % (", ".join("%d: %d" % sample for sample in samples), WARM_UP, growth,
                 " (AddressSanitizer build: not bounded)" if sanitized else ""))
        if not sanitized:
            self.assertLessEqual(growth, GROWTH_LIMIT_KIB)
        self.assertEqual(program.terminate(), 0)


    def test_flood_then_a_mode_report_is_still_followed(self):
        _, pen, bench = set_up(self)
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
