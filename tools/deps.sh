#!/usr/bin/env bash
# Installs the Debian packages the build (with --test: and the tests; with --sanitize: and the
# sanitizer builds) needs when any is missing. Installing needs root or sudo; without either it
# names the packages and stops.
set -euo pipefail
pkgs=(cmake g++ ninja-build libopenblas-dev libgtest-dev libgmock-dev libbenchmark-dev libfmt-dev
      nlohmann-json3-dev libcli11-dev)
# The tests also check the layout of the sources with one pinned formatter; the sanitizer
# builds need GCC's runtimes.
case "${1:-}" in
  --test) pkgs+=(clang-format-14 python3) ;;
  --sanitize) pkgs+=(libasan8 libubsan1 libtsan2) ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null && { [ "${missing[*]}" != ninja-build ] || sudo -n true 2>/dev/null; }; then
  SUDO="sudo"
elif [ "${missing[*]}" = ninja-build ] && command -v make >/dev/null; then
  # A machine that built with make before Ninja was asked for goes on with make
  # (tools/configure.sh says where that cannot build).
  exit 0
else
  echo "These Debian packages are missing: ${missing[*]}" >&2
  echo "Installing them needs root; ask an administrator to run:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
