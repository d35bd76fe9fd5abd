"""Guests' phones at a party (party_net.py's hosts): a member started with DISCO_PARTY_GUESTS serves
the web page and the party's clock; the page, opened in headless Chromium on another host from the
link the member logs and publishes through Avahi, shows the party's frame within a step of the
members' screens. Hostile requests from that host reach neither the party nor the server's serving.

usage: test_guests.py DISCO PAGE_FOLDER
"""
import base64
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import test_party  # noqa: E402  (takes the binary from the command line)
from harness import PATIENCE, Shot, wait_until  # noqa: E402
from page import Tab, png_image  # noqa: E402
from party_net import ask_clock, reply_to, websocket, ws_frame  # noqa: E402

PAGE = os.path.abspath(sys.argv.pop(1))
STEPS, WIDTH, HEIGHT = test_party.STEPS, test_party.WIDTH, test_party.HEIGHT
LINK = re.compile(r"guests join the party at (http://([\d.]+):(\d+)/\?party)")
MERGED = re.compile(r"joined the party that had run longer \(heard from [^)]*\): its start (\S+ \S+) ")
SERVING, OTHER, GUEST = 0, 1, 2  # hosts


class Guest:
    """The page in headless Chromium on a host, shot as a member's screen is (test_party.same_frame)."""

    def __init__(self, net, host, url):
        self.tab = Tab(url, WIDTH, HEIGHT, binary=net.wrapper(host, shutil.which("chromium")))

    def wait_for_frames(self, seconds=0.0):
        self.tab.wait_for(f"performance.now() > window.discoRunningAt + {seconds * 1000}", "the page's frames")

    def at_pace(self, moment):
        return True

    def shot(self):
        # A screenshot is a frame begun once asked (the compositor's, drawn for it).
        asked = time.monotonic()
        data = self.tab.browser.call("Page.captureScreenshot", {"format": "png"}, self.tab.session)["data"]
        latest = time.monotonic()
        return Shot(png_image(base64.b64decode(data)), asked - 2 / STEPS, latest, asked)


class Guests(test_party.PartyCase):
    # A LAN of public addresses (TEST-NET-2), as some campuses and offices give: as local as a
    # private one, for the hosts share its link.
    NETWORK = {"hosts": 3, "subnet": "198.51.100."}

    def serving(self):
        """A member welcoming guests and another; the party's (start, seed), the link's match."""
        serving = self.member(SERVING, DISCO_PARTY_GUESTS=PAGE)
        party = test_party.settled(serving)
        other = self.member(OTHER)
        # On a busy machine it may miss the join window, and join the party that ran longer soon after.
        other.wait_until(lambda: test_party.settled(other) == party or party[0] in map(
            test_party.clock_time, MERGED.findall(other.log())), "the other member in the party")
        serving.wait_until(lambda: LINK.search(serving.log()), "the guests' link")
        link = LINK.search(serving.log())
        self.assertEqual(link[2], self.net.address(SERVING), "a link to another address")
        return [serving, other], party, link

    def published_link(self):
        """The link a phone finds through Avahi on the guest's host: the page's service there."""
        found = []

        def browse():
            out = self.net.popen(GUEST, ["avahi-browse", "-rpt", "_http._tcp"], stdout=subprocess.PIPE,
                                 text=True).communicate(timeout=PATIENCE)[0]
            # =;iface;protocol;name;type;domain;host;address;port;"path=..."
            found[:] = [f.split(";") for f in out.splitlines() if f.startswith("=;") and r";disco\032party\032on" in f]
            return found
        wait_until(browse, "the guests' page published")
        *_, address, port, txt = found[0]
        return f"http://{address}:{port}{txt.strip(chr(34)).removeprefix('path=')}"

    def test_a_guest_shows_the_partys_frame(self):
        members, party, link = self.serving()
        self.assertEqual(self.published_link(), link[1])
        guest = Guest(self.net, GUEST, link[1])
        self.addCleanup(guest.tab.close)
        guest.tab.wait_for("window.Module && Module.disco.state === 'ready'", "the page ready for a click")
        self.assertIn("to join the party", guest.tab.js("document.getElementById('note').textContent"))
        guest.tab.click(WIDTH // 2, HEIGHT // 2)
        guest.tab.wait_for("Module.disco.state === 'running' && (window.discoRunningAt = performance.now())",
                           "the page running")
        self.assertEqual(guest.tab.js("[Module.canvas.width, Module.canvas.height]"), [WIDTH, HEIGHT])
        # A plain http:// link from the network is no secure context: a silent video keeps the screen on.
        guest.tab.wait_for("!isSecureContext && document.querySelector('video').currentTime > 0", "silent video playing")
        self.assertAlmostEqual(guest.tab.js("discoGuest.startUs()") / 1e6, party[0], delta=0.001, msg="another start")
        self.same_frame(members + [guest], *party)
        # The serving member starts again (its machine rebooted): the page, its clock kept
        # meanwhile, opens its socket again and goes on measuring the party's clock.
        members[0].stop()
        lost_at = guest.tab.js("performance.now() / 1000")
        self.member(SERVING, DISCO_PARTY_GUESTS=PAGE)
        guest.tab.wait_for(f"discoGuest.lastAnswerAt() > {lost_at}", "the party's clock answered again")
        self.assertAlmostEqual(guest.tab.js("discoGuest.startUs()") / 1e6, party[0], delta=0.001, msg="another start")

    def test_hostile_requests_change_nothing(self):
        members, party, link = self.serving()
        address, port = link[2], int(link[3])
        host = f"{address}:{port}"
        with open(os.path.join(PAGE, "index.html"), "rb") as f:
            index = f.read()

        def get(path):
            with self.net.connect(GUEST, address, port) as sock:
                sock.sendall(f"GET {path} HTTP/1.1\r\nHost: {host}\r\nConnection: close\r\n\r\n".encode())
                return b"".join(iter(lambda: sock.recv(65536), b""))

        def clock():
            sock = self.net.connect(GUEST, address, port)
            self.addCleanup(sock.close)
            self.assertIn(" 101 ", websocket(sock, host))
            return sock

        up = 12  # beyond the root from any folder
        for path in ("/.." * up + "/etc/passwd", "/%2e%2e" * up + "/etc/passwd", "/..%2f" * up + "etc%2fpasswd",
                     "/resources%2f..%2fdisco.js", "/index.html" + "/.." * up + "/etc/passwd"):
            answer = get(path)
            self.assertRegex(answer, rb"^HTTP/1\.1 4\d\d ", f"{path} served")
            self.assertNotIn(b"root:", answer)
        for kind, frame in (("oversized", ws_frame(bytes(200), length=1 << 20)), ("text", ws_frame(bytes(8), opcode=1)),
                            ("unmasked", ws_frame(bytes(8), masked=False))):
            sock = clock()
            sock.sendall(frame)
            reply = reply_to(sock)
            print(f"guests: a {kind} frame {reply}", file=sys.stderr)
            self.assertTrue(reply.startswith("closed"), f"a {kind} frame answered")
        flood = [self.net.connect(GUEST, address, port) for _ in range(100)]
        taken = [websocket(sock, host) for sock in flood]
        print(f"guests: of 100 sockets at once, {sum(' 101 ' in t for t in taken)} taken", file=sys.stderr)
        for sock in flood:
            sock.close()

        self.assertTrue(get("/").endswith(index), "the page no longer served")
        seconds, start, seed, at = ask_clock(clock())
        self.assertEqual(seed, party[1], "another party's clock")
        self.assertAlmostEqual(start / 1e6, party[0], delta=0.001)  # as logged, to the millisecond
        self.assertAlmostEqual(seconds, self.wall + at - party[0], delta=0.05)
        self.assertIsNone(test_party.logged(members[0], "gone silent"), "the serving member lost the party")
        # Its state line follows the members a second late at most: the party's two as they are.
        members[0].wait_until(lambda: "2 member(s)" in [line for line in members[0].log().splitlines()
                                                        if "party lab: " in line and "member(s)" in line][-1],
                              "the serving member's party of two")
        self.same_frame(members, *party)


if __name__ == "__main__":
    unittest.main()
