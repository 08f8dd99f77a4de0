#!/usr/bin/env bash
# Installs what is missing, configures and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# A compiler cache, where the machine has one, makes a rebuild of a fresh
# clone take minutes instead of a quarter of an hour.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -G Ninja "${launcher[@]}"
cmake --build build -j"$(nproc)"
