#!/usr/bin/env bash
# Builds everything but the benchmarks with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs the whole test suite
# there (the end-to-end tests drive the sanitized program).  Any report ends
# the process that made it, so the test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
launcher=()
if command -v ccache >/dev/null && [[ -z ${CI:-} ]]; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAOSHU_BENCHMARKS=OFF -DAOSHU_HARDENING=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" "${launcher[@]}"
cmake --build build-asan -j"$(nproc)"

# Leak reports would name the caches Qt and fontconfig keep until exit, not
# faults of ours; every other finding stops the process.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=$?
if [[ $status -ne 0 ]]; then
  echo "sanitize: running the failed tests once more"
  status=0
  ctest --test-dir build-asan --output-on-failure --rerun-failed || status=$?
fi
exit "$status"
