#!/usr/bin/env bash
# Runs every built benchmark; the figures go into bench/RESULTS.md by hand with this command line.
set -euo pipefail
build=${1:-build/release}
for b in "$build"/benchmarks/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
