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


def usage(name, *args):
    """What the program prints for `args`; the picture tools list their options on wrong usage."""
    result = run([os.path.join(ARGS.programs_dir, name), *args])
    return result.stdout + result.stderr


def packaging(*names):
    return os.path.join(ARGS.packaging_dir, *names)


def roff_text(page):
    with open(packaging("man", page), encoding="utf-8") as roff:
        return re.sub(r"\\f[BIRP]", "", roff.read()).replace(r"\-", "-").replace(r"\e", "\\")


class ManualPages(unittest.TestCase):
    def test_pages_name_exactly_the_options_their_programs_list(self):
        for name, args in (("tessary-make", ["--help"]), ("skimlet-thumb", []),
                           ("skimlet-decode", [])):
            with self.subTest(program=name):
                text = usage(name, *args)
                self.assertIn("usage", text.lower())
                listed = set(OPTION.findall(text))
                documented = set(OPTION.findall(roff_text(name + ".1")))
                self.assertEqual(sorted(listed - documented), [], "listed, not in the page")
                self.assertEqual(sorted(documented - listed), [], "in the page, not listed")

    def test_pages_carry_the_version_and_render_without_warnings(self):
        pages = [n for n in os.listdir(packaging("man")) if n.endswith(".1")]
        for name in pages:
            header = re.search(r"^\.TH .*", roff_text(name), re.MULTILINE)
            self.assertIn(f'"Tessary {ARGS.version}"', header[0] if header else "", name)
        if not shutil.which("man"):
            self.skipTest("man is not installed")
        for name in pages:
            rendered = run(["man", "--warnings", "-l", packaging("man", name)],
                           env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
            self.assertEqual((rendered.returncode, rendered.stderr), (0, ""), name)


class BashCompletion(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tessary-completion-")
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        os.makedirs(os.path.join(cls.folder, "album"))
        open(os.path.join(cls.folder, "about.htm"), "w").close()
        cls.help = usage("tessary-make", "--help")

    def complete(self, *words):
        """COMPREPLY for the command line `tessary-make WORDS...`, the cursor on the last."""
        program = ("source \"$1\"; shift; COMP_WORDS=(tessary-make \"$@\"); "
                   "COMP_CWORD=$#; _tessary_make; printf '%s\\n' \"${COMPREPLY[@]}\"")
        result = run(["bash", "-c", program, "complete",
                      packaging("bash-completion", "tessary-make"), *words])
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        return sorted(line for line in result.stdout.splitlines() if line)

    def test_offers_exactly_the_options_of_help(self):
        self.assertEqual(set(self.complete("-")), set(OPTION.findall(self.help)))
        self.assertEqual(self.complete("--no-p"), ["--no-photo-pages"])

    def test_values_are_completed_by_their_kind(self):
        # From --help: an option followed by a capitalised placeholder takes a value.
        takes = dict(re.findall(r"(--[a-z-]+) ([A-Z]+)\b", self.help))
        self.assertIn("--photo-dir", takes)
        folder, stem = os.path.join(self.folder, "album"), os.path.join(self.folder, "a")
        offers = {"DIR": (stem, [folder]), "FILE": (stem, sorted([folder, stem + "bout.htm"])),
                  "STYLE": ("m", ["modern"])}
        for option, kind in takes.items():
            typed, wanted = offers.get(kind, ("", []))
            self.assertEqual(self.complete(option, typed), wanted, option)
        # After a flag, options again; --opt=value split at '=' or not.
        self.assertIn("--rows", self.complete("--frames", "--r"))
        self.assertEqual(self.complete("--photo-dir", "=", stem), [folder])
        self.assertEqual(self.complete("--photo-dir=" + stem), [folder])


class DesktopIntegration(unittest.TestCase):
    def test_desktop_entry_and_metainfo_pass_their_validators(self):
        # The desktop entry's validator prints hints too: it must print nothing.
        entry = packaging(ARGS.app_id + ".desktop")
        for command, silent in ((["desktop-file-validate", entry], True),
                                (["appstreamcli", "validate", "--no-net", ARGS.metainfo], False)):
            with self.subTest(tool=command[0]):
                if not shutil.which(command[0]):
                    self.skipTest(command[0] + " is not installed")
                result = run(command)
                output = result.stdout + result.stderr
                self.assertEqual((result.returncode, output if silent else ""), (0, ""), output)

    def test_entry_metainfo_icons_and_screenshots_refer_to_what_exists(self):
        with open(packaging(ARGS.app_id + ".desktop"), encoding="utf-8") as entry:
            keys = dict(line.split("=", 1) for line in entry.read().splitlines() if "=" in line)
        self.assertEqual((keys["Icon"], keys["Exec"].split()[0]), (ARGS.app_id, "tessary"))
        with open(ARGS.metainfo, encoding="utf-8") as metainfo:
            xml = metainfo.read()
        self.assertIn(f"<id>{ARGS.app_id}</id>", xml)
        self.assertIn(f'<launchable type="desktop-id">{ARGS.app_id}.desktop</launchable>', xml)
        shots = [url.rsplit("/", 1)[1] for url in re.findall(r"<image>([^<]+)</image>", xml)]
        self.assertTrue(shots)
        self.assertEqual([s for s in shots
                          if not os.path.isfile(os.path.join(ARGS.screenshots_dir, s))], [])


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
