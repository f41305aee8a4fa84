#!/usr/bin/env bash
# Builds Tessel and shows it at work: the stand-in launcher (minihost.exe) with Tessel.dll and a
# sample plug-in under Wine, in a demo folder under build/ with a sample settings file.
#   With a display: the host's window opens for you to use (add --tour to watch the tour there).
#   Without one:    a scripted tour on a virtual display, one line per step; exits 0 only when
#                   every step did what it should.
# The settings file in the demo folder is kept from one run to the next: the sample settings are
# written only when it is missing, and --reset puts them back, keeping the replaced file as a
# dated copy beside it (Tessel.ini.<yyyy-mm-dd_hhmmss>.kept, as Tessel names its own).
# The demo's Wine is its own: a host of another run still open there is left alone and this run
# stops (exit 3), as it does when a program left open there holds text that is not saved; other
# programs an earlier run left open are named and ended.
# Usage: tools/demo.sh [--tour] [--reset] [--dpi N]
#   --dpi N                      the display's scale in dots per inch: 96 is 100 % (the default),
#                                120 is 125 %, 144 is 150 %; each scale has a Wine prefix of its own
#   TESSEL_DEMO_FOLDER=<folder>  the demo folder (default build/demo)
#   TESSEL_DEMO_BUILD=<folder>   take the programs from this finished build instead of building
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

usage() {
    echo "usage: $0 [--tour] [--reset] [--dpi N]" >&2
    exit 2
}
tour=0
reset=0
dpi=96
while [ "$#" -gt 0 ]; do
    case "$1" in
        --tour) tour=1 ;;
        --reset) reset=1 ;;
        --dpi)
            [ "$#" -gt 1 ] && [[ "$2" =~ ^[1-9][0-9]{1,2}$ ]] || usage
            dpi=$2
            shift
            ;;
        *) usage ;;
    esac
    shift
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

# A prefix for each scale: a prefix keeps the scale it was set up with.
export WINEPREFIX="$demo/wineprefix"
if [ "$dpi" != 96 ]; then
    WINEPREFIX="$demo/wineprefix-${dpi}dpi"
fi
echo "Wine prefix:   $WINEPREFIX (display at $dpi DPI)"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

# The Windows programs running in the demo's Wine, "<process id> <name>.exe" a line: a Notepad
# that a hotkey of an earlier run opened, the host of a run still open. Wine's own services and
# this script's own questions to the host (--unsaved-text, --key-names) are left out.
open_programs() {
    local process arguments name
    for process in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        arguments=$(tr '\0' ' ' 2>/dev/null <"$process/cmdline") || continue
        name=$(tr '\0' '\n' 2>/dev/null <"$process/cmdline" | head -n 1) || continue
        case "${name,,}" in
            *.exe*) ;;
            *) continue ;;
        esac
        case "$arguments" in
            *--unsaved-text* | *--key-names*) continue ;;
        esac
        name=${name##*\\}
        name=${name%%.[Ee][Xx][Ee]*}
        case "${name,,}" in
            *[[:space:]/]* | '' | start | services | explorer | winedevice | plugplay | svchost | rpcss | conhost) ;;
            *) printf '%s %s.exe\n' "${process#/proc/}" "$name" ;;
        esac
    done
}

# The terminal a process writes to, when it writes to one.
terminal_of() {
    local target
    for target in 1 2 0; do
        target=$(readlink "/proc/$1/fd/$target" 2>/dev/null) || continue
        case "$target" in
            /dev/pts/* | /dev/tty*)
                printf ', terminal %s' "$target"
                return
                ;;
        esac
    done
}

# Before anything in the demo folder changes: a host still open there has its plug-ins and its
# settings file in use. Every later wait for Wine to finish would wait for what is open, without
# a word, so what an earlier run left is ended, but only when nothing of it is still in use.
still_open=$(open_programs)
hosts=$(grep ' minihost\.exe$' <<<"$still_open" || true)
if [ -n "$hosts" ]; then
    while read -r process _; do
        echo "The host of another demo run is still open in the demo's Wine: minihost.exe (process $process$(terminal_of "$process"))."
    done <<<"$hosts"
    echo "This run leaves it alone and stops. Close that host's window (it saves its settings then), or end"
    echo "that run in its own terminal, then start tools/demo.sh again."
    exit 3
fi
if [ -n "$still_open" ]; then
    echo "Still open in the demo's Wine from an earlier run: $(cut -d ' ' -f 2 <<<"$still_open" | sort -u | paste -sd ' ' -)."
    unsaved_status=0
    unsaved=$(wine "$build/minihost.exe" --unsaved-text 2>/dev/null | tr -d '\r') || unsaved_status=$?
    if [ -n "$unsaved" ] || [ "$unsaved_status" -ne 0 ]; then
        if [ "$unsaved_status" -ne 0 ]; then
            echo "Whether they hold text that is not saved could not be told."
        fi
        while IFS= read -r window; do
            [ -z "$window" ] || echo "Text not saved: $window"
        done <<<"$unsaved"
        echo "This run ends none of them and stops. Save what you want to keep and close them, then start"
        echo "tools/demo.sh again."
        exit 3
    fi
    echo "None of them holds text that is not saved: ending them, so that this run does not wait for them."
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
fi

mkdir -p "$demo"
rm -f "$demo"/*.bmp "$demo"/*.png "$demo/minihost.log"
cp "$build/minihost.exe" "$build/Tessel.dll" "$build/Sample.dll" "$demo/"
printf 'A small text file that a hotkey opens with Notepad.\r\n' >"$demo/memo.txt"

# A new demo prefix starts as a copy of the build's test prefix when the tests have set one up.
bash tools/wine-prefix-setup.sh --dpi "$dpi" --like "$build/wineprefix" "$WINEPREFIX"

# The path as the demo's Wine names it, as winepath -w does without the seconds of starting Wine:
# through the drive whose folder holds it most closely (Z: is the root).
windows_path() {
    local drive folder best_drive='' best_folder=''
    for drive in "$WINEPREFIX"/dosdevices/[a-z]:; do
        folder=$(realpath -m "$drive")
        folder=${folder%/}
        case "$1" in
            "$folder"/*)
                if [ -z "$best_drive" ] || [ "${#folder}" -gt "${#best_folder}" ]; then
                    best_drive=${drive##*/}
                    best_folder=$folder
                fi
                ;;
        esac
    done
    [ -n "$best_drive" ] || return 1
    local rest=${1#"$best_folder"}
    printf '%s%s\n' "${best_drive^^}" "${rest//\//\\}"
}

# Ctrl+Alt+K settings, Ctrl+Alt+S the sample plug-in's "Sample メモ" (one that the command picker
# offers), Ctrl+Alt+N Notepad with the memo, Ctrl+Alt+M the host's tool menu, Ctrl+Alt+T hotkeys off.
write_sample_settings() {
    local memo
    memo=$(windows_path "$demo/memo.txt" || winepath -w "$demo/memo.txt")
    printf '%s\r\n' \
        '[setting]' 'enable=1' '[hotkeys]' \
        'item0_key=1611' 'item0_command=Tessel.dll|1' 'item0_param=' \
        'item1_key=1619' 'item1_command=Sample.dll|2' 'item1_param=' \
        'item2_key=1614' 'item2_command=notepad.exe' "item2_param=$memo" \
        'item3_key=1613' 'item3_command=:toolmenu' 'item3_param=' \
        'item4_key=1620' 'item4_command=Tessel.dll|0' 'item4_param=' \
        >"$settings"
}

# A copy of the settings file beside it, named as Tessel names the copies it tells of (and never
# deletes): Tessel.ini.<yyyy-mm-dd_hhmmss>.kept, "-2" to "-9" before ".kept" for more copies
# within one second. Prints the copy's path.
keep_settings_copy() {
    local stamp copy same=1
    stamp=$(date +%Y-%m-%d_%H%M%S)
    copy="$settings.$stamp.kept"
    while [ -e "$copy" ]; do
        same=$((same + 1))
        [ "$same" -le 9 ] || return 1
        copy="$settings.$stamp-$same.kept"
    done
    cp -p "$settings" "$copy" || return 1
    printf '%s\n' "$copy"
}

kept=0
if [ "$reset" = 1 ] && [ -f "$settings" ]; then
    if ! copy=$(keep_settings_copy); then
        echo "--reset: no copy of $settings could be kept beside it; the settings are left as they are." >&2
        exit 1
    fi
    echo "--reset: the settings in $settings are kept as $copy"
    echo "(cp '$copy' '$settings' brings them back); writing the sample settings."
    write_sample_settings
elif [ "$reset" = 1 ]; then
    echo "--reset: no settings yet: writing the sample settings."
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
# its mark), UTF-8 or the system's code page; each key code with its name as the settings list
# writes it, "item0_key=1611 (Ctrl + Alt + K)".
print_settings() {
    local charset text code name line
    local -A key_names=()
    charset=$(locale charmap 2>/dev/null || echo UTF-8)
    text=$(decode_settings "$charset")
    while IFS=$'\t' read -r code name; do
        [ -z "$code" ] || key_names[$code]=$name
    done < <(grep -oE '^item[0-9]+_key=[0-9]+$' <<<"$text" | cut -d = -f 2 | sort -u |
        xargs -r wine minihost.exe --key-names 2>/dev/null | tr -d '\r' | iconv -f UTF-8 -t "$charset//TRANSLIT" || true)
    echo "Saved settings ($settings):"
    while IFS= read -r line; do
        if [[ "$line" =~ ^item[0-9]+_key=([0-9]+)$ ]] && [ -n "${key_names[${BASH_REMATCH[1]}]:-}" ]; then
            line+=" (${key_names[${BASH_REMATCH[1]}]})"
        fi
        printf '%s\n' "$line"
    done <<<"$text"
}

decode_settings() {
    local charset=$1
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

# Sets the X11 driver's Managed value; the host then starts a Wine server of its own, on its display.
x11_managed() {
    # Already so on the disk, where the server leaves the registry when it ends and where every
    # change below is waited for: no Wine has to start.
    if ! awk -v wanted="\"Managed\"=\"$1\"" '
        /^\[/ { inside = index($0, "[Software\\\\Wine\\\\X11 Driver]") == 1 }
        inside && $0 == wanted { found = 1 }
        END { exit !found }' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$1" /f >/dev/null 2>&1
    fi
    wineserver -w
}

cd "$demo"
if [ -n "${DISPLAY:-}" ] && [ "$tour" = 0 ]; then
    x11_managed Y
    echo "The stand-in launcher is open. Hotkeys: Ctrl+Alt+K settings, Ctrl+Alt+S sample command,"
    echo "Ctrl+Alt+N Notepad, Ctrl+Alt+M tool menu, Ctrl+Alt+T hotkeys off. Right-click its window (or"
    echo "press Shift+F10) for the menus (Tessel 有効 turns the hotkeys back on). Close it to save the"
    echo "settings."
    echo "Under Wine the hotkeys fire only while a Wine window has the focus (see the README). On a display"
    echo "without a window manager the windows have no frames."
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

for picture in settings_dialog item_editor command_picker minihost; do
    if [ -f "$picture.bmp" ]; then
        convert "$picture.bmp" "$picture.png" && rm -f "$picture.bmp"
        echo "picture: $demo/$picture.png"
    fi
done
echo
print_settings
# What the tour left running ends with it, once the key names are asked of its still running Wine.
wineserver -k 2>/dev/null || true
if [ "$status" -ne 0 ] && [ "$kept" = 1 ]; then
    echo
    echo "The tour presses the sample's hotkeys: if you changed them, tools/demo.sh --reset puts them back."
fi
exit "$status"
