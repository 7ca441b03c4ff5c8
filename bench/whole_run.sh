#!/usr/bin/env bash
# A whole FORWARD selection by SBC through the varsifter command on a generated CSV of ROWS rows
# of y and Q numeric candidates, on 1 and on 8 workers, with the crossproducts road the set-up
# chooses and with BUILDSSCP=FULL and BUILDSSCP=INCREMENTAL; elapsed time and peak memory from
# /usr/bin/time -v, the phases from the Timing table (PERFORMANCE DETAILS).
#   bench/whole_run.sh [ROWS] [Q]
# Builds the command into build-bench/ (Release) and writes the CSV under build-bench/bench-data/
# once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}

cmake -S . -B build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j4 --target varsifter >/dev/null
mkdir -p build-bench/bench-data
name=whole_${rows}_${q}
csv=build-bench/bench-data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$q"
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

program=$(mktemp --suffix=.vsf)
trap 'rm -f "$program"' EXIT
for workers in 1 8; do
  threads="threads cpucount=$workers"
  [ "$workers" = 1 ] && threads="nothreads"
  for road in "" "buildsscp=full" "buildsscp=incremental"; do
    cat > "$program" <<VSF
proc varsifter data=$name;
  model y = x1-x$q / selection=forward(select=sbc);
  performance $threads $road details;
run;
VSF
    out=$( { /usr/bin/time -v ./build-bench/app/varsifter "$program" --lib build-bench/bench-data; } 2>&1 )
    elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
    peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')
    steps=$(echo "$out" | grep -cE "^ +[0-9]+  x[0-9]+ " || true)
    phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Levelization|Reading the Data|Model Selection|Cleanup|Other|Total) " |
             awk '{printf "%s=%s ", $(NF-1), $NF}')
    echo "workers $workers, road ${road:-chosen by the set-up}: elapsed $elapsed, peak $peak, entries $steps; $phases"
  done
done
