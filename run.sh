#!/usr/bin/env bash
# Builds the command (Release, only what it needs) and runs a program from the directory you
# are in, relative paths as you wrote them: ./run.sh PROGRAM [varsifter options]. Without
# --lib the data sets are those of examples/data.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
if [ $# -lt 1 ]; then
  echo "usage: ./run.sh PROGRAM [varsifter options]" >&2
  exit 2
fi
# The build's progress goes to standard error: standard output is the listing alone.
"$root/tools/build.sh" --target varsifter >&2
lib=(--lib "$root/examples/data")
for arg in "$@"; do
  case "$arg" in --lib | --lib=*) lib=() ;; esac
done
exec "$root/build/app/varsifter" "$@" "${lib[@]}"
