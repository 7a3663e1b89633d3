# shellcheck shell=bash
# Sourced by the checks of tarvex --status under the monitoring engines Debian
# ships: the two programs under test, a temporary folder, virtual modems started
# in it, and every process the check started stopped again when it ends, however
# it ends. Nothing listens beyond loopback.
#   check.sh TARVEX VMODEM
set -euo pipefail
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"

[ $# -eq 2 ] || tarvex_fail "usage: ${0##*/} TARVEX VMODEM"
# shellcheck disable=SC2034 # for the caller
tarvex=$1
vmodem=$2
work=$(mktemp -d)
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# An engine the packages did not bring is a failure, never a skip: the proof is
# that a real engine reads what Tarvex wrote.
require() {
    command -v "$1" >/dev/null ||
        tarvex_fail "no $1: install the Debian package $2 (scripts/debian-packages lists it)"
}

# fail MESSAGE [FILE...]: says MESSAGE and shows each FILE, the evidence.
fail() {
    local file
    echo "${0##*/}: $1" >&2
    shift
    for file in "$@"; do
        echo "--- $file:" >&2
        cat "$file" >&2 2>/dev/null || echo "(none)" >&2
    done
    exit 1
}

# start_vmodem NAME ARGS...: a virtual modem with its trace in $work/NAME and a
# stable link to its terminal, $work/NAME/modem, for Tarvex to open.
start_vmodem() {
    local name=$1
    shift
    tarvex_start_vmodem "$vmodem" "$work/$name" --trace --link "$work/$name/modem" "$@" || exit 1
    started+=("$TARVEX_VMODEM_PID")
}

# poll SECONDS PID COMMAND...: runs COMMAND until it succeeds. Fails after SECONDS,
# or as soon as the engine PID has exited, which no wait would mend; poll_why then
# says which.
# shellcheck disable=SC2034 # for the caller
poll() {
    local seconds=$1 pid=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            poll_why="it exited"
            return 1
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            poll_why="waited $seconds s"
            return 1
        fi
        sleep 0.1
    done
}
