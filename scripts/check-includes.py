#!/usr/bin/env python3
"""Fails on include circles and on includes against the direction of dependencies.

A header and the source file of the same name in the same folder count as one
unit, so a circle through calls (a.cpp includes b.h, b.cpp includes a.h) shows
up as well as one through headers alone.

    check-includes.py SOURCE_DIR [--exclude FOLDER]...
    check-includes.py --self-test
"""

import argparse
import os
import re
import sys
import tempfile

# The direction of dependencies, written down once: a folder may include only
# from folders of a lower layer (and from itself). Folders on the same layer
# may not include each other.
LAYERS = [
    ("thumbnail/base", 0),
    ("thumbnail/bitmaps", 1),
    ("thumbnail/filters", 2),
    ("thumbnail/io", 2),
    ("thumbnail/codecs", 3),
    ("thumbnail", 4),  # the component JPEGImage and its public headers
    ("engine", 5),
    ("tests/support", 6),  # picture builders, shared by the tests and the fuzz seeds
    ("tools", 6),
    ("wizard", 6),
    ("bench", 7),
    ("fuzz", 7),
    ("tests", 7),
]

# Folders that may reach only the public headers of the library and the engine.
PUBLIC_ONLY = ("engine", "wizard", "tools/tessary-make")
PUBLIC_HEADERS = ("thumbnail/include", "engine/include")

# Where quoted and angle includes are looked for after the including file's folder.
INCLUDE_ROOTS = [
    "thumbnail",
    "thumbnail/include",
    "engine",
    "engine/include",
    "tools/tessary-make",
    "wizard",
    "tests/support",
    "tests/thumbnail/filters",
    "tests/engine",
    "tests/wizard",
    "fuzz",
]

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
# Files made by the build (Qt's moc and uic), never in the tree.
GENERATED = re.compile(r"(^|/)(moc_[^/]*|ui_[^/]*|[^/]*\.moc)$")


def folder_of(path):
    """The layer folder a file belongs to (longest match), or None."""
    best = None
    for folder, _ in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def layer_of(folder):
    return dict(LAYERS)[folder]


def unit_of(path):
    return os.path.splitext(path)[0]


def scan(root, excluded):
    files = []
    for top, _ in LAYERS:
        if "/" in top:
            continue
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames.sort()
            for name in sorted(filenames):
                if name.endswith(SOURCE_SUFFIXES):
                    rel = os.path.relpath(os.path.join(dirpath, name), root)
                    if not any(rel == e or rel.startswith(e + "/") for e in excluded):
                        files.append(rel)
    return files


def resolve(root, including, kind, name, known):
    candidates = []
    if kind == '"':
        candidates.append(os.path.normpath(os.path.join(os.path.dirname(including), name)))
    candidates += [os.path.normpath(os.path.join(r, name)) for r in INCLUDE_ROOTS]
    for c in candidates:
        if c in known or os.path.isfile(os.path.join(root, c)):
            return c
    return None


def check(root, excluded=()):
    """Returns the list of problems found in the tree at root."""
    problems = []
    files = scan(root, excluded)
    known = set(files)
    edges = {}  # unit -> set of units
    for path in files:
        unit = unit_of(path)
        edges.setdefault(unit, set())
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                kind, name = m.groups()
                target = resolve(root, path, kind, name, known)
                if target is None:
                    if kind == '"' and not GENERATED.search(name):
                        problems.append(f"{path}:{number}: cannot find \"{name}\"")
                    continue
                if any(target == e or target.startswith(e + "/") for e in excluded):
                    continue
                problems += direction_problems(path, number, target)
                if unit_of(target) != unit:
                    edges[unit].add(unit_of(target))
                    edges.setdefault(unit_of(target), set())
    for circle in circles(edges):
        problems.append("include circle: " + " -> ".join(circle + [circle[0]]))
    return problems


def direction_problems(path, number, target):
    source_folder, target_folder = folder_of(path), folder_of(target)
    if source_folder is None or target_folder is None or source_folder == target_folder:
        return []
    problems = []
    if layer_of(target_folder) >= layer_of(source_folder):
        problems.append(f"{path}:{number}: {source_folder} may not include {target} "
                        f"({target_folder} is not below it)")
    if (any(path.startswith(p + "/") for p in PUBLIC_ONLY) and
            target.startswith(("thumbnail/", "engine/")) and
            not target.startswith(PUBLIC_HEADERS)):
        problems.append(f"{path}:{number}: {target} is not a public header")
    return problems


def circles(edges):
    """Strongly connected components of more than one unit, each as one circle."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def visit(v):
        # Iterative Tarjan: the tree's include depth would be fine recursively,
        # but a generated file should not be able to overflow the stack.
        work = [(v, iter(sorted(edges[v])))]
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        while work:
            node, children = work[-1]
            advanced = False
            for w in children:
                if w not in index:
                    index[w] = low[w] = counter[0]
                    counter[0] += 1
                    stack.append(w)
                    on_stack.add(w)
                    work.append((w, iter(sorted(edges[w]))))
                    advanced = True
                    break
                if w in on_stack:
                    low[node] = min(low[node], index[w])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    w = stack.pop()
                    on_stack.discard(w)
                    component.append(w)
                    if w == node:
                        break
                if len(component) > 1:
                    found.append(circle_through(sorted(component), edges))

    for v in sorted(edges):
        if v not in index:
            visit(v)
    return found


def circle_through(component, edges):
    """One concrete circle inside a strongly connected component, for the message."""
    members = set(component)
    start = component[0]
    paths = {start: [start]}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for w in sorted(edges[node]):
            if w == start:
                return paths[node]
            if w in members and w not in paths:
                paths[w] = paths[node] + [w]
                queue.append(w)
    return component


def self_test():
    cases = [
        # (files, problems expected as substrings; empty: must pass)
        ({"thumbnail/base/A.h": "",
          "thumbnail/bitmaps/B.h": '#include "base/A.h"\n',
          "thumbnail/filters/F.cpp": '#include "bitmaps/B.h"\n#include <vector>\n',
          "engine/E.cpp": '#include "skimlet/P.h"\n',
          "thumbnail/include/skimlet/P.h": "",
          "wizard/W.cpp": '#include "moc_W.cpp"\n'}, []),
        ({"thumbnail/bitmaps/B.h": "",
          "thumbnail/bitmaps/B.cpp": '#include "bitmaps/B.h"\n#include "filters/F.h"\n',
          "thumbnail/filters/F.h": "",
          "thumbnail/filters/F.cpp": '#include "filters/F.h"\n#include "bitmaps/B.h"\n'},
         ["include circle: thumbnail/bitmaps/B -> thumbnail/filters/F -> thumbnail/bitmaps/B",
          "thumbnail/bitmaps may not include thumbnail/filters/F.h"]),
        ({"engine/A.h": '#include "B.h"\n', "engine/B.h": "",
          "engine/B.cpp": '#include "B.h"\n#include "C.h"\n', "engine/C.cpp": '#include "A.h"\n',
          "engine/C.h": ""},
         ["include circle: engine/A -> engine/B -> engine/C -> engine/A"]),
        ({"thumbnail/io/S.h": '#include "filters/F.h"\n', "thumbnail/filters/F.h": ""},
         ["thumbnail/io may not include thumbnail/filters/F.h"]),
        ({"engine/E.cpp": '#include "codecs/J.h"\n', "thumbnail/codecs/J.h": ""},
         ["thumbnail/codecs/J.h is not a public header"]),
        ({"thumbnail/base/A.h": '#include "Missing.h"\n'}, ['cannot find "Missing.h"']),
    ]
    failures = 0
    for number, (files, expected) in enumerate(cases, 1):
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
                with open(os.path.join(root, name), "w", encoding="utf-8") as f:
                    f.write(text)
            problems = check(root)
        missing = [e for e in expected if not any(e in p for p in problems)]
        unexpected = problems if not expected else []
        if missing or unexpected:
            failures += 1
            print(f"self-test case {number}: missing {missing}, unexpected {unexpected}, "
                  f"got {problems}")
    print("self-test: " + ("failed" if failures else f"{len(cases)} cases passed"))
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source_dir", nargs="?")
    parser.add_argument("--exclude", action="append", default=[],
                        help="a folder (relative to the source dir) left out of the check")
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test()
    if not args.source_dir:
        parser.error("SOURCE_DIR is required")
    problems = check(args.source_dir, args.exclude)
    for p in problems:
        print(p)
    print(f"include check: {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
