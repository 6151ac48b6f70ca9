#!/usr/bin/env bash
# Soak: the driver in AUTO mode for a long run on a private Xvfb against the board emulator (paced
# at the line's speed), sampling its resident memory, open file descriptors and shared-memory
# segments (SysV segments it created and memfd segments it maps) at the start, every minute, and
# at the end. A leak shows as a column that climbs.
#   bench/soak.sh BUILD_DIR [SECONDS]      (default 600)
set -euo pipefail
build=$(cd "${1:?usage: bench/soak.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-600}

inner() {
  dir=$(mktemp -d /tmp/lumora-soak-XXXXXX)
  "$build/tools/board_sim/lumora-board-sim" --link "$dir/board" --pace --dump --headless >"$dir/packets" 2>"$dir/sim.err" &
  sim=$!
  for _ in $(seq 100); do [ -e "$dir/board" ] && break; sleep 0.1; done
  "$build/app/lumora-driver" --port "$dir/board" >/dev/null 2>"$dir/driver.err" &
  driver=$!
  trap 'kill $driver $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
  window=$(xdotool search --sync --onlyvisible --pid "$driver" --name '^Lumora Driver 1.2$' | head -1)
  xdotool mousemove --window "$window" 60 172 click 1 # AUTO

  sample() {
    local rss fds sysv memfd cpu
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$driver/status")
    fds=$(ls "/proc/$driver/fd" | wc -l)
    sysv=$(ipcs -m -p | awk -v p="$driver" '$3 == p' | wc -l)
    memfd=$(grep '/memfd:' "/proc/$driver/maps" | awk '{print $6}' | sort -u | wc -l)
    cpu=$(awk '{printf "%.1f", ($14 + $15) / 100}' "/proc/$driver/stat")
    printf '%6s s  rss %7s kB  fds %3s  sysv-shm %2s  memfd-shm %2s  cpu %7s s\n' "$1" "$rss" "$fds" "$sysv" "$memfd" "$cpu"
  }
  sleep 10
  local start=$SECONDS
  sample 0 | tee "$dir/first"
  while [ $((SECONDS - start)) -lt "$seconds" ]; do
    sleep $(( seconds - (SECONDS - start) < 60 ? seconds - (SECONDS - start) : 60 ))
    kill -0 "$driver" || { echo "the driver ended early:"; cat "$dir/driver.err"; exit 1; }
    sample $((SECONDS - start)) | tee "$dir/last"
  done
  echo "start: $(cat "$dir/first")"
  echo "end:   $(cat "$dir/last")"
  echo "zone packets the board received: $(grep -c '^[012] ' "$dir/packets"), keyboard packets: $(grep -c '^3 ' "$dir/packets")"
  echo "driver's standard error: $(tr '\n' '|' <"$dir/driver.err")"
  kill -TERM "$driver"; wait "$driver"; echo "driver exit status after SIGTERM: $?"
}

if [ -n "${LUMORA_SOAK_INNER:-}" ]; then
  inner
else
  LUMORA_SOAK_INNER=1 xvfb-run -a -s "-screen 0 1920x1080x24 -noreset -s 0 -nolisten tcp" "$0" "$build" "$seconds"
fi
