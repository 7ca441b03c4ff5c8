#!/usr/bin/env bash
# The whole LASSO path (STOP=NONE) through the varsifter command on the CSV of the whole-run
# benchmark (ROWS rows of y and Q numeric candidates, bench/whole_run_data.py), on 1 and 8
# workers: elapsed time and peak memory from /usr/bin/time -v, the phases from the Timing table.
# Beside it glmnet's default path (bench/path_glmnet.R) and scikit-learn's lars_path on a
# precomputed Gram (bench/path_lars.py), each timed without reading the data.
#   bench/path_run.sh [ROWS] [Q]
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}

./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target varsifter >/dev/null
mkdir -p build-bench/bench-data
name=whole_${rows}_${q}
csv=build-bench/bench-data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$q"
echo "file $csv ($(du -hL "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

program=$(mktemp --suffix=.vsf)
bin=$(mktemp --suffix=.bin)
trap 'rm -f "$program" "$bin"' EXIT
for workers in 1 8; do
  threads="threads cpucount=$workers"
  [ "$workers" = 1 ] && threads="nothreads"
  cat > "$program" <<VSF
proc varsifter data=$name;
  model y = x1-x$q / selection=lasso(stop=none);
  performance $threads details;
run;
VSF
  out=$( { /usr/bin/time -v ./build-bench/app/varsifter "$program" --lib build-bench/bench-data; } 2>&1 )
  elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
  peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')
  steps=$(echo "$out" | grep -cE "^ +[0-9]+  (x[0-9]+ |  +x[0-9]+ )" || true)
  phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Reading the Data|Model Selection|Total) " |
           awk '{printf "%s=%s ", $(NF-1), $NF}')
  echo "varsifter, workers $workers: elapsed $elapsed, peak $peak, steps $steps; $phases"
done
Rscript bench/path_glmnet.R "$csv" "$bin"
for blas in 1 8; do
  echo -n "BLAS threads $blas: "
  OPENBLAS_NUM_THREADS=$blas /usr/bin/python3 bench/path_lars.py "$bin" "$rows" "$q"
done
