#!/usr/bin/env bash
# Prepares a Wine prefix (tests, pictures, demo) to draw the dialogs as the launcher's users'
# Windows does. Japanese Windows draws "Ms Shell Dlg" with its UI Gothic font, whose metric
# stand-in is IPAPGothic; Wine's own captions, menus and message boxes use the same face. "Ms Shell
# Dlg 2" is Tahoma there, with the Japanese linked in behind it, as behind the other Western UI
# faces, so no window shows empty boxes.
# Creates the prefix when it does not exist. A prefix that this same script has set up is left
# as it is; one set up by an earlier version of it is set up again.
# Usage: tools/wine-prefix-setup.sh [--null-display] [--dpi N] [--like OTHER] PREFIX
#   --null-display  Wine's null display driver: windows, dialogs and hotkeys work without any X
#                   display (and without the waits of an X server without a window manager).
#   --dpi N         the display's scale in dots per inch (LogPixels): 96 is 100 %, 144 is 150 %.
#   --like OTHER    a new prefix starts as a copy of OTHER when this same script has set that one
#                   up (whatever its display and scale): a copy takes a second or two, where
#                   Wine's own creation of a prefix takes a quarter of a minute.
set -euo pipefail

display=x11
dpi=96
like=
while [ "$#" -gt 1 ]; do
    case "$1" in
        --null-display) display=null; shift ;;
        --dpi) dpi=$2; shift 2 ;;
        --like) like=$2; shift 2 ;;
        *) break ;;
    esac
done
if [ "$#" -ne 1 ]; then
    echo "usage: $0 [--null-display] [--dpi N] [--like OTHER] PREFIX" >&2
    exit 2
fi

export WINEPREFIX
WINEPREFIX=$(realpath -m "$1")
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Written last, after the server has stored the registry: a set-up cut short is done again.
stamp="$WINEPREFIX/.tessel-prefix"
script_version=$(cksum <"${BASH_SOURCE[0]}" | cut -d ' ' -f 1)
version="$script_version $display $dpi"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
    exit 0
fi

gothic_family="IPAPGothic"
if ! fc-list : family | grep -q "$gothic_family"; then
    echo "$0: the font \"$gothic_family\" is missing (Debian package fonts-ipafont-gothic)" >&2
    exit 1
fi
gothic_file=$(basename "$(fc-match -f '%{file}' "$gothic_family")")
# This Wine finds its own fonts only among the prefix's: Tahoma, and Marlett for the caption buttons.
wine_fonts=(/usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf /usr/share/wine/fonts/marlett.ttf)
for font in "${wine_fonts[@]}"; do
    if [ ! -f "$font" ]; then
        echo "$0: $font is missing (Debian package fonts-wine)" >&2
        exit 1
    fi
done

# A Wine step that fails is tried again once the server has settled, and named when it still
# fails, rather than ending the set-up without a word.
wine_step() {
    local attempt
    for attempt in 1 2 3; do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        wineserver -w 2>/dev/null || true
    done
    echo "$0: failed in $WINEPREFIX: $*" >&2
    return 1
}

# A new prefix as a copy of the other one, fonts and all, when this same script set that one up:
# what Wine's creation of a prefix leaves, and the registry, which is on the disk, as the other's
# stamp is written only once its server has stored it. Its display is left in like_display.
like_display=
copy_like() {
    local other other_version other_display
    [ -n "$1" ] && [ ! -e "$WINEPREFIX" ] || return 1
    other=$(realpath -m "$1")
    [ "$other" != "$WINEPREFIX" ] || return 1
    # The redirection of errors first: a missing stamp is no error to show.
    read -r other_version other_display _ 2>/dev/null <"$other/.tessel-prefix" || return 1
    [ "$other_version" = "$script_version" ] || return 1
    mkdir -p "$WINEPREFIX"
    cp -a "$other/dosdevices" "$other/drive_c" "$other"/*.reg "$other/.update-timestamp" "$WINEPREFIX/" || return 1
    like_display=$other_display
}

if ! copy_like "$like"; then
    mkdir -p "$WINEPREFIX"
    wine_step wineboot --init
    cp -f "${wine_fonts[@]}" "$WINEPREFIX/drive_c/windows/Fonts/"

    substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    wine_step wine reg add "$substitutes" /v "MS Shell Dlg" /t REG_SZ /d "$gothic_family" /f
    wine_step wine reg add "$substitutes" /v "MS Shell Dlg 2" /t REG_SZ /d "Tahoma" /f

    links='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
    for face in "Tahoma" "Segoe UI" "Microsoft Sans Serif" "MS Sans Serif"; do
        wine_step wine reg add "$links" /v "$face" /t REG_MULTI_SZ /d "$gothic_file,$gothic_family" /f
    done
fi

wine_step wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f

if [ "$display" = null ]; then
    wine_step wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
elif [ "$like_display" = null ]; then
    wine_step wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f
fi
# Without a window manager (Xvfb) every managed window shown or hidden waits for one; unmanaged
# windows do not.
if [ "$display" = x11 ]; then
    wine_step wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
fi

# The registry reaches the disk only when the server has finished; a server ended otherwise
# leaves the set-up to be done again.
wineserver -w || true
if grep -qF "\"MS Shell Dlg\"=\"$gothic_family\"" "$WINEPREFIX/system.reg"; then
    printf '%s\n' "$version" >"$stamp"
fi
