#!/usr/bin/env bash
# Static checks of the product code (base/, plugin/, settings/, hotkeys/, ui/) and of the stand-in
# host and its sample plug-in (host/) as they are built for the mingw target: clang-tidy with the
# bugprone, cert and clang-analyzer checks (the bugprone ones alone for host/), and cppcheck.
# Any finding fails.
# A finding that is wrong for this code is suppressed where it occurs, with its reason:
# "// NOLINT(check): reason" for clang-tidy, "// cppcheck-suppress id ; reason" for cppcheck.
# Usage: tools/static-checks.sh [BUILD_DIR]   (a build with compile_commands.json; the mingw
# preset writes one)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw}" && pwd)
database="$build/compile_commands.json"
if [ ! -f "$database" ]; then
    echo "$0: $database is missing; configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
    exit 2
fi
for tool in clang-tidy cppcheck; do
    if ! command -v "$tool" >/dev/null; then
        echo "$0: $tool is missing (tools/install-deps.sh installs it)" >&2
        exit 2
    fi
done

cd "$root"
sources=(base/*.cpp plugin/*.cpp settings/*.cpp hotkeys/*.cpp ui/*.cpp)
host_sources=(host/*.cpp)

# clang does not know where the cross compiler keeps the C++ library and the Windows headers;
# the compiler names them.
compiler=x86_64-w64-mingw32-g++-posix
extra_args=(--extra-arg=--target=x86_64-w64-mingw32)
while read -r dir; do
    case "$dir" in
        */c++* | */x86_64-w64-mingw32/include) extra_args+=("--extra-arg=-isystem$(realpath "$dir")") ;;
    esac
done < <(echo | "$compiler" -v -E -x c++ - 2>&1 | sed -n '/#include <...> search starts here:/,/End of search list./p')

# Adjacent parameters of one type are the rule in this code, not a slip: every window and dialog
# procedure has the system's signature, and a binding is two texts. The DLL starts at its DllMain
# without the compiler's start-up code (cmake/platform.cmake), so nothing would run a static
# constructor or destructor: any such object is a finding. The host's programs have that code, but
# a plug-in's thread may call the host's services while the process exits, after the static
# objects are destroyed: the host's state is never destroyed either.
# The cert checks that are other names of bugprone checks would run each of those again (the
# reserved-identifier check three times, the costliest of all here).
checks='-*,bugprone-*,cert-*,clang-analyzer-*,-bugprone-easily-swappable-parameters'
for alias in dcl37-c dcl51-cpp con36-c con54-cpp str34-c sig30-c pos44-c exp42-c flp37-c; do
    checks+=",-cert-$alias"
done
checks+=',clang-diagnostic-global-constructors,clang-diagnostic-exit-time-destructors'
extra_args+=(--extra-arg=-Wglobal-constructors --extra-arg=-Wexit-time-destructors)
# The stand-in host is the tests' and the demo's, not the user's: its standard-library-heavy files
# take twice as long under the analyzer and the cert checks, which it goes without.
host_checks='-*,bugprone-*,-bugprone-easily-swappable-parameters,clang-diagnostic-global-constructors,clang-diagnostic-exit-time-destructors'
echo "clang-tidy ($checks) over ${#sources[@]} files; ($host_checks) over ${#host_sources[@]} files of host/"
status=0
tidy() {
    xargs -P 2 -I '{}' clang-tidy -p "$build" --quiet --checks="$1" --warnings-as-errors='*' \
        --header-filter="^$root/(base|plugin|settings|hotkeys|ui|res|host)/" "${extra_args[@]}" '{}' 2>/dev/null
}
printf '%s\n' "${sources[@]}" | tidy "$checks" || status=1
printf '%s\n' "${host_sources[@]}" | tidy "$host_checks" || status=1

echo "cppcheck over base/ plugin/ settings/ hotkeys/ ui/ host/"
cppcheck --quiet --error-exitcode=1 --inline-suppr --enable=warning,style,performance,portability \
    --std=c++17 --language=c++ --platform=win64 --library=windows \
    -DUNICODE -D_UNICODE -D_WIN64 -DWIN32_LEAN_AND_MEAN -I "$root" \
    --template='{file}:{line}: {severity}: {message} [{id}]' base plugin settings hotkeys ui host || status=1

# The rooms: memory and formatted text come from base/ alone, and the other rooms reach settings/
# through its one header.
echo "rooms: allocation and formatting in base/ alone; settings/ through settings/settings.h and handed its values; base/ and host/ on their own; hotkeys/ to ui/ one way"
outside_base=(plugin settings hotkeys ui)
if grep -rnE '\b(Heap|Global|Local)(Alloc|ReAlloc|Free)\b|\b(malloc|calloc|realloc)\(|\b(wsprintf|swprintf|_snwprintf|StringCch[A-Za-z]*Printf)' \
    "${outside_base[@]}"; then
    echo "allocate with AllocateBlock/AllocateGlobalBlock, format with FormatText (base/)" >&2
    status=1
fi
if grep -rn '#include "settings/' plugin hotkeys ui | grep -v '"settings/settings.h"'; then
    echo "outside settings/, include settings/settings.h alone" >&2
    status=1
fi

# base/ calls nothing of Tessel's, and the stand-in host sees Tessel only through its exports: it
# shares the host's binary records and the helpers' room, nothing else.
if grep -rn '#include "' base | grep -v '#include "base/'; then
    echo "base/ includes base/ alone" >&2
    status=1
fi
if grep -rn '#include "' host | grep -vE '#include "(host|base)/|#include "plugin/host_abi.h"'; then
    echo "host/ includes host/, base/ and plugin/host_abi.h alone" >&2
    status=1
fi

# The settings room is handed what it loads into and what it saves, and hands back what happened:
# of hotkeys/ it knows the table's records alone, never the window's or the program scope's state.
if grep -rn '#include "hotkeys/' settings | grep -v '"hotkeys/hotkey_table.h"' ||
    grep -rnw -e liveTable -e 'extern' settings | grep -v '^settings/load_state.h'; then
    echo "settings/ includes hotkeys/hotkey_table.h alone of hotkeys/ and reads none of its globals" >&2
    status=1
fi

# Calls between the hotkey window and the settings session go one way: the window runs the
# session (ui/settings_session.h); ui/ reads the table and the lists, never the window.
if grep -rn '#include "ui/' hotkeys | grep -v '"ui/settings_session.h"' || grep -rn '#include "hotkeys/hotkey_window.h"' ui; then
    echo "hotkeys/ includes ui/settings_session.h alone, and ui/ never hotkeys/hotkey_window.h" >&2
    status=1
fi

if [ "$status" -ne 0 ]; then
    echo "static checks: findings above" >&2
else
    echo "static checks: no findings"
fi
exit "$status"
