"""Weeks in the tray, in a few minutes: mode switches with their notices and
replugs, after which the program still follows the pen and its resident size
has grown by at most 2 MiB (not bounded under AddressSanitizer, which looks
for leaks at exit instead)."""

import os
import re
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


class Soak(unittest.TestCase):
    def test_soak(self):
        # A verbose receiver logs when the program lets go of it.
        desktop, pen, bench = set_up(self, verbose_pen=True)
        program = bench.start_program()
        pen.wait_sent(1)
        pid = program.program_pid()
        # AddressSanitizer keeps freed memory in quarantine on purpose.
        sanitized = "libasan" in read("/proc/%d/maps" % pid)
        replugged, samples = 0, []
        for switch in range(SWITCHES):
            mode = CYCLE[switch % len(CYCLE)]
            pen.mode(mode, switch % 11)
            pen.notice(mode)
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
        self.assertGreaterEqual(program.count("Mode balloon:"), SWITCHES // BATCH)
        self.assertEqual(program.count("could not be started"), 0)

        # Still following the pen to the letter, and no notice left up.
        bench.wait(lambda: not bench.running(), "normal use to leave no effect program running")
        pen.mode("spotlight", 9)
        bench.wait_effect("Halvix", 9)
        wait_until(lambda: not desktop.visible_windows("^Dialog$"), message="the last notice to go")

        growth = max(rss for _, rss in samples) - samples[0][1]
        print("\nsoak: %d switches, %d replugs" % (SWITCHES, replugged))
        print("soak: VmRSS after switches %s KiB; growth after the first %d switches %d KiB%s"
              % (", ".join("%d: %d" % sample for sample in samples), WARM_UP, growth,
                 " (AddressSanitizer build: not bounded)" if sanitized else ""))
        if not sanitized:
            self.assertLessEqual(growth, GROWTH_LIMIT_KIB)
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
