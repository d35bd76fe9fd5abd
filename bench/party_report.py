#!/usr/bin/env python3
"""What a party costs: bench/party_members with 2, 8 and 32 members on one host of a network of
its own (tests/e2e/party_net.py: a namespace with its own avahi-daemon), and the avahi-daemon's
own CPU meanwhile. Prints a Markdown table for docs/performance.md.

Usage: bench/party_report.py PARTY_MEMBERS [SECONDS]   (as root)"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from party_net import PartyNetwork  # noqa: E402
from process_cpu import cpu_seconds  # noqa: E402

BENCH = os.path.abspath(sys.argv[1])
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0


def main():
    print("| Members | Sent per member per second | Bytes | Taken per member per second | CPU per member "
          "| avahi-daemon's CPU |\n|---|---|---|---|---|---|")
    with PartyNetwork(hosts=1) as net:
        avahi = next(process.pid for host, process in net.daemons if "avahi" in " ".join(process.args))
        for members in (2, 8, 32):
            before = cpu_seconds(avahi)
            run = net.popen(0, [BENCH, str(members), str(SECONDS)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)
            out, _ = run.communicate(timeout=SECONDS + 120)
            daemon = (cpu_seconds(avahi) - before) / (SECONDS + 2)  # with the join window
            got = dict(line.split() for line in out.splitlines())
            assert got["one_start"] == "yes", f"{members} members did not agree on a start"
            print(f"| {members} | {float(got['sent_per_second']):.1f} | {float(got['sent_bytes_per_second']):.0f} "
                  f"| {float(got['received_per_second']):.1f} | {100 * float(got['cpu_share']):.3f} % "
                  f"| {100 * daemon:.2f} % |", flush=True)


if __name__ == "__main__":
    main()
