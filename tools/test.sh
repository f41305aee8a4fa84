#!/usr/bin/env bash
# Builds Tessel.dll, the stand-in host and the tests, and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh

cmake --preset mingw
cmake --build --preset mingw

build="$root/build/mingw"
export WINEPREFIX="$build/wineprefix"
# One Wine server for the whole run; every test program then starts in well under a second.
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

cd "$build"
if [ -n "${DISPLAY:-}" ]; then
    ctest --output-on-failure "$@"
else
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure "$@"
fi
