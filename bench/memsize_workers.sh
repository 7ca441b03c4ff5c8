#!/usr/bin/env bash
# Peak memory (maximum resident set, /usr/bin/time -v) and elapsed time of each selection
# method on ROWS rows of y, x1-x50 (1% missing) and three CLASS variables, one of 1,000 levels
# (bench/memsize_data.py), at --cpucount 1 and 4 and several --memsize values: a step should
# stay within MEMSIZE plus the program's fixed size (the `trivial` line: SELECTION=NONE on x1)
# whatever its workers. The elastic net (an L2 grid of 4, CHOOSE=CVEX over 5 folds: 20 paths and
# their folds' crossproducts) runs on ENROWS rows (50,000), its paths over paged rows taking
# minutes each on ROWS. BEFORE=PATH runs that command too, in the same turns (an earlier build).
# METHODS= (names below), MEMSIZES= ("16 64 256 512") and CPUS= ("1 4") narrow the runs.
#   bench/memsize_workers.sh [ROWS]
# Builds the command into build-bench/ (Release), or takes AFTER=PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rows=${1:-200000}
read -r -a memsizes <<< "${MEMSIZES:-16 64 256 512}"
read -r -a cpus <<< "${CPUS:-1 4}"
read -r -a methods <<< "${METHODS:-trivial forward lasso grouplasso elasticnet}"

[ -n "${AFTER:-}" ] || build_command
data=build-bench/bench-data
mkdir -p "$data"
for n in "$rows" "${ENROWS:-50000}"; do
  [ -f "$data/memsize_$n.csv" ] || /usr/bin/python3 bench/memsize_data.py "$data/memsize_$n.csv" "$n"
  echo "file $data/memsize_$n.csv ($(du -h "$data/memsize_$n.csv" | cut -f1))"
done
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

commands=("after=${AFTER:-./build-bench/app/varsifter}")
[ -n "${BEFORE:-}" ] && commands+=("before=$BEFORE")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
selection() {
  case $1 in
    trivial) echo "y = x1 / selection=none" ;;
    forward) echo "y = x1-x50 c1 c2 c3 / selection=forward" ;;
    lasso) echo "y = x1-x50 c1 c2 c3 / selection=lasso" ;;
    grouplasso) echo "y = x1-x50 c1 c2 c3 / selection=grouplasso" ;;
    elasticnet)
      echo "y = x1-x50 c1 c2 c3 / selection=elasticnet(choose=cvex l2search=grid l2steps=4)" \
           "cvmethod=random(5)" ;;
  esac
}
printf '%-10s %4s %8s %-7s %8s %8s  %s\n' method cpus memsize build "peak MB" seconds code
for m in "${methods[@]}"; do
  name=memsize_$rows
  [ "$m" = elasticnet ] && name=memsize_${ENROWS:-50000}
  echo "proc varsifter data=$name seed=1; class c1 c2 c3; model $(selection "$m"); run;" \
    > "$work/$m.vsf"
  for c in "${cpus[@]}"; do
    for s in "${memsizes[@]}"; do
      for named in "${commands[@]}"; do
        who=${named%%=*}
        out=$( { /usr/bin/time -v "${named#*=}" "$work/$m.vsf" --lib "$data" --memsize "$s" \
                   --cpucount "$c" >/dev/null; } 2>&1 || true)
        peak=$(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f", $6 / 1024}')
        elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}' |
                  awk -F: '{ t = 0; for (i = 1; i <= NF; i++) t = t * 60 + $i; print t }')
        code=$(echo "$out" | grep -o "ended with return code [0-9]*" | tail -1 | awk '{print $NF}')
        printf '%-10s %4s %8s %-7s %8s %8s  %s\n' "$m" "$c" "$s" "$who" "$peak" "$elapsed" "$code"
      done
    done
  done
done
