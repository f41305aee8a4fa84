#!/usr/bin/env bash
# Prepares a Wine prefix for the tests and the pictures of the dialogs. The dialogs ask for
# "Ms Shell Dlg", which Wine maps to Tahoma, and Tahoma has no kana or kanji: without the CJK
# font set up here the Japanese texts show as empty boxes. Creates the prefix when it does not
# exist; safe to run again.
# Usage: tools/wine-prefix-setup.sh PREFIX
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 PREFIX" >&2
    exit 2
fi

export WINEPREFIX
WINEPREFIX=$(realpath -m "$1")
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

cjk_family="Noto Sans CJK JP"
cjk_file="NotoSansCJK-Regular.ttc"
if ! fc-list : family | grep -q "$cjk_family"; then
    echo "$0: the font \"$cjk_family\" is missing (Debian package fonts-noto-cjk)" >&2
    exit 1
fi

mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1

substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add "$substitutes" /v "$face" /t REG_SZ /d "$cjk_family" /f >/dev/null 2>&1
done

# Message boxes, captions and menus draw with the system's own fonts; linking the CJK font
# behind them fills in the glyphs they lack.
links='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for face in "Tahoma" "Segoe UI" "Microsoft Sans Serif" "MS Sans Serif"; do
    wine reg add "$links" /v "$face" /t REG_MULTI_SZ /d "$cjk_file,$cjk_family" /f >/dev/null 2>&1
done

# The caption buttons draw with Marlett; this Wine finds it only among the prefix's fonts.
# Without it (package fonts-wine) the buttons show letters, and nothing else changes.
marlett=/usr/share/wine/fonts/marlett.ttf
if [ -f "$marlett" ]; then
    cp -f "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
fi

# The registry reaches the disk only when the server has finished.
wineserver -w
