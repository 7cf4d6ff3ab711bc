#!/usr/bin/env bash
# The file service against two static file servers, all serving the same web root on loopback
# ports, each logging its requests to a file (webtessl writes its trace to stdout, sent to a file):
#   requests per second on a 1 KiB and on a 100 KiB file, keep-alive, 1 and 50 connections (wrk);
#   throughput of one 1 GiB download (curl), through webtessl's "/download" and the peers' files.
# Prints the ratio webtessl/peer for nginx and lighttpd from the same run. Each figure is the best
# of REPEAT rounds, the servers taking turns, so that a burst of load on a shared machine hits
# every server alike and a disturbed round does not decide the figure.
# Usage: bench/file_service.sh [build folder]   (default: build; DURATION=5s per wrk run, REPEAT=3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
duration=${DURATION:-5s}
repeat=${REPEAT:-3}
max_threads=2

source "$root/bench/lib.sh"
install_missing nginx:nginx lighttpd:lighttpd wrk:wrk curl:curl
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
declare -A speed=([webtessl]=0 [nginx]=0 [lighttpd]=0)
for _ in $(seq "$repeat"); do
  for server in webtessl nginx lighttpd; do
    speed[$server]=$(larger "${speed[$server]}" "$(download_speed "${url[$server]}")")
  done
done
mib() { python3 -c "print(f'{$1 / 1048576:.0f}')"; }
printf '%-22s %12s %12s %12s %10s %10s\n' "MiB/s 1 GiB download" "$(mib "${speed[webtessl]}")" \
  "$(mib "${speed[nginx]}")" "$(mib "${speed[lighttpd]}")" \
  "$(ratio "${speed[webtessl]}" "${speed[nginx]}")" "$(ratio "${speed[webtessl]}" "${speed[lighttpd]}")"
echo "keep-alive, best of $repeat rounds of ${duration} per wrk run; $(nproc) cores, load average" \
  "$load before the run; log lines: webtessl $(wc -l <"$work/logs/webtessl.log")," \
  "nginx $(wc -l <"$work/logs/nginx-access.log"), lighttpd $(wc -l <"$work/logs/lighttpd-access.log")"
