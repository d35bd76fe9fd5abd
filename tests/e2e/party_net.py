"""A local network of several hosts on this one machine, for party mode's end-to-end tests: each
host a network namespace with its own avahi-daemon on its own D-Bus system bus, all joined to one
bridge, so that mDNS (224.0.0.251:5353) and the demos' UDP packets go between them as on a LAN.

    with PartyNetwork.or_skip(hosts=3) as net:
        publisher = net.popen(0, ["avahi-publish", "-s", "x", "_disco-party._udp", "4242"])
        net.popen(1, [binary], env=...)   # sees host 0 at net.address(0)

One network at a time per prefix on a machine: every namespace is named discoparty-* (or the
prefix DISCO_NETNS_PREFIX says), and those left by a run that crashed are cleared at start,
with whatever still runs in them.
Needs root, ip (iproute2), dbus-daemon and avahi-daemon (scripts/deps.sh installs them).
"""
import base64
import concurrent.futures
import ctypes
import glob
import os
import select
import shlex
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

from harness import BUS_CONFIG, PATIENCE, Started, Unavailable, stop_process, wait_until

# Another prefix (DISCO_NETNS_PREFIX) gives a network of its own beside this one: each has its own
# bridge's namespace, so the same subnet may be used by both.
PREFIX = os.environ.get("DISCO_NETNS_PREFIX", "discoparty-")
SUBNET = "10.250.77."  # a private /24 by default; no clash is possible, as no host sees the machine's network

# A host name of its own, not the machine's, so hosts do not clash; IPv4 only (or IPv6 only), on
# the shared link.
AVAHI_CONFIG = """[server]
host-name={name}
use-ipv4={ipv4}
use-ipv6={ipv6}
allow-interfaces=eth0
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-aaaa-on-ipv4=no
publish-hinfo=no
publish-workstation=no
"""


def ip(*args, check=True):
    done = subprocess.run(["ip", *args], capture_output=True, text=True)
    if check and done.returncode != 0:
        raise RuntimeError(f"ip {' '.join(args)}: {done.stderr.strip()}")
    return done


def clear_namespaces(prefix):
    """Ends every process in a namespace of the prefix and deletes the namespace (which would
    outlive its deletion while a process is still in it)."""
    listed = ip("netns", "list", check=False).stdout.split("\n")
    names = [line.split()[0] for line in listed if line.startswith(prefix)]
    for name in [n for n in names if n[len(prefix):] == "link" or n[len(prefix):].isdigit()]:
        for pid in ip("netns", "pids", name, check=False).stdout.split():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
        ip("netns", "del", name, check=False)


class PartyNetwork(Started):
    def __init__(self, hosts=3, ipv6_only=False, subnet=SUBNET):
        """`ipv6_only`: the hosts have IPv6 link-local addresses and no IPv4 at all, and a
        prefix of their own (PREFIX + "v6-"), beside a network of the usual prefix. `subnet`:
        the first three bytes of the hosts' IPv4 /24, with its dot."""
        missing = [p for p in ("ip", "dbus-daemon", "dbus-send", "avahi-daemon") if not shutil.which(p)]
        if missing:
            raise Unavailable(f"not installed: {' '.join(missing)} (scripts/deps.sh installs them)")
        if os.geteuid() != 0:
            raise Unavailable("network namespaces need root")
        self.hosts = hosts
        self.ipv6_only, self.subnet = ipv6_only, subnet
        self.prefix = PREFIX + ("v6-" if ipv6_only else "")
        self.link = self.prefix + "link"  # the namespace of the bridge: the machine's own network is left alone
        self.folder = tempfile.mkdtemp(prefix=self.prefix + "net-")  # the hosts' buses, configurations, logs
        os.chmod(self.folder, 0o755)  # the buses are for programs of any user (BUS_CONFIG lets them in)
        self.daemons, self.processes = [], []
        with self.starting():
            self._start()

    def _start(self):
        clear_namespaces(self.prefix)  # and the folders, of a run that crashed
        for folder in glob.glob(os.path.join(tempfile.gettempdir(), self.prefix + "net-*")):
            if folder != self.folder:
                shutil.rmtree(folder, ignore_errors=True)
        if ip("netns", "add", self.link, check=False).returncode != 0:
            raise Unavailable("cannot make network namespaces (ip netns add)")
        # No multicast snooping: the bridge floods mDNS to every port, whoever has joined what.
        ip("-n", self.link, "link", "add", "name", "party", "type", "bridge", "mcast_snooping", "0")
        ip("-n", self.link, "link", "set", "dev", "party", "up")
        for i in range(self.hosts):
            ip("netns", "add", self.namespace(i))
            ip("-n", self.link, "link", "add", "name", f"port{i}", "type", "veth", "peer", "name", "eth0",
               "netns", self.namespace(i))
            ip("-n", self.link, "link", "set", "dev", f"port{i}", "master", "party", "up")
            if self.ipv6_only:  # no IPv4; link-local addresses usable at once (no duplicate detection)
                ip("netns", "exec", self.namespace(i), "sysctl", "-qw", "net.ipv6.conf.eth0.accept_dad=0",
                   "net.ipv6.conf.eth0.disable_ipv6=0")
            else:
                ip("-n", self.namespace(i), "addr", "add", f"{self.address(i)}/24", "dev", "eth0")
            ip("-n", self.namespace(i), "link", "set", "lo", "up")
            ip("-n", self.namespace(i), "link", "set", "eth0", "up")
        # Every bus first, as avahi-daemon ends at once when it finds no bus; hosts side by side.
        for i in range(self.hosts):
            with open(self._path(i, "bus.conf"), "w") as f:
                f.write(BUS_CONFIG.format(kind="system", path=self._path(i, "bus")))
            self._daemon(i, "dbus-daemon", f"--config-file={self._path(i, 'bus.conf')}", "--nofork")
        for i in range(self.hosts):
            self._wait(i, lambda i=i: os.path.exists(self._path(i, "bus")), "its bus")
        # avahi-daemon keeps its pid file and socket in /run/avahi-daemon whatever its options,
        # and will not start where another daemon's pid file is: each host gets a folder of its
        # own mounted there, in the mount namespace of its own that `ip netns exec` makes.
        os.makedirs("/run/avahi-daemon", exist_ok=True)
        for i in range(self.hosts):
            os.mkdir(self._path(i, "run"))
            with open(self._path(i, "avahi.conf"), "w") as f:
                f.write(AVAHI_CONFIG.format(name=self.namespace(i), ipv4="no" if self.ipv6_only else "yes",
                                            ipv6="yes" if self.ipv6_only else "no"))
            self._daemon(i, "sh", "-c", 'mount --bind "$0" /run/avahi-daemon && exec "$@"', self._path(i, "run"),
                         "avahi-daemon", "-f", self._path(i, "avahi.conf"),
                         "--no-drop-root", "--no-chroot", "--no-rlimits", "--no-proc-title")
        for i in range(self.hosts):
            self._wait(i, lambda i=i: self._avahi_on_bus(i), "avahi-daemon on its bus")

    def stop(self):
        """Everything gone: the processes started on the hosts, the daemons, the namespaces."""
        for process in self.processes + [daemon for _, daemon in self.daemons]:
            stop_process(process)
        clear_namespaces(self.prefix)
        shutil.rmtree(self.folder, ignore_errors=True)

    def cable(self, i, plugged):
        """Host i's cable into the party's network, or out of it (its own link stays up)."""
        ip("-n", self.link, "link", "set", "dev", f"port{i}", "up" if plugged else "down")

    def namespace(self, i):
        return f"{self.prefix}{i}"

    def address(self, i):
        """Host i's address on the shared link: IPv4, or its IPv6 link-local one."""
        if not self.ipv6_only:
            return f"{self.subnet}{i + 1}"
        shown = ip("-n", self.namespace(i), "-6", "-o", "addr", "show", "dev", "eth0", "scope", "link").stdout
        return shown.split()[3].split("/")[0]

    def env(self, i):
        """What a program on host i needs in its environment on top of the tests' own: the bus
        that host's avahi-daemon is on, which libavahi-client finds as the system bus."""
        return {"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self._path(i, 'bus')}"}

    def popen(self, i, args, env=None, **popen):
        """Starts a program on host i (env, the tests' own when None, with env(i) on top); stop()
        ends it if it has not ended by then."""
        popen.setdefault("stdin", subprocess.DEVNULL)
        process = subprocess.Popen(["ip", "netns", "exec", self.namespace(i), *args],
                                   env={**(os.environ if env is None else env), **self.env(i)}, **popen)
        self.processes.append(process)
        return process

    def desktop(self, i, kind, *args, **kwargs):
        """An X server of class `kind` (harness.Xvfb, xorg.XorgServer; args its own) for host i:
        the programs started on it once it is up, the demo too, run on host i. The server itself
        stays in the machine's network namespace, reached through its socket file: X servers pick
        a free display number by their abstract sockets, which every network namespace has its
        own of, so servers started on the hosts would all take one number, and screenshots would
        show whichever made its socket file last."""
        network = self

        class OnHost(kind):
            def popen(self, args, env=None, **popen):
                if self.display:
                    args = ["ip", "netns", "exec", network.namespace(i), *args]
                    env = {**(env or self.env()), **network.env(i)}
                return super().popen(args, env, **popen)
        return OnHost(*args, **kwargs)

    def connect(self, i, address, port):
        """A TCP connection from host i, for the tests to talk from a host themselves: made on a
        thread of its own that enters host i's network namespace, which the socket keeps."""
        def made():
            with open(os.path.join("/run/netns", self.namespace(i))) as namespace:
                if _LIBC.setns(namespace.fileno(), CLONE_NEWNET) != 0:
                    raise OSError(ctypes.get_errno(), "setns")
            return socket.create_connection((address, port), PATIENCE)
        with concurrent.futures.ThreadPoolExecutor(1) as thread:
            return thread.submit(made).result()

    def wrapper(self, i, program):
        """A script that runs `program` on host i, for code that starts it itself (a browser)."""
        path = self._path(i, os.path.basename(program))
        with open(path, "w") as f:
            f.write(f'#!/bin/sh\nexec ip netns exec {self.namespace(i)} {shlex.quote(program)} "$@"\n')
        os.chmod(path, 0o755)
        return path

    def log_text(self, i):
        """What host i's daemons have written."""
        with open(self._path(i, "log"), errors="replace") as f:
            return f.read()

    def _path(self, i, name):
        return os.path.join(self.folder, f"host{i}-{name}")

    def _daemon(self, i, *args):
        with open(self._path(i, "log"), "ab") as log:
            self.daemons.append((i, subprocess.Popen(["ip", "netns", "exec", self.namespace(i), *args],
                                                     env={**os.environ, **self.env(i)}, stdin=subprocess.DEVNULL,
                                                     stdout=log, stderr=subprocess.STDOUT)))

    def _wait(self, i, condition, what):
        """Waits for one of host i's daemons to be ready; a daemon ending first fails at once."""
        def gave_up():
            for host, daemon in self.daemons:
                if daemon.poll() is not None:
                    return f"a daemon of host {host} ended ({daemon.returncode}):\n{self.log_text(host)[-2000:]}"
        wait_until(condition, f"{what} on host {i}", PATIENCE, gave_up)

    def _avahi_on_bus(self, i):
        return "boolean true" in subprocess.run(
            ["dbus-send", f"--bus={self.env(i)['DBUS_SYSTEM_BUS_ADDRESS']}", "--print-reply",
             "--dest=org.freedesktop.DBus", "/", "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.Avahi"],
            capture_output=True, text=True).stdout


CLONE_NEWNET = 0x40000000
_LIBC = ctypes.CDLL(None, use_errno=True)


# A guests' WebSocket (platform/guests) as a page speaks it: binary frames, masked.

def websocket(sock, host, path="/party-clock"):
    """Asks for a WebSocket on a connected socket; the answer's status line (…101… when taken)."""
    key = base64.b64encode(os.urandom(16)).decode()
    sock.sendall(f"GET {path} HTTP/1.1\r\nHost: {host}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
    head = b""
    while not head.endswith(b"\r\n\r\n"):
        byte = sock.recv(1)  # no further: what follows is the socket's
        if not byte:
            break
        head += byte
    return head.split(b"\r\n", 1)[0].decode(errors="replace")


def ws_frame(payload, opcode=2, masked=True, length=None):
    """One frame; `length` claims another size than the payload's."""
    length = len(payload) if length is None else length
    head = bytes([0x80 | opcode])
    size = (bytes([length]) if length < 126 else bytes([126]) + struct.pack(">H", length) if length < 65536
            else bytes([127]) + struct.pack(">Q", length))
    if not masked:
        return head + size + payload
    mask = os.urandom(4)
    return head + bytes([size[0] | 0x80]) + size[1:] + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


def read_frame(sock):
    """(opcode, payload) of the next frame, a ping answered; None at the end."""
    def exactly(n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data
    head = exactly(2)
    length = head and head[1] & 0x7F
    if length and length >= 126:
        length = int.from_bytes(exactly(2 if length == 126 else 8) or b"", "big")
    payload = exactly(length) if length else b""
    if head is None or payload is None:
        return None
    if head[0] & 0x0F == 9:
        sock.sendall(ws_frame(payload, opcode=10))
    return head[0] & 0x0F, payload


def ask_clock(sock):
    """The party's seconds, its start (µs since 1970) and seed as a member answers 8 bytes, and
    the midpoint of the question's round trip (time.monotonic())."""
    asked = time.monotonic()
    sock.sendall(ws_frame(struct.pack("<d", asked)))
    while True:
        frame = read_frame(sock)
        if frame is None or frame[0] == 8:
            raise ConnectionError(f"the clock socket closed: {frame}")
        if frame[0] == 2 and len(frame[1]) == 32 and struct.unpack_from("<d", frame[1])[0] == asked:
            _, seconds, start, seed = struct.unpack("<dddI4x", frame[1])
            return seconds, start, seed, (asked + time.monotonic()) / 2


def reply_to(sock):
    """What a guests' socket did with what was sent: "answered" (a binary frame), else closed
    ("closed 1008": its close frame's code; "closed" alone when it just ended)."""
    while select.select([sock], [], [], PATIENCE)[0]:
        frame = read_frame(sock)
        if frame is None or frame[0] == 8:
            return " ".join(["closed"] + ([str(struct.unpack(">H", frame[1][:2])[0])] if frame and frame[1] else []))
        if frame[0] == 2:
            return "answered"
    raise AssertionError("the socket was neither closed nor answered")
