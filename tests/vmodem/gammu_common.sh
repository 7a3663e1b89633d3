# shellcheck shell=bash
# Sourced by the gammu checks: starts tarvex-vmodem with a stable link in a
# temporary directory and writes a gammurc pointing at it.
set -euo pipefail
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"

vmodem=$1
shift
work=$(mktemp -d)
cleanup() {
    if [ -n "${TARVEX_VMODEM_PID:-}" ]; then
        kill "$TARVEX_VMODEM_PID" 2>/dev/null || true
        wait "$TARVEX_VMODEM_PID" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# start_vmodem ARGS...: returns once the device and its link exist.
start_vmodem() {
    tarvex_start_vmodem "$vmodem" "$work" --link "$work/modem" "$@" || exit 1
    [ -L "$work/modem" ] || { echo "no link to $TARVEX_VMODEM_DEVICE" >&2; exit 1; }
    printf '[gammu]\nconnection = at\ndevice = %s\n' "$work/modem" >"$work/gammurc"
}

fail() {
    echo "FAIL: $*" >&2
    echo "--- gammu said:" >&2
    cat "$work/gammu.out" >&2
    echo "--- vmodem trace:" >&2
    cat "$work/vmodem.err" >&2
    exit 1
}
