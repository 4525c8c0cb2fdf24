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

int main(int, char** argv) {
    Generator generator;
    generator.SetNumberOfRows(7);
    skimlet::JPEGImage image;
    image.SetOutputDirectory(argv[2]);
    const bool made = image.SetFilePath(argv[1]) == skimlet::S_OK &&
                      image.GenerateThumbnail(64, 0) == skimlet::S_OK;
    return made && generator.NumberOfRows() == 7 ? 0 : 1;
}
"""


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=240, **kwargs)


def run_or_fail(command, **kwargs):
    result = run(command, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command[0]} failed:\n{result.stdout}{result.stderr}")
    return result


def installed(root, directory, *names):
    return os.path.join(root, getattr(ARGS, directory), *names)


def missing_files(root, *more):
    """What an install under `root` (the wizard's part when it was built) and `more` lack."""
    programs, app = ARGS.programs, ARGS.app_id
    files = [f for p in programs for f in (("bindir", p), ("mandir", "man1", p + ".1.gz"))] + [
        ("includedir", "vantrel", "Generator.h"), ("includedir", "skimlet", "JPEGImage.h"),
        ("libdir", "pkgconfig", "vantrel.pc"), ("libdir", "pkgconfig", "skimlet.pc"),
        ("datadir", "bash-completion", "completions", "tessary-make"),
        ("datadir", "doc", "tessary", "copyright"), *more]
    if "tessary" in programs:
        icons = ("datadir", "icons", "hicolor")
        files += [("datadir", "applications", app + ".desktop"),
                  ("datadir", "metainfo", app + ".metainfo.xml"),
                  (*icons, "scalable", "apps", app + ".svg")]
        files += [(*icons, f"{s}x{s}", "apps", app + ".png") for s in ARGS.icon_sizes.split(";")]
    return [f for f in (installed(root, *f) for f in files) if not os.path.isfile(f)]


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tessary-install-")
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        cls.root = os.path.join(cls.work, "root") + PREFIX
        run_or_fail(["cmake", "--install", ARGS.build_dir, "--prefix", PREFIX],
                    env=dict(os.environ, DESTDIR=os.path.join(cls.work, "root")))

    def path(self, directory, *names):
        return installed(self.root, directory, *names)

    def test_every_piece_lands_in_its_gnu_directory(self):
        self.assertEqual(missing_files(self.root), [])
        self.assertEqual([p for p in ARGS.programs
                          if not os.access(self.path("bindir", p), os.X_OK)], [])

    def test_libraries_carry_versioned_names(self):
        major = ARGS.version.split(".")[0]
        for library in LIBRARIES:
            real = os.path.realpath(self.path("libdir", f"lib{library}.so"))
            self.assertEqual(os.path.basename(real), f"lib{library}.so.{ARGS.version}")
            self.assertEqual(os.path.realpath(self.path("libdir", f"lib{library}.so.{major}")),
                             real)
            self.assertIn(f"[lib{library}.so.{major}]", run(["readelf", "-d", real]).stdout)

    def test_programs_load_the_installed_libraries(self):
        # Resolved inside the install root, not the build tree nor the system.
        libdir = os.path.realpath(self.path("libdir"))
        # skimlet-decode reaches into the image library's internals, linked in statically.
        for program in (p for p in ARGS.programs if p != "skimlet-decode"):
            with self.subTest(program=program):
                listing = run(["ldd", self.path("bindir", program)]).stdout
                ours = re.findall(r"lib(?:vantrel|skimlet)\S* => (\S+)", listing)
                self.assertTrue(ours, listing)
                self.assertEqual({os.path.dirname(os.path.realpath(p)) for p in ours}, {libdir},
                                 listing)

    def test_installed_tessary_make_tells_its_version_and_makes_the_sample_gallery(self):
        version = run([self.path("bindir", "tessary-make"), "--version"])
        self.assertIn(ARGS.version, version.stdout, version.stderr)
        samples = os.path.join(ARGS.source_dir, "samples")
        gallery = os.path.join(self.work, "gallery")
        made = run([self.path("bindir", "tessary-make"), "--quiet", "--output-dir", gallery,
                    "--photo-dir", os.path.join(samples, "photos"),
                    "--nav-header", os.path.join(samples, "fragments", "nav-header.htm"),
                    "--nav-footer", os.path.join(samples, "fragments", "nav-footer.htm")])
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertTrue(os.path.isfile(os.path.join(gallery, "Default.htm")))

    def test_wizard_readme_lies_where_the_installed_wizard_looks(self):
        if "tessary" not in ARGS.programs:
            self.skipTest("built without the wizard")
        looked = os.path.normpath(os.path.join(self.path("bindir"), ARGS.readme))
        self.assertTrue(looked.startswith(self.root + os.sep), looked)
        with open(looked, "rb") as readme, \
                open(os.path.join(ARGS.source_dir, "wizard", "readme.txt"), "rb") as source:
            self.assertEqual(readme.read(), source.read())

    def test_pkg_config_finds_both_libraries_and_a_client_builds_against_them(self):
        if not shutil.which("pkg-config"):
            self.skipTest("pkg-config is not installed")
        env = dict(os.environ, PKG_CONFIG_PATH=self.path("libdir", "pkgconfig"))
        versions = run(["pkg-config", "--modversion", *LIBRARIES], env=env)
        self.assertEqual(versions.stdout.split(), [ARGS.version] * len(LIBRARIES), versions.stderr)
        flags = run_or_fail(["pkg-config", "--cflags", "--libs", *LIBRARIES], env=env)

        source, client = (os.path.join(self.work, n) for n in ("client.cpp", "client"))
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
        self.assertTrue(os.path.isfile(os.path.join(thumbs, "coffee_tn.jpg")))


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
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        run_or_fail(["cpack", "-G", "DEB", "-B", cls.work,
                     "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake")])
        debs = [os.path.join(cls.work, n) for n in os.listdir(cls.work) if n.endswith(".deb")]
        cls.debs = {run(["dpkg-deb", "-f", deb, "Package"]).stdout.strip(): deb for deb in debs}
        for deb in debs:
            run_or_fail(["dpkg-deb", "-x", deb, os.path.join(cls.work, "root")])
        cls.usr = os.path.join(cls.work, "root", "usr")

    def test_packages_are_split_and_complete_with_libraries_in_the_multiarch_folder(self):
        self.assertEqual(sorted(self.debs), sorted(DEPENDS))
        multiarch = run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).stdout.strip()
        self.assertEqual(ARGS.libdir, "lib/" + multiarch)
        docs = [("datadir", "doc", p, n) for p in self.debs for n in ("copyright", "changelog.gz")]
        self.assertEqual(missing_files(self.usr, *docs,
                                       *[("libdir", f"lib{lib}.so.0") for lib in LIBRARIES]), [])

    def test_each_package_depends_on_what_its_binaries_link(self):
        for package, deb in self.debs.items():
            with self.subTest(package=package):
                depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
                items = [i.strip() for i in depends.replace("|", ",").split(",") if i.strip()]
                found = {f for f in FAMILIES for i in items if i.startswith(f)}
                wanted = DEPENDS[package] - (set() if "tessary" in ARGS.programs else {"libqt6"})
                self.assertEqual(found, wanted, depends)
                ours = [i for i in items if i.startswith(("libvantrel0", "libskimlet0"))]
                self.assertEqual([i for i in ours if not i.endswith(f"(= {ARGS.version})")], [])

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
