#!/usr/bin/env bash
# Renews the README's pictures (docs/screenshots/) from a run on the built-in emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tarvik-screenshots
build/tools/tarvik-screenshots/tarvik-screenshots docs/screenshots
