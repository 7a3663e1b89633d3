# shellcheck shell=bash
# Sourced by every script of the project: what they share, said once.
#
#   TARVEX_ROOT                     the checkout
#   tarvex_fail MESSAGE...          says "SCRIPT: MESSAGE" on stderr and exits 1
#   tarvex_fail --return MESSAGE... says it and returns 1: a shared function's caller
#                                   decides what a failure means
#   tarvex_fail --later MESSAGE...  says it, counts it in tarvex_failures and carries
#                                   on: a check that reports every fault, then fails
#   tarvex_build_dir NAME           the folder of build NAME (build, package, asan,
#                                   fuzz, bench, windows, arm64, arm64-package)
#   tarvex_configure DIR ARGS...    configures a Ninja build in DIR (warnings stop CI)
#   tarvex_sanitizer_env            the settings of every run under ASan and UBSan
#   tarvex_in_debian13 "$0" "$@"    re-runs the calling script in the Debian 13 root
#   tarvex_qemu_aarch64             registers the arm64 emulator, prints its path
#   tarvex_wait_for SECONDS WHAT COMMAND...
#                                   runs COMMAND until it succeeds, printing the first
#                                   line it printed; fails on WHAT after SECONDS
#   tarvex_check_session_log DIR    the newest log in DIR is there, 0700 and 0600
#   tarvex_check_purged DEB [ROOT]  nothing of DEB is left (in ROOT, a root's folder)
#                                   unless this is Debian 13
#   tarvex_xvfb_rerun PREPARE "$0" ARGS...
#                                   outside our virtual X server: runs the function
#                                   PREPARE, then the script with ARGS under one, and
#                                   exits with its status; inside it, returns
#   tarvex_windows_artifact DIR [SUFFIX]
#                                   the Windows build's zip (.zip), installer (.msi),
#                                   folder (no SUFFIX) or a file in it (/FILE) in DIR
#   tarvex_windows_name VERSION     their name without the suffix
#   tarvex_windows_version PATH     the version in such a name
#   tarvex_unpack_zip WINDOWS DEST  unpacks the Windows build's zip into DEST and
#                                   prints the folder that holds tarvex.exe
#   tarvex_start_vmodem VMODEM DIR ARGS...
#                                   starts tarvex-vmodem, waits for its device
#   tarvex_check_shell DEVICE DIR SMSLOG [WRAPPER...]
#                                   /usr/bin/tarvex --check, --send, --status and --scan on DEVICE with
#                                   no display, run through WRAPPER (a root's entry)
# and, from lib/deps.sh, tarvex_ensure_packages and tarvex_werror.

TARVEX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=deps.sh
. "$TARVEX_ROOT/scripts/lib/deps.sh"

tarvex_failures=0
tarvex_fail() {
    local mode=exit
    case ${1:-} in --return | --later) mode=$1 && shift ;; esac
    echo "${0##*/}: $*" >&2
    case $mode in
    exit) exit 1 ;;
    --return) return 1 ;;
    --later) tarvex_failures=$((tarvex_failures + 1)) ;;
    esac
}

# Each build's folder: its own variable if set, else below TARVEX_BUILD_BASE, which
# is the checkout, and build-debian13/ when scripts/debian13 runs the script, so the
# two releases never share a tree.
tarvex_build_dir() {
    local base=${TARVEX_BUILD_BASE:-$TARVEX_ROOT}
    case $1 in
    build) echo "${TARVEX_BUILD_DIR:-$base/build}" ;;
    package) echo "${TARVEX_PACKAGE_DIR:-$base/build-package}" ;;
    asan) echo "${TARVEX_ASAN_BUILD_DIR:-$base/build-asan}" ;;
    fuzz) echo "${TARVEX_FUZZ_BUILD_DIR:-$base/build-fuzz}" ;;
    bench) echo "${TARVEX_BENCH_DIR:-$base/build-bench}" ;;
    windows) echo "${TARVEX_WINDOWS_BUILD_DIR:-$base/build-windows}" ;;
    arm64) echo "${TARVEX_ARM64_BUILD_DIR:-$base/build-arm64}" ;;
    arm64-package) echo "${TARVEX_ARM64_PACKAGE_DIR:-$base/build-package-arm64}" ;;
    *) tarvex_fail --return "unknown build $1" ;;
    esac
}

tarvex_configure() {
    local dir=$1
    shift
    cmake -S "$TARVEX_ROOT" -B "$dir" -G Ninja -DTARVEX_WERROR="$(tarvex_werror)" "$@" >/dev/null
}

tarvex_sanitizer_env() {
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
    # fontconfig's and libdbus's one-time caches: see the file.
    export LSAN_OPTIONS="suppressions=$TARVEX_ROOT/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
}

# The Windows Qt was built with Debian 13's MinGW (its runtime DLLs go in the zip),
# and Wine 10, Debian 13's, is the first that hands received characters to Qt
# Serial Port. Anywhere else the Windows scripts re-run themselves in the Debian 13
# root that scripts/debian13 makes and enters.
tarvex_in_debian13() {
    local script
    script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    shift
    if (. /etc/os-release && [ "${ID:-}" = debian ] && [ "${VERSION_ID:-}" = 13 ]); then
        return 0
    fi
    [ "$(id -u)" -eq 0 ] ||
        tarvex_fail "the Windows build and its runs under Wine need Debian 13; on this" \
            "system they run in the Debian 13 root of scripts/debian13, and making and" \
            "entering that root needs root. Run this as root, or on Debian 13."
    exec "$TARVEX_ROOT/scripts/debian13" "$script" "$@"
}

# Wine's desktop process keeps the display it started with: a script makes its Wine
# prefix after this, inside the X server's session. PREPARE (packages, builds, a
# fresh work folder) runs once, outside it; what it exports reaches the re-run.
tarvex_xvfb_rerun() {
    [ "${TARVEX_IN_XVFB:-}" != 1 ] || return 0
    local prepare=$1 status=0
    shift
    "$prepare"
    TARVEX_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$@" || status=$?
    exit "$status"
}

# The zip and the MSI are named after the folder they are made from, which the zip
# unpacks to. The first match, if there are several; fails if there is none.
tarvex_windows_name() { echo "tarvex-$1-windows-x64"; }
tarvex_windows_artifact() {
    local found
    found=$(compgen -G "$1/$(tarvex_windows_name '*')${2:-}") || return 1
    echo "${found%%$'\n'*}"
}
tarvex_windows_version() {
    [[ ${1##*/} =~ ^$(tarvex_windows_name '(.+)') ]] && echo "${BASH_REMATCH[1]}"
}

tarvex_unpack_zip() {
    local zip exe
    zip=$(tarvex_windows_artifact "$1" .zip) ||
        tarvex_fail --return "no Windows zip in $1: run scripts/build-windows" || return 1
    rm -rf "$2"
    mkdir -p "$2"
    (cd "$2" && cmake -E tar xf "$zip")
    exe=$(tarvex_windows_artifact "$2" /tarvex.exe) ||
        tarvex_fail --return "no tarvex.exe in $zip" || return 1
    dirname "$exe"
}

# Starts VMODEM ARGS... in the background, its output in DIR/vmodem.out and its
# errors (and --trace) in DIR/vmodem.err, and returns once it has printed its
# device path, which it does after any --link is in place. Sets TARVEX_VMODEM_PID
# and TARVEX_VMODEM_DEVICE; the caller stops it.
tarvex_start_vmodem() {
    local vmodem=$1 dir=$2
    shift 2
    mkdir -p "$dir"
    : >"$dir/vmodem.out" # there before the wait below reads it
    "$vmodem" "$@" >"$dir/vmodem.out" 2>"$dir/vmodem.err" &
    TARVEX_VMODEM_PID=$!
    local deadline=$((SECONDS + 10))
    until [ "$(wc -l <"$dir/vmodem.out")" -ge 1 ]; do
        if ! kill -0 "$TARVEX_VMODEM_PID" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
            tarvex_fail --return "tarvex-vmodem did not start within 10 s: $(cat "$dir/vmodem.err")" ||
                return 1
        fi
        sleep 0.05
    done
    # shellcheck disable=SC2034 # for the caller
    TARVEX_VMODEM_DEVICE=$(head -n1 "$dir/vmodem.out")
}

# The emulator of arm64 programs, registered with binfmt_misc; prints its path.
# It is test equipment, and one is taken for both releases: Debian 13's qemu-user
# (10.0), a static /usr/bin/qemu-aarch64. Debian 12's 7.2 refuses the
# clone(CLONE_PIDFD) with which Qt starts every QProcess ("Resource error (fork
# failure)"). On Debian 13 it is the system's own; elsewhere the one apt installs
# in the Debian 13 root of scripts/root, run from there (docs/testing.md).
tarvex_qemu_aarch64() {
    local qemu
    if (. /etc/os-release && [ "${VERSION_ID:-}" = 13 ]); then
        tarvex_ensure_packages "$TARVEX_ROOT/scripts/debian-packages-qemu" >&2
        qemu=/usr/bin/qemu-aarch64
    else
        "$TARVEX_ROOT/scripts/root" debian13 bash -c '. scripts/lib/common.sh &&
            tarvex_ensure_packages scripts/debian-packages-qemu' >&2
        qemu=$("$TARVEX_ROOT/scripts/root" debian13 --path)/usr/bin/qemu-aarch64
    fi
    [ -x "$qemu" ] || tarvex_fail --return "no $qemu" || return 1
    tarvex_binfmt_aarch64 "$qemu" || return 1
    echo "$qemu"
}

# Registers QEMU (a static qemu-aarch64) with binfmt_misc as the interpreter of
# arm64 programs, unless one is registered already: the arm64 programs that the
# suites and the arm64 roots start run under it. The F flag opens it now, so it
# serves inside a chroot too. binfmt_misc is mounted for that if it is not, and
# stays mounted: since Linux 6.7 the registrations go with the last mount.
tarvex_binfmt_aarch64() {
    local qemu=$1 dir=/proc/sys/fs/binfmt_misc
    if [ ! -e "$dir/register" ]; then
        mount -t binfmt_misc binfmt_misc "$dir" || tarvex_fail --return "cannot mount binfmt_misc" || return 1
    fi
    if [ ! -e "$dir/tarvex-aarch64" ]; then
        printf '%s\n' ':tarvex-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' >"$dir/register"
    fi
}

tarvex_wait_for() {
    local seconds=$1 what=$2 out
    shift 2
    local deadline=$((SECONDS + seconds))
    until out=$("$@" 2>/dev/null); do
        [ "$SECONDS" -lt "$deadline" ] || tarvex_fail --return "waited $seconds s for $what" || return 1
        sleep 0.1
    done
    [ -z "$out" ] || head -n1 <<<"$out"
}

# Counts what it finds wrong in tarvex_failures (tarvex_fail --later).
tarvex_check_session_log() {
    local logs=$1 newest modes
    newest=$(find "$logs" -maxdepth 1 -name 'tarvex-*.log' -printf '%T@ %p\n' 2>/dev/null |
        sort -n | tail -n1 | cut -d' ' -f2-)
    if [ -z "$newest" ]; then
        tarvex_fail --later "no session log in $logs"
        return 0
    fi
    modes="$(stat -c %a "$logs") $(stat -c %a "$newest")"
    [ "$modes" = "700 600" ] || tarvex_fail --later "session log folder and file are $modes, expected 700 600"
    echo "session log $(basename "$newest"): folder 700, file 600 under umask 000"
}

# --check gives "GSM Modem OK" and 0; --send gives "SMS Send" and 0, and the modem
# whose SMS log is SMSLOG received that message; --status --format nagios says
# "TARVEX OK - Ready to send SMS" and 0; each under umask 000 with no
# display at all, and the log private. Counts failures in tarvex_failures.
tarvex_check_shell() {
    local device=$1 dir=$2 smslog=$3 out status
    shift 3
    local number=+15550001234 text='From a shell: gate B & 7%'
    run_shell() {
        (umask 000 && "$@" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
            TARVEX_COM1="$device" XDG_STATE_HOME="$dir/shell-state" /usr/bin/tarvex "${args[@]}")
    }
    local args=(--check COM1)
    status=0 && out=$(run_shell "$@" 2>"$dir/shell.err") || status=$?
    [ "$status:$out" = "0:GSM Modem OK" ] ||
        tarvex_fail --later "--check: exit $status, '$out', $(cat "$dir/shell.err")"
    args=(--send COM1 "$number" "$text")
    status=0 && out=$(run_shell "$@" 2>"$dir/shell.err") || status=$?
    [ "$status:$out" = "0:GSM Modem OK"$'\n'"SMS Send" ] ||
        tarvex_fail --later "--send: exit $status, '$out', $(cat "$dir/shell.err")"
    tail -n1 "$smslog" | grep -qF -- "{\"number\":\"$number\",\"text\":\"$text\"," ||
        tarvex_fail --later "--send: the modem's last SMS is not the one sent: $(tail -n1 "$smslog")"
    echo "--check: GSM Modem OK; --send: SMS Send, received as sent"
    args=(--status COM1 --format nagios)
    status=0 && out=$(run_shell "$@" 2>"$dir/shell.err") || status=$?
    [[ $status == 0 && $out == "TARVEX OK - Ready to send SMS"* ]] ||
        tarvex_fail --later "--status: exit $status, '$out', $(cat "$dir/shell.err")"
    echo "--status: ${out%% | *}"
    args=(--scan COM1 --format json)
    status=0 && out=$(run_shell "$@" 2>"$dir/shell.err") || status=$?
    [[ $status == 0 && $out == *'"baud": 9600,'* && $out == *'"modem": true,'* ]] ||
        tarvex_fail --later "--scan: exit $status, '$out', $(cat "$dir/shell.err")"
    echo "--scan: the modem found at 9600 baud"
    tarvex_check_session_log "$dir/shell-state/tarvex"
}

# After the purge: dpkg lists nothing of the package, every file it brought is gone,
# and its own folders (named after it); the folders it shares, such as
# /usr/share/icons, stay. Counts what is left in tarvex_failures.
tarvex_check_purged() {
    local deb=$1 dir=${2:-} path leftovers package
    package=$(dpkg-deb -f "$deb" Package)
    if dpkg-query --admindir="$dir/var/lib/dpkg" -L "$package" >/dev/null 2>&1; then
        tarvex_fail --later "dpkg still lists files of $package: $(dpkg-query --admindir="$dir/var/lib/dpkg" -L "$package" | xargs)"
    fi
    while read -r path; do
        if [ -e "$dir$path" ] || [ -L "$dir$path" ]; then tarvex_fail --later "left behind: $path"; fi
    done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -E '[^/]$|/tarvex[^/]*/$')
    leftovers=$(find "$dir/usr/share" "$dir/usr/bin" "$dir/etc" -maxdepth 1 -name 'tarvex*' 2>/dev/null)
    [ -z "$leftovers" ] || tarvex_fail --later "left behind: $leftovers"
}

# tarvex-nox as a Raspberry Pi OS Lite user gets it: its Depends name no GUI library,
# it ships the manual page and the completion, and installed without Recommends
# (into this machine, or through the command given after the arguments, such as an
# arm64 root's) it runs --check and --send with no display, says that it has no
# window when started without a command, and purges clean. Counts failures in
# tarvex_failures.
tarvex_check_nox() {
    local deb=$1 device=$2 dir=$3 smslog=$4 target=${5:-} status said
    shift 5
    echo "== $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
    if dpkg-deb -f "$deb" Depends | grep -qE 'libqt6(gui|widgets|opengl)|qt6-qpa-plugins|libx11|libgl'; then
        tarvex_fail --later "tarvex-nox depends on a GUI library: $(dpkg-deb -f "$deb" Depends)"
    fi
    dpkg-deb --fsys-tarfile "$deb" | tar -t >"$dir/nox.files"
    for shipped in ./usr/bin/tarvex ./usr/share/man/man1/tarvex.1.gz \
        ./usr/share/bash-completion/completions/tarvex; do
        grep -qx -- "$shipped" "$dir/nox.files" || tarvex_fail --later "tarvex-nox lacks $shipped"
    done
    ! grep -q 'applications/\|icons/' "$dir/nox.files" ||
        tarvex_fail --later "tarvex-nox ships a desktop entry or icons"
    echo "== apt-get install --no-install-recommends $(basename "$deb")"
    "$@" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "$deb" >"$dir/apt.log" 2>&1 || tarvex_fail --later "the install failed: $(cat "$dir/apt.log")"
    status=0 && said=$("$@" env -u DISPLAY /usr/bin/tarvex --no-log 2>&1) || status=$?
    [ "$status" = 1 ] && grep -q 'this Tarvex has no window' <<<"$said" ||
        tarvex_fail --later "started without a command: exit $status, '$said'"
    tarvex_check_shell "$device" "$dir" "$smslog" "$@"
    "$@" env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq tarvex-nox >/dev/null
    tarvex_check_purged "$deb" "$target"
}
