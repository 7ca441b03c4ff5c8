#!/usr/bin/env bash
# Whole runs of the varsifter command beside data.table::fread reading the same CSV, in turns:
# a FORWARD selection by SBC (the whole-matrix road) on 8 workers and on one thread, over
#   100  ROWS rows of y and 100 numeric candidates (bench/whole_run_data.py),
#   100c the same with three CLASS variables of 3, 5 and 10 levels added (appended by awk),
#   500  ROWS rows of x1 and 500 numeric candidates x2-x501 (csv_read_bench generate).
# Elapsed time and peak memory from /usr/bin/time -v, the phases from the Timing table
# (PERFORMANCE DETAILS); fread's time is its own elapsed time with 8 threads, the CSV from disk
# to the table, its peak memory that of its R process. Each case runs ROUNDS times (A B A B);
# the medians and their ratio are printed.
#   bench/whole_run.sh [ROWS] [ROUNDS] [CASES...]     e.g. bench/whole_run.sh 1000000 3 100 100c 500
#   bench/whole_run.sh 10000000 1 100                 ten million rows: a 7.5 GB CSV
# Environment: DATA=DIR writes and reads the CSVs there (default build-bench/bench-data; the
# large ones belong in /tmp); MODES="threads cpucount=8;nothreads" the PERFORMANCE options run
# (separated by ";"); MEMSIZE=MB runs the command with --memsize MB (its stored rows then page
# to UTILPATH, which UTILPATH=DIR sets). Builds the command and csv_read_bench into build-bench/
# (Release) and writes each CSV once.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rows=${1:-1000000}
rounds=${2:-3}
shift $(($# > 2 ? 2 : $#)) || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(100 100c 500)

build_command csv_read_bench
data=${DATA:-build-bench/bench-data}
mkdir -p "$data"
IFS=';' read -r -a modes <<< "${MODES:-threads cpucount=8;nothreads}"
extra=()
[ -n "${MEMSIZE:-}" ] && extra+=(--memsize "$MEMSIZE")
[ -n "${UTILPATH:-}" ] && extra+=(--utilpath "$UTILPATH")
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)${MEMSIZE:+, --memsize $MEMSIZE}"

make_data() {
  local c=$1 csv=$data/whole_${rows}_$1.csv
  [ -f "$csv" ] && return
  case $c in
    100) /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" 100 ;;
    100c)
      make_data 100
      awk 'BEGIN { srand(7); l = "ABC" }
           NR == 1 { print $0 ",c3,c5,c10"; next }
           { printf "%s,%s,%d,L%d\n", $0, substr(l, int(rand() * 3) + 1, 1), int(rand() * 5) + 1,
             int(rand() * 10) }' "$data/whole_${rows}_100.csv" > "$csv" ;;
    500) build-bench/bench/csv_read_bench generate "$csv" "$rows" 501 ;;
  esac
}

program() {
  local c=$1 threads=$2
  case $c in
    100) echo "proc varsifter data=whole_${rows}_100; model y = x1-x100" ;;
    100c) echo "proc varsifter data=whole_${rows}_100c; class c3 c5 c10; model y = x1-x100 c3 c5 c10" ;;
    500) echo "proc varsifter data=whole_${rows}_500; model x1 = x2-x501" ;;
  esac
  echo " / selection=forward(select=sbc); performance $threads details; run;"
}

seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'; }

vsf=$(mktemp --suffix=.vsf)
rscript=$(mktemp --suffix=.R)
trap 'rm -f "$vsf" "$rscript"' EXIT
cat > "$rscript" <<'R'
suppressMessages(library(data.table))
setDTthreads(8L)
t <- system.time(d <- fread(commandArgs(TRUE)[1], showProgress = FALSE))[["elapsed"]]
cat(sprintf("%.3f %d %d\n", t, nrow(d), ncol(d)))
R

for c in "${cases[@]}"; do
  make_data "$c"
  csv=$data/whole_${rows}_$c.csv
  echo "case $c: $csv ($(du -hL "$csv" | cut -f1))"
  for threads in "${modes[@]}"; do
    program "$c" "$threads" > "$vsf"
    ours=() theirs=()
    for ((r = 1; r <= rounds; r++)); do
      out=$( { /usr/bin/time -v ./build-bench/app/varsifter "$vsf" --lib "$data" "${extra[@]}"; } 2>&1 )
      elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}' | seconds)
      peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f", $6 / 1024}')
      phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Levelization|Reading the Data|Model Selection) " |
               awk '{printf "%s=%s ", $(NF-1), $NF}')
      rout=$( { /usr/bin/time -v Rscript "$rscript" "$csv"; } 2>&1 )
      fread=$(echo "$rout" | head -1 | awk '{print $1}')
      rpeak=$(echo "$rout" | grep "Maximum resident" | awk '{printf "%.0f", $6 / 1024}')
      echo "  $threads round $r: varsifter ${elapsed} s (peak ${peak} MB; $phases) fread ${fread} s (peak ${rpeak} MB), load $(cut -d" " -f1 /proc/loadavg)"
      ours+=("$elapsed") theirs+=("$fread")
    done
    a=$(printf '%s\n' "${ours[@]}" | median)
    b=$(printf '%s\n' "${theirs[@]}" | median)
    echo "  $threads: median varsifter $a s, fread $b s, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
  done
done
