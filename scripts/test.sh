#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs every test through CTest
# (the end-to-end ones start their own virtual X servers), then the unit tests once more
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)")
bash scripts/test-sanitizers.sh
