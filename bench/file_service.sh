#!/usr/bin/env bash
# The file service against two static file servers, all serving the same web root on loopback
# ports, each logging its requests to a file (webtessl writes its trace to stdout, sent to a file):
#   requests per second on a 1 KiB and on a 100 KiB file, keep-alive, 1 and 50 connections (wrk);
#   throughput of one 1 GiB download (curl), through webtessl's "/download" and the peers' files.
# Prints the ratio webtessl/peer for nginx and lighttpd from the same run. Each figure is the best
# of REPEAT rounds, the servers taking turns, so that a burst of load on a shared machine hits
# every server alike and a disturbed round does not decide the figure. One download takes half a
# second and moves by a quarter from one to the next, so the download has DOWNLOADS rounds and
# its median is printed beside the best.
# With PROFILE=1 it then shows where each server's processor time goes on the 1 KiB file at 50
# connections: user and system time, context switches and system calls per request (from /proc and
# `perf stat`), all of the server's processes and threads counted.
# Usage: bench/file_service.sh [build folder]   (default: build; DURATION=5s per wrk run, REPEAT=3,
# DOWNLOADS=9, PROFILE=0)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-5s}
repeat=${REPEAT:-3}
downloads=${DOWNLOADS:-9}
max_threads=2

source "$root/bench/lib.sh"
install_missing nginx:nginx lighttpd:lighttpd wrk:wrk curl:curl
if [ "${PROFILE:-0}" = 1 ]; then install_missing perf:linux-perf; fi
export PATH="$PATH:/usr/sbin"

cmake --build "$build" --target webtessl >/dev/null
make_work_dir
chmod 755 "$work"  # nginx's workers drop to an unprivileged user and must read the web root

# The web root, beside a copy of the program as the server expects it. The large file is sparse,
# so it costs no disk and every server reads the same zeros from the page cache.
mkdir -p "$work/webroot" "$work/logs"
cp "$build/webtessl" "$work/webtessl"
head -c 1024 /dev/urandom >"$work/webroot/1k.bin"
head -c 102400 /dev/urandom >"$work/webroot/100k.bin"
truncate -s 1G "$work/webroot/1g.bin"
cat "$work/webroot/1g.bin" >/dev/null

webtessl_port=$(free_port)
nginx_port=$(free_port)
lighttpd_port=$(free_port)

printf '[server]\nport=%s\n[settings]\nenabledownload=1\ndirs=%s\n' "$webtessl_port" "$work/webroot" \
  >"$work/config.ini"
"$work/webtessl" -config "$work/config.ini" </dev/null >"$work/logs/webtessl.log" 2>&1 &
pids+=($!)
declare -A server_pid=([webtessl]=$!)

cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/nginx-error.log;
daemon off;
events { worker_connections 1024; }
http {
  access_log $work/logs/nginx-access.log;
  client_body_temp_path $work/nginx-body;
  proxy_temp_path $work/nginx-proxy;
  fastcgi_temp_path $work/nginx-fastcgi;
  uwsgi_temp_path $work/nginx-uwsgi;
  scgi_temp_path $work/nginx-scgi;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/webroot;
  }
}
CONF
nginx -c "$work/nginx.conf" -e "$work/logs/nginx-error.log" &
pids+=($!)
server_pid[nginx]=$!

cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/webroot"
server.bind = "127.0.0.1"
server.port = $lighttpd_port
server.errorlog = "$work/logs/lighttpd-error.log"
server.modules = ("mod_accesslog")
accesslog.filename = "$work/logs/lighttpd-access.log"
server.max-keep-alive-requests = 1000000
server.network-backend = "sendfile"
CONF
lighttpd -D -f "$work/lighttpd.conf" &
pids+=($!)
server_pid[lighttpd]=$!

wait_listening "$webtessl_port"
wait_listening "$nginx_port"
wait_listening "$lighttpd_port"
# A served web root is not being written: the files rest a moment before the first request, as
# they would have on a real site (webtessl keeps a small file's bytes only once it has rested).
sleep 2
load=$(cut -d' ' -f1 /proc/loadavg)

# Requests per second of one wrk run; every answer must be a success.
rps() {
  local server=$1 url=$2 connections=$3 output
  local threads=$((connections < max_threads ? connections : max_threads))
  output=$(wrk -t "$threads" -c "$connections" -d "$duration" "$url")
  if grep -q "Non-2xx" <<<"$output"; then
    echo "failed answers from $server at $url: $output" >&2
    exit 1
  fi
  awk '/^Requests\/sec:/ {print $2}' <<<"$output"
}

# Bytes per second of one download, checked for its full length.
download_speed() {
  local result
  result=$(curl -s -o /dev/null -w '%{size_download} %{speed_download}' "$1")
  [ "${result%% *}" = "1073741824" ] || { echo "incomplete download from $1: $result" >&2; exit 1; }
  echo "${result##* }"
}

ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
larger() { python3 -c "print(max($1, $2))"; }

declare -A base=([webtessl]="http://127.0.0.1:$webtessl_port" [nginx]="http://127.0.0.1:$nginx_port"
                 [lighttpd]="http://127.0.0.1:$lighttpd_port")

printf '%-22s %12s %12s %12s %10s %10s\n' measure webtessl nginx lighttpd w/nginx w/lighttpd
for file in 1k.bin 100k.bin; do
  for connections in 1 50; do
    declare -A result=([webtessl]=0 [nginx]=0 [lighttpd]=0)
    for _ in $(seq "$repeat"); do
      for server in webtessl nginx lighttpd; do
        result[$server]=$(larger "${result[$server]}" \
          "$(rps "$server" "${base[$server]}/$file" "$connections")")
      done
    done
    printf '%-22s %12s %12s %12s %10s %10s\n' "req/s $file c=$connections" "${result[webtessl]}" \
      "${result[nginx]}" "${result[lighttpd]}" "$(ratio "${result[webtessl]}" "${result[nginx]}")" \
      "$(ratio "${result[webtessl]}" "${result[lighttpd]}")"
  done
done

declare -A url=([webtessl]="${base[webtessl]}/download?file=$work/webroot/1g.bin"
                [nginx]="${base[nginx]}/1g.bin" [lighttpd]="${base[lighttpd]}/1g.bin")
declare -A speeds=([webtessl]="" [nginx]="" [lighttpd]="")
for _ in $(seq "$downloads"); do
  for server in webtessl nginx lighttpd; do
    speeds[$server]+=" $(download_speed "${url[$server]}")"
  done
done
# The best or the median of the speeds, in MiB/s.
mib_of() { python3 -c "import statistics, sys; print(round($1(map(float, sys.argv[2:])) / 1048576))" \
  "$1" ${speeds[$2]}; }
for statistic in max statistics.median; do
  declare -A speed=([webtessl]=$(mib_of $statistic webtessl) [nginx]=$(mib_of $statistic nginx)
                    [lighttpd]=$(mib_of $statistic lighttpd))
  printf '%-22s %12s %12s %12s %10s %10s\n' "MiB/s 1 GiB, ${statistic#statistics.}" \
    "${speed[webtessl]}" "${speed[nginx]}" "${speed[lighttpd]}" \
    "$(ratio "${speed[webtessl]}" "${speed[nginx]}")" "$(ratio "${speed[webtessl]}" "${speed[lighttpd]}")"
done
echo "keep-alive, best of $repeat rounds of ${duration} per wrk run, $downloads downloads;" \
  "$(nproc) cores, load average" \
  "$load before the run; log lines: webtessl $(wc -l <"$work/logs/webtessl.log")," \
  "nginx $(wc -l <"$work/logs/nginx-access.log"), lighttpd $(wc -l <"$work/logs/lighttpd-access.log")"

[ "${PROFILE:-0}" = 1 ] || exit 0

# The server's process and its children (nginx's workers), comma-separated.
process_tree() { { echo "$1"; pgrep -P "$1" || true; } | paste -sd,; }
# User and system clock ticks of the processes, all their threads (ended ones too) counted.
cpu_ticks() {
  local pid total_user=0 total_system=0 fields
  for pid in ${1//,/ }; do
    fields=$(sed 's/.*) //' "/proc/$pid/stat")
    total_user=$((total_user + $(cut -d' ' -f12 <<<"$fields")))
    total_system=$((total_system + $(cut -d' ' -f13 <<<"$fields")))
  done
  echo "$total_user $total_system"
}

echo
echo "where the processor time goes, 1 KiB file, 50 connections (per request; one run of $duration):"
printf '%-10s %10s %10s %10s %10s %10s\n' server req/s "user us" "system us" switches syscalls
ticks_per_second=$(getconf CLK_TCK)
for server in webtessl nginx lighttpd; do
  tree=$(process_tree "${server_pid[$server]}")
  read -r user_before system_before < <(cpu_ticks "$tree")
  requests=$(rps "$server" "${base[$server]}/1k.bin" 50)
  read -r user_after system_after < <(cpu_ticks "$tree")
  # Counting has a cost of its own (a trace point at every system call): a second run, whose
  # counts are divided by its own requests.
  perf stat -x, -e context-switches,raw_syscalls:sys_enter -p "$tree" -o "$work/perf.txt" &
  perf_pid=$!
  sleep 0.5
  counted=$(rps "$server" "${base[$server]}/1k.bin" 50)
  kill -INT "$perf_pid"
  wait "$perf_pid" || true
  python3 - "$server" "$requests" "$counted" "${duration%s}" "$ticks_per_second" "$work/perf.txt" \
    "$((user_after - user_before))" "$((system_after - system_before))" <<'PY'
import sys
server, perf = sys.argv[1], sys.argv[6]
rate, counted, seconds, hz = float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
user, system = int(sys.argv[7]) / hz, int(sys.argv[8]) / hz
counts = {}
for line in open(perf):
    fields = line.split(",")
    if len(fields) > 2 and fields[0].replace(".", "").isdigit():
        counts[fields[2]] = float(fields[0])
requests = rate * seconds
print(f"{server:<10} {rate:10.0f} {user / requests * 1e6:10.1f} {system / requests * 1e6:10.1f} "
      f"{counts.get('context-switches', 0) / (counted * seconds):10.2f} "
      f"{counts.get('raw_syscalls:sys_enter', 0) / (counted * seconds):10.2f}")
PY
done
echo "time from /proc (every thread, over one wrk run); switches and system calls counted by"
echo "perf stat over a second run (each divided by its own requests: counting slows a server)"
