#!/usr/bin/env bash
# Builds everything in Release, checks the sources' layout and layering, and runs the tests.
set -euo pipefail
cd "$(dirname "$0")"
./tools/check-path.sh
./tools/deps.sh --test
# The benchmarks too (about 10 seconds more), so that a change that breaks one fails here.
./tools/build.sh -DVSF_BENCH=ON
./tools/check-format.sh
./tools/check-layers.py
ctest --test-dir build --output-on-failure -j"$(nproc)"
