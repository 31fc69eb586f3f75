#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the project is not formatted by .clang-format.
set -euo pipefail
clang_format=${1:-clang-format}
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r -d '' f; do
    if ! "$clang_format" --dry-run --Werror "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')
if [[ ${#bad[@]} -gt 0 ]]; then
    echo "Not formatted (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "all sources formatted"
