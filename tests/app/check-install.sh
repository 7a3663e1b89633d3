#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a desktop needs of it:
# the program, a valid menu entry that starts it, the themed icons it names, and
# the software centre's metadata for that same entry.
#   check-install.sh <cmake> <build dir> <bin dir> <data dir>
set -euo pipefail
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
cmake=$1 build=$2 bindir=$3 datadir=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

# Relative install directories are relative to the prefix.
[[ $bindir == /* ]] || bindir=$prefix/$bindir
[[ $datadir == /* ]] || datadir=$prefix/$datadir

[ -x "$bindir/tarvex" ] || tarvex_fail --later "no executable $bindir/tarvex"

id=io.github.tarvex.Tarvex
entry=$datadir/applications/$id.desktop
if [ ! -f "$entry" ]; then
    tarvex_fail --later "no menu entry $entry"
else
    # Hints count too: the entry is ours and can be kept free of them.
    report=$(desktop-file-validate "$entry" 2>&1) || tarvex_fail --later "desktop-file-validate failed"
    [ -z "$report" ] || tarvex_fail --later "desktop-file-validate: $report"
    key() { sed -n "s/^$1=//p" "$entry"; }
    exec_name=$(key Exec | cut -d' ' -f1)
    [ -n "$exec_name" ] && [ -x "$bindir/$exec_name" ] ||
        tarvex_fail --later "Exec=$exec_name is not the installed program"
    [ "$(key Icon)" = tarvex ] || tarvex_fail --later "Icon=$(key Icon), expected tarvex"
    [ "$(key Terminal)" = false ] || tarvex_fail --later "Terminal=$(key Terminal), expected false"
fi

# A software centre joins the metadata to the menu entry by this id.
metainfo=$datadir/metainfo/$id.metainfo.xml
if [ ! -f "$metainfo" ]; then
    tarvex_fail --later "no AppStream metadata $metainfo"
else
    grep -q "<id>$id</id>" "$metainfo" || tarvex_fail --later "$metainfo does not have the id $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        tarvex_fail --later "$metainfo does not launch $id.desktop"
fi

# PNG width and height: the two big-endian words after the IHDR tag.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{
        printf "%dx%d", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4,
                        $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}
for size in 16 22 24 32 48 64 128 256; do
    icon=$datadir/icons/hicolor/${size}x${size}/apps/tarvex.png
    if [ ! -f "$icon" ]; then
        tarvex_fail --later "no icon $icon"
    elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
        tarvex_fail --later "$icon is $(png_size "$icon"), expected ${size}x${size}"
    fi
done

completion=$datadir/bash-completion/completions/tarvex
if [ ! -f "$completion" ]; then
    tarvex_fail --later "no bash completion $completion"
elif ! bash -c '. "$1" && complete -p tarvex' _ "$completion" >/dev/null 2>&1; then
    tarvex_fail --later "$completion does not complete tarvex"
fi

[ "$tarvex_failures" -eq 0 ] || exit 1
echo "installed tree complete"
