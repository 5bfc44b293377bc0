#!/usr/bin/env bash
# Builds Tarvik and starts it on the built-in adapter emulator (no hardware needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec build/tarvik --simulate "$@"
