#!/usr/bin/env bash
# Renders the settings dialog, the item editor and the command picker with real rows and keeps
# them as docs/settings_dialog.png, docs/item_editor.png and docs/command_picker.png.
# The dialogs run under Wine in the build folder's prefix, which draws them in the fonts of the
# launcher's users' Windows (tools/wine-prefix-setup.sh), on Wine's null display driver.
# Usage: tools/pictures.sh [BUILD_DIR]    (default: build/mingw, configured with its preset)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh

build=${1:-"$root/build/mingw"}
build=$(realpath -m "$build")
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset mingw
fi
cmake --build "$build" --target dialog_pictures

rm -rf "$build/pictures"
(cd "$build" && ./wine-run.sh ./dialog_pictures.exe)

mkdir -p "$root/docs"
for name in settings_dialog item_editor command_picker; do
    # Without the time chunks the same dialogs give the same bytes.
    convert "$build/pictures/$name.bmp" -strip -define png:exclude-chunks=date,time "$root/docs/$name.png"
    echo "docs/$name.png"
done
