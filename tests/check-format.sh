#!/usr/bin/env bash
# Every C++ file in the repository is formatted with the repository's .clang-format.
set -euo pipefail
cd "$1"
status=0
while IFS= read -r file; do
    clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || { echo "not formatted: $file"; status=1; }
done < <(git ls-files '*.cpp' '*.h')
exit $status
