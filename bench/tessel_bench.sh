#!/usr/bin/env bash
# tessel against plocate over one generated tree (1,000,000 files and folders by default): index
# build time (names, and then sizes and dates), tessel's resident memory and plocate's database size, median and p99 latency of a
# fixed set of queries, with ratios, all from one run (see bench/tessel_query_bench.cpp).
# The tree is generated once per seed and size and reused by later runs.
# Usage: bench/tessel_bench.sh [build folder]   (default: build)
# Environment: ENTRIES (1000000), SEED (1), TREE_BASE (where the tree lives, default
# ${TMPDIR:-/tmp}/tessel-bench-SEED-ENTRIES), TESSEL (the program, default BUILD/tessel),
# ROUNDS (most rounds per query and program, 200), BUDGET_S (seconds per query and program, 10).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
entries=${ENTRIES:-1000000}
seed=${SEED:-1}
base=${TREE_BASE:-${TMPDIR:-/tmp}/tessel-bench-$seed-$entries}
tessel=${TESSEL:-$build/tessel}
# Raise when bench/tessel/TreePlan.cpp changes the tree it plans, so that old trees are remade.
plan_version=1

if ! command -v plocate >/dev/null || ! command -v updatedb >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends plocate
fi

targets=(tessel_tree_gen tessel_query_bench)
[ -z "${TESSEL:-}" ] && targets+=(tessel)
if ! built=$(cmake --build "$build" --target "${targets[@]}" 2>&1); then
  echo "$built" >&2
  exit 1
fi

stamp="$base/stamp"
wanted="seed $seed entries $entries plan $plan_version"
if [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  rm -rf "$base"
  mkdir -p "$base"
  echo "generating the tree ($wanted) in $base/home ..." >&2
  start=$(date +%s)
  "$build/bench/tessel_tree_gen" "$seed" "$entries" "$base/home"
  echo "$wanted" >"$stamp"
  echo "generated in $(($(date +%s) - start)) s" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PLOCATE=$(command -v plocate) UPDATEDB=$(command -v updatedb) \
  "$build/bench/tessel_query_bench" "$tessel" "$base/home" "$work" "$entries"
