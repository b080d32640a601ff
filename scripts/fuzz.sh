#!/usr/bin/env bash
# Runs every built fuzz target, one after the other, for the given number of seconds each.
# Usage: fuzz.sh BUILD_DIR SECONDS [TARGET...]   (all targets when none are named)
#
# Each target's corpus grows in BUILD_DIR/corpus/NAME, starting from fuzz/seeds/NAME, and whatever
# it stops on (crash-*, leak-*, timeout-*, oom-* files) is written to BUILD_DIR/artifacts/NAME/;
# the full log is BUILD_DIR/NAME.log. Undefined behaviour halts a run like a crash. The script
# fails when any target found anything, and says which; a finding's input belongs in
# fuzz/seeds/NAME once it is mended, so that the seed replay in the tests keeps it mended.
set -uo pipefail
build=${1:-build/fuzz}
seconds=${2:-60}
shift 2 2>/dev/null || shift $#
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/fuzzers/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $build/fuzzers" >&2
  exit 1
fi
failed=()
for name in "${targets[@]}"; do
  f="$build/fuzzers/$name"
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  log="$build/$name.log"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$root/fuzz/seeds/$name" ] && seeds+=("$root/fuzz/seeds/$name")
  echo "== $name for ${seconds}s"
  start=$(date +%s)
  stamp=$(mktemp)
  # Run from the artifacts folder, so that nothing a library writes beside the working folder
  # (a converted picture, say) lands in the source tree.
  # The processor time is reported beside the wall time: on a shared machine they differ a lot.
  TIMEFORMAT='%U %S'
  { time (cd "$artifacts" && "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1); } 2>"$log.cpu"
  rc=$?
  elapsed=$(( $(date +%s) - start ))
  cpu=$(awk '{ printf "%.1f", $1 + $2 }' "$log.cpu" 2>/dev/null)
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -n 1)
  echo "   ${runs:-?} runs in ${elapsed}s (${cpu:-?}s of processor time), corpus $(find "$corpus" -type f | wc -l) files"
  # A report that did not stop the run still counts: undefined behaviour in code that was built
  # to carry on, a leak noticed at exit.
  if [ $rc -ne 0 ] || grep -qE 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|SUMMARY: ' "$log"; then
    failed+=("$name")
    echo "   FINDING (exit status $rc); last lines of $log:"
    tail -n 40 "$log" | sed 's/^/   | /'
    find "$artifacts" -type f -newer "$stamp" -printf '   artifact: %p\n'
  fi
  rm -f "$stamp"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: no findings in ${#targets[@]} targets"
