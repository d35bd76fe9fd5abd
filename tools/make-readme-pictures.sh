#!/usr/bin/env bash
# The README's screenshot and animation, rendered headless by disco-capture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target disco-capture >/dev/null
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
"$build"/disco-capture --size 1280x720 --seed 3 --time 21.3 --output docs/screenshot.png 2>/dev/null
"$build"/disco-capture --size 360x203 --seed 3 --frames 40 --fps 16 --start 19 --output "$frames/f%03d.png" 2>/dev/null
convert -delay 6 -loop 0 "$frames"/f*.png -colors 64 -layers Optimize docs/disco.gif
ls -l docs/screenshot.png docs/disco.gif
