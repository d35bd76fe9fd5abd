#!/usr/bin/env bash
# The real demo under valgrind memcheck for 10 s of full-screen frames on a virtual X server,
# ended by a key press as a user would. Fails on any invalid read or write, any use of an
# undefined value, and any definite leak that disco.supp does not put down to Mesa or SDL.
#   tests/valgrind/run.sh [path to disco]      (default: build/disco)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="$(realpath "${1:-$here/../../build/disco}")"
seconds="${SECONDS_OF_FRAMES:-10}"
command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)" >&2; exit 2; }

work="$(mktemp -d)"
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

# Software GL without a JIT (softpipe): llvmpipe's generated code only slows valgrind down.
# No sound device: the music's decoding thread still runs and is checked.
GALLIUM_DRIVER=softpipe LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy \
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --suppressions="$here/disco.supp" --gen-suppressions=all \
  --num-callers=30 --log-file="$work/valgrind.log" "$binary" 2>"$work/stderr.txt" &
demo_pid=$!

# Start-up under valgrind is slow: wait for the first full-screen frame, then run.
for _ in $(seq 600); do
  grep -q "FullScreen pixelFormat" "$work/stderr.txt" && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "FullScreen pixelFormat" "$work/stderr.txt"; then
  cat "$work/stderr.txt" "$work/valgrind.log" >&2
  echo "the demo did not reach full screen under valgrind" >&2
  exit 1
fi
sleep "$seconds"
xdotool key space
status=0
wait "$demo_pid" || status=$?
demo_pid=""

grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable" "$work/valgrind.log" >&2 || true
if [ "$status" -ne 0 ]; then
  cat "$work/valgrind.log" >&2
  echo "valgrind found errors (exit status $status)" >&2
  exit 1
fi
echo "valgrind: no errors, no definite leaks" >&2
