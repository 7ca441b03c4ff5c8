#!/usr/bin/env bash
# Wide files: a whole step (SELECTION=NONE on five candidates) on a CSV of COLUMNS columns and
# ROWS rows of one-digit values, against data.table's fread on the same file, in turns, with
# the peak memory of each from /usr/bin/time -v. LONG=1 gives every name but the first 40
# bytes that share their first 32, which the reader cuts and numbers.
#   bench/csv_wide_header.sh [COLUMNS] [ROWS] [ROUNDS] [MEMSIZE]
# Needs r-cran-data.table. Builds the command into build-bench/ (Release; BUILD=DIR takes
# another build directory) and writes the CSV under its bench-data/ once.
set -euo pipefail
cd "$(dirname "$0")/.."
cols=${1:-100000}
rows=${2:-5}
rounds=${3:-3}
memsize=${4:-64}
long=${LONG:-0}

build=${BUILD:-build-bench}
./tools/configure.sh . "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j3 --target varsifter >/dev/null
data=$build/bench-data
mkdir -p "$data"
name=wide_${cols}_${rows}_${long}
csv=$data/$name.csv
prefix=x
[ "$long" = 1 ] && prefix=a_name_that_is_longer_than_32_bytes_
if [ ! -f "$csv" ]; then
  /usr/bin/python3 - "$csv" "$cols" "$rows" "$prefix" <<'PY'
import random, sys
path, cols, rows, prefix = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
random.seed(1)
with open(path, "w") as f:
    f.write(",".join(["y"] + [f"{prefix}{j}" for j in range(1, cols)]) + "\n")
    for _ in range(rows):
        f.write(",".join(str(random.randint(0, 9)) for _ in range(cols)) + "\n")
PY
fi
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The five candidates by their names as read: long names are cut to 32 bytes and numbered.
first=x1 last=x5
[ "$long" = 1 ] && first=a_name_that_is_longer_than_32_b2 last=a_name_that_is_longer_than_32_b5
echo "proc varsifter data=$name; model y = $first-$last / selection=none; run;" > "$work/step.vsf"
cat > "$work/fread.R" <<'R'
suppressMessages(library(data.table))
d <- fread(commandArgs(trailingOnly = TRUE)[1])
stopifnot(ncol(d) > 1)
R
measure() {
  /usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%6s s %7.0f MB", $1, $2 / 1024}'
}
echo "R loading data.table alone: $(measure Rscript -e 'suppressMessages(library(data.table))')"
printf "round  varsifter (--memsize %s)        fread\n" "$memsize"
for r in $(seq "$rounds"); do
  a=$(measure "$build"/app/varsifter "$work/step.vsf" --lib "$data" --memsize "$memsize")
  b=$(measure Rscript "$work/fread.R" "$csv")
  printf "%5s  %s   %s\n" "$r" "$a" "$b"
done
