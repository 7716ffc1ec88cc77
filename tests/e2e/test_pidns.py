"""pidns.py, the process namespace the end-to-end tests run the program in:
the command's status comes back, signals reach it, and what it orphans is
reaped instead of piling up as zombies for as long as it runs."""

import os
import subprocess
import sys
import unittest

PIDNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pidns.py")
TIMEOUT = 60

# Orphans two children that end at once, as the program orphans its effect
# programs and kills them later, then waits for them to be reaped and prints
# how many are left as zombies.
ORPHANS = r"""
import os, time
for _ in range(2):
    child = os.fork()
    if child == 0:
        if os.fork() == 0:
            os._exit(0)
        os._exit(0)
    os.waitpid(child, 0)

def others():
    states = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) not in (1, os.getpid()):
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    states.append(stat.read().rsplit(")", 1)[1].split()[0])
            except OSError:
                pass  # reaped while looking
    return states

deadline = time.monotonic() + 30
while others() and time.monotonic() < deadline:
    time.sleep(0.01)
print(others().count("Z"))
"""

# Says which library was preloaded into it, then waits to be stopped.
PRELOADED = r"""
import os, time
print(os.environ.get("LD_PRELOAD", ""), flush=True)
time.sleep(600)
"""

HANDLES_TERM = r"""
import signal, sys, time
signal.signal(signal.SIGTERM, lambda *_: sys.exit(5))
print("ready", flush=True)
time.sleep(600)
"""


def namespaces_possible():
    # Without the privilege to make one, the command runs as it is, with a
    # pid of the whole machine.
    result = subprocess.run([sys.executable, PIDNS, sys.executable, "-c", "import os; print(os.getpid())"],
                            stdout=subprocess.PIPE, text=True, timeout=TIMEOUT)
    return int(result.stdout) <= 2


class ProcessNamespace(unittest.TestCase):
    def setUp(self):
        if not namespaces_possible():
            self.skipTest("no process namespaces here: the command runs as it is")

    def test_orphans_are_reaped(self):
        result = subprocess.run([sys.executable, PIDNS, sys.executable, "-c", ORPHANS],
                                stdout=subprocess.PIPE, text=True, timeout=TIMEOUT)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout.strip(), "0", "zombies left in the namespace")

    def test_exit_status_comes_back(self):
        for script, code in (("import sys; sys.exit(3)", 3), ("import os, signal; os.kill(os.getpid(), 9)", 137)):
            with self.subTest(script=script):
                result = subprocess.run([sys.executable, PIDNS, sys.executable, "-c", script], timeout=TIMEOUT)
                self.assertEqual(result.returncode, code)

    def test_terminate_reaches_the_command(self):
        process = subprocess.Popen([sys.executable, PIDNS, sys.executable, "-c", HANDLES_TERM],
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.kill)
        self.assertEqual(process.stdout.readline().strip(), "ready")
        process.terminate()
        self.assertEqual(process.wait(TIMEOUT), 5)

    def test_a_preload_is_for_the_command_alone(self):
        # A sanitizer runtime that comes with the simulated receiver's library
        # must not run inside the script, where it would check Python at exit.
        library = os.path.join(os.environ.get("QUORVANT_BIN_DIR", ""), "libquorvant-hidsim.so")
        if not os.path.exists(library):
            self.skipTest("no %s" % library)
        process = subprocess.Popen([sys.executable, PIDNS, sys.executable, "-c", PRELOADED],
                                   env=dict(os.environ, LD_PRELOAD=library), stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.stdout.close)
        self.addCleanup(process.kill)
        self.assertEqual(process.stdout.readline().strip(), library)
        with open("/proc/%d/maps" % process.pid) as maps:
            self.assertFalse("libquorvant-hidsim" in maps.read(), "the script itself carries the preload")
        process.terminate()
        self.assertEqual(process.wait(TIMEOUT), 128 + 15)


if __name__ == "__main__":
    unittest.main()
