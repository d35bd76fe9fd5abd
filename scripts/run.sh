#!/usr/bin/env bash
# Installs what is missing, builds disco (Release) in build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target disco
exec ./build/disco
