#!/usr/bin/env bash
# The JSON document of a LASSO over 100 candidates (2,000 rows) with every step's tables
# (DETAILS=ALL) and the unpacked step graphs: the run with --json and without, in turn, each
# ROUNDS times; elapsed time and peak memory from /usr/bin/time -v, the document's size and its
# size written compact (python3's json.dumps of the same document, and the time that takes, the
# peer of our writer). BEFORE=PATH runs that command too, in the same turns (an earlier build,
# for figures before and after a change).
#   bench/json_document.sh [ROUNDS]
# Builds the command into build-bench/ (Release), or takes AFTER=PATH, and writes the CSV under
# build-bench/bench-data/ once (bench/whole_run_data.py).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
rounds=${1:-3}
after=${AFTER:-./build-bench/app/varsifter}
[ -n "${AFTER:-}" ] || build_command
data=build-bench/bench-data
mkdir -p "$data"
csv=$data/json_100.csv
[ -f "$csv" ] || /usr/bin/python3 bench/whole_run_data.py "$csv" 2000 100
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/p.vsf" <<VSF
proc varsifter data=json_100 plots(unpack)=all;
  model y = x1-x100 / selection=lasso(choose=sbc stop=none) details=all;
run;
VSF
commands=("after=$after")
[ -n "${BEFORE:-}" ] && commands+=("before=$BEFORE")
run() {  # NAME BINARY [--json FILE]
  local out
  /usr/bin/time -v -o "$work/time" "${@:2}" "$work/p.vsf" --lib "$data" >/dev/null 2>&1
  out=$(cat "$work/time")
  echo "$1: elapsed $(echo "$out" | grep "Elapsed (wall clock)" | awk '{print $NF}')," \
       "peak $(echo "$out" | grep "Maximum resident" | awk '{printf "%.0f MB", $6 / 1024}')"
}
for ((r = 1; r <= rounds; ++r)); do
  for c in "${commands[@]}"; do
    name=${c%%=*}
    bin=${c#*=}
    run "round $r, $name, listing only" "$bin"
    run "round $r, $name, --json" "$bin" --json "$work/$name.json"
  done
done
for c in "${commands[@]}"; do
  name=${c%%=*}
  /usr/bin/python3 - "$work/$name.json" "$name" <<'PY'
import json, os, sys, time
path, name = sys.argv[1], sys.argv[2]
with open(path, encoding="utf-8") as f:
    document = json.load(f)
start = time.perf_counter()
compact = json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode()
seconds = time.perf_counter() - start
size = os.path.getsize(path)
print(f"{name}: document {size / 1e6:.2f} MB, compact {len(compact) / 1e6:.2f} MB "
      f"({size / len(compact):.2f} times), python3 json.dumps {seconds:.2f} s")
PY
done
