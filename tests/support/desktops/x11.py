"""The few Xlib calls that the effect tests and the effects bench make
themselves, through ctypes: Debian's libX11 and libXtst, nothing to build."""

import ctypes


class X11:
    """It moves the pointer as a mouse does, through the XTEST device: xdotool's
    mousemove warps it, which makes no device motion, so an effect finds a warp
    only when it next looks. Its windows repaint all of themselves when given
    another colour, as a slide show does on the next slide."""

    def __init__(self, display):
        x11 = self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtest = ctypes.CDLL("libXtst.so.6")
        self.xtest.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p] + [ctypes.c_int] * 3 + [ctypes.c_ulong]
        p, window, i, u = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        for name, result, args in (("XOpenDisplay", p, [ctypes.c_char_p]), ("XDefaultRootWindow", window, [p]),
                                   ("XCreateSimpleWindow", window, [p, window, i, i, u, u, u, window, window]),
                                   ("XMapWindow", i, [p, window]), ("XClearWindow", i, [p, window]),
                                   ("XSetWindowBackground", i, [p, window, window]),
                                   ("XSync", i, [p, i]), ("XCloseDisplay", i, [p])):
            getattr(x11, name).restype, getattr(x11, name).argtypes = result, args
        self.connection = x11.XOpenDisplay(display.encode())
        if not self.connection:
            raise RuntimeError("cannot open display " + display)
        self.root = x11.XDefaultRootWindow(self.connection)

    def move_pointer(self, x, y):
        self.xtest.XTestFakeMotionEvent(self.connection, -1, x, y, 0)
        self.x11.XSync(self.connection, 0)

    def window(self, x, y, width, height):
        window = self.x11.XCreateSimpleWindow(self.connection, self.root, x, y, width, height, 0, 0, 0)
        self.x11.XMapWindow(self.connection, window)
        self.x11.XSync(self.connection, 0)
        return window

    def paint(self, window, rgb):
        self.x11.XSetWindowBackground(self.connection, window, rgb[0] << 16 | rgb[1] << 8 | rgb[2])
        self.x11.XClearWindow(self.connection, window)
        self.x11.XSync(self.connection, 0)

    def close(self):
        self.x11.XCloseDisplay(self.connection)
