"""Party mode on a local network of hosts (party_net.py): members started on several hosts agree on
the first one's start and seed, and every screen shows the 60 Hz step of the party's time, the
very frame disco-capture draws of it, whatever the monitor's refresh rate. A member leaving, a
newcomer, another party, system clocks seconds apart or stepped back, and a stream of hostile
datagrams change none of that; a member cut off at first joins the party once it can.

Which step a screen shows is told by setting the picture beside disco-capture's frames of the
steps around the party's time: next steps are a few levels a pixel apart, and the right one is
the same picture (llvmpipe on the X server and OSMesa draw alike)."""
import datetime
import os
import tempfile
import re
import subprocess
import sys
import time
import unittest
from contextlib import ExitStack

from harness import (PATIENCE, Demo, Monitor, Xvfb, captured_frames, mean_difference, shots_at_once, stop_process,
                     wait_until)
from party_net import PartyNetwork
from xorg import XorgServer

BINARY = os.path.abspath(sys.argv.pop(1))
WIDTH, HEIGHT = 160, 90  # quick to draw and to compare, each step still its own picture
STEPS = 60  # a second's fixed steps
START = re.compile(r"party \S+: start (\S+ \S+), seed (\d+), ")
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
STRANGER_PORT = 4444
MOMENTS = 3  # at which the screens are compared
CUT_OFF = 10  # seconds a member's network is down from its start
ID = re.compile(r'"id=([0-9a-f]{16})"')

# A stranger on the network who has learnt the party's id from its services. Announced as a
# member on one socket, it hears the members' messages there; from another, never announced, it
# floods one member (`target`) with a few hundred datagrams made of them, the kinds in turn: the
# other member's replayed, bits flipped, cut short, lengthened, and noise. The member's socket
# holds the first hundred or so, every kind among them. Told "done" on its input, it writes how
# many datagrams each member sent the announced socket and how many came to the other one.
HOSTILE = """
import random, socket, sys
target, port, patience = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
announced, flooding = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
announced.bind(("", port))
flooding.bind(("", 0))
announced.settimeout(patience)
print("listening", flush=True)
to, others, heard, sent = None, [], [], {}
while to is None or len(others) < 2:
    data, source = announced.recvfrom(65536)
    heard.append(data)
    sent[source[0]] = sent.get(source[0], 0) + 1
    if source[0] == target:
        to = source
    else:
        others.append(data)
# The other member sent the target a later message just before its last one here: the earlier are replays.
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
    flooding.sendto(bytes(message), to)  # as fast as it goes: what the member's socket cannot hold is lost
print(f"flooded {to[0]}:{to[1]}", flush=True)
sys.stdin.readline()
answers = 0
for sock, count in ((announced, False), (flooding, True)):
    sock.setblocking(False)
    while True:
        try:
            _, source = sock.recvfrom(65536)
        except BlockingIOError:
            break
        if count:
            answers += 1
        else:
            sent[source[0]] = sent.get(source[0], 0) + 1
print(f"{answers} {sent.get(target, 0)}", flush=True)
"""


class Member(Demo):
    """A member whose swap probe reads a monotonic clock `ahead` seconds ahead of the tests' own:
    libfaketime fakes that clock too, as the system's plus its offset."""
    ahead = 0.0

    def swaps(self):
        return [t - self.ahead for t in super().swaps()]


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


class PartyCase(unittest.TestCase):
    """Members on a network of hosts (NETWORK: PartyNetwork's arguments) and their screens."""
    NETWORK = {}

    @classmethod
    def setUpClass(cls):
        cls.net = PartyNetwork.or_skip(**cls.NETWORK)
        cls.frames = {}  # (seed, step): disco-capture's frame
        cls.wall = time.time() - time.monotonic()  # the system clock at a moment of the monotonic one

    @classmethod
    def tearDownClass(cls):
        cls.net.stop()

    def setUp(self):
        self.stack = ExitStack()
        self.addCleanup(self.stack.close)

    def member(self, host, party="lab", refresh=None, clock=None, **env):
        """A disco on a host, asked to join `party` (None: no party), on an Xorg server refreshed
        `refresh` times a second, else on an Xvfb; with `clock` (seconds), its system and
        monotonic clocks that far ahead of the machine's."""
        if refresh:
            desktop = self.net.desktop(host, XorgServer, [Monitor("DUMMY0", WIDTH, HEIGHT, 0, 0, primary=True)],
                                       refresh=refresh)
        else:
            desktop = self.net.desktop(host, Xvfb, f"{WIDTH}x{HEIGHT}")
        self.stack.enter_context(desktop)
        if party:
            env["DISCO_PARTY"] = party
        if clock is not None:
            env.update(LD_PRELOAD=FAKETIME, FAKETIME=f"{clock:+g}")
        demo = Member(BINARY, desktop=desktop, env=env)
        if clock is not None:
            demo.ahead = self.wall + clock
        return self.stack.enter_context(demo)

    def party_step(self, moment, start):
        """The party's time at a moment of the monotonic clock, in steps."""
        return STEPS * (self.wall + moment - start)

    def closest(self, shot, start, seed):
        """Of disco-capture's frames of the steps about the party's time while the shot's frame
        was begun, the one the picture is closest to, and whether clearly so."""
        steps = range(int(self.party_step(shot.earliest, start)) - 3, int(self.party_step(shot.latest, start)) + 5)
        missing = [n for n in steps if (seed, n) not in self.frames]
        if missing:
            for n, frame in zip(missing, captured_frames(BINARY, WIDTH, HEIGHT, seed, [n / STEPS for n in missing])):
                self.frames[seed, n] = frame
        (best, step), (next_best, _) = sorted((mean_difference(shot.image, self.frames[seed, n]), n) for n in steps)[:2]
        return step, best < next_best / 2, f"of steps {steps.start} to {steps.stop - 1} (differences {best:.2f} and " \
            f"{next_best:.2f})"

    def step_of(self, shot, start, seed):
        """The step a shot shows, clearly one of those about the party's time."""
        step, clear, which = self.closest(shot, start, seed)
        self.assertTrue(clear, f"none {which} is clearly the frame shown")
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



class Party(PartyCase):
    NETWORK = {"hosts": 5}

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

    def test_clocks_apart_or_stepped_back_show_one_frame(self):
        # No time service anywhere: one member's clocks 3 s ahead, another's 40 ms behind, each
        # machine's monotonic clock its own; and one whose system clock a time service steps
        # back 10 s while the party plays (its monotonic clock runs on).
        first = self.member(0)
        party = settled(first)
        with tempfile.NamedTemporaryFile("w", prefix="disco-party-clock-", delete=False) as clock:
            clock.write("+0\n")
        self.stack.callback(os.unlink, clock.name)
        members = [first, self.member(1, clock=3), self.member(2, clock=-0.04),
                   self.member(3, LD_PRELOAD=FAKETIME, FAKETIME_TIMESTAMP_FILE=clock.name, FAKETIME_CACHE_DURATION="1",
                               FAKETIME_DONT_FAKE_MONOTONIC="1")]
        stepped = members[-1]
        for member in members[1:]:
            self.assertEqual(settled(member), party, f"another start than the first member's:\n{member.log()}")
        self.same_frame(members, *party)

        with open(clock.name, "w") as f:
            f.write("-10\n")
        # Its log dates what it says on its system clock: a member joining shows the step taken.
        newcomer = self.member(4)
        self.assertEqual(settled(newcomer), party, "a newcomer does not take the party's start")
        joined = f"a member at {self.net.address(4)}:"
        stepped.wait_until(lambda: logged(stepped, joined), "the newcomer joined")
        for member in members + [newcomer]:
            self.assertIsNone(logged(member, "gone silent"), "a member lost the party")
        behind = logged(newcomer, ": start ") - logged(stepped, joined)
        print(f"party: a system clock stepped back, dating the newcomer's start {behind:.1f} s earlier", file=sys.stderr)
        self.assertGreater(behind, 8, "the system clock did not step back")
        self.same_frame(members + [newcomer], *party)
        for member in members + [newcomer]:
            self.assertIsNone(logged(member, "gone silent"), "a member lost the party")
            self.assertEqual(settled(member), party, "the start changed")
        told = [line.split("party lab: ", 1)[1] for line in stepped.log().splitlines() if "their clocks" in line]
        print(f"party: the member stepped back last said: {told[-1] if told else 'nothing of its clocks'}", file=sys.stderr)

    def test_a_member_cut_off_at_first_joins_the_party_that_ran_longer(self):
        first = self.member(0)
        party = settled(first)
        self.net.cable(1, plugged=False)
        late = self.member(1)
        alone = settled(late)
        self.assertNotEqual(alone, party, "a member cut off took the party's start")
        self.assertIn("1 member(s)", late.log())
        wait_until(lambda: time.monotonic() >= late.started + CUT_OFF, "the member's network down for a while")
        self.net.cable(1, plugged=True)
        plugged = time.monotonic()
        merged = re.compile(rf"joined the party that had run longer \(heard from {re.escape(self.net.address(0))}:\d+\): "
                            r"its start (\S+ \S+) ")
        late.wait_until(lambda: merged.search(late.log()), "the party joined")
        joined = time.monotonic() - plugged
        self.assertEqual(clock_time(merged.search(late.log())[1]), party[0], "another start than the party's")
        self.assertEqual(len(merged.findall(late.log())), 1, "the merge said more than once")

        def shows_party_frame():
            shot = late.shot()
            if not late.at_pace(shot.asked):
                return False
            step, clear, _ = self.closest(shot, *party)
            return clear and self.party_step(shot.earliest, party[0]) - 1.5 <= step <= \
                self.party_step(shot.latest, party[0]) + 2.5
        late.wait_until(shows_party_frame, "the party's frame")
        shown = time.monotonic() - plugged
        print(f"party: a member cut off for its first {CUT_OFF} s joined the party {joined:.1f} s after its network "
              f"came up, showed its frame after {shown:.1f} s", file=sys.stderr)
        self.assertLess(shown, 15, "the party's frame shown late")
        self.same_frame([first, late], *party)
        self.assertNotIn("joined the party", first.log(), "the party that had run longer moved")
        self.assertEqual(settled(first), party)

    def test_hostile_datagrams_change_nothing(self):
        first = self.member(0)
        party = settled(first)
        target = self.member(1)
        self.assertEqual(settled(target), party)
        # The party's id, as its members announce it (never its name).
        browsed = {}

        def browse():
            out = self.net.popen(2, ["avahi-browse", "-rpt", "_disco-party._udp"], stdout=subprocess.PIPE,
                                 text=True).communicate(timeout=PATIENCE)[0]
            browsed.update((line.split(";")[7], line) for line in out.splitlines() if line.startswith("=;"))
            return all(self.net.address(i) in browsed for i in (0, 1))
        wait_until(browse, "both members' services")
        for record in browsed.values():
            self.assertNotIn("lab", record.split(";")[9], "the party's name in its services")
        party_id = ID.search(browsed[self.net.address(1)])[1]
        attack = self.net.popen(2, [sys.executable, "-c", HOSTILE, self.net.address(1), str(STRANGER_PORT),
                                    str(PATIENCE)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.stack.callback(stop_process, attack)
        self.assertEqual(attack.stdout.readline().strip(), "listening")
        publisher = self.net.popen(2, ["avahi-publish", "-s", "stranger", "_disco-party._udp", str(STRANGER_PORT),
                                       f"id={party_id}", "v=2"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.stack.callback(stop_process, publisher)
        flooded = attack.stdout.readline().strip()
        self.assertTrue(flooded.startswith("flooded"), "the stranger heard no messages")

        kinds = ("truncated", "oversized", "not written with the party's key", "replayed")

        def dropped():
            return [line for line in target.log().splitlines() if " dropped: " in line or " dropped since said: " in line]
        target.wait_until(lambda: all(any(kind in line for line in dropped()) for kind in kinds),
                          f"messages dropped as {', '.join(kinds)}")
        answers, sent = map(int, attack.communicate("done\n", timeout=PATIENCE)[0].split())
        print(f"party: {flooded}; the target sent the announced stranger {sent} message(s), answered the flood "
              f"{answers} time(s), and said:\n  " + "\n  ".join(dropped()), file=sys.stderr)
        self.assertEqual(answers, 0, "a stranger never announced was answered")
        said = [line.split(" dropped: ", 1)[1] for line in dropped() if " dropped: " in line]
        self.assertEqual(len(said), len(set(said)), "a kind of drop said more than once")
        self.assertEqual(settled(target), party, "the start changed")
        self.assertIsNone(logged(first, "gone silent"), "the target lost the party")
        self.same_frame([first, target], *party)


class PartyOverIpv6(PartyCase):
    """A network without IPv4 at all: the members find and hear each other by their IPv6
    link-local addresses."""
    NETWORK = {"hosts": 2, "ipv6_only": True}

    def test_members_meet_over_link_local_ipv6(self):
        first = self.member(0)
        party = settled(first)
        second = self.member(1)
        self.assertEqual(settled(second), party, "the second member did not take the party's start")
        address = f"a member at [{self.net.address(1)}%"
        first.wait_until(lambda: logged(first, address), f"{address} joined")
        self.same_frame([first, second], *party)


if __name__ == "__main__":
    unittest.main()
