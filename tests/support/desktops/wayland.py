"""Headless sway and KWin for the effects' tests, without a GPU; pointer and
keys come through each compositor's own test input, as a person's would."""

import glob
import os
import pwd
import shutil
import socket
import struct
import subprocess

from . import BIN_DIR, TIMEOUT, Image, keep, listening, open_x11_folder, output, parse_ppm, read, wait_until
from .. import desktops

PLACE_WINDOW = os.path.join(BIN_DIR, "quorvant-placewindow")
BTN_LEFT = 0x110
# The key the tests type, by its evdev code, and a keymap that holds it for a
# virtual keyboard.
KEY_N = 49
KEYMAP = """xkb_keymap {
xkb_keycodes "quorvant" { minimum = 8; maximum = 255; <N> = 57; };
xkb_types "quorvant" { include "complete" };
xkb_compatibility "quorvant" { include "complete" };
xkb_symbols "quorvant" { key <N> { [ n ] }; };
};
"""
# sway refuses to run as root; this user owns its session instead.
NOBODY = 65534


def u32(*values):
    return struct.pack("<%dI" % len(values), *values)


def string(text):
    data = text.encode() + b"\0"
    return u32(len(data)) + data + b"\0" * (-len(data) % 4)


class Wire:
    """The Wayland wire protocol, for the few requests the tests make, by opcode."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.last_id, self.globals = 1, {}
        self.registry = self.new_id()
        self.send(1, 1, u32(self.registry))  # wl_display.get_registry
        self.roundtrip()

    def new_id(self):
        self.last_id += 1
        return self.last_id

    def send(self, obj, opcode, payload=b"", fds=()):
        socket.send_fds(self.sock, [u32(obj, (8 + len(payload)) << 16 | opcode) + payload], list(fds))

    def receive(self, count):
        return self.sock.recv(count, socket.MSG_WAITALL)

    def roundtrip(self):
        """Waits until the compositor has handled every request sent so far."""
        done = self.new_id()
        self.send(1, 0, u32(done))  # wl_display.sync
        while True:
            obj, size_opcode = struct.unpack("<II", self.receive(8))
            body = self.receive((size_opcode >> 16) - 8)
            opcode = size_opcode & 0xffff
            if obj == 1 and opcode == 0:
                raise AssertionError("protocol error: %r" % body[12:].split(b"\0")[0])
            if obj == self.registry and opcode == 0:  # wl_registry.global
                name, length = struct.unpack("<II", body[:8])
                interface = body[8:8 + length - 1].decode()
                version, = struct.unpack("<I", body[8 + length + (-length % 4):][:4])
                self.globals[interface] = (name, version)
            if obj == done:
                return

    def bind(self, interface, version):
        name, offered = self.globals[interface]
        new = self.new_id()
        self.send(self.registry, 0, u32(name) + string(interface) + u32(min(version, offered), new))
        return new


# Where the tests want the two place windows, as (x, y, width, height).
PLACES = ((40, 60, 500, 400), (680, 60, 500, 400))


class Session(desktops.Session):
    """sway's and KWin's, with an X display from XWayland."""

    width, height = 1280, 720

    def begin(self):
        self.runtime = self.subfolder("runtime", 0o700)
        # The user's settings, which the desktop and its programs share.
        self.config_home = self.subfolder("settings")
        self.bus_address = self.new_bus()
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update(HOME=self.folder, XDG_RUNTIME_DIR=self.runtime, XDG_CONFIG_HOME=self.config_home,
                   DBUS_SESSION_BUS_ADDRESS=self.bus_address, **self.COMPOSITOR_ENV)
        self.launch(self.command(), env, "compositor.log")
        self.wayland = wait_until(self.socket, message="%s's Wayland socket" % self.name)
        self.display = wait_until(lambda: read(os.path.join(self.folder, "display")).strip(),
                                  message="%s's X display" % self.name)
        self.wire = Wire(self.wayland)
        self.started()

    def stop(self):
        if getattr(self, "wire", None):
            self.wire.sock.close()
        super().stop()

    def env(self):
        """For clients: the Wayland socket by its path, which needs no runtime folder."""
        env = {k: v for k, v in os.environ.items() if k != "QT_QPA_PLATFORM"}
        env.update(WAYLAND_DISPLAY=self.wayland, DISPLAY=self.display, XDG_SESSION_TYPE="wayland",
                   DBUS_SESSION_BUS_ADDRESS=self.bus_address)
        return env

    def socket(self):
        # sway's IPC socket lies beside its Wayland one.
        return next((path for path in glob.glob(os.path.join(self.runtime, "*"))
                     if not path.endswith(".lock") and "-ipc." not in path and listening(path)), None)

    def place_windows(self):
        """A native Wayland window and an X one whose pixels name their place,
        where PLACES has them; their standard output tells of the presses they got."""
        for kind, (_, _, width, height) in enumerate(PLACES):
            self.launch([PLACE_WINDOW, str(kind), str(width), str(height)],
                        dict(self.env(), QT_QPA_PLATFORM="xcb" if kind else "wayland"), "window-%d.log" % kind)

        wait_until(lambda: self.arrange() or in_place(self.image()), interval=0.3,
                   message="the place windows in their places")
        self.focus_native()

    def arrange(self):
        pass  # sway's rules place them

    def focus_native(self):
        pass  # a click on it gives it the keyboard

    def dbus(self, destination, path, method, *args):
        """A call on the session's bus, its reply as gdbus prints it."""
        return output("gdbus", "call", "--session", "--dest", destination, "--object-path", path, "--method", method,
                      "--", *args, env=self.env()) or ""

    def window_log(self, kind):
        return read(os.path.join(self.folder, "window-%d.log" % kind)).splitlines()

    def page(self):
        """The native window's page: each key typed in it turns it."""
        return self.window_log(0).count("key n") % 2

    def keep(self, name):
        keep(name, lambda path: self.image().save_ppm(path + ".ppm"))


class Sway(Session):
    name = "sway"
    CONFIG = """output HEADLESS-1 resolution {w}x{h} position 0 0 bg #204060 solid_color
default_border none
focus_follows_mouse no
for_window [title="^quorvant-place-0$"] floating enable, move position 40 60
for_window [title="^quorvant-place-1$"] floating enable, move position 680 60
exec sh -c 'xhost +si:localuser:{user} >/dev/null; echo "$DISPLAY" > {folder}/display'
bar {{
    position bottom
    tray_output *
}}
"""

    def command(self):
        config = os.path.join(self.folder, "config")
        with open(config, "w") as f:
            # XWayland lets in the tests' user, who may not be sway's.
            f.write(self.CONFIG.format(w=self.width, h=self.height, folder=self.folder,
                                       user=pwd.getpwuid(os.getuid()).pw_name))
        if os.geteuid() != 0:
            return ["sway", "-c", config]
        for folder in (self.folder, self.runtime, self.config_home):
            os.chown(folder, NOBODY, NOBODY)
        open_x11_folder()
        return ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups", "sway", "-c", config]

    COMPOSITOR_ENV = dict(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")

    def started(self):
        manager = self.wire.bind("zwlr_virtual_pointer_manager_v1", 1)
        self.pointer = self.wire.new_id()
        self.wire.send(manager, 0, u32(0, self.pointer))  # create_virtual_pointer, on the default seat
        # A keyboard from the start, as a person has: windows take up a
        # keyboard only as they are focused.
        seat = self.wire.bind("wl_seat", 1)
        manager = self.wire.bind("zwp_virtual_keyboard_manager_v1", 1)
        self.keyboard = self.wire.new_id()
        self.wire.send(manager, 0, u32(seat, self.keyboard))  # create_virtual_keyboard
        keymap = os.memfd_create("keymap")
        size = os.write(keymap, KEYMAP.encode() + b"\0")
        self.wire.send(self.keyboard, 0, u32(1, size), fds=[keymap])  # xkb_v1
        self.wire.roundtrip()
        os.close(keymap)

    def focus_native(self):
        # The keyboard to the slides, as a presenter leaves it: sway gives it
        # to whichever window came up last, and the effect, which holds the
        # pointer here, keeps a click from moving it. swaymsg answers once done.
        ipc = wait_until(lambda: glob.glob(os.path.join(self.runtime, "sway-ipc.*.sock")), message="sway's IPC socket")
        subprocess.run(["swaymsg", "-s", ipc[0], '[title="^quorvant-place-0$"] focus'], stdout=subprocess.DEVNULL,
                       timeout=TIMEOUT, check=True)

    def move_pointer(self, x, y):
        # motion_absolute on the whole layout, then frame
        self.wire.send(self.pointer, 1, u32(0, x, y, self.width, self.height))
        self.wire.send(self.pointer, 4)
        self.wire.roundtrip()

    def click(self):
        for state in (1, 0):
            self.wire.send(self.pointer, 2, u32(0, BTN_LEFT, state))
            self.wire.send(self.pointer, 4)
        self.wire.roundtrip()

    def key_n(self):
        for state in (1, 0):
            self.wire.send(self.keyboard, 1, u32(0, KEY_N, state))
        self.wire.roundtrip()

    def image(self):
        ppm = subprocess.run(["grim", "-t", "ppm", "-"], env=self.env(), check=True, stdout=subprocess.PIPE,
                             timeout=TIMEOUT).stdout
        return parse_ppm(ppm)


class KWin(Session):
    name = "kwin"

    def command(self):
        # A copy without the file capability of Debian's binary, which a
        # container may refuse to run.
        binary = os.path.join(self.folder, "kwin_wayland")
        shutil.copy(shutil.which("kwin_wayland"), binary)
        # KWin starts it once XWayland is up, with the display in its environment.
        announce = os.path.join(self.folder, "announce")
        with open(announce, "w") as f:
            f.write('#!/bin/sh\necho "$DISPLAY" > %s/display\n' % self.folder)
        os.chmod(announce, 0o755)
        return [binary, "--virtual", "--xwayland", "--socket", "quorvant-kwin", "--width", str(self.width),
                "--height", str(self.height), announce]

    COMPOSITOR_ENV = dict(KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1",
                          QT_QPA_PLATFORM="wayland")

    def started(self):
        self.input = self.wire.bind("org_kde_kwin_fake_input", 4)
        self.wire.send(self.input, 0, string("quorvant tests") + string("end-to-end tests"))
        self.wire.roundtrip()

    def move_pointer(self, x, y):
        self.wire.send(self.input, 9, struct.pack("<ii", x * 256, y * 256))  # pointer_motion_absolute, fixed point
        self.wire.roundtrip()

    def click(self):
        for state in (1, 0):
            self.wire.send(self.input, 2, u32(BTN_LEFT, state))
        self.wire.roundtrip()

    def key_n(self):
        for state in (1, 0):
            self.wire.send(self.input, 10, u32(KEY_N, state))  # keyboard_key
        self.wire.roundtrip()

    def arrange(self):
        # KWin places new windows itself; a script puts them where PLACES has them.
        lines = ["var places = %r;" % {"quorvant-place-%d" % k: list(p) for k, p in enumerate(PLACES)},
                 "function put(c) { var p = places[c.caption]; if (p) c.frameGeometry = "
                 "{x: p[0], y: p[1], width: p[2], height: p[3]}; }", "workspace.clientList().forEach(put);"]
        path = os.path.join(self.folder, "arrange.js")
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.dbus_call("/Scripting", "org.kde.kwin.Scripting", "unloadScript", "string:quorvant-arrange")
        self.dbus_call("/Scripting", "org.kde.kwin.Scripting", "loadScript", "string:" + path, "string:quorvant-arrange")
        self.dbus_call("/Scripting", "org.kde.kwin.Scripting", "start")

    def loaded_effects(self):
        return self.dbus_call("/Effects", "org.freedesktop.DBus.Properties", "Get", "string:org.kde.kwin.Effects",
                              "string:loadedEffects")

    def show_effect(self, name):
        """KWin's screenshots are taken as its screenshot effect paints, so they
        leave out what effects loaded after it draw; loaded again, it comes last."""
        wait_until(lambda: '"%s"' % name in self.loaded_effects(), message="KWin's %s effect" % name)
        self.dbus_call("/Effects", "org.kde.kwin.Effects", "unloadEffect", "string:screenshot")
        self.dbus_call("/Effects", "org.kde.kwin.Effects", "loadEffect", "string:screenshot")

    def dbus_call(self, path, interface, method, *args):
        return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", path,
                               "%s.%s" % (interface, method), *args], env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, timeout=TIMEOUT).stdout

    def image(self):
        # Debian's own Python has python3-dbus.
        script = """
import dbus, os, sys
bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
shot = bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
r, w = os.pipe()
info = shot.CaptureArea(0, 0, dbus.UInt32(%d), dbus.UInt32(%d), {"native-resolution": True}, dbus.types.UnixFd(w),
                        dbus_interface="org.kde.KWin.ScreenShot2")
os.close(w)
data = os.fdopen(r, "rb").read()
sys.stdout.buffer.write(b"%%d %%d %%d %%d\\n" %% (info["width"], info["height"], info["stride"], info["format"]) + data)
""" % (self.width, self.height)
        out = subprocess.run(["/usr/bin/python3", "-c", script], env=self.env(), check=True, stdout=subprocess.PIPE,
                             timeout=TIMEOUT).stdout
        head, data = out.split(b"\n", 1)
        width, height, stride, _ = map(int, head.split())
        # QImage's 32-bit formats: blue, green, red, alpha in memory.
        rows = b"".join(data[y * stride:y * stride + 4 * width] for y in range(height))
        pixels = bytearray(3 * width * height)
        pixels[0::3], pixels[1::3], pixels[2::3] = rows[2::4], rows[1::4], rows[0::4]
        return Image(width, height, bytes(pixels))


def place(rgb):
    """(kind, page, x, y) that a pixel of a place window names."""
    r, g, b = rgb
    return (b >> 6) & 1, b >> 7, r | (b & 7) << 8, g | (b >> 3 & 7) << 8


def window_at(image, x, y):
    """(kind, x, y) of the place window shown at a point, whatever its page."""
    kind, _, wx, wy = place(image.pixel(x, y))
    return kind, wx, wy


def enlarged(image, x, y, page, offsets=(-60, -20, 20, 60)):
    """Whether the native window, on `page`, shows twice enlarged about (x, y),
    a point over it: `offsets` pixels to either side, it shows what lies half
    as far from that point."""
    centre = x - PLACES[0][0]
    return all(place(image.pixel(x + v, y))[0:2] == (0, page)
               and abs(place(image.pixel(x + v, y))[2] - (centre + v // 2)) <= 2 for v in offsets)


def in_place(image):
    return all(window_at(image, x + dx, y + dy) == (kind, dx, dy)
               for kind, (x, y, w, h) in enumerate(PLACES) for dx, dy in ((5, 5), (w - 5, h - 5)))
