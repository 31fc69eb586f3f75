#!/usr/bin/env bash
# Runs the cross-built Windows programs under Wine: the core tests and the command-line tests of
# the Windows build (its own CTest), then checks that velomire-cli.exe renders every model's bytes
# exactly as the Linux velomire-cli does, with programs and outputs named the Windows way (drive
# letters, backslashes). Usage: wine_test.sh LINUX_CLI WINDOWS_BUILD_DIR SOURCE_DIR
set -uo pipefail
cli=$1
winbuild=$2
source=$3
skip=77

command -v wine >/dev/null || { echo "SKIP: Wine is not installed (Debian: wine, wine64)"; exit $skip; }
exe=$winbuild/src/cli/velomire-cli.exe
[[ -x $exe ]] || { echo "SKIP: no cross build at $winbuild (needs g++-mingw-w64-x86-64-posix)"; exit $skip; }

# A prefix of its own, apart from the desktop test's, which runs at the same time.
export WINEPREFIX=$winbuild/wineprefix-core
export WINEDEBUG=-all
fail() { echo "FAIL: $*"; exit 1; }

# shellcheck source=SCRIPTDIR/wine_setup.sh
source "$(dirname "$0")/wine_setup.sh"
make_wine_prefix || fail "Wine could not set up $WINEPREFIX"
# One Wine server and its services for every program of the run (a fresh start costs seconds),
# ended with the run. The services are started here, away from the tests' output: started by a
# test, they would hold its output open and CTest would wait for them.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1

# The core's tests (the Qt tests run in desktop_test.sh, on a display), with the DLLs of a build
# that loads them on the PATH.
WINEPATH=$(runtime_path "$winbuild")
export WINEPATH
ctest --test-dir "$winbuild" -LE qt -j 2 --output-on-failure ||
    fail "the Windows tests failed under Wine"

work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k 2>/dev/null' EXIT
mkdir -p "$work/demo" "$work/out"
cp "$source"/examples/demo/* "$work/demo/"
# Both read the same saved settings: MIDI channel 4, exclusive channel 3.
printf '[Velomire]\r\nMidi%%20channel=3\r\nExclusive%%20channel=2\r\n' >"$work/settings.ini"
export VELOMIRE_SETTINGS_FILE=$work/settings.ini

# Wine's drive Z: is the Unix root.
windows_name() { echo "Z:${1//\//\\}"; }

for model in 0 1 2 3 4 5 6 7 8 9; do
    "$cli" render "$work/demo/demo.vmp" --model $model -o "$work/out/linux$model.syx" \
        --program-number 2 --sample-number 5 >/dev/null 2>"$work/err" ||
        fail "Linux render of model $model: $(cat "$work/err")"
    (cd "$work" && wine "$exe" render "$(windows_name "$work/demo/demo.vmp")" --model $model \
        -o "out\\windows$model.syx" --program-number 2 --sample-number 5 >/dev/null 2>"$work/err") ||
        fail "Windows render of model $model: $(grep -v '^ALSA lib' "$work/err")"
    cmp "$work/out/linux$model.syx" "$work/out/windows$model.syx" ||
        fail "model $model: velomire-cli.exe rendered other bytes than velomire-cli"
done
# A relative name with backslashes, from the program's own drive.
(cd "$work" && wine "$exe" info 'demo\demo.vmp' 2>/dev/null | grep -q 'sampleCount: [1-9]') ||
    fail "info with a relative Windows name"
echo "velomire-cli.exe renders the same bytes as velomire-cli for every model"
