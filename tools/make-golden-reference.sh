#!/usr/bin/env bash
# Renders the reference frame the golden-frame test compares against. Run it after a change
# that is meant to alter the look, look at the picture, and commit it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target disco-capture >/dev/null
"$build"/disco-capture --size 320x180 --seed 7 --time 12.5 --output tests/golden/reference-320x180.png 2>/dev/null
echo "wrote tests/golden/reference-320x180.png"
