#!/usr/bin/env bash
# Installs the Debian packages that building and running the program need,
# only when some are missing; with --test, also those of the tests. Usable as
# root or through sudo.
#
#   scripts/deps.sh [--test] [PACKAGE...]
set -euo pipefail

PACKAGES=(
    # build
    cmake g++ make pkg-config python3
    qtbase5-dev qtbase5-dev-tools
    # the translations: lupdate and lrelease, and CMake's functions for them
    qttools5-dev qttools5-dev-tools
    libhidapi-dev libudev-dev
    # the effect programs ask X whether a compositor runs, hear of the
    # pointer's motion from XInput2 and read the screen beneath them through
    # Composite, Damage and Shape
    libxcb1-dev libxcb-xinput-dev libxcb-composite0-dev libxcb-damage0-dev libxcb-shape0-dev
    # on Wayland the effects and the notice are layer-shell surfaces, with an
    # input region set on the surface itself; the backend is chosen from the
    # compositor's globals and the session bus's names; libwayland-dev brings
    # wayland-scanner, for the protocols in effects/protocols/, and the server
    # library the cursor sessions' test compositor is made with
    libwayland-dev libdbus-1-dev liblayershellqtinterface-dev layer-shell-qt qtbase5-private-dev
    # the icon of the launcher is scaled from the program's picture
    imagemagick
    # Chinese texts need a CJK font; the icon font ships in the tree
    fonts-wqy-microhei
)

TEST_PACKAGES=(
    # sanitizer and fuzzing runs
    clang libclang-rt-14-dev
    # running the program and the end-to-end tests headless
    xvfb xauth trayer xdotool x11-utils x11-xserver-utils
    # the Debian package: its dependencies, the checks of its launcher and
    # software centre entry, and Debian's own check of the whole
    dpkg-dev desktop-file-utils appstream lintian
    # the effects' tests and bench move the pointer through XTEST and paint
    # windows of their own
    libx11-6 libxtst6
    # the effects tested on a desktop that composites
    xcompmgr
    # notices and effects tested under a window manager that gives new
    # windows the focus
    openbox
    # bench/idle.py asks the X server whether the program answers, and the
    # tests close windows as a window manager does
    python3-xlib
    # private session buses, asked with gdbus and dbus-send, and watched with
    # dbus-monitor for what the program asks to be told
    dbus-daemon libglib2.0-bin dbus-bin
    # two copies started together: the first one's listen held back a moment
    strace
    # scripts/make-artwork takes the icon font from its Debian package
    fonts-font-awesome
    # the tray icon tested on a StatusNotifierItem panel, on a private session
    # bus or KWin's, asked with gdbus: a watcher and a host, in Haskell (about 17 MB to
    # fetch, 140 MB installed)
    haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
)
# Headless Wayland sessions for the effects' tests: sway, KWin and GNOME Shell
# (with gjs for its test windows and the AppIndicator extension for the tray)
# with XWayland, and a screenshot tool for sway. Without what they only
# recommend, which is the rest of a desktop.
SESSIONS=(sway kwin-wayland xwayland grim gnome-shell gjs gnome-shell-extension-appindicator)

wanted=("${PACKAGES[@]}")
sessions_wanted=()
if [ "${1:-}" = --test ]; then
    shift
    wanted+=("${TEST_PACKAGES[@]}")
    sessions_wanted=("${SESSIONS[@]}")
fi
# Extra packages can be named on the command line: scripts/check-windows asks
# for mingw-w64 and wine, scripts/package for dpkg-dev.
wanted+=("$@")

not_installed() {
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}
mapfile -t missing < <(not_installed "${wanted[@]}")
mapfile -t sessions < <(not_installed "${sessions_wanted[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#sessions[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
fi
echo "Installing: ${missing[*]} ${sessions[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ ${#sessions[@]} -gt 0 ]; then
    $SUDO apt-get install -y -qq --no-install-recommends "${sessions[@]}" >/dev/null
fi
