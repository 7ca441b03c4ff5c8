#!/usr/bin/env bash
# Draws an HTML page of the output, tables and graphs, with headless chromium into a PNG, to look
# at it by eye. Run by hand (CI needs no browser); needs Debian's chromium: apt-get install
# chromium.
#
#   tests/displays/render_html.sh                   the page of every display table, made by
#                                                   the Page test of build/tests/displays_tests
#   tests/displays/render_html.sh PROGRAM.vsf [PNG] the page of a program run on examples/data
#   tests/displays/render_html.sh PAGE.html [PNG]   an existing page
# WIDTH (default 1200) and HEIGHT (default 3000) set the window in pixels.
set -euo pipefail
cd "$(dirname "$0")/../.."
input="${1:-}"
png="${2:-${TMPDIR:-/tmp}/vsf_displays_page.png}"
page="${TMPDIR:-/tmp}/vsf_displays_page.html"
case "$input" in
  "")
    ./build/tests/displays_tests --gtest_filter='Page.*' >/dev/null ;;
  *.vsf)
    ./build/app/varsifter "$input" --lib examples/data --html "$page" >/dev/null ;;
  *)
    page="$input" ;;
esac
browser="$(command -v chromium || command -v chromium-browser || true)"
if [ -z "$browser" ]; then
  echo "chromium is not installed (apt-get install chromium)" >&2
  exit 2
fi
profile="$(mktemp -d)"
trap 'rm -rf "$profile"' EXIT
"$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size="${WIDTH:-1200},${HEIGHT:-3000}" \
  --screenshot="$png" "file://$(realpath "$page")" 2>/dev/null
echo "$png"
