"""Headless Chromium on the demo's web page: a static server for the built folder, and one tab at
a fixed size that the tests and bench/web_report.py drive."""
import base64
import functools
import http.server
import math
import os
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "e2e"), os.path.join(HERE, "..", "video")]
from browser import Chromium  # noqa: E402
from harness import parse_ppm, wait_until  # noqa: E402

# The GL driver's note that reading the decoded images back waits for it: not a fault.
HARMLESS = ("GL Driver Message (OpenGL, Performance",)


class Server:
    """A static web server for one folder on a free port, as any host would serve the page."""

    def __init__(self, folder):
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def handle(self):
                try:
                    super().handle()
                except ConnectionError:
                    pass  # the browser dropped a connection it no longer needed

        handler = functools.partial(Quiet, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def png_image(data):
    return parse_ppm(subprocess.run(["convert", "png:-", "ppm:-"], input=data, capture_output=True, check=True).stdout)


def psnr(a, b):
    squared = sum((x - y) ** 2 for x, y in zip(a.data, b.data))
    return math.inf if squared == 0 else 10 * math.log10(255 ** 2 * len(a.data) / squared)


class Tab:
    """One page in its own headless Chromium, at a fixed size in CSS pixels with one device pixel
    each, or as a phone: three device pixels to a CSS pixel and a touch screen instead of a mouse.
    `binary`: another Chromium (a script running it elsewhere); `network`: its Network events kept
    from the first request on."""

    def __init__(self, url, width=1280, height=720, before_load=None, phone=False, binary=None, network=False):
        self.browser = Chromium(binary, flags=[f"--window-size={width},{height}", "--enable-unsafe-swiftshader"])
        self.session = self.browser.open("about:blank")
        for domain in ("Runtime.enable", "Log.enable", "Page.enable") + (("Network.enable",) if network else ()):
            self.browser.call(domain, {}, self.session)
        self.browser.call("Emulation.setDeviceMetricsOverride", {"width": width, "height": height, "mobile": phone,
                                                                 "deviceScaleFactor": 3 if phone else 1}, self.session)
        if phone:
            self.browser.call("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5}, self.session)
        if before_load:
            self.browser.call("Page.addScriptToEvaluateOnNewDocument", {"source": before_load}, self.session)
        self.browser.call("Page.navigate", {"url": url}, self.session)

    def close(self):
        self.browser.close()

    def reload(self):
        """Loads the page again, and waits until the new document is the one answering."""
        self.js("window.discoBefore = true")
        self.browser.call("Page.reload", {}, self.session)
        self.wait_for("!window.discoBefore", "the page loaded again")

    def js(self, expression):
        return self.browser.evaluate(self.session, expression)

    def wait_for(self, expression, what):
        wait_until(lambda: self.js(expression), what)

    def state(self):
        return self.js("window.Module && Module.disco.state")

    def click(self, x=300, y=300):
        for kind in ("mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                           "clickCount": 1}, self.session)

    def tap(self, x=200, y=300):
        self.browser.call("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [{"x": x, "y": y}]},
                          self.session)
        self.browser.call("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []}, self.session)

    def key(self, kind, key, code, keycode):
        self.browser.call("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": code,
                                                     "windowsVirtualKeyCode": keycode}, self.session)

    def press(self, key="a", code="KeyA", keycode=65):
        self.key("keyDown", key, code, keycode)
        self.key("keyUp", key, code, keycode)

    def console(self):
        """(level, text) of every console line and browser log entry so far."""
        lines = []
        for event in self.browser.events:
            if event["method"] == "Runtime.consoleAPICalled":
                params = event["params"]
                lines.append((params["type"], " ".join(str(a.get("value", a.get("description"))) for a in params["args"])))
            elif event["method"] == "Runtime.exceptionThrown":
                lines.append(("error", str(event["params"]["exceptionDetails"])))
            elif event["method"] == "Log.entryAdded":
                lines.append((event["params"]["entry"]["level"], event["params"]["entry"]["text"]))
        return lines

    def troubles(self):
        """The console's errors and warnings."""
        return [line for line in self.console()
                if line[0] in ("error", "warning", "assert") and not any(h in line[1] for h in HARMLESS)]

    def frame_drawn(self):
        """A screenshot of the page with lit pixels in it, or None."""
        shot = self.browser.call("Page.captureScreenshot", {"format": "png"}, self.session)
        image = png_image(base64.b64decode(shot["data"]))
        return image if sum(1 for i in range(0, len(image.data), 301) if image.data[i] > 40) > 100 else None
