#!/usr/bin/env bash
# Configures and builds in Release into build/: everything, or the targets named with
# --target NAME. Other arguments go to the configure step (-DVSF_BENCH=ON). The build's
# progress goes to standard error in one line; warnings and errors are shown whole.
# CMAKE_BUILD_PARALLEL_LEVEL sets the number of jobs (default: every processor).
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/check-path.sh
configure=()
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=(--target "$2"); shift 2 ;;
    *) configure+=("$1"); shift ;;
  esac
done
./tools/deps.sh

# Progress lines of make ("[ 42%] Building ...") and ninja ("[12/80] Building ..."): on a
# terminal one line rewritten in place, else "build: 0% 10% ..." growing on one line. The
# targets' bookkeeping is dropped; anything else (a warning, an error) is shown whole.
progress() {
  local line percent shown=-1 open=0 tty=0
  [ -t 2 ] && tty=1
  while IFS= read -r line; do
    percent=""
    if [[ "$line" =~ ^\[\ *([0-9]+)%\]\ (.*)$ ]]; then
      percent=${BASH_REMATCH[1]}
    elif [[ "$line" =~ ^\[([0-9]+)/([0-9]+)\]\ (.*)$ ]]; then
      percent=$(( BASH_REMATCH[1] * 100 / BASH_REMATCH[2] ))
    elif [[ "$line" =~ ^(Built\ target|Scanning\ dependencies|Consolidate\ compiler|Dependee\ |Building\ |Linking\ |Generating\ ) ]]; then
      continue
    fi
    if [ -n "$percent" ]; then
      if [ $tty = 1 ]; then
        printf '\r\033[K%s' "${line:0:79}" >&2
        open=1
      elif [ $open = 0 ]; then
        shown=$percent open=1
        printf 'build: %s%%' "$percent" >&2
      elif [ $(( percent / 10 )) -gt $(( shown / 10 )) ]; then
        shown=$percent
        printf ' %s%%' "$percent" >&2
      fi
      continue
    fi
    [ $open = 1 ] && { [ $tty = 1 ] && printf '\r\033[K' >&2 || echo >&2; }
    open=0
    printf '%s\n' "$line" >&2
  done
  [ $open = 1 ] && { [ $tty = 1 ] && printf '\r\033[K' >&2 || echo >&2; }
  return 0
}

./tools/configure.sh . build -DCMAKE_BUILD_TYPE=Release -DVSF_WERROR=ON "${configure[@]}"
cmake --build build -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "${targets[@]}" 2>&1 | progress
