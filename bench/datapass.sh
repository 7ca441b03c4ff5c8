#!/usr/bin/env bash
# The data pass over a generated CSV of ROWS x 100 numbers, for each worker count, with the
# memory plan's own page buffers and with UTIL_BUFFERS$ fixed; peak memory from /usr/bin/time -v.
#   bench/datapass.sh [ROWS] [WORKERS...]
# Builds datapass_bench and csv_read_bench (the generator) into build-bench/, generates the CSV
# under build-bench/bench-data/ once.
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
shift $(( $# > 0 ? 1 : 0 ))
workers=("${@:-1 2 4 8}")
read -r -a workers <<< "${workers[*]}"

./tools/configure.sh . build-bench -DVSF_BENCH=ON -DVSF_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
cmake --build build-bench -j4 --target datapass_bench csv_read_bench >/dev/null
mkdir -p build-bench/bench-data
csv=build-bench/bench-data/csv_${rows}_100.csv
[ -f "$csv" ] || ./build-bench/bench/csv_read_bench generate "$csv" "$rows" 100
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc)"

for buffers in 0 16; do
  for w in "${workers[@]}"; do
    out=$( { /usr/bin/time -v ./build-bench/bench/datapass_bench "$csv" "$w" "$buffers"; } 2>&1 )
    echo "$out" | grep -E "^(workers|data pass|crossproducts|step)" | tr '\n' ';'
    echo "$out" | grep "Maximum resident" | awk '{printf " peak memory %.0f MB\n", $6 / 1024}'
  done
done
