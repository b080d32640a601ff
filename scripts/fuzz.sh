#!/usr/bin/env bash
# Runs every built fuzz target for the given number of seconds, each with its own corpus folder
# seeded from fuzz/<target>.seeds if that exists.  Usage: fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for f in "$build"/fuzzers/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$root/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/seeds/$name" ] && seeds+=("$root/fuzz/seeds/$name")
  echo "== $name for ${seconds}s"
  if ! "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
       "$corpus" "${seeds[@]}" 2>"$build/$name.log"; then
    status=1
    tail -n 40 "$build/$name.log"
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$name.log" | tail -n 2 || true
done
exit $status
