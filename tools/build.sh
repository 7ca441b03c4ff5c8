#!/usr/bin/env bash
# Configures and builds in Release into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVSF_WERROR=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
