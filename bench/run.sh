#!/usr/bin/env bash
# Builds the benchmarks and runs them all (frame CPU, software frames, start-up, memory, audio,
# video export), then writes docs/performance.md and docs/frame-times.png. Takes about eight
# minutes, and the video export some fifteen more.
#   bench/run.sh [--quick]      (BUILD_DIR=... to use another build folder)
# Installs what is missing first: compilers, Google Benchmark, Xvfb, gnuplot (scripts/deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDISCO_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target disco disco-capture bench_frame bench_audio bench_catch_up minimal_window first_frame_window swap_probe audio_probe stage_probe
python3 "$root/bench/report.py" "$build" "$@"
# disco-capture --video against PNG frames encoded by the ffmpeg command line: its own section.
exec python3 "$root/bench/video_report.py" "$build" "$@"
