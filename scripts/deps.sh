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
    # the pen window's test reads the window as a screen reader does
    dbus-daemon at-spi2-core libglib2.0-bin
    # scripts/make-artwork takes the icon font from its Debian package
    fonts-font-awesome
    # the tray icon tested on a StatusNotifierItem panel, on a private session
    # bus asked with gdbus: a watcher and a host, in Haskell (about 17 MB to
    # fetch, 140 MB installed)
    haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
)

wanted=("${PACKAGES[@]}")
if [ "${1:-}" = --test ]; then
    shift
    wanted+=("${TEST_PACKAGES[@]}")
fi
# Extra packages can be named on the command line: scripts/check-windows asks
# for mingw-w64 and wine, scripts/package for dpkg-dev.
wanted+=("$@")

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
