#!/usr/bin/env python3
"""Fails when a shared library exports more than its public interface.

    check-exports.py LIBRARY --namespace skimlet --public JPEGImage,ErrorInfo,... --max 80

Every exported symbol that names something in the namespace may name only the
public entities, and none may name one of the library's C-prefixed classes,
in the namespace or not; the count of defined dynamic symbols is capped as well.
"""

import argparse
import re
import subprocess
import sys


def exported(library):
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True,
                         capture_output=True, text=True).stdout
    symbols = []
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3:
            symbols.append(parts[2])
    return symbols


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("library")
    parser.add_argument("--namespace", required=True)
    parser.add_argument("--public", required=True, help="comma-separated public names")
    parser.add_argument("--max", type=int, required=True)
    args = parser.parse_args()

    public = set(args.public.split(","))
    named = re.compile(re.escape(args.namespace) + r"::(\w+)")
    library_class = re.compile(r"(?<![\w])(C[A-Z][a-z]\w*)")
    symbols = exported(args.library)
    problems = []
    for symbol in symbols:
        names = set(named.findall(symbol)) | set(library_class.findall(symbol))
        internal = sorted(name for name in names if name not in public)
        if internal:
            problems.append(f"exports {', '.join(internal)}: {symbol}")
    if len(symbols) > args.max:
        problems.append(f"{len(symbols)} exported symbols, at most {args.max} allowed")
    for p in problems:
        print(p)
    print(f"{args.library}: {len(symbols)} exported symbols, {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
