#!/usr/bin/env bash
# Regenerates the six files in resources/ that the demo reads: font.png,
# tile.png, nine.png, vexlogo.png, round.png and tralmix.m4a. Deterministic:
# running it again gives the same pixels and samples.
#   tools/make-resources.sh [OUTDIR]      (default: resources/ beside tools/)
# Needs the packages of tools/deps.sh.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$(cd "$here/.." && pwd)/resources}"
mkdir -p "$out"
py=/usr/bin/python3

"$py" "$here/gen_images.py" "$out"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# The encoder gets the loop with 16384 samples of its own end before it and
# 4096 of its start after it, so both ends are coded in the context they play
# in, with the encoder already settled (with only a few frames of lead-in the
# first bar came out several times noisier than the rest). The MP4 edit list
# then cuts exactly the loop out of that, skipping the encoder's priming too,
# so the track's duration is the loop's length.
lead_in=16384 lead_out=4096
samples="$("$py" "$here/gen_music.py" "$tmp/loop.f32" $lead_in $lead_out)"
ffmpeg -hide_banner -loglevel error -y -threads 1 \
  -f f32le -ar 44100 -ac 2 -i "$tmp/loop.f32" \
  -c:a aac -b:a 192k -fflags +bitexact -flags:a +bitexact -map_metadata -1 \
  -movflags +faststart "$tmp/tralmix.m4a"
"$py" "$here/mp4_trim.py" "$tmp/tralmix.m4a" $lead_in "$samples"
got="$(ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 "$tmp/tralmix.m4a")"
if [ "$got" != "$samples" ]; then
  echo "tralmix.m4a: container holds $got samples, the loop has $samples" >&2
  exit 1
fi
mv "$tmp/tralmix.m4a" "$out/tralmix.m4a"
echo "wrote $out: images and a loop of $samples samples"
