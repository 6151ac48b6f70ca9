#!/usr/bin/env bash
# Runs every test; under a private Xvfb when there is no display.
set -euo pipefail
build=$1 jobs=$2

# The headless Wayland desktop of the portal capture tests; without it they skip and say why.
"$(dirname "$0")/install-wayland-stack.sh"

run_ctest() { ctest --test-dir "$build" --output-on-failure -j"$jobs"; }

if [ -n "${DISPLAY:-}" ]; then
  run_ctest
else
  export -f run_ctest
  export build jobs
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset -nolisten tcp" bash -c run_ctest
fi
