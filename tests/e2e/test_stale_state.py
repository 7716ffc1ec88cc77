"""What a crash leaves behind: an effect program or the program itself killed
with SIGKILL leaves its size segment in the system with nobody attached, and
the next run still hands the effect program its size through it.

The real effect programs run when they are built; the segments are looked up
in the system's table, since attaching to an orphaned segment and letting go
would remove it.
"""

import os
import subprocess
import unittest

import effectbench
import harness
from effectbench import SEGMENTS

TIMEOUT = 60
REAL_EFFECTS = all(os.path.exists(os.path.join(harness.BIN_DIR, name)) for name in SEGMENTS)


class StaleState(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = effectbench.set_up(self, stand_ins=not REAL_EFFECTS)

    def kill(self, pid):
        os.kill(pid, 9)
        self.bench.wait(lambda: not os.path.exists("/proc/%d" % pid) or self.zombie(pid), "%d to die" % pid)

    @staticmethod
    def zombie(pid):
        try:
            with open("/proc/%d/stat" % pid) as stat:
                return stat.read().rsplit(")", 1)[1].split()[0] == "Z"
        except OSError:
            return True

    def orphaned(self, key):
        record = self.bench.segment_record(key)
        return record is not None and record[1] == 0

    def test_segment_of_a_killed_effect_program(self):
        bench, pen = self.bench, self.pen
        # The effect program runs before the program and makes the segment,
        # which holds 9 when the effect program is killed.
        loupex = subprocess.Popen([os.path.join(bench.app, "Loupex")], env=dict(self.desktop.env(), **bench.env()),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(loupex.kill)
        bench.wait(lambda: bench.segment_record("Magnifier_shared") is not None, "Loupex's segment")
        holder = subprocess.Popen([os.path.join(harness.BIN_DIR, "quorvant-segment"), "hold", "Magnifier_shared", "9"],
                                  env=dict(os.environ, **bench.env()), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  text=True)
        self.assertEqual(holder.stdout.readline().strip(), "ready")
        holder.stdin.close()
        holder.stdout.close()
        self.assertEqual(holder.wait(TIMEOUT), 0)
        self.kill(loupex.pid)
        loupex.wait(TIMEOUT)
        shmid, attached = bench.segment_record("Magnifier_shared")
        self.assertEqual(attached, 0, "the killed program's segment should be left with nobody attached")

        # The next run takes the leftover as it is, and the next switch hands
        # the new size through it.
        program = bench.start_program()
        self.assertEqual(bench.segment_record("Magnifier_shared"), (shmid, 1))
        self.assertEqual(bench.segment("Magnifier_shared"), 9)
        pen.mode("magnifier", 6)
        bench.wait(lambda: bench.running() == {"Loupex"} and bench.segment("Magnifier_shared") == 6,
                   "Loupex running and Magnifier_shared holding 6")

        # Killed again while its mode is on: the next switch into the mode
        # starts it anew and hands it the new size.
        for pid in bench.running_pids("Loupex"):
            self.kill(pid)
        pen.mode("normal", 0)
        pen.mode("magnifier", 7)
        bench.wait(lambda: bench.running() == {"Loupex"} and bench.segment("Magnifier_shared") == 7,
                   "Loupex running again and Magnifier_shared holding 7")
        self.assertEqual(bench.segment_record("Magnifier_shared")[0], shmid)
        self.assertEqual(program.terminate(), 0, "\n".join(program.log_lines()[-30:]))

    def test_segments_of_a_killed_program(self):
        bench, pen = self.bench, self.pen
        first = bench.start_program()
        pen.mode("laser", 9)
        bench.wait(lambda: bench.running() == {"Dotrix"} and bench.segment("Dotrix_shared") == 9,
                   "Dotrix running and Dotrix_shared holding 9")

        # The program dies with its namespace, and its effect program with it.
        self.kill(first.program_pid())
        self.assertEqual(first.wait(TIMEOUT), 128 + 9)
        bench.wait(lambda: not bench.running(), "the effect program to go with the namespace")
        for key in SEGMENTS.values():
            self.assertTrue(self.orphaned(key), "%s should be left behind" % key)

        # The next start, with the same single-instance socket left behind,
        # still starts and still hands over the size, an absurd one as it is:
        # the effect program clamps it, and is still there to be stopped.
        second = bench.start_program(home=first.home)
        pen.mode("laser", 255)
        bench.wait(lambda: bench.running() == {"Dotrix"} and bench.segment("Dotrix_shared") == 255,
                   "Dotrix running and Dotrix_shared holding 255", second)
        pen.mode("normal", 0)
        second.wait_for_log("pInt: 0", 1, TIMEOUT)
        bench.wait(lambda: not bench.running(), "Dotrix stopped", second)
        self.assertEqual(second.terminate(), 0, "\n".join(second.log_lines()[-30:]))


if __name__ == "__main__":
    unittest.main()
