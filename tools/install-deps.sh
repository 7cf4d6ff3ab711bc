#!/usr/bin/env bash
# Installs, from Debian's packages, whatever building and testing WebTessl needs and the machine
# lacks. Runs without questions, so that a fresh machine (or CI, as root) needs nothing else.
set -euo pipefail

packages=(cmake ninja-build ccache g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev chromium chromium-driver python3-selenium
          python3 procps g++-mingw-w64-x86-64-posix wine wine64
          dpkg-dev lintian systemd nsis)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
