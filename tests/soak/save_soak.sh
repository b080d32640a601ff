#!/usr/bin/env bash
# Kills a saving program with SIGKILL at random moments and checks, after every kill, that the
# test file reads back whole as the generation saved last or the one being saved, never older and
# never damaged, and that no temporary file outlives the next save.
# Usage: save_soak.sh SAVE_SOAK [KILLS] [LONGEST_MS]   (defaults: 1000 kills, up to 400 ms apart)
set -uo pipefail
prog=${1:?usage: save_soak.sh SAVE_SOAK [KILLS] [LONGEST_MS]}
kills=${2:-1000}
longest=${3:-400}
dir=$(mktemp -d /tmp/save-soak-XXXXXX)
trap 'rm -rf "$dir"' EXIT
file=$dir/soak.kvd
last=""        # the generation on disk after the previous kill
saves=0 losses=0 leftovers=0 cleaned=0

temporaries() { find "$dir" -maxdepth 1 -name '~temp-??????.kvd' -printf '%f\n' | sort; }

for ((k = 1; k <= kills; k++)); do
  before=$(temporaries)
  # Emptied here: a kill that comes before the child has opened its output would otherwise leave
  # the previous run's lines there.
  : >"$dir/out"
  "$prog" run "$file" >"$dir/out" 2>"$dir/err" &
  pid=$!
  ms=$(( (RANDOM * 32768 + RANDOM) % longest ))
  sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
  if ! kill -KILL "$pid" 2>/dev/null; then
    wait "$pid"
    echo "save_soak.sh: kill $k: the program ended by itself (status $?):" >&2
    cat "$dir/err" >&2
    exit 1
  fi
  wait "$pid" 2>/dev/null
  saved=$(grep -oE '^saved [0-9]+$' "$dir/out" | tail -n 1 | cut -d' ' -f2)
  runSaves=$(grep -cE '^saved [0-9]+$' "$dir/out")
  saves=$((saves + runSaves))

  if [ ! -e "$file" ]; then
    found=""
    [ -z "$last$saved" ] || { echo "kill $k: the file is gone" >&2; losses=$((losses + 1)); }
  elif ! found=$("$prog" check "$file" 2>"$dir/check"); then
    echo "kill $k: the file does not read back: $(cat "$dir/check")" >&2
    losses=$((losses + 1))
    cp "$file" "$dir/../save-soak-damaged-$k.kvd" 2>/dev/null
    found=$last
  else
    # The last generation this run reported, or failing that the one on disk before it, is on
    # disk, or the next one whose rename had happened when the kill came.
    base=${saved:-${last:-0}}
    if [ "$found" != "$base" ] && [ "$found" != "$((base + 1))" ]; then
      echo "kill $k: the file holds generation $found, expected $base or $((base + 1))" >&2
      losses=$((losses + 1))
    fi
  fi
  last=$found

  now=$(temporaries)
  [ -n "$now" ] && leftovers=$((leftovers + 1))
  if [ "$(wc -l <<<"$now")" -gt 1 ]; then
    echo "kill $k: more than one temporary file: $now" >&2
    losses=$((losses + 1))
  fi
  # A temporary file left by an earlier kill must be gone once a save has completed since.
  if [ -n "$before" ] && [ "$runSaves" -gt 0 ]; then
    stale=$(comm -12 <(echo "$before") <(echo "$now"))
    if [ -n "$stale" ]; then
      echo "kill $k: the save did not remove the stale temporary file $stale" >&2
      losses=$((losses + 1))
    else
      cleaned=$((cleaned + 1))
    fi
  fi
done
echo "save_soak.sh: $kills kills, $saves saves completed, generation ${last:-none} on disk," \
     "$losses losses; a temporary file was left by $leftovers kills and removed by the next save $cleaned times"
[ "$losses" -eq 0 ]
