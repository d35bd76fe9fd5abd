#!/usr/bin/env bash
# Installs every Debian package that building, running and testing disco needs.
# Idempotent: packages already present are left alone, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  # platform layer
  libsdl2-dev libpulse-dev libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols libglib2.0-dev libx11-dev libxrandr-dev libgl-dev libglu1-mesa-dev libosmesa6-dev libpng-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libswscale-dev
  # software GL at run time (llvmpipe)
  libgl1-mesa-dri
  # tests
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick ffmpeg python3
  # a real X server with several monitors, and a window manager (tests/e2e/test_monitors.py)
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-xkb-utils openbox libxfixes-dev
  # tests: videos made by disco-capture play in a browser
  chromium
  # the demo in a web page (scripts/web.sh): emscripten's compiler and its node.js
  emscripten nodejs
  # Wayland: weston with XWayland, and sway with its screenshot and key tools
  weston xwayland sway grim wtype
  # GNOME and KDE, headless with virtual monitors (tests/e2e/test_desktops.py): the shell and its
  # session, plain mutter, kwin, and what mutter's screencast and remote desktop need
  gnome-shell gnome-session-bin gnome-settings-daemon mutter kwin-wayland
  gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base python3-gi gir1.2-glib-2.0
  # sound servers with a null sink, recorded from its monitor (tests/music/test_sound_servers.py)
  pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber dbus
  # party mode: mDNS discovery through avahi-daemon on private buses in network namespaces
  # (tests/e2e/party_net.py), avahi-utils to look at it, libavahi-client for the demo itself,
  # faketime for a member whose clock is ahead (tests/e2e/test_party.py)
  avahi-daemon avahi-utils iproute2 libavahi-client-dev faketime
  # party messages authenticated with a key derived from the party's name
  libsodium-dev
  # guests' phones at a party: the page and the party's clock over HTTP and a WebSocket (libsoup 3),
  # the link drawn as a QR code in the terminal, and a reader that scans it in the unit tests
  libsoup-3.0-dev libqrencode-dev zbar-tools
  # the party test: how far apart the members' music is (cross-correlation)
  python3-numpy
  # benchmarks (bench/run.sh): the frame-time plot
  gnuplot-nox
  # the Debian package (cpack -G DEB): dpkg-shlibdeps works out its dependencies
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
