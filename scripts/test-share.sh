#!/usr/bin/env bash
# Prints how much of the repository's C++ is tests: the lines of every tracked .cpp/.h under
# tests/ against those of all tracked C++ files (src, tests, bench, tools, fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files -- "$@" | grep -E '\.(cpp|h|hpp)$' | xargs -r cat | wc -l; }
all=$(count src tests bench tools fuzz)
tests=$(count tests)
echo "tests: $tests of $all C++ lines ($((tests * 100 / all)) %)"
