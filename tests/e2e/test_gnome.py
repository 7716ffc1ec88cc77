"""The effects and the mode notice on GNOME, drawn by the Quorvant Shell
extension over a native Wayland window and an X window whose pixels name
their place (gnome_js/slide.js)."""

import os
import signal
import unittest

from tests.e2e.pixels import LENS_ZOOM, close, dimmed
from tests.support.desktops import gnome, read, wait_until
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import Bench

EFFECTS = ("org.quorvant.Effects", "/org/quorvant/Effects", "org.quorvant.Effects")
EXTENSIONS = ("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions")
NATIVE, X11 = ("Slides (Wayland)", 1, 100, 100), ("Slides (X11)", 2, 680, 100)
SIZE = (500, 400)
XK_PAGE_DOWN, XK_RETURN, XK_ESCAPE = 0xFF56, 0xFF0D, 0xFF1B


def content(x, y):
    for _, ident, left, top in (NATIVE, X11):
        u, v = x - left, y - top
        if 0 <= u < SIZE[0] and 0 <= v < SIZE[1]:
            return u & 255, v & 255, ident << 6 | (u >> 8 & 3) << 4 | (v >> 8 & 3) << 2
    return None


def plain(image, points, look=lambda rgb: rgb):
    return all(close(image.pixel(x, y), look(content(x, y))) for x, y in points)


def veiled(image, points):
    return plain(image, points, dimmed)


def dot_at(image, x, y, diameter=30):
    return close(image.pixel(x, y), (255, 110, 110), 30) and \
        plain(image, [(x + diameter + 10, y), (x, y + diameter + 10)])


def spot_at(image, x, y, radius=90):
    return plain(image, [(x, y), (x - radius + 10, y), (x + 10, y + radius - 15)]) and \
        veiled(image, [(x + radius + 10, y), (x, y - radius - 10)])


def lens_at(image, x, y, diameter=200):
    inside = all(close(image.pixel(x + d, y + d), content(x + d // LENS_ZOOM, y + d // LENS_ZOOM))
                 for d in (-60, -20, 0, 20, 60) if abs(d) * 3 < diameter)
    return inside and plain(image, [(x + diameter // 2 + 10, y), (x, y - diameter // 2 - 10)])


# effect, its size in pixels, its look at the pointer, the look where it left
SHOWS = (("dot", 30, dot_at, plain), ("spotlight", 90, spot_at, veiled), ("lens", 200, lens_at, plain))


@unittest.skipIf(gnome.available(), gnome.available())
class GnomeEffects(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = gnome.GnomeSession()
        try:
            cls.session.start()
            cls.slides = {title: cls.session.slide(title, ident, x, y, *SIZE, x11=(ident == 2))
                          for title, ident, x, y in (NATIVE, X11)}
            # The first key of the new keyboard brings XWayland its keymap and
            # reaches no window.
            cls.session.activate(X11[0])
            slide = cls.slides[X11[0]]
            wait_until(lambda: cls.session.key(XK_PAGE_DOWN) or gnome.next_line(slide, timeout=1),
                               message="keys to reach the X window")
            while gnome.next_line(slide, 0):
                pass
        except BaseException:
            print(read(os.path.join(cls.session.folder, "shell.log")))
            cls.session.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()

    def setUp(self):
        self.caller = gnome.Bus(self.session.env())
        self.addCleanup(self.caller.close)
        # Windows the program brought up may have pushed them aside.
        for title, _, x, y in (NATIVE, X11):
            self.session.place(title, x, y, *SIZE)
        self.session.activate(NATIVE[0])

    def start_program(self):
        pen = SimPen().start()
        self.addCleanup(pen.stop)
        bench = Bench(self.session, pen, stand_ins=False)
        self.addCleanup(bench.close)
        program = bench.start_program()
        pen.wait_sent(1)  # the read-back request: the program has the receiver open
        return pen, bench, program

    def wait_drawn(self, check, message, area=()):
        wait_until(lambda: check(self.session.screenshot(*area)), interval=0.1, message=message)

    def test_effects_follow_the_pointer_over_both_windows_and_leave_the_input_to_them(self):
        session = self.session
        for effect, pixels, drawn_at, left in SHOWS:
            with self.subTest(effect):
                session.activate(X11[0])
                session.move_pointer(300, 300)
                self.caller.call(*EFFECTS, "Show", "sii", effect, pixels, LENS_ZOOM)
                self.wait_drawn(lambda image: drawn_at(image, 300, 300), "%s at the pointer before it moves" % effect)
                session.keep("gnome-%s-native" % effect)
                # A click there reaches the window beneath; the focus and the
                # keys stay with the presentation.
                self.assertEqual(session.actor_at(300, 300), "window " + NATIVE[0])
                self.assertEqual(session.focus(), X11[0])
                session.key(XK_PAGE_DOWN)
                self.assertEqual(gnome.next_line(self.slides[X11[0]]), "key Page_Down")

                session.move_pointer(900, 320)
                self.wait_drawn(lambda image: drawn_at(image, 900, 320) and left(image, [(300, 300)]),
                                "%s over the X window" % effect)
                self.assertEqual(session.actor_at(900, 320), "window " + X11[0])
                session.move_pointer(420, 260)
                self.wait_drawn(lambda image: drawn_at(image, 420, 260), "%s back over the native window" % effect)

                self.caller.call(*EFFECTS, "Hide")
                self.wait_drawn(lambda image: plain(image, [(420, 260), (300, 300), (900, 320), (130, 130)]),
                                "%s gone" % effect)

    def test_the_program_has_the_shell_draw_its_effects_and_notices(self):
        session = self.session
        session.move_pointer(300, 300)
        pen, bench, program = self.start_program()
        pen.mode("laser", 5)
        bench.wait_effect("Dotrix", 5)
        self.wait_drawn(lambda image: dot_at(image, 300, 300, 30), "the program's dot")
        pen.mode("laser", 9)
        # Grown, not only unchanged: solid red where the level-5 dot fades out.
        self.wait_drawn(lambda image: dot_at(image, 300, 300, 46) and close(image.pixel(318, 300), (240, 10, 10), 30),
                        "the dot at level 9")
        self.assertEqual(session.focus(), NATIVE[0])

        # The notice: a pale card, 300 by 100, 200 pixels below the top of
        # the pointer's monitor, over the slides; it takes no focus.
        session.move_pointer(900, 320)
        pen.notice("magnifier")
        card = lambda image: all(close(image.pixel(x, y), tuple((c + 239 + 1) // 2 for c in content(x, y)), 6)
                                 for x, y in ((495, 205), (785, 295), (700, 210)))
        # Up for two seconds: only the part that tells is read.
        self.wait_drawn(lambda image: card(image) and plain(image, [(485, 205), (795, 295), (700, 305)]),
                        "the notice", area=(480, 195, 320, 115))
        session.keep("gnome-notice")
        self.assertEqual(session.focus(), NATIVE[0])
        self.wait_drawn(lambda image: plain(image, [(495, 205), (785, 295), (700, 210)]), "the notice gone")

        # An effect program killed outright takes its drawing with it.
        (pid,) = bench.running_pids("Dotrix")
        os.kill(pid, signal.SIGKILL)
        self.wait_drawn(lambda image: plain(image, [(900, 320), (910, 320)]), "the dot gone with Dotrix")

    def answer_with_the_extension_off(self, keysym):
        """The program started with the extension off and the magnifier asked
        for; its question answered by a key. Its pen, and whether it asks."""
        session = self.session
        session.bus.call(*EXTENSIONS, "DisableExtension", "s", gnome.UUID)
        self.addCleanup(session.bus.call, *EXTENSIONS, "EnableExtension", "s", gnome.UUID)
        wait_until(lambda: not session.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner", "s", EFFECTS[0])[0],
                   message="the extension off")
        session.move_pointer(300, 300)
        pen, _, _ = self.start_program()
        pen.mode("magnifier", 2)
        asking = lambda: any(w.startswith("Quorvant ") for w in session.probe("Windows")[0])
        wait_until(asking, message="the question")
        session.activate("Quorvant")
        # The Shell names the question focused before XWayland has handed it
        # the keyboard, and a key typed in between reaches no window.
        wait_until(lambda: not asking() or session.key(keysym), interval=1.0, message="the question answered")
        return pen, asking

    def test_an_extension_that_is_off_is_asked_for_once(self):
        pen, asking = self.answer_with_the_extension_off(XK_ESCAPE)
        # The next effect, through XWayland, comes up without asking again.
        pen.mode("spotlight", 3)
        wait_until(lambda: any(w.startswith("Halvix ") for w in self.session.probe("Windows")[0]),
                   message="the spotlight's window")
        self.assertFalse(asking())

    def test_an_extension_that_is_off_is_turned_on_when_the_user_agrees(self):
        # Return takes the answer the program offers: yes.
        self.answer_with_the_extension_off(XK_RETURN)
        self.wait_drawn(lambda image: lens_at(image, 300, 300), "the lens drawn by the Shell")
        self.assertEqual(self.session.focus(), NATIVE[0])
        self.assertEqual(self.session.actor_at(300, 300), "window " + NATIVE[0])


if __name__ == "__main__":
    unittest.main()
