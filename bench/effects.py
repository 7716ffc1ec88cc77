#!/usr/bin/env python3
"""Cost and speed of the effect programs under Xvfb.

For each of Dotrix, Loupex and Halvix: 10 s with the pointer moving in a
circle (about 100 moves a second, scripted with xdotool), then 10 s with the
pointer still. Prints the CPU use of each phase (share of one core, from
/proc), and the frames the program painted while the pointer moved, as the
program itself counts them (QUORVANT_EFFECT_STATS).

    bench/effects.py [BIN_DIR]      default: build/bin beside this folder
"""

import math
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PROGRAMS = ("Dotrix", "Loupex", "Halvix")
WIDTH, HEIGHT = 1280, 800
PHASE_S = 10.0
MOVE_INTERVAL_S = 0.01


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise SystemExit("timed out waiting for " + what)
        time.sleep(0.05)


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT),
                             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        number = pipe.readline().strip().decode()
    if not number:
        raise SystemExit("Xvfb did not start")
    return xvfb, ":" + number


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, fields 14 and 15 of the line
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def circle_script():
    args = []
    steps = int(PHASE_S / MOVE_INTERVAL_S)
    for i in range(steps):
        angle = 2 * math.pi * i / 200
        x = int(WIDTH / 2 + 250 * math.cos(angle))
        y = int(HEIGHT / 2 + 250 * math.sin(angle))
        args += ["mousemove", str(x), str(y), "sleep", str(MOVE_INTERVAL_S)]
    return args


def window_visible(env, name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return found.returncode == 0 and found.stdout.strip() != b""


def measure(bin_dir, env, name):
    subprocess.run(["xdotool", "mousemove", str(WIDTH // 2 + 250), str(HEIGHT // 2)], env=env, check=True)
    mover = subprocess.Popen(["xdotool"] + circle_script(), env=env)
    program = subprocess.Popen([os.path.join(bin_dir, name)], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    wait_until(lambda: window_visible(env, name), 30, name + "'s window")

    begin_cpu, begin = cpu_seconds(program.pid), time.monotonic()
    mover.wait()
    moving_cpu = (cpu_seconds(program.pid) - begin_cpu) / (time.monotonic() - begin)

    begin_cpu, begin = cpu_seconds(program.pid), time.monotonic()
    time.sleep(PHASE_S)
    still_cpu = (cpu_seconds(program.pid) - begin_cpu) / (time.monotonic() - begin)

    program.send_signal(signal.SIGTERM)
    _, err = program.communicate(timeout=30)
    stats = re.search(rb"frames=(\d+) span_ms=(\d+) fps=([\d.]+) pixels_per_frame=(\d+)", err)
    if not stats:
        raise SystemExit("%s printed no frame count: %s" % (name, err.decode(errors="replace")))
    frames, span_ms, fps, pixels = int(stats[1]), int(stats[2]), float(stats[3]), int(stats[4])
    return still_cpu * 100, moving_cpu * 100, fps, frames, pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "bin"))
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is missing")
    xvfb, display = start_xvfb()
    tmp = tempfile.mkdtemp(prefix="quorvant-bench-")
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", TMPDIR=tmp, XDG_RUNTIME_DIR=tmp,
               QUORVANT_EFFECT_STATS="1")
    env.pop("WAYLAND_DISPLAY", None)
    try:
        print("Xvfb %dx%d, %.0f s pointer moving then %.0f s still; CPU as a share of one core" %
              (WIDTH, HEIGHT, PHASE_S, PHASE_S))
        print("%-8s %12s %13s %8s %8s %18s" % ("effect", "still CPU %", "moving CPU %", "fps", "frames",
                                              "pixels per frame"))
        for name in PROGRAMS:
            still, moving, fps, frames, pixels = measure(bin_dir, env, name)
            print("%-8s %12.1f %13.1f %8.1f %8d %11d (%.1f %%)" %
                  (name, still, moving, fps, frames, pixels, 100.0 * pixels / (WIDTH * HEIGHT)))
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
