#!/usr/bin/env python3
"""Applies the deliberate faults listed in mutants.json one at a time and reports
which of them no test catches.

Each fault names a file, a text that must occur exactly once in it and its
replacement. For each one the script rebuilds only the test programs that link
the changed part, runs them (stopping at the first failing test), and always puts
the file back, also on Ctrl-C. A fault whose text is not found (the code moved on)
is reported as not applicable rather than failing the run.

    scripts/mutants.py                 # every fault, in build-mutants/
    scripts/mutants.py --list          # the faults and whether each still applies
    scripts/mutants.py --only 3,7-9    # some of them
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WIZARD_PROGRAMS = [f"wizard_{page}_tests" for page in
                   ("WizardPage", "IntroPage", "ConfigPage", "FolderPicker", "ProgressPage")]

# The test programs that link each part, the part's own first (a run stops at the
# first failure). The wizard's tests and install_tests link the engine and the image
# library too, but they drive windows and look for files, not pages or pictures, and
# running them for every engine or library fault would double the time.
PROGRAMS = {
    "engine": ["vantrel_tests", "tools_tests"],
    "thumbnail": ["skimlet_tests", "tools_tests", "vantrel_tests"],
    "tools": ["tools_tests"],
    "wizard": WIZARD_PROGRAMS + ["install_tests"],
}


class Interrupted(Exception):
    pass


def on_signal(signum, frame):
    raise Interrupted(signal.Signals(signum).name)


def parse_only(text, count):
    chosen = set()
    for part in text.split(","):
        first, _, last = part.partition("-")
        for n in range(int(first), int(last or first) + 1):
            if not 1 <= n <= count:
                sys.exit(f"mutants.py: no fault number {n} (1 to {count})")
            chosen.add(n)
    return sorted(chosen)


def area_of(path):
    return path.split("/", 1)[0]


def occurrences(source, mutant):
    path = source / mutant["file"]
    if not path.is_file():
        return 0
    return path.read_text(encoding="utf-8").count(mutant["find"])


def build(build_dir, programs, log):
    result = subprocess.run(["cmake", "--build", str(build_dir), "-j2", "--target", *programs],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    log.write(result.stdout)
    return result.returncode == 0


def is_gtest(program):
    return not program.startswith("wizard_")


def run_program(build_dir, program, excluded, timeout, log):
    """Returns "pass", "fail" or "timeout"."""
    command = [str(build_dir / "bin" / program)]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    if is_gtest(program):
        command += ["--gtest_fail_fast", "--gtest_brief=1"]
        if excluded:
            command.append("--gtest_filter=-" + ":".join(excluded))
    started = time.monotonic()
    try:
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, errors="replace", timeout=timeout, env=env,
                                cwd=build_dir)
    except subprocess.TimeoutExpired as expired:
        log.write(f"--- {program}: timed out after {timeout:.0f} s\n")
        if expired.stdout:
            log.write(expired.stdout if isinstance(expired.stdout, str)
                      else expired.stdout.decode(errors="replace"))
        return "timeout", time.monotonic() - started
    log.write(f"--- {program}: exit {result.returncode}\n{result.stdout}")
    return ("pass" if result.returncode == 0 else "fail"), time.monotonic() - started


def failed_gtests(build_dir, program):
    """The tests of a program that fail without any fault applied."""
    result = subprocess.run([str(build_dir / "bin" / program), "--gtest_brief=1"],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            errors="replace", cwd=build_dir)
    failed = set()
    for line in result.stdout.splitlines():
        if line.startswith("[  FAILED  ] ") and "," not in line.split("] ", 1)[1].split(" ")[0]:
            name = line.split("] ", 1)[1].split(" ")[0]
            if "." in name:
                failed.add(name)
    return sorted(failed)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action="store_true", help="list the faults and exit")
    parser.add_argument("--only", help="fault numbers, e.g. 3,7-9")
    parser.add_argument("--mutants", default=str(ROOT / "scripts" / "mutants.json"))
    parser.add_argument("--source", default=str(ROOT), help="source tree the build uses")
    parser.add_argument("--build", default=str(ROOT / "build-mutants"))
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds per test program (default: 4 x its clean time + 30)")
    parser.add_argument("--report", help="also write the results to this JSON file")
    args = parser.parse_args()

    source = Path(args.source).resolve()
    build_dir = Path(args.build).resolve()
    mutants = json.loads(Path(args.mutants).read_text(encoding="utf-8"))
    numbers = parse_only(args.only, len(mutants)) if args.only else range(1, len(mutants) + 1)

    if args.list:
        for n in numbers:
            m = mutants[n - 1]
            found = occurrences(source, m)
            state = "" if found == 1 else ("  [not applicable]" if found == 0
                                           else f"  [found {found} times: not applicable]")
            print(f"{n:3} {m['file']}: {m['why']}{state}")
        return 0

    if not (build_dir / "CMakeCache.txt").is_file():
        subprocess.run(["cmake", "-S", str(source), "-B", str(build_dir), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG",
                        "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG"],
                       check=True, stdout=subprocess.DEVNULL)
    logs = build_dir / "mutants"
    logs.mkdir(exist_ok=True)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)

    chosen = [mutants[n - 1] for n in numbers]
    needed = sorted({p for m in chosen for p in PROGRAMS[area_of(m["file"])]})
    with open(logs / "clean.log", "w") as log:
        if not build(build_dir, needed, log):
            sys.exit(f"mutants.py: the clean tree does not build; see {logs / 'clean.log'}")
        # Tests that fail with no fault applied say nothing about a fault: left out.
        excluded, clean_time, unusable = {}, {}, set()
        for program in needed:
            if is_gtest(program):
                excluded[program] = failed_gtests(build_dir, program)
                for name in excluded[program]:
                    print(f"note: {program} {name} fails without a fault; left out")
            verdict, seconds = run_program(build_dir, program, excluded.get(program), None, log)
            clean_time[program] = seconds
            if verdict != "pass":
                unusable.add(program)
                print(f"note: {program} fails without a fault; left out")

    results = []
    started = time.monotonic()
    try:
        for n, m in zip(numbers, chosen):
            path = source / m["file"]
            found = occurrences(source, m)
            label = f"{n:3} {m['file']}: {m['why']}"
            if found != 1:
                results.append({"n": n, "file": m["file"], "why": m["why"],
                                "result": "not applicable"})
                print(f"{label}: not applicable (text found {found} times)", flush=True)
                continue
            original = path.read_bytes()
            text = original.decode("utf-8")
            verdict, caught_by = "survived", ""
            try:
                path.write_bytes(text.replace(m["find"], m["replace"], 1).encode("utf-8"))
                with open(logs / f"{n}.log", "w") as log:
                    programs = [p for p in PROGRAMS[area_of(m["file"])] if p not in unusable]
                    if not build(build_dir, programs, log):
                        verdict = "does not build"
                    else:
                        for program in programs:
                            timeout = args.timeout or 4 * clean_time[program] + 30
                            outcome, _ = run_program(build_dir, program, excluded.get(program),
                                                     timeout, log)
                            if outcome != "pass":
                                verdict = "caught"
                                caught_by = program + (" (timeout)" if outcome == "timeout"
                                                       else "")
                                break
            finally:
                path.write_bytes(original)
            results.append({"n": n, "file": m["file"], "why": m["why"], "result": verdict,
                            "by": caught_by})
            print(f"{label}: {verdict}{' by ' + caught_by if caught_by else ''}", flush=True)
    except (KeyboardInterrupt, Interrupted) as stop:
        print(f"mutants.py: stopped ({stop or 'Ctrl-C'}); the files are restored")
        return 130
    finally:
        # Leaves the build matching the restored sources for the next run.
        with open(logs / "restore.log", "w") as log:
            build(build_dir, needed, log)

    counts = {}
    for r in results:
        counts[r["result"]] = counts.get(r["result"], 0) + 1
    survivors = [r for r in results if r["result"] == "survived"]
    print(f"\n{len(results)} faults in {time.monotonic() - started:.0f} s: "
          f"caught {counts.get('caught', 0)}, survived {counts.get('survived', 0)}, "
          f"not applicable {counts.get('not applicable', 0)}, "
          f"does not build {counts.get('does not build', 0)}")
    for r in survivors:
        print(f"  survived: {r['n']:3} {r['file']}: {r['why']}")
    if args.report:
        Path(args.report).write_text(json.dumps(results, indent=1) + "\n")
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
