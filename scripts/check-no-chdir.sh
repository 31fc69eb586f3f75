#!/usr/bin/env bash
# Fails, naming the lines, when code of src/ or tools/ changes the process's working directory:
# sample files are found as the program's directory joined with their names, and a working
# directory shared by the desktop's windows and the background Sampler window would be a race.
# Reading it (current_path() with no argument) is allowed.
set -euo pipefail
cd "${1:-"$(dirname "$0")/.."}"
pattern='current_path\([^)]|\bchdir\(|SetCurrentDirectory|QDir::setCurrent'
if grep -rnE "$pattern" src tools --include='*.cpp' --include='*.h'; then
    echo "the lines above change the working directory" >&2
    exit 1
fi
