#!/usr/bin/env bash
# Model averaging against one selection through the varsifter command: FORWARD by SBC on a
# generated CSV of ROWS rows of y and Q numeric candidates, once plainly and once with
# MODELAVERAGE NSAMPLES=N (no tables), 8 workers each; elapsed time and peak memory from
# /usr/bin/time -v, the Model Selection phase from the Timing table (PERFORMANCE DETAILS).
#   bench/model_average.sh [ROWS] [Q] [N]
# Builds the command into build-bench/ (Release) and writes the CSV under build-bench/bench-data/
# once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}
samples=${3:-100}

./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target varsifter >/dev/null
mkdir -p build-bench/bench-data
name=whole_${rows}_${q}
csv=build-bench/bench-data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$q"
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

program=$(mktemp --suffix=.vsf)
trap 'rm -f "$program"' EXIT
for averaging in "" "modelaverage nsamples=$samples tables=none;"; do
  cat > "$program" <<VSF
proc varsifter data=$name seed=1;
  model y = x1-x$q / selection=forward(select=sbc);
  $averaging
  performance threads cpucount=8 details;
run;
VSF
  out=$( { /usr/bin/time -v ./build-bench/app/varsifter "$program" --lib build-bench/bench-data; } 2>&1 )
  elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
  peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')
  selection=$(echo "$out" | grep -E "^ +Model Selection " | awk '{print $NF}')
  echo "${averaging:-one selection}: elapsed $elapsed, peak $peak, Model Selection $selection s"
done
