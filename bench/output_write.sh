#!/usr/bin/env bash
# Writing the OUTPUT data set of ROWS rows of y and Q numeric candidates (every input variable,
# the predicted value and the residual) against data.table's fwrite of the same columns, in
# turns (varsifter, fwrite, varsifter, fwrite, ...). The procedure's time is the Timing table's
# "Output Data and Macro Variables" (reading the rows again, predicting and writing); fwrite's
# the elapsed time of the fwrite call alone, the data already in memory.
#   bench/output_write.sh [ROWS] [Q] [ROUNDS]
# Needs r-cran-data.table. Builds the command into build-bench/ (Release) and writes the CSV
# under build-bench/bench-data/ once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}
rounds=${3:-3}

cmake -S . -B build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j4 --target varsifter >/dev/null
mkdir -p build-bench/bench-data
name=whole_${rows}_${q}
csv=build-bench/bench-data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$q"
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/out.vsf" <<VSF
proc varsifter data=$name;
  model y = x1-x5 / selection=none;
  output out=work_out p r;
  performance details alldetails\$;
run;
VSF
cat > "$work/fwrite.R" <<'R'
suppressMessages(library(data.table))
args <- commandArgs(trailingOnly = TRUE)
d <- fread(args[1])
fit <- lm(y ~ x1 + x2 + x3 + x4 + x5, data = d)
d[, p_y := fitted(fit)]
d[, r_y := y - p_y]
cat(system.time(fwrite(d, args[2]))[["elapsed"]], "\n")
R
for i in $(seq "$rounds"); do
  ours=$(./build-bench/app/varsifter "$work/out.vsf" --lib build-bench/bench-data 2>/dev/null |
         grep "Output Data and Macro Variables" | awk '{print $NF}')
  rm -f build-bench/bench-data/work_out.csv
  theirs=$(Rscript "$work/fwrite.R" "$csv" "$work/fwrite.csv")
  rm -f "$work/fwrite.csv"
  echo "round $i: varsifter OUTPUT $ours s, fwrite $theirs s, ratio $(echo "$ours / $theirs" | bc -l | cut -c1-4)"
done
