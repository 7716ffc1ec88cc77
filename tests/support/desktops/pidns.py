"""pidns.py COMMAND [ARG...]: runs the command in a process namespace of its
own, with a /proc of that namespace, so that the program finds and stops by
name only the effect programs it started itself. Without the privilege to
make a namespace, the command runs as it is."""

import ctypes
import os
import signal
import sys

CLONE_NEWNS, CLONE_NEWPID = 0x00020000, 0x20000000
MS_NOSUID, MS_NODEV, MS_NOEXEC, MS_REC, MS_PRIVATE = 0x2, 0x4, 0x8, 0x4000, 0x40000
FORWARDED = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)


def main(argv):
    # The preload is for the command: a sanitizer runtime that comes with it
    # would check Python at exit and change this script's status.
    if "LD_PRELOAD" in os.environ:
        preload = "LD_PRELOAD=" + os.environ.pop("LD_PRELOAD")
        os.execv(sys.executable, [sys.executable, os.path.abspath(__file__), "env", preload] + argv)

    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWPID) != 0:
        os.execvp(argv[0], argv)
    # Blocked until the handlers are in place, so that no signal is lost.
    signal.pthread_sigmask(signal.SIG_BLOCK, FORWARDED)
    child = os.fork()
    if child == 0:
        # The first process of the namespace, with a /proc of its own in
        # mounts of its own; this script keeps the /proc that shows it.
        if (libc.unshare(CLONE_NEWNS) != 0
                or libc.mount(b"none", b"/", None, MS_REC | MS_PRIVATE, None) != 0
                or libc.mount(b"proc", b"/proc", b"proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, None) != 0):
            sys.stderr.write("pidns: cannot mount a /proc of its own: %s\n" % os.strerror(ctypes.get_errno()))
            os._exit(127)
        os._exit(run_as_init(argv))
    forward_to(child)
    return exit_code(os.waitpid(child, 0)[1])


def run_as_init(argv):
    """Reaps every orphan: the effect programs the program starts are
    orphaned at once, and would otherwise stay as zombies."""
    command = os.fork()
    if command == 0:
        signal.pthread_sigmask(signal.SIG_UNBLOCK, FORWARDED)
        try:
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)
    forward_to(command)
    while True:
        pid, status = os.wait()
        if pid == command:
            return exit_code(status)


def forward_to(pid):
    def forward(received, _frame):
        try:
            os.kill(pid, received)
        except ProcessLookupError:
            pass  # it has ended; its status is on the way

    for number in FORWARDED:
        signal.signal(number, forward)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, FORWARDED)


def exit_code(status):
    return 128 + os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
