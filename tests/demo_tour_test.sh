#!/usr/bin/env bash
# tools/demo.sh as a user runs it, with the tour on a virtual display. The first run, --reset over
# a settings file of the user's, keeps that file as a dated copy and writes the sample settings,
# and its Sample step shows in the host's window. A binding added to the settings file after it
# is still there after the last run. Between the runs a program stays open in the demo's Wine,
# as a Notepad of the first run would, and the settings file turns UTF-16, as Tessel writes it
# once a text needs it; while the host of another run is open there too, the demo leaves both
# alone and stops.
# Usage: tests/demo_tour_test.sh BUILD_DIR   (a finished build; the demo goes into a folder there)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export TESSEL_DEMO_BUILD
TESSEL_DEMO_BUILD=$(cd "$1" && pwd -P)
export TESSEL_DEMO_FOLDER="$TESSEL_DEMO_BUILD/demo-tour-test"
settings="$TESSEL_DEMO_FOLDER/Tessel.ini"
prefix="$TESSEL_DEMO_FOLDER/wineprefix"
unset DISPLAY

fail() {
    echo "FAILED: $1" >&2
    exit 1
}

run_demo() {
    local output status=0
    output=$(timeout 240 bash "$root/tools/demo.sh" "$@" 2>&1) || status=$?
    printf '%s\n' "$output" >&2
    [ "$status" -eq 0 ] || fail "the demo exited with $status"
    printf '%s\n' "$output"
}

mkdir -p "$TESSEL_DEMO_FOLDER"
rm -f "$settings" "$settings".*.kept
printf '[hotkeys]\r\nitem0_key=1605\r\nitem0_command=mine.exe\r\n' >"$settings"
cp "$settings" "$TESSEL_DEMO_FOLDER/mine.ini"
first=$(run_demo --reset)
grep -q "writing the sample settings" <<<"$first" || fail "the first run did not write the sample settings"
grep -q "Sample.dll|2 .*the host's window lists the command" <<<"$first" ||
    fail "the Sample step did not show in the host's window"
copies=("$settings".*.kept)
[ -f "${copies[0]}" ] && [ "${#copies[@]}" -eq 1 ] || fail "--reset kept no copy of the settings it replaced"
[[ "${copies[0]}" =~ \.[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6}\.kept$ ]] || fail "${copies[0]} is not named as Tessel names kept copies"
cmp -s "${copies[0]}" "$TESSEL_DEMO_FOLDER/mine.ini" || fail "${copies[0]} is not the file --reset replaced"
grep -qF "kept as ${copies[0]}" <<<"$first" || fail "--reset did not say where it kept the copy"

# A binding of the user's own, as the settings dialog stores it: Ctrl+Alt+E runs Sample.dll|7.
{
    printf '\xff\xfe'
    awk '{ print } /^\[hotkeys\]/ { printf "item5_key=1605\r\nitem5_command=Sample.dll|7\r\nitem5_param=kept\r\n" }' \
        "$settings" | iconv -f UTF-8 -t UTF-16LE
} >"$settings.new"
mv "$settings.new" "$settings"
cp "$settings" "$settings.before"

# A console program that waits for input which never comes; the demo has to end it once no
# host is open.
waiting="$TESSEL_DEMO_FOLDER/never-written"
rm -f "$waiting"
mkfifo "$waiting"
exec 3<>"$waiting"
WINEPREFIX="$prefix" WINEDEBUG=-all wine cmd.exe /c pause <&3 >/dev/null 2>&1 &
leftover=$!
# The host of another run, as the demo sees one: a process of its Wine named minihost.exe.
WINEPREFIX="$prefix" bash -c 'exec -a "C:\\other run\\minihost.exe" sleep 120' &
host=$!
cleanup() {
    kill "$leftover" "$host" 2>/dev/null || true
    exec 3>&-
    rm -f "$waiting" "$settings.before"
}
trap cleanup EXIT
# Whether the waiting program runs in the demo's Wine under its own name, as the demo looks for it.
waiting_program_runs() {
    local process
    for process in $(pgrep -f '\\cmd\.exe /c pause'); do
        tr '\0' '\n' <"/proc/$process/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && return 0
    done
    return 1
}
for _ in $(seq 100); do
    waiting_program_runs && break
    sleep 0.1
done

stopped_status=0
stopped=$(timeout 60 bash "$root/tools/demo.sh" 2>&1) || stopped_status=$?
printf '%s\n' "$stopped" >&2
[ "$stopped_status" -eq 3 ] || fail "with another run's host open the demo exited with $stopped_status"
grep -q "minihost.exe (process $host)" <<<"$stopped" || fail "the demo did not name the other run's host"
kill -0 "$host" 2>/dev/null && waiting_program_runs ||
    fail "the demo ended programs while another run's host was open"
cmp -s "$settings" "$settings.before" || fail "the demo changed the settings under another run's host"
kill "$host"
wait "$host" 2>/dev/null || true

second=$(run_demo)
grep -q "Still open in the demo's Wine from an earlier run: cmd.exe" <<<"$second" ||
    fail "the second run did not name the program still open"
grep -q "Keeping the settings" <<<"$second" || fail "the second run did not keep the settings"
grep -q "settings dialog opened with 6 bindings" <<<"$second" || fail "the second run did not load the added binding"
grep -qx 'item5_param=kept' <<<"$second" || fail "the printout of the saved settings is not decoded"
grep -qx 'item5_key=1605 (Ctrl + Alt + E)' <<<"$second" || fail "the printout does not name the keys"
saved=$(iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r')
grep -qx 'item5_command=Sample.dll|7' <<<"$saved" || fail "the added binding is gone from $settings"
grep -qx 'item5_param=kept' <<<"$saved" || fail "the added binding lost its parameter"
