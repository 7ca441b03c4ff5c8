#!/usr/bin/env bash
# Makes the pictures of docs/graphs again from their programs: each PROGRAM.vsf here (or those
# named) is run on examples/data with --html, and headless chromium draws the page at 1200
# pixels wide and as tall as the page into PROGRAM.png beside it.
#   docs/graphs/make-pictures.sh [PROGRAM.vsf ...]
# Builds the command first (tools/build.sh); needs Debian's chromium (apt-get install chromium).
set -euo pipefail
cd "$(dirname "$0")/../.."
width=1200
browser="$(command -v chromium || command -v chromium-browser || true)"
if [ -z "$browser" ]; then
  echo "chromium is not installed (apt-get install chromium)" >&2
  exit 2
fi
./tools/build.sh >&2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
draw() {  # PAGE, then the browser's options
  local page=$1
  shift
  "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars "$@" "file://$page" 2>/dev/null
}
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(docs/graphs/*.vsf)
for program in "${programs[@]}"; do
  png="${program%.vsf}.png"
  page="$work/page.html"
  if ! ./build/app/varsifter "$program" --lib examples/data --html "$page" >/dev/null \
      2>"$work/log"; then
    cat "$work/log" >&2
    exit 1
  fi
  # The page's height at this width, from a copy that writes it into its title (the page itself
  # has no script).
  sed 's|</body>|<script>document.title = document.documentElement.scrollHeight;</script></body>|' \
    "$page" > "$work/measure.html"
  height=$(draw "$work/measure.html" --window-size="$width,800" --dump-dom |
           sed -n 's|.*<title>\([0-9]*\)</title>.*|\1|p')
  [ -n "$height" ] || { echo "cannot measure the page of $program" >&2; exit 1; }
  draw "$page" --window-size="$width,$height" --screenshot="$(pwd)/$png" >/dev/null
  echo "$png: $width x $height"
done
