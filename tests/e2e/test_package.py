"""The Debian package ($QUORVANT_PACKAGE, else what scripts/package makes).
Its program runs against the simulated receiver of the same Release build, so
that nothing of another build's flags (a sanitizer's runtime) is preloaded
into it."""

import configparser
import fnmatch
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from tests.support.desktops import SOURCE_DIR, TIMEOUT, Desktop
from tests.support.desktops.pen import SimPen
from tests.support.desktops.program import Bench, Program

APP = "usr/lib/quorvant"
RULES = "usr/lib/udev/rules.d"
DESKTOP = "usr/share/applications/quorvant.desktop"
AUTOSTART = "etc/xdg/autostart/quorvant.desktop"
DOC = "usr/share/doc/quorvant"
MAN = "usr/share/man/man1"
ICON = "usr/share/icons/hicolor/48x48/apps/quorvant.png"
METAINFO = "usr/share/metainfo/org.quorvant.Quorvant.metainfo.xml"
EXTENSIONS = "usr/share/gnome-shell/extensions"
# Turns the uaccess tag into the seat user's ACL: the rule must sort before it.
SEAT_LATE = "73-seat-late.rules"

def package(build_dir=None):
    path = None if build_dir else os.environ.get("QUORVANT_PACKAGE")
    if not path:
        env = dict(os.environ, QUORVANT_PACKAGE_BUILD_DIR=build_dir) if build_dir else None
        # A second build's progress is shown only when it fails.
        made = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "package")], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE if build_dir else None, text=True, timeout=1500, env=env)
        if made.returncode != 0:
            raise AssertionError("scripts/package failed:\n" + (made.stderr or "")[-3000:])
        path = made.stdout.splitlines()[-1]
    return os.path.abspath(path)


RULE_TOKEN = re.compile(r'\s*([A-Z]+)(?:\{([^}]*)\})?\s*(==|!=|\+=|=)\s*"([^"]*)"\s*,?')


def udev_tags(rules, chain):
    """The tags udev's rules give the first device of `chain`, a list of
    devices from the node up to the root: dicts with their SUBSYSTEM, KERNEL
    and sysfs attributes. As udev does, the ATTRS, KERNELS and SUBSYSTEMS of
    one rule must all match on a single device of the chain."""
    env, tags = {}, set()
    for rule in rules:
        tokens = RULE_TOKEN.findall(rule)
        assert "".join(m.group(0) for m in RULE_TOKEN.finditer(rule)).strip() == rule.strip(), rule
        own = [t for t in tokens if t[2] in ("==", "!=") and not t[0].endswith("S")]
        parents = [t for t in tokens if t[2] in ("==", "!=") and t[0].endswith("S")]

        def value(device, key, attr):
            return device.get(attr) if key in ("ATTR", "ATTRS") else env.get(attr) if key == "ENV" \
                else device.get(key.rstrip("S"))

        def matches(device, conditions):
            return all((fnmatch.fnmatchcase(value(device, k, a) or "", v)) == (op == "==")
                       for k, a, op, v in conditions)

        if not matches(chain[0], own) or (parents and not any(matches(d, parents) for d in chain)):
            continue
        for key, attr, op, val in tokens:
            if key == "ENV" and op == "=":
                env[attr] = val
            elif key == "TAG" and op == "+=":
                tags.add(val)
    return tags


def receiver_node(vendor, product, interface):
    return [{"SUBSYSTEM": "hidraw", "KERNEL": "hidraw3"},
            {"SUBSYSTEM": "hid", "KERNEL": "0003:%s:%s.0004" % (vendor.upper(), product.upper())},
            {"SUBSYSTEM": "usb", "KERNEL": "1-2:1.%d" % interface, "bInterfaceNumber": "%02x" % interface},
            {"SUBSYSTEM": "usb", "KERNEL": "1-2", "idVendor": vendor, "idProduct": product},
            {"SUBSYSTEM": "usb", "KERNEL": "1-0:1.0", "bInterfaceNumber": "00"},
            {"SUBSYSTEM": "usb", "KERNEL": "usb1", "idVendor": "1d6b", "idProduct": "0002"}]


def run(*args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=TIMEOUT, **kwargs)


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
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def unpacked(self, path):
        return os.path.join(self.root, path)

    def test_contents(self):
        files = {path for path, (mode, _, _) in self.entries.items() if not mode.startswith("d")}
        programs = {os.path.join(APP, name) for name in ("quorvant", "quorvant-notice", "Dotrix", "Loupex", "Halvix")}
        data = {os.path.join(APP, "data", name) for name in os.listdir(os.path.join(SOURCE_DIR, "data"))}
        extension_source = os.path.join(SOURCE_DIR, "gnome", "extension")
        with open(os.path.join(extension_source, "metadata.json")) as metadata:
            extension = os.path.join(EXTENSIONS, json.load(metadata)["uuid"])
        extension_files = {os.path.join(extension, os.path.relpath(os.path.join(folder, name), extension_source))
                           for folder, _, names in os.walk(extension_source) for name in names}
        self.assertEqual(files, programs | data | extension_files | {
            "usr/bin/quorvant", "usr/bin/quorvant-diagnose", os.path.join(RULES, "70-quorvant.rules"),
            DESKTOP, AUTOSTART, ICON, METAINFO, os.path.join(DOC, "copyright"), os.path.join(DOC, "changelog.Debian.gz"),
            os.path.join(MAN, "quorvant.1.gz"), os.path.join(MAN, "quorvant-diagnose.1.gz"),
            "usr/share/lintian/overrides/quorvant"})
        # Relative, so that it leads to the program wherever the tree is unpacked.
        self.assertEqual(self.entries["usr/bin/quorvant"][2], "../lib/quorvant/quorvant")

        # The udev rule hands the seat's user the receiver's interface 3, and
        # nothing else: not its keyboard, mouse or media keys.
        (name,) = os.listdir(self.unpacked(RULES))
        self.assertLess(name, SEAT_LATE)
        with open(self.unpacked(os.path.join(RULES, name))) as rules:
            lines = [line.strip() for line in rules if line.strip() and not line.lstrip().startswith("#")]
        for vendor, product, interface, tagged in (("26e3", "af01", 3, True), ("26e3", "af01", 0, False),
                                                    ("26e3", "af01", 1, False), ("26e3", "af01", 2, False),
                                                    ("26e3", "af02", 3, False), ("046d", "af01", 3, False)):
            with self.subTest(vendor=vendor, product=product, interface=interface):
                self.assertEqual("uaccess" in udev_tags(lines, receiver_node(vendor, product, interface)), tagged)

        # The session's autostart entry, the administrator's to change, and the launcher.
        for path, key, value in ((AUTOSTART, "exec", "/usr/bin/quorvant -bg"),
                                 (DESKTOP, "categories", "Office;Presentation;")):
            self.assertEqual(run("desktop-file-validate", self.unpacked(path)).stdout, "")
            parser = configparser.ConfigParser(interpolation=None)
            parser.read(self.unpacked(path))
            self.assertEqual(parser["Desktop Entry"][key], value)
        with open(os.path.join(self.control, "conffiles")) as conffiles:
            self.assertEqual(conffiles.read().split(), ["/" + AUTOSTART])
        # The software centre's entry names the receiver.
        self.assertEqual(run("appstreamcli", "validate", "--no-net", self.unpacked(METAINFO)).returncode, 0)
        component = ElementTree.parse(self.unpacked(METAINFO)).getroot()
        self.assertEqual([m.text for m in component.iterfind("provides/modalias")], ["usb:v26E3pAF01d*"])
        self.assertIn("libhidapi-hidraw0", run("dpkg-deb", "-f", self.deb, "Depends", check=True).stdout)

    def test_maintainer_scripts_succeed_where_udev_cannot_be_reached(self):
        stubs = os.path.join(self.scratch, "stubs")
        os.makedirs(stubs, exist_ok=True)
        with open(os.path.join(stubs, "udevadm"), "w") as stub:
            stub.write("#!/bin/sh\necho 'Failed to send reload request' >&2\nexit 1\n")
        os.chmod(os.path.join(stubs, "udevadm"), 0o755)
        for script in ("postinst", "postrm"):
            done = run("sh", os.path.join(self.control, script), "configure" if script == "postinst" else "remove",
                       env=dict(os.environ, PATH=stubs + ":" + os.environ["PATH"]))
            self.assertEqual(done.returncode, 0, done.stdout)

    def test_lintian_finds_nothing_amiss(self):
        checked = run("lintian", "--pedantic", "--tag-display-limit", "0", self.deb)
        print("\nlintian --pedantic %s:\n%s" % (os.path.basename(self.deb), checked.stdout or "(nothing)\n"))
        self.assertEqual([line for line in checked.stdout.splitlines() if line.startswith(("E:", "W:"))], [])

    def test_the_same_commit_gives_the_same_bytes(self):
        # Built anew in another folder: nothing of the first build's, nor
        # of its path or time, comes into the second.
        second = package(tempfile.mkdtemp(prefix="package-", dir=self.scratch))
        compared = run("cmp", self.deb, second)
        self.assertEqual(compared.returncode, 0, compared.stdout)

    def test_unpacked_program_follows_the_pen(self):
        desktop = Desktop().start()
        self.addCleanup(desktop.stop)
        # scripts/package leaves the package in its build folder's package/.
        pen = SimPen(os.path.join(os.path.dirname(os.path.dirname(self.deb)), "bin")).start()
        self.addCleanup(pen.stop)
        app = self.unpacked(APP)
        bench = Bench(desktop, pen, app=app)
        self.addCleanup(bench.close)

        program = bench.start_program(program=Program(os.path.join(self.root, "usr/bin"), desktop, pen, env=bench.env,
                                                      isolated=True))
        pen.mode("magnifier", 5)
        bench.wait_effect("Loupex", 5, program)
        (loupex,) = bench.running_pids("Loupex")
        self.assertEqual(os.readlink("/proc/%d/exe" % loupex), os.path.join(app, "Loupex"))
        self.assertEqual(program.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
