#!/usr/bin/env bash
# Installs what a fresh machine lacks to build, test and benchmark Calyra
# (Debian packages). Does nothing when everything is present.
set -euo pipefail

packages=(cmake ninja-build ccache g++ clang clang-format libclang-rt-14-dev libsqlite3-dev sqlite3
          libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libfmt-dev libical-dev libicu-dev pkg-config libtomlplusplus-dev
          man-db libcurl4-openssl-dev libexpat1-dev
          radicale xandikos vdirsyncer python3-caldav python3-dateutil)
source "$(dirname "$0")/install-missing-packages.sh"
install_missing_packages -- "${packages[@]}"
