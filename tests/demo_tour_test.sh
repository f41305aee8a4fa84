#!/usr/bin/env bash
# tools/demo.sh twice in a row, as a new user runs it, with the tour on a virtual display: the
# first run writes the sample settings, and its Sample step shows in the host's window; a
# binding added to the settings file between the runs is still there after the second.
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
    output=$(bash "$root/tools/demo.sh" 2>&1) || status=$?
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
awk '{ print } /^\[hotkeys\]/ { printf "item5_key=1605\r\nitem5_command=Sample.dll|7\r\nitem5_param=kept\r\n" }' \
    "$settings" >"$settings.new"
mv "$settings.new" "$settings"

second=$(run_demo)
grep -q "Keeping the settings" <<<"$second" || fail "the second run did not keep the settings"
grep -q "settings dialog opened with 6 bindings" <<<"$second" || fail "the second run did not load the added binding"
tr -d '\r' <"$settings" | grep -qx 'item5_command=Sample.dll|7' || fail "the added binding is gone from $settings"
tr -d '\r' <"$settings" | grep -qx 'item5_param=kept' || fail "the added binding lost its parameter"
