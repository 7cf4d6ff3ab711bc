#!/usr/bin/env bash
# What one request costs the server in user space, counted rather than timed, so that two builds
# can be compared on a shared machine: the instructions the server's threads execute per request
# (valgrind's callgrind, which counts every instruction outside the kernel), for "/find" with the
# scripted peer answering 25 real files (as bench/find_bench.sh sets it up) and for a 1 KiB file.
# The server runs under callgrind; after WARMUP requests the counters are zeroed, REQUESTS more are
# sent one after the other on one keep-alive connection, and the counters are read.
# Usage: bench/request_cost.sh [build folder | webtessl program]   (default: build; WARMUP=20,
# REQUESTS=100)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-$root/build}
warmup=${WARMUP:-20}
requests=${REQUESTS:-100}
build=$root/build
program=$target
if [ -d "$target" ]; then
  build=$target
  program=$target/webtessl
  cmake --build "$build" --target webtessl tessel_test_peer >/dev/null
fi

source "$root/bench/lib.sh"
install_missing valgrind:valgrind
make_work_dir -p /dev/shm 2>/dev/null || make_work_dir

export WEBTESSL_DESKTOP="$work/desktop"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME" "$work/files" "$work/webroot"
head -c 1024 /dev/urandom >"$work/webroot/1k.bin"
scripted_answer "$work/files" 25 >"$work/answer.json"
"$build/tests/tessel_test_peer" --answer-file "$work/answer.json" --lifetime-ms 3600000 \
  --threads 4 --idle-inline 1 --quiet 1 >"$work/peer.log" &
pids+=($!)
for _ in $(seq 200); do grep -q '^ready' "$work/peer.log" && break; sleep 0.05; done

# The program beside the web root, as the server expects it.
cp "$program" "$work/webtessl"
port=$(free_port)
printf '[server]\r\nport=%s\r\n[settings]\r\ndefaultpagesize=25\r\n' "$port" >"$work/config.ini"
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$work/webtessl" \
  -config "$work/config.ini" </dev/null >"$work/server.log" 2>"$work/valgrind.log" &
server=$!
pids+=($server)
for _ in $(seq 600); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done

# Sends the requests one after the other on one connection; fails unless every answer is a 200.
ask() {
  python3 - "$port" "$1" "$2" <<'PY'
import socket, sys
port, path, count = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
s = socket.create_connection(("127.0.0.1", port))
for _ in range(count):
    s.sendall(b"GET " + path.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(65536)
    head, _, body = data.partition(b"\r\n\r\n")
    if not head.startswith(b"HTTP/1.1 200"):
        sys.exit("not answered: " + head.decode(errors="replace"))
    length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0].split(b":")[1])
    while len(body) < length:
        body += s.recv(65536)
PY
}

# Instructions per request of the path: the counters are zeroed after the warm-up and dumped after
# the measured requests (callgrind_control talks to the running server).
count() {
  ask "$1" "$warmup"
  callgrind_control -z "$server" >/dev/null 2>&1
  ask "$1" "$requests"
  rm -f "$work"/callgrind.out.*
  callgrind_control -d "$server" >/dev/null 2>&1
  for _ in $(seq 100); do ls "$work"/callgrind.out.* >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 0.5
  local total
  total=$(cat "$work"/callgrind.out.* | awk '/^totals:/ {s += $2} END {print s}')
  printf '%-46s %12d\n' "$1" $((total / requests))
}

printf '%-46s %12s\n' "request" "instructions"
count "/find?term=report&format=json"
count "/1k.bin"
echo "user-space instructions per request of $program (valgrind callgrind; $requests requests after $warmup)"
