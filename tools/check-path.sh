#!/usr/bin/env bash
# Stops at once, naming the character, where the checkout's path holds one that the build
# cannot work in: CMake itself cannot configure under a double quote or a backslash.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd -P)"
bad=()
case "$here" in *'"'*) bad+=('a double quote (")') ;; esac
case "$here" in *\\*) bad+=('a backslash (\)') ;; esac
[ ${#bad[@]} -eq 0 ] && exit 0
echo "The checkout's path $here holds ${bad[0]}${bad[1]:+ and ${bad[1]}}, under which CMake cannot build." >&2
them=it
[ ${#bad[@]} -gt 1 ] && them=them
echo "Move the checkout to a path without $them (mv or a new git clone) and run this there." >&2
exit 1
