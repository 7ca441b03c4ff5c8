#!/usr/bin/env bash
# Fails when a C++ source differs from what the pinned formatter (clang-format 14, the
# project's .clang-format) makes of it. With --fix, formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=clang-format-14
command -v "$fmt" >/dev/null || { echo "check-format: $fmt is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ "${1:-}" = "--fix" ]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi
if ! "$fmt" --dry-run --Werror "${files[@]}" 2>/tmp/check-format.$$; then
  grep -E '^[^ ].*: (error|warning)' /tmp/check-format.$$ | cut -d: -f1 | sort -u |
    sed 's/^/not formatted: /' >&2
  echo "check-format: run tools/check-format.sh --fix" >&2
  rm -f /tmp/check-format.$$
  exit 1
fi
rm -f /tmp/check-format.$$
