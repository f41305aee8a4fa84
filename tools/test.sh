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
# One Wine server for the whole run: it stays up between the test programs, so each starts in
# a fraction of a second; it is stopped when the run ends, however it ends.
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

cd "$build"
./wine-run.sh cmd.exe /c exit >/dev/null 2>&1 || true  # prepares the prefix on the first run
wineserver -p 2>/dev/null || true  # already up from the preparation: it then stays until the run ends
# Four at a time: most tests wait on windows, timers and other processes far more than they
# compute, and those that share a desktop take turns on it (tests/CMakeLists.txt).
ctest --output-on-failure --parallel 4 "$@"
