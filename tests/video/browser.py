"""Headless Chromium driven over its DevTools pipe: open a page, evaluate a script in it.

Only what the video tests need; Chromium speaks JSON messages ended by a NUL byte on file
descriptors 3 (to it) and 4 (from it) when started with --remote-debugging-pipe.
"""
import json
import os
import shutil
import subprocess
import tempfile
import time


class Chromium:
    FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--autoplay-policy=no-user-gesture-required", "--remote-debugging-pipe"]

    def __init__(self, binary=None, flags=()):
        self.binary = binary or shutil.which("chromium") or shutil.which("chromium-browser")
        self.profile = tempfile.mkdtemp(prefix="disco-chromium-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def wire():  # the child's descriptors 3 and 4, whatever numbers the pipes got here
            reading, writing = os.dup(to_browser_read), os.dup(from_browser_write)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen([self.binary, *self.FLAGS, *flags, f"--user-data-dir={self.profile}", "about:blank"],
                                        preexec_fn=wire, close_fds=False,  # wire() sets 3 and 4 up
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []  # what the browser reported on its own (console lines, exceptions), in order

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def call(self, method, params=None, session=None, deadline=60):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        end = time.monotonic() + deadline
        while True:
            while b"\0" not in self.buffer:
                if time.monotonic() > end:
                    raise TimeoutError(f"{method}: no answer in {deadline} s")
                chunk = os.read(self.from_browser, 1 << 16)
                if not chunk:
                    raise RuntimeError(f"{method}: chromium went away")
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(raw)
            if "method" in reply:
                self.events.append(reply)
            elif reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def open(self, url):
        """A new tab at `url`; returns its session for evaluate()."""
        target = self.call("Target.createTarget", {"url": url})["targetId"]
        return self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]

    def evaluate(self, session, expression, deadline=60):
        """The value of `expression` in the page, awaited if it is a promise."""
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session, deadline)
        if "exceptionDetails" in result:
            raise RuntimeError(f"page script failed: {result['exceptionDetails']}")
        return result["result"].get("value")
