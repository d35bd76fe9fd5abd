#!/usr/bin/env bash
# Builds the demo for the browser with Debian's emscripten into the folder given (build-web/ by
# default): the page, its scripts, the WebAssembly, the resources, and what installs the page on a
# phone and keeps it offline (manifest, icons, service worker), a plain set of static files.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build-web}"
objdir="${out%/}-objects"  # kept apart: the folder holds only what a server hosts
mkdir -p "$out" "$objdir"
# Debian's emscripten finds its JavaScript tools (acorn, ...) only on the system's node path.
export NODE_PATH=/usr/share/nodejs

version="$(sed -n 's/^project(disco VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
# The scene's code as it is, with the GL headers of our GL 1.x layer in front of emscripten's.
flags=(-std=c++20 -O2 -Wall -Wextra -I"$root/platform/web/gl" -I"$root" -DDISCO_VERSION="\"$version\"")
sources=("$root"/support/*.cpp "$root"/scene/*.cpp "$root"/objects/*.cpp
         "$root"/app/OpenGLView.cpp "$root"/app/PartyFrames.cpp "$root"/app/main.cpp "$root"/app/capture/FrameCapture.cpp
         "$root"/app/web/*.cpp "$root"/platform/Clock.cpp "$root"/platform/web/*.cpp "$root"/platform/web/gl1/*.cpp)

objects=()
for source in "${sources[@]}"; do
  object="$objdir/$(realpath --relative-to="$root" "$source" | tr / _).o"
  if [ ! -e "$object" ] || [ -n "$(find "$source" "$root"/platform/web/gl -newer "$object" -print -quit)" ] ||
     [ -n "$(find "$root" -name '*.h' -not -path '*/build*' -newer "$object" -print -quit)" ]; then
    em++ "${flags[@]}" -c "$source" -o "$object"
  fi
  objects+=("$object")
done

em++ "${objects[@]}" -o "$out/disco.js" -O2 \
  -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web \
  -sEXPORTED_FUNCTIONS=_main,_disco_start,_disco_ball_position,_disco_render_at,_malloc,_free \
  -sEXPORTED_RUNTIME_METHODS=addRunDependency,removeRunDependency \
  --js-library "$root/platform/web/library.js"
cp "$root"/platform/web/{index.html,page.js,wake.js,guest.js,offline.js,manifest.webmanifest} "$out/"
# The icons a phone shows for the page added to its home screen, made from the desktop's.
mkdir -p "$out/icons"
for size in 192 512; do
  icon="$out/icons/disco-$size.png"
  [ "$icon" -nt "$root/app/desktop/disco.png" ] || convert "$root/app/desktop/disco.png" -resize "${size}x$size" -strip "$icon"
done
# Two seconds of black, silent: played where the page may not ask for the screen to stay on.
[ -s "$out/keepawake.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i color=c=black:s=16x16:r=1 -t 2 \
  -c:v libx264 -pix_fmt yuv420p -movflags +faststart -an "$out/keepawake.mp4"
mkdir -p "$out/resources"
cp "$root"/resources/*.png "$root"/resources/*.m4a "$out/resources/"
rm -f "$out/resources/"*.txt
bash "$root/platform/web/precache.sh" "$out"  # last: it keeps every file above offline
echo "built $out"
