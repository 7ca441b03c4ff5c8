#!/usr/bin/env bash
# A FORWARD selection of 500 steps over 520 candidates (1,500 rows) through the varsifter command,
# with every step graph drawn into the HTML page and SVG files (PLOTS=ALL) and without graphs
# (PLOTS=NONE), each run in turn; elapsed time and peak memory from /usr/bin/time -v.
#   bench/graphs_run.sh [RUNS]
# Builds the command into build-bench/ (Release) and writes the CSV under build-bench/bench-data/
# once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target varsifter >/dev/null
mkdir -p build-bench/bench-data
csv=build-bench/bench-data/graphs_wide.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" 1500 520
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for plots in all none; do
  cat > "$work/$plots.vsf" <<VSF
proc varsifter data=graphs_wide plots=$plots;
  model y = x1-x520 / selection=forward(select=sbc stop=none) maxsteps=500;
run;
VSF
done
for ((r = 1; r <= runs; ++r)); do
  for plots in all none; do
    out=$( { /usr/bin/time -v ./build-bench/app/varsifter "$work/$plots.vsf" \
               --lib build-bench/bench-data --html "$work/$plots.html" --svg "$work/svg"; } 2>&1 )
    elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
    peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')
    echo "run $r, plots=$plots: elapsed $elapsed, peak $peak"
  done
done
