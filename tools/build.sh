#!/usr/bin/env bash
# Configures and builds in Release into build/: everything, or the targets named with
# --target NAME. Other arguments go to the configure step (-DVSF_BENCH=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
configure=()
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=(--target "$2"); shift 2 ;;
    *) configure+=("$1"); shift ;;
  esac
done
./tools/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVSF_WERROR=ON "${configure[@]}" >/dev/null
cmake --build build -j"$(nproc)" "${targets[@]}"
