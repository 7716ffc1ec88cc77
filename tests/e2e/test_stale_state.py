"""What a crash leaves behind, with real processes killed by SIGKILL: the
program's single-instance socket, and size segments with nobody attached.
The next run still starts, still guards against a second copy, and still
hands the effect programs their sizes."""

import os
import signal
import subprocess
import unittest

import harness
from harness import SEGMENTS


class StaleState(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = harness.set_up(self, stand_ins=False)

    def kill(self, pid):
        os.kill(pid, signal.SIGKILL)
        self.bench.wait(lambda: harness.dead(pid), "%d to die" % pid)

    def test_segment_of_a_killed_effect_program(self):
        bench, pen = self.bench, self.pen
        # The effect program runs first, makes the segment, and is killed.
        loupex = subprocess.Popen([os.path.join(bench.app, "Loupex")], env=dict(self.desktop.env(), **bench.env),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(loupex.kill)
        bench.wait(lambda: bench.segment_record("Magnifier_shared"), "Loupex's segment")
        self.kill(loupex.pid)
        loupex.wait()
        shmid, attached = bench.segment_record("Magnifier_shared")
        self.assertEqual(attached, 0, "the killed program's segment is left with nobody attached")

        # The next run takes the leftover and hands the size through it.
        # A child the program forks (D-Bus's autolaunch helper here) holds its
        # attachments until it executes, so the count settles rather than is.
        program = bench.start_program()
        bench.wait(lambda: bench.segment_record("Magnifier_shared") == (shmid, 1),
                   "the program alone attached to the leftover segment", program)
        pen.mode("magnifier", 6)
        bench.wait_effect("Loupex", 6)
        self.assertEqual(program.terminate(), 0)

    def test_socket_and_segments_of_a_killed_program(self):
        bench, pen = self.bench, self.pen
        first = bench.start_program()
        socket = first.instance_socket()
        pen.mode("laser", 9)
        bench.wait_effect("Dotrix", 9)

        # The effect program dies with the program's namespace.
        self.kill(first.program_pid())
        self.assertEqual(first.wait(), 128 + signal.SIGKILL)
        bench.wait(lambda: not bench.running(), "the effect program to go with the namespace")
        self.assertTrue(os.path.exists(socket), "a killed copy leaves its socket behind")
        for key in SEGMENTS.values():
            self.assertEqual(bench.segment_record(key)[1], 0, "%s is left with nobody attached" % key)

        # The next start in the same runtime folder takes the socket over...
        second = bench.start_program(home=first.home)
        harness.wait_until(lambda: harness.listening(socket), message="the next copy to listen")
        code, err = second.run_second_copy()
        self.assertEqual((code, err.splitlines()[-1:]), (0, ["quorvant already running."]))

        # ...and hands over the size, an absurd one as it is: the effect
        # program clamps it, and is still there to be stopped.
        pen.mode("laser", 255)
        bench.wait_effect("Dotrix", 255, second)
        pen.mode("normal", 0)
        second.wait_for_log("pInt: 0")
        bench.wait(lambda: not bench.running(), "Dotrix stopped", second)
        self.assertEqual(second.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
