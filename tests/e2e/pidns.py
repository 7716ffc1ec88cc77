"""Runs a command in a process namespace of its own, with /proc showing that
namespace only. The namespace's first process stays this script, which reaps
what the command orphans, as an init does.

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

PRELOAD_FOR_COMMAND = "PIDNS_COMMAND_PRELOAD"
CLONE_NEWNS = 0x00020000
CLONE_NEWPID = 0x20000000
MS_NOSUID, MS_NODEV, MS_NOEXEC = 0x2, 0x4, 0x8
MS_REC, MS_PRIVATE = 0x4000, 0x40000


def main(argv):
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    # A preloaded library is meant for the command. Python must not carry it:
    # a sanitizer runtime that comes with it would check the interpreter at
    # exit and change this script's status.
    if "LD_PRELOAD" in os.environ:
        os.environ[PRELOAD_FOR_COMMAND] = os.environ.pop("LD_PRELOAD")
        os.execv(sys.executable, [sys.executable, os.path.abspath(__file__)] + argv)
    command_env = dict(os.environ)
    if PRELOAD_FOR_COMMAND in command_env:
        command_env["LD_PRELOAD"] = command_env.pop(PRELOAD_FOR_COMMAND)

    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWPID) != 0:
        os.execvpe(argv[0], argv, command_env)

    # Blocked until the child runs and the handlers are in place, so that no
    # signal falls between the two.
    forwarded = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
    signal.pthread_sigmask(signal.SIG_BLOCK, forwarded)
    child = os.fork()
    if child == 0:
        # Mounts made here stay here; then a /proc of this namespace. This
        # script stays in the mounts it came with, where /proc still shows it.
        if (libc.unshare(CLONE_NEWNS) != 0
                or libc.mount(b"none", b"/", None, MS_REC | MS_PRIVATE, None) != 0
                or libc.mount(b"proc", b"/proc", b"proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, None) != 0):
            sys.stderr.write("pidns: cannot mount a /proc of its own: %s\n" % os.strerror(ctypes.get_errno()))
            os._exit(127)
        os._exit(run_as_init(argv, command_env, forwarded))

    forward_to(child, forwarded)
    return exit_code(os.waitpid(child, 0)[1])


def run_as_init(argv, env, forwarded):
    """The namespace's first process: runs the command as its child, passes
    the signals on, and reaps whatever the command orphans. The program is no
    init: the effect programs it starts are orphaned at once, and as the first
    process it would keep every one it has killed as a zombie."""
    command = os.fork()
    if command == 0:
        signal.pthread_sigmask(signal.SIG_UNBLOCK, forwarded)
        try:
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)
    forward_to(command, forwarded)
    while True:
        pid, status = os.wait()
        if pid == command:
            return exit_code(status)


def forward_to(pid, forwarded):
    def forward(received, _frame):
        try:
            os.kill(pid, received)
        except ProcessLookupError:
            pass  # it has ended; its status is on the way

    for number in forwarded:
        signal.signal(number, forward)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, forwarded)


def exit_code(status):
    if os.WIFSIGNALED(status):
        return 128 + os.WTERMSIG(status)
    return os.WEXITSTATUS(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
