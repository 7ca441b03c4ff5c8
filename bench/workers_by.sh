#!/usr/bin/env bash
# Many small BY groups on 1, 8 and 1024 requested workers, in turns (1, 8, 1024, 1, 8, ...):
# 238 groups of 50 rows of y and ten candidates (the data of tests/e2e/workers_test.cpp),
# stepwise by SBC, NOPRINT. Prints each run's elapsed and CPU seconds (/usr/bin/time).
#   bench/workers_by.sh [ROUNDS]
# Builds the command into build-bench/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target varsifter >/dev/null
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/groups.csv" <<'PY'
import sys
state, mask = 12345, (1 << 64) - 1
def draw():
    global state
    state = (state * 6364136223846793005 + 1442695040888963407) & mask
    return (state >> 11) / 9007199254740992.0 - 0.5
with open(sys.argv[1], "w") as f:
    f.write("g,y," + ",".join(f"x{i}" for i in range(1, 11)) + "\n")
    for g in range(238):
        for _ in range(50):
            x = [draw() for _ in range(10)]
            f.write(f"{g},{x[0] + 0.5 * x[1] + draw()!r}," + ",".join(map(repr, x)) + "\n")
PY
for c in 1 8 1024; do
  echo "proc varsifter data=groups noprint; by g; model y = x1-x10 / selection=stepwise(select=sbc);
  performance cpucount=$c; run;" > "$work/c$c.vsf"
done
for ((r = 0; r < rounds; ++r)); do
  for c in 1 8 1024; do
    /usr/bin/time -a -o "$work/times" -f "cpucount=$c elapsed %e s cpu %U+%S s" \
      build-bench/app/varsifter "$work/c$c.vsf" --lib "$work" >/dev/null 2>&1
  done
done
cat "$work/times"
