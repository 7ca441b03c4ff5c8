#!/usr/bin/env bash
# Builds everything in Release and runs the tests.
set -euo pipefail
cd "$(dirname "$0")"
./tools/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
