"""The longest frame the demo shows while its monitors change ten times, on Xorg (the demo's own
override-redirect windows), sway, gnome-shell and kwin (Wayland itself), against the longest
frame of as long a stretch with no change in the same run (the baseline: what the machine costs
anyway).

    python3 bench/monitor_changes.py build/disco [xorg|sway|gnome|kwin ...]

A frame is the time between two buffer swaps, as the swap probe saw them. A change is made once
the one before it has been followed for a second. Beside it, the longest the frame loop spent
outside the swap (from a swap's return to the next swap's call) during the changes, and on
gnome-shell and kwin the compositor's own longest stall (harness.StallProbe: the longest wait
for a D-Bus property that its main loop answers, asked every 10 ms). A swap cannot return while
the compositor is stalled; nothing outside it should wait."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from gnome import GnomeShell  # noqa: E402
from harness import Demo, Monitor, StallProbe, Unavailable  # noqa: E402
from kde import Kwin  # noqa: E402
from wayland import Sway  # noqa: E402
from xorg import XorgServer  # noqa: E402

CHANGES = 10
SETTLE = 1.0  # seconds after each change


def longest_frame(demo, start, end):
    swaps = [t for t in demo.swaps() if start <= t <= end]
    return max((b - a for a, b in zip(swaps, swaps[1:])), default=float("nan"))


def measure(desktop, change, stalls=None, **demo_options):
    """(longest frame over the changes, longest frame over as long a quiet stretch, longest time
    outside the swap over the changes, the compositor's longest stall over the changes or None),
    seconds."""
    with Demo(BINARY, desktop=desktop, **demo_options) as demo:
        demo.wait_for_frames(seconds=2.0)
        quiet_start = time.monotonic()
        time.sleep(CHANGES * SETTLE)
        quiet = longest_frame(demo, quiet_start, time.monotonic())
        changes_start = time.monotonic()
        if stalls:
            stalls.start()
        for i in range(CHANGES):
            change(i)
            time.sleep(SETTLE)
        changed = longest_frame(demo, changes_start, time.monotonic())
        outside = demo.longest_outside_swaps(changes_start)
        stalled = stalls.stop() if stalls else None
        if demo.ended():
            raise AssertionError(f"{demo.ended()}:\n{demo.log()}")
        return changed, quiet, outside, stalled


def xorg():
    both = [Monitor("DUMMY0", 1024, 768, 0, 0, primary=True), Monitor("DUMMY1", 1280, 720, 1024, 0)]
    alone = both[:1]
    with XorgServer(both) as server:
        return measure(server, lambda i: server.arrange(alone if i % 2 == 0 else both))


def sway():
    with Sway() as server:
        return measure(server, lambda i: server.configure_output("mode", "1024x768" if i % 2 == 0 else "1280x720"))


def gnome_shell():
    with GnomeShell(((1024, 768), (1280, 720)), primary=1) as server:
        return measure(server, lambda i: server.arrange(primary=0 if i % 2 == 0 else 1), StallProbe(server))


def kwin():
    with Kwin(((1024, 768), (1280, 720)), primary=1) as server:
        return measure(server, lambda i: server.arrange(primary=0 if i % 2 == 0 else 1), StallProbe(server))


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    print("| Desktop, ten changes | Longest frame during the changes | Longest frame, no change | Ratio "
          "| Longest time outside the swap during the changes | The compositor's longest stall during the changes |")
    print("|---|---|---|---|---|---|")
    chosen = sys.argv[2:] or ["xorg", "sway", "gnome", "kwin"]
    for key, name, run in (("xorg", "Xorg: a monitor off and on", xorg), ("sway", "sway: the mode", sway),
                           ("gnome", "gnome-shell natively: the primary", gnome_shell),
                           ("kwin", "kwin natively: the primary", kwin)):
        if key not in chosen:
            continue
        try:
            changed, quiet, outside, stalled = run()
        except Unavailable as why:
            print(f"| {name} | not run: {why} | | | | |")
            continue
        stall = f"{stalled * 1000:.0f} ms" if stalled is not None else "not measured"
        print(f"| {name} | {changed * 1000:.0f} ms | {quiet * 1000:.0f} ms | {changed / quiet:.2f} "
              f"| {outside * 1000:.0f} ms | {stall} |", flush=True)
