#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test (unit, window, end to end, fuzz-corpus replay).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
bash scripts/build.sh test -DMARCPY_SANITIZE=ON -DMARCPY_WERROR=ON
ctest --test-dir build/test --output-on-failure -j"${JOBS:-2}" --timeout 600
