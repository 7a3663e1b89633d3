#!/usr/bin/env bash
# Checks the documentation, offline: every relative link and image in README.md,
# CHANGELOG.md and docs/*.md leads to a file of the checkout (and an #anchor to a
# heading of that page), and docs/architecture.md names every folder directly under
# src/ and tools/.
#   scripts/lib/check-docs.sh [CHECKOUT]
set -euo pipefail
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
cd "${1:-$TARVEX_ROOT}"

# The anchors of a page's headings as GitHub makes them: lower case, punctuation
# dropped, spaces to hyphens, a repeated heading numbered.
anchors() {
    awk '/^```/ { code = !code; next }
        !code && /^#+ / { sub(/^#+ +/, ""); a = tolower($0); gsub(/[^a-z0-9 _-]/, "", a)
                          gsub(/ /, "-", a); n = seen[a]++; print (n ? a "-" n : a) }' "$1"
}

# "PAGE TARGET" for each link and image outside code blocks and code spans.
links() {
    awk '/^```/ { code = !code; next }
        !code { line = $0; gsub(/`[^`]*`/, "", line)
                while (match(line, /\]\([^) ]+/)) {
                    print FILENAME, substr(line, RSTART + 2, RLENGTH - 2)
                    line = substr(line, RSTART + RLENGTH) } }' "$@"
}

while read -r page target; do
    case $target in [a-zA-Z]*:*) continue ;; esac # http:, https:, mailto:
    path=${target%%#*}
    anchor=${target#"$path"}
    file=$page
    [ -z "$path" ] || file=$(dirname "$page")/$path
    if [ ! -e "$file" ]; then
        tarvex_fail --later "$page links to $target, which does not exist"
    elif [ -n "$anchor" ] && [[ $file == *.md ]] && ! anchors "$file" | grep -qxF -- "${anchor#\#}"; then
        tarvex_fail --later "$page links to $target, but $file has no heading for ${anchor}"
    fi
done < <(links README.md CHANGELOG.md docs/*.md)

for folder in src/*/ tools/*/; do
    folder=${folder%/}
    grep -qE "(^|[^[:alnum:]_/.-])${folder}([^[:alnum:]_-]|$)" docs/architecture.md ||
        tarvex_fail --later "docs/architecture.md does not name the folder $folder"
done

[ "$tarvex_failures" -eq 0 ] ||
    tarvex_fail "$tarvex_failures problem(s) above: mend the link, or name the folder in docs/architecture.md"
