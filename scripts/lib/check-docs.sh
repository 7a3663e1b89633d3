#!/usr/bin/env bash
# Checks the documentation, offline: every relative link and image in README.md,
# CHANGELOG.md and docs/*.md leads to a file of the checkout (and an #anchor to a
# heading of that page), docs/architecture.md names every folder directly under
# src/ and tools/, every sentence of docs/messages.md is still the program's and in
# the manual page, and README.md has at most 150 lines.
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

# Every sentence quoted in the first column of docs/messages.md is still the
# program's. The program builds them from pieces: the string literals under src/
# (adjacent ones joined, comments left out), cut at each placeholder (%1, %s), line
# break and number. A quoted sentence is cut where it shows what the program fills
# in: "...", numbers, device and file paths, and the words of filled_in. Each stretch
# between the cuts that has a letter in it must be whole pieces in a row, except
# that it may begin inside a piece where a cut comes before it, and end inside one
# where a cut comes after it: in "...: Held by minicom (pid 4242)" the stretch
# "Held by " ends a piece; "SIM busy", uncut, must be a piece of its own.
filled_in=( # the system's words, and a modem's and other programs' names
    'No such file or directory' 'Permission error while locking the device' 'Access is denied.'
    'Input/output error' 'No space left on device' 'Telit LE910' minicom agetty 1e0e
)

# The pieces of the program's text, one a line.
pieces() {
    local sources
    mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | sort)
    awk -v q="'" '
        function flush() {
            if (open) {
                gsub(/\\[nt]/, "\n", text); gsub(/\\"/, "\"", text); gsub(/\\\\/, "\\", text)
                gsub(/%[0-9]+|%[a-z]+|[0-9]+/, "\n", text)
                print text
            }
            open = 0; text = ""
        }
        FNR == 1 { flush() }
        { line = $0; gsub(q "\\\\?\"" q, "", line) # the character literal of a quote
          for (;;) {
              found = match(line, /"([^"\\]|\\.)*"/)
              comment = index(line, "//")
              if (comment && (!found || comment < RSTART)) { line = substr(line, 1, comment - 1); found = 0 }
              if (!found) break
              if (substr(line, 1, RSTART - 1) !~ /^[ \t]*$/) flush()
              text = text substr(line, RSTART + 1, RLENGTH - 2); open = 1
              line = substr(line, RSTART + RLENGTH)
          }
          if (line !~ /^[ \t]*$/) flush() }
        END { flush() }' "${sources[@]}"
}

# The sentences of the first column, one a line.
sentences() {
    awk '/^\|/ && !/^\| *Message *\|/ && !/^\|[-:| ]+$/ {
             cell = $0; sub(/^\| */, "", cell); sub(/\|.*/, "", cell)
             while (match(cell, /`[^`]+`/)) { print substr(cell, RSTART + 1, RLENGTH - 2)
                                              cell = substr(cell, RSTART + RLENGTH) } }' docs/messages.md
}

while read -r problem; do
    tarvex_fail --later "$problem"
done < <(awk -v filled_in="$(IFS='|' && echo "${filled_in[*]}")" '
    # Whether the stretch f reads as pieces in a row; whole_start and whole_end when
    # no cut comes before it or after it.
    function covered(f, whole_start, whole_end,    n, i, j, reach) {
        if (index(hay, (whole_start ? SEP : "") f (whole_end ? SEP : ""))) return 1
        n = length(f)
        if (whole_start) reach[0] = 1
        else for (j = 1; j < n && index(hay, substr(f, 1, j)); j++) reach[j] = index(hay, substr(f, 1, j) SEP) > 0
        for (i = 0; i < n; i++) {
            if (!reach[i]) continue
            if (!whole_end && index(hay, SEP substr(f, i + 1))) return 1
            for (j = i + 1; j <= n; j++) if (!reach[j] && ((substr(f, i + 1, j - i)) in piece)) reach[j] = 1
        }
        return reach[n]
    }
    BEGIN { SEP = "\001"; hay = SEP; examples = split(filled_in, example, "|") }
    FILENAME == ARGV[1] { if ($0 != "") { piece[$0]; hay = hay $0 SEP }; next }
    { s = $0
      for (e = 1; e <= examples; e++)
          while (i = index(s, example[e])) s = substr(s, 1, i - 1) SEP substr(s, i + length(example[e]))
      while (i = index(s, "...")) s = substr(s, 1, i - 1) SEP substr(s, i + 3)
      gsub(/\/[A-Za-z0-9_.~-]+\/[^ ),:]*|[0-9]+/, SEP, s)
      k = split(s, stretch, SEP)
      for (p = 1; p <= k; p++)
          if (stretch[p] ~ /[A-Za-z]/ && !covered(stretch[p], p == 1, p == k)) {
              print "docs/messages.md quotes `" $0 "`, but nothing in src/ reads \"" stretch[p] "\""
              break } }' <(pieces) <(sentences))

# The manual page carries the same sentences in its text lines, its escapes read
# as what they print.
man_text=$(sed -e "/^[.']/d" -e 's/\\-/-/g; s/\\&//g; s/\\(dq/"/g; s/\\f[BIRP]//g' \
    -e "s/\\\\(aq/'/g" -e 's/\\e/\\/g' data/tarvex.1.in | tr '\n' ' ')
while read -r sentence; do
    [[ $man_text == *"$sentence"* ]] ||
        tarvex_fail --later "data/tarvex.1.in does not carry \`$sentence\` (docs/messages.md): add it to DIAGNOSTICS"
done < <(sentences)

# The README stays one screenful or two; the rest is in docs/.
readme_lines=$(wc -l <README.md)
[ "$readme_lines" -le 150 ] ||
    tarvex_fail --later "README.md has $readme_lines lines, at most 150: move the detail to docs/"

[ "$tarvex_failures" -eq 0 ] ||
    tarvex_fail "$tarvex_failures problem(s) above: mend the link, name the folder in docs/architecture.md, or bring docs/messages.md, the manual page and the README in line"
