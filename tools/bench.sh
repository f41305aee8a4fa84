#!/usr/bin/env bash
# Measures Tessel under Wine against the bare platform calls that do the same work: builds the
# benchmark (preset mingw) and the stripped release DLL (preset mingw-release), runs
# tessel_bench.exe on the release DLL, adds the DLL's size, prints the report and writes it to
# docs/performance.md. Takes about a minute on two cores.
#
# TESSEL_BENCH_BUILD=<folder> builds the benchmark there instead of build/mingw.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

source tools/install-deps.sh

build="${TESSEL_BENCH_BUILD:-$root/build/mingw}"
release="$root/build/mingw-release"
jobs="${TESSEL_JOBS:-2}"

cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" --target tessel_bench -j "$jobs"
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j "$jobs"

# The size floor: the least plug-in of the same kind, with the release build's compiler and options.
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$release"/CMakeFiles/*/CMakeCXXCompiler.cmake |
    head -n 1)
release_flags=$(sed -n 's/^CMAKE_CXX_FLAGS_MINSIZEREL:[A-Z]*=//p' "$release/CMakeCache.txt")
mkdir -p "$release/bench-floor"
bare="$release/bench-floor/Bare.dll"
# shellcheck disable=SC2086  # the flags are a list
"$compiler" -std=c++17 $release_flags -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -Wall -Wextra -Werror \
    -fno-exceptions -fno-rtti -I"$root" -shared -static -static-libgcc -static-libstdc++ -s \
    bench/bare_plugin.cpp -o "$bare" -luser32 -lkernel32

dll="$release/Tessel.dll"
objdump="${compiler%-g++*}-objdump"

export WINEPREFIX="$build/wineprefix"
# One Wine server for the run, stopped when the run ends, however it ends.
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
"$build/wine-run.sh" cmd.exe /c exit >/dev/null 2>&1 || true  # prepares the prefix on the first run
wineserver -p 2>/dev/null || true  # already up: it then stays until the run ends anyway

measured=$(mktemp)
trap 'stop_wine; rm -f "$measured"' EXIT
windows_dll="Z:${dll//\//\\}"
# The program writes its lines in text mode: Windows line ends, taken off here.
(cd "$build" && timeout 540 ./wine-run.sh ./tessel_bench.exe --dll "$windows_dll") | tr -d '\r' >"$measured"

size_of() { stat -c %s "$1"; }
tessel_size=$(size_of "$dll")
bare_size=$(size_of "$bare")
size_ratio=$(awk -v a="$tessel_size" -v b="$bare_size" 'BEGIN { printf "%.1f", a / b }')
size_row="| Release DLL size, stripped | - | $tessel_size B | $bare_size B | $size_ratio |"

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ' | sed 's/ $//'; }
sections() {
    local list="" index name size rest
    while read -r index name size rest; do
        [[ "$index" =~ ^[0-9]+$ ]] || continue
        list+="${list:+, }$name $((16#$size))"
    done < <("$objdump" -h "$1")
    printf '%s' "$list"
}
crt_imports() {
    "$objdump" -p "$1" | sed -n '/DLL Name: msvcrt.dll/,/^$/p' | awk 'NR > 2 && NF >= 3 { print $3 }' |
        tr '\n' ' ' | sed 's/ $//'
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cores=$(nproc)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
wine_version=$(wine --version 2>/dev/null)
today=$(date -u '+%Y-%m-%d %H:%M UTC')

report=$(cat <<EOF
# Performance

Measured by \`tools/bench.sh\` on $today: $cpu, $cores cores, $memory of memory, Debian
with $wine_version and its null display driver. The plug-in measured is the stripped release build
(\`build/mingw-release/Tessel.dll\`), loaded by the stand-in host inside \`tessel_bench.exe\`.

$(awk -v row="$size_row" 'NR > 1 && !done && /^$/ { print row; done = 1 } { print }' "$measured")

Sizes of the sections in bytes: Tessel.dll $(sections "$dll"); the floor $(sections "$bare").

Tessel.dll imports $(imports "$dll"); from msvcrt.dll only $(crt_imports "$dll").
The floor imports $(imports "$bare").

## How to read it

Each row sets what Tessel costs beside a floor measured in the same run: the same platform calls
done the least way. Init is \`TTBEvent_InitPluginInfo\` and \`TTBEvent_Init\` through the host's
loader (library load, settings read, every binding registered) against one
\`GetPrivateProfileSectionW\` of the same file and N bare \`RegisterHotKey\` calls; Unload is
\`TTBEvent_Unload\` and the library's release (hotkeys unregistered, the section and the flag
written) against N bare \`UnregisterHotKey\` calls, one \`WritePrivateProfileSectionW\` of the same
content and one \`WritePrivateProfileStringW\` of the flag. Tessel writes the file three times
there, the floor twice: before writing the section it deletes every [hotkeys] copy a hand edit
may have left, and under Wine each write rewrites the whole file; that is most of the distance
at 1,000 bindings. "Settings OK" runs from OK pressed in the settings dialog to the end of the
session (the dialog gone, the old table freed, the bindings and the flag saved, every hotkey
registered again) against the floor's list window of N rows destroyed, the same two writes and N
\`RegisterHotKey\` calls; of Tessel's part, the save is about a tenth, the rest is the same
closing of a dialog with N rows that the session did before it saved anything. The dialog runs from the host's request to
the moment its list view has handled its first \`WM_PAINT\` (all rows inserted, the visible ones
drawn), against a window whose list view gets N rows of fixed text in the same four columns, up
to that list view's first \`WM_PAINT\` in the same way.
A press runs from \`SendInput\` of the combination to the \`WM_HOTKEY\` handled, that is to the host
having recorded \`TTBPlugin_ExecuteCommand\` for the bound command of the other plug-in; its floor
is a message posted to a window of the same thread and dispatched, timed right after each press.
The heap figure is what each binding adds to the process heap (blocks in use, bookkeeping
included, without the fixed cost of a load with no bindings and without Wine's in-memory copy of
the settings file) against bare \`HeapAlloc\` blocks of the 1042-byte record. The size floor is
\`bench/bare_plugin.cpp\`, a plug-in with the same exports and build options that only registers
its keys and forwards each press; it has no dialogs and no resources. Times are medians over 9
rounds for up to 100 bindings, 5 for 1,000 and 3 for 10,000, after one round that is not counted;
press figures are over 1,000 presses. A ratio near 1 means Tessel adds little to what the platform
itself needs; at 10 bindings the fixed cost of loading a library and creating its window outweighs
everything else, so read the ratios at 1,000 and above. The press floor leaves out the input
system: the second table splits a press into Wine's road from \`SendInput\` to the \`WM_HOTKEY\`
taken from the queue and Tessel's own handling of it, and gives the same road to a bare window
holding the same registrations; that road grows with the number of registered hotkeys whoever
holds them. The save's floor itself grows much faster than linearly under Wine. The figures come
from a shared two-core machine and vary by some tens of percent between runs, the ratios less.
EOF
)

printf '%s\n' "$report"
printf '%s\n' "$report" >"$root/docs/performance.md"
echo "Written to docs/performance.md" >&2
