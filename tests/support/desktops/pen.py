"""The simulated pen receiver: a quorvant-pen daemon on a private socket, and
its requests (sim/USAGE.md) as methods. env() puts a program in front of it."""

import os
import select
import shutil
import socket
import subprocess
import tempfile

from . import BIN_DIR, Running, end, wait_until


class SimPen(Running):
    def __init__(self, bin_dir=None, verbose=False):
        self.bin_dir = os.path.abspath(bin_dir or BIN_DIR)
        # Socket paths are limited to about a hundred bytes: keep it short.
        self._work_dir = tempfile.mkdtemp(prefix="qvpen-")
        self.socket_path = os.path.join(self._work_dir, "pen.sock")
        self._log = os.path.join(self._work_dir, "daemon.log")
        self.verbose, self._sock = verbose, None

    def env(self):
        return {"LD_PRELOAD": os.path.join(self.bin_dir, "libquorvant-hidsim.so"),
                "QUORVANT_SIM_SOCKET": self.socket_path}

    def start(self):
        # It says so once it serves on its socket.
        env = dict(os.environ, QUORVANT_SIM_SOCKET=self.socket_path)
        env.pop("LD_PRELOAD", None)
        with open(self._log, "wb") as log:
            self.process = subprocess.Popen(
                [os.path.join(self.bin_dir, "quorvant-pen"), "serve"] + (["--verbose"] if self.verbose else []),
                env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log)
        if not select.select([self.process.stdout], [], [], 30)[0] or not self.process.stdout.readline():
            end(self.process)
            raise AssertionError("quorvant-pen serve did not come up: %s" % self.log().strip())
        return self

    def stop(self):
        if self.process.poll() is None:
            try:
                self.request("stop")
            except AssertionError:
                pass
            end(self.process)
        self._disconnect()
        self.process.stdout.close()
        shutil.rmtree(self._work_dir, ignore_errors=True)

    def log(self):
        with open(self._log, "rb") as log:
            return log.read().decode(errors="replace")

    def _disconnect(self):
        if self._sock is not None:
            self._answers.close()
            self._sock.close()
        self._sock = None

    def request(self, *words):
        """The words of the answer after "ok"."""
        line = " ".join(map(str, words))
        try:
            if self._sock is None:
                self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self._answers = self._sock.makefile("rb")
                self._sock.settimeout(10)
                self._sock.connect(self.socket_path)
            self._sock.sendall(line.encode() + b"\n")
            answer = self._answers.readline().decode().split()
        except OSError as error:
            self._disconnect()
            raise AssertionError("no answer from the receiver daemon to %r: %s" % (words[0], error)) from None
        if answer[:1] != ["ok"]:
            raise AssertionError("%s: %s" % (line, " ".join(answer) or "hung up"))
        return answer[1:]

    def __getattr__(self, name):
        """pen.plug(), pen.mode("laser", 5), pen.clear_sent()...: a request by its name."""
        if name.startswith("_"):
            raise AttributeError(name)
        return lambda *words: self.request(name.replace("_", "-"), *words)

    def mapping(self):
        """Block 1 then block 2, 64 bytes."""
        return b"".join(bytes.fromhex(word) for word in self.request("mapping"))

    def set_mapping(self, data):
        self.request("set-mapping", bytes(data).hex())

    def sent(self):
        return [bytes.fromhex(word) for word in self.request("sent")]

    def status(self):
        pairs = (pair.partition("=")[::2] for pair in self.request("status"))
        return {key: value == "yes" if value in ("yes", "no") else int(value) if value.isdigit() else value
                for key, value in pairs}

    def pull_out(self):
        """Unplugs the receiver and waits for the program to let go of its handle
        (a verbose daemon logs it): plugged in before that, it keeps a stale one."""
        closes = self.log().count("quorvant-pen: close ")
        self.unplug()
        wait_until(lambda: self.log().count("quorvant-pen: close ") > closes, message="the handle closed")

    def wait_sent(self, count):
        wait_until(lambda: len(self.sent()) >= count, message="%d output report(s) at the receiver" % count)
