#!/usr/bin/env python3
"""Opens the sample gallery in headless Chromium and checks it works.

Makes the gallery with tessary-make from samples/sample.cfg, serves it on a
loopback port as a web site's root (button images in /images), then opens the
navigation page and every photo page. Fails when an image does not load, a link
or button leads to a missing file, the server is asked for a file it lacks, or a
page logs an error. Saves a screenshot of the navigation page.

Chromium is driven through the DevTools protocol over a pipe, so nothing but
the Python standard library and Debian's chromium is needed.
Exit status: 0 passed, 1 failed, 77 skipped (no chromium).
"""
import argparse
import base64
import fcntl
import functools
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-extensions", "--disable-default-apps", "--mute-audio",
]


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    missing = []


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_error(self, code, message=None, explain=None):
        if code == 404:
            self.server.missing.append(urllib.parse.unquote(self.path))
        super().send_error(code, message, explain)


class Browser:
    """A headless Chromium spoken to over --remote-debugging-pipe."""

    def __init__(self, chromium, profile):
        # Chromium reads commands from fd 3 and writes replies to fd 4. The child's
        # ends are moved above 4 first (dash takes single-digit numbers only) and put
        # in place by the shell just before it becomes Chromium, so nothing else in
        # the child is clobbered.
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()
        child_r = fcntl.fcntl(to_child_r, fcntl.F_DUPFD, 5)
        child_w = fcntl.fcntl(from_child_w, fcntl.F_DUPFD, 5)
        os.close(to_child_r)
        os.close(from_child_w)
        self._process = subprocess.Popen(
            ["/bin/sh", "-c", f'exec "$0" "$@" 3<&{child_r} 4>&{child_w} {child_r}<&- {child_w}>&-',
             chromium, *CHROMIUM_FLAGS, "--remote-debugging-pipe", f"--user-data-dir={profile}",
             "about:blank"],
            pass_fds=(child_r, child_w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(child_r)
        os.close(child_w)
        self._buffer = b""
        self._next_id = 0
        self.events = []

    def close(self):
        try:
            self.send("Browser.close")
        except Exception:
            pass
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()
        os.close(self._to_child)
        os.close(self._from_child)

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("Chromium did not answer in time")
            chunk = os.read(self._from_child, 1 << 16)
            if not chunk:
                raise RuntimeError("Chromium closed the DevTools pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=None, timeout=30):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def wait_for(self, method, session, timeout=30):
        deadline = time.monotonic() + timeout
        for i, event in enumerate(self.events):
            if event.get("method") == method and event.get("sessionId") == session:
                return self.events.pop(i)
        while True:
            event = self._read_message(deadline)
            if event.get("method") == method and event.get("sessionId") == session:
                return event
            self.events.append(event)


PAGE_FACTS = r"""
(async () => {
  const images = [...document.images].map(i => ({src: i.src, width: i.naturalWidth}));
  const targets = [...document.querySelectorAll('a[href]')].map(a => a.href);
  for (const input of document.querySelectorAll('input[type=image]')) {
    targets.push(input.src);
    const m = /window\.location='([^']*)'/.exec(input.getAttribute('onclick') || '');
    if (m) targets.push(new URL(m[1], location.href).href);
  }
  const missing = [];
  for (const url of targets) {
    const response = await fetch(url, {method: 'HEAD'});
    if (!response.ok) missing.push(url + ' (' + response.status + ')');
  }
  return {images, missing, buttons: [...document.querySelectorAll('input[type=image]')].map(i => i.id)};
})()
"""


def check_page(browser, session, url, problems):
    browser.events = [e for e in browser.events if e.get("sessionId") != session]
    browser.send("Page.navigate", {"url": url}, session)
    browser.wait_for("Page.loadEventFired", session)
    facts = browser.send("Runtime.evaluate", {"expression": PAGE_FACTS, "awaitPromise": True,
                                              "returnByValue": True}, session)["result"]["value"]
    name = urllib.parse.unquote(url.rsplit("/", 1)[-1])
    if not facts["images"]:
        problems.append(f"{name}: shows no image")
    for image in facts["images"]:
        if image["width"] == 0:
            problems.append(f"{name}: image {image['src']} did not load")
    for target in facts["missing"]:
        problems.append(f"{name}: leads to a missing file: {target}")
    for event in browser.events:
        if event.get("sessionId") != session:
            continue
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            problems.append(f"{name}: script error: {text}")
        elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
            problems.append(f"{name}: console error: {params.get('args')}")
        elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
            problems.append(f"{name}: {params['entry'].get('text')} {params['entry'].get('url', '')}")
    return facts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessary-make", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--screenshot", required=True)
    args = parser.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("skipped: chromium is not installed (scripts/setup.sh browser installs it)")
        return 77

    work = tempfile.mkdtemp(prefix="tessary-browser-")
    problems = []
    try:
        site = os.path.join(work, "site")
        made = subprocess.run([args.tessary_make, "--template", "samples/sample.cfg", "--output-dir",
                               site, "--quiet"], cwd=args.source_dir, capture_output=True, text=True)
        if made.returncode != 0:
            print(f"tessary-make failed ({made.returncode}): {made.stderr}")
            return 1
        shutil.copytree(os.path.join(args.source_dir, "samples", "images"), os.path.join(site, "images"))

        server = Server(("127.0.0.1", 0), functools.partial(Handler, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        root = f"http://127.0.0.1:{server.server_address[1]}/"

        browser = Browser(chromium, os.path.join(work, "profile"))
        try:
            target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
            session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
            for domain in ("Page", "Runtime", "Log"):
                browser.send(f"{domain}.enable", session=session)
            browser.send("Emulation.setDeviceMetricsOverride",
                         {"width": 1200, "height": 1000, "deviceScaleFactor": 1, "mobile": False}, session)

            check_page(browser, session, root + "index.htm", problems)
            shot = browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True},
                                session)
            os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
            with open(args.screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))

            pages = sorted(p for p in os.listdir(site) if p.endswith(".htm") and p != "index.htm")
            if len(pages) != 10:
                problems.append(f"expected 10 photo pages, found {len(pages)}")
            for page in pages:
                facts = check_page(browser, session, root + urllib.parse.quote(page), problems)
                if "homeButton" not in facts["buttons"]:
                    problems.append(f"{page}: has no home button")

            # Follow the first page's next button as a visitor would.
            check_page(browser, session, root + urllib.parse.quote(pages[0]), problems)
            browser.send("Runtime.evaluate", {"expression": "document.getElementById('nextButton').click()"},
                         session)
            browser.wait_for("Page.loadEventFired", session)
            where = browser.send("Runtime.evaluate", {"expression": "location.pathname",
                                                      "returnByValue": True}, session)["result"]["value"]
            if urllib.parse.unquote(where) != "/" + pages[1]:
                problems.append(f"the next button of {pages[0]} led to {where}, not /{pages[1]}")
        finally:
            browser.close()
            server.shutdown()
        problems += [f"the server was asked for a missing file: {path}" for path in server.missing]
    finally:
        shutil.rmtree(work, ignore_errors=True)

    if problems:
        print("The gallery does not work in the browser:")
        for problem in problems:
            print("  " + problem)
        return 1
    print(f"The gallery works in Chromium: 11 pages checked; screenshot in {args.screenshot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
