#!/usr/bin/env bash
# Reading CSV through the host's data-set services against pandas.read_csv.
#   bench/csv_read.sh [ROWS] [COLUMNS] [THREADS...]
# Builds the benchmark, generates the CSV under build/bench-data/ once, then reports for each
# thread count the open (threaded parse into the binary copy), the first pass and a later
# pass, with the peak memory from /usr/bin/time -v; then pandas on the same file.
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
cols=${2:-100}
shift $(( $# > 2 ? 2 : $# )) || true
threads=("${@:-$(nproc)}")
[ ${#threads[@]} -eq 0 ] && threads=("$(nproc)")

./tools/configure.sh . build -DVSF_BENCH=ON
cmake --build build -j4 --target csv_read_bench >/dev/null
mkdir -p build/bench-data
csv=build/bench-data/csv_${rows}_${cols}.csv
[ -f "$csv" ] || ./build/bench/csv_read_bench generate "$csv" "$rows" "$cols"
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc)"

peak() { grep "Maximum resident" | awk '{printf "peak memory %.0f MB\n", $6 / 1024}'; }
for t in "${threads[@]}"; do
  out=$( { /usr/bin/time -v ./build/bench/csv_read_bench read "$csv" "$t"; } 2>&1 )
  echo "$out" | grep -E "^(rows|open|first|later)"
  echo "$out" | peak
done
if [ "${SKIP_PANDAS:-0}" != 1 ]; then
  out=$( { /usr/bin/time -v /usr/bin/python3 bench/csv_read_pandas.py "$csv"; } 2>&1 )
  echo "$out" | grep -E "^(pandas|read_csv)"
  echo "$out" | peak
fi
