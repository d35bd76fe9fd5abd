#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for the given number of
# seconds (default 60), one after the other, starting from the committed seeds in corpus/.
# New inputs go to build-fuzz/corpus/<target>. Each target runs in a child process (fork mode),
# so a slow or memory-hungry input is saved in build-fuzz/artifacts/ and the run goes on; a
# crash stops it. Any saved input fails the run. The execution count is printed per target.
#   tests/fuzz/run.sh 900            # a quarter of an hour each
#   TARGETS=fuzz_music tests/fuzz/run.sh 60
set -euo pipefail
seconds="${1:-60}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-fuzz"

bash "$here/deps.sh"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DDISCO_FUZZ=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}"

status=0
for target in ${TARGETS:-fuzz_image fuzz_texture_layout fuzz_music fuzz_party}; do
  seeds="$here/corpus/${target#fuzz_}"
  work="$build/corpus/$target"
  mkdir -p "$work" "$build/artifacts"
  echo "== $target for ${seconds}s" >&2
  # Leaks are checked too: a decoder that forgets a buffer per file would show here.
  before=$(ls "$build/artifacts" | grep -c "^$target-" || true)
  if ! ASAN_OPTIONS="halt_on_error=1:detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
      "$build/$target" "$work" "$seeds" -fork=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=262144 \
      -artifact_prefix="$build/artifacts/$target-" 2>"$build/$target.log"; then
    status=1
    tail -n 60 "$build/$target.log" >&2
  fi
  after=$(ls "$build/artifacts" | grep -c "^$target-" || true)
  if [ "$after" -gt "$before" ]; then
    status=1
    echo "$target: $((after - before)) new input(s) in $build/artifacts" >&2
  fi
  # Fork mode reports progress as "#<executions>: cov: ...": the last one is the total.
  grep -E "^#[0-9]+:" "$build/$target.log" | tail -n 1 | sed "s/^/$target: executions /"
done
exit $status
