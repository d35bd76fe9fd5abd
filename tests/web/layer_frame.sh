#!/usr/bin/env bash
# The page's GL layer, drawing natively on Mesa, gives the desktop's frames: disco-capture through
# the layer against disco-capture itself, at scene times with every object on screen, compared by
# PSNR (the two differ only by rounding in the last bit of a colour here and there).
# usage: layer_frame.sh DISCO_CAPTURE DISCO_CAPTURE_GL1
set -euo pipefail
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
times=(2.25 9.5)
for capture in "$1" "$2"; do
  "$capture" --size 640x360 --seed 3 --output "$folder/$(basename "$capture")-%d.png" --time 2.25 --time 9.5 2>/dev/null
done
for i in "${!times[@]}"; do
  psnr="$(compare -metric PSNR "$folder/$(basename "$1")-$i.png" "$folder/$(basename "$2")-$i.png" null: 2>&1 || true)"
  echo "at ${times[$i]} s: ${psnr} dB"
  awk -v p="$psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= 42) }' || { echo "the layer's frame differs"; exit 1; }
done
