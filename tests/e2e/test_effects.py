"""The effect programs on a real display: each draws at the pointer, follows
it and its size, and leaves nothing behind; and the real program switches
between them as the pen's modes change.

The screen behind the effects is a picture of ten-pixel vertical stripes in
eight colours, so every pixel of a screenshot tells which column of the
picture it shows. Segments live under a private TMPDIR, so a program running
on this machine is never touched.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import harness

PIDNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pidns.py")
STRIPES = ((200, 40, 40), (40, 200, 40), (40, 40, 200), (220, 220, 40),
           (40, 220, 220), (220, 40, 220), (250, 250, 250), (20, 20, 20))
VEIL_ALPHA = 102  # the spotlight's 40 % black
LENS_ZOOM = 2
TOLERANCE = 6


def stripe(x):
    return STRIPES[(x // 10) % len(STRIPES)]


def dimmed(colour):
    return tuple((v * (255 - VEIL_ALPHA) + 127) // 255 for v in colour)


def close(a, b, tolerance=TOLERANCE):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


# Sizes in pixels for the levels the tests use; the programs clamp every other.
DOT_DIAMETER = {0: 10, 5: 30, 9: 46}
LENS_DIAMETER = {2: 200, 3: 240}
SPOT_RADIUS = {2: 70, 3: 90, 5: 130}


class Backdrop:
    """A window of stripes over the whole screen, as an application would be."""

    def __init__(self, desktop):
        self.desktop = desktop
        self._dir = tempfile.mkdtemp(prefix="quorvant-backdrop-")
        self.process = None

    def start(self):
        width, height = self.desktop.width, self.desktop.height
        row = b"".join(bytes(stripe(x)) for x in range(width))
        path = os.path.join(self._dir, "stripes.ppm")
        with open(path, "wb") as out:
            out.write(b"P6 %d %d 255\n" % (width, height))
            out.write(row * height)
        self.process = subprocess.Popen(["display", "-geometry", "+0+0", "-borderwidth", "0", path],
                                        env=self.desktop.env(), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        harness.wait_until(lambda: self.shows(self.desktop.image(), [(15, height // 2), (width - 5, height - 5)]),
                           60, message="the striped backdrop")
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(15)
        shutil.rmtree(self._dir, ignore_errors=True)

    @staticmethod
    def shows(image, points):
        return all(close(image.pixel(x, y), stripe(x)) for x, y in points)


def private_tmp():
    return tempfile.mkdtemp(prefix="quorvant-tmp-")


# --- what each effect looks like on a screenshot, pointer at (px, py) --------
# Pointers sit on multiples of ten, so the points sampled fall in the middle of
# a stripe, clear of the blur at its edges.


def dot_at(image, px, py, diameter):
    centre = image.pixel(px, py)
    inner = image.pixel(px + diameter // 2 - 3, py)
    red = lambda c: c[0] > 200 and c[1] < 150 and c[2] < 150
    # The bright centre shows the dot was drawn here, not left from elsewhere.
    return close(centre, (255, 110, 110), 30) and red(inner) and Backdrop.shows(image, [(px + diameter + 15, py), (px, py + diameter + 15)])


def lens_at(image, px, py, diameter):
    # Sizes are multiples of 40, so the last point, just inside the rim, also
    # falls mid-stripe.
    samples = (-50, -10, 10, 30, 70, diameter // 2 - 10)
    inside = all(close(image.pixel(px + v, py), stripe(px + v // LENS_ZOOM)) for v in samples)
    beyond = Backdrop.shows(image, [(px + diameter // 2 + 15, py), (px - diameter // 2 - 15, py)])
    return inside and beyond


def spot_at(image, px, py, radius):
    clear = Backdrop.shows(image, [(px + 5, py), (px - 15, py), (px + radius - 15, py), (px + 5, py - radius + 10)])
    veiled = all(close(image.pixel(x, y), dimmed(stripe(x)))
                 for x, y in ((px + radius + 15, py), (px - radius - 15, py), (px + 5, py + radius + 10), (5, 5)))
    return clear and veiled


def veiled(image, points):
    return all(close(image.pixel(x, y), dimmed(stripe(x))) for x, y in points)


EFFECTS = {
    # program: (segment key, drawn at the pointer, the look away from it, pixels by level)
    "Dotrix": ("Dotrix_shared", dot_at, Backdrop.shows, DOT_DIAMETER),
    "Loupex": ("Magnifier_shared", lens_at, Backdrop.shows, LENS_DIAMETER),
    "Halvix": ("Halvix_shared", spot_at, veiled, SPOT_RADIUS),
}


class Segment:
    """The main program's side of a segment, through quorvant-segment."""

    def __init__(self, env):
        self.env = env
        self.tool = os.path.join(harness.BIN_DIR, "quorvant-segment")
        self._holders = []

    def available(self):
        return os.path.exists(self.tool)

    def hold(self, key, level):
        """Creates (else attaches to) the segment, stores level and keeps it."""
        holder = subprocess.Popen([self.tool, "hold", key, str(level)], env=self.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = holder.stdout.readline()
        if line.strip() != b"ready":
            raise AssertionError("quorvant-segment hold %s: %s" % (key, holder.stderr.read().decode()))
        self._holders.append(holder)

    def read(self, key):
        result = subprocess.run([self.tool, "read", key], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=30)
        return int(result.stdout) if result.returncode == 0 else None

    def release(self):
        for holder in self._holders:
            holder.stdin.close()
            holder.wait(15)
            holder.stdout.close()
            holder.stderr.close()
        self._holders = []


def own_processes(name, folder):
    """Pids of the effect program of that name started from folder: effect
    programs are found by name machine-wide, and other runs may have theirs."""
    pids = []
    for pid in harness.processes_named(name):
        try:
            if os.path.dirname(os.readlink("/proc/%d/exe" % pid)) == os.path.realpath(folder):
                pids.append(pid)
        except OSError:
            continue
    return pids


def gone(name, desktop, folder=harness.BIN_DIR):
    return not own_processes(name, folder) and not desktop.visible_windows("^%s$" % name)


class EffectProgramsOnTheirOwn(unittest.TestCase):
    """Each effect program started by hand, its size handed over as the main
    program does."""

    compositor = False

    @classmethod
    def setUpClass(cls):
        cls.desktop = harness.Desktop(tray=False)
        cls.desktop.start()
        cls.xcompmgr = None
        if cls.compositor:
            cls.xcompmgr = subprocess.Popen(["xcompmgr"], env=cls.desktop.env(), stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL)
            harness.wait_until(lambda: cls.compositing(cls.desktop), 30, message="the compositor")
        cls.backdrop = Backdrop(cls.desktop).start()

    @classmethod
    def tearDownClass(cls):
        cls.backdrop.stop()
        if cls.xcompmgr:
            cls.xcompmgr.terminate()
            cls.xcompmgr.wait(15)
        cls.desktop.stop()

    @staticmethod
    def compositing(desktop):
        # xcompmgr names the window with which it takes the compositing
        # manager's selection.
        found = desktop.xdotool("search", "--name", "^xcompmgr$")
        return found.returncode == 0 and found.stdout.strip() != ""

    def setUp(self):
        self.tmp = private_tmp()
        self.env = dict(self.desktop.env(), TMPDIR=self.tmp, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.tmp)
        self.segment = Segment(self.env)
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.addCleanup(self.segment.release)

    def start(self, name):
        process = subprocess.Popen([os.path.join(harness.BIN_DIR, name)], env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

        def cleanup():
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stderr.close()

        self.addCleanup(cleanup)
        return process

    def point(self, x, y):
        self.desktop.xdotool("mousemove", str(x), str(y))

    def wait_drawn(self, check, message):
        shot = []

        def drawn():
            shot[:] = [self.desktop.image()]
            return check(shot[0])

        harness.wait_until(drawn, 30, interval=0.1, message=message)

    def stop(self, process, name):
        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(30), 0, "%s must end cleanly on SIGTERM" % name)
        harness.wait_until(lambda: gone(name, self.desktop), 30, message="%s to be gone" % name)
        self.wait_drawn(lambda image: Backdrop.shows(image, [(405, 405), (805, 305), (5, 5)]),
                        "the screen as it was before %s" % name)

    def run_effect(self, name, first_level, second_level):
        key, drawn_at, away, pixels = EFFECTS[name]
        if not self.segment.available():
            self.skipTest("quorvant-segment is not built")
        self.segment.hold(key, first_level)
        self.point(400, 400)
        process = self.start(name)
        self.wait_drawn(lambda image: drawn_at(image, 400, 400, pixels[first_level]),
                        "%s at the pointer, level %d" % (name, first_level))

        # It follows the pointer, and leaves nothing where it was.
        self.point(800, 300)
        self.wait_drawn(lambda image: drawn_at(image, 800, 300, pixels[first_level])
                        and away(image, [(405, 405), (345, 405)]),
                        "%s to follow the pointer" % name)

        # And the size the main program writes while it runs.
        self.segment.hold(key, second_level)
        self.wait_drawn(lambda image: drawn_at(image, 800, 300, pixels[second_level]),
                        "%s at level %d" % (name, second_level))
        self.assertEqual(self.segment.read(key), second_level)
        self.stop(process, name)

    def test_laser_pointer(self):
        self.run_effect("Dotrix", 0, 9)

    def test_magnifier(self):
        self.run_effect("Loupex", 2, 3)

    def test_spotlight(self):
        self.run_effect("Halvix", 3, 2)

    def test_killed_effect_leaves_its_segment_usable(self):
        # Killed at once, with no chance to tidy up, as the main program stops
        # effects; the next run and the main program still get the segment.
        if not self.segment.available():
            self.skipTest("quorvant-segment is not built")
        self.point(400, 400)
        first = self.start("Halvix")
        self.wait_drawn(lambda image: spot_at(image, 400, 400, 30), "the spotlight of a fresh segment")
        first.kill()
        first.wait(30)
        harness.wait_until(lambda: gone("Halvix", self.desktop), 30, message="the killed spotlight to vanish")
        self.wait_drawn(lambda image: Backdrop.shows(image, [(405, 405), (5, 5)]), "the screen without the spotlight")

        self.segment.hold("Halvix_shared", 5)
        second = self.start("Halvix")
        self.wait_drawn(lambda image: spot_at(image, 400, 400, SPOT_RADIUS[5]), "the spotlight after a kill")
        self.assertEqual(self.segment.read("Halvix_shared"), 5)
        self.stop(second, "Halvix")


@unittest.skipUnless(shutil.which("xcompmgr"), "xcompmgr is not installed")
class EffectProgramsUnderACompositor(EffectProgramsOnTheirOwn):
    """The same on a desktop that composites: translucent windows, a dot with
    its glow, a live veil."""

    compositor = True

    def test_glow_blends_with_the_screen(self):
        if not self.segment.available():
            self.skipTest("quorvant-segment is not built")
        self.segment.hold("Dotrix_shared", 9)
        self.point(600, 400)
        process = self.start("Dotrix")

        def glowing(image):
            # Three quarters of the way out, the glow is red laid thinly over
            # the stripe beneath.
            x = 600 + DOT_DIAMETER[9] * 3 // 4
            under, seen = stripe(x), image.pixel(x, 400)
            return dot_at(image, 600, 400, DOT_DIAMETER[9]) and seen[0] > under[0] and not close(seen, under) \
                and not close(seen, (255, 0, 0))

        self.wait_drawn(glowing, "the dot's glow over the screen")
        self.stop(process, "Dotrix")


class IsolatedProgram(harness.Program):
    """The real program in a process namespace of its own: it finds and stops
    effect programs by name, and must meet only those it started itself."""

    def __init__(self, app_dir, *args, **kwargs):
        super().__init__(app_dir, *args, **kwargs)
        self.args = [PIDNS, os.path.join(app_dir, "quorvant")] + self.args

    @property
    def executable(self):
        return sys.executable


class ModesThroughTheProgram(unittest.TestCase):
    """The real program and the simulated receiver: laser pointer, magnifier,
    spotlight, then normal use."""

    def test_pen_switches_effects(self):
        from simpen import SimPen

        desktop = harness.Desktop()
        desktop.start()
        self.addCleanup(desktop.stop)
        backdrop = Backdrop(desktop).start()
        self.addCleanup(backdrop.stop)
        pen = SimPen(harness.BIN_DIR)
        pen.start()
        self.addCleanup(pen.stop)
        tmp = private_tmp()
        self.addCleanup(shutil.rmtree, tmp, True)
        app = harness.install_app(effects=True)
        self.addCleanup(shutil.rmtree, app, True)
        program = IsolatedProgram(app, desktop, pen=pen, env={"TMPDIR": tmp})
        program.start()
        self.addCleanup(program.stop)
        # The read-back request shows the program has the receiver open.
        pen.wait_sent(1, timeout=60)

        desktop.xdotool("mousemove", "600", "400")
        steps = (("laser", 5, "Dotrix"), ("magnifier", 2, "Loupex"), ("spotlight", 3, "Halvix"))
        previous = None
        for mode, size, name in steps:
            _, drawn_at, _, pixels = EFFECTS[name]
            pen.mode(mode, size)
            harness.wait_until(lambda: own_processes(name, app), 30, message="%s to start" % name)
            if previous:
                harness.wait_until(lambda: gone(previous, desktop, app), 30, message="%s to stop" % previous)
            harness.wait_until(lambda: drawn_at(desktop.image(), 600, 400, pixels[size]), 30, interval=0.1,
                               message="%s drawn at the pointer" % name)
            previous = name

        pen.mode("normal")
        harness.wait_until(lambda: gone(previous, desktop, app), 30,
                           message="%s to stop in normal use" % previous)
        harness.wait_until(lambda: Backdrop.shows(desktop.image(), [(605, 405), (5, 5), (905, 705)]), 30,
                           message="the plain screen in normal use")
        self.assertTrue(program.running())
        for name in EFFECTS:
            self.assertFalse(own_processes(name, app), name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
