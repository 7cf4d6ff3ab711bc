#!/usr/bin/env bash
# Runs every fuzz target in the given folder for the given number of seconds, starting from its
# seed corpus (fuzz/corpus/<target>/) and never writing into the source tree.
set -euo pipefail
folder=$1
seconds=${2:-10}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
targets=("$folder"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets built."
  exit 0
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=$(mktemp -d)
  [ -d "$source_dir/fuzz/corpus/$name" ] && cp -r "$source_dir/fuzz/corpus/$name/." "$work/"
  echo "Fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" "$work" 2>"$work.log" || {
    tail -n 60 "$work.log"
    echo "Fuzz target $name failed"
    exit 1
  }
  tail -n 1 "$work.log"
  rm -rf "$work" "$work.log"
done
