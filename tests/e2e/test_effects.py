"""The real effect programs on an X display, with and without a compositor.
The screen behind is ten-pixel stripes in eight colours, so every pixel of a
screenshot tells its column; pointers sit on multiples of ten, mid-stripe."""

import os
import shutil
import unittest

from tests.e2e.pixels import LENS_ZOOM, close, dimmed
from tests.support.desktops import read, wait_until
from tests.support.desktops.program import set_up
from tests.support.desktops.x11 import X11

STRIPES = ((200, 40, 40), (40, 200, 40), (40, 40, 200), (220, 220, 40),
           (40, 220, 220), (220, 40, 220), (250, 250, 250), (20, 20, 20))


def stripe(x):
    return STRIPES[(x // 10) % len(STRIPES)]


def plain(image, points, colour=stripe):
    return all(close(image.pixel(x, y), colour(x)) for x, y in points)


def veiled(image, points):
    return plain(image, points, lambda x: dimmed(stripe(x)))


def dot_at(image, px, py, diameter):
    # The bright centre shows the dot was drawn here, not left from elsewhere.
    r, g, b = image.pixel(px + diameter // 2 - 3, py)
    return close(image.pixel(px, py), (255, 110, 110), 30) and r > 200 and g < 150 and b < 150 \
        and plain(image, [(px + diameter + 15, py), (px, py + diameter + 15)])


def lens_at(image, px, py, diameter):
    # Sizes are multiples of 40: the last point, just inside the rim, is mid-stripe too.
    inside = all(close(image.pixel(px + v, py), stripe(px + v // LENS_ZOOM))
                 for v in (-50, -10, 10, 30, 70, diameter // 2 - 10))
    return inside and plain(image, [(px + diameter // 2 + 15, py), (px - diameter // 2 - 15, py)])


def spot_at(image, px, py, radius):
    return plain(image, [(px + 5, py), (px - 15, py), (px + radius - 15, py), (px + 5, py - radius + 10)]) \
        and veiled(image, [(px + radius + 15, py), (px - radius - 15, py), (px + 5, py + radius + 10), (5, 5)])


# mode, program, its look at the pointer and away from it, two levels with their size in pixels
STEPS = (("laser", "Dotrix", dot_at, plain, ((5, 30), (9, 46))),
         ("magnifier", "Loupex", lens_at, plain, ((2, 200), (3, 240))),
         ("spotlight", "Halvix", spot_at, veiled, ((3, 90), (2, 70))))


class Effects(unittest.TestCase):
    compositor = False

    def setUp(self):
        self.desktop, self.pen, self.bench = set_up(self, stand_ins=False)
        if self.compositor:
            self.desktop.run_beside(["xcompmgr"])
            # It names the window with which it takes the compositing selection.
            wait_until(lambda: self.desktop.xdotool("search", "--name", "^xcompmgr$").stdout, message="the compositor")
        self.x = X11(self.desktop.display)
        self.addCleanup(self.x.close)
        path = os.path.join(self.desktop.folder, "stripes.ppm")
        with open(path, "wb") as out:
            out.write(b"P6 1280 800 255\n" + b"".join(bytes(stripe(x)) for x in range(1280)) * 800)
        self.desktop.run_beside(["display", "-geometry", "+0+0", "-borderwidth", "0", path])
        self.wait_drawn(lambda image: plain(image, [(15, 400), (1275, 795)]), "the backdrop")

    def wait_drawn(self, check, message):
        wait_until(lambda: check(self.desktop.image()), interval=0.1, message=message)

    def test_pen_switches_the_effects(self):
        bench, pen = self.bench, self.pen
        bench.start_program()
        pen.wait_sent(1)  # the read-back request: the program has the receiver open
        for mode, name, drawn_at, away, ((first, first_px), (second, second_px)) in STEPS:
            self.x.move_pointer(400, 400)
            pen.mode(mode, first)
            bench.wait_effect(name, first)
            self.wait_drawn(lambda image: drawn_at(image, 400, 400, first_px), "%s at the pointer" % name)

            # It follows the pointer, leaving nothing where it was, and the
            # size the program writes while it runs.
            self.x.move_pointer(800, 300)
            self.wait_drawn(lambda image: drawn_at(image, 800, 300, first_px) and away(image, [(405, 405), (345, 405)]),
                            "%s to follow the pointer" % name)
            pen.mode(mode, second)
            bench.wait_effect(name, second)
            self.wait_drawn(lambda image: drawn_at(image, 800, 300, second_px), "%s at level %d" % (name, second))

        pen.mode("normal")
        bench.wait(lambda: not bench.running() and not self.desktop.visible_windows("^(Dotrix|Loupex|Halvix)$"),
                   "the effects gone in normal use")
        self.wait_drawn(lambda image: plain(image, [(805, 305), (405, 405), (5, 5)]), "the plain screen")

    def test_the_loupe_and_the_spotlight_show_the_screen_as_it_changes(self):
        bench, pen = self.bench, self.pen
        red, blue = (200, 40, 40), (40, 40, 200)
        slide = self.x.window(200, 150, 600, 400)
        self.x.paint(slide, red)
        self.wait_drawn(lambda image: close(image.pixel(500, 350), red), "the slide")
        self.x.move_pointer(500, 350)
        bench.start_program()
        pen.wait_sent(1)

        # mode, program, level, its look over the slide at (500, 350): the
        # lens (240 across) with its dark rim, the spotlight (radius 90) with
        # its veil.
        lens = lambda image, colour: close(image.pixel(500, 350), colour) and \
            close(image.pixel(619, 350), (40, 40, 40), 40)
        spot = lambda image, colour: close(image.pixel(500, 350), colour) and \
            close(image.pixel(605, 350), dimmed(colour))
        for mode, name, level, shows in (("magnifier", "Loupex", 3, lens), ("spotlight", "Halvix", 3, spot)):
            pen.mode(mode, level)
            bench.wait_effect(name, level)
            self.wait_drawn(lambda image: shows(image, red), "%s over the slide" % name)
            self.x.paint(slide, blue)
            self.wait_drawn(lambda image: shows(image, blue), "%s to show the next slide" % name)
            self.x.paint(slide, red)
            self.wait_drawn(lambda image: shows(image, red), "%s to show the slide after" % name)


@unittest.skipUnless(shutil.which("xcompmgr"), "xcompmgr is not installed")
class EffectsUnderACompositor(Effects):
    compositor = True


# A full-screen slide show that notes every key it is given, by keysym.
SLIDE = """
import sys
from Xlib import X, Xutil, display
d = display.Display()
screen = d.screen()
w = screen.root.create_window(0, 0, screen.width_in_pixels, screen.height_in_pixels, 0, screen.root_depth,
                              background_pixel=0x204080, event_mask=X.KeyPressMask)
w.set_wm_name("Slide")
w.set_wm_hints(flags=Xutil.InputHint, input=1)
w.change_property(d.intern_atom("_NET_WM_STATE"), d.intern_atom("ATOM"), 32,
                  [d.intern_atom("_NET_WM_STATE_FULLSCREEN")])
w.map()
while True:
    event = d.next_event()
    if event.type == X.KeyPress:
        with open(sys.argv[1], "a") as keys:
            keys.write("%#x\\n" % d.keycode_to_keysym(event.detail, 0))
"""


class Focus(unittest.TestCase):
    def setUp(self):
        self.desktop, self.pen, self.bench = set_up(self, stand_ins=False, window_manager=True)
        self.keys = os.path.join(self.desktop.folder, "keys")
        self.desktop.run_beside(["/usr/bin/python3", "-c", SLIDE, self.keys])
        self.slide = wait_until(lambda: self.desktop.visible_windows("^Slide$"), message="the slide")[0]
        wait_until(lambda: self.desktop.focused_window() == self.slide, message="the slide focused")

    def keys_received(self):
        return read(self.keys).split()

    def test_notices_and_effects_leave_the_focus_with_the_slide(self):
        self.bench.start_program()
        pressed = 0

        # Right typed into whatever has the focus, as a presenter does, while
        # the notice is up and seen over the slide; a busy machine may let it
        # go first, and it is asked for again.
        def typed_during_notice():
            nonlocal pressed
            self.pen.notice("laser")
            shown = wait_until(lambda: self.desktop.visible_windows("^Dialog$"), message="the notice")
            self.desktop.xdotool("key", "Right")
            pressed += 1
            x, y, width, height = self.desktop.window_geometry(shown[0]) or (0, 0, 0, 0)
            image = self.desktop.image()
            self.desktop.keep("notice-over-full-screen")
            red = sum(r > 180 and g < 90 and b < 90 for r, g, b in
                      (image.pixel(px, py) for py in range(y, y + height, 2) for px in range(x, x + width, 2)))
            return self.desktop.visible_windows("^Dialog$") == shown and red > 20

        wait_until(typed_during_notice, message="a key typed while the notice is up")
        wait_until(lambda: len(self.keys_received()) == pressed, message="every Right at the slide")
        self.assertEqual(self.desktop.focused_window(), self.slide)

        # An effect program's start takes nothing either.
        self.pen.mode("laser", 5)
        self.bench.wait_effect("Dotrix", 5)
        wait_until(lambda: self.desktop.visible_windows("^Dotrix$"), message="the laser dot's window")
        self.desktop.xdotool("key", "Right")
        pressed += 1
        wait_until(lambda: len(self.keys_received()) == pressed, message="Right at the slide under the effect")
        self.assertEqual(self.desktop.focused_window(), self.slide)
        self.assertEqual(set(self.keys_received()), {"0xff53"})  # Right's keysym


if __name__ == "__main__":
    unittest.main()
