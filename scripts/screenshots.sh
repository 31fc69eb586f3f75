#!/usr/bin/env bash
# Takes the documentation's pictures on a virtual X display (Xvfb): the main window with the demo
# program, and the dialogs as their layout test shows them. Writes PNGs into docs/screenshots;
# rebuild afterwards so the user guide inside the application shows the new main window.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target velomire velomire-screenshots dialog_layout_test \
    main_frame_test
build=build/release
out="$PWD/docs/screenshots"
mkdir -p "$out"

# A settings file of its own, so the pictures never show this user's devices or recent files.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export VELOMIRE_SETTINGS_FILE="$scratch/velomire.ini"
screen=(-a -s "-screen 0 1280x800x24")

xvfb-run "${screen[@]}" "$build/src/app/velomire" --no-splash \
    --screenshot "$out/main-window.png" examples/demo/demo.vmp
echo "wrote $out/main-window.png"

# Options, Select Samples, Program Summary, Program and Sample number, Sending; the help window.
VELOMIRE_SCREENSHOT_DIR="$out" xvfb-run "${screen[@]}" "$build/tests/dialog_layout_test" >/dev/null
VELOMIRE_SCREENSHOT_DIR="$out" xvfb-run "${screen[@]}" "$build/tests/main_frame_test" \
    HelpContentsShowsTheUserGuide >/dev/null
# The two editors on the demo's stereo pad (its keyboard, its waveform with loop 1 playing) and
# Export disk image.
xvfb-run "${screen[@]}" "$build/src/app/velomire-screenshots" examples/demo "$out"
echo "wrote the dialogs' pictures into $out"
