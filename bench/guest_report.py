#!/usr/bin/env python3
"""What guests' phones cost the member that welcomes them, what a first visit fetches, and how
closely a guest's page follows the party's clock, on a network of two hosts of its own
(tests/e2e/party_net.py): the member (160x90 on an Xvfb) on one, its guests on the other.
Prints Markdown for docs/performance.md.

- CPU: the member's user + system time over SECONDS (/proc/PID/stat) with no guest, 1, 8 and 32
  clients asking as a page does (sixteen questions 50 ms apart, then one a second), one real
  page (headless Chromium, loaded and running), and no guest again.
- Weight: the bytes of every response Chromium's Network events report for a first visit, until
  the page is ready for a click, and for the page loaded again.
- Clock: the page's discoGuest.seconds() beside the member's party time asked over the same
  socket right after, each placed on the system clock (the page's by performance.timeOrigin).

Usage: bench/guest_report.py DISCO PAGE_FOLDER [SECONDS]   (as root)"""
import os
import re
import select
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "tests", "e2e"), os.path.join(HERE, "..", "tests", "web")]
os.environ.setdefault("DISCO_NETNS_PREFIX", "discoguestbench-")
from harness import Demo, Xvfb, wait_until  # noqa: E402
from page import Tab  # noqa: E402
from party_net import PartyNetwork, ask_clock, read_frame, websocket, ws_frame  # noqa: E402
from process_cpu import cpu_seconds  # noqa: E402

BINARY, PAGE = map(os.path.abspath, sys.argv[1:3])
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
LINK = re.compile(r"guests join the party at (http://([\d.]+):(\d+)/\?party)")


def asking(net, address, port, clients, seconds, quick=16):
    """`clients` sockets from host 1 asking the member's clock as pages do (`quick` questions
    50 ms apart, then one a second), for `seconds`."""
    socks = [net.connect(1, address, port) for _ in range(clients)]
    for sock in socks:
        assert " 101 " in websocket(sock, f"{address}:{port}")
    asked, due, end = [0] * clients, [time.monotonic()] * clients, time.monotonic() + seconds
    while time.monotonic() < end:
        now = time.monotonic()
        for i, sock in enumerate(socks):
            if due[i] <= now:
                sock.sendall(ws_frame(os.urandom(8)))
                asked[i] += 1
                due[i] = now + (0.05 if asked[i] < quick else 1.0)
        for sock in select.select(socks, [], [], max(0.0, min(due) - time.monotonic()))[0]:
            assert read_frame(sock)[0] in (2, 9), "a question not answered"
    for sock in socks:
        sock.close()


def thread_seconds(pid, tid=None):
    """CPU seconds of each of the process's threads (or of one), from the scheduler's own count."""
    found = {}
    for task in [tid] if tid else os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/schedstat") as f:
            found[task] = int(f.read().split()[0]) / 1e9
    return found


def serving_thread(net, pid, address, port):
    """The member's thread that answers guests: the busiest but the drawing ones while 64 clients
    ask 20 times a second each."""
    before = thread_seconds(pid)
    asking(net, address, port, 64, 3.0, quick=1 << 30)
    after = thread_seconds(pid)
    drawing = [t for t in after if t == str(pid) or open(f"/proc/{pid}/task/{t}/comm").read().startswith("llvmpipe")]
    return max((after[t] - before.get(t, 0), t) for t in after if t not in drawing)[1]


def cpu_share(pid, tid, during):
    """Shares of one core the member, and its thread serving guests, took during during()."""
    before, thread, began = cpu_seconds(pid), thread_seconds(pid, tid)[tid], time.monotonic()
    during()
    took = time.monotonic() - began
    return (cpu_seconds(pid) - before) / took, (thread_seconds(pid, tid)[tid] - thread) / took


def main():
    with PartyNetwork(hosts=2) as net, net.desktop(0, Xvfb, "160x90") as desktop, \
            Demo(BINARY, desktop=desktop, env={"DISCO_PARTY": "bench", "DISCO_PARTY_GUESTS": PAGE}) as member:
        member.wait_until(lambda: LINK.search(member.log()), "the guests' link")
        url, address, port = LINK.search(member.log()).groups()
        port = int(port)
        member.wait_for_frames(seconds=3.0)
        pid, rows = member.process.pid, []
        tid = serving_thread(net, pid, address, port)
        rows.append(("none", cpu_share(pid, tid, lambda: time.sleep(SECONDS))))
        for clients in (1, 8, 32):
            rows.append((f"{clients} client(s)", cpu_share(pid, tid, lambda: asking(net, address, port, clients, SECONDS))))

        tab = Tab(url, 160, 90, binary=net.wrapper(1, shutil.which("chromium")), network=True)
        try:
            loaded = time.monotonic()
            rows.append(("1 page (loaded, then running)", cpu_share(pid, tid, lambda: page_running(tab, loaded))))
            fetched = {e["params"]["requestId"]: e["params"]["encodedDataLength"] for e in tab.browser.events
                       if e["method"] == "Network.loadingFinished"}
            urls = [e["params"]["response"]["url"] for e in tab.browser.events if e["method"] == "Network.responseReceived"]
            spread = clock_spread(tab, net, address, port)
            seen = len(tab.browser.events)
            tab.reload()
            tab.wait_for("window.Module && Module.disco.state === 'ready'", "the page ready again")
            again = {e["params"]["requestId"]: e["params"]["encodedDataLength"] for e in tab.browser.events[seen:]
                     if e["method"] == "Network.loadingFinished"}
        finally:
            tab.close()
        rows.append(("none, again", cpu_share(pid, tid, lambda: time.sleep(SECONDS))))

    base = (rows[0][1][0] + rows[-1][1][0]) / 2
    print(f"| Guests | Member's CPU (share of one core) | Against none | Its thread serving guests |\n|---|---|---|---|")
    for name, (share, serving) in rows:
        print(f"| {name} | {100 * share:.2f} % | {share / base:.3f}× | {100 * serving:.3f} % |")
    files = sorted({u.split("/", 3)[3].split("?")[0] or "index.html" for u in urls if "/party-clock" not in u})
    on_disk = sum(os.path.getsize(os.path.join(PAGE, f)) for f in files if os.path.isfile(os.path.join(PAGE, f)))
    print(f"\nFirst visit: {len(fetched)} responses, {sum(fetched.values()) / 1e6:.2f} MB as received "
          f"({on_disk / 1e6:.2f} MB of files in the page's folder: {', '.join(files)})")
    print(f"\nThe page loaded again: {len(again)} responses, {sum(again.values()) / 1e3:.1f} kB as received")
    print(f"\nPage's clock − member's, {len(spread)} readings: median {statistics.median(spread):+.2f} ms, "
          f"from {min(spread):+.2f} to {max(spread):+.2f} ms (spread {max(spread) - min(spread):.2f} ms)")


def page_running(tab, loaded):
    """The page loaded, started, and running until SECONDS after it began loading."""
    tab.wait_for("window.Module && Module.disco.state === 'ready'", "the page ready")
    tab.click(80, 45)
    tab.wait_for("Module.disco.state === 'running'", "the page running")
    wait_until(lambda: time.monotonic() > loaded + SECONDS, "the page's seconds", SECONDS + 60)


def clock_spread(tab, net, address, port, readings=40):
    """The page's party time less the member's, ms: the page's read with the system clock's
    time, then the member's asked from the same host, set back to that time."""
    wall = time.time() - time.monotonic()
    sock = net.connect(1, address, port)
    assert " 101 " in websocket(sock, f"{address}:{port}")
    found = []
    for _ in range(readings):
        at_ms, page = tab.js("[performance.timeOrigin + performance.now(), discoGuest.seconds()]")
        seconds, _, _, at = ask_clock(sock)
        found.append(1000 * (page - (seconds - (wall + at - at_ms / 1000))))
        time.sleep(0.25)
    sock.close()
    return found


if __name__ == "__main__":
    main()
