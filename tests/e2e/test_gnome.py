"""The effects and the mode notice on GNOME, drawn by the Quorvant Shell
extension in a headless GNOME Shell, over a native Wayland window and an X
window whose pixels name their place (gnome/slide.js): each effect is on top,
at the pointer from the start, follows it over both windows, and leaves
clicks, keys and the focus to the presentation; the lens shows the window
twice enlarged, live; the notice shows at the top centre without the focus;
an effect whose program is killed goes with it."""

import os
import subprocess
import unittest

import gnome_session
import harness

EFFECTS = ("org.quorvant.Effects", "/org/quorvant/Effects", "org.quorvant.Effects")
NATIVE, X11 = ("Slides (Wayland)", 1, 100, 100), ("Slides (X11)", 2, 680, 100)
SIZE = (500, 400)
VEIL_ALPHA = 102
LENS_ZOOM = 2
XK_PAGE_DOWN = 0xFF56


def content(x, y, phase=0):
    """What a slide shows at (x, y) of the screen: its colour, or None off
    both slides."""
    for _, ident, left, top in (NATIVE, X11):
        u, v = x - left, y - top
        if 0 <= u < SIZE[0] and 0 <= v < SIZE[1]:
            red = 255 - (u & 255) if phase else u & 255
            return red, v & 255, ident << 6 | (u >> 8 & 3) << 4 | (v >> 8 & 3) << 2 | phase << 1
    return None


def close(a, b, tolerance=4):
    return b is not None and all(abs(p - q) <= tolerance for p, q in zip(a, b))


def dimmed(rgb):
    return tuple((v * (255 - VEIL_ALPHA) + 127) // 255 for v in rgb)


def plain(image, points, phase=0):
    return all(close(image.pixel(x, y), content(x, y, phase)) for x, y in points)


def veiled(image, points):
    return all(close(image.pixel(x, y), dimmed(content(x, y))) for x, y in points)


def dot_at(image, x, y, diameter=30):
    return close(image.pixel(x, y), (255, 110, 110), 30) and \
        plain(image, [(x + diameter + 10, y), (x, y + diameter + 10)])


def spot_at(image, x, y, radius=90):
    return plain(image, [(x, y), (x - radius + 10, y), (x + 10, y + radius - 15)]) and \
        veiled(image, [(x + radius + 10, y), (x, y - radius - 10)])


def lens_at(image, x, y, diameter=200, phase=0):
    """The window's pixels around (x, y), twice as large, within the lens;
    beyond its rim, as they are."""
    inside = all(close(image.pixel(x + d, y + d), content(x + d // LENS_ZOOM, y + d // LENS_ZOOM, phase), 6)
                 for d in (-60, -20, 0, 20, 60))
    return inside and plain(image, [(x + diameter // 2 + 10, y), (x, y - diameter // 2 - 10)], phase)


# effect, its size in pixels, its look at the pointer, the look where it left
SHOWS = (("dot", 30, dot_at, plain), ("spotlight", 90, spot_at, veiled), ("lens", 200, lens_at, plain))


@unittest.skipIf(gnome_session.available(), gnome_session.available())
class GnomeEffects(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = gnome_session.GnomeSession()
        try:
            cls.session.start()
            cls.slides = {title: cls.session.slide(title, ident, x, y, *SIZE, x11=(ident == 2))
                          for title, ident, x, y in (NATIVE, X11)}
            # The first key of the new keyboard brings XWayland its keymap and
            # reaches no window.
            cls.session.activate(X11[0])
            slide = cls.slides[X11[0]]
            harness.wait_until(lambda: cls.session.key(XK_PAGE_DOWN) or slide.next_line(timeout=1),
                               message="keys to reach the X window")
            slide.drain()
        except BaseException:
            print(cls.session.log())
            cls.session.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()

    def setUp(self):
        self.caller = gnome_session.Bus(self.session.env)
        self.addCleanup(self.caller.close)
        self.session.activate(NATIVE[0])

    def wait_drawn(self, check, message):
        harness.wait_until(lambda: check(self.session.screenshot()), interval=0.1, message=message)

    def show(self, effect, pixels):
        self.caller.call(*EFFECTS, "Show", "sii", effect, pixels, LENS_ZOOM)

    def test_both_entries(self):
        # GNOME Shell 43 ran the entry for its older module format.
        self.assertTrue(self.session.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "NameHasOwner", "s", EFFECTS[0])[0])
        # Later Shells' entry, and the drawing both share, parse as ES modules:
        # they get as far as their imports, which only the Shell has.
        for name, missing in (("extension.js", "resource:///org/gnome/shell/ui/main.js"),
                              ("drawing.js", "Requiring Clutter")):
            run = subprocess.run(["gjs", "-m", os.path.join(gnome_session.EXTENSION_SOURCE, name)],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
            self.assertNotIn("Failed to parse", run.stdout)
            self.assertIn(missing, run.stdout)

    def test_effects_follow_the_pointer_over_both_windows_and_leave_the_input_to_them(self):
        session = self.session
        for effect, pixels, drawn_at, left in SHOWS:
            with self.subTest(effect):
                session.activate(X11[0])
                session.move_pointer(300, 300)
                self.show(effect, pixels)
                self.wait_drawn(lambda image: drawn_at(image, 300, 300), "%s at the pointer before it moves" % effect)
                session.keep_screenshot("gnome-%s-native" % effect)
                # A click there reaches the window beneath; the focus and the
                # keys stay with the presentation.
                self.assertEqual(session.actor_at(300, 300), "window " + NATIVE[0])
                self.assertEqual(session.focus(), X11[0])
                session.key(XK_PAGE_DOWN)
                self.assertEqual(self.slides[X11[0]].next_line(), "key Page_Down")

                session.move_pointer(900, 320)
                self.wait_drawn(lambda image: drawn_at(image, 900, 320) and left(image, [(300, 300)]),
                                "%s over the X window" % effect)
                self.assertEqual(session.actor_at(900, 320), "window " + X11[0])
                session.move_pointer(420, 260)
                self.wait_drawn(lambda image: drawn_at(image, 420, 260), "%s back over the native window" % effect)

                self.caller.call(*EFFECTS, "Hide")
                self.wait_drawn(lambda image: plain(image, [(420, 260), (300, 300), (900, 320), (130, 130)]),
                                "%s gone" % effect)

    def test_the_lens_shows_the_slide_as_it_changes(self):
        session = self.session
        session.move_pointer(300, 300)
        self.show("lens", 200)
        self.wait_drawn(lambda image: lens_at(image, 300, 300), "the lens")
        slide = self.slides[NATIVE[0]]
        for phase in (1, 0):
            slide.turn()
            self.assertEqual(slide.next_line(), "phase %d" % phase)
            self.wait_drawn(lambda image: lens_at(image, 300, 300, phase=phase), "the lens on slide %d" % phase)
        self.caller.call(*EFFECTS, "Hide")

    def test_a_killed_program_takes_its_effect_with_it(self):
        self.session.move_pointer(300, 300)
        self.show("dot", 30)
        self.wait_drawn(lambda image: dot_at(image, 300, 300), "the dot")
        # Another program's hiding does not end it.
        self.session.bus.call(*EFFECTS, "Hide")
        self.caller.kill()
        self.wait_drawn(lambda image: plain(image, [(300, 300)]), "the dot gone with its program")

    def test_the_notice_shows_at_the_top_centre_without_the_focus(self):
        session = self.session
        session.move_pointer(900, 320)
        self.caller.call(*EFFECTS, "ShowNotice", "si", "Magnifier", 1900)
        # A pale card, 300 by 100, 200 pixels below the top, over the slides.
        card = lambda image: all(close(image.pixel(x, y), tuple((c + 239 + 1) // 2 for c in content(x, y)), 6)
                                 for x, y in ((495, 205), (785, 295), (700, 210)))
        self.wait_drawn(lambda image: card(image) and plain(image, [(485, 205), (795, 295), (700, 305)]),
                        "the notice")
        session.keep_screenshot("gnome-notice")
        self.assertEqual(session.focus(), NATIVE[0])
        self.wait_drawn(lambda image: plain(image, [(495, 205), (785, 295), (700, 210)]), "the notice gone")


if __name__ == "__main__":
    unittest.main()
