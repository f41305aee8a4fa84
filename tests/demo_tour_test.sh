#!/usr/bin/env bash
# tools/demo.sh twice in a row, as a new user runs it, with the tour on a virtual display: the
# first run writes the sample settings, and its Sample step shows in the host's window; a
# binding added to the settings file between the runs is still there after the second. Between
# the runs a program stays open in the demo's Wine, as a Notepad of the first run would, and the
# settings file turns UTF-16, as Tessel writes it once a text needs it.
# Usage: tests/demo_tour_test.sh BUILD_DIR   (a finished build; the demo goes into a folder there)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export TESSEL_DEMO_BUILD
TESSEL_DEMO_BUILD=$(cd "$1" && pwd)
export TESSEL_DEMO_FOLDER="$TESSEL_DEMO_BUILD/demo-tour-test"
settings="$TESSEL_DEMO_FOLDER/Tessel.ini"
unset DISPLAY

fail() {
    echo "FAILED: $1" >&2
    exit 1
}

run_demo() {
    local output status=0
    output=$(timeout 240 bash "$root/tools/demo.sh" 2>&1) || status=$?
    printf '%s\n' "$output" >&2
    [ "$status" -eq 0 ] || fail "the demo exited with $status"
    printf '%s\n' "$output"
}

rm -f "$settings"
first=$(run_demo)
grep -q "writing the sample settings" <<<"$first" || fail "the first run did not write the sample settings"
grep -q "Sample.dll|5 .*the host's window lists the command" <<<"$first" ||
    fail "the Sample step did not show in the host's window"

# A binding of the user's own, as the settings dialog stores it: Ctrl+Alt+E runs Sample.dll|7.
{
    printf '\xff\xfe'
    awk '{ print } /^\[hotkeys\]/ { printf "item5_key=1605\r\nitem5_command=Sample.dll|7\r\nitem5_param=kept\r\n" }' \
        "$settings" | iconv -f UTF-8 -t UTF-16LE
} >"$settings.new"
mv "$settings.new" "$settings"

# A console program that waits for input which never comes; the demo has to end it.
waiting="$TESSEL_DEMO_FOLDER/never-written"
rm -f "$waiting"
mkfifo "$waiting"
exec 3<>"$waiting"
WINEPREFIX="$TESSEL_DEMO_FOLDER/wineprefix" WINEDEBUG=-all wine cmd.exe /c pause <&3 >/dev/null 2>&1 &
leftover=$!
cleanup() {
    kill "$leftover" 2>/dev/null || true
    exec 3>&-
    rm -f "$waiting"
}
trap cleanup EXIT
sleep 3

second=$(run_demo)
grep -q "Still open in the demo's Wine from an earlier run: cmd.exe" <<<"$second" ||
    fail "the second run did not name the program still open"
grep -q "Keeping the settings" <<<"$second" || fail "the second run did not keep the settings"
grep -q "settings dialog opened with 6 bindings" <<<"$second" || fail "the second run did not load the added binding"
grep -qx 'item5_param=kept' <<<"$second" || fail "the printout of the saved settings is not decoded"
saved=$(iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r')
grep -qx 'item5_command=Sample.dll|7' <<<"$saved" || fail "the added binding is gone from $settings"
grep -qx 'item5_param=kept' <<<"$saved" || fail "the added binding lost its parameter"
