"""The simulated receiver reached through the system's own hidapi, with
libquorvant-hidsim.so preloaded, the way the program reaches it: enumeration,
opening, writes, held reads, and the quorvant-pen command line."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from simpen import PenError, SimPen, default_bin_dir  # noqa: E402

BIN_DIR = os.path.abspath(default_bin_dir())
PROBE = os.path.join(BIN_DIR, "quorvant-hidprobe")
PEN = os.path.join(BIN_DIR, "quorvant-pen")
TIMEOUT = 60

READ_BACK = "00" + "70" * 2
RESET = "00" + "60" * 2


def block_checksum(block):
    return sum(block[:31]) & 0xFF


def custom_mapping():
    image = bytearray(64)
    image[0], image[32] = 0x55, 0x56
    image[3] = 0x4E  # key 1 click: PageDown
    image[32 + 25] = 0x29  # key 6 long press: Esc
    image[31] = 0x99  # wrong on purpose: the receiver recomputes it
    return bytes(image)


def sealed(image):
    image = bytearray(image)
    image[31] = block_checksum(image[:32])
    image[63] = block_checksum(image[32:])
    return bytes(image)


class Probe:
    """Runs quorvant-hidprobe against a pen, with the receiver preloaded."""

    def __init__(self, pen, preload=True):
        self.env = dict(os.environ)
        self.env.update(pen.env() if preload else {"QUORVANT_SIM_SOCKET": pen.socket_path})

    def run(self, *args):
        result = subprocess.run([PROBE, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=TIMEOUT)
        return result.returncode, result.stdout.decode().splitlines(), result.stderr.decode()

    def start(self, *args):
        return subprocess.Popen([PROBE, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def interfaces(self):
        code, lines, err = self.run("list")
        if code != 0:
            raise AssertionError("quorvant-hidprobe list failed (%d): %s" % (code, err))
        return lines


def pen_cli(pen, *args, socket_path=None):
    env = dict(os.environ, QUORVANT_SIM_SOCKET=socket_path or pen.socket_path)
    env.pop("LD_PRELOAD", None)
    result = subprocess.run([PEN, *args], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=TIMEOUT)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def finish(process):
    out, err = process.communicate(timeout=TIMEOUT)
    return process.returncode, out.decode().splitlines(), err.decode()


class PenTest(unittest.TestCase):
    def setUp(self):
        for path in (PROBE, PEN):
            if not os.path.exists(path):
                self.fail("%s is missing; build quorvant-pen, quorvant-hidsim and quorvant-hidprobe" % path)
        self.pen = SimPen(BIN_DIR).start()
        self.addCleanup(self.pen.stop)
        self.probe = Probe(self.pen)

    def assertLines(self, lines, expected, what):
        self.assertEqual(lines, expected, "%s: got %r, expected %r\ndaemon log:\n%s"
                         % (what, lines, expected, self.pen.log()))


class Enumeration(PenTest):
    def test_four_interfaces_while_plugged_none_after_unplug(self):
        expected = ["quorvant-sim:if%d 26e3:af01 interface=%d" % (n, n) for n in range(4)]
        self.assertLines(self.probe.interfaces(), expected, "plugged")
        self.pen.unplug()
        self.assertLines(self.probe.interfaces(), [], "unplugged")
        code, lines, _ = self.probe.run("talk")
        self.assertEqual((code, lines), (2, ["no receiver"]))
        self.pen.plug()
        self.assertLines(self.probe.interfaces(), expected, "plugged back in")

    def test_no_daemon_means_no_receiver(self):
        self.pen.stop()
        self.assertLines(self.probe.interfaces(), [], "without a daemon")
        code, lines, _ = self.probe.run("talk", "--write", READ_BACK)
        self.assertEqual((code, lines), (2, ["no receiver"]))

    def test_real_hidapi_without_preload_does_not_see_it(self):
        self.assertLines(Probe(self.pen, preload=False).interfaces(), [], "real hidapi")


class Commands(PenTest):
    def test_read_back_round_trip(self):
        self.pen.set_mapping(custom_mapping())
        stored = self.pen.mapping()
        self.assertEqual(stored, sealed(custom_mapping()), "set-mapping keeps the bytes and reseals the blocks")

        code, lines, err = self.probe.run("talk", "--write", READ_BACK, "--read", "2", "--timeout", "20000")
        self.assertEqual(code, 0, err + "\n".join(lines))
        self.assertLines(lines, ["wrote 33", "read 32 " + stored[:32].hex(), "read 32 " + stored[32:].hex()],
                         "read-back answer")
        self.assertEqual(self.pen.sent(), [bytes.fromhex(READ_BACK).ljust(33, b"\0")])
        self.assertEqual(self.pen.status()["open_attempts"], 1)

    def test_mapping_write_and_reset(self):
        image = sealed(custom_mapping())
        code, lines, err = self.probe.run("talk", "--write", "00" + image[:32].hex(), "--write",
                                          "00" + image[32:].hex(), "--read", "1", "--timeout", "20000")
        self.assertEqual(code, 0, err + "\n".join(lines))
        self.assertLines(lines, ["wrote 33", "wrote 33", "read 32 8899" + "00" * 30], "mapping write")
        self.assertEqual(self.pen.mapping(), image)

        code, lines, _ = self.probe.run("talk", "--write", RESET, "--read", "1", "--timeout", "20000")
        self.assertLines(lines, ["wrote 33", "read 32 6666" + "00" * 30], "reset")
        self.assertNotEqual(self.pen.mapping(), image)
        self.assertEqual(len(self.pen.sent()), 3)

    def test_failed_write_is_not_recorded(self):
        self.pen.fail_writes(1)
        code, lines, _ = self.probe.run("talk", "--write", READ_BACK)
        self.assertEqual(code, 4, lines)
        self.assertEqual(self.pen.sent(), [])
        self.assertEqual(self.pen.status()["pending_input"], 0)

    def test_not_openable(self):
        self.pen.openable(False)
        code, lines, _ = self.probe.run("talk")
        self.assertEqual(code, 3, lines)
        self.assertTrue(lines and lines[0].startswith("open failed"), lines)
        self.assertEqual(self.pen.status()["open_attempts"], 1)


class HeldReads(PenTest):
    """A read with a timeout waits at the daemon until input comes."""

    def start_waiting_read(self):
        process = self.probe.start("talk", "--read", "1", "--timeout", "600000")
        self.addCleanup(lambda: process.poll() is None and process.kill())
        self.pen.wait_status("held_reads", 1, TIMEOUT)
        return process

    def test_press_wakes_a_waiting_read(self):
        process = self.start_waiting_read()
        self.pen.mode("spotlight", 7)
        code, lines, err = finish(process)
        self.assertEqual(code, 0, err)
        self.assertLines(lines, ["read 32 1234a2b2" + "0007" + "00" * 26], "woken read")

    def test_raw_report_of_odd_length(self):
        process = self.start_waiting_read()
        self.pen.raw([0x12, 0x34, 0xAB, 0xCD, 0x00])
        code, lines, _ = finish(process)
        self.assertLines(lines, ["read 5 1234abcd00"], "short raw report")

    def test_unplug_fails_a_waiting_read(self):
        process = self.start_waiting_read()
        self.pen.unplug()
        code, lines, _ = finish(process)
        self.assertEqual(code, 6, lines)
        self.assertEqual(self.pen.status()["held_reads"], 0)

    def test_read_times_out_with_nothing(self):
        code, lines, _ = self.probe.run("talk", "--read", "1", "--timeout", "1")
        self.assertEqual((code, lines), (5, ["timeout"]))


class CommandLine(PenTest):
    def test_status_and_mapping(self):
        self.pen.mode("laser", 2)
        code, out, err = pen_cli(self.pen, "status")
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines(), ["plugged=yes", "openable=yes", "open_attempts=0", "pending_input=1",
                                            "sent=0", "held_reads=0"])
        code, out, _ = pen_cli(self.pen, "mapping")
        blocks = [bytes.fromhex(line) for line in out.splitlines()]
        self.assertEqual(b"".join(blocks), self.pen.mapping())
        self.assertEqual([block[0] for block in blocks], [0x55, 0x56])

    def test_commands_change_the_receiver(self):
        for args in (["unplug"], ["plug"], ["openable", "no"], ["raw", "12", "34", "ab", "cd", "00", "05"],
                     ["raw", "1234abcd0005"], ["notice", "magnifier"], ["fail-writes", "2"]):
            code, _, err = pen_cli(self.pen, *args)
            self.assertEqual(code, 0, "%s: %s" % (args, err))
        status = self.pen.status()
        self.assertEqual((status["plugged"], status["openable"], status["pending_input"]), (True, False, 3))
        code, _, _ = pen_cli(self.pen, "set-mapping", *(["00"] * 64))
        self.assertEqual(code, 0)
        self.assertEqual(self.pen.mapping(), bytes(64))
        self.assertEqual(pen_cli(self.pen, "factory")[0], 0)
        self.assertEqual(self.pen.mapping()[0], 0x55)

    def test_bad_commands_fail_with_a_message(self):
        for args in (["bogus"], ["mode", "laser", "256"], ["mode", "rainbow"], ["openable", "maybe"],
                     ["raw", "123"], ["raw", *(["00"] * 65)], ["set-mapping", "00"], ["fail-writes", "-1"], []):
            code, _, err = pen_cli(self.pen, *args)
            self.assertNotEqual(code, 0, args)
            self.assertIn("quorvant-pen:", err, args)
        self.assertEqual(self.pen.status()["pending_input"], 0)

    def test_without_a_daemon(self):
        code, _, err = pen_cli(self.pen, "status", socket_path=os.path.join(self.pen._work_dir, "none.sock"))
        self.assertNotEqual(code, 0)
        self.assertIn("no receiver daemon", err)


class DaemonLife(PenTest):
    def test_second_daemon_refuses(self):
        code, _, err = pen_cli(self.pen, "serve")
        self.assertNotEqual(code, 0)
        self.assertIn("already running", err)
        self.assertTrue(self.pen.status()["plugged"], "the first daemon still answers")

    def test_stale_socket_is_replaced(self):
        path = os.path.join(self.pen._work_dir, "stale.sock")
        leftover = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        leftover.bind(path)
        leftover.close()  # the file stays, nobody listens
        with SimPen(BIN_DIR, socket_path=path) as other:
            self.assertTrue(other.status()["plugged"])

    def test_sigterm_ends_cleanly_and_removes_the_socket(self):
        self.pen.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.pen.process.wait(TIMEOUT), 0)
        self.assertFalse(os.path.exists(self.pen.socket_path))
        with self.assertRaises(PenError):
            self.pen.status()


def main():
    # Quiet on success; the whole report on failure.
    with tempfile.TemporaryFile("w+") as stream:
        suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
        result = unittest.TextTestRunner(stream=stream, verbosity=2).run(suite)
        if not result.wasSuccessful():
            stream.seek(0)
            sys.stderr.write(stream.read())
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
