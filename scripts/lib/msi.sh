# shellcheck shell=bash
# Sourced by scripts/test-wine-msi: snapshots of everything an install may touch in
# a Wine prefix, to compare one with another.
#
#   tarvex_msi_init WORK           after tarvex_wine_init; the states go in WORK
#   tarvex_msi_drive               the prefix's drive C:
#   tarvex_msi_menus               (array) its two Start menus
#   tarvex_msi_snapshot STATE      takes WORK/STATE.state
#   tarvex_msi_same STATE EARLIER MESSAGE [--but-sources]
#                                  fails the script with MESSAGE and what changed,
#                                  unless the two states are the same
#   tarvex_msi_values STATE        "key<TAB>name<TAB>value" of each string and number
#   tarvex_msi_entries STATE       the uninstall entries named Tarvex, one key a line
#   tarvex_msi_value STATE KEY NAME

# shellcheck source=wine.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

# Program Files, both Start menus, Windows Installer's cache, the uninstall entries
# (64- and 32-bit) and Windows Installer's own registration of products, components
# and upgrade codes.
tarvex_msi_init() {
    tarvex_msi_work=$1
    tarvex_msi_drive=$WINEPREFIX/drive_c
    tarvex_msi_menus=("$tarvex_msi_drive/ProgramData/Microsoft/Windows/Start Menu"
        "$tarvex_msi_drive"/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu")
    tarvex_msi_keys=('HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
        'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
        'HKLM\Software\Classes\Installer'
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Installer'
        'HKCU\Software\Microsoft\Installer')
    local i
    {
        for i in "${!tarvex_msi_keys[@]}"; do
            printf '@del "%s\\key%d.reg" 2>nul\r\n@reg export "%s" "%s\\key%d.reg" /y >nul 2>&1\r\n' \
                "$(tarvex_wine_path "$1")" "$i" "${tarvex_msi_keys[$i]}" "$(tarvex_wine_path "$1")" "$i"
        done
    } >"$1/export.cmd"
}

tarvex_msi_snapshot() {
    local work=$tarvex_msi_work drive=$tarvex_msi_drive dir i
    # Its status is the last export's, and a key that is not there fails it.
    "$TARVEX_WINE" cmd /c "$(tarvex_wine_path "$work/export.cmd")" 2>>"$work/wine.err" || true
    {
        for dir in "$drive/Program Files" "${tarvex_msi_menus[@]}" "$drive/windows/Installer"; do
            [ -d "$dir" ] || continue
            (cd "$drive" && find "${dir#"$drive"/}" -mindepth 1 \( -type d -printf 'folder %p\n' \) \
                -o -printf 'file %p %s\n')
        done | sort
        # A key that is not there has no export.
        for i in "${!tarvex_msi_keys[@]}"; do
            echo "# ${tarvex_msi_keys[$i]}"
            [ ! -f "$work/key$i.reg" ] || iconv -f UTF-16 -t UTF-8 "$work/key$i.reg" | tr -d '\r' |
                tarvex_msi_without_empty_installer_keys
        done
    } >"$work/$1.state"
}

# Windows Installer makes its own keys on its first install and keeps them empty
# (Installer\Products, UserData\S-1-5-18\Components, ...: every Windows has them).
# An empty key stays in a state when it is named after a product, a component or
# an upgrade code (eight hex digits in a row): that one the installer made. (And
# the export's first line goes, so that an empty key and none are the same.)
tarvex_msi_without_empty_installer_keys() {
    awk 'function flush() {
             if (head != "" && (body ~ /[^\n]/ || head ~ /[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]/))
                 printf "%s\n%s", head, body
         }
         /^\[/ { flush(); head = $0; body = ""; next }
         head == "" { next }
         { body = body $0 "\n" }
         END { flush() }'
}

# --but-sources: but for the list of places the package was installed from (Wine's
# Windows Installer adds the same folder again on a second install).
tarvex_msi_same() {
    local work=$tarvex_msi_work filter=cat
    [ "${4:-}" != --but-sources ] || filter=tarvex_msi_without_sources
    diff -u <($filter <"$work/$2.state") <($filter <"$work/$1.state") >"$work/$1-vs-$2.diff" ||
        tarvex_fail "$3; what changed ($work/$1-vs-$2.diff):
$(head -n 40 "$work/$1-vs-$2.diff")"
}
tarvex_msi_without_sources() { awk '/^\[/ { skip = ($0 ~ /\\SourceList[]\\]/) } !skip'; }

tarvex_msi_values() {
    awk '/^\[/ { key = substr($0, 2, length($0) - 2); next }
         /^"/ { n = index($0, "\"="); name = substr($0, 2, n - 2); value = substr($0, n + 2)
                gsub(/^"|"$/, "", value); gsub(/\\\\/, "\\", value); print key "\t" name "\t" value }' \
        "$tarvex_msi_work/$1.state"
}
tarvex_msi_entries() {
    tarvex_msi_values "$1" |
        awk -F '\t' '$1 ~ /CurrentVersion\\Uninstall\\/ && $2 == "DisplayName" && $3 == "Tarvex" { print $1 }'
}
# (awk -v would take the backslashes of a key as escapes.)
tarvex_msi_value() {
    tarvex_msi_values "$1" | key=$2 name=$3 awk -F '\t' '$1 == ENVIRON["key"] && $2 == ENVIRON["name"] { print $3 }'
}
