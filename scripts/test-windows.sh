#!/usr/bin/env bash
# Builds the component for 64-bit Windows with MinGW-w64 in build-windows/,
# registers Calyra.dll with regsvr32 in a private Wine prefix, runs the
# Windows test programs under Wine (ctest), the script client and the script
# suite (tests/windows/scripts) with cscript and examples/client built
# against the installed package. Installs what the machine lacks first (Debian packages, and the
# SQLite amalgamation, pinned by version and checksum, into the build folder;
# it is never part of the tree). Exits non-zero on any failure.
#   scripts/test-windows.sh [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows

packages=(mingw-w64 mingw-w64-tools wine64 libwine-dev libgtest-dev cmake ninja-build)
source scripts/install-missing-packages.sh
install_missing_packages --no-install-recommends -- "${packages[@]}" >/dev/null

# SQLite has no MinGW package in Debian; better-sqlite3 ships the public
# domain amalgamation (deps/sqlite3/sqlite3.c, SQLite 3.50.4) in its tarball.
sqlite_package=better-sqlite3@12.4.1
sqlite_sha256=14398acbf00d1e8fe0a2753df7d4f15c13138e4b874f4e6e96791f65b4536d0d
deps=$build/_deps
if [[ ! -f $deps/sqlite3/sqlite3.c ]]; then
  mkdir -p "$deps/download"
  rm -f "$deps"/download/*.tgz
  (cd "$deps/download" && npm pack --silent "$sqlite_package" >/dev/null)
  tarball=$(ls "$deps"/download/*.tgz)
  echo "$sqlite_sha256  $tarball" | sha256sum --check --quiet
  rm -rf "$deps/sqlite3"
  mkdir -p "$deps/sqlite3"
  tar -xzf "$tarball" -C "$deps/sqlite3" --strip-components=3 \
    package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
fi

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"  # no Mono or Gecko installers in a headless prefix; a crash ends the program instead of waiting in the debugger
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
trap '"$wineserver" -k 2>/dev/null || true' EXIT

# The private prefix, made once per build folder. Its windows use Wine's
# null display driver, so trace receivers work without an X server.
if [[ ! -f $WINEPREFIX/.calyra-ready ]]; then
  "$wine" wineboot --init >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  "$wineserver" -w
  touch "$WINEPREFIX/.calyra-ready"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCALYRA_WERROR=ON -DCALYRA_DEBUG_LINES_ONLY=ON -DCALYRA_BUILD_BENCH=OFF -DCALYRA_SQLITE_AMALGAMATION="$deps/sqlite3" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

(cd "$build/bin" && "$wine" regsvr32 /s Calyra.dll)
echo "registered Calyra.dll"

ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 600

# Wine's cscript reports a script's failure only through its output and the
# exit code the script chooses; calyra.vbs quits with 1.
"$wine" cscript //nologo "$("$wine" winepath -w "$root/examples/script/calyra.vbs")"

# The script suite: every class by ProgID with the arguments VBScript and
# JScript really pass (numbers for text IDs, Booleans, numeric and date
# texts, Doubles); each script quits with its number of failures.
for script in "$root"/tests/windows/scripts/*.vbs "$root"/tests/windows/scripts/*.js; do
  "$wine" cscript //nologo "$("$wine" winepath -w "$script")"
done

# The package for Windows clients: examples/client built against the
# installed build with the same toolchain file, run under Wine (it registers
# the installed Calyra.dll itself).
rm -rf "$build/install" "$build/example"
cmake --install "$build" --prefix "$build/install" >/dev/null
cmake -S examples/client -B "$build/example" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_PREFIX_PATH="$build/install" >/dev/null
cmake --build "$build/example" >/dev/null
WINEPATH=$("$wine" winepath -w "$build/install/bin") \
  "$wine" "$build/example/calyra-example.exe" "$("$wine" winepath -w "$build/example/example.db")"

# Registered from the build folder again, so unregistering removes it.
(cd "$build/bin" && "$wine" regsvr32 /s Calyra.dll && "$wine" regsvr32 /s /u Calyra.dll)
echo "unregistered Calyra.dll"
echo "== Windows build: all passed"
