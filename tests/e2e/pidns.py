"""Runs a command as the first process of a process namespace of its own,
with /proc showing that namespace only.

    python3 pidns.py COMMAND [ARG...]

The program finds and stops its effect programs by name among all the
processes it can see; in a namespace of its own it sees only those it started
itself, never another copy's that runs on the same machine. TERM, INT and HUP
are passed on to the command, and its exit status becomes this one's. When the
command ends, whatever it left running in the namespace ends with it.

Where namespaces cannot be made (no privilege), the command runs as it is.
"""

import ctypes
import os
import signal
import sys

CLONE_NEWNS = 0x00020000
CLONE_NEWPID = 0x20000000
MS_NOSUID, MS_NODEV, MS_NOEXEC = 0x2, 0x4, 0x8
MS_REC, MS_PRIVATE = 0x4000, 0x40000


def main(argv):
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWPID | CLONE_NEWNS) != 0:
        os.execvp(argv[0], argv)

    # Blocked until the child runs and the handlers are in place, so that no
    # signal falls between the two.
    forwarded = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
    signal.pthread_sigmask(signal.SIG_BLOCK, forwarded)
    child = os.fork()
    if child == 0:
        signal.pthread_sigmask(signal.SIG_UNBLOCK, forwarded)
        # Mounts made here stay here; then a /proc of this namespace.
        if (libc.mount(b"none", b"/", None, MS_REC | MS_PRIVATE, None) != 0
                or libc.mount(b"proc", b"/proc", b"proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, None) != 0):
            sys.stderr.write("pidns: cannot mount /proc: %s\n" % os.strerror(ctypes.get_errno()))
            os._exit(127)
        try:
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)

    for number in forwarded:
        signal.signal(number, lambda received, _frame: os.kill(child, received))
    signal.pthread_sigmask(signal.SIG_UNBLOCK, forwarded)
    while True:
        try:
            _, status = os.waitpid(child, 0)
            break
        except InterruptedError:
            continue
    if os.WIFSIGNALED(status):
        return 128 + os.WTERMSIG(status)
    return os.WEXITSTATUS(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
