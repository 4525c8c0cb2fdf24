#!/usr/bin/env python3
"""Runs Lighthouse (pinned in package.json beside this file) on every page of galleries.

Usage: audit.py GALLERY_DIR... [--pages N] [--preset mobile|desktop]

Serves each gallery folder on a loopback port as a web site's root, audits each page
(index pages first, then the photo pages, at most N of them with --pages) in Debian's
Chromium, and prints performance, accessibility, best practices and SEO per page.
Exits 1 when an audit could not run, 0 otherwise: the scores are for people to read.
"""

import argparse
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
CATEGORIES = ("performance", "accessibility", "best-practices", "seo")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # Lighthouse drops connections it no longer needs


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def pages_of(gallery):
    """Index pages (those that link to a style sheet of their own or hold the grid) first."""
    pages = sorted(p for p in os.listdir(gallery) if p.endswith((".htm", ".html")))
    def is_index(page):
        with open(os.path.join(gallery, page), encoding="utf-8", errors="replace") as f:
            text = f.read()
        return "tessary-grid" in text or 'id="navTable"' in text or "id='navTable'" in text
    return sorted(pages, key=lambda p: (not is_index(p), p))


def audit(lighthouse, chromium, url, preset):
    command = [lighthouse, url, "--output=json", "--output-path=stdout", "--quiet",
               "--only-categories=" + ",".join(CATEGORIES),
               "--chrome-flags=--headless=new --no-sandbox --disable-gpu"]
    if preset == "desktop":
        command.append("--preset=desktop")
    run = subprocess.run(command, capture_output=True, text=True, timeout=300,
                         env=dict(os.environ, CHROME_PATH=chromium))
    if run.returncode != 0:
        raise RuntimeError(run.stderr.strip().splitlines()[-1] if run.stderr.strip() else
                           f"lighthouse exited with {run.returncode}")
    report = json.loads(run.stdout)
    return [report["categories"][c]["score"] for c in CATEGORIES]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("galleries", nargs="+")
    parser.add_argument("--pages", type=int, default=0, help="at most this many pages each (0: all)")
    parser.add_argument("--preset", choices=("mobile", "desktop"), default="mobile")
    args = parser.parse_args()

    lighthouse = os.path.join(HERE, "node_modules", ".bin", "lighthouse")
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not os.path.exists(lighthouse) or not chromium:
        print("audit: needs Chromium and Lighthouse (make audit installs both)", file=sys.stderr)
        return 2

    failed = False
    print(f"Lighthouse, {args.preset} preset: performance, accessibility, best practices, SEO")
    for gallery in args.galleries:
        if not os.path.isdir(gallery):
            print(f"audit: {gallery} is not a folder (make demo makes the sample galleries)",
                  file=sys.stderr)
            failed = True
            continue
        server = Server(("127.0.0.1", 0), functools.partial(Handler, directory=gallery))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            print(gallery, flush=True)
            pages = pages_of(gallery)
            for page in pages[:args.pages] if args.pages else pages:
                url = f"http://127.0.0.1:{server.server_address[1]}/{urllib.parse.quote(page)}"
                try:
                    scores = audit(lighthouse, chromium, url, args.preset)
                except (RuntimeError, subprocess.TimeoutExpired, ValueError, KeyError) as error:
                    print(f"  {page}: the audit failed: {error}")
                    failed = True
                    continue
                shown = ["  -" if s is None else f"{round(s * 100):3d}" for s in scores]
                print(f"  {' '.join(shown)}  {page}", flush=True)
        finally:
            server.shutdown()
            server.server_close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
