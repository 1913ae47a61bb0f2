#!/usr/bin/env bash
# Installs what a fresh machine lacks to build, test and benchmark Calyra
# (Debian packages). Does nothing when everything is present.
set -euo pipefail

packages=(cmake ninja-build ccache g++ clang clang-format libclang-rt-14-dev libsqlite3-dev sqlite3
          libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libfmt-dev libical-dev libicu-dev pkg-config libtomlplusplus-dev
          man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
