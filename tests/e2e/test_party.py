"""Party mode on a local network of hosts (party_net.py): members started on several hosts agree on
the first one's start and seed, and every screen shows the 60 Hz step of the party's time, the
very frame disco-capture draws of it, whatever the monitor's refresh rate. A member leaving, a
newcomer, another party, a clock ahead and a stream of hostile datagrams change none of that.

Which step a screen shows is told by setting the picture beside disco-capture's frames of the
steps around the party's time: next steps are a few levels a pixel apart, and the right one is
the same picture (llvmpipe on the X server and OSMesa draw alike)."""
import datetime
import os
import re
import subprocess
import sys
import time
import unittest
from contextlib import ExitStack

from harness import PATIENCE, Demo, Monitor, Xvfb, captured_frames, mean_difference, shots_at_once, stop_process
from party_net import PartyNetwork
from xorg import XorgServer

BINARY = os.path.abspath(sys.argv.pop(1))
WIDTH, HEIGHT = 160, 90  # quick to draw and to compare, each step still its own picture
STEPS = 60  # a second's fixed steps
START = re.compile(r"party \S+: start (\S+ \S+), seed (\d+), ")
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
STRANGER_PORT = 4444
MOMENTS = 3  # at which the screens are compared

# A stranger on the network: it hears the members' messages, then floods one of them (by its
# address) with a few hundred datagrams made of them, the kinds in turn: the other's replayed,
# bits flipped, cut short, lengthened, and noise. The member's socket holds the first hundred or
# so, every kind among them; the rest may be lost, as on any flooded network. Hearing nothing
# for `patience` seconds, it fails.
HOSTILE = """
import random, socket, sys, time
target, port, patience = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("", port))
sock.settimeout(patience)
to, others, heard = None, [], []
listening = time.monotonic() + 3  # a few of each member's messages
while to is None or not others or time.monotonic() < listening:
    data, source = sock.recvfrom(65536)
    heard.append(data)
    if source[0] == target:
        to = source
    else:
        others.append(data)
# One more round from the other member: the target has had the messages before it, so they are replays.
heard_before = len(others)
while len(others) == heard_before:
    data, source = sock.recvfrom(65536)
    if source[0] != target:
        others.append(data)
others = others[:-1]
rng = random.Random(7)
for i in range(300):
    message = bytearray(rng.choice(heard))
    if i % 5 == 0:
        message = rng.choice(others)
    elif i % 5 == 1:
        message[rng.randrange(len(message))] ^= 1 << rng.randrange(8)
    elif i % 5 == 2:
        message = message[:rng.randrange(1, len(message))]
    elif i % 5 == 3:
        message += rng.randbytes(rng.randrange(1, 1400))
    else:
        message = rng.randbytes(len(message))
    sock.sendto(bytes(message), to)  # as fast as it goes: what the member's socket cannot hold is lost
print(f"{to[0]}:{to[1]}")
"""


def clock_time(text):
    """Seconds since 1970 of a local time as the demo logs it (2026-12-09 05:27:42.834)."""
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S.%f").timestamp()


def settled(demo):
    """The start (seconds since 1970) and the seed the member settled on, said once."""
    demo.wait_until(lambda: START.search(demo.log()), "the party's start")
    found = START.findall(demo.log())
    assert len(found) == 1, f"the start said more than once:\n{demo.log()}"
    return clock_time(found[0][0]), int(found[0][1])


def logged(demo, text):
    """When (seconds since 1970) the demo first logged a line with `text`; None before it has."""
    return next((clock_time(line[:23]) for line in demo.log().splitlines() if text in line), None)


class Party(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.net = PartyNetwork.or_skip(hosts=4)
        cls.frames = {}  # (seed, step): disco-capture's frame
        cls.wall = time.time() - time.monotonic()  # the system clock at a moment of the monotonic one

    @classmethod
    def tearDownClass(cls):
        cls.net.stop()

    def setUp(self):
        self.stack = ExitStack()
        self.addCleanup(self.stack.close)

    def member(self, host, party="lab", refresh=None, **env):
        """A disco on a host, asked to join `party` (None: no party), on an Xorg server refreshed
        `refresh` times a second, else on an Xvfb."""
        if refresh:
            desktop = self.net.desktop(host, XorgServer, [Monitor("DUMMY0", WIDTH, HEIGHT, 0, 0, primary=True)],
                                       refresh=refresh)
        else:
            desktop = self.net.desktop(host, Xvfb, f"{WIDTH}x{HEIGHT}")
        self.stack.enter_context(desktop)
        if party:
            env["DISCO_PARTY"] = party
        return self.stack.enter_context(Demo(BINARY, desktop=desktop, env=env))

    def party_step(self, moment, start):
        """The party's time at a moment of the monotonic clock, in steps."""
        return STEPS * (self.wall + moment - start)

    def step_of(self, shot, start, seed):
        """The step a shot shows: of disco-capture's frames of the steps about the party's time
        while the shot's frame was begun, the one the picture is clearly closest to."""
        steps = range(int(self.party_step(shot.earliest, start)) - 3, int(self.party_step(shot.latest, start)) + 5)
        missing = [n for n in steps if (seed, n) not in self.frames]
        if missing:
            for n, frame in zip(missing, captured_frames(BINARY, WIDTH, HEIGHT, seed, [n / STEPS for n in missing])):
                self.frames[seed, n] = frame
        (best, step), (next_best, _) = sorted((mean_difference(shot.image, self.frames[seed, n]), n) for n in steps)[:2]
        self.assertLess(best, next_best / 2, f"none of steps {steps.start} to {steps.stop - 1} is clearly the "
                        f"frame shown (differences {best:.2f} and {next_best:.2f})")
        return step

    def moment(self, demos, start, seed):
        """Shots of the demos taken together, the steps they show, and how far apart in steps the
        shots were taken."""
        shots = shots_at_once(demos, within=1 / STEPS)  # a busy machine may hold one up
        apart = STEPS * (max(s.latest for s in shots) - min(s.asked for s in shots))
        return shots, [self.step_of(shot, start, seed) for shot in shots], apart

    def same_frame(self, demos, start, seed):
        """The demos' screens at a few moments: each shows the party's step when its frame was
        begun (a frame ahead, rounded: a couple of steps), and at most moments (a busy machine
        delays a frame now and then) all are within a step of one another, but for the shots'
        own spread in time. The moments, as moment() tells them."""
        for demo in demos:
            demo.wait_for_frames(seconds=1.0)  # drawing at its pace, the length of its frames known
        moments = [self.moment(demos, start, seed) for _ in range(MOMENTS)]
        for shots, steps, _ in moments:
            for shot, step in zip(shots, steps):
                self.assertGreaterEqual(step, self.party_step(shot.earliest, start) - 1.5, "a frame behind the party's time")
                self.assertLessEqual(step, self.party_step(shot.latest, start) + 2.5, "a frame ahead of the party's time")
        print(f"party: steps shown {[steps for _, steps, _ in moments]}, shots within "
              f"{max(apart for _, _, apart in moments) / STEPS * 1000:.0f} ms", file=sys.stderr)
        beyond = sorted(max(steps) - min(steps) - apart for _, steps, apart in moments)
        self.assertLessEqual(beyond[MOMENTS // 2], 1, f"screens apart: steps {[s for _, s, _ in moments]}")
        return moments

    def test_members_show_one_frame_whoever_comes_and_goes(self):
        # There first: another party's member, and a disco in none. Neither must reach lab.
        stranger, loner = self.member(3, "lab2"), self.member(3, None)
        members = []
        for host, refresh in enumerate((60, 75, 144)):
            members.append(self.member(host, refresh=refresh))
            party = settled(members[-1])
            address = f"a member at {self.net.address(host)}:"
            for earlier in members[:-1]:
                earlier.wait_until(lambda: logged(earlier, address), f"{address} joined")
            began = self.wall + members[-1].started
            print(f"party: member on host {host} ({refresh} Hz) settled {logged(members[-1], ': start ') - began:.1f} s "
                  f"after it started, heard after {[round(logged(m, address) - began, 1) for m in members[:-1]]} s",
                  file=sys.stderr)
            self.assertEqual(settled(members[0]), party, "another start than the first member's")
        self.same_frame(members, *party)

        self.assertNotEqual(settled(stranger), party, "another party's member has lab's start")
        for member in members:
            self.assertNotIn(f"a member at {self.net.address(3)}:", member.log(), "another party's member joined lab")
        self.assertNotIn("joined", stranger.log(), "lab's members joined another party")
        loner.wait_for_frames()
        self.assertNotIn("party", loner.log(), "a disco in no party talks of one")

        # The first member, whose start is the party's, leaves without a word.
        members[0].stop()
        left = time.time()
        survivors = members[1:]
        for member in survivors:
            member.wait_until(lambda: logged(member, "1 member(s) gone silent (2 in all)"), "the first member gone")
        silent = [logged(member, "gone silent") - left for member in survivors]
        print(f"party: the first member's leaving told after {[round(s, 1) for s in silent]} s", file=sys.stderr)
        self.assertLess(max(silent), 10, "a member gone told late")
        before = self.same_frame(survivors, *party)[-1]
        mark = time.monotonic()  # a second of frames on, for the frames to move on
        for member in survivors:
            member.wait_until(lambda: member.swaps() and member.swaps()[-1] >= mark + 1.0, "a second more of frames")
        after = self.same_frame(survivors, *party)[0]
        for a, step_a, b, step_b in zip(*before[:2], *after[:2]):
            self.assertTrue(STEPS * (b.earliest - a.latest) - 2 <= step_b - step_a <= STEPS * (b.latest - a.earliest) + 2,
                            f"from step {step_a} to {step_b} in {b.asked - a.asked:.2f} s")
        for member in survivors:
            self.assertEqual(settled(member), party, "the start changed when the first member left")

        # A member loses its network for a while: each side goes on alone, and both are back in
        # the party's time, at its start, once it is back.
        self.net.cable(1, plugged=False)
        for member in survivors:
            member.wait_until(lambda: logged(member, "1 member(s) gone silent (1 in all)"), "the other member gone")
        self.net.cable(1, plugged=True)
        plugged = time.time()
        for member, other in zip(survivors, (2, 1)):
            back = f"a member at {self.net.address(other)}:"
            member.wait_until(lambda: member.log().count(back) >= 2, "the other member back")
        print(f"party: a member's network back, both heard again after {time.time() - plugged:.1f} s at most",
              file=sys.stderr)
        self.same_frame(survivors, *party)
        for member in survivors:
            self.assertEqual(settled(member), party, "the start changed when a member came back")

        newcomer = self.member(0)
        self.assertEqual(settled(newcomer), party, "a newcomer does not take the party's start")
        self.same_frame(survivors + [newcomer], *party)

    def test_a_clock_ahead_is_told_and_shows_later_frames(self):
        on_time = self.member(0)
        party = settled(on_time)
        ahead = self.member(1, LD_PRELOAD=FAKETIME, FAKETIME="+0.04", FAKETIME_DONT_FAKE_MONOTONIC="1")
        self.assertEqual(settled(ahead), party)
        for member, other, way in ((on_time, 1, "ahead of"), (ahead, 0, "behind")):
            said = re.compile(rf"the clock at {re.escape(self.net.address(other))}:\d+ is (\d+) ms {way} this machine's")
            member.wait_until(lambda: said.search(member.log()), f"the clock of host {other} told {way}")
            offset = int(said.search(member.log())[1])
            print(f"party: a clock 40 ms ahead measured {offset} ms {way}", file=sys.stderr)
            self.assertTrue(30 <= offset <= 50, f"a clock 40 ms ahead measured {offset} ms {way}")
        # 2.4 steps ahead: the frame of the party's time at a moment later than the screen's.
        ahead.wait_for_frames(seconds=1.0)
        leads = [steps[1] - steps[0] for _, steps, _ in (self.moment([on_time, ahead], *party) for _ in range(MOMENTS))]
        print(f"party: a clock 40 ms ahead shows {leads} steps ahead", file=sys.stderr)
        self.assertTrue(1 <= sum(leads) / MOMENTS <= 4, f"a clock 40 ms ahead shows {leads} steps ahead")

    def test_hostile_datagrams_change_nothing(self):
        first = self.member(0)
        party = settled(first)
        target = self.member(1)
        self.assertEqual(settled(target), party)
        # Announced as the members announce themselves, so that they send the stranger their messages.
        publisher = self.net.popen(2, ["avahi-publish", "-s", "stranger", "_disco-party._udp", str(STRANGER_PORT),
                                       "party=lab"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.stack.callback(stop_process, publisher)
        attack = self.net.popen(2, [sys.executable, "-c", HOSTILE, self.net.address(1), str(STRANGER_PORT),
                                    str(PATIENCE)], stdout=subprocess.PIPE, text=True)
        out, _ = attack.communicate(timeout=2 * PATIENCE)
        self.assertEqual(attack.returncode, 0, "the stranger heard no messages")

        kinds = ("truncated", "oversized", "damaged", "replayed")

        def dropped():
            return [line for line in target.log().splitlines() if " dropped: " in line]
        target.wait_until(lambda: all(any(kind in line for line in dropped()) for kind in kinds),
                          f"messages dropped as {', '.join(kinds)}")
        print(f"party: datagrams sent to {out.strip()}:\n  " + "\n  ".join(dropped()), file=sys.stderr)
        self.assertEqual(settled(target), party, "the start changed")
        self.assertIsNone(logged(first, "gone silent"), "the target lost the party")
        self.same_frame([first, target], *party)


if __name__ == "__main__":
    unittest.main()
