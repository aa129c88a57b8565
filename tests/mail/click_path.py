#!/usr/bin/env python3
"""A real click on the button of each page in a table, in Chromium and in
Firefox (Debian's own, with a window, under Xvfb), and the URL that the
desktop's mail program gets: it must be what handoff.py says, byte for byte,
for the link's URL as that browser reads it (a.href), and nothing at all
where handoff.py says None.

Usage: click_path.py --exe KUVERTPFEIL --workdir DIR [unittest options, e.g. -k firefox]

Everything lives in DIR, made anew: a throwaway home and XDG folders, where
xdg-mime registers as the mailto handler a script that keeps its arguments,
a file per start, and each browser's profile. The pages come from a web
server of ours on 127.0.0.1. Our own page there reads each page in a hidden
frame first and reports the link's a.href and where the button lands on the
screen; a click on that page opens the page itself, and xdotool moves the
pointer onto the button and clicks, once the browser shows the button's
hover colour there (read from the screen with xwd): the page is drawn and
takes input. Each browser starts once for the whole table and goes back to
our page (Alt+Left) for the next. Xvfb and the browsers are ended with
their process groups."""

import argparse
import contextlib
import html
import http.server
import itertools
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import handoff  # noqa: E402


def page(name="Max Mustermann", address="max.mustermann@example.com", subject="Anfrage",
         message=b"Hallo,\nbis bald!\n"):
    return {"fields": (name, address, subject), "message": message}


def hand(href):
    """The plain page with another link, for what the program cannot write."""
    return dict(page(), href=href)


# A link as long as one argument can be, and one byte longer, as both
# browsers hand it on (they keep every byte of it as it is).
EDGE = "mailto:max.mustermann@example.com?body="
CASES = [
    ("plain", page()),
    ("umlauts in the name", page(name="Jürgen Müller")),
    ("an enclosed name", page(name="&quot;Mustermann, Max&quot;")),
    ("{|} and \\ in the subject", page(subject="Tabelle {a|b} C:\\Temp")),
    ("{|} and \\ in the message", page(message=b"Menge {1|2}\nC:\\Temp\\neu\n")),
    ("umlauts, ` ^ \" < > and DEL in the subject",
     page(subject="Gr&uuml;&szlig;e `x` ^2 &quot;a&quot; &lt;b&gt; c&#127;d")),
    ("a lone %", page(subject="20% Rabatt")),
    ("the punctuation both browsers keep", page(subject="a-b_c.d!e~f*g'h(i)j;k/l:m@n+o$p,q[r]s")),
    ("a NUL byte in the message", page(message=b"vor\0nach\n")),
    ("a message just short of the limit", page(message=b" " * 43000)),
    ("a message past the limit", page(message=b" " * 44000)),
    ("a link that ends in ?", hand("mailto:max.mustermann@example.com?subject=Frage?")),
    ("a link that ends in &", hand("mailto:max.mustermann@example.com?subject=Frage&")),
    ("a link of 131,071 bytes", hand(EDGE + "x" * (131071 - len(EDGE)))),
    ("a link of 131,072 bytes", hand(EDGE + "x" * (131072 - len(EDGE)))),
]

# Our page: it asks for the next page to click, reads it in a hidden frame
# of the window's size and reports the link's a.href, the middle of the
# button's first line on the screen, a point on its left padding and the
# colour that a.endverweis:hover gives it there, and the middle of the
# window, where a link to the page then covers it all (in our own hover
# colour once the pointer is on it). The page is opened by a click on that
# link: Chromium's Back skips a page that went on by itself.
OUR_HOVER = [0x00, 0xCC, 0x00]
MEASURE = b"""<!doctype html>
<title>Messung</title>
<style>html, body { margin: 0 }
iframe { position: fixed; top: 0; left: 0; width: 100%; height: 100%; border: 0;
         visibility: hidden }
a { position: fixed; top: 0; left: 0; width: 100%; height: 100%; background: #ccc }
a:hover { background: #00cc00 }</style>
<body>
<script>
addEventListener('pageshow', async () => {
  document.body.replaceChildren();
  const n = await (await fetch('/next', { cache: 'no-store' })).text();
  if (n === '') return;
  const frame = document.createElement('iframe');
  frame.onload = async () => {
    const a = frame.contentDocument.querySelector('a.endverweis');
    const box = a.getClientRects()[0];
    const hover = [...frame.contentDocument.styleSheets].flatMap((s) => [...s.cssRules])
      .find((rule) => rule.selectorText === 'a.endverweis:hover');
    const left = window.mozInnerScreenX ?? screenX + (outerWidth - innerWidth) / 2;
    const top = window.mozInnerScreenY ?? screenY + outerHeight - innerHeight;
    const go = document.createElement('a');
    go.href = `/p/${n}`;
    document.body.append(go);
    const y = top + box.top + box.height / 2;
    await fetch(`/report/${n}`, { method: 'POST', body: JSON.stringify({
      href: a.href, button: [left + box.left + box.width / 2, y], padding: [left + box.left + 6, y],
      hover: hover?.style.backgroundColor.match(/\d+/g).map(Number),
      middle: [left + innerWidth / 2, top + innerHeight / 2] }) });
  };
  frame.src = `/p/${n}`;
  document.body.append(frame);
});
</script>
"""

START_TIMEOUT = 60
LOAD_TIMEOUT = 30
LAUNCH_TIMEOUT = 60
# How long a click that should start nothing is given to start something:
# 5 s, or three times the slowest start yet on a busy machine.
NOTHING_WAIT = 5

FIREFOX_PREFS = {
    # mailto goes to the desktop's handler without a question. These are
    # Firefox ESR's defaults already (it asks nothing without them either),
    # set so that a changed default cannot slip a dialog in.
    "network.protocol-handler.external.mailto": True,
    "network.protocol-handler.warn-external.mailto": False,
    "security.external_protocol_requires_permission": False,
    # No first-run pages, no calls home.
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "startup.homepage_welcome_url": "",
    "browser.aboutwelcome.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.auto": False,
    "extensions.blocklist.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "services.settings.server": "data:,#remote-settings-dummy/v1",
    "toolkit.telemetry.enabled": False,
}


def write_pages(exe, folder):
    pages = []
    for n, (label, case) in enumerate(CASES):
        # Short names, in the folder: the program opens no name over 99 bytes.
        target = os.path.join(folder, f"{n:02}.html")
        with open(target + ".msg", "wb") as f:
            f.write(case["message"])
        run = subprocess.run([exe, *case["fields"], f"{n:02}.html.msg", f"{n:02}.html", "-h"],
                             cwd=folder, capture_output=True)
        if run.returncode != 0:
            raise RuntimeError(f"{label}: exit {run.returncode}: {run.stdout!r}")
        with open(target, "rb") as f:
            text = f.read()
        if "href" in case:
            text, count = re.subn(rb'href="[^"]*"', f'href="{html.escape(case["href"])}"'.encode(),
                                  text)
            assert count == 1, label
            with open(target, "wb") as f:
                f.write(text)
        pages.append(text)
    return pages


class Site:
    """The pages on 127.0.0.1, and what the browser reported and loaded."""

    def __init__(self, pages):
        self.pages = pages
        self.changed = threading.Condition()
        self.restart()
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def answer(self, body):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Cache-Control", "no-store")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                match = re.fullmatch(r"/p/(\d+)", self.path)
                if self.path == "/":
                    self.answer(MEASURE)
                elif self.path == "/next":
                    with site.changed:
                        left = [n for n in range(len(pages)) if n not in site.reports]
                    self.answer(str(left[0]).encode() if left else b"")
                elif match and int(match[1]) < len(pages):
                    n = int(match[1])
                    self.answer(pages[n])
                    with site.changed:
                        site.loads[n] += 1
                        site.changed.notify_all()
                else:
                    self.send_error(404)

            def do_POST(self):
                match = re.fullmatch(r"/report/(\d+)", self.path)
                report = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
                if not match:
                    self.send_error(404)
                    return
                self.send_response(204)
                self.end_headers()
                with site.changed:
                    site.reports[int(match[1])] = report
                    site.changed.notify_all()

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def restart(self):
        with self.changed:
            self.reports = {}
            self.loads = [0] * len(self.pages)

    def wait(self, condition, timeout, what):
        with self.changed:
            if not self.changed.wait_for(condition, timeout):
                raise RuntimeError(f"{what} within {timeout} s")


class Desktop:
    """Xvfb, and for each browser a throwaway home with a mailto handler;
    every process started here is in a process group of its own."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.groups = []
        self.display = self.start_xvfb()

    def home(self, browser):
        """A fresh home for one browser, with xdg-mime's mailto handler: the
        environment to start it in, and the folder of what the handler got."""
        folder = os.path.join(self.workdir, browser)
        xdg = {key: os.path.join(folder, "home", sub) for key, sub in (
            ("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME", ".local/share"),
            ("XDG_CACHE_HOME", ".cache"), ("XDG_RUNTIME_DIR", "runtime"))}
        for sub in xdg.values():
            os.makedirs(sub, mode=0o700)
        env = dict(xdg, HOME=os.path.join(folder, "home"), DISPLAY=self.display,
                   PATH="/usr/local/bin:/usr/bin:/bin", LANG="C.UTF-8",
                   # No session bus: xdg-email finds no desktop of its own
                   # (GNOME, KDE ...) and runs xdg-open.
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={folder}/no-bus")
        launched = os.path.join(folder, "launched")
        os.makedirs(launched)
        handler = os.path.join(folder, "mailto-handler")
        with open(handler, "w") as f:
            f.write("#!/bin/sh\n# Keeps its arguments, each ended by a NUL, in a file per start.\n"
                    f"out={launched}/$$\n"
                    "printf '%s\\0' \"$@\" >\"$out.part\" && mv \"$out.part\" \"$out\"\n")
        os.chmod(handler, 0o755)
        applications = os.path.join(xdg["XDG_DATA_HOME"], "applications")
        os.makedirs(applications)
        with open(os.path.join(applications, "x.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Mailprogramm\nNoDisplay=true\n"
                    f"Exec={handler} %u\nMimeType=x-scheme-handler/mailto;\n")
        subprocess.run(["xdg-mime", "default", "x.desktop", "x-scheme-handler/mailto"],
                       env=env, check=True)
        return env, launched

    def start(self, argv, env, log):
        with open(log, "wb") as out:
            proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, start_new_session=True)
        self.groups.append(proc)
        return proc

    def start_xvfb(self):
        read, write = os.pipe()
        with open(os.path.join(self.workdir, "xvfb.log"), "wb") as out:
            self.groups.append(subprocess.Popen(
                ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                 "-nolisten", "tcp"],
                pass_fds=[write], stdout=out, stderr=subprocess.STDOUT, start_new_session=True))
        os.close(write)
        with os.fdopen(read) as f:
            if not select.select([f], [], [], START_TIMEOUT)[0]:
                raise RuntimeError(f"Xvfb gave no display within {START_TIMEOUT} s")
            return ":" + f.readline().strip()

    def end(self, proc):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()

    def end_all(self):
        for proc in reversed(self.groups):
            self.end(proc)

    def run(self, *argv):
        return subprocess.run(argv, env={"DISPLAY": self.display, "PATH": "/usr/bin:/bin"},
                              check=True, capture_output=True, timeout=LOAD_TIMEOUT).stdout

    def colour(self, x, y):
        """The colour of one pixel of the screen, from xwd's dump of it."""
        dump = self.run("xwd", "-root", "-silent")
        (header_size, _, _, depth, _, _, _, byte_order, _, _, _, bits, line, _, red, green, blue,
         _, _, colours) = struct.unpack(">20I", dump[:80])
        assert depth == 24 and bits == 32, (depth, bits)
        start = header_size + 12 * colours + y * line + 4 * x
        value = int.from_bytes(dump[start:start + 4], "big" if byte_order else "little")
        return tuple((value & mask) // (mask & -mask) for mask in (red, green, blue))

    def click_on(self, point, probe, hover):
        """Clicks at point once the screen shows the hover colour at probe."""
        x, y = round(point[0]), round(point[1])
        deadline = time.monotonic() + LOAD_TIMEOUT
        for jiggle in itertools.count():
            self.run("xdotool", "mousemove", str(x + jiggle % 2), str(y))
            if list(self.colour(round(probe[0]), round(probe[1]))) == hover:
                break
            if time.monotonic() > deadline:
                raise RuntimeError(f"no hover colour {hover} at {probe} within {LOAD_TIMEOUT} s")
            time.sleep(0.05)
        self.run("xdotool", "click", "1")


def start_chromium(desktop, env, folder, url):
    return desktop.start([
        "/usr/bin/chromium", "--no-sandbox", "--user-data-dir=" + os.path.join(folder, "profile"),
        "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--disable-gpu", "--disable-quic",
        "--password-store=basic", "--window-position=0,0", "--window-size=1280,800", url],
        env, os.path.join(folder, "browser.log"))


def start_firefox(desktop, env, folder, url):
    profile = os.path.join(folder, "profile")
    os.makedirs(profile)
    with open(os.path.join(profile, "user.js"), "w") as f:
        f.writelines(f"user_pref({json.dumps(k)}, {json.dumps(v)});\n"
                     for k, v in FIREFOX_PREFS.items())
    # Release builds take services.settings.server only with this set.
    return desktop.start(["/usr/bin/firefox-esr", "--no-remote", "--profile", profile,
                          "-width", "1280", "-height", "800", url],
                         dict(env, MOZ_REMOTE_SETTINGS_DEVTOOLS="1"),
                         os.path.join(folder, "browser.log"))


BROWSERS = {"chromium": start_chromium, "firefox": start_firefox}


def starts(launched):
    return {name for name in os.listdir(launched) if not name.endswith(".part")}


def arguments(launched, names):
    """The arguments of each start (a list of bytes each), in order of start."""
    result = []
    for name in sorted(names, key=lambda name: os.stat(os.path.join(launched, name)).st_mtime):
        with open(os.path.join(launched, name), "rb") as f:
            result.append(f.read().split(b"\0")[:-1])
    return result


def click_through(desktop, site, browser):
    """Each case's a.href and the arguments of each start its click brought,
    and the starts that came at no click's time."""
    site.restart()
    env, launched = desktop.home(browser)
    results = []
    slowest = 0
    proc = BROWSERS[browser](desktop, env, os.path.dirname(launched), site.url)
    try:
        for n in range(len(CASES)):
            if n:
                desktop.run("xdotool", "key", "alt+Left")
            site.wait(lambda: n in site.reports, START_TIMEOUT if n == 0 else LOAD_TIMEOUT,
                      f"no report on page {n}")
            report = site.reports[n]
            desktop.click_on(report["middle"], report["middle"], OUR_HOVER)
            site.wait(lambda: site.loads[n] >= 2, LOAD_TIMEOUT, f"page {n} not opened")
            before = starts(launched)
            desktop.click_on(report["button"], report["padding"], report["hover"])
            clicked = time.monotonic()
            nothing = handoff.handed_on(report["href"])[browser] is None
            deadline = clicked + (max(NOTHING_WAIT, 3 * slowest) if nothing else LAUNCH_TIMEOUT)
            while not starts(launched) - before and time.monotonic() < deadline:
                time.sleep(0.05)
            if starts(launched) - before:
                slowest = max(slowest, time.monotonic() - clicked)
            time.sleep(0.3)  # a second start would come at once with the first
            results.append((report["href"], starts(launched) - before))
    finally:
        desktop.end(proc)
    stray = starts(launched) - set().union(*(names for _, names in results))
    return [(href, arguments(launched, names)) for href, names in results], stray


def shown(url):
    return f"{url[:90]}... ({len(url)} bytes)" if len(url) > 100 else url


def difference(got, expected):
    """None where the starts are the one expected, else what differs."""
    want = [] if expected is None else [[expected.encode()]]
    if got == want:
        return None
    if expected is None:
        return f"nothing should start, but {len(got)} started: {got!r:.300}"
    if len(got) != 1 or len(got[0]) != 1:
        return f"one start with one argument should come, but: {got!r:.300}"
    url = got[0][0].decode("utf-8", "replace")
    at = next((i for i, (a, b) in enumerate(zip(url, expected)) if a != b),
              min(len(url), len(expected)))
    return (f"differs from byte {at} on:\n  got      {url[max(0, at - 40):at + 60]!r}"
            f" ({len(url)} bytes)\n  expected {expected[max(0, at - 40):at + 60]!r}"
            f" ({len(expected)} bytes)")


class ClickPath(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OPTIONS.workdir, ignore_errors=True)
        os.makedirs(os.path.join(OPTIONS.workdir, "pages"))
        cls.site = Site(write_pages(OPTIONS.exe, os.path.join(OPTIONS.workdir, "pages")))
        cls.desktop = Desktop(OPTIONS.workdir)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.end_all()
        cls.site.server.shutdown()

    def check(self, browser):
        began = time.monotonic()
        results, stray = click_through(self.desktop, self.site, browser)
        print(f"\n{browser}: {len(CASES)} clicks in {time.monotonic() - began:.0f} s")
        for (label, _), (href, got) in zip(CASES, results):
            handed = " | ".join(shown(a.decode("utf-8", "replace")) for start in got for a in start)
            print(f"  {label}: {handed or 'nothing started'}")
            with self.subTest(browser=browser, case=label):
                wrong = difference(got, handoff.handed_on(href)[browser])
                self.assertIsNone(wrong, f"a.href {shown(href)}: {wrong}")
        self.assertEqual(stray, set(), "starts that came at no click's time")

    def test_chromium(self):
        self.check("chromium")

    def test_firefox(self):
        self.check("firefox")


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--workdir", required=True)
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.workdir = os.path.abspath(OPTIONS.workdir)
    unittest.main(argv=sys.argv[:1] + rest, verbosity=2)
