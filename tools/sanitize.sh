#!/usr/bin/env bash
# Builds the program and the test programs that cover it best with sanitizers at -O1
# (assertions on) into build-asan/ or build-tsan/ and runs them:
#   address  AddressSanitizer with leak checking and UndefinedBehaviorSanitizer: the command's
#            tests (with the fuzz test), the host, the frame, the data pass and levelization
#            (whose tests end steps while its workers run);
#   thread   ThreadSanitizer: the host and the data pass, and the command's tests that run on
#            several workers.
# Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
case "$kind" in
  address) tests=(e2e host frame datapass levelize) dir=build-asan ;;
  thread) tests=(e2e host datapass) dir=build-tsan ;;
  *) echo "usage: tools/sanitize.sh address|thread" >&2; exit 2 ;;
esac
./tools/deps.sh --sanitize
./tools/configure.sh . "$dir" -DCMAKE_BUILD_TYPE= -DVSF_SANITIZE="$kind" -DVSF_BENCH=OFF
cmake --build "$dir" -j"$(nproc)" --target varsifter "${tests[@]/%/_tests}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# The timing of the workers is a ratio of speeds, which the sanitizers distort. OpenBLAS's own
# threads are not instrumented: one BLAS thread under ThreadSanitizer.
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
run() { ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -R "$1" --timeout 1800; }
if [ "$kind" = address ]; then
  GTEST_FILTER='-Workers.*' run "$pattern"
  exit 0
fi
# Under ThreadSanitizer the command's tests are those that run a step's passes, imports and
# writers on several workers; the rest run on one thread and take long under its slowdown.
export OPENBLAS_NUM_THREADS=1
GTEST_FILTER='-Workers.*' run '^(host|datapass)$'
GTEST_FILTER='Threads.*:PathKnots.*:ModelAveraging.*:OutputDataSets.*:DataPassPrograms.*' run '^e2e$'
