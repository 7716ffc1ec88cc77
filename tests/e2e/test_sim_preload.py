"""The bench itself, where a fault would make the other tests pass or fail for
the wrong reason: the shipped program calls hidapi through the dynamic linker,
so that the preloaded receiver stands in for the real one, and the process
namespace reaps orphans and keeps the preload off its own interpreter."""

import os
import subprocess
import sys
import unittest

import harness

# Orphans two children as the program orphans its effect programs, then says
# how many are left, as zombies, once they could have been reaped.
ORPHANS = r"""
import os, sys, time
for _ in range(2):
    if os.fork() == 0:
        os.fork()
        os._exit(0)
    os.wait()
print(os.getpid(), os.environ.get("LD_PRELOAD"), flush=True)
others = lambda: [p for p in os.listdir("/proc") if p.isdigit() and int(p) not in (1, os.getpid())]
deadline = time.monotonic() + 30
while others() and time.monotonic() < deadline:
    time.sleep(0.01)
print(len(others()), flush=True)
sys.stdin.read()
"""


class Bench(unittest.TestCase):
    def test_program_calls_the_shared_hidapi(self):
        program = os.path.join(harness.BIN_DIR, "quorvant")
        self.assertIn("[libhidapi-hidraw.so", harness.output("readelf", "-d", program))
        undefined = harness.output("nm", "-D", "--undefined-only", program).split()
        self.assertTrue({"hid_open_path", "hid_read_timeout", "hid_write"} <= set(undefined), undefined)

    def test_namespace_reaps_orphans_and_keeps_the_preload_for_the_command(self):
        library = os.path.join(harness.BIN_DIR, "libquorvant-hidsim.so")
        process = subprocess.Popen([sys.executable, harness.PIDNS, sys.executable, "-c", ORPHANS],
                                   env=dict(os.environ, LD_PRELOAD=library), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.kill)
        pid, preload = process.stdout.readline().split()
        self.assertEqual(preload, library)
        if int(pid) > 2:
            self.skipTest("no process namespaces here: the command runs as it is")
        self.assertEqual(process.stdout.readline().strip(), "0", "zombies left in the namespace")
        self.assertNotIn("libquorvant-hidsim", harness.read("/proc/%d/maps" % process.pid))
        process.stdin.close()
        self.assertEqual(process.wait(harness.TIMEOUT), 0)


if __name__ == "__main__":
    unittest.main()
