#!/usr/bin/env bash
# Builds Tessel and shows it at work: the stand-in launcher (minihost.exe) with Tessel.dll and a
# sample plug-in under Wine, in a demo folder under build/ with a sample settings file.
#   With a display: the host's window opens for you to use (add --tour to watch the tour there).
#   Without one:    a scripted tour on a virtual display, one line per step; exits 0 only when
#                   every step did what it should.
# The settings file in the demo folder is kept from one run to the next: the sample settings are
# written only when it is missing, and --reset puts them back.
# Usage: tools/demo.sh [--tour] [--reset]
#   TESSEL_DEMO_FOLDER=<folder>  the demo folder (default build/demo)
#   TESSEL_DEMO_BUILD=<folder>   take the programs from this finished build instead of building
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tour=0
reset=0
for argument in "$@"; do
    case "$argument" in
        --tour) tour=1 ;;
        --reset) reset=1 ;;
        *)
            echo "usage: $0 [--tour] [--reset]" >&2
            exit 2
            ;;
    esac
done

bash tools/install-deps.sh

build=${TESSEL_DEMO_BUILD:-}
if [ -z "$build" ]; then
    build="$root/build/mingw"
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw --target Tessel sample_plugin minihost
fi

demo=$(realpath -m "${TESSEL_DEMO_FOLDER:-$root/build/demo}")
settings="$demo/Tessel.ini"
echo "Demo folder:   $demo"
echo "Settings file: $settings"
echo "Host log:      $demo/minihost.log"
mkdir -p "$demo"
rm -f "$demo"/*.bmp "$demo"/*.png "$demo/minihost.log"
cp "$build/minihost.exe" "$build/Tessel.dll" "$build/Sample.dll" "$demo/"
printf 'A small text file that a hotkey opens with Notepad.\r\n' >"$demo/memo.txt"

export WINEPREFIX="$demo/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

# The Windows programs running in the demo's Wine, such as a Notepad that a hotkey of an earlier
# run opened; Wine's own services are left out.
open_programs() {
    local process name
    for process in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        name=$(tr '\0' '\n' 2>/dev/null <"$process/cmdline" | head -n 1) || continue
        case "${name,,}" in
            *.exe*) ;;
            *) continue ;;
        esac
        name=${name##*\\}
        name=${name%%.[Ee][Xx][Ee]*}
        case "${name,,}" in
            *[[:space:]/]* | '' | start | services | explorer | winedevice | plugplay | svchost | rpcss | conhost) ;;
            *) printf '%s.exe\n' "$name" ;;
        esac
    done | sort -u | paste -sd ' ' -
}

# Every wait for Wine to finish would wait for them, without a word.
still_open=$(open_programs)
if [ -n "$still_open" ]; then
    echo "Still open in the demo's Wine from an earlier run: $still_open. Ending them, so that this run does not wait for them."
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
fi
# A new demo prefix starts as a copy of the build's test prefix when the tests have set one up.
bash tools/wine-prefix-setup.sh --like "$build/wineprefix" "$WINEPREFIX"

# Ctrl+Alt+K settings, Ctrl+Alt+S a sample plug-in command, Ctrl+Alt+N Notepad with the memo,
# Ctrl+Alt+M the host's tool menu, Ctrl+Alt+T hotkeys off.
write_sample_settings() {
    local memo
    memo=$(winepath -w "$demo/memo.txt")
    printf '%s\r\n' \
        '[setting]' 'enable=1' '[hotkeys]' \
        'item0_key=1611' 'item0_command=Tessel.dll|1' 'item0_param=' \
        'item1_key=1619' 'item1_command=Sample.dll|5' 'item1_param=' \
        'item2_key=1614' 'item2_command=notepad.exe' "item2_param=$memo" \
        'item3_key=1613' 'item3_command=:toolmenu' 'item3_param=' \
        'item4_key=1620' 'item4_command=Tessel.dll|0' 'item4_param=' \
        >"$settings"
}

kept=0
if [ "$reset" = 1 ]; then
    echo "--reset: the sample settings replace those in $settings."
    write_sample_settings
elif [ ! -f "$settings" ]; then
    echo "No settings yet: writing the sample settings."
    write_sample_settings
else
    kept=1
    echo "Keeping the settings of the last run (tools/demo.sh --reset puts the sample back)."
fi
echo

# The settings file as text in the terminal's encoding, whether Tessel wrote it in UTF-16 (with
# its mark), UTF-8 or the system's code page.
print_settings() {
    local charset
    charset=$(locale charmap 2>/dev/null || echo UTF-8)
    echo "Saved settings ($settings):"
    case "$(head -c 3 "$settings" | od -An -tx1 | tr -d ' \n')" in
        fffe*) iconv -f UTF-16 -t "$charset//TRANSLIT" "$settings" ;;
        efbbbf) tail -c +4 "$settings" | iconv -f UTF-8 -t "$charset//TRANSLIT" ;;
        *)
            if iconv -f UTF-8 -t UTF-8 "$settings" >/dev/null 2>&1; then
                iconv -f UTF-8 -t "$charset//TRANSLIT" "$settings"
            else
                cat "$settings"
            fi
            ;;
    esac | tr -d '\r' || true
}

x11_managed() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$1" /f >/dev/null 2>&1
    wineserver -w
}

cd "$demo"
if [ -n "${DISPLAY:-}" ] && [ "$tour" = 0 ]; then
    x11_managed Y
    echo "The stand-in launcher is open. Hotkeys: Ctrl+Alt+K settings, Ctrl+Alt+S sample command,"
    echo "Ctrl+Alt+N Notepad, Ctrl+Alt+M tool menu, Ctrl+Alt+T hotkeys off. Right-click its window (or"
    echo "press Shift+F10) for the menus (Tessel 有効 turns the hotkeys back on). Close it to save the"
    echo "settings."
    echo "Under Wine the hotkeys fire only while a Wine window has the focus (see the README)."
    wine minihost.exe Tessel.dll Sample.dll
    print_settings
    exit 0
fi

# Without a window manager every window shown or hidden waits for one; an unmanaged X11 driver
# does not.
x11_managed N
status=0
if [ -n "${DISPLAY:-}" ]; then
    wine minihost.exe --tour Tessel.dll Sample.dll || status=$?
else
    # xvfb-run's own farewell ("X connection ... broken") is no part of the tour.
    xvfb-run -a -s "-screen 0 1280x1024x24" wine minihost.exe --tour Tessel.dll Sample.dll \
        2> >(grep -v "^X connection to" >&2) || status=$?
fi
wineserver -k 2>/dev/null || true

for picture in settings_dialog item_editor command_picker minihost; do
    if [ -f "$picture.bmp" ]; then
        convert "$picture.bmp" "$picture.png" && rm -f "$picture.bmp"
        echo "picture: $demo/$picture.png"
    fi
done
echo
print_settings
if [ "$status" -ne 0 ] && [ "$kept" = 1 ]; then
    echo
    echo "The tour presses the sample's hotkeys: if you changed them, tools/demo.sh --reset puts them back."
fi
exit "$status"
