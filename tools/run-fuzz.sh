#!/usr/bin/env bash
# Runs every fuzz target in the given folder for the given number of seconds, starting from its
# seed corpus (fuzz/corpus/<target>/) and never writing into the source tree. A fuzzer keeps one
# core busy, so up to the given number of targets run at once (default 1): each still gets its
# full time, and the stage takes that much less.
set -euo pipefail
folder=$1
seconds=${2:-10}
jobs=${3:-1}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$folder"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets built."
  exit 0
fi

# Fuzzes one target; its last line, or the tail of its log when it failed.
fuzz_one() {
  local target=$1 name work
  name=$(basename "$target")
  work=$(mktemp -d)
  [ -d "$source_dir/fuzz/corpus/$name" ] && cp -r "$source_dir/fuzz/corpus/$name/." "$work/"
  if "$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" "$work" \
      2>"$work.log"; then
    echo "Fuzzed $name for ${seconds}s: $(tail -n 1 "$work.log")"
    rm -rf "$work" "$work.log"
  else
    tail -n 60 "$work.log"
    echo "Fuzz target $name failed (inputs kept in $work)"
    return 1
  fi
}

running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || { wait; exit 1; }
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || { wait; exit 1; }
  running=$((running - 1))
done
