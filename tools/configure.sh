#!/usr/bin/env bash
# Configures a build tree: tools/configure.sh SOURCE BUILD [cmake arguments]. It builds with
# Ninja where it is installed (tools/deps.sh installs it where it may), else with make, which
# cannot name a path holding a colon. A tree configured for another checkout, or with the other
# generator, is one CMake refuses to reuse: it is made afresh, and the message says so.
set -euo pipefail
src=$1 bin=$2
srcdir=$(cd "$src" && pwd -P)
shift 2
case "$bin" in /*) where=$bin ;; *) where=$(pwd)/$bin ;; esac
if command -v ninja >/dev/null; then
  generator=Ninja
else
  generator="Unix Makefiles"
  case "$srcdir $where" in
    *:*)
      echo "The path $where holds a colon, which make cannot build under." >&2
      echo "Install ninja-build (apt-get install ninja-build), or move the checkout." >&2
      exit 1
      ;;
  esac
fi
if [ -f "$bin/CMakeCache.txt" ]; then
  home="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$bin/CMakeCache.txt")"
  made="$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$bin/CMakeCache.txt")"
  if [ "$(cd "$home" 2>/dev/null && pwd -P)" != "$srcdir" ]; then
    echo "$bin/ was configured for ${home:-another checkout}; building afresh in $where." >&2
    rm -rf "$bin"
  elif [ -n "$made" ] && [ "$made" != "$generator" ]; then
    echo "$bin/ was configured for the $made generator; building afresh with $generator." >&2
    rm -rf "$bin"
  fi
fi
cmake -S "$src" -B "$bin" -G "$generator" "$@" >/dev/null
