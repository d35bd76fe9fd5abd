#!/usr/bin/env bash
# The README's screenshot, animation and video clip, rendered headless by disco-capture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target disco-capture >/dev/null
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
"$build"/disco-capture --size 1280x720 --seed 3 --time 21.3 --output docs/screenshot.png 2>/dev/null
"$build"/disco-capture --size 360x203 --seed 3 --frames 40 --fps 16 --start 19 --output "$frames/f%03d.png" 2>/dev/null
convert -delay 6 -loop 0 "$frames"/f*.png -colors 64 -layers Optimize docs/disco.gif
"$build"/disco-capture --video docs/disco-clip.mp4 --size 480x270 --fps 30 --seed 3 --start 19 --duration 4 2>/dev/null
ls -l docs/screenshot.png docs/disco.gif docs/disco-clip.mp4
