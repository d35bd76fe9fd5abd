#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs every test through CTest.
# The end-to-end tests start their own virtual X servers (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure -j"$(nproc)"
