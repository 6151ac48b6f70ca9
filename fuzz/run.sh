#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time from its seed corpus. Fails if any
# target finds a crash, a sanitizer report, a leak, a hang or an out-of-memory input; the input is
# then left in OUTDIR as crash-*, timeout-*, leak-* or oom-*.
#   fuzz/run.sh OUTDIR SECONDS_PER_TARGET
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out" && out=$(cd "$out" && pwd)
seconds=${2:-30}
"$root/fuzz/build.sh" "$out"
for target in read_number_fuzz auto_page_fuzz; do
  corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  cp -n "$root/fuzz/seeds/$target"/* "$corpus"/ 2>/dev/null || true
  echo "fuzzing $target for ${seconds}s"
  if ! (cd "$out" && "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" >"$out/$target.log" 2>&1); then
    tail -40 "$out/$target.log" >&2
    echo "fuzz target $target found a failure (see $out/$target.log)" >&2
    exit 1
  fi
  grep -E "^stat::number_of_executed_units|^Done" "$out/$target.log" || true
done
