#!/usr/bin/env bash
# More candidates than rows: whole runs of the varsifter command beside R reading the same CSV
# with data.table::fread, in turns, on ROWS rows of y and Q correlated normal candidates of which
# ten have effects (bench/wide_data.py; 1,000 x 20,000 is a 150 MB CSV):
#   stepwise     the bare MODEL statement: STEPWISE, SELECT=SBC
#   forward      selection=forward, its defaults (SBC, on to the step limit or an exact fit)
#   forward1000  selection=forward(stop=none maxsteps=1000)
#   lasso        selection=lasso(screen=sis), beside fread followed by glmnet's whole path (the
#                default 100 lambdas with glmnet's early end switched off)
# The command's elapsed time from /usr/bin/time -v and its phases from the Timing table
# (PERFORMANCE DETAILS); fread's and glmnet's from system.time in R with 8 threads. The CSV is
# read once before each round so that both find it in the page cache. Each case runs ROUNDS
# times (A B A B); the medians and their ratio are printed, with nproc and the load.
#   bench/wide_run.sh [ROWS] [Q] [ROUNDS] [CASES...]    e.g. bench/wide_run.sh 1000 20000 3 forward lasso
# Environment: DATA=DIR writes and reads the CSV there (default /tmp/vsf-bench-wide); SEED=N
# makes and reads another set of the same shape (bench/wide_data.py's SEED); BEFORE=PATH runs
# that command too, in the same turns (an earlier build), with its own medians and ratio.
# Builds the command into build-bench/ (Release), or takes AFTER=PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rows=${1:-1000}
q=${2:-20000}
rounds=${3:-3}
shift $(($# > 3 ? 3 : $#)) || true
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(forward forward1000 lasso)

[ -n "${AFTER:-}" ] || build_command
commands=("after=${AFTER:-./build-bench/app/varsifter}")
[ -n "${BEFORE:-}" ] && commands+=("before=$BEFORE")
data=${DATA:-/tmp/vsf-bench-wide}
mkdir -p "$data"
name=wide_${rows}_${q}${SEED:+_$SEED}
csv=$data/$name.csv
[ -f "$csv" ] || /usr/bin/python3 bench/wide_data.py "$csv" "$rows" "$q" ${SEED:-}
echo "file $csv ($(du -hL "$csv" | cut -f1)), nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"

vsf=$(mktemp --suffix=.vsf)
rscript=$(mktemp --suffix=.R)
trap 'rm -f "$vsf" "$rscript"' EXIT
cat > "$rscript" <<'R'
suppressMessages({
  library(data.table)
  library(glmnet)
})
setDTthreads(8L)
args <- commandArgs(TRUE)
t <- system.time(d <- fread(args[1], showProgress = FALSE))[["elapsed"]]
if (args[2] == "glmnet") {
  glmnet.control(fdev = 0)
  g <- system.time({
    y <- d$y
    x <- as.matrix(d[, -1])
    fit <- glmnet(x, y)
  })[["elapsed"]]
  t <- t + g
}
cat(sprintf("%.3f\n", t))
R

seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'; }

for c in "${cases[@]}"; do
  case $c in
    stepwise) selection="" peer=fread ;;
    forward) selection="forward" peer=fread ;;
    forward1000) selection="forward(stop=none maxsteps=1000)" peer=fread ;;
    lasso) selection="lasso(screen=sis)" peer=glmnet ;;
    *) echo "unknown case $c" >&2; exit 2 ;;
  esac
  printf 'proc varsifter data=%s;\n  model y = x1-x%s%s;\n  performance details;\nrun;\n' \
    "$name" "$q" "${selection:+ / selection=$selection}" > "$vsf"
  echo "case $c: ${selection:+selection=}${selection:-the bare statement}, beside $([ $peer = fread ] && echo fread || echo "fread + glmnet")"
  declare -A ours=()
  theirs=()
  for ((r = 1; r <= rounds; r++)); do
    cat "$csv" > /dev/null
    for c in "${commands[@]}"; do
      label=${c%%=*} command=${c#*=}
      out=$( { /usr/bin/time -v "$command" "$vsf" --lib "$data"; } 2>&1 )
      elapsed=$(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}' | seconds)
      peak=$(echo "$out" | awk '/Maximum resident/ { printf "%.0f", $NF / 1024 }')
      steps=$(echo "$out" | awk '/Selection Summary/ { on = 1 } /Best value|Stop Reason/ { on = 0 }
                                 on && $1 ~ /^[0-9]+$/ { last = $1 } END { print last + 0 }')
      phases=$(echo "$out" | grep -E "^ +(Setup and Parsing|Reading the Data|Model Selection) " |
               awk '{printf "%s=%s ", $(NF-1), $NF}')
      echo "  round $r: $label ${elapsed} s ($steps steps; $phases) ${peak} MB, load $(cut -d" " -f1 /proc/loadavg)"
      ours[$label]+="$elapsed "
    done
    peerTime=$(Rscript "$rscript" "$csv" "$peer")
    echo "  round $r: $peer ${peerTime} s, load $(cut -d" " -f1 /proc/loadavg)"
    theirs+=("$peerTime")
  done
  b=$(printf '%s\n' "${theirs[@]}" | median)
  for c in "${commands[@]}"; do
    label=${c%%=*}
    a=$(printf '%s\n' ${ours[$label]} | median)
    echo "  median $label $a s, $peer $b s, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
  done
done
