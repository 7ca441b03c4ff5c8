#!/usr/bin/env bash
# Writing the OUTPUT data set of ROWS rows of y and Q numeric candidates (every input variable,
# the predicted value and the residual) against data.table's fwrite of the same columns, in
# turns (varsifter, fwrite, varsifter, fwrite, ...). The procedure's time is the Timing table's
# "Output Data and Macro Variables" (reading the rows again, predicting and writing); fwrite's
# the elapsed time of the fwrite call alone, the data already in memory.
# BEFORE=PATH runs that command too, in the same turns, with the ratio of this build's time to its
# (an earlier build, for figures before and after a change); without r-cran-data.table fwrite
# is left out.
#   bench/output_write.sh [ROWS] [Q] [ROUNDS]
# Builds the command into build-bench/ (Release), or takes AFTER=PATH, and writes the CSV under
# build-bench/bench-data/ once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
q=${2:-100}
rounds=${3:-3}

after=${AFTER:-./build-bench/app/varsifter}

if [ -z "${AFTER:-}" ]; then
  ./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
  cmake --build build-bench -j4 --target varsifter >/dev/null
fi
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
output() {
  "$1" "$work/out.vsf" --lib build-bench/bench-data 2>/dev/null |
    grep "Output Data and Macro Variables" | awk '{print $NF}'
  rm -f build-bench/bench-data/work_out.csv
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
fwrite=0
command -v Rscript >/dev/null && Rscript -e 'library(data.table)' >/dev/null 2>&1 && fwrite=1
for i in $(seq "$rounds"); do
  ours=$(output "$after")
  line="round $i: varsifter OUTPUT $ours s"
  if [ -n "${BEFORE:-}" ]; then
    before=$(output "$BEFORE")
    line+=", before $before s, ratio to before $(ratio "$ours" "$before")"
  fi
  if [ $fwrite = 1 ]; then
    theirs=$(Rscript "$work/fwrite.R" "$csv" "$work/fwrite.csv")
    rm -f "$work/fwrite.csv"
    line+=", fwrite $theirs s, ratio $(ratio "$ours" "$theirs")"
  fi
  echo "$line"
done
