#!/usr/bin/env bash
# COM ports in a fresh Wine prefix: COM1 reaches tarvex-vmodem's pseudo-terminal,
# COM2 leads nowhere, no port leads to the machine's own serial devices, and the
# wine server, which opens every file for its programs, never opens one of them.
#   tests/wine/com_ports.sh WORK_DIR TARVEX_VMODEM
# with TARVEX_MODEM_LINES set to tests/wine's preload library (as scripts/test-wine-e2e does).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
work=$1
vmodem=$2
lines=${TARVEX_MODEM_LINES:?the modem-lines library (tests/wine/modem_lines.cpp)}
[ -f "$lines" ] || tarvex_fail "no $lines"
mkdir -p "$work"
work=$(cd "$work" && pwd)

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    tarvex_wine_stop
}
trap cleanup EXIT

tarvex_wine_init "$work"
tarvex_start_vmodem "$vmodem" "$work" --trace --link "$work/modem" || tarvex_fail "tarvex-vmodem did not start"
pids+=("$TARVEX_VMODEM_PID")
[ -L "$work/modem" ] || tarvex_fail "tarvex-vmodem made no link"
tarvex_wine_map_com 1 "$work/modem" 2 "$work/no-such-port"

[ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$work/modem" ] || tarvex_fail "com1 is not the modem's link"
for link in "$WINEPREFIX"/dosdevices/com*; do
    target=$(readlink -f "$link" || true)
    while read -r device; do
        [ "$target" != "$device" ] || tarvex_fail "${link##*/} leads to $device"
    done < <(tarvex_wine_host_serial_devices)
done

# This prefix's server: other suites may run their own beside this one.
prefix_server() {
    local pid
    for pid in $(pgrep -f "^$TARVEX_WINESERVER"; pgrep wineserver64); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}
server=$(prefix_server) || tarvex_fail "no wine server for $WINEPREFIX"
strace -f -qq -e trace=open,openat,openat2,creat -o "$work/server.strace" -p "$server" &
tracer=$!
pids+=("$tracer")
traced() { ! grep -q '^TracerPid:[[:space:]]*0$' "/proc/$server/status"; }
tarvex_wine_wait_for 10 traced || tarvex_fail "strace did not attach to the wine server"
# cmd's exit status says nothing about its redirections: what arrived, and what the
# server opened, does.
LD_PRELOAD=$lines "$TARVEX_WINE" cmd /c "echo AT>COM1" >"$work/cmd.out" 2>&1 || true
LD_PRELOAD=$lines "$TARVEX_WINE" cmd /c "echo AT>COM2" >>"$work/cmd.out" 2>&1 || true
tarvex_wine_wait_for 10 grep -q '^vmodem << "AT\\r"' "$work/vmodem.err" ||
    tarvex_fail "the modem did not receive AT: $(cat "$work/vmodem.err")"
kill "$tracer"
wait "$tracer" 2>/dev/null || true

pty=$TARVEX_VMODEM_DEVICE
grep -q "\"$WINEPREFIX/dosdevices/com1\"" "$work/server.strace" ||
    tarvex_fail "the server's trace shows no open of COM1: strace did not see it, so it proves nothing"
! grep -q "dosdevices/com2\"" "$work/server.strace" || tarvex_fail "COM2 was opened"
[ ! -e "$work/no-such-port" ] || tarvex_fail "writing to COM2 made $work/no-such-port"
while read -r device; do
    ! grep -q "\"$device\"" "$work/server.strace" || tarvex_fail "$device was opened"
done < <(tarvex_wine_host_serial_devices)
grep -E '/dev/tty(S|USB|ACM)' "$work/server.strace" && tarvex_fail "a serial device was opened"
echo "COM1 -> $work/modem -> $pty received AT; COM2 not opened; no host serial device opened"
