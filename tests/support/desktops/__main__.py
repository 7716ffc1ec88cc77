"""python3 -m tests.support.desktops tray -- COMMAND [ARG...]: runs the
command on an Xvfb display of its own with a tray host docked on it, and
exits with its status. The unit tests of what the tray tells the user run
so: offscreen, Qt has no tray and shows no balloon."""

import subprocess
import sys

from . import Desktop

if len(sys.argv) < 4 or sys.argv[1:3] != ["tray", "--"]:
    sys.exit(__doc__)
with Desktop() as desktop:
    # The program runs its windows without an OpenGL integration, so the
    # windows under test do too. With one, showing a window loads Mesa's GLX,
    # whose once-only allocations outlive the plugin's unloading and show as
    # leaks of an unknown module.
    env = dict(desktop.env(), QT_QPA_PLATFORM="xcb")
    env.setdefault("QT_XCB_GL_INTEGRATION", "none")
    status = subprocess.call(sys.argv[3:], env=env)
sys.exit(status if status >= 0 else 128 - status)
