#!/usr/bin/env bash
# Time and peak memory of a FORWARD selection by SBC over ROWS rows of y and x1-x100
# (bench/whole_run_data.py) under --memsize 128, on 8 and on 2 workers (--cpucount):
#   none    the step alone,
#   output  the step with OUTPUT OUT= P R (every input variable, the prediction, the residual),
#   score   the step with SCORE of the same data set, OUT= P R,
#   both    the step with both.
# Elapsed time and peak memory from /usr/bin/time -v; each round runs every case in turn, so the
# medians and ratios against `none` compare runs made under the same load. BEFORE=PATH runs that
# command too, in the same turns (an earlier build, for figures before and after a change).
# MEMSIZE=, CPUS= (the workers, "8 2") and COLUMNS= (the candidates in the data, 100; OUTPUT and
# SCORE carry them all) change the set-up: wide data is COLUMNS=2000 CPUS="1 2" MEMSIZE=16.
#   bench/output_memory.sh [ROWS] [ROUNDS]
# Builds the command into build-bench/ (Release), or takes AFTER=PATH, and writes the CSV there
# once.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rows=${1:-1000000}
rounds=${2:-3}
memsize=${MEMSIZE:-128}
columns=${COLUMNS:-100}
read -r -a workers <<< "${CPUS:-8 2}"

[ -n "${AFTER:-}" ] || build_command
data=build-bench/bench-data
mkdir -p "$data"
name=whole_${rows}_${columns}
csv=$data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" "$rows" "$columns"
echo "file $csv ($(du -h "$csv" | cut -f1)), nproc $(nproc), --memsize $memsize," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"

commands=("after=${AFTER:-./build-bench/app/varsifter}")
[ -n "${BEFORE:-}" ] && commands+=("before=$BEFORE")
cases=(none output score both)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
program() {
  echo "proc varsifter data=$name; model y = x1-x100 / selection=forward(select=sbc);"
  case $1 in output | both) echo "  output out=bench_o p r;" ;; esac
  case $1 in score | both) echo "  score data=$name out=bench_s p r;" ;; esac
  echo "  performance threads cpucount=$2; run;"
}
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'; }

for ((r = 1; r <= rounds; r++)); do
  for cpus in "${workers[@]}"; do
    for c in "${cases[@]}"; do
      program "$c" "$cpus" > "$work/$c.vsf"
      for named in "${commands[@]}"; do
        who=${named%%=*}
        out=$( { /usr/bin/time -v "${named#*=}" "$work/$c.vsf" --lib "$data" --memsize "$memsize" \
                   --cpucount "$cpus" >/dev/null; } 2>&1 )
        elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}' | seconds)
        peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f", $6 / 1024}')
        bytes=none
        for f in "$data"/bench_[os].csv; do
          [ -f "$f" ] && bytes=$(md5sum < "$f" | cut -c1-8) && rm -f "$f"
        done
        echo "round $r, $cpus workers, $c, $who: $elapsed s, peak $peak MB, csv $bytes," \
             "load $(cut -d' ' -f1 /proc/loadavg)"
        echo "$cpus $c $who $elapsed $peak" >> "$work/runs"
      done
    done
  done
done

echo "medians (time, peak) and ratios to the step alone:"
for cpus in "${workers[@]}"; do
  for named in "${commands[@]}"; do
    who=${named%%=*}
    pick() { awk -v c="$cpus" -v k="$1" -v w="$who" -v f="$2" '$1 == c && $2 == k && $3 == w { print $f }' \
               "$work/runs" | median; }
    base=$(pick none 4)
    for c in "${cases[@]}"; do
      t=$(pick "$c" 4)
      echo "  $cpus workers, $who, $c: $t s, peak $(pick "$c" 5) MB," \
           "time ratio $(awk -v a="$t" -v b="$base" 'BEGIN { printf "%.2f", a / b }')"
    done
  done
done
