#!/usr/bin/env bash
# Starts the driver on the real board when it is plugged in, otherwise on the board emulator.
set -uo pipefail
build=$1 port=$2 link=$3
driver="$build/app/lumora-driver"
sim="$build/tools/board_sim/lumora-board-sim"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "error: no display: run 'make run' from a desktop session" >&2
  exit 1
fi

# auto: a USB serial adapter is plugged in, which the driver takes for the board.
if { [ "$port" = auto ] && [ -n "$(ls -A /dev/serial/by-id 2>/dev/null)" ]; } || { [ "$port" != auto ] && [ -e "$port" ]; }; then
  echo "Starting the driver on the board ($port)."
  exec "$driver" --port "$port"
fi

echo "No board ($port): starting the board emulator and the driver connected to it ($link)."
"$sim" --link "$link" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -e "$link" ] && break
  kill -0 $sim_pid 2>/dev/null || { echo "error: the board emulator did not start" >&2; exit 1; }
  sleep 0.05
done
"$driver" --port "$link"
