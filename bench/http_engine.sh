#!/usr/bin/env bash
# Throughput and latency of the HTTP engine: wrk against a 1 KiB fixed answer with keep-alive, at
# 1 and at 50 connections, the server's trace going to a file. The peer, measured in the same run
# on the same 1 KiB body, is Python's threading HTTP server speaking HTTP/1.1 without Nagle's delay.
# Usage: bench/http_engine.sh [build folder]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-10s}
max_threads=2

source "$root/bench/lib.sh"
install_missing wrk:wrk

cmake --build "$build" --target http_fixed_bench >/dev/null
make_work_dir

engine_port=$(free_port)
"$build/bench/http_fixed_bench" "$engine_port" >"$work/engine.log" &
pids+=($!)

peer_port=$(free_port)
head -c 1024 /dev/zero | tr '\0' x >"$work/fixed.txt"
cat >"$work/peer.py" <<PY
import functools, http.server
class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # so that the peer, too, never waits for a delayed ack
    def log_message(self, *args): pass
http.server.ThreadingHTTPServer(("127.0.0.1", $peer_port),
    functools.partial(Handler, directory="$work")).serve_forever()
PY
python3 "$work/peer.py" 2>"$work/peer.log" &
pids+=($!)
wait_listening "$engine_port"
wait_listening "$peer_port"

# Requests per second and the 99th percentile latency of one wrk run, as "rps p99".
measure() {
  local url=$1 connections=$2 output
  local threads=$((connections < max_threads ? connections : max_threads))
  output=$(wrk -t "$threads" -c "$connections" -d "$duration" --latency "$url")
  local rps p99
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$output")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$output")
  echo "$rps $p99"
}

printf '%-12s %-12s %12s %10s %12s %10s %8s\n' connections body webtessl p99 python3 p99 ratio
for connections in 1 50; do
  read -r engine_rps engine_p99 < <(measure "http://127.0.0.1:$engine_port/fixed.txt" "$connections")
  read -r peer_rps peer_p99 < <(measure "http://127.0.0.1:$peer_port/fixed.txt" "$connections")
  ratio=$(python3 -c "print(f'{$engine_rps / $peer_rps:.2f}')")
  printf '%-12s %-12s %12s %10s %12s %10s %8s\n' "$connections" "1 KiB" "$engine_rps" "$engine_p99" \
    "$peer_rps" "$peer_p99" "${ratio}x"
done
echo "requests per second and p99 latency, keep-alive, ${duration} per run; trace lines written: $(wc -l <"$work/engine.log")"
