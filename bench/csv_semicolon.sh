#!/usr/bin/env bash
# Reading a ';' file with the decimal comma (as spreadsheets write it) against the same data
# with commas, and against data.table's fread(sep = ";", dec = ","), in turns: a whole step
# (SELECTION=NONE on five candidates) on ROWS rows of y and Q candidates.
#   bench/csv_semicolon.sh [ROWS] [Q] [ROUNDS]
# Needs r-cran-data.table. Builds the command into build-bench/ (Release) and writes the CSV
# files under build-bench/bench-data/ once (bench/whole_run_data.py, then sed).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rows=${1:-250000}
q=${2:-100}
rounds=${3:-5}

build_command
data=build-bench/bench-data
mkdir -p "$data"
comma=whole_${rows}_${q}
semi=semi_${rows}_${q}
[ -f "$data/$comma.csv" ] || /usr/bin/python3 bench/whole_run_data.py "$data/$comma.csv" "$rows" "$q"
[ -f "$data/$semi.csv" ] || sed -e 's/,/;/g' -e 's/\./,/g' "$data/$comma.csv" > "$data/$semi.csv"
echo "file $data/$semi.csv ($(du -h "$data/$semi.csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in "$comma" "$semi"; do
  echo "proc varsifter data=$name; model y = x1-x5 / selection=none; run;" > "$work/$name.vsf"
done
cat > "$work/fread.R" <<'R'
suppressMessages(library(data.table))
d <- fread(commandArgs(trailingOnly = TRUE)[1], sep = ";", dec = ",")
stopifnot(is.numeric(d$x1))
R
seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1; }
printf "round  semicolon  comma  fread(;)\n"
for r in $(seq "$rounds"); do
  a=$(seconds build-bench/app/varsifter "$work/$semi.vsf" --lib "$data")
  b=$(seconds build-bench/app/varsifter "$work/$comma.vsf" --lib "$data")
  c=$(seconds Rscript "$work/fread.R" "$data/$semi.csv")
  printf "%5s  %9s  %5s  %8s\n" "$r" "$a" "$b" "$c"
done
