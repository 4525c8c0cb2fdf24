#!/usr/bin/env python3
"""Installs the build tree under a prefix that does not exist here (DESTDIR) and
runs what landed there; then builds the Debian packages as make deb does and
checks them unpacked, with their dependencies and, when installed, lintian."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
PREFIX = "/opt/tessary-install-test"
LIBRARIES = ("vantrel", "skimlet")

# Uses both installed libraries through their public headers only.
CLIENT = r"""
#include <skimlet/JPEGImage.h>
#include <vantrel/Generator.h>
#include <cstdio>

int main(int, char** argv) {
    skimlet::JPEGImage image;
    if (image.SetFilePath(argv[1]) != skimlet::S_OK)
        return 3;
    image.SetOutputDirectory(argv[2]);
    if (image.GenerateThumbnail(64, 0) != skimlet::S_OK)
        return 4;
    Generator generator;
    generator.SetNumberOfRows(7);
    std::printf("%d %d %d\n", image.MaxWidth(), image.Width(), generator.NumberOfRows());
    return 0;
}
"""


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=240, **kwargs)


def installed(root, directory, *names):
    return os.path.join(root, getattr(ARGS, directory), *names)


def expected_files(root):
    """What an install under `root` holds, the wizard's part when it was built."""
    app = ARGS.app_id
    expected = [installed(root, "bindir", p) for p in ARGS.programs] + [
        installed(root, "includedir", "vantrel", "Generator.h"),
        installed(root, "includedir", "skimlet", "JPEGImage.h"),
        installed(root, "libdir", "pkgconfig", "vantrel.pc"),
        installed(root, "libdir", "pkgconfig", "skimlet.pc"),
        installed(root, "datadir", "bash-completion", "completions", "tessary-make"),
        installed(root, "datadir", "doc", "tessary", "copyright"),
    ] + [installed(root, "mandir", "man1", p + ".1.gz") for p in ARGS.programs]
    if "tessary" in ARGS.programs:
        expected += [
            installed(root, "datadir", "applications", app + ".desktop"),
            installed(root, "datadir", "metainfo", app + ".metainfo.xml"),
            installed(root, "datadir", "icons", "hicolor", "scalable", "apps", app + ".svg"),
        ] + [installed(root, "datadir", "icons", "hicolor", f"{s}x{s}", "apps", app + ".png")
             for s in ARGS.icon_sizes.split(";")]
    return expected


def make_sample_gallery(test, program, work, env=None):
    photos = os.path.join(ARGS.source_dir, "samples", "photos")
    fragments = os.path.join(ARGS.source_dir, "samples", "fragments")
    gallery = os.path.join(work, "gallery")
    made = run([program, "--quiet", "--photo-dir", photos, "--output-dir", gallery,
                "--nav-header", os.path.join(fragments, "nav-header.htm"),
                "--nav-footer", os.path.join(fragments, "nav-footer.htm")], env=env)
    test.assertEqual(made.returncode, 0, made.stdout + made.stderr)
    names = sorted(n for n in os.listdir(photos) if n.lower().endswith(".jpg"))
    test.assertTrue(names)
    test.assertTrue(os.path.isfile(os.path.join(gallery, "Default.htm")))
    for name in names:
        for output in (name, name[:-4] + "_tn.jpg"):
            with open(os.path.join(gallery, output), "rb") as picture:
                test.assertEqual(picture.read(2), b"\xff\xd8", output)


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tessary-install-")
        cls.destdir = os.path.join(cls.work, "root")
        cls.root = cls.destdir + PREFIX
        env = dict(os.environ, DESTDIR=cls.destdir)
        result = run(["cmake", "--install", ARGS.build_dir, "--prefix", PREFIX], env=env)
        if result.returncode != 0:
            raise AssertionError("cmake --install failed:\n" + result.stdout + result.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, directory, *names):
        return installed(self.root, directory, *names)

    def test_every_piece_lands_in_its_gnu_directory(self):
        self.assertEqual([p for p in expected_files(self.root) if not os.path.isfile(p)], [])
        self.assertEqual([p for p in ARGS.programs
                          if not os.access(self.path("bindir", p), os.X_OK)], [])

    def test_libraries_carry_versioned_names(self):
        major = ARGS.version.split(".")[0]
        for library in LIBRARIES:
            with self.subTest(library=library):
                real = self.path("libdir", f"lib{library}.so.{ARGS.version}")
                self.assertTrue(os.path.isfile(real) and not os.path.islink(real), real)
                for link in (f"lib{library}.so.{major}", f"lib{library}.so"):
                    self.assertEqual(os.path.realpath(self.path("libdir", link)),
                                     os.path.realpath(real), link)
                soname = run(["readelf", "-d", real]).stdout
                self.assertIn(f"[lib{library}.so.{major}]", soname)

    def test_programs_load_the_installed_libraries(self):
        # Resolved inside the install root, not the build tree nor the system.
        libdir = os.path.realpath(self.path("libdir"))
        # skimlet-decode reaches into the image library's internals, linked in statically.
        for program in (p for p in ARGS.programs if p != "skimlet-decode"):
            with self.subTest(program=program):
                listing = run(["ldd", self.path("bindir", program)]).stdout
                ours = [line.split() for line in listing.splitlines()
                        if "libvantrel" in line or "libskimlet" in line]
                self.assertTrue(ours, listing)
                for fields in ours:
                    self.assertNotIn("not found", " ".join(fields))
                    self.assertEqual(os.path.dirname(os.path.realpath(fields[2])), libdir,
                                     " ".join(fields))

    def test_installed_tessary_make_makes_the_sample_gallery(self):
        make_sample_gallery(self, self.path("bindir", "tessary-make"), self.work)

    def test_wizard_readme_lies_where_the_installed_wizard_looks(self):
        if "tessary" not in ARGS.programs:
            self.skipTest("built without the wizard")
        looked = os.path.normpath(os.path.join(self.path("bindir"), ARGS.readme))
        self.assertTrue(looked.startswith(self.root + os.sep), looked)
        with open(looked, "rb") as installed, \
                open(os.path.join(ARGS.source_dir, "wizard", "readme.txt"), "rb") as source:
            self.assertEqual(installed.read(), source.read())

    def test_pkg_config_finds_both_libraries_and_a_client_builds_against_them(self):
        if not shutil.which("pkg-config"):
            self.skipTest("pkg-config is not installed")
        env = dict(os.environ, PKG_CONFIG_PATH=self.path("libdir", "pkgconfig"))
        versions = run(["pkg-config", "--modversion", *LIBRARIES], env=env)
        self.assertEqual(versions.stdout.split(), [ARGS.version] * len(LIBRARIES), versions.stderr)
        flags = run(["pkg-config", "--cflags", "--libs", *LIBRARIES], env=env)
        self.assertEqual(flags.returncode, 0, flags.stderr)

        source = os.path.join(self.work, "client.cpp")
        client = os.path.join(self.work, "client")
        with open(source, "w", encoding="utf-8") as out:
            out.write(CLIENT)
        # The libraries of a sanitizer build need the sanitizer runtimes loaded first.
        sanitize = {"1": ["-fsanitize=address,undefined"],
                    "thread": ["-fsanitize=thread"]}.get(ARGS.sanitize, [])
        built = run([ARGS.cxx, "-std=c++20", *sanitize, source, "-o", client,
                     *flags.stdout.split(), "-Wl,-rpath," + self.path("libdir")])
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)

        thumbs = os.path.join(self.work, "thumbs") + os.sep
        os.makedirs(thumbs)
        photo = os.path.join(ARGS.source_dir, "samples", "photos", "coffee.jpg")
        ran = run([client, photo, thumbs])
        self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
        max_width, width, rows = (int(v) for v in ran.stdout.split())
        self.assertEqual((max_width, rows, width > 64), (64, 7, True))
        with open(os.path.join(thumbs, "coffee_tn.jpg"), "rb") as thumb:
            self.assertEqual(thumb.read(2), b"\xff\xd8")


# The libraries each package may depend on among the ones that matter, by the
# start of their package names; ours must be of this very version.
FAMILIES = ("libvantrel0", "libskimlet0", "libjpeg", "libpugixml", "libqt6")
DEPENDS = {
    "tessary": {"libvantrel0", "libqt6"},
    "skimlet-tools": {"libskimlet0", "libjpeg"},
    "libvantrel0": {"libskimlet0", "libpugixml"},
    "libskimlet0": {"libjpeg"},
    "libtessary-dev": {"libvantrel0", "libskimlet0", "libjpeg", "libpugixml"},
}
# The packager's address: its default is meant to be flagged until set.
MAINTAINER_TAGS = {"bogus-mail-host", "bogus-mail-host-in-debian-changelog"}


class DebianPackages(unittest.TestCase):
    """What make deb builds, unpacked into a scratch root."""

    @classmethod
    def setUpClass(cls):
        for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps", "dpkg-architecture"):
            if not shutil.which(tool):
                raise unittest.SkipTest(tool + " is not installed")
        cls.work = tempfile.mkdtemp(prefix="tessary-package-")
        made = run(["cpack", "-G", "DEB", "-B", cls.work,
                    "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake")])
        if made.returncode != 0:
            raise AssertionError("cpack failed:\n" + made.stdout + made.stderr)
        debs = [os.path.join(cls.work, n) for n in os.listdir(cls.work) if n.endswith(".deb")]
        cls.debs = {run(["dpkg-deb", "-f", deb, "Package"]).stdout.strip(): deb for deb in debs}
        cls.root = os.path.join(cls.work, "root")
        for deb in debs:
            unpacked = run(["dpkg-deb", "-x", deb, cls.root])
            if unpacked.returncode != 0:
                raise AssertionError(unpacked.stderr)
        cls.usr = os.path.join(cls.root, "usr")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_packages_are_split_and_complete_with_libraries_in_the_multiarch_folder(self):
        self.assertEqual(sorted(self.debs), sorted(DEPENDS))
        multiarch = run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).stdout.strip()
        self.assertEqual(ARGS.libdir, "lib/" + multiarch)
        expected = expected_files(self.usr) + [
            installed(self.usr, "libdir", f"lib{library}.so.0") for library in LIBRARIES] + [
            installed(self.usr, "datadir", "doc", p, name)
            for p in self.debs for name in ("copyright", "changelog.gz")]
        self.assertEqual([p for p in expected if not os.path.isfile(p)], [])

    def test_each_package_depends_on_what_its_binaries_link(self):
        for package, deb in self.debs.items():
            with self.subTest(package=package):
                depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
                items = [i.strip() for i in depends.replace("|", ",").split(",") if i.strip()]
                found = {f for f in FAMILIES for i in items if i.startswith(f)}
                wanted = DEPENDS[package] - ({"libqt6"} if "tessary" not in ARGS.programs else set())
                self.assertEqual(found, wanted, depends)
                ours = [i for i in items if i.startswith(("libvantrel0", "libskimlet0"))]
                self.assertEqual([i for i in ours if not i.endswith(f"(= {ARGS.version})")], [])

    def test_unpacked_programs_find_their_libraries_without_help(self):
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        program = installed(self.usr, "bindir", "tessary-make")
        version = run([program, "--version"], env=env)
        self.assertEqual(version.returncode, 0, version.stderr)
        self.assertIn(ARGS.version, version.stdout)
        make_sample_gallery(self, program, self.work, env)

    def test_lintian_flags_nothing_but_the_maintainer_address(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed")
        checked = run(["lintian", "--fail-on", "none", *self.debs.values()])
        self.assertEqual(checked.returncode, 0, checked.stderr)
        tags = re.findall(r"^[A-Z]: \S+: (\S+)(.*)$", checked.stdout, re.MULTILINE)
        self.assertEqual([t for t in tags if t[0] not in MAINTAINER_TAGS], [])


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ("build-dir", "source-dir", "version", "readme", "app-id", "icon-sizes",
                 "programs", "cxx", "bindir", "libdir", "includedir", "datadir", "mandir"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--sanitize", default="0")
    ARGS, rest = parser.parse_known_args()
    ARGS.build_dir = os.path.realpath(ARGS.build_dir)
    ARGS.programs = ARGS.programs.split(";")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
