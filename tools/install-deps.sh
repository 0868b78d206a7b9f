#!/usr/bin/env bash
# Installs what building, testing and running KelVaneD needs on Debian 12.
set -euo pipefail
packages=(g++ cmake make libwxgtk3.2-dev libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth openbox clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi
