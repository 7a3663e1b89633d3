#!/usr/bin/env bash
# The layers as the build left them: no file includes a layer above its own
# (platform -> serial -> log -> modem -> ui -> app), and the dialogue's library
# refers to nothing of Qt's GUI.
#   check-layers.sh SOURCE_DIR DIALOGUE_LIBRARY
set -euo pipefail
src=$1/src library=$2
failures=0
above() { # folder, then the folders above it
    local folder=$1 hits
    shift
    local pattern
    pattern=$(printf '%s|' "$@")
    hits=$(grep -nE "#include \"(${pattern%|})/" "$src/$folder"/* || true)
    [ -z "$hits" ] || {
        echo "$folder includes a layer above it:"$'\n'"$hits"
        failures=$((failures + 1))
    }
}
above platform serial log modem ui app
above serial log modem ui app
above log modem ui app
above modem ui app
above ui app
gui=$(nm -C --undefined-only "$library" | grep -oE '\bQ(Widget|MessageBox|Application|GuiApplication|Palette|Pixmap|Icon)\b' |
    sort -u || true)
[ -z "$gui" ] || {
    echo "$(basename "$library") refers to Qt's GUI: $gui"
    failures=$((failures + 1))
}
[ "$failures" -eq 0 ] && echo "layers hold"
