#!/usr/bin/env bash
# The elastic net with its L2 searched on a grid and every penalty judged by external cross
# validation over CVMETHOD=SPLIT(5) (row i in fold i mod 5), through the varsifter command on
# the CSV of the whole-run benchmark (ROWS rows of y and Q numeric candidates,
# bench/whole_run_data.py): elapsed time and peak memory from /usr/bin/time -v, the phases from
# the Timing table. Beside it, on the same data and folds, glmnet's cv.glmnet with alpha 0.5
# (bench/tuning_glmnet.R) and scikit-learn's ElasticNetCV with l1_ratio 0.5
# (bench/tuning_sklearn.py), each timed without reading the data, with its peak memory.
#   bench/tuning_run.sh [ROWS] [Q] [L2STEPS]
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}
steps=${3:-10}

cmake --build build -j4 --target varsifter >/dev/null
mkdir -p build/bench-data
name=whole_${rows}_${q}
csv=build/bench-data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$q"
echo "file $csv ($(du -hL "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

program=$(mktemp --suffix=.vsf)
bin=$(mktemp --suffix=.bin)
trap 'rm -f "$program" "$bin"' EXIT
peak() { grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}'; }
for workers in 1 8; do
  threads="threads cpucount=$workers"
  [ "$workers" = 1 ] && threads="nothreads"
  cat > "$program" <<VSF
proc varsifter data=$name;
  model y = x1-x$q / selection=elasticnet(choose=cvex stop=none l2search=grid l2low=0 l2high=1
                                          l2steps=$steps) cvmethod=split(5);
  performance $threads details;
run;
VSF
  out=$( { /usr/bin/time -v ./build/app/varsifter "$program" --lib build/bench-data; } 2>&1 )
  elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')
  phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Reading the Data|Model Selection|Total) " |
           awk '{printf "%s=%s ", $(NF-1), $NF}')
  echo "varsifter, workers $workers: elapsed $elapsed, peak $(echo "$out" | peak); $phases"
done
out=$( { /usr/bin/time -v Rscript bench/tuning_glmnet.R "$csv" "$bin"; } 2>&1 )
echo "$out" | grep "^glmnet"
echo "  R peak $(echo "$out" | peak) (reading the data included)"
out=$( { /usr/bin/time -v /usr/bin/python3 bench/tuning_sklearn.py "$bin" "$rows" "$q"; } 2>&1 )
echo "$out" | grep "^ElasticNetCV"
echo "  Python peak $(echo "$out" | peak)"
