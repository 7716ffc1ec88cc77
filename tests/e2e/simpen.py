"""The simulated pen receiver for end-to-end tests.

SimPen runs a quorvant-pen daemon on a private socket, presses the pen's keys,
plugs the receiver in and out and reads back what a program sent it. env()
gives the variables that make a program built against hidapi find this
receiver instead of real hardware:

    with SimPen(bin_dir) as pen:
        program_env = dict(os.environ, **pen.env())
        ...
        pen.mode("laser", 5)
        pen.wait_sent(1)

Everything that waits does so for a condition with a deadline.
"""

import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import time

MODES = ("laser", "magnifier", "spotlight", "normal")


class PenError(Exception):
    """The daemon refused a request, or could not be reached."""


def default_bin_dir():
    return os.environ.get("QUORVANT_BIN_DIR",
                          os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin"))


def _hex(data):
    if isinstance(data, str):
        data = bytes.fromhex(data)
    return bytes(data).hex()


class SimPen:
    """A quorvant-pen daemon of its own, and the commands to drive it."""

    def __init__(self, bin_dir=None, socket_path=None, verbose=False):
        self.bin_dir = os.path.abspath(bin_dir or default_bin_dir())
        # Socket paths are limited to about a hundred bytes: keep it short.
        self._work_dir = tempfile.mkdtemp(prefix="qvpen-")
        self.socket_path = socket_path or os.path.join(self._work_dir, "pen.sock")
        self.verbose = verbose
        self.process = None
        self._sock = None
        self._buffer = b""
        self._log = os.path.join(self._work_dir, "daemon.log")

    # --- the daemon -------------------------------------------------------

    @property
    def pen_executable(self):
        return os.path.join(self.bin_dir, "quorvant-pen")

    @property
    def preload_library(self):
        return os.path.join(self.bin_dir, "libquorvant-hidsim.so")

    def env(self):
        """Environment additions that put a program in front of this receiver."""
        return {"LD_PRELOAD": self.preload_library, "QUORVANT_SIM_SOCKET": self.socket_path}

    def start(self, timeout=30.0):
        """Starts the daemon and returns once it serves on its socket."""
        for path in (self.pen_executable, self.preload_library):
            if not os.path.exists(path):
                raise PenError("%s is missing: build quorvant-pen and quorvant-hidsim first" % path)
        log_fd = os.open(self._log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        env = dict(os.environ, QUORVANT_SIM_SOCKET=self.socket_path)
        env.pop("LD_PRELOAD", None)
        args = [self.pen_executable, "serve"] + (["--verbose"] if self.verbose else [])
        self.process = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=log_fd)
        os.close(log_fd)
        # The daemon says so once it listens; no guessing how long that takes.
        line = b""
        deadline = time.monotonic() + timeout
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                self.process.kill()
                self._fail_start("did not come up within %.0f s" % timeout)
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 256)
                if not chunk:
                    self._fail_start("ended with %d" % self.process.wait())
                line += chunk
        return self

    def _fail_start(self, what):
        self.process.wait()
        message = "quorvant-pen serve %s: %s" % (what, self.log().strip())
        self.stop()
        raise PenError(message)

    def stop(self, timeout=15.0):
        """Stops the daemon (asking first, then by signal) and tidies up."""
        if self.process is not None and self.process.poll() is None:
            try:
                self._request("stop")
            except PenError:
                self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._disconnect()
        if self.process is not None and self.process.stdout:
            self.process.stdout.close()
        if self._work_dir:
            shutil.rmtree(self._work_dir, ignore_errors=True)
            self._work_dir = None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def log(self):
        """What the daemon wrote to standard error (until stop())."""
        try:
            with open(self._log, "rb") as log:
                return log.read().decode(errors="replace")
        except OSError:
            return ""

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # --- the wire ---------------------------------------------------------

    def _disconnect(self):
        if self._sock is not None:
            self._sock.close()
        self._sock = None
        self._buffer = b""

    def _request(self, line, timeout=10.0):
        """Sends one request line, returns the words after "ok"."""
        try:
            if self._sock is None:
                self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self._sock.settimeout(timeout)
                self._sock.connect(self.socket_path)
            self._sock.sendall(line.encode() + b"\n")
            while b"\n" not in self._buffer:
                chunk = self._sock.recv(65536)
                if not chunk:
                    raise OSError("the daemon hung up")
                self._buffer += chunk
        except OSError as error:
            self._disconnect()
            raise PenError("no answer from the receiver daemon on %s to %r: %s"
                           % (self.socket_path, line.split(" ")[0], error)) from None
        answer, self._buffer = self._buffer.split(b"\n", 1)
        words = answer.decode().split()
        if not words or words[0] != "ok":
            raise PenError("%s: %s" % (line.split(" ")[0], answer.decode()))
        return words[1:]

    # --- what a person or a test bench does -------------------------------

    def plug(self):
        self._request("plug")

    def unplug(self):
        self._request("unplug")

    def openable(self, yes):
        self._request("openable " + ("yes" if yes else "no"))

    def mode(self, name, size=3):
        """Presses a mode: laser, magnifier, spotlight or normal, with a size 0-255."""
        self._request("mode %s %d" % (name, size))

    def notice(self, name):
        self._request("notice " + name)

    def raw(self, data):
        """Sends a raw input report: bytes, a list of ints or a hex string, 0 to 64 bytes."""
        self._request(("raw " + _hex(data)).rstrip())

    def mapping(self):
        """The stored mapping, 64 bytes: block 1 then block 2."""
        return b"".join(bytes.fromhex(word) for word in self._request("mapping"))

    def set_mapping(self, data):
        """Stores 64 bytes as they are, with their two checksums recomputed."""
        self._request("set-mapping " + _hex(data))

    def factory(self):
        self._request("factory")

    def reset(self):
        """Back to plugged, openable, factory mapping, nothing queued or recorded."""
        self._request("reset")

    def sent(self):
        """Every output report received, as written (33 bytes each for the program)."""
        return [bytes.fromhex(word) for word in self._request("sent")]

    def clear_sent(self):
        self._request("clear-sent")

    def fail_writes(self, n):
        self._request("fail-writes %d" % n)

    def status(self):
        """plugged, openable (bools); open_attempts, pending_input, sent, held_reads (ints)."""
        result = {}
        for pair in self._request("status"):
            key, _, value = pair.partition("=")
            if value in ("yes", "no"):
                result[key] = value == "yes"
            elif value.isdigit():
                result[key] = int(value)
            else:
                result[key] = value
        return result

    # --- waiting ----------------------------------------------------------

    @staticmethod
    def wait_for(predicate, timeout=30.0, message="condition", interval=0.02):
        """Polls predicate until it returns something true, and returns that."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, message))
            time.sleep(interval)

    def wait_sent(self, count, timeout=30.0):
        """Waits until at least count output reports were received; returns them all."""
        found = []

        def enough():
            found[:] = self.sent()
            return len(found) >= count

        self.wait_for(enough, timeout, "%d output report(s) at the receiver" % count)
        return found

    def wait_status(self, key, value, timeout=30.0):
        """Waits until status()[key] == value."""
        self.wait_for(lambda: self.status().get(key) == value, timeout, "receiver %s=%r" % (key, value))
