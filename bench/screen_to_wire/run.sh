#!/usr/bin/env bash
# Builds and runs the screen-to-wire benchmarks: the AUTO load table (X11 and the sway portal by
# default, both sizes, default steps and steps of 1) and, with "delay", the screen-change delay on
# X11 and sway. Either takes the GNOME path too: --paths x11,sway,gnome (load), --path all (delay).
#
#   bench/screen_to_wire/run.sh [BUILD_DIR] [load|delay] [options for the benchmark...]
#
# BUILD_DIR defaults to build (configured as the project's README says). The headless Wayland
# desktops are prepared first, as the test suite does; without them the portal rows say why.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
what=${2:-load}
shift $(( $# > 2 ? 2 : $# ))
"$root/scripts/install-wayland-stack.sh"
cmake --build "$build" -j2 --target lumora-auto-load lumora-screen-delay
case $what in
  load) exec "$build/bench/screen_to_wire/lumora-auto-load" "$@" ;;
  delay) exec "$build/bench/screen_to_wire/lumora-screen-delay" "$@" ;;
  *) echo "run.sh: say load or delay, not $what" >&2; exit 2 ;;
esac
