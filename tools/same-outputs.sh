#!/usr/bin/env bash
# Runs the end-to-end tests of this checkout and of a reference commit, each keeping every
# run's listing, log, JSON document and output files, and checks that the programs both ran
# give the same outputs: a change that should change no result is held to it.
#   tools/same-outputs.sh [REV]     REV defaults to the commit named in tools/outputs-baseline
# The reference is built in build-same/ (Release, the command and the end-to-end tests only).
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-$(cat tools/outputs-baseline)}
if ! git rev-parse -q --verify "$rev^{commit}" >/dev/null; then
  echo "same-outputs: the reference commit $rev is not in this clone's history" >&2
  exit 1
fi
here=$(pwd)
work=$here/build-same
rm -rf "$work/keep-base" "$work/keep-new"
mkdir -p "$work/keep-base" "$work/keep-new"
if [ ! -d "$work/src" ] || [ "$(git -C "$work/src" rev-parse HEAD 2>/dev/null)" != "$(git rev-parse "$rev^{commit}")" ]; then
  git worktree remove --force "$work/src" 2>/dev/null || rm -rf "$work/src"
  git worktree prune
  git worktree add -q --detach "$work/src" "$rev"
fi
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
for side in base new; do
  if [ $side = base ]; then src=$work/src; bin=$work/build; else src=$here; bin=$here/build; fi
  ./tools/configure.sh "$src" "$bin" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$bin" -j"$jobs" --target varsifter e2e_tests >/dev/null
  echo "same-outputs: running the end-to-end tests of the $side build" >&2
  # As the test stage runs them (its temporary directory, its working directory); failing
  # tests are that stage's business, and their runs are compared all the same.
  VSF_TIME_OF_DAY=43200 VSF_E2E_KEEP=$work/keep-$side ctest --test-dir "$bin" -R '^e2e$' --timeout 1800 >/dev/null 2>&1 ||
    true
done
python3 tools/same-outputs.py "$work/keep-base" "$work/keep-new" \
  --roots "$work/src" "$work/build/tmp/e2e" "$here" "$here/build/tmp/e2e"
