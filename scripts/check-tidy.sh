#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the sources that do not use Qt: the core, the device
# adapters and the command-line tool. Needs the build's compile_commands.json.
# Usage: scripts/check-tidy.sh BUILD_DIR [CLANG_TIDY]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-tidy.sh BUILD_DIR [CLANG_TIDY]}
tidy=${2:-clang-tidy}
# Only the sources this build compiles (the Windows-only ones are not among them here).
mapfile -t files < <(git ls-files 'src/*.cpp' | grep -v -E '/ui/|^src/ui/|^src/app/' |
    while read -r f; do grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)
jobs=$(nproc)
printf '%s\n' "${files[@]}" |
    xargs -P "$jobs" -n 4 "$tidy" -p "$build" --quiet 2>/dev/null >"$build/clang-tidy.log" || {
    grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u
    echo "clang-tidy found problems (full output: $build/clang-tidy.log)" >&2
    exit 1
}
echo "clang-tidy: ${#files[@]} files clean"
