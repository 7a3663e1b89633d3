# Sourced by the gammu checks: starts tarvex-vmodem with a stable link in a
# temporary directory and writes a gammurc pointing at it.
set -euo pipefail

vmodem=$1
shift
work=$(mktemp -d)
vmodem_pid=
cleanup() {
    if [ -n "$vmodem_pid" ]; then
        kill "$vmodem_pid" 2>/dev/null || true
        wait "$vmodem_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# start_vmodem ARGS...: returns once the device exists (the path line is
# printed only after the link is in place).
start_vmodem() {
    mkfifo "$work/stdout"
    "$vmodem" --link "$work/modem" "$@" >"$work/stdout" 2>"$work/trace" &
    vmodem_pid=$!
    exec 3<"$work/stdout"
    local path
    read -r -t 10 path <&3 || { echo "vmodem printed no device path" >&2; exit 1; }
    [ -L "$work/modem" ] || { echo "no link to $path" >&2; exit 1; }
    printf '[gammu]\nconnection = at\ndevice = %s\n' "$work/modem" >"$work/gammurc"
}

fail() {
    echo "FAIL: $*" >&2
    echo "--- gammu said:" >&2
    cat "$work/gammu.out" >&2
    echo "--- vmodem trace:" >&2
    cat "$work/trace" >&2
    exit 1
}
