#!/usr/bin/env bash
# Builds the program and the test programs that cover it best with sanitizers at -O1
# (assertions on) into build-asan/ or build-tsan/ and runs them:
#   address  AddressSanitizer with leak checking and UndefinedBehaviorSanitizer: the command's
#            tests (with the fuzz test), the host, the frame and the data pass;
#   thread   ThreadSanitizer: the test programs whose passes, imports and output writers use
#            threads (not the fuzz test).
# Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
case "$kind" in
  address) tests=(e2e host frame datapass) dir=build-asan ;;
  thread) tests=(e2e host datapass) dir=build-tsan ;;
  *) echo "usage: tools/sanitize.sh address|thread" >&2; exit 2 ;;
esac
./tools/deps.sh --sanitize
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE= -DVSF_SANITIZE="$kind" -DVSF_BENCH=OFF \
  >/dev/null
cmake --build "$dir" -j"$(nproc)" --target varsifter "${tests[@]/%/_tests}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# The timing of the workers is a ratio of speeds, which the sanitizers distort. OpenBLAS's own
# threads are not instrumented: one BLAS thread under ThreadSanitizer, which also holds a signal
# back while the run waits to open a FIFO (the interrupted run's test).
export GTEST_FILTER='-Workers.*'
if [ "$kind" = thread ]; then
  export GTEST_FILTER='-Fuzz.*:Workers.*:Documents.AnInterruptedRun*' OPENBLAS_NUM_THREADS=1
fi
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -R "$pattern" --timeout 1800
