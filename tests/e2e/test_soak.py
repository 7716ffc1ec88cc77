"""Weeks in the tray, in a few minutes: the real program follows 2,000 mode
switches, each with its notice as the pen sends it, and 50 times the receiver
is pulled out and put back. It must keep up, keep following the pen, and its
memory must level off: after a warm-up its resident size grows by at most
2 MiB.

In a build with AddressSanitizer the size is printed but not bounded: the
sanitizer keeps freed memory in quarantine on purpose, and looks for leaks at
exit instead. Every process the program starts costs many times as much
there, so the sanitizer run asks for a shorter soak through
QUORVANT_SOAK_SWITCHES and QUORVANT_SOAK_REPLUGS.
"""

import os
import time
import unittest

import effectbench
import harness
from effectbench import is_sanitized, vm_rss_kib

SWITCHES = int(os.environ.get("QUORVANT_SOAK_SWITCHES", "2000"))
REPLUGS = int(os.environ.get("QUORVANT_SOAK_REPLUGS", "50"))
WARM_UP = SWITCHES // 10  # switches, and their share of replugs, before the baseline
SAMPLE_EVERY = SWITCHES // 5
BATCH = 20  # switches sent before waiting for the program to catch up
GROWTH_LIMIT_KIB = 2048
TIMEOUT = 120
CYCLE = ("laser", "magnifier", "spotlight", "normal")


class Soak(unittest.TestCase):
    def setUp(self):
        # Verbose: the daemon's log shows when the program lets go of a
        # receiver that was pulled out.
        self.desktop, self.pen, self.bench = effectbench.set_up(self, verbose_pen=True)

    def replug(self):
        """Pulls the receiver out, waits for the program to let go of it,
        puts it back and waits for the program to open it again."""
        pen, bench = self.pen, self.bench
        closes = pen.log().count("quorvant-pen: close ")
        attempts = pen.status()["open_attempts"]
        pen.unplug()
        bench.wait(lambda: pen.log().count("quorvant-pen: close ") > closes, "the program to let go of the receiver")
        pen.plug()
        bench.wait(lambda: pen.status()["open_attempts"] > attempts, "the program to open the receiver again")

    def test_soak(self):
        bench, pen = self.bench, self.pen
        program = bench.start_program()
        pen.wait_sent(1, TIMEOUT)
        pid = program.program_pid()
        self.assertIsNotNone(pid)
        sanitized = is_sanitized(pid)

        entered = 0  # effect modes entered: one balloon each
        samples = []
        started = time.monotonic()
        replugged = 0
        for switch in range(SWITCHES):
            mode = CYCLE[switch % len(CYCLE)]
            pen.mode(mode, switch % 11)
            pen.notice(mode)
            if mode != "normal":
                entered += 1
            done = switch + 1
            if done % BATCH and done != SWITCHES:
                continue
            bench.wait(lambda: program.count("Mode balloon:") >= entered and pen.status()["pending_input"] == 0,
                       "the program to follow %d switches" % done, program, TIMEOUT)
            # Spread evenly over the switches.
            while replugged < done * REPLUGS // SWITCHES:
                self.replug()
                replugged += 1
            if done == WARM_UP or done % SAMPLE_EVERY == 0:
                samples.append((done, vm_rss_kib(pid)))
        elapsed = time.monotonic() - started
        self.assertEqual(replugged, REPLUGS)

        # Every mode entered was announced, and every effect program started.
        self.assertEqual(program.count("Mode balloon:"), entered)
        self.assertEqual(program.count("could not be started"), 0)
        already_running = program.count("is running!")

        # Still following the pen, to the letter.
        bench.wait(lambda: not bench.running(), "normal use to leave no effect program running")
        pen.mode("spotlight", 9)
        bench.wait(lambda: bench.running() == {"Halvix"} and bench.segment("Halvix_shared") == 9,
                   "Halvix alone running and Halvix_shared holding 9")
        # The notices were shown and hidden again: none is left up.
        harness.wait_until(lambda: not self.desktop.visible_windows("^Dialog$"), TIMEOUT,
                           message="the last mode notice to go")
        read_backs = sum(1 for report in pen.sent() if report[1:3] == b"\x70\x70")

        baseline = samples[0][1]
        growth = max(rss for _, rss in samples) - baseline
        print("\nsoak: %d switches, %d replugs in %.0f s; %d modes entered, %d of them finding their effect"
              " program still running; %d read-back requests"
              % (SWITCHES, REPLUGS, elapsed, entered, already_running, read_backs))
        print("soak: VmRSS after switches %s KiB; growth after the first %d switches %d KiB%s"
              % (", ".join("%d: %d" % sample for sample in samples), WARM_UP, growth,
                 " (AddressSanitizer build: not bounded)" if sanitized else ""))
        if not sanitized:
            self.assertLessEqual(growth, GROWTH_LIMIT_KIB)

        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))
        bench.wait(lambda: not bench.running(), "no effect program left running")


if __name__ == "__main__":
    unittest.main()
