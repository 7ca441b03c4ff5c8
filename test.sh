#!/usr/bin/env bash
# Builds everything in Release, checks the sources' layout and layering, and runs the tests.
set -euo pipefail
cd "$(dirname "$0")"
./tools/deps.sh --test
./tools/build.sh
./tools/check-format.sh
./tools/check-layers.py
ctest --test-dir build --output-on-failure -j"$(nproc)"
