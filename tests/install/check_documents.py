#!/usr/bin/env python3
"""The manual pages and the bash completion name exactly the options the programs
list; pages render cleanly; the desktop entry and AppStream data pass their
validators and point at files that exist."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
# An option stands alone: not the tail of a word such as "tessary-make".
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z-]*[a-z]|-[a-zA-Z])(?![\w-])")


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=60, **kwargs)


def program(name):
    return os.path.join(ARGS.programs_dir, name)


def help_text():
    result = run([program("tessary-make"), "--help"])
    assert result.returncode == 0, result.stderr
    return result.stdout


def roff_text(path):
    with open(path, encoding="utf-8") as page:
        text = page.read()
    text = re.sub(r"\\f[BIRP]", "", text)
    return text.replace(r"\-", "-").replace(r"\e", "\\")


def packaging(*names):
    return os.path.join(ARGS.packaging_dir, *names)


class ManualPages(unittest.TestCase):
    pages = None

    @classmethod
    def setUpClass(cls):
        cls.pages = sorted(n[:-2] for n in os.listdir(packaging("man")) if n.endswith(".1"))

    def test_pages_name_exactly_the_options_their_programs_list(self):
        # The picture tools list theirs in the usage they print on wrong usage.
        for name, args in (("tessary-make", ["--help"]), ("skimlet-thumb", []),
                           ("skimlet-decode", [])):
            with self.subTest(program=name):
                result = run([program(name), *args])
                listed = set(OPTION.findall(result.stdout + result.stderr))
                self.assertIn("usage", (result.stdout + result.stderr).lower())
                documented = set(OPTION.findall(roff_text(packaging("man", name + ".1"))))
                self.assertEqual(sorted(listed - documented), [], "listed, not in the page")
                self.assertEqual(sorted(documented - listed), [], "in the page, not listed")
        self.assertIn("--photo-dir", OPTION.findall(help_text()))

    def test_pages_carry_the_programs_version(self):
        version = run([program("tessary-make"), "--version"]).stdout
        self.assertIn(ARGS.version, version)
        self.assertEqual(self.pages, ["skimlet-decode", "skimlet-thumb", "tessary", "tessary-make"])
        for page in self.pages:
            with self.subTest(page=page):
                header = next(line for line in roff_text(packaging("man", page + ".1")).splitlines()
                              if line.startswith(".TH "))
                self.assertIn(f'"Tessary {ARGS.version}"', header)

    def test_pages_render_without_warnings(self):
        if not shutil.which("man"):
            self.skipTest("man is not installed")
        for name in self.pages:
            with self.subTest(page=name):
                rendered = run(["man", "--warnings", "-l", packaging("man", name + ".1")],
                               env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
                self.assertEqual((rendered.returncode, rendered.stderr), (0, ""))
                self.assertRegex(rendered.stdout, rf"NAME\n\s+{re.escape(name)} - ")
                self.assertIn("SEE ALSO", rendered.stdout)


class BashCompletion(unittest.TestCase):
    script = None

    @classmethod
    def setUpClass(cls):
        cls.script = packaging("bash-completion", "tessary-make")
        cls.folder = tempfile.mkdtemp(prefix="tessary-completion-")
        os.makedirs(os.path.join(cls.folder, "album"))
        open(os.path.join(cls.folder, "about.htm"), "w").close()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def complete(self, *words):
        """COMPREPLY for the command line `tessary-make WORDS...`, the cursor on the last."""
        program = ("source \"$1\"; shift; COMP_WORDS=(tessary-make \"$@\"); "
                   "COMP_CWORD=$#; _tessary_make; printf '%s\\n' \"${COMPREPLY[@]}\"")
        result = run(["bash", "-c", program, "complete", self.script, *words])
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        return sorted(line for line in result.stdout.splitlines() if line)

    def test_offers_exactly_the_options_of_help(self):
        listed = set(OPTION.findall(help_text()))
        self.assertEqual(set(self.complete("-")), listed)
        self.assertEqual(self.complete("--no-p"), ["--no-photo-pages"])

    def test_values_are_completed_by_their_kind(self):
        # From --help: an option followed by a capitalised placeholder takes a value.
        takes = dict(re.findall(r"(--[a-z-]+) ([A-Z]+)\b", help_text()))
        self.assertIn("--photo-dir", takes)
        folder, htm = os.path.join(self.folder, "album"), os.path.join(self.folder, "about.htm")
        stem = os.path.join(self.folder, "a")
        for option, kind in takes.items():
            with self.subTest(option=option):
                offered = self.complete(option, stem)
                if kind == "DIR":
                    self.assertEqual(offered, [folder])
                elif kind == "FILE":
                    self.assertEqual(offered, sorted([folder, htm]))
                elif kind == "STYLE":
                    self.assertEqual(self.complete(option, "m"), ["modern"])
                else:
                    self.assertEqual(self.complete(option, ""), [])
        # After a flag, options again; --opt=value split at '=' or not.
        self.assertIn("--rows", self.complete("--frames", "--r"))
        self.assertEqual(self.complete("--photo-dir", "=", stem), [folder])
        self.assertEqual(self.complete("--photo-dir=" + stem), [folder])


class DesktopIntegration(unittest.TestCase):
    def test_desktop_entry_passes_its_validator(self):
        if not shutil.which("desktop-file-validate"):
            self.skipTest("desktop-file-validate is not installed")
        result = run(["desktop-file-validate", packaging(ARGS.app_id + ".desktop")])
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))

    def test_metainfo_passes_its_validator_offline(self):
        if not shutil.which("appstreamcli"):
            self.skipTest("appstreamcli is not installed")
        result = run(["appstreamcli", "validate", "--no-net", ARGS.metainfo])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_entry_metainfo_icons_and_screenshots_refer_to_what_exists(self):
        with open(packaging(ARGS.app_id + ".desktop"), encoding="utf-8") as entry:
            keys = dict(line.split("=", 1) for line in entry.read().splitlines() if "=" in line)
        self.assertEqual(keys["Icon"], ARGS.app_id)
        self.assertEqual(keys["Exec"].split()[0], "tessary")
        with open(ARGS.metainfo, encoding="utf-8") as metainfo:
            xml = metainfo.read()
        self.assertIn(f"<id>{ARGS.app_id}</id>", xml)
        self.assertIn(f'<launchable type="desktop-id">{ARGS.app_id}.desktop</launchable>', xml)
        shots = re.findall(r"<image>([^<]+)</image>", xml)
        self.assertTrue(shots)
        for url in shots:
            self.assertTrue(os.path.isfile(os.path.join(ARGS.screenshots_dir,
                                                        url.rsplit("/", 1)[1])), url)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ("programs-dir", "packaging-dir", "metainfo", "screenshots-dir", "app-id",
                 "version"):
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
