#!/usr/bin/env bash
# Runs a command on a virtual X server of its own. Xvfb picks a free display and
# writes its number once it accepts connections, so parallel runs cannot collide.
set -euo pipefail
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
dir=$(mktemp -d)
xvfb=
trap '[ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }; rm -rf "$dir"' EXIT
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
xvfb=$!
read -r display <"$dir/display" || tarvex_fail "Xvfb did not start: $(cat "$dir/log")"
DISPLAY=:$display QT_QPA_PLATFORM=xcb "$@"
