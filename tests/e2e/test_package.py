"""The Debian package: what it holds and installs where, and the program
unpacked from it, started through its /usr/bin link, following the simulated
receiver with the effect programs and data it carries, in a folder it may
not write to.

The package is $QUORVANT_PACKAGE when set (scripts/test makes it first), else
what scripts/package makes. Its program runs against the simulated receiver
of the same Release build, so that nothing of another build's flags (a
sanitizer's runtime) is preloaded into it."""

import configparser
import json
import os
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import harness
import pidns
from simpen import SimPen

SOURCE_DIR = os.environ.get("QUORVANT_SOURCE_DIR", os.path.join(harness.HERE, "..", ".."))
APP = "usr/lib/quorvant"
RULES = "usr/lib/udev/rules.d"
DESKTOP = "usr/share/applications/quorvant.desktop"
ICON = "usr/share/icons/hicolor/48x48/apps/quorvant.png"
METAINFO = "usr/share/metainfo/org.quorvant.Quorvant.metainfo.xml"
EXTENSIONS = "usr/share/gnome-shell/extensions"
# Turns the uaccess tag into the seat user's ACL: the rule must sort before it.
SEAT_LATE = "73-seat-late.rules"

# Run by root, the program may write anywhere: the folder is made read-only
# for it by a read-only mount of its own, as a folder owned by root is for a user.
READ_ONLY_MOUNT = 'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$@"'


class Unpacked(harness.Program):
    """The program as installed, through the link on the PATH, in a folder it cannot write to."""

    def __init__(self, root, *args, **kwargs):
        super().__init__(os.path.join(root, "usr/bin"), *args, isolated=True, **kwargs)
        app = os.path.join(root, APP)
        if os.geteuid() == 0:
            self.command = ["unshare", "--mount", "sh", "-c", READ_ONLY_MOUNT, app] + self.command
        else:
            subprocess.run(["chmod", "-R", "a-w", app], check=True)

    def environment(self):
        # The simulated receiver is for the program alone, not for the
        # commands before it: pidns.py hands it on.
        env = super().environment()
        env[pidns.PRELOAD_FOR_COMMAND] = env.pop("LD_PRELOAD")
        return env


def package():
    path = os.environ.get("QUORVANT_PACKAGE")
    if not path:
        made = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "package")], stdout=subprocess.PIPE,
                              text=True, timeout=1500, check=True)
        path = made.stdout.splitlines()[-1]
    return os.path.abspath(path)


def run(*args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=harness.TIMEOUT, **kwargs)


def executable(pid):
    try:
        return os.readlink("/proc/%d/exe" % pid)
    except OSError:
        return ""


def listing(deb):
    """{path: (mode, owner, link target or None)} from dpkg-deb -c."""
    entries = {}
    for line in run("dpkg-deb", "-c", deb, check=True).stdout.splitlines():
        mode, owner, _size, _date, _time, name = line.split(None, 5)
        name, _, target = name.partition(" -> ")
        entries[os.path.normpath(name)] = (mode, owner, target or None)
    return entries


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = package()
        cls.entries = listing(cls.deb)
        cls.scratch = tempfile.mkdtemp(prefix="quorvant-package-")
        cls.root, cls.control = os.path.join(cls.scratch, "root"), os.path.join(cls.scratch, "DEBIAN")
        subprocess.run(["dpkg", "-x", cls.deb, cls.root], check=True)
        subprocess.run(["dpkg-deb", "-e", cls.deb, cls.control], check=True)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["chmod", "-R", "u+w", cls.scratch])
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def unpacked(self, path):
        return os.path.join(self.root, path)

    def test_contents(self):
        files = {path for path, (mode, _, _) in self.entries.items() if not mode.startswith("d")}
        programs = {os.path.join(APP, name) for name in ("quorvant", "Dotrix", "Loupex", "Halvix")}
        data = {os.path.join(APP, "data", name) for name in os.listdir(os.path.join(SOURCE_DIR, "data"))}
        extension_source = os.path.join(SOURCE_DIR, "gnome", "extension")
        with open(os.path.join(extension_source, "metadata.json")) as metadata:
            extension = os.path.join(EXTENSIONS, json.load(metadata)["uuid"])
        extension_files = {os.path.join(extension, os.path.relpath(os.path.join(folder, name), extension_source))
                           for folder, _, names in os.walk(extension_source) for name in names}
        self.assertEqual(files, programs | data | extension_files | {
            "usr/bin/quorvant", "usr/bin/quorvant-diagnose", os.path.join(RULES, "70-quorvant.rules"),
            DESKTOP, ICON, METAINFO, "usr/share/doc/quorvant/fontawesome-LICENSE.txt"})
        # Relative, so that it leads to the program wherever the tree is unpacked.
        self.assertEqual(self.entries["usr/bin/quorvant"][2], "../lib/quorvant/quorvant")

        # The udev rule hands the receiver's nodes to the seat's user.
        (name,) = os.listdir(self.unpacked(RULES))
        self.assertLess(name, SEAT_LATE)
        with open(self.unpacked(os.path.join(RULES, name))) as rules:
            lines = [line.strip() for line in rules if line.strip() and not line.lstrip().startswith("#")]
        self.assertEqual([set(line.split(", ")) for line in lines], [{
            'KERNEL=="hidraw*"', 'ATTRS{idVendor}=="26e3"', 'ATTRS{idProduct}=="af01"', 'TAG+="uaccess"'}])

        # The launcher and the software centre's entry, which names the receiver.
        self.assertEqual(run("desktop-file-validate", self.unpacked(DESKTOP)).stdout, "")
        parser = configparser.ConfigParser(interpolation=None)
        parser.read(self.unpacked(DESKTOP))
        self.assertEqual(parser["Desktop Entry"]["categories"], "Office;Presentation;")
        self.assertEqual(run("appstreamcli", "validate", "--no-net", self.unpacked(METAINFO)).returncode, 0)
        component = ElementTree.parse(self.unpacked(METAINFO)).getroot()
        self.assertEqual([m.text for m in component.iterfind("provides/modalias")], ["usb:v26E3pAF01d*"])
        self.assertIn("libhidapi-hidraw0", run("dpkg-deb", "-f", self.deb, "Depends", check=True).stdout)

    def test_postinst_applies_the_rule_where_udev_runs(self):
        postinst = os.path.join(self.control, "postinst")
        with open(postinst) as script:
            text = script.read()
        self.assertIn("udevadm control --reload-rules", text)
        self.assertIn("udevadm trigger --subsystem-match=hidraw --action=change", text)
        # Where udev cannot be reached the install still succeeds.
        stubs = os.path.join(self.scratch, "stubs")
        os.makedirs(stubs, exist_ok=True)
        with open(os.path.join(stubs, "udevadm"), "w") as stub:
            stub.write("#!/bin/sh\necho 'Failed to send reload request' >&2\nexit 1\n")
        os.chmod(os.path.join(stubs, "udevadm"), 0o755)
        installed = run("sh", postinst, "configure", env=dict(os.environ, PATH=stubs + ":" + os.environ["PATH"]))
        self.assertEqual(installed.returncode, 0, installed.stdout)

    def test_unpacked_program_follows_the_pen(self):
        desktop = harness.Desktop().start()
        self.addCleanup(desktop.stop)
        # scripts/package leaves the package in its build folder's package/.
        pen = SimPen(os.path.join(os.path.dirname(os.path.dirname(self.deb)), "bin")).start()
        self.addCleanup(pen.stop)
        app = self.unpacked(APP)
        bench = harness.Bench(desktop, pen, app=app)
        self.addCleanup(bench.close)

        program = Unpacked(self.root, desktop, pen, env=bench.env)
        bench.programs.append(program.start())
        bench.wait(lambda: bench.segment("Dotrix_shared") is not None, "the program's segments", program)
        pen.mode("magnifier", 5)
        bench.wait_effect("Loupex", 5, program)
        (loupex,) = bench.running_pids("Loupex")
        self.assertEqual(executable(loupex), os.path.join(app, "Loupex"))
        self.assertEqual(program.terminate(), 0)

        # Its own folder is not the user's to write: the sizes go to the user's.
        self.assertFalse(os.path.exists(os.path.join(app, "setting_Quorvant.ini")))
        self.assertEqual(program.saved_sizes(program.user_settings_path)[0], 5)


if __name__ == "__main__":
    unittest.main()
