# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under Wine: a fresh prefix of
# our own, and COM ports that point only where we say.
#
# Wine links com1, com2, ... to the machine's own /dev/ttyS*, /dev/ttyUSB* and
# /dev/ttyACM* each time its device services start, and rewrites any link we make
# by hand in dosdevices/. So every port number Wine would hand out (COM1-COM255)
# is claimed in HKLM\Software\Wine\Ports: the ones we map point at our devices,
# the others are empty, which leaves them without a link. Wine then puts the first
# device it found on COM256, the one number the registry cannot claim; that link
# is removed once the services have made it, and a persistent wine server keeps
# the services from starting (and making it) again. Every function that changes
# the ports checks every link before it returns, and fails loudly on a surprise.
#
#   tarvex_wine_init DIR          fresh prefix DIR/wineprefix, no port mapped,
#                                 Windows' UI fonts stood in for (tarvex_wine_add_fonts)
#   tarvex_wine_map_com N PATH... map COMn to PATH (pairs), restart, check
#   tarvex_wine_map_e2e DIR       the end-to-end run's ports (tests/wine/tst_wine_e2e.cpp):
#                                 COM1 and COM47 to DIR/modem, COM2 to a path that does not exist
#   tarvex_wine_check_ports       check every link against the mapping
#   tarvex_wine_stop              stop the prefix's wine server and programs
#   tarvex_wine_import FILE       import a .reg file into the prefix
#   tarvex_wine_path PATH         PATH as Windows programs see it, on drive Z:
#
# After tarvex_wine_init: TARVEX_WINE (the wine64 loader), WINEPREFIX, WINEDEBUG,
# WINEDLLOVERRIDES are exported; run programs as "$TARVEX_WINE" prog.exe.
#
# A test's Wine processes that open a pseudo-terminal as a COM port get
# LD_PRELOAD=$TARVEX_MODEM_LINES (tests/wine/modem_lines.cpp, a Linux target of
# the tests): the modem-status lines a real port has and a pty lacks.

# shellcheck source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

TARVEX_WINE=${TARVEX_WINE:-/usr/lib/wine/wine64}
TARVEX_WINESERVER=${TARVEX_WINESERVER:-/usr/lib/wine/wineserver}
TARVEX_WINE_LAST_PORT=255 # COM256 cannot be claimed: Wine's table ends there
declare -gA tarvex_wine_ports=()

# Builds the modem-lines library in the Linux build folder DIR and names it in
# TARVEX_MODEM_LINES, for the preloads below and in the tests.
tarvex_wine_modem_lines() {
    cmake --build "$1" --parallel 2 --target tarvex_modem_lines >/dev/null || return 1
    export TARVEX_MODEM_LINES=$1/tests/wine/tarvex-modem-lines.so
}

tarvex_wine_import() {
    "$TARVEX_WINE" regedit /S "$1" >/dev/null 2>&1 ||
        tarvex_fail --return "regedit could not import $1"
}

tarvex_wine_path() {
    local path
    path=$(realpath "$1")
    echo "Z:${path//\//\\}"
}

# The devices Wine links to COM ports at start: for each pattern, index 0 up to
# the first that does not exist (Wine probes with access(), nothing is opened).
tarvex_wine_host_serial_devices() {
    local pattern i
    for pattern in /dev/ttyS /dev/ttyUSB /dev/ttyACM; do
        i=0
        while [ -e "$pattern$i" ] || [ -L "$pattern$i" ]; do
            echo "$pattern$i"
            i=$((i + 1))
        done
    done
}

# Waits until `test_command` succeeds, up to `seconds`.
tarvex_wine_wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

tarvex_wine_init() {
    local dir=$1
    [ -x "$TARVEX_WINE" ] || tarvex_fail --return "no Wine loader at $TARVEX_WINE (Debian package wine64)" || return 1
    mkdir -p "$dir" || return 1
    export WINEPREFIX
    WINEPREFIX=$(cd "$dir" && pwd)/wineprefix
    export WINEARCH=win64
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko installers, no prompts for them.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    tarvex_wine_ports=()

    if [ -d "$WINEPREFIX" ]; then
        "$TARVEX_WINESERVER" -k 2>/dev/null || true
        "$TARVEX_WINESERVER" -w 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    "$TARVEX_WINE" wineboot -i >"$dir/wineboot.log" 2>&1 ||
        tarvex_fail --return "wineboot failed, see $dir/wineboot.log" || return 1
    tarvex_wine_add_fonts || return 1
    tarvex_wine_apply_ports
}

# Windows has Arial, MS Sans Serif and Tahoma (behind MS Shell Dlg); a fresh prefix
# has none of them, and Qt then falls back to the first family Wine lists, DejaVu
# Math TeX Gyre here: a serif whose Windows line height is over four times its size,
# which puts the text of every line edit below its box. A name in FontSubstitutes is
# no family of its own, so Qt does not find it; one in Wine's Replacements is, drawn
# with Liberation Sans, which has Arial's metrics (Debian package fonts-liberation).
tarvex_wine_add_fonts() {
    local reg="$WINEPREFIX/tarvex-fonts.reg" family
    fc-list -q "Liberation Sans" ||
        tarvex_fail --return "no Liberation Sans font (Debian package fonts-liberation)" || return 1
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for family in "Arial" "MS Sans Serif" "Tahoma"; do
            printf '"%s"="Liberation Sans"\r\n' "$family"
        done
    } >"$reg"
    tarvex_wine_import "$reg" || return 1
}

tarvex_wine_map_com() {
    [ -n "${WINEPREFIX:-}" ] || tarvex_fail --return "tarvex_wine_init first" || return 1
    local host
    mapfile -t host < <(tarvex_wine_host_serial_devices)
    while [ $# -ge 2 ]; do
        [[ $1 =~ ^[0-9]+$ ]] && [ "$1" -ge 1 ] && [ "$1" -le "$TARVEX_WINE_LAST_PORT" ] ||
            tarvex_fail --return "COM$1: only COM1 to COM$TARVEX_WINE_LAST_PORT can be mapped" || return 1
        [[ $2 == /* ]] || tarvex_fail --return "COM$1: $2 is not an absolute path" || return 1
        tarvex_wine_not_host_device "COM$1" "$2" "${host[@]}" || return 1
        tarvex_wine_ports[$1]=$2
        shift 2
    done
    [ $# -eq 0 ] || tarvex_fail --return "tarvex_wine_map_com: N PATH pairs expected" || return 1
    tarvex_wine_apply_ports
}

tarvex_wine_map_e2e() {
    tarvex_wine_map_com 1 "$1/modem" 2 "$1/no-such-port" 47 "$1/modem"
}

# Writes the whole Ports key, restarts the server, lets the device services make
# their links, removes the one for the machine's device and checks the rest.
tarvex_wine_apply_ports() {
    local reg="$WINEPREFIX/tarvex-ports.reg" n value
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for ((n = 1; n <= TARVEX_WINE_LAST_PORT; n++)); do
            value=${tarvex_wine_ports[$n]:-}
            value=${value//\\/\\\\}
            printf '"COM%d"="%s"\r\n' "$n" "${value//\"/\\\"}"
        done
    } >"$reg"
    tarvex_wine_import "$reg" || return 1

    "$TARVEX_WINESERVER" -k 2>/dev/null || true
    "$TARVEX_WINESERVER" -w
    rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
    # Not on our standard output: it would hold a pipe to us open for its whole life.
    "$TARVEX_WINESERVER" -p >>"$WINEPREFIX/wineserver.log" 2>&1 || return 1
    # Starting any program starts the device services, which make the links: ours
    # first, then the machine's device on COM256.
    "$TARVEX_WINE" cmd /c exit >>"$WINEPREFIX/wineserver.log" 2>&1 || tarvex_fail --return "wine cannot run cmd" || return 1
    local expect_spill=""
    [ -z "$(tarvex_wine_host_serial_devices)" ] || expect_spill=$WINEPREFIX/dosdevices/com$((TARVEX_WINE_LAST_PORT + 1))
    tarvex_wine_wait_for 20 tarvex_wine_links_made "$expect_spill" ||
        tarvex_fail --return "Wine's device services made no COM links within 20 s" || return 1
    [ -z "$expect_spill" ] || rm -f "$expect_spill"
    tarvex_wine_check_ports
}

tarvex_wine_links_made() {
    local spill=$1 n
    [ -z "$spill" ] || [ -L "$spill" ] || return 1
    for n in "${!tarvex_wine_ports[@]}"; do
        [ -L "$WINEPREFIX/dosdevices/com$n" ] || return 1
    done
}

# Every com link is one we mapped, to exactly its path, and none leads to one of
# the machine's own serial devices.
tarvex_wine_check_ports() {
    local link n target seen=() host
    mapfile -t host < <(tarvex_wine_host_serial_devices)
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -e "$link" ] || [ -L "$link" ] || continue
        n=${link##*/com}
        target=$(readlink "$link")
        [ -n "${tarvex_wine_ports[$n]:-}" ] ||
            tarvex_fail --return "COM$n -> $target was not mapped by us" || return 1
        [ "$target" = "${tarvex_wine_ports[$n]}" ] ||
            tarvex_fail --return "COM$n -> $target, expected ${tarvex_wine_ports[$n]}" || return 1
        tarvex_wine_not_host_device "COM$n" "$target" "${host[@]}" || return 1
        seen+=("$n")
    done
    for n in "${!tarvex_wine_ports[@]}"; do
        [[ " ${seen[*]} " == *" $n "* ]] ||
            tarvex_fail --return "COM$n has no link, expected ${tarvex_wine_ports[$n]}" || return 1
    done
}

# `path` (or where its links lead, now) is none of the machine's serial devices and
# no character device other than a pseudo-terminal.
tarvex_wine_not_host_device() {
    local port=$1 path=$2 resolved device
    shift 2
    resolved=$(readlink -f "$path" 2>/dev/null || echo "$path")
    for device in "$@"; do
        [ "$resolved" != "$(readlink -f "$device")" ] ||
            tarvex_fail --return "$port leads to the machine's own $device" || return 1
    done
    if [ -c "$resolved" ] && [[ $resolved != /dev/pts/* ]]; then
        tarvex_fail --return "$port leads to the character device $resolved, not a pseudo-terminal"
        return 1
    fi
}

tarvex_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    "$TARVEX_WINESERVER" -k 2>/dev/null || true
    "$TARVEX_WINESERVER" -w 2>/dev/null || true
}
