#!/usr/bin/env python3
"""Opens a sample gallery made by tessary-make in headless Chromium: every image loads,
every link and button leads to a file, no page logs an error. With --style modern, at
360 x 740 (2x) and 1440 x 900: no sideways scroll, no layout shift while slowly served
images load, no soft pictures, every photo reachable, neighbour links, arrow keys and
links right. Exit status: 0 passed, 1 failed, 77 skipped (no chromium)."""
import argparse
import base64
import fcntl
import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from urllib.parse import quote, unquote

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-extensions", "--disable-default-apps", "--mute-audio"]


class Handler(http.server.SimpleHTTPRequestHandler):
    missing = []  # every file asked for that is not there, with the page that asked
    image_delay = 0.0  # seconds each picture is held back, so that pages render before it

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.image_delay and self.path.lower().endswith((".jpg", ".gif")):
            time.sleep(self.image_delay)
        super().do_GET()

    def send_error(self, code, message=None, explain=None):
        if code == 404:
            self.missing.append(f"{unquote(self.path)} (from {self.headers['Referer']})")
        super().send_error(code, message, explain)


class Browser:
    """A headless Chromium spoken to over --remote-debugging-pipe, on one page."""

    def __init__(self, chromium, profile):
        # Chromium reads fd 3 and writes fd 4: the child's ends, moved above 4, are put
        # there by bash (numbers may have two digits) just before it becomes Chromium.
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()
        child_r, child_w = (fcntl.fcntl(fd, fcntl.F_DUPFD, 5) for fd in (to_child_r, from_child_w))
        self._process = subprocess.Popen(
            ["/bin/bash", "-c", f'exec "$0" "$@" 3<&{child_r} 4>&{child_w} {child_r}<&- {child_w}>&-',
             chromium, *CHROMIUM_FLAGS, "--remote-debugging-pipe", f"--user-data-dir={profile}",
             "about:blank"],
            pass_fds=(child_r, child_w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for fd in (to_child_r, from_child_w, child_r, child_w):
            os.close(fd)
        self._buffer, self._next_id, self.events, self.session = b"", 0, [], None
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True},
                                 browser=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.send(f"{domain}.enable")

    def close(self):
        try:
            self.send("Browser.close", browser=True)
            self._process.wait(timeout=10)
        except Exception:
            self._process.kill()
        os.close(self._to_child)
        os.close(self._from_child)

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._from_child], [], [], left)[0]:
                raise TimeoutError("Chromium did not answer in time")
            chunk = os.read(self._from_child, 1 << 16)
            if not chunk:
                raise RuntimeError("Chromium closed the DevTools pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, browser=False):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if self.session and not browser:
            message["sessionId"] = self.session
        os.write(self._to_child, json.dumps(message).encode() + b"\0")
        reply = self.wait_for(lambda m: m.get("id") == self._next_id)
        if "error" in reply:
            raise RuntimeError(f"{method}: {reply['error']}")
        return reply.get("result", {})

    def evaluate(self, expression):
        return self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                              "returnByValue": True})["result"].get("value")

    def wait_for(self, wanted, timeout=30):
        """The first message `wanted` accepts (an event's name or a test); others are kept."""
        test = wanted if callable(wanted) else lambda m: m.get("method") == wanted
        for i, event in enumerate(self.events):
            if test(event):
                return self.events.pop(i)
        deadline = time.monotonic() + timeout
        while not test(message := self._read_message(deadline)):
            self.events.append(message)
        return message

    def open(self, url):
        self.events = []
        self.send("Page.navigate", {"url": url})
        self.wait_for("Page.loadEventFired")


# Asks the server for every link's and button's target: the missing ones it records.
LINK_TARGETS = r"""
(async () => {
  const targets = [...document.querySelectorAll('a[href]')].map(a => a.href);
  for (const input of document.querySelectorAll('input[type=image]')) {
    targets.push(input.src);
    const m = /window\.location='([^']*)'/.exec(input.getAttribute('onclick') || '');
    if (m) targets.push(new URL(m[1], location.href).href);
  }
  for (const url of targets) await fetch(url, {method: 'HEAD'});
})()
"""


def check_page(browser, url, problems, script=None):
    """Opens `url`, returns what `script` finds, notes what did not load or was logged."""
    browser.open(url)
    browser.evaluate(LINK_TARGETS)
    found = browser.evaluate(script) if script else None
    name = unquote(url.rsplit("/", 1)[-1])
    unloaded = "[...document.images].filter(i => i.naturalWidth == 0).map(i => i.src)"
    problems += [f"{name}: image {src} did not load" for src in browser.evaluate(unloaded)]
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            problems.append(f"{name}: script error: {text}")
        elif method == "Log.entryAdded" and (entry := params["entry"]).get("level") == "error":
            problems.append(f"{name}: {entry.get('text')} {entry.get('url', '')}")
    return found


# Loads every picture (the lazy ones too, by scrolling), then reports the layout, the
# shifts seen since the page began and the page's images and links.
MODERN_FACTS = r"""
(async () => {
  const frames = () => new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
  // Scroll anchoring would hide the shift of a picture that loads above the view.
  document.documentElement.style.overflowAnchor = 'none';
  for (let y = 0; y <= document.scrollingElement.scrollHeight; y += innerHeight / 2) {
    scrollTo(0, y);
    await frames();
  }
  await Promise.all([...document.images].map(i => i.decode().catch(() => {})));
  await frames();
  const shift = await new Promise(resolve => {
    // Every shift counts: nothing was typed or clicked, yet headless Chromium marks
    // shifts soon after a navigation as following input.
    let sum = 0;
    new PerformanceObserver(list => list.getEntries().forEach(e => sum += e.value))
        .observe({type: 'layout-shift', buffered: true});
    setTimeout(() => resolve(sum), 200);
  });
  scrollTo(0, 0);
  // naturalWidth is divided by the chosen candidate's density: a copy tells the pixels.
  const images = await Promise.all([...document.images].filter(i => i.srcset).map(i => {
    const probe = new Image();
    probe.src = i.currentSrc;
    return probe.decode().then(() => ({src: i.currentSrc, pixels: probe.naturalWidth,
                                       shown: i.clientWidth}), () => ({}));
  }));
  const links = sel => [...document.querySelectorAll(sel)].map(a => a.href);
  const one = sel => links(sel)[0] ?? null;
  return {
    shift, scrollWidth: document.scrollingElement.scrollWidth, images,
    cells: links('.tessary-grid a'), pages: links('.tessary-pages a'),
    prev: one('.tessary-nav a[rel=prev]'), next: one('.tessary-nav a[rel=next]'),
    home: one('.tessary-nav a:not([rel])'), download: one('.tessary-download a'),
  };
})()
"""


def modern_page(browser, url, width, scale, problems):
    """Checks one page of the modern style as it loads at one size; returns its facts."""
    facts = check_page(browser, url, problems, MODERN_FACTS)
    name = f"{unquote(url.rsplit('/', 1)[-1])} at {width} px"
    # A busy machine makes specks of shift (under 0.0005) that no one sees; an image
    # without its size shifts a page by a tenth or more.
    if facts["shift"] >= 0.001:
        problems.append(f"{name}: the layout shifts while images load ({facts['shift']:.3f})")
    # Compared with the emulated width: on a phone, Chromium widens the layout viewport
    # (and innerWidth) to fit content that overflows.
    if facts["scrollWidth"] > width:
        problems.append(f"{name}: scrolls sideways ({facts['scrollWidth']} px wide)")
    problems += [f"{name}: image {i['src']} is soft: {i['pixels']} px shown {i['shown']} px wide"
                 for i in facts["images"]
                 if scale > 1 and i and i["pixels"] < scale * i["shown"] - 2]
    return facts


def check_modern(browser, root, source_dir, problems):
    """Walks the index pages and photo pages at both sizes; returns the photo pages."""
    photo_dir = os.path.join(source_dir, "samples", "photos")
    photos = {p for p in os.listdir(photo_dir) if p.lower().endswith(".jpg")}
    for width, height, scale in ((360, 740, 2), (1440, 900, 1)):
        browser.send("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": scale, "mobile": width < 600})
        # The index pages as a visitor finds them, each with the photo pages it leads to.
        index_pages, holder = [root + "index.htm"], {}
        for index in index_pages:
            facts = modern_page(browser, index, width, scale, problems)
            index_pages += [p for p in facts["pages"] if p not in index_pages]
            holder.update({cell: index for cell in facts["cells"]})
        photo_pages = list(holder)
        downloads, neighbours = set(), [None, *photo_pages, None]
        for i, page in enumerate(photo_pages):
            facts = modern_page(browser, page, width, scale, problems)
            downloads.add(unquote((facts["download"] or "").rsplit("/", 1)[-1]))
            for rel, want in (("prev", neighbours[i]), ("next", neighbours[i + 2]),
                              ("home", holder[page])):
                if facts[rel] != want:
                    problems.append(f"{page.removeprefix(root)}: its {rel} link leads to "
                                    f"{facts[rel]}, not {want}")
        if photos - downloads:
            problems.append(f"at {width} px, photos not reachable: {sorted(photos - downloads)}")
    if len(photo_pages) < 2:
        return photo_pages
    # A visitor's way: the arrow keys, then the links.
    first, second = photo_pages[:2]
    click = "document.querySelector('.tessary-nav a[rel=%s]').click()"
    follow(browser, problems, first, (("ArrowRight", second), ("ArrowLeft", first),
                                      (click % "next", second), (click % "prev", first)))
    return photo_pages


def check_classic(browser, root, site, problems):
    """Opens the navigation page and every photo page; returns the photo pages."""
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 1200, "height": 1000, "deviceScaleFactor": 1, "mobile": False})
    pages = [root + quote(p)
             for p in sorted(os.listdir(site)) if p.endswith(".htm") and p != "index.htm"]
    for page in [root + "index.htm", *pages]:
        check_page(browser, page, problems)
    if len(pages) >= 2:
        follow(browser, problems, pages[0],
               (("document.getElementById('nextButton').click()", pages[1]),))
    return pages


def follow(browser, problems, start, steps):
    """From `start`, presses each step's arrow key or runs its script: it must lead on."""
    browser.open(start)
    for action, expected in steps:
        browser.events = []
        if action.startswith("Arrow"):
            for kind in ("keyDown", "keyUp"):
                browser.send("Input.dispatchKeyEvent", {
                    "type": kind, "key": action, "code": action,
                    "windowsVirtualKeyCode": 37 if action == "ArrowLeft" else 39})
        else:
            browser.evaluate(action)
        try:
            browser.wait_for("Page.loadEventFired", timeout=10)
            where = browser.evaluate("location.href")
        except TimeoutError:
            where = "nowhere"
        if where != expected:
            problems.append(f"{action} led to {where}, not {expected}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessary-make", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--style", choices=("classic", "modern"), default="classic")
    parser.add_argument("--template", default="samples/sample.cfg", help="relative to --source-dir")
    args = parser.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("skipped: chromium is not installed (scripts/setup.sh browser installs it)")
        return 77
    problems = []
    with tempfile.TemporaryDirectory(prefix="tessary-browser-", ignore_cleanup_errors=True) as work:
        site = os.path.join(work, "site")
        made = subprocess.run([args.tessary_make, "--template", args.template, "--style",
                               args.style, "--output-dir", site, "--quiet"],
                              cwd=args.source_dir, capture_output=True, text=True)
        if made.returncode != 0:
            print(f"tessary-make failed ({made.returncode}): {made.stderr}")
            return 1
        shutil.copytree(os.path.join(args.source_dir, "samples", "images"),
                        os.path.join(site, "images"), dirs_exist_ok=True)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                 functools.partial(Handler, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        root = f"http://127.0.0.1:{server.server_address[1]}/"
        browser = Browser(chromium, os.path.join(work, "profile"))
        try:
            Handler.image_delay = 0.3 if args.style == "modern" else 0.0
            pages = (check_modern(browser, root, args.source_dir, problems)
                     if args.style == "modern" else check_classic(browser, root, site, problems))
            if len(pages) < 2:
                problems.append("fewer than two photo pages: moving between them is not checked")
            browser.open(root + "index.htm")
            shot = browser.send("Page.captureScreenshot",
                                {"format": "png", "captureBeyondViewport": True})
            os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
            with open(args.screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        finally:
            browser.close()
            server.shutdown()
    problems += [f"the server was asked for a missing file: {path}" for path in Handler.missing]
    if problems:
        print("The gallery does not work in the browser:\n  " + "\n  ".join(problems))
        return 1
    print(f"The gallery works in Chromium: {len(pages)} photo pages checked; "
          f"screenshot in {args.screenshot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
