# shellcheck shell=bash
# Sourced by lib/common.sh: makes sure the Debian packages listed in
# scripts/debian-packages are installed, installing them when run as root; and
# what every build of theirs shares.

# Warnings stop CI (which sets CI=true), not a user's build: a newer compiler or Qt
# than CI's brings new warnings, and they must not keep anyone from the program.
tarvex_werror() {
    if [ "${CI:-}" = true ]; then echo ON; else echo OFF; fi
}

tarvex_missing_packages() {
    local list=$1 pkg
    while read -r pkg; do
        pkg=${pkg%%#*}
        pkg=${pkg//[[:space:]]/}
        [ -n "$pkg" ] || continue
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || echo "$pkg"
    done <"$list"
}

tarvex_ensure_packages() {
    local list=$1 missing
    command -v dpkg-query >/dev/null 2>&1 || {
        echo "note: not a Debian-based system; make sure these are installed: $(grep -v '^#' "$list" | xargs)" >&2
        return 0
    }
    missing=$(tarvex_missing_packages "$list" | xargs)
    [ -n "$missing" ] || return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing Debian packages: $missing" >&2
        export DEBIAN_FRONTEND=noninteractive
        # A package of another architecture (qt6-base-dev:arm64) comes through
        # multiarch, once that architecture is known to dpkg.
        local arch
        for arch in $(grep -o ':[a-z0-9]*' <<<"$missing" | tr -d : | sort -u); do
            [ "$arch" = "$(dpkg --print-architecture)" ] ||
                dpkg --print-foreign-architectures | grep -qx "$arch" ||
                dpkg --add-architecture "$arch"
        done
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >&2
    else
        tarvex_fail "these Debian packages are missing: $missing. Install them with:
    sudo apt-get update && sudo apt-get install -y $missing"
    fi
}
