#!/usr/bin/env python3
"""Opens a sample gallery, made by tessary-make from a template (or --site, made
beforehand), in headless Chromium served from a loopback port, and fails when an
image does not load, a link or button leads to a missing file or a page logs an
error. With --style modern, at 360 x 740 (2x) and 1440 x 900: no sideways scroll,
no layout shift while slowly served images load, every image with alt, width and
height, every photo reachable, and the arrow keys and links moving between photos.
Exit status: 0 passed, 1 failed, 77 skipped (no chromium)."""
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
import urllib.parse

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-extensions", "--disable-default-apps", "--mute-audio"]


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    missing = []
    image_delay = 0.0  # seconds each picture is held back, so that pages render before it


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.server.image_delay and self.path.lower().endswith((".jpg", ".gif")):
            time.sleep(self.server.image_delay)
        super().do_GET()

    def send_error(self, code, message=None, explain=None):
        if code == 404:
            self.server.missing.append(urllib.parse.unquote(self.path))
        super().send_error(code, message, explain)


class Browser:
    """A headless Chromium spoken to over --remote-debugging-pipe, on one page."""

    def __init__(self, chromium, profile):
        # Chromium reads fd 3 and writes fd 4: the child's ends, moved above 4, are put
        # there by bash (numbers may have two digits) just before it becomes Chromium.
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()
        child_r = fcntl.fcntl(to_child_r, fcntl.F_DUPFD, 5)
        child_w = fcntl.fcntl(from_child_w, fcntl.F_DUPFD, 5)
        for fd in (to_child_r, from_child_w):
            os.close(fd)
        self._process = subprocess.Popen(
            ["/bin/bash", "-c", f'exec "$0" "$@" 3<&{child_r} 4>&{child_w} {child_r}<&- {child_w}>&-',
             chromium, *CHROMIUM_FLAGS, "--remote-debugging-pipe", f"--user-data-dir={profile}",
             "about:blank"],
            pass_fds=(child_r, child_w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for fd in (child_r, child_w):
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

    def send(self, method, params=None, browser=False, timeout=30):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if self.session and not browser:
            message["sessionId"] = self.session
        os.write(self._to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def evaluate(self, expression):
        return self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                              "returnByValue": True})["result"].get("value")

    def wait_for(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        for i, event in enumerate(self.events):
            if event.get("method") == method:
                return self.events.pop(i)
        while True:
            event = self._read_message(deadline)
            if event.get("method") == method:
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


def check_page(browser, url, problems, lazy=False):
    browser.events = []
    browser.send("Page.navigate", {"url": url})
    browser.wait_for("Page.loadEventFired")
    facts = browser.evaluate(PAGE_FACTS)
    name = urllib.parse.unquote(url.rsplit("/", 1)[-1])
    if not facts["images"]:
        problems.append(f"{name}: shows no image")
    problems += [f"{name}: image {i['src']} did not load"
                 for i in ([] if lazy else facts["images"]) if i["width"] == 0]
    problems += [f"{name}: leads to a missing file: {target}" for target in facts["missing"]]
    for event in browser.events:
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
    new PerformanceObserver(list => {
      for (const e of list.getEntries()) sum += e.value;
    }).observe({type: 'layout-shift', buffered: true});
    setTimeout(() => resolve(sum), 200);
  });
  scrollTo(0, 0);
  // naturalWidth is divided by the chosen candidate's density: a copy tells the pixels.
  const pixels = async url => {
    const probe = new Image();
    probe.src = url;
    return probe.decode().then(() => probe.naturalWidth, () => 0);
  };
  const images = [];
  for (const i of document.images) {
    images.push({src: i.currentSrc, alt: i.getAttribute('alt'), width: i.getAttribute('width'),
                 height: i.getAttribute('height'), decoding: i.getAttribute('decoding'),
                 srcset: i.hasAttribute('srcset'), pixels: await pixels(i.currentSrc),
                 shown: i.clientWidth});
  }
  const links = sel => [...document.querySelectorAll(sel)].map(a => a.href);
  const one = sel => { const a = document.querySelector(sel); return a ? a.href : null; };
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
    check_page(browser, url, problems, lazy=True)
    facts = browser.evaluate(MODERN_FACTS)
    name = f"{urllib.parse.unquote(url.rsplit('/', 1)[-1])} at {width} px"
    if facts["shift"] > 0:
        problems.append(f"{name}: the layout shifts while images load ({facts['shift']:.3f})")
    # Compared with the emulated width: on a phone, Chromium widens the layout viewport
    # (and innerWidth) to fit content that overflows.
    if facts["scrollWidth"] > width:
        problems.append(f"{name}: scrolls sideways ({facts['scrollWidth']} px wide)")
    for image in facts["images"]:
        what = f"{name}: image {image['src']}"
        problems += [f"{what} has no {a}" for a in ("alt", "width", "height") if not image[a]]
        if image["decoding"] != "async":
            problems.append(f"{what} is not decoded asynchronously")
        if image["pixels"] == 0:
            problems.append(f"{what} did not load")
        elif scale > 1 and image["srcset"] and image["pixels"] < scale * image["shown"] - 2:
            problems.append(f"{what} is soft: {image['pixels']} px shown {image['shown']} px wide")
    return facts


def follow(browser, action, problems, expected, what):
    """Does `action` on the open page and checks that it leads to `expected`."""
    browser.events = []
    action()
    try:
        browser.wait_for("Page.loadEventFired", timeout=10)
    except TimeoutError:
        problems.append(f"{what} led nowhere")
        return
    where = browser.evaluate("location.href")
    if where != expected:
        problems.append(f"{what} led to {where}, not {expected}")


def press(browser, key, code):
    for kind in ("keyDown", "keyUp"):
        browser.send("Input.dispatchKeyEvent",
                     {"type": kind, "key": key, "code": key, "windowsVirtualKeyCode": code})


def check_modern(browser, root, photos, problems):
    """Walks the index pages and photo pages at both sizes; returns the number of pages."""
    for width, height, scale in ((360, 740, 2), (1440, 900, 1)):
        browser.send("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": scale, "mobile": width < 600})
        # The index pages as a visitor finds them, each with the photo pages it leads to.
        index_pages, photo_pages, holder = [root + "index.htm"], [], {}
        for index in index_pages:
            facts = modern_page(browser, index, width, scale, problems)
            index_pages += [p for p in facts["pages"] if p not in index_pages]
            holder.update({cell: index for cell in facts["cells"]})
            photo_pages += [c for c in facts["cells"] if c not in photo_pages]
        downloads = set()
        for i, page in enumerate(photo_pages):
            facts = modern_page(browser, page, width, scale, problems)
            name = urllib.parse.unquote(page.rsplit("/", 1)[-1])
            downloads.add(urllib.parse.unquote((facts["download"] or "").rsplit("/", 1)[-1]))
            for rel, want in (("prev", photo_pages[i - 1] if i > 0 else None),
                              ("next", photo_pages[i + 1] if i + 1 < len(photo_pages) else None),
                              ("home", holder[page])):
                if facts[rel] != want:
                    problems.append(f"{name}: its {rel} link leads to {facts[rel]}, not {want}")
        unreached = sorted(set(photos) - downloads)
        if unreached:
            problems.append(f"at {width} px, photos not reachable from the index pages: {unreached}")

    if len(photo_pages) < 2:
        problems.append("fewer than two photo pages: moving between them is not checked")
        return len(index_pages) + len(photo_pages)
    # A visitor's way: the arrow keys, then the links.
    first, second = photo_pages[0], photo_pages[1]
    check_page(browser, first, problems)
    click = "document.querySelector('.tessary-nav a[rel=%s]').click()"
    for action, expected, what in (
            (lambda: press(browser, "ArrowRight", 39), second, "the right arrow key on the first"),
            (lambda: press(browser, "ArrowLeft", 37), first, "the left arrow key on the second"),
            (lambda: browser.evaluate(click % "next"), second, "the next link of the first"),
            (lambda: browser.evaluate(click % "prev"), first, "the previous link of the second")):
        follow(browser, action, problems, expected, what + " photo page")
    return len(index_pages) + len(photo_pages)


def check_classic(browser, root, site, problems):
    """Opens the navigation page and every photo page; returns the number of pages."""
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 1200, "height": 1000, "deviceScaleFactor": 1, "mobile": False})
    check_page(browser, root + "index.htm", problems)
    pages = sorted(p for p in os.listdir(site) if p.endswith(".htm") and p != "index.htm")
    if len(pages) != 10:
        problems.append(f"expected 10 photo pages, found {len(pages)}")
    for page in pages:
        if "homeButton" not in check_page(browser, root + urllib.parse.quote(page), problems)["buttons"]:
            problems.append(f"{page}: has no home button")
    # Follow the first page's next button as a visitor would.
    check_page(browser, root + urllib.parse.quote(pages[0]), problems)
    follow(browser, lambda: browser.evaluate("document.getElementById('nextButton').click()"),
           problems, root + urllib.parse.quote(pages[1]), f"the next button of {pages[0]}")
    return len(pages) + 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessary-make", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--style", choices=("classic", "modern"), default="classic")
    parser.add_argument("--template", default="samples/sample.cfg", help="relative to --source-dir")
    parser.add_argument("--site", help="a gallery made beforehand, checked instead of making one")
    args = parser.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("skipped: chromium is not installed (scripts/setup.sh browser installs it)")
        return 77
    photo_dir = os.path.join(args.source_dir, "samples", "photos")
    photos = [p for p in os.listdir(photo_dir) if p.lower().endswith(".jpg")]
    work = tempfile.mkdtemp(prefix="tessary-browser-")
    site = os.path.join(work, "site")
    problems = []
    try:
        if args.site:
            shutil.copytree(args.site, site)
        else:
            style = ["--style", "modern"] if args.style == "modern" else []
            made = subprocess.run([args.tessary_make, "--template", args.template, *style,
                                   "--output-dir", site, "--quiet"],
                                  cwd=args.source_dir, capture_output=True, text=True)
            if made.returncode != 0:
                print(f"tessary-make failed ({made.returncode}): {made.stderr}")
                return 1
        shutil.copytree(os.path.join(args.source_dir, "samples", "images"),
                        os.path.join(site, "images"), dirs_exist_ok=True)

        server = Server(("127.0.0.1", 0), functools.partial(Handler, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        root = f"http://127.0.0.1:{server.server_address[1]}/"
        browser = Browser(chromium, os.path.join(work, "profile"))
        try:
            if args.style == "modern":
                server.image_delay = 0.3
                checked = check_modern(browser, root, photos, problems)
                server.image_delay = 0.0
            else:
                checked = check_classic(browser, root, site, problems)
            browser.send("Page.navigate", {"url": root + "index.htm"})
            browser.wait_for("Page.loadEventFired")
            shot = browser.send("Page.captureScreenshot",
                                {"format": "png", "captureBeyondViewport": True})
            os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
            with open(args.screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        finally:
            browser.close()
            server.shutdown()
        problems += [f"the server was asked for a missing file: {path}" for path in server.missing]
    finally:
        shutil.rmtree(work, ignore_errors=True)

    if problems:
        print("The gallery does not work in the browser:\n  " + "\n  ".join(problems))
        return 1
    print(f"The gallery works in Chromium: {checked} pages checked; screenshot in {args.screenshot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
