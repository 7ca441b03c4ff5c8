#!/usr/bin/env bash
# Builds in Release and runs a program: ./run.sh examples/diabetes.vsf [varsifter options]
set -euo pipefail
cd "$(dirname "$0")"
if [ $# -lt 1 ]; then
  echo "usage: ./run.sh PROGRAM [varsifter options]" >&2
  exit 2
fi
./tools/build.sh >/dev/null
program="$1"; shift
exec ./build/app/varsifter "$program" --lib examples/data "$@"
