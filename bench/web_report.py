#!/usr/bin/env python3
"""Measures the demo's web page and writes its section of docs/performance.md.

    python3 bench/web_report.py BUILD_DIR --before BEFORE_PAGE [--page PAGE]

BUILD_DIR is a native build with the tests (disco, shims/swap_probe.so, record_web_frames)
and the page built into BUILD_DIR/web (ctest -R web.build, or platform/web/build.sh BUILD_DIR/web),
or in PAGE. BEFORE_PAGE is an earlier build of the page to set it against (platform/web/build.sh
run from an older checkout). Four contenders take turns at each size, three rounds, medians
reported: the page, the earlier page, the plain WebGL page (bench/web_baseline: the demo's frames
as recorded from its GL layer, drawn with nothing but raw WebGL calls) and the desktop demo. All
render in software: Chromium with SwiftShader, the desktop with Mesa's llvmpipe under Xvfb.
"""
import argparse
import gzip
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path[:0] = [os.path.join(ROOT, "tests", "web"), os.path.join(ROOT, "tests", "e2e")]
from harness import Demo  # noqa: E402
from page import Server, Tab  # noqa: E402

BEGIN, END = "<!-- web page: bench/web_report.py -->", "<!-- end of web page -->"
ROUNDS = 3
SECONDS = 10.0
SIZES = [(1280, 720), (320, 180)]
# The scene's first 16 s at 60 Hz: what the demo draws over the measured span, which the plain
# page draws at the same moments (later frames cover more of the canvas: the scroller's letters).
RECORDED_FRAMES = 960
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


def measured(process, frames_now):
    """(fps, CPU ms per frame) over SECONDS, after two seconds of warming up."""
    time.sleep(2.0)  # the spans measured, not waits for an event
    frames0, cpu0, wall0 = frames_now(), cpu_seconds(process), time.monotonic()
    time.sleep(SECONDS)
    frames1, cpu1, wall1 = frames_now(), cpu_seconds(process), time.monotonic()
    frames = frames1 - frames0
    return frames / (wall1 - wall0), 1000 * (cpu1 - cpu0) / frames


def page_run(url, size, demo=True, decode=False):
    """(ms from navigation to the first frame, ms of that after the click, fps, CPU ms per frame,
    ms to decode the music). The plain WebGL page starts without a click; its second is 0."""
    tab = Tab(url, *size, before_load=PROBE)
    try:
        clicked = 0
        if demo:
            tab.wait_for("window.Module && Module.disco.state === 'ready'", "page ready")
            clicked = tab.js("performance.now()")
            tab.click(size[0] // 2, size[1] // 2)
        tab.wait_for("window.discoFirstDraw", "the first frame")
        first = tab.js("window.discoFirstDraw")
        fps, cpu = measured([tab.browser.process.pid], lambda: tab.js("window.discoFrames"))
        drawn = tab.js("(c => [c.width, c.height])(document.getElementById('canvas'))")
        if tuple(drawn) != size:
            raise RuntimeError(f"{url}: a {drawn[0]}x{drawn[1]} canvas, not {size[0]}x{size[1]}")
        decoding = tab.js(DECODE_MUSIC) if decode else 0
        return first, first - clicked if demo else 0, fps, cpu, decoding
    finally:
        tab.close()


def desktop_run(binary, size):
    """(ms from the process's start to its first frame, fps, CPU ms per frame with Xvfb's)."""
    with Demo(binary, screen=f"{size[0]}x{size[1]}") as demo:
        demo.wait_for_frames(frames=1)
        first = 1000 * (demo.swaps()[0] - demo.started)
        fps, cpu = measured([demo.process.pid, demo.xvfb.process.pid], lambda: len(demo.swaps()))
        if demo.viewport()[2:] != size:
            raise RuntimeError(f"the desktop demo drew at {demo.viewport()}, not {size}")
        return first, fps, cpu


def weight(folder):
    """(code gzipped, resources gzipped, everything uncompressed) in bytes: the code is every file
    but the pictures and music (the page, its scripts, the WebAssembly, the manifest, the worker)."""
    files = sorted(os.path.relpath(os.path.join(at, n), folder) for at, _, names in os.walk(folder) for n in names)
    resources = [n for n in files if n.startswith(("resources" + os.sep, "icons" + os.sep))]
    code = [n for n in files if n not in resources]
    return (sum(gzipped(os.path.join(folder, n)) for n in code),
            sum(gzipped(os.path.join(folder, n)) for n in resources),
            sum(os.path.getsize(os.path.join(folder, n)) for n in files))


def plain_page(build, size, folder):
    """The plain WebGL page in `folder`, with the demo's frames recorded at `size`."""
    for name in ("index.html", "replay.js"):
        shutil.copy(os.path.join(HERE, "web_baseline", name), folder)
    subprocess.run([os.path.join(build, "record_web_frames"), os.path.join(folder, "frames.bin"), str(size[0]),
                    str(size[1]), str(RECORDED_FRAMES)], cwd=build, check=True, stderr=subprocess.DEVNULL)


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    arguments.add_argument("build")
    arguments.add_argument("--before", required=True, help="an earlier build of the page")
    arguments.add_argument("--page", help="the page's folder (default BUILD/web)")
    options = arguments.parse_args()
    build = os.path.abspath(options.build)
    web = os.path.abspath(options.page or os.path.join(build, "web"))
    before = os.path.abspath(options.before)
    code_bytes, resource_bytes, raw_bytes = weight(web)
    before_code, before_resources, _ = weight(before)
    stripped = os.path.join(build, "disco-stripped")
    subprocess.run(["strip", "-o", stripped, os.path.join(build, "disco")], check=True)
    desktop_bytes = gzipped(stripped)
    os.remove(stripped)

    scratch = tempfile.mkdtemp(prefix="disco-web-report-")
    servers = {"page": Server(web), "before": Server(before)}
    for size in SIZES:
        folder = os.path.join(scratch, f"{size[0]}x{size[1]}")
        os.mkdir(folder)
        plain_page(build, size, folder)
        servers[size] = Server(folder)
    load_before = os.getloadavg()[0]
    runs = {}  # (contender, size): one tuple of figures a round
    try:
        for round_ in range(ROUNDS):
            for size in SIZES:
                turns = [("desktop", lambda: desktop_run(os.path.join(build, "disco"), size)),
                         ("page", lambda: page_run(servers["page"].url, size, decode=size == SIZES[0])),
                         ("before", lambda: page_run(servers["before"].url, size)),
                         ("plain", lambda: page_run(servers[size].url, size, demo=False))]
                # Each round in another order: none always follows the desktop's Xvfb going down.
                for who, run in turns[round_:] + turns[:round_]:
                    runs.setdefault((who, size), []).append(run())
    finally:
        for server in servers.values():
            server.close()
        shutil.rmtree(scratch)
    load_after = os.getloadavg()[0]
    m = {key: [statistics.median(column) for column in zip(*rounds)] for key, rounds in runs.items()}
    big, small = SIZES
    p, b, d = m[("page", big)], m[("before", big)], m[("desktop", big)]

    kb = lambda n: f"{n / 1024:.0f} KB"  # noqa: E731

    def target(ratio, limit, sign):
        met = {"<": ratio < limit, "≤": ratio <= limit, "≥": ratio >= limit}[sign]
        return f"{sign} {limit:.2f}×: {'met' if met else '**not met**'}"

    def frame_rows(size, name):
        page, earlier, plain, desktop = (m[(who, size)] for who in ("page", "before", "plain", "desktop"))
        at = 2 if name == "fps" else 3  # the page runs' columns
        figures = (page[at], earlier[at], plain[at], desktop[at - 1])
        unit = " fps" if name == "fps" else " ms"
        cells = " | ".join(f"{v:.1f}{unit}" for v in figures)
        ratio = page[at] / plain[at]
        return cells, f"{ratio:.2f}× plain (before {earlier[at] / plain[at]:.2f}×, desktop {desktop[at - 1] / plain[at]:.2f}×)", ratio

    def each_round(size):
        return ", ".join(f"{page[2] / plain[2]:.2f}" for page, plain in zip(runs[("page", size)], runs[("plain", size)]))

    fps_big, fps_big_ratio, fps_big_r = frame_rows(big, "fps")
    cpu_big, cpu_big_ratio, cpu_big_r = frame_rows(big, "cpu")
    fps_small, fps_small_ratio, _ = frame_rows(small, "fps")
    cpu_small, cpu_small_ratio, cpu_small_r = frame_rows(small, "cpu")
    section = f"""{BEGIN}
## The web page (`scripts/web.sh`)

The page in Debian's headless Chromium (SwiftShader) against three baselines measured in the same
run, in turns, median of {ROUNDS} rounds: the page as it was before (its own build, `--before`); the
plain WebGL page (bench/web_baseline: the demo's frames as its GL layer hands them to WebGL,
recorded by `record_web_frames`, drawn with raw WebGL 1, one upload of vertices and one of indices
a frame, a call per draw: the least a GL layer could cost); and the desktop demo under Xvfb
(llvmpipe). Reproduce with `bench/web_report.py BUILD_DIR --before BEFORE_PAGE` after
`ctest -R web.build`.

| Figure | Page | Before | Plain WebGL | Desktop | Page ÷ baseline | Target |
|---|---|---|---|---|---|---|
| W1 code, gzip as served | {kb(code_bytes)} | {kb(before_code)} | | {kb(desktop_bytes)} | {code_bytes / before_code:.2f}× before | {target(code_bytes / before_code, 1.0, '<')} |
| W1 resources, gzip as served | {kb(resource_bytes)} | {kb(before_resources)} | | | {resource_bytes / before_resources:.2f}× before | |
| W2 navigation to first frame | {p[0]:.0f} ms | {b[0]:.0f} ms | | {d[0]:.0f} ms | {p[0] / b[0]:.2f}× before | |
| W2 click to first frame | {p[1]:.0f} ms | {b[1]:.0f} ms | | | {p[1] / b[1]:.2f}× before | |
| W3 frame rate, 1280x720 | {fps_big} | {fps_big_ratio} | {target(fps_big_r, 0.9, '≥')} |
| W3 CPU per frame, 1280x720 | {cpu_big} | {cpu_big_ratio} | {target(cpu_big_r, 1.2, '≤')} |
| W4 frame rate, 320x180 | {fps_small} | {fps_small_ratio} | |
| W4 CPU per frame, 320x180 | {cpu_small} | {cpu_small_ratio} | {target(cpu_small_r, 1.3, '≤')} |

- The page's frame rate over the plain page's, each round: {each_round(big)} at 1280x720, {each_round(small)} at 320x180.
- Machine load average (1 min) {load_before:.1f} before, {load_after:.1f} after: other work shared the two cores.
- W1: code is every file of the page but its pictures and music (the page, its scripts, the
  WebAssembly, the manifest and the service worker); resources include the page's icons. The
  desktop's code is its stripped `disco`.
  Everything uncompressed: {kb(raw_bytes)}.
- W2: the page is ready for the click once the module is compiled and every resource is fetched
  and decoded; decoding the 64 s music track alone (`decodeAudioData`) takes {p[4]:.0f} ms of it. A
  visitor's first click comes later than that, so what a visitor waits for is the time after it.
  The desktop's: process start to first swap.
- W3, W4: over {SECONDS:.0f} s after 2 s of warming up; CPU is all of Chromium's processes, or the
  desktop demo and its Xvfb. In brackets, the earlier page's and the desktop's figure over the plain
  page's. The 320x180 canvas leaves little to fill: what is left is the cost of the calls themselves.
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
