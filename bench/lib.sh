# Set-up shared by the benchmark scripts: sourced by them, not run on its own.

# Installs the Debian packages of the tools that are missing; each argument is "tool:package".
install_missing() {
  local missing=() tool
  for tool in "$@"; do
    command -v "${tool%%:*}" >/dev/null || [ -x "/usr/sbin/${tool%%:*}" ] || missing+=("${tool##*:}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# Makes the run's folder in $work (mktemp options pass through); at exit, every process whose id
# is in $pids is ended and the folder removed.
pids=()
make_work_dir() {
  work=$(mktemp -d "$@") || return 1
  trap cleanup_work EXIT
}
cleanup_work() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}

# A loopback port that nothing listens on at the moment.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits up to 5 seconds until something listens on the loopback port.
wait_listening() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# The scripted peer's answer for "/find": writes COUNT real files of various sizes into FOLDER and
# prints a JSON answer naming them, with a total count.
scripted_answer() {
  python3 - "$1" "$2" <<'PY'
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
}
