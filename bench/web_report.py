#!/usr/bin/env python3
"""Measures the demo's web page and writes its section of docs/performance.md.

    python3 bench/web_report.py BUILD_DIR

BUILD_DIR is a native build with the tests (disco, shims/swap_probe.so) and the page built into
BUILD_DIR/web (ctest -R web.build, or platform/web/build.sh BUILD_DIR/web). Each figure of the
page is set against the desktop demo (or the resources) measured in the same run; the page and the
desktop take turns, three rounds, medians reported. Both render in software: Chromium with
SwiftShader, the desktop with Mesa's llvmpipe under Xvfb, both at 1280 x 720.
"""
import gzip
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path[:0] = [os.path.join(ROOT, "tests", "web"), os.path.join(ROOT, "tests", "e2e")]
from harness import Demo  # noqa: E402
from page import Server, Tab  # noqa: E402

BEGIN, END = "<!-- web page: bench/web_report.py -->", "<!-- end of web page -->"
ROUNDS = 3
SECONDS = 10.0
TICK = os.sysconf("SC_CLK_TCK")
# Time of the demo canvas's first draw call, and a count of its frames (each starts with a clear).
PROBE = """
(() => {
  const clear = WebGLRenderingContext.prototype.clear;
  WebGLRenderingContext.prototype.clear = function (mask) {
    if (this.canvas.id === 'canvas') {
      window.discoFrames = (window.discoFrames || 0) + 1;
      if (!window.discoFirstDraw) window.discoFirstDraw = performance.now();
    }
    return clear.call(this, mask);
  };
})();
"""


def gzipped(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), 6))  # a web server's usual level


def cpu_seconds(pids):
    """User + system CPU of the processes and all their descendants."""
    total, seen, todo = 0, set(), list(pids)
    while todo:
        pid = todo.pop()
        if pid in seen:
            continue
        seen.add(pid)
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
            with open(f"/proc/{pid}/task/{pid}/children") as f:
                todo += [int(child) for child in f.read().split()]
        except FileNotFoundError:
            pass
    return total / TICK


DECODE_MUSIC = """(async () => {
  const bytes = await (await fetch('resources/tralmix.m4a')).arrayBuffer();
  const started = performance.now();
  await new OfflineAudioContext(2, 1, 44100).decodeAudioData(bytes);
  return performance.now() - started; })()"""


def page_run(server):
    """(ms from navigation to the first frame, ms of that after the click, fps, CPU ms per frame,
    ms to decode the music)."""
    tab = Tab(server.url, 1280, 720, before_load=PROBE)
    try:
        tab.wait_for("window.Module && Module.disco.state === 'ready'", "page ready")
        clicked = tab.js("performance.now()")
        tab.click()
        tab.wait_for("window.discoFirstDraw", "the first frame")
        first = tab.js("window.discoFirstDraw")
        tab.wait_for(f"performance.now() > {first} + 2000", "two seconds of warming up")
        frames0, cpu0, wall0 = tab.js("window.discoFrames"), cpu_seconds([tab.browser.process.pid]), time.monotonic()
        tab.wait_for(f"performance.now() > {first} + 2000 + {SECONDS * 1000}", "the measured seconds")
        frames1, cpu1, wall1 = tab.js("window.discoFrames"), cpu_seconds([tab.browser.process.pid]), time.monotonic()
        frames = frames1 - frames0
        decoding = tab.js(DECODE_MUSIC)
        return first, first - clicked, frames / (wall1 - wall0), 1000 * (cpu1 - cpu0) / frames, decoding
    finally:
        tab.close()


def desktop_run(binary):
    """(ms from the process's start to its first frame, fps, CPU ms per frame with Xvfb's)."""
    with Demo(binary, screen="1280x720") as demo:
        demo.wait_for_frames(frames=1)
        first = 1000 * (demo.swaps()[0] - demo.started)
        demo.wait_for_frames(seconds=2.0)
        pids = [demo.process.pid, demo.xvfb.process.pid]
        swaps0, cpu0, wall0 = len(demo.swaps()), cpu_seconds(pids), time.monotonic()
        time.sleep(SECONDS)  # the span measured, not a wait for an event
        swaps1, cpu1, wall1 = len(demo.swaps()), cpu_seconds(pids), time.monotonic()
        frames = swaps1 - swaps0
        return first, frames / (wall1 - wall0), 1000 * (cpu1 - cpu0) / frames


def main():
    build = os.path.abspath(sys.argv[1])
    web = os.path.join(build, "web")
    code = ["index.html", "page.js", "disco.js", "disco.wasm"]
    resources = sorted(os.path.join("resources", n) for n in os.listdir(os.path.join(web, "resources")))
    code_bytes = sum(gzipped(os.path.join(web, n)) for n in code)
    resource_bytes = sum(gzipped(os.path.join(web, n)) for n in resources)
    raw_bytes = sum(os.path.getsize(os.path.join(web, n)) for n in code + resources)
    stripped = os.path.join(build, "disco-stripped")
    subprocess.run(["strip", "-o", stripped, os.path.join(build, "disco")], check=True)
    desktop_bytes = gzipped(stripped)
    os.remove(stripped)

    load_before = os.getloadavg()[0]
    server = Server(web)
    pages, desktops = [], []
    try:
        for _ in range(ROUNDS):
            desktops.append(desktop_run(os.path.join(build, "disco")))
            pages.append(page_run(server))
    finally:
        server.close()
    load_after = os.getloadavg()[0]
    p = [statistics.median(column) for column in zip(*pages)]
    d = [statistics.median(column) for column in zip(*desktops)]

    kb = lambda n: f"{n / 1024:.0f} KB"  # noqa: E731
    section = f"""{BEGIN}
## The web page (`scripts/web.sh`)

The page in Debian's headless Chromium (SwiftShader) against the desktop demo under Xvfb (llvmpipe),
both at 1280x720, in turns, median of {ROUNDS} rounds. Reproduce with `bench/web_report.py BUILD_DIR`
after `ctest -R web.build`.

| Figure | Page | Baseline | Ratio | Note |
|---|---|---|---|---|
| W1 page weight, gzip as served | {kb(code_bytes + resource_bytes)} | {kb(resource_bytes)} | {(code_bytes + resource_bytes) / resource_bytes:.2f}× | baseline: the six resources alone; the code (page, script, wasm) is {kb(code_bytes)} gzipped, the desktop's stripped `disco` {kb(desktop_bytes)}; {kb(raw_bytes)} uncompressed |
| W2 start to first frame | {p[0]:.0f} ms | {d[0]:.0f} ms | {p[0] / d[0]:.2f}× | page: navigation to the demo canvas's first draw, the click given as soon as the page asks for it ({p[1]:.0f} ms of it after the click); desktop: process start to first swap |
| W3 frame rate, 1280x720 | {p[2]:.1f} fps | {d[1]:.1f} fps | {p[2] / d[1]:.2f}× | over {SECONDS:.0f} s after 2 s of warming up |
| W3 CPU per frame, 1280x720 | {p[3]:.1f} ms | {d[2]:.1f} ms | {p[3] / d[2]:.2f}× | all of Chromium's processes; the demo and its Xvfb |

- Machine load average (1 min) {load_before:.1f} before, {load_after:.1f} after: other work shared the two cores.
- W2: the page is ready for the click once the module is compiled and every resource is fetched
  and decoded; decoding the 64 s music track alone (`decodeAudioData`) takes {p[4]:.0f} ms of it. A
  visitor's first click comes later than that, so what a visitor waits for is the time after it.
- W3: each frame goes through emscripten's GL emulation (every quad's vertices, the floor's 100 among them,
  rebuilt in JavaScript), WebGL's checks, Chromium's GPU process with SwiftShader and its compositor; the
  desktop hands the same quads to llvmpipe directly.
{END}"""
    path = os.path.join(ROOT, "docs", "performance.md")
    with open(path) as f:
        text = f.read()
    if BEGIN in text:
        text = text[:text.index(BEGIN)] + section + text[text.index(END) + len(END):]
    else:
        text = text.rstrip("\n") + "\n\n" + section + "\n"
    with open(path, "w") as f:
        f.write(text)
    print(section)


if __name__ == "__main__":
    main()
