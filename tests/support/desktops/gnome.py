"""A headless GNOME Shell for the tests, without a GPU: a private bus stands
in for the system one (the Shell asks logind there and does without it)."""

import json
import os
import select
import shutil
import subprocess

from . import HERE, SOURCE_DIR, TIMEOUT, Session, end, keep, open_x11_folder, parse_ppm, wait_until

JS = os.path.join(HERE, "gnome_js")
EXTENSION_SOURCE = os.path.join(SOURCE_DIR, "gnome", "extension")
UUID = "quorvant@quorvant.org"
PROBE = "probe@tests.quorvant.org"
# The panel a GNOME user has for tray icons.
APPINDICATOR = "ubuntu-appindicators@ubuntu.com"
WIDTH, HEIGHT = 1280, 720
# The tests' questions, as JavaScript for the Shell's Eval: each gives the
# list of values asked for, from the arguments put in as JSON.
WINDOW = "global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() === %s)"
PROBES = {
    "Ready": "[!Main.layoutManager._startingUp && !Main.overview.visible]",
    "Focus": "[global.display.focus_window?.get_title() ?? '']",
    "Pointer": "global.get_pointer().slice(0, 2)",
    "Environment": "[GLib.getenv(%s) ?? '']",
    "Windows": "[global.get_window_actors().map(a => a.meta_window).map(w => { const r = w.get_frame_rect(); "
               "return `${w.get_title()} ${r.x} ${r.y} ${r.width} ${r.height}`; })]",
    "Place": "[" + WINDOW + "?.move_resize_frame(true, %s, %s, %s, %s)]",
    "Activate": "[" + WINDOW + "?.activate(global.get_current_time())]",
    # The actor a click there would reach: the topmost that takes input.
    "ActorAt": "(() => { const actor = global.stage.get_actor_at_pos(imports.gi.Clutter.PickMode.REACTIVE, %s, %s); "
               "for (let a = actor; a; a = a.get_parent()) if (a instanceof Meta.WindowActor) "
               "return [`window ${a.meta_window.get_title()}`]; "
               "return [actor ? `actor ${actor.constructor.$gtype.name} ${actor.name ?? ''}` : 'none']; })()",
}


def available():
    return next((program + " is not installed" for program in ("gnome-shell", "Xwayland", "gjs", "dbus-daemon")
                 if not shutil.which(program)), None)


class Bus:
    """One lasting connection to a bus, through gnome_js/bus.js."""

    def __init__(self, env):
        self._process = subprocess.Popen(["gjs", os.path.join(JS, "bus.js")], env=env,
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def call(self, destination, path, interface, method, signature="", *args):
        self._process.stdin.write(json.dumps([destination, path, interface, method, signature, list(args)]) + "\n")
        self._process.stdin.flush()
        answer = json.loads(self._process.stdout.readline())
        if "error" in answer:
            raise RuntimeError(answer["error"])
        return answer["reply"]

    def close(self):
        end(self._process)
        self._process.stdin.close()
        self._process.stdout.close()


def next_line(slide, timeout=TIMEOUT):
    """The next line a window of gnome_js/slide.js prints, or None."""
    # Unbuffered, so that what select finds waiting is all there is.
    if select.select([slide.stdout], [], [], timeout)[0]:
        return slide.stdout.readline().decode().rstrip("\n") or None
    return None


class GnomeSession(Session):
    name = "gnome"

    def __init__(self):
        super().__init__()
        self.bus, self._input = None, None

    def env(self):
        return dict(self._env)

    def begin(self):
        extensions = self.subfolder("share/gnome-shell/extensions")
        os.symlink(os.path.abspath(EXTENSION_SOURCE), os.path.join(extensions, UUID))
        os.symlink(os.path.join(JS, PROBE), os.path.join(extensions, PROBE))
        with open(os.path.join(self.subfolder("config/glib-2.0/settings"), "keyfile"), "w") as f:
            f.write("[org/gnome/shell]\nenabled-extensions=%s\ndisable-user-extensions=false\n"
                    "welcome-dialog-last-shown-version='999'\n"
                    "[org/gnome/desktop/notifications]\nshow-banners=false\n" % [PROBE, UUID, APPINDICATOR])
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(XDG_RUNTIME_DIR=self.subfolder("runtime", 0o700), HOME=self.subfolder("home"),
                   XDG_CONFIG_HOME=self.subfolder("config"), XDG_DATA_HOME=self.subfolder("data"),
                   XDG_CACHE_HOME=self.subfolder("cache"),
                   XDG_DATA_DIRS=self.subfolder("share") + ":/usr/local/share:/usr/share",
                   GSETTINGS_BACKEND="keyfile", NO_AT_BRIDGE="1", XDG_CURRENT_DESKTOP="GNOME",
                   XDG_SESSION_TYPE="wayland", WAYLAND_DISPLAY="wayland-quorvant",
                   DBUS_SYSTEM_BUS_ADDRESS=self.new_bus(), DBUS_SESSION_BUS_ADDRESS=self.new_bus())
        self._env = env
        open_x11_folder()
        self.launch(["gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                     "%dx%d" % (WIDTH, HEIGHT), "--wayland-display", env["WAYLAND_DISPLAY"]], env, "shell.log")
        self.bus = Bus(env)
        wait_until(lambda: self.probe("Ready") == [True], message="the Shell, started and at rest")
        for name in ("DISPLAY", "XAUTHORITY"):
            env[name] = self.probe("Environment", name)[0]

    def stop(self):
        if self.bus:
            self.bus.close()
        super().stop()

    def probe(self, question, *args):
        """The list of values PROBES[question] gives, or None while the Shell cannot tell."""
        try:
            ok, reply = self.bus.call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval", "s",
                                      PROBES[question] % tuple(map(json.dumps, args)))
        except RuntimeError:
            return None
        return json.loads(reply) if ok else None

    def _shoot(self, x, y, width, height, path):
        self.bus.call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                      "ScreenshotArea", "iiiibs", x, y, width, height, False, path)

    # --- windows ---

    def slide(self, title, ident, x, y, width, height, x11=False):
        """A window of gnome_js/slide.js, placed and given the focus."""
        env = dict(self._env, GDK_BACKEND="x11" if x11 else "wayland")
        client = subprocess.Popen(["gjs", os.path.join(JS, "slide.js"), title, str(ident)], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self._processes.append(client)
        assert next_line(client) == "shown"
        self.place(title, x, y, width, height)
        self.activate(title)
        return client

    def place(self, title, x, y, width, height):
        wanted = "%s %d %d %d %d" % (title, x, y, width, height)

        def placed():
            self.probe("Place", title, x, y, width, height)
            return any(w.startswith(wanted) for w in self.probe("Windows")[0])
        wait_until(placed, message="window %s placed" % title)

    def activate(self, title):
        self.probe("Activate", title)
        wait_until(lambda: self.focus() == title, message="focus on " + title)

    def focus(self):
        return self.probe("Focus")[0]

    def actor_at(self, x, y):
        return self.probe("ActorAt", x, y)[0]

    def screenshot(self, x=0, y=0, width=WIDTH, height=HEIGHT):
        """The stage's pixels in an area, read by the screen's coordinates."""
        png = os.path.join(self.folder, "shot.png")
        self._shoot(x, y, width, height, png)
        ppm = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, check=True).stdout
        return parse_ppm(ppm, x, y)

    def keep(self, name):
        keep(name, lambda path: self._shoot(0, 0, WIDTH, HEIGHT, path + ".png"))

    # --- input ---

    def _remote(self, method, signature="", *args):
        if not self._input:
            self._input = self.bus.call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                                        "org.gnome.Mutter.RemoteDesktop", "CreateSession")[0]
            self._remote("Start")
        return self.bus.call("org.gnome.Mutter.RemoteDesktop", self._input,
                             "org.gnome.Mutter.RemoteDesktop.Session", method, signature, *args)

    def move_pointer(self, x, y):
        """Moves the pointer as a mouse does, in steps, until it is at (x, y)."""
        def there():
            px, py = self.probe("Pointer")
            if (px, py) == (x, y):
                return True
            self._remote("NotifyPointerMotionRelative", "dd", float(x - px), float(y - py))
            return False
        wait_until(there, message="the pointer at %d,%d" % (x, y))

    def key(self, keysym):
        self._remote("NotifyKeyboardKeysym", "ub", keysym, True)
        self._remote("NotifyKeyboardKeysym", "ub", keysym, False)
