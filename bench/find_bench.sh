#!/usr/bin/env bash
# Searches through the whole server: wrk against "/find" on the webtessl program, keep-alive, at 1
# and at 16 connections, with the scripted test peer standing in for the desktop application and
# answering every query at once with 25 results (real files, so every result is completed from
# the file system). Beside it, measured in the same run, the bare IPC round trip of the same
# answer size between two processes (bench/ipc_roundtrip_bench). Goal: the median "/find" latency
# at 1 connection within 2 ms of the median round trip.
# Usage: bench/find_bench.sh [build folder]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-10s}
max_threads=2
results=25

source "$root/bench/lib.sh"
install_missing wrk:wrk

cmake --build "$build" --target webtessl tessel_test_peer ipc_roundtrip_bench >/dev/null
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
python3 - "$work/files" "$results" >"$work/answer.json" <<'PY'
import json, os, sys
folder, count = sys.argv[1], int(sys.argv[2])
names = []
for i in range(count):
    path = os.path.join(folder, f"report {i:02d}.txt")
    with open(path, "wb") as f:
        f.write(b"x" * (i * 997))
    names.append({"FileName": path})
print(json.dumps({"results": names, "count": 25000}), end="")
PY
answer_bytes=$(stat -c %s "$work/answer.json")

"$build/tests/tessel_test_peer" --answer-file "$work/answer.json" --lifetime-ms 3600000 \
  >"$work/peer.log" &
pids+=($!)
wait_for "grep -q '^ready' '$work/peer.log'"

port=$(free_port)
printf '[server]\r\nport=%s\r\n[settings]\r\ndefaultpagesize=25\r\n' "$port" >"$work/config.ini"
"$build/webtessl" -config "$work/config.ini" </dev/null >"$work/server.log" &
pids+=($!)
wait_for "(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null"

url="http://127.0.0.1:$port/find?term=report&format=json"
body=$(python3 -c "import urllib.request,sys; print(urllib.request.urlopen(sys.argv[1]).read().decode())" "$url")
if ! grep -q 'sizestr' <<<"$body"; then
  echo "the server did not answer the search: $body" >&2
  exit 1
fi

# wrk's latency text (e.g. 812.00us, 1.25ms, 1.01s) in milliseconds.
to_ms() { python3 -c "import re,sys; v,u=re.fullmatch(r'([\d.]+)(us|ms|s)',sys.argv[1]).groups(); print(f'{float(v)*{\"us\":0.001,\"ms\":1,\"s\":1000}[u]:.3f}')" "$1"; }

# Requests per second, median and 99th percentile (ms) of one wrk run.
measure() {
  local connections=$1 output
  local threads=$((connections < max_threads ? connections : max_threads))
  output=$(wrk -t "$threads" -c "$connections" -d "$duration" --latency "$url")
  local rps p50 p99
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$output")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$output")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$output")
  echo "$rps $(to_ms "$p50") $(to_ms "$p99")"
}

read -r rps1 p50_1 p99_1 < <(measure 1)
read -r rps16 p50_16 p99_16 < <(measure 16)
ipc=$(TMPDIR="$work" "$build/bench/ipc_roundtrip_bench" "$answer_bytes")
ipc_median_ms=$(awk '/^TCommunicator/ {for (i = 1; i <= NF; i++) if ($i == "median") {print $(i+1) / 1000; exit}}' <<<"$ipc")
ipc_p99_ms=$(awk '/^TCommunicator/ {for (i = 1; i <= NF; i++) if ($i == "p99") {print $(i+1) / 1000; exit}}' <<<"$ipc")

printf '%-28s %12s %12s %12s\n' "" "req/s" "median ms" "p99 ms"
printf '%-28s %12s %12s %12s\n' "/find, 1 connection" "$rps1" "$p50_1" "$p99_1"
printf '%-28s %12s %12s %12s\n' "/find, 16 connections" "$rps16" "$p50_16" "$p99_16"
printf '%-28s %12s %12.3f %12.3f\n' "IPC round trip (${answer_bytes} B)" "-" "$ipc_median_ms" "$ipc_p99_ms"
python3 -c "import sys; d=float(sys.argv[1])-float(sys.argv[2]); print(f'median /find minus IPC round trip at 1 connection: {d:.3f} ms (goal: within 2 ms)')" \
  "$p50_1" "$ipc_median_ms"
echo "$results results per answer, keep-alive, $duration per wrk run; trace lines written: $(wc -l <"$work/server.log")"
