"""The Debian package as cpack makes it: its files, its control fields and
dependencies, its menu entry and icons, and what lintian says about it.

Environment: CPACK_CONFIG, the build's CPackConfig.cmake; AOSHU_BIN_DIR,
the folder holding the built aoshu and dat/kelvma.dat.
"""

import configparser
import hashlib
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
from xml.etree import ElementTree

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CPACK_CONFIG = os.environ.get("CPACK_CONFIG", os.path.join(REPO, "build", "CPackConfig.cmake"))
BIN_DIR = os.environ.get("AOSHU_BIN_DIR", os.path.join(REPO, "build", "bin"))

ICON_SIDES = (16, 22, 24, 32, 48, 64, 128, 256)

# type, mode, path (and the target of a link): every file and link of the
# package; folders are checked apart.
EXPECTED = {
    ("l", 0o777, "usr/bin/aoshu", "../lib/aoshu/aoshu"),
    ("-", 0o755, "usr/lib/aoshu/aoshu", None),
    ("-", 0o755, "usr/bin/aoshu-class", None),
    ("-", 0o644, "usr/share/man/man1/aoshu-class.1.gz", None),
    ("-", 0o444, "usr/lib/aoshu/dat/kelvma.dat", None),
    ("-", 0o644, "usr/share/applications/aoshu.desktop", None),
    ("-", 0o644, "usr/share/doc/aoshu/changelog.gz", None),
    ("-", 0o644, "usr/share/doc/aoshu/copyright", None),
    ("-", 0o644, "usr/share/lintian/overrides/aoshu", None),
    ("-", 0o644, "usr/share/man/man1/aoshu.1.gz", None),
    ("-", 0o644, "usr/share/metainfo/example.aoshu.aoshu.metainfo.xml", None),
    ("-", 0o644, "usr/share/icons/hicolor/scalable/apps/aoshu.svg", None),
} | {("-", 0o644, f"usr/share/icons/hicolor/{n}x{n}/apps/aoshu.png", None) for n in ICON_SIDES}

# Packages the program cannot run without, besides the C and C++ run time.
REQUIRED = {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libjpeg62-turbo", "libsqlite3-0",
            "libx11-6", "libpq5", "fonts-noto-cjk", "libwayland-client0", "qt6-wayland"}


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, check=True, **options).stdout


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def depends_names(field):
    """Package names of a Depends field (alternatives included)."""
    names = set()
    for item in field.split(","):
        for alternative in item.split("|"):
            names.add(alternative.split("(")[0].split(":")[0].strip())
    return names


def package_of(path):
    """The installed package that holds a file, found by its path with and
    without the /usr prefix (merged /usr)."""
    other = path.removeprefix("/usr") if path.startswith("/usr/") else "/usr" + path
    for candidate in (path, other):
        result = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
        if result.returncode == 0:
            return result.stdout.split(":")[0]
    raise AssertionError(f"no package holds {path}")


def png_facts(path):
    """(width, height, colour type) from a PNG file's header."""
    with open(path, "rb") as f:
        header = f.read(26)
    assert header[:8] == b"\x89PNG\r\n\x1a\n", path
    width, height = struct.unpack(">II", header[16:24])
    return width, height, header[25]


class PackageContents(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.mkdtemp(prefix="aoshu-package-")
        run("cpack", "--config", CPACK_CONFIG, "-B", os.path.join(cls.temp, "out"))
        debs = [f for f in os.listdir(os.path.join(cls.temp, "out")) if f.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(cls.temp, "out", debs[0])
        cls.root = os.path.join(cls.temp, "root")
        run("dpkg-deb", "-x", cls.deb, cls.root)
        print(f"package: {debs[0]}, {os.path.getsize(cls.deb)} bytes", flush=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp, ignore_errors=True)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).strip()

    def listing(self):
        """(type, mode, owner, path, link target) per entry of the data archive."""
        entries = []
        for line in run("dpkg-deb", "-c", self.deb).splitlines():
            parts = line.split(None, 5)
            mode, owner, path = parts[0], parts[1], parts[5]
            target = None
            if " -> " in path:
                path, target = path.split(" -> ")
            permissions = 0
            for i, ch in enumerate(mode[1:]):
                permissions |= (ch != "-") << (8 - i)
            entries.append((mode[0], permissions, owner, path.removeprefix("./").rstrip("/"), target))
        return entries

    def test_files_links_and_folders(self):
        entries = self.listing()
        files = {(t, m, p, target) for t, m, _, p, target in entries if t != "d"}
        self.assertEqual(files, EXPECTED)
        for t, m, owner, path, _ in entries:
            self.assertEqual(owner, "root/root", path)
            if t == "d":
                self.assertEqual(m, 0o755, path)
                self.assertTrue(path.startswith("usr"), path)

    def test_installed_database_is_the_built_one(self):
        self.assertEqual(sha256(os.path.join(self.root, "usr/lib/aoshu/dat/kelvma.dat")),
                         sha256(os.path.join(BIN_DIR, "dat", "kelvma.dat")))

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "aoshu")
        self.assertEqual(self.field("Architecture"), run("dpkg", "--print-architecture").strip())
        self.assertEqual(self.field("Section"), "education")
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^@<>\s]+@[^@<>\s]+>$")
        self.assertTrue(os.path.basename(self.deb).startswith(f"aoshu_{self.field('Version')}_"))

    def test_dependencies_cover_every_linked_library(self):
        depends = depends_names(self.field("Depends"))
        self.assertLessEqual(REQUIRED, depends)
        # Every library the program names for the loader comes from a package
        # it depends on (the libraries those pull in are their packages' care).
        program = os.path.join(self.root, "usr/lib/aoshu/aoshu")
        needed = [line.split("[")[1].rstrip("]") for line in run("readelf", "-d", program).splitlines()
                  if "(NEEDED)" in line]
        found = {}
        for line in run("ldd", program).splitlines():
            if " => " in line:  # "libX.so.1 => /path (address)"
                name, where = line.split(" => ")
                found[name.strip()] = where.split(" (")[0]
            elif line.strip().startswith("/"):  # "/path/of/the/loader (address)"
                where = line.split(" (")[0].strip()
                found[os.path.basename(where)] = where
        self.assertIn("libQt6Widgets.so.6", needed)
        for library in needed:
            self.assertIn(package_of(found[library]), depends, found[library])

    def test_program_is_built_with_the_hardening_flags(self):
        if os.environ.get("AOSHU_HARDENED") == "0":
            self.skipTest("this build turns the hardening flags off (the sanitizer build)")
        for name in ("usr/lib/aoshu/aoshu", "usr/bin/aoshu-class"):
            program = os.path.join(self.root, name)
            headers = run("readelf", "-lW", program)
            self.assertIn("GNU_RELRO", headers, name)
            self.assertRegex(run("readelf", "-dW", program), r"FLAGS.*BIND_NOW", name)
            imported = run("readelf", "--dyn-syms", "-W", program)
            self.assertTrue("__stack_chk_fail" in imported, f"{name}: no stack protector")
            # Fortified calls (memcpy, snprintf, ... checked against the
            # sizes the compiler knows) are imported as __*_chk.
            self.assertTrue(re.search(r"__\w+_chk\b", imported), f"{name}: no fortified call")

    def test_menu_entry(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(self.root, "usr/share/applications/aoshu.desktop"), encoding="utf-8")
        desktop = entry["Desktop Entry"]
        self.assertEqual(desktop["Type"], "Application")
        self.assertEqual(desktop["Name"], "奥数天天练")
        self.assertTrue(desktop["Name[en]"].isascii() and desktop["Name[en]"])
        self.assertEqual(desktop["Categories"], "Education;Math;")
        self.assertEqual(desktop["Icon"], "aoshu")
        self.assertEqual(desktop["Exec"], "aoshu")  # /usr/bin/aoshu, the link above
        self.assertEqual(desktop["Terminal"], "false")
        if shutil.which("desktop-file-validate"):
            run("desktop-file-validate", os.path.join(self.root, "usr/share/applications/aoshu.desktop"))

    def test_icons_have_their_size_and_transparent_corners(self):
        for side in ICON_SIDES:
            path = os.path.join(self.root, f"usr/share/icons/hicolor/{side}x{side}/apps/aoshu.png")
            width, height, colour_type = png_facts(path)
            self.assertEqual((width, height), (side, side), path)
            self.assertEqual(colour_type, 6, f"{path}: RGBA")
            corner = subprocess.run(["convert", path, "-crop", "1x1+0+0", "-depth", "8", "rgba:-"],
                                    capture_output=True, check=True).stdout
            self.assertEqual(corner[3], 0, f"{path}: corner alpha")

    def test_scalable_icon_is_the_menu_icon_source(self):
        self.assertEqual(sha256(os.path.join(self.root, "usr/share/icons/hicolor/scalable/apps/aoshu.svg")),
                         sha256(os.path.join(REPO, "app", "artwork", "icon.svg")))

    def test_metainfo_validates_and_agrees_with_the_package(self):
        path = os.path.join(self.root, "usr/share/metainfo/example.aoshu.aoshu.metainfo.xml")
        result = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", path],
                                capture_output=True, text=True)
        print("appstreamcli:", result.stdout.strip(), flush=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        component = ElementTree.parse(path).getroot()
        self.assertEqual(component.findtext("launchable"), "aoshu.desktop")
        self.assertEqual(component.findtext("icon"), "aoshu")
        self.assertEqual(component.findtext("url[@type='homepage']"), self.field("Homepage"))
        self.assertEqual(component.findtext("project_license"), "GPL-3.0-or-later AND CC-BY-SA-4.0")
        # The newest release named is the package's own version.
        self.assertEqual(component.find("releases/release").get("version"), self.field("Version"))

    def test_copyright_names_the_licence_of_code_and_of_content(self):
        with open(os.path.join(self.root, "usr/share/doc/aoshu/copyright"), encoding="utf-8") as f:
            paragraphs = [p for p in f.read().split("\n\n") if p.strip()]
        fields = []
        for paragraph in paragraphs:
            entry = {}
            for line in paragraph.splitlines():
                if line[:1] not in (" ", "\t") and ":" in line:
                    key, value = line.split(":", 1)
                    entry[key] = value.strip()
                elif key:
                    entry[key] += " " + line.strip()
            fields.append(entry)
        self.assertTrue(fields[0]["Format"].startswith("https://www.debian.org/doc/packaging-manuals/copyright-format/1.0"))
        licence_of = {e["Files"]: e["License"] for e in fields if "Files" in e}
        self.assertEqual(licence_of["*"], "GPL-3+")
        self.assertEqual(licence_of["content/* app/artwork/*"], "CC-BY-SA-4.0")
        texts = {e["License"].split()[0]: e["License"] for e in fields if "Files" not in e and "License" in e}
        self.assertIn("/usr/share/common-licenses/GPL-3", texts["GPL-3+"])
        self.assertIn("Attribution-ShareAlike 4.0 International Public License", texts["CC-BY-SA-4.0"])

    def test_lintian_reports_no_errors_or_warnings(self):
        result = subprocess.run(["lintian", "--pedantic", self.deb], capture_output=True, text=True)
        print("lintian:", result.stdout or "(nothing)", flush=True)
        complaints = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(complaints, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
