#!/usr/bin/env bash
# Builds Tarvik and starts it on the built-in adapter emulator (no hardware needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/tarvik ]; then
  exec build/tarvik --simulate "$@"
fi
# Until the main window exists, serve the emulator on a pseudo-terminal.
exec build/tools/tarvik-adapter-emu --model vehicle "$@"
