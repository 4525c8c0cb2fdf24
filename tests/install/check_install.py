#!/usr/bin/env python3
"""Installs the build tree into a temporary root (DESTDIR) under a prefix that
does not exist on this machine, then checks that what landed there is complete
and runs from there: the programs, both libraries through pkg-config, and the
wizard's readme where the installed wizard looks for it."""
import argparse
import os
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
        return os.path.join(self.root, getattr(ARGS, directory), *names)

    def test_every_piece_lands_in_its_gnu_directory(self):
        app = ARGS.app_id
        expected = [self.path("bindir", p) for p in ARGS.programs] + [
            self.path("includedir", "vantrel", "Generator.h"),
            self.path("includedir", "skimlet", "JPEGImage.h"),
            self.path("libdir", "pkgconfig", "vantrel.pc"),
            self.path("libdir", "pkgconfig", "skimlet.pc"),
            self.path("mandir", "man1", "tessary-make.1"),
            self.path("datadir", "bash-completion", "completions", "tessary-make"),
        ]
        if "tessary" in ARGS.programs:
            expected += [
                self.path("mandir", "man1", "tessary.1"),
                self.path("datadir", "applications", app + ".desktop"),
                self.path("datadir", "metainfo", app + ".metainfo.xml"),
                self.path("datadir", "icons", "hicolor", "scalable", "apps", app + ".svg"),
            ] + [self.path("datadir", "icons", "hicolor", f"{s}x{s}", "apps", app + ".png")
                 for s in ARGS.icon_sizes.split(";")]
        self.assertEqual([p for p in expected if not os.path.isfile(p)], [])
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
        program = self.path("bindir", "tessary-make")
        photos = os.path.join(ARGS.source_dir, "samples", "photos")
        fragments = os.path.join(ARGS.source_dir, "samples", "fragments")
        gallery = os.path.join(self.work, "gallery")
        made = run([program, "--quiet", "--photo-dir", photos, "--output-dir", gallery,
                    "--nav-header", os.path.join(fragments, "nav-header.htm"),
                    "--nav-footer", os.path.join(fragments, "nav-footer.htm")])
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        names = sorted(n for n in os.listdir(photos) if n.lower().endswith(".jpg"))
        self.assertTrue(names)
        self.assertTrue(os.path.isfile(os.path.join(gallery, "Default.htm")))
        for name in names:
            for output in (name, name[:-4] + "_tn.jpg"):
                with open(os.path.join(gallery, output), "rb") as picture:
                    self.assertEqual(picture.read(2), b"\xff\xd8", output)

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


class DebianPackage(unittest.TestCase):
    """What make deb builds: dependencies read from the binaries, and a tree
    that runs once unpacked."""

    @classmethod
    def setUpClass(cls):
        for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps"):
            if not shutil.which(tool):
                raise unittest.SkipTest(tool + " is not installed")
        cls.work = tempfile.mkdtemp(prefix="tessary-package-")
        made = run(["cpack", "-G", "DEB", "-B", cls.work,
                    "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake")])
        if made.returncode != 0:
            raise AssertionError("cpack failed:\n" + made.stdout + made.stderr)
        (cls.deb,) = (os.path.join(cls.work, n) for n in os.listdir(cls.work) if n.endswith(".deb"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_depends_names_the_jpeg_library_and_qt(self):
        depends = run(["dpkg-deb", "-f", self.deb, "Depends"]).stdout
        names = {item.split()[0] for item in depends.replace("|", ",").split(",") if item.strip()}
        self.assertTrue(any(n.startswith("libjpeg") for n in names), depends)
        if "tessary" in ARGS.programs:
            self.assertIn("libqt6widgets6", names)
        # Our own libraries travel inside the package, never as a dependency.
        self.assertFalse([n for n in names if "vantrel" in n or "skimlet" in n], depends)

    def test_unpacked_package_runs_tessary_make(self):
        root = os.path.join(self.work, "unpacked")
        unpacked = run(["dpkg-deb", "-x", self.deb, root])
        self.assertEqual(unpacked.returncode, 0, unpacked.stderr)
        program = os.path.join(root, "usr", ARGS.bindir, "tessary-make")
        version = run([program, "--version"])
        self.assertEqual(version.returncode, 0, version.stderr)
        self.assertIn(ARGS.version, version.stdout)


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
