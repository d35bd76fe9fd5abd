"""The demo's web page in headless Chromium: the frame against disco-capture's, the looks, a quiet
console, the music's seam, starting on a click and ending on a key, the screen kept on, the ball in
the page, missing or damaged files, and the page installed and played offline.

usage: test_page.py BUILT_PAGE_FOLDER DISCO_CAPTURE DESKTOP_TRACK
"""
import base64
import os
import re
import shutil
import subprocess
import sys
import struct
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources"))
from page import HARMLESS, Server, Tab, png_image, psnr  # noqa: E402
from harness import wait_until  # noqa: E402
import png  # noqa: E402

PAGE = os.path.abspath(sys.argv.pop(1))
CAPTURE = os.path.abspath(sys.argv.pop(1))
DESKTOP_TRACK = os.path.abspath(sys.argv.pop(1))
TRACK = "resources/tralmix.m4a"
# The most draw calls the demo's canvas made in one frame (each frame starts with a clear).
COUNT_DRAWS = """(() => {
  const gl = WebGLRenderingContext.prototype, ours = c => c.canvas.id === 'canvas';
  let drawn = 0;
  window.discoMostDraws = 0;
  const clear = gl.clear;
  gl.clear = function (mask) { if (ours(this)) drawn = 0; return clear.call(this, mask); };
  for (const name of ['drawArrays', 'drawElements']) {
    const draw = gl[name];
    gl[name] = function (...args) {
      if (ours(this)) window.discoMostDraws = Math.max(window.discoMostDraws, ++drawn);
      return draw.apply(this, args);
    };
  }
})();"""

# The screen wake locks Chromium gives the page.
WATCH_WAKE_LOCK = "const request = WakeLock.prototype.request; window.discoWakeLocks = []; WakeLock.prototype.request" \
                  " = function (type) { return request.call(this, type).then(l => (discoWakeLocks.push(l), l)); };"
SCREEN_KEPT_ON = "discoWakeLocks.some(lock => !lock.released)"


class PageTest(unittest.TestCase):
    folder = PAGE

    @classmethod
    def setUpClass(cls):
        cls.server = Server(cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def open(self, query="", **options):
        tab = Tab(self.server.url + query, **options)
        self.addCleanup(tab.close)
        return tab

    def started(self, **options):
        return self.start(self.open(**options), options.get("phone"))

    def start(self, tab, phone=False):
        tab.wait_for("window.Module && Module.disco.state === 'ready'", "page ready for a click")
        # A touch screen is asked for a tap, anything else for a click or a key.
        self.assertIn("Tap to start" if phone else "Click or press", tab.js("document.getElementById('note').textContent"))
        tab.tap() if phone else tab.click()
        tab.wait_for("Module.disco.state === 'running'", "demo running after the click or tap")
        return tab


class AlteredPage(PageTest):
    """The page served from a copy of its folder that `alter` changed."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="disco-web-")
        shutil.copytree(PAGE, cls.folder, dirs_exist_ok=True)
        cls.alter(cls.folder)
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        shutil.rmtree(cls.folder)


class Frame(PageTest):
    def test_frame_is_disco_captures_and_shows_the_scene(self):
        # Scene time 9.5 s: the scroller's letters are on screen, as are every disc and dancer.
        time, seed = 9.5, 7
        tab = self.open(f"?time={time}&seed={seed}")
        tab.wait_for("window.discoFrame", "the frame at a fixed time")
        page = png_image(base64.b64decode(tab.js("window.discoFrame").split(",", 1)[1]))
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([CAPTURE, "--size", "1280x720", "--seed", str(seed), "--time", str(time),
                            "--output", os.path.join(folder, "frame-%d.png")], check=True, capture_output=True)
            with open(os.path.join(folder, "frame-0.png"), "rb") as f:
                desktop = png_image(f.read())
        self.assertEqual((page.width, page.height), (1280, 720))
        # Same scene, floor and camera; only rasteriser rounding and clamp-to-edge at sprite borders differ.
        ratio = psnr(page, desktop)
        print(f"PSNR of the page's frame against disco-capture's: {ratio:.1f} dB", file=sys.stderr)
        self.assertGreater(ratio, 38.0)

        saturated = [p for p in (page.pixel(x, y) for x in range(200, 1080, 8) for y in range(440, 714, 8))
                     if max(p) > 150 and min(p) < 0.15 * max(p)]
        self.assertGreater(len(saturated), 600, "the floor's saturated tiles")
        hues = {(p.index(max(p)), p.index(min(p))) for p in saturated}
        self.assertGreaterEqual(len(hues), 4, "tiles of many colours")
        near = lambda p, c, t=12: all(abs(a - b) <= t for a, b in zip(p, c))  # noqa: E731
        everything = [page.pixel(x, y) for x in range(0, 1280, 2) for y in range(0, 720, 2)]
        for name, tint in {"purple": (204, 102, 255), "orange": (255, 153, 0), "yellow": (255, 255, 102)}.items():
            self.assertGreater(sum(near(p, tint) for p in everything), 200, f"the {name} disc")
        self.assertGreater(sum(near(p, (196, 236, 255), 8) for p in everything), 300, "the crowd's trousers")
        ink = [page.pixel(x, y) for x in range(0, 460) for y in range(0, 216, 2)]
        self.assertGreater(sum(min(p) >= 240 for p in ink), 300, "the scroller's white letters")


def write_rgba_png(path, width, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, len(rows), 8, 6, 0, 0, 0)
    data = zlib.compress(b"".join(b"\0" + row for row in rows))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b""))


class OddSizes(AlteredPage):
    """round.png grown to 300 x 260 by empty columns on its right and rows on its top: the desktop
    uploads the bottom-left 256 x 256, which is the picture as it was."""

    @classmethod
    def alter(cls, folder):
        picture = png.read(os.path.join(PAGE, "resources", "round.png"))
        rows = [bytes(300 * 4)] * 4 + [row + bytes(44 * 4) for row in picture.rows]
        write_rgba_png(os.path.join(folder, "resources", "round.png"), 300, rows)
        cls.reference = Server(PAGE)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.reference.close()

    def test_the_frame_is_the_one_with_the_picture_as_it_was(self):
        frames = []
        for url in (self.server.url, self.reference.url):
            tab = Tab(url + "?time=9.5&seed=7", 640, 360)
            self.addCleanup(tab.close)
            tab.wait_for("window.discoFrame", "the frame at a fixed time")
            frames.append(tab.js("window.discoFrame"))
        self.assertEqual(frames[0], frames[1])


class Running(PageTest):
    def test_ten_seconds_without_console_or_gl_errors_in_few_draws(self):
        tab = self.started(before_load=COUNT_DRAWS)
        start = tab.js("performance.now()")
        first = tab.frame_drawn()
        self.assertIsNotNone(first, "nothing drawn")
        tab.wait_for(f"performance.now() > {start} + 10000", "ten seconds of running")
        self.assertEqual(tab.js("Module.disco.gl.getError()"), 0, "a GL error")
        # A draw only where the texture, blending, depth test or culling change.
        self.assertIn(tab.js("window.discoMostDraws"), range(1, 11), "draw calls in a frame")
        self.assertEqual(tab.state(), "running")
        self.assertNotEqual(tab.frame_drawn().data, first.data, "the scene stood still")
        self.maxDiff = None
        self.assertEqual(tab.troubles(), [])
        texts = [text.split("] ", 1)[-1] for _, text in tab.console()]
        for line in ("initWithFrame", "Ventjes", "DiscoFloor", "FullScreen pixelFormat RendererID = 00000000"):
            self.assertIn(line, texts)

    def test_click_starts_full_screen_with_music_and_the_screen_kept_on_and_a_key_ends_it(self):
        tab = self.started(before_load=WATCH_WAKE_LOCK)
        tab.wait_for("document.fullscreenElement === Module.canvas", "full screen")
        self.assertEqual(tab.js("Module.disco.audio.state"), "running")
        tab.wait_for(SCREEN_KEPT_ON, "the screen kept on")
        self.assertEqual(tab.js("document.getElementById('note').textContent"), "")
        # The scene fills the page at device pixels, and follows when they change.
        viewport = "(gl => [...gl.getParameter(gl.VIEWPORT)])(Module.disco.gl)"
        self.assertEqual(tab.js(viewport), [0, 0, 1280, 720])
        tab.browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": 800, "height": 450, "deviceScaleFactor": 2, "mobile": False}, tab.session)
        tab.wait_for(f"{viewport}.join() === '0,0,1600,900'", "the scene drawn at the new size")
        self.assertEqual(tab.state(), "running")
        tab.press("Shift", "ShiftLeft", 16)  # a modifier alone is not a key press
        self.assertEqual(tab.state(), "running")
        tab.press()
        tab.wait_for("Module.disco.state === 'ended'", "the end after a key")
        tab.wait_for("!document.fullscreenElement", "full screen left")
        self.assertEqual(tab.js("Module.disco.audio.state"), "closed")
        tab.wait_for(f"!{SCREEN_KEPT_ON}", "the screen left to turn off")
        self.assertIn("ended", tab.js("document.getElementById('note').textContent"))
        # The frame loop stopped: two frames on, the same picture, and no end over again.
        still = tab.frame_drawn()
        tab.wait_for("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(true))))", "two frames")
        self.assertEqual(tab.frame_drawn().data, still.data)
        self.assertNotIn("error", [level for level, _ in tab.console()], "the page went on after its end")

    def test_on_a_phone_a_tap_starts_it_full_screen_sideways_and_leaving_full_screen_ends_it(self):
        old = "delete Navigator.prototype.wakeLock; delete Navigator.prototype.serviceWorker;"  # or on plain http
        tab = self.started(width=390, height=844, phone=True, before_load=old)
        tab.wait_for("document.fullscreenElement === Module.canvas", "full screen")
        self.assertEqual(tab.js("Module.disco.audio.state"), "running")
        # Every one of the phone's 3 x 390 x 844 device pixels drawn.
        self.assertEqual(tab.js("[Module.canvas.width, Module.canvas.height]"), [1170, 2532])
        tab.wait_for("(gl => [...gl.getParameter(gl.VIEWPORT)])(Module.disco.gl).join() === '0,0,1170,2532'",
                     "the scene drawn at the phone's device pixels")
        self.assertIsNotNone(tab.frame_drawn(), "nothing drawn")
        tab.js("document.exitFullscreen()")  # a phone has no keys: its back gesture is how a visitor leaves
        tab.wait_for("Module.disco.state === 'ended'", "the end on leaving full screen")
        tab.wait_for("Module.disco.audio.state === 'closed'", "the music closed")
        self.assertIn("upright", " ".join(text for _, text in tab.console()), "landscape asked for")
        self.assertEqual(tab.troubles(), [], "landscape refused by headless Chromium, no wake lock: all quiet")

    def test_a_lost_context_comes_back_where_the_scene_is_and_one_that_does_not_is_said(self):
        tab = self.started()
        tab.js("window.discoLose = Module.disco.gl.getExtension('WEBGL_lose_context'); discoLose.loseContext(); 1")
        tab.wait_for("Module.disco.gl.isContextLost()", "the context lost")
        tab.wait_for("new Promise(r => setTimeout(() => r(true), 500))", "half a second without it")
        tab.js("discoLose.restoreContext(); window.discoRestored = performance.now(); 1")
        # The textured floor again, its tiles' colours and all, within a second: made anew.
        def floor_lit():
            shot = tab.frame_drawn()
            floor = [shot.pixel(x, y) for x in range(200, 1080, 8) for y in range(500, 714, 8)] if shot else []
            return sum(max(p) > 150 and min(p) < 0.15 * max(p) for p in floor) > len(floor) // 4 if floor else False
        wait_until(floor_lit, "the scene drawn again after the context came back")
        self.assertLess(tab.js("performance.now() - window.discoRestored"), 1000 + 500, "drawn again within a second")
        self.assertEqual(tab.state(), "running")
        self.assertEqual(tab.js("Module.disco.audio.state"), "running", "the music stopped")
        self.assertEqual(tab.js("Module.disco.gl.getError()"), 0)
        self.assertEqual([line for line in tab.console() if line[0] in ("error", "warning", "assert")
                          and not any(h in line[1] for h in HARMLESS)], [])
        # Lost for good: the page says how to start again.
        tab.js("discoLose.loseContext(); 1")
        tab.wait_for("document.getElementById('note').textContent.includes('Reload')", "the note on a context gone")

    def test_shaders_webgl_refuses_end_the_demo_with_the_drivers_log_and_a_note(self):
        refuse = ("WebGLRenderingContext.prototype.getShaderParameter = function (shader, name) {"
                  " return name === this.COMPILE_STATUS ? false : 0; };"
                  "WebGLRenderingContext.prototype.getShaderInfoLog = () => 'ERROR: 0:1: stand-in';")
        tab = self.open(before_load=refuse)
        tab.wait_for("window.Module && Module.disco.state === 'ready'", "page ready for a click")
        tab.click()
        tab.wait_for("Module.disco.state === 'failed'", "the demo ended for its shaders")
        self.assertIn("shaders", tab.js("document.getElementById('note').textContent"))
        said = " ".join(text for _, text in tab.console())
        self.assertIn("the vertex shader does not compile: ERROR: 0:1: stand-in", said)

    def test_without_webgl_the_page_says_so(self):
        tab = self.open(before_load="HTMLCanvasElement.prototype.getContext = () => null;")
        tab.wait_for("window.Module && Module.disco.state === 'failed'", "the page giving up")
        note = tab.js("document.getElementById('note').textContent")
        self.assertIn("no WebGL", note)
        # The console tells a visitor what the note does, not the desktop's way round it.
        self.assertEqual([text for _, text in tab.console() if not text.startswith(HARMLESS)], ["disco: " + note])

    def test_without_full_screen_it_runs_in_the_page_through_another_tab_and_arrows_reach_the_ball(self):
        refuse = "Element.prototype.requestFullscreen = () => Promise.reject(new TypeError('not allowed'));"
        tab = self.started(before_load=refuse + WATCH_WAKE_LOCK)
        self.assertFalse(tab.js("!!document.fullscreenElement"))
        ball = "(() => { const p = Module._malloc(8); Module._disco_ball_position(p); " \
               "const xz = [...HEAPF32.subarray(p >> 2, (p >> 2) + 2)]; Module._free(p); return xz; })()"
        self.assertEqual(tab.js(ball), [0, 0])
        other = tab.browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        tab.wait_for(f"document.visibilityState === 'hidden' && !{SCREEN_KEPT_ON}", "the lock dropped while hidden")
        tab.browser.call("Target.closeTarget", {"targetId": other})
        tab.wait_for(f"document.visibilityState === 'visible' && {SCREEN_KEPT_ON}", "the screen kept on once back")
        tab.key("keyDown", "ArrowLeft", "ArrowLeft", 37)
        tab.wait_for(f"{ball}[0] < -1", "the ball rolling left")
        tab.key("keyUp", "ArrowLeft", "ArrowLeft", 37)
        tab.press()  # in the page, as in the desktop's window, keys go to the scene
        self.assertEqual(tab.state(), "running")
        self.assertIsNotNone(tab.frame_drawn())


class Music(AlteredPage):
    """The page beside one pass of the track as the desktop's player decodes it (desktop.f32)."""

    @classmethod
    def alter(cls, folder):
        with open(os.path.join(folder, "desktop.f32"), "wb") as out:
            told = subprocess.run([DESKTOP_TRACK, os.path.join(PAGE, TRACK)], stdout=out, stderr=subprocess.PIPE,
                                  check=True, text=True).stderr
        cls.rate, cls.channels = map(int, re.findall(r"\d+", told))
        cls.frames = os.path.getsize(out.name) // (4 * cls.channels)

    def test_the_loop_is_the_track_the_desktop_decodes(self):
        tab = self.started()
        self.assertTrue(tab.js(f"(s => s.loop && s.loopStart === 0 && s.loopEnd === 0 && s.buffer === "
                               f"Module.disco.tracks['{TRACK}'])(Module.disco.music[1].source)"), "a looping source of the track")
        # Whatever priming or padding is left in shows as a length or a shift against the desktop's.
        rate, channels, frames, worst, first = tab.js(f"""(async () => {{
            const track = Module.disco.tracks['{TRACK}'], count = track.numberOfChannels;
            const desktop = new Float32Array(await (await fetch('desktop.f32')).arrayBuffer());
            let worst = 0, first = -1;
            for (let c = 0; c < count; ++c) {{
              const page = track.getChannelData(c);
              for (let i = 0; i < track.length && i * count < desktop.length; ++i) {{
                const off = Math.abs(page[i] - desktop[i * count + c]);
                if (off > 1e-4 && (first < 0 || i < first)) first = i;
                worst = Math.max(worst, off);
              }}
            }}
            return [track.sampleRate, count, track.length, worst, first]; }})()""")
        self.assertEqual((rate, channels, frames), (self.rate, self.channels, self.frames), "rate, channels, length")
        print(f"the page's track against the desktop's: at most {worst:.2g} apart", file=sys.stderr)
        # Two FFmpeg builds round differently (2.4e-7 here); a sample out of place is far more.
        self.assertLess(worst, 1e-4, f"the page's samples are not the desktop's from frame {first} on")


class Images(PageTest):
    def test_images_are_the_files_bytes(self):
        tab = self.open("?time=0")
        tab.wait_for("window.discoFrame", "the page loaded")
        for name in ("tile.png", "nine.png", "font.png"):
            source = png.read(os.path.join(PAGE, "resources", name))
            decoded = tab.js(f"(i => [i.width, i.height, i.channels, btoa(i.pixels.reduce("
                             f"(text, byte) => text + String.fromCharCode(byte), ''))])"
                             f"(Module.disco.images['resources/{name}'])")
            self.assertEqual(decoded[:3], [source.width, source.height, source.channels], name)
            self.assertEqual(base64.b64decode(decoded[3]), b"".join(source.rows), name)


class Missing(AlteredPage):
    """The page with tile.png and the music missing and nine.png cut short."""

    @staticmethod
    def alter(folder):
        os.remove(os.path.join(folder, "resources", "tile.png"))
        os.remove(os.path.join(folder, TRACK))
        nine = os.path.join(folder, "resources", "nine.png")
        with open(nine, "r+b") as f:
            f.truncate(os.path.getsize(nine) // 2)

    def test_a_running_page_that_names_the_files(self):
        tab = self.started()
        warnings = " ".join(text for level, text in tab.console() if level == "warning")
        for name in ("tile.png", "nine.png", "tralmix.m4a"):
            self.assertIn(f"resources/{name}", warnings)
        self.assertEqual(tab.js("Module.disco.music.length"), 1, "a player without music")
        self.assertIsNotNone(tab.frame_drawn(), "nothing drawn")
        self.assertEqual(tab.js("Module.disco.gl.getError()"), 0)
        # Plain coloured quads where the tiles were: saturated floor, not black.
        shot = tab.frame_drawn()
        floor = [shot.pixel(x, y) for x in range(200, 1080, 8) for y in range(500, 714, 8)]
        self.assertGreater(sum(max(p) > 150 for p in floor), len(floor) // 3)
        tab.press()
        tab.wait_for("Module.disco.state === 'ended'", "the end after a key")


class Installed(AlteredPage):
    """The page installed and played offline, from a folder the tests change."""
    alter = staticmethod(lambda folder: None)

    def visited(self):
        tab = self.open()
        tab.wait_for("navigator.serviceWorker.controller !== null", "the page's service worker in control")
        return tab

    def test_installable_and_plays_with_its_music_with_the_network_cut(self):
        tab = self.visited()
        devtools = lambda method: tab.browser.call(method, {}, tab.session)  # noqa: E731
        self.assertEqual(devtools("Page.getAppManifest")["errors"], [])
        self.assertEqual(devtools("Page.getInstallabilityErrors")["installabilityErrors"], [])
        os.rename(self.folder, self.folder + "-away")  # the server answers nothing but 404 now
        self.addCleanup(os.rename, self.folder + "-away", self.folder)
        devtools("Network.clearBrowserCache")  # only the worker's copy is left
        tab.reload()
        self.start(tab)
        self.assertTrue(tab.js(f"Module.disco.tracks['{TRACK}'] instanceof AudioBuffer"), "the music")
        self.assertEqual(tab.js("Module.disco.audio.state"), "running")
        self.assertEqual(tab.troubles(), [])

    def test_a_new_build_replaces_every_file(self):
        tab = self.visited()
        for name, line in (("index.html", ""), ("resources/font.png", ""), ("page.js", "window.discoNewBuild = 1;")):
            with open(os.path.join(self.folder, name), "a") as f:
                f.write(line + "\n")  # past a PNG's end, nothing reads it
        subprocess.run(["bash", os.path.join(os.path.dirname(__file__), "../../platform/web/precache.sh"), self.folder],
                       check=True)
        tab.reload()
        tab.wait_for("window.discoNewBuild && Module.disco.state === 'ready'", "the new build's page")
        kept = tab.js("caches.keys().then(names => Promise.all(names.map(async name => {"
                      " const cache = await caches.open(name); return Object.fromEntries(await Promise.all((await"
                      " cache.keys()).map(async r => [r.url, (await (await cache.match(r)).blob()).size]))); })))")
        paths = [os.path.join(d, n) for d, _, names in os.walk(self.folder) for n in names if n != "sw.js"]
        built = {self.server.url + os.path.relpath(p, self.folder): os.path.getsize(p) for p in paths}
        self.assertEqual(kept, [built], "one cache, of the new build's files")


if __name__ == "__main__":
    unittest.main()
