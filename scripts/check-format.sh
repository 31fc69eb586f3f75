#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the project is not formatted by .clang-format, or
# when clang-format is not installed. Usage: scripts/check-format.sh [CLANG_FORMAT]
set -euo pipefail
clang_format=${1:-clang-format}
cd "$(dirname "$0")/.."
command -v "$clang_format" >/dev/null || {
    echo "check-format: $clang_format is not installed (Debian: clang-format; scripts/install-deps.sh installs it)" >&2
    exit 1
}
mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')
if output=$(printf '%s\0' "${files[@]}" |
    xargs -0 -n 32 -P "$(nproc)" "$clang_format" --dry-run --Werror 2>&1); then
    echo "all ${#files[@]} sources formatted"
    exit 0
fi
mapfile -t bad < <(sed -n -E 's/^(.+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' \
    <<<"$output" | sort -u)
if [[ ${#bad[@]} -eq 0 ]]; then
    echo "$output" >&2 # clang-format itself failed
    exit 1
fi
echo "Not formatted (run clang-format -i on them):" >&2
printf '  %s\n' "${bad[@]}" >&2
exit 1
