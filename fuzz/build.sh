#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer.
#   fuzz/build.sh OUTDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic -I "$root/src")
clang++ "${flags[@]}" -o "$out/read_number_fuzz" "$root/fuzz/read_number_fuzz.cpp" "$root/src/base/numeric.cpp" &
clang++ "${flags[@]}" -o "$out/auto_page_fuzz" "$root/fuzz/auto_page_fuzz.cpp" "$root/src/base/numeric.cpp" \
  "$root"/src/sampling/*.cpp &
wait -n && wait -n
