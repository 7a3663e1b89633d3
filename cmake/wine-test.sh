#!/usr/bin/env bash
# wine-test.sh PREFIX PROGRAM.exe [ARGS...]: CTest's launcher for the Windows
# suites. Runs PROGRAM under wine64 in PREFIX, which scripts/test-windows has made
# and whose COM ports it has checked (refuses any other prefix), with the modem-lines
# library that scripts/test-windows names in TARVEX_MODEM_LINES preloaded.
set -euo pipefail
prefix=$1
shift
if [ ! -f "$prefix/tarvex-ports-checked" ]; then
    echo "wine-test.sh: $prefix is not a prefix checked by scripts/test-windows; run that." >&2
    exit 1
fi
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=${TARVEX_WINE:-/usr/lib/wine/wine64}
lines=${TARVEX_MODEM_LINES:-}
if [ ! -f "$lines" ]; then
    echo "wine-test.sh: no modem-lines library in TARVEX_MODEM_LINES; run scripts/test-windows." >&2
    exit 1
fi

# QtTest's plain output to a pipe or file is lost under Wine; a log file is not.
log=$(mktemp "${TMPDIR:-/tmp}/tarvex-wine-test.XXXXXX")
trap 'rm -f "$log"' EXIT
status=0
LD_PRELOAD=$lines "$wine" "$@" -o "$log,txt" || status=$?
cat "$log"
exit "$status"
