#!/usr/bin/env bash
# Builds and runs the JSON benchmark once: parsing and writing an answer of 10,000 results with
# the server's JSON module and with the peer library, which this script installs when missing.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build}
if ! dpkg-query -W -f='${Status}' nlohmann-json3-dev 2>/dev/null | grep -q "install ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends nlohmann-json3-dev
fi
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake -S "$source_dir" -B "$build" >/dev/null  # picks up a peer installed since the last configure
cmake --build "$build" --target json_bench -j 2
"$build/bench/json_bench"
