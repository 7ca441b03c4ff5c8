#!/usr/bin/env bash
# Many BY groups: `by g; model y = x1-x10 / selection=forward(select=sbc);` on 1,000,000 rows in
# 10,000 groups of 100 rows (and BY_GROUPS= groups of BY_ROWS= rows), with NOPRINT and with the
# listing, on the default workers and under --nothreads; 2,000 of the groups with the listing;
# and R's fread and data.table's by-group lm.fit on the same CSV (bench/many_by_r.R). Each case
# runs ROUNDS times in turns; prints each run's elapsed seconds and peak memory from
# /usr/bin/time -v, then the medians and each time's ratio to R's.
#   bench/many_by.sh [ROUNDS]
# Builds the command into build-bench/ (Release), or takes AFTER=PATH; BEFORE=PATH runs that
# command too, in the same turns. The CSV files are written once into build-bench/bench-data/.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rounds=${1:-3}
groups=${BY_GROUPS:-10000}
rows=${BY_ROWS:-100}
[ -n "${AFTER:-}" ] || build_command
data=build-bench/bench-data
mkdir -p "$data"
name=manyby_${groups}_${rows}
csv=$data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/many_by_data.py "$csv" "$groups" "$rows"
few=$((groups / 5))
fewcsv=$data/${name}_first$few.csv
[ -f "$fewcsv" ] || head -n $((few * rows + 1)) "$csv" > "$fewcsv"
echo "file $csv ($(du -h "$csv" | cut -f1)), $groups groups of $rows rows, nproc $(nproc)," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"

commands=("after=${AFTER:-./build-bench/app/varsifter}")
[ -n "${BEFORE:-}" ] && commands+=("before=$BEFORE")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for c in noprint listing few; do
  data_set=$name
  [ $c = few ] && data_set=${name}_first$few
  option=""
  [ $c = noprint ] && option=" noprint"
  echo "proc varsifter data=$data_set$option; by g;
  model y = x1-x10 / selection=forward(select=sbc); run;" > "$work/$c.vsf"
done
cases=("noprint default" "noprint --nothreads" "listing default" "listing --nothreads"
       "few default")
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'; }
measure() {  # label, command...
  local label=$1 out elapsed peak
  shift
  out=$( { /usr/bin/time -v "$@" >/dev/null; } 2>&1 )
  elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}' | seconds)
  peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f", $6 / 1024}')
  echo "  $label: $elapsed s, peak $peak MB, load $(cut -d' ' -f1 /proc/loadavg)"
  echo "$label|$elapsed|$peak" >> "$work/runs"
}

for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  for named in "${commands[@]}"; do
    who=${named%%=*}
    for k in "${cases[@]}"; do
      read -r c threads <<< "$k"
      flags=()
      [ "$threads" = --nothreads ] && flags=(--nothreads)
      measure "$who, $c, $threads" "${named#*=}" "$work/$c.vsf" --lib "$data" "${flags[@]}"
    done
  done
  measure "R fread + by-group lm.fit" Rscript bench/many_by_r.R "$csv"
done

echo "medians (time, peak) and time ratios to R's:"
pick() { awk -F'|' -v l="$1" -v f="$2" '$1 == l { print $f }' "$work/runs" | median; }
r=$(pick "R fread + by-group lm.fit" 2)
cut -d'|' -f1 "$work/runs" | awk '!seen[$0]++' | while read -r label; do
  t=$(pick "$label" 2)
  echo "  $label: $t s, peak $(pick "$label" 3) MB, ratio to R" \
       "$(awk -v a="$t" -v b="$r" 'BEGIN { printf "%.2f", a / b }')"
done
