#!/usr/bin/env bash
# Runs every test: the suite on the normal build; the suite again on a second build under
# AddressSanitizer and UndefinedBehaviorSanitizer (the programs the end-to-end tests start are
# sanitized too); and the fuzz targets for a bounded time. Under a private Xvfb when there is no
# display.
#   scripts/test.sh BUILD JOBS [SANITIZER_BUILD [FUZZ_BUILD]]    (FUZZ_SECONDS per target, default 30)
set -euo pipefail
build=$1 jobs=$2
asan_build=${3:-build-asan}
fuzz_build=${4:-build-fuzz}
fuzz_seconds=${FUZZ_SECONDS:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# The headless Wayland desktop of the portal capture tests; without it they skip and say why.
"$root/scripts/install-wayland-stack.sh"

# Runs a command with the caller's display, or else on a private Xvfb.
with_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset -nolisten tcp" "$@"
  fi
}

echo "== tests ($build)"
with_display ctest --test-dir "$build" --output-on-failure -j"$jobs" 2>&1 | tee "$logs/plain"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer ($asan_build)"
# -O1 keeps the build quick and the stacks readable. GCC 12 warns falsely about <regex> internals
# being uninitialised when AddressSanitizer instruments them; the normal build keeps that warning.
cmake -S "$root" -B "$asan_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -Wno-maybe-uninitialized" -DLUMORA_SANITIZE=ON >/dev/null
cmake --build "$asan_build" -j"$jobs"
# Leaks are checked at every exit; the suppressions cover system libraries only (see the file).
with_display env \
  ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_init_order=1" \
  LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$asan_build" --output-on-failure -j"$jobs" 2>&1 | tee "$logs/sanitized"

echo "== fuzzing (${fuzz_seconds}s per target)"
case $fuzz_build in /*) ;; *) fuzz_build=$root/$fuzz_build ;; esac
"$root/fuzz/run.sh" "$fuzz_build" "$fuzz_seconds"

# One line for the whole run: the tests of both builds (a failure has ended the script before).
passed=0 failed=0
for log in "$logs/plain" "$logs/sanitized"; do
  read -r f n < <(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -1)
  passed=$((passed + n - f)) failed=$((failed + f))
done
echo "summary: $passed passed, $failed failed"
