#!/usr/bin/env bash
# A whole step with constructed effects beside one with the plain effects of the same data,
# through the varsifter command on a generated CSV of ROWS rows by 20 numbers (x20 the response),
# SELECTION=NONE, RUNS runs of each in turn; elapsed time and peak memory from /usr/bin/time -v,
# the phases from the Timing table (PERFORMANCE DETAILS).
#   bench/constructed_run.sh [ROWS] [RUNS]
# Builds the command into build-bench/ (Release) and writes the CSV under build-bench/bench-data/
# once (csv_read_bench generate).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
runs=${2:-3}

./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target varsifter csv_read_bench >/dev/null
mkdir -p build-bench/bench-data
name=csv_${rows}_20
csv=build-bench/bench-data/$name.csv
[ -f "$csv" ] || ./build-bench/bench/csv_read_bench generate "$csv" "$rows" 20
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

plain=$(mktemp --suffix=.vsf)
constructed=$(mktemp --suffix=.vsf)
trap 'rm -f "$plain" "$constructed"' EXIT
cat > "$plain" <<VSF
proc varsifter data=$name;
  model x20 = x1-x19 / selection=none;
  performance details;
run;
VSF
# 55 columns: B-splines of x1 (PERCENTILES(5) knots, 9 columns) and x2 (EQUAL knots, 7), the
# truncated power spline of x3 (6), the standardized cubic polynomial of x4 to x6 (19) and x7 to
# x19, with the intercept.
cat > "$constructed" <<VSF
proc varsifter data=$name;
  effect s1 = spline(x1 / knotmethod=percentiles(5));
  effect s2 = spline(x2);
  effect s3 = spline(x3 / basis=tpf);
  effect p = poly(x4 x5 x6 / degree=3 standardize);
  model x20 = s1 s2 s3 p x7-x19 / selection=none;
  performance details;
run;
VSF

for run in $(seq "$runs"); do
  for step in plain constructed; do
    out=$( { /usr/bin/time -v ./build-bench/app/varsifter "${!step}" --lib build-bench/bench-data; } 2>&1 )
    elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
    peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')
    phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Levelization|Reading the Data|Model Selection|Total) " |
             awk '{printf "%s=%s ", $(NF-1), $NF}')
    echo "run $run, $step: elapsed $elapsed, peak $peak; $phases"
  done
done
