# Sourced by the bench scripts, from the repository's root.
# Builds the command (and any further TARGETS) into build-bench/, Release, with few jobs: the
# machine is shared.
build_command() {
  ./tools/configure.sh . build-bench -DVSF_BENCH=ON -DCMAKE_BUILD_TYPE=Release
  cmake --build build-bench -j3 --target varsifter "$@" >/dev/null
}
# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
