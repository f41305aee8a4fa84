#!/usr/bin/env bash
# Measures Tessel under Wine against the bare platform calls that do the same work: builds the
# benchmark (preset mingw) and the stripped release DLL (preset mingw-release), runs
# tessel_bench.exe on the release DLL beside the floor plug-in (bench/bare_plugin.cpp, built with
# the release options), adds the DLL's size, prints the measured part of docs/performance.md and
# writes it there between its two markers; the rest of the document is kept. One pass takes a few
# minutes on two cores.
#
#     tools/bench.sh [--repeat K] [--counts 10,100,1000,5000] [--dll <other Tessel.dll>]
#
# --repeat K: Tessel and its floors take turns K times over and the medians of all passes are
#     reported; on a shared machine K = 5 keeps one noisy stretch from deciding a ratio.
# --dll: measures another build of Tessel.dll (an older one, say) and only prints the result.
# TESSEL_BENCH_BUILD=<folder> builds the benchmark there instead of build/mingw.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

repeat=1
counts=""
other_dll=""
while [ $# -gt 0 ]; do
    case "$1" in
    --repeat) repeat="$2"; shift 2 ;;
    --counts) counts="$2"; shift 2 ;;
    --dll) other_dll=$(realpath "$2"); shift 2 ;;
    *) echo "usage: $0 [--repeat K] [--counts LIST] [--dll PATH]" >&2; exit 2 ;;
    esac
done

source tools/install-deps.sh

build="${TESSEL_BENCH_BUILD:-$root/build/mingw}"
release="$root/build/mingw-release"
jobs="${TESSEL_JOBS:-2}"

cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" --target tessel_bench -j "$jobs" >&2  # stdout carries only the report
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j "$jobs" >&2

# The size floor: the least plug-in of the same kind, with the release build's compiler and options.
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$release"/CMakeFiles/*/CMakeCXXCompiler.cmake |
    head -n 1)
release_flags=$(sed -n 's/^CMAKE_CXX_FLAGS_MINSIZEREL:[A-Z]*=//p' "$release/CMakeCache.txt")
mkdir -p "$release/bench-floor"
bare="$release/bench-floor/Bare.dll"
# shellcheck disable=SC2086  # the flags are a list
"$compiler" -std=c++17 $release_flags -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -Wall -Wextra -Werror \
    -fno-exceptions -fno-rtti -I"$root" -shared -static -static-libgcc -static-libstdc++ -nostartfiles \
    -Wl,--entry=DllMain -Wl,--gc-sections -Wl,--disable-auto-import -s \
    bench/bare_plugin.cpp bench/floor_save.cpp -o "$bare" -luser32 -lkernel32

dll="${other_dll:-$release/Tessel.dll}"
objdump="${compiler%-g++*}-objdump"

export WINEPREFIX="$build/wineprefix"
# One Wine server for the run, stopped when the run ends, however it ends.
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
"$build/wine-run.sh" cmd.exe /c exit >/dev/null 2>&1 || true  # prepares the prefix on the first run
wineserver -p 2>/dev/null || true  # already up: it then stays until the run ends anyway

measured=$(mktemp)
trap 'stop_wine; rm -f "$measured"' EXIT
windows_path() { local path="Z:$1"; printf '%s' "${path//\//\\}"; }
arguments=(--dll "$(windows_path "$dll")" --floor-dll "$(windows_path "$bare")" --repeat "$repeat")
if [ -n "$counts" ]; then
    arguments+=(--counts "$counts")
fi
# The program writes its lines in text mode: Windows line ends, taken off here.
(cd "$build" && timeout $((900 * repeat)) ./wine-run.sh ./tessel_bench.exe "${arguments[@]}") | tr -d '\r' >"$measured"

size_of() { stat -c %s "$1"; }
tessel_size=$(size_of "$dll")
bare_size=$(size_of "$bare")
size_ratio=$(awk -v a="$tessel_size" -v b="$bare_size" 'BEGIN { printf "%.1f", a / b }')
size_row="| Release DLL size, stripped | - | $tessel_size B | $bare_size B | +$((tessel_size - bare_size)) B | $size_ratio |"

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

begin_marker="<!-- tools/bench.sh writes from here -->"
end_marker="<!-- tools/bench.sh writes up to here -->"
report=$(cat <<EOF
$begin_marker
Measured by \`tools/bench.sh --repeat $repeat\` on $today: $cpu, $cores cores, $memory of memory,
Debian with $wine_version and its null display driver. The plug-in measured is the stripped
release build (\`${dll#"$root"/}\`), loaded by the stand-in host inside \`tessel_bench.exe\`.

$(awk -v row="$size_row" 'NR > 1 && !done && /^$/ { print row; done = 1 } { print }' "$measured")

Sizes of the sections in bytes: Tessel.dll $(sections "$dll"); the floor $(sections "$bare").

Tessel.dll imports $(imports "$dll"); from msvcrt.dll only $(crt_imports "$dll").
The floor imports $(imports "$bare").
$end_marker
EOF
)

printf '%s\n' "$report"
if [ -n "$other_dll" ]; then
    exit 0
fi
document="$root/docs/performance.md"
if grep -qF "$begin_marker" "$document" && grep -qF "$end_marker" "$document"; then
    # Through the environment: awk would read backslashes in a -v value as escapes.
    REPORT="$report" awk -v begin="$begin_marker" -v end="$end_marker" '
        $0 == begin { print ENVIRON["REPORT"]; skipping = 1; next }
        $0 == end { skipping = 0; next }
        !skipping { print }' "$document" >"$document.new"
    mv "$document.new" "$document"
    echo "Written to docs/performance.md" >&2
else
    echo "docs/performance.md has no markers; the report above was not written" >&2
fi
