#!/usr/bin/env bash
# Times a first run on a fresh clone against a first ./test.sh on another: ./run.sh builds only
# the command, ./test.sh everything with the tests. Usage: bench/fresh_build.sh [WORKDIR]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$(mktemp -d)}"
rm -rf "$work/run" "$work/test"
git clone -q "$src" "$work/run"
git clone -q "$src" "$work/test"
echo "cores $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
(cd "$work/run" && /usr/bin/time -f "run.sh examples/diabetes.vsf: %e s" \
  ./run.sh examples/diabetes.vsf > run.lst 2> run.err) 2>&1
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
(cd "$work/test" && /usr/bin/time -f "test.sh: %e s" ./test.sh > test.out 2>&1) 2>&1
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
