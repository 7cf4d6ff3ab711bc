#!/usr/bin/env bash
# Searches through the whole server: wrk against "/find" on the webtessl program, keep-alive, at 1
# and at 16 connections, with the scripted test peer standing in for the desktop application and
# answering every query at once with 25 results (real files, so every result is completed from
# the file system), from four answering threads as the application's query threads do, so that
# the peer is not the limit; an answer that is the only one due goes out from the peer's window
# thread itself, as in the round trip below, and the peer writes no line per query. Beside it, measured in the same run, the bare IPC round trip of the
# same answer size between two processes (bench/ipc_roundtrip_bench). Then the real tessel over a
# generated tree of 100,000 files and folders (kept in $TREE_BASE and reused), asked for a rare
# word ("quetzal", a page of 25) through the server, at 1 and 16 connections.
# Goals: the median "/find" latency at 1 connection within 0.15 ms of the median round trip;
# with tessel, a median under 1 ms at 1 connection.
# Usage: bench/find_bench.sh [build folder]   (default: build; DURATION=10s per wrk run, ENTRIES,
# SEED and TREE_BASE choose the tree)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-10s}
max_threads=2
results=25
entries=${ENTRIES:-100000}
seed=${SEED:-1}
tree_base=${TREE_BASE:-${TMPDIR:-/tmp}/tessel-bench-$seed-$entries}

source "$root/bench/lib.sh"
install_missing wrk:wrk

cmake --build "$build" --target webtessl tessel tessel_test_peer ipc_roundtrip_bench \
  tessel_tree_gen >/dev/null
load=$(cut -d' ' -f1 /proc/loadavg)
# The desktop lives where it does on a real system, in memory ($XDG_RUNTIME_DIR is a tmpfs), so
# the folder goes to /dev/shm when there is one; the round trip below uses the same folder.
make_work_dir -p /dev/shm 2>/dev/null || make_work_dir

# A private desktop and configuration folder: nothing else answers, nothing gets launched.
export WEBTESSL_DESKTOP="$work/desktop"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME" "$work/files"

wait_for() {
  for _ in $(seq 200); do
    eval "$1" && return 0
    sleep 0.05
  done
  echo "gave up waiting for: $1" >&2
  return 1
}

# The peer's answer: 25 results naming real files of various sizes, and the total count.
scripted_answer "$work/files" "$results" >"$work/answer.json"
answer_bytes=$(stat -c %s "$work/answer.json")

"$build/tests/tessel_test_peer" --answer-file "$work/answer.json" --lifetime-ms 3600000 \
  --threads 4 --idle-inline 1 --quiet 1 >"$work/peer.log" &
pids+=($!)
wait_for "grep -q '^ready' '$work/peer.log'"

port=$(free_port)
printf '[server]\r\nport=%s\r\n[settings]\r\ndefaultpagesize=25\r\n' "$port" >"$work/config.ini"
"$build/webtessl" -config "$work/config.ini" </dev/null >"$work/server.log" &
pids+=($!)
wait_for "(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null"

url="http://127.0.0.1:$port/find?term=report&format=json"
fetch() { python3 -c "import urllib.request,sys; print(urllib.request.urlopen(sys.argv[1]).read().decode())" "$1"; }
body=$(fetch "$url")
if ! grep -q 'sizestr' <<<"$body"; then
  echo "the server did not answer the search: $body" >&2
  exit 1
fi

# wrk's latency text (e.g. 812.00us, 1.25ms, 1.01s) in milliseconds.
to_ms() { python3 -c "import re,sys; v,u=re.fullmatch(r'([\d.]+)(us|ms|s)',sys.argv[1]).groups(); print(f'{float(v)*{\"us\":0.001,\"ms\":1,\"s\":1000}[u]:.3f}')" "$1"; }

# Requests per second, median and 99th percentile (ms) of one wrk run on the URL.
measure() {
  local connections=$1 url=$2 output
  local threads=$((connections < max_threads ? connections : max_threads))
  output=$(wrk -t "$threads" -c "$connections" -d "$duration" --latency "$url")
  if grep -q "Non-2xx" <<<"$output"; then
    echo "failed answers from $url: $output" >&2
    exit 1
  fi
  local rps p50 p99
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$output")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$output")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$output")
  echo "$rps $(to_ms "$p50") $(to_ms "$p99")"
}

read -r rps1 p50_1 p99_1 < <(measure 1 "$url")
read -r rps16 p50_16 p99_16 < <(measure 16 "$url")
ipc=$(TMPDIR="$work" "$build/bench/ipc_roundtrip_bench" "$answer_bytes")
ipc_median_ms=$(awk '/^TCommunicator/ {for (i = 1; i <= NF; i++) if ($i == "median") {print $(i+1) / 1000; exit}}' <<<"$ipc")
ipc_p99_ms=$(awk '/^TCommunicator/ {for (i = 1; i <= NF; i++) if ($i == "p99") {print $(i+1) / 1000; exit}}' <<<"$ipc")

printf '%-28s %12s %12s %12s\n' "" "req/s" "median ms" "p99 ms"
printf '%-28s %12s %12s %12s\n' "/find, 1 connection" "$rps1" "$p50_1" "$p99_1"
printf '%-28s %12s %12s %12s\n' "/find, 16 connections" "$rps16" "$p50_16" "$p99_16"
printf '%-28s %12s %12.3f %12.3f\n' "IPC round trip (${answer_bytes} B)" "-" "$ipc_median_ms" "$ipc_p99_ms"
python3 -c "import sys; d=float(sys.argv[1])-float(sys.argv[2]); print(f'median /find minus IPC round trip at 1 connection: {d:.3f} ms (goal: within 0.15 ms)')" \
  "$p50_1" "$ipc_median_ms"
echo "$results results per answer, keep-alive, $duration per wrk run; trace lines written: $(wc -l <"$work/server.log")"

# The real tessel over the generated tree, on a desktop of its own, and a second server on it.
stamp="$tree_base/stamp"
wanted="seed $seed entries $entries plan 1"
if [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  rm -rf "$tree_base"
  mkdir -p "$tree_base"
  "$build/bench/tessel_tree_gen" "$seed" "$entries" "$tree_base/home" >&2
  echo "$wanted" >"$stamp"
fi
export WEBTESSL_DESKTOP="$work/tessel-desktop"
export XDG_CONFIG_HOME="$work/tessel-config"
mkdir -p "$XDG_CONFIG_HOME/Tessel"
printf '[index]\nroots=%s\n' "$tree_base/home" >"$XDG_CONFIG_HOME/Tessel/tessel.ini"
"$build/tessel" -tray >"$work/tessel.log" 2>&1 &
pids+=($!)
tessel_port=$(free_port)
printf '[server]\r\nport=%s\r\n[settings]\r\ndefaultpagesize=25\r\n' "$tessel_port" \
  >"$work/tessel-server.ini"
"$build/webtessl" -config "$work/tessel-server.ini" </dev/null >"$work/tessel-server.log" &
pids+=($!)
wait_for "(exec 3<>/dev/tcp/127.0.0.1/$tessel_port) 2>/dev/null"
rare_url="http://127.0.0.1:$tessel_port/find?term=quetzal&format=json"
# Until tessel's first scan is done, its answers say "indexing" (or, before its window is up,
# the server answers 404).
for _ in $(seq 600); do
  rare=$(fetch "$rare_url" 2>/dev/null) && ! grep -q '"indexing"' <<<"$rare" && break
  sleep 0.5
done
grep -q '"count"' <<<"$rare" || { echo "tessel gave no answer: $rare" >&2; exit 1; }
rare_count=$(python3 -c "import json,sys; print(json.loads(sys.argv[1])['count'])" "$rare")
read -r trps1 tp50_1 tp99_1 < <(measure 1 "$rare_url")
read -r trps16 tp50_16 tp99_16 < <(measure 16 "$rare_url")
printf '%-28s %12s %12s %12s\n' "" "req/s" "median ms" "p99 ms"
printf '%-28s %12s %12s %12s\n' "tessel /find, 1 connection" "$trps1" "$tp50_1" "$tp99_1"
printf '%-28s %12s %12s %12s\n' "tessel /find, 16 connections" "$trps16" "$tp50_16" "$tp99_16"
echo "tessel over $entries entries, \"quetzal\" ($rare_count matches), goal: median under 1 ms at 1 connection"
echo "$(nproc) cores, load average $load before the run"
