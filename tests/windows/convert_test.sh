#!/usr/bin/env bash
# Add Samples' conversion on Windows writes the same bytes as on Linux: velomire-cli.exe (built with
# the codecs of scripts/build-windows-desktop.sh) and the Linux velomire-cli make a program from the
# same 24-bit WAV, AIFF, FLAC and Ogg Vorbis files, converting them to 16-bit WAV at the file's own
# rate, at 22050 Hz and at 44100 Hz with dither; every file they write must be identical. Then
# both import presets of Debian's General MIDI SoundFont bank (libgig on each side) onto a model of
# each family: the programs, their WAV files and the reports must be identical too.
# Usage: convert_test.sh LINUX_CLI WINDOWS_CLI   (WINDOWS_CLI: the one in the portable folder)
set -uo pipefail
cli=$1
exe=$2
skip=77

command -v wine >/dev/null || { echo "SKIP: Wine is not installed (Debian: wine, wine64)"; exit $skip; }
command -v sox >/dev/null || { echo "SKIP: sox is not installed"; exit $skip; }
[[ -f $exe ]] || { echo "SKIP: no $exe"; exit $skip; }

export WINEDEBUG=-all
# A prefix of its own beside the program's folder (the portable folder, which holds the DLLs it
# loads), apart from the desktop test's, which runs at the same time.
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$exe")/.." && pwd)/wineprefix-convert}
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
# shellcheck source=SCRIPTDIR/wine_setup.sh
source "$(dirname "$0")/wine_setup.sh"
make_wine_prefix || fail "Wine could not set up $WINEPREFIX"
# One Wine server for every program of the run, its services started away from the output.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1

mkdir -p "$work/sources"
(
    cd "$work/sources" &&
        sox -n -r 48000 -b 24 -c 2 tone.wav synth 0.5 sine 440 sine 660 vol 0.7 &&
        sox tone.wav tone.aiff && sox tone.wav tone.flac && sox tone.wav -C 5 tone.ogg &&
        sox -n -r 22050 -b 16 -c 1 square.flac synth 0.3 square 220 vol 0.5
) || fail "sox could not write the sources"
files=(tone.wav tone.aiff tone.flac tone.ogg square.flac)

run=0
for options in "" "--rate 22050" "--rate 44100 --dither"; do
    run=$((run + 1))
    for side in linux windows; do
        cp -rp "$work/sources" "$work/$side$run"
    done
    # shellcheck disable=SC2086 # the options are words
    (cd "$work/linux$run" && "$cli" new program.vmp "${files[@]}" --convert $options) \
        >"$work/linux$run.out" 2>&1 || fail "velomire-cli new $options: $(cat "$work/linux$run.out")"
    # shellcheck disable=SC2086
    (cd "$work/windows$run" && wine "$exe" new program.vmp "${files[@]}" --convert $options) \
        >"$work/windows$run.out" 2>&1 ||
        fail "velomire-cli.exe new $options: $(cat "$work/windows$run.out")"
    written=$(cd "$work/linux$run" && find . -type f -newer "$work/sources" | sort)
    [[ -n $written ]] || fail "velomire-cli new $options wrote nothing"
    [[ $written == "$(cd "$work/windows$run" && find . -type f -newer "$work/sources" | sort)" ]] ||
        fail "$options: velomire-cli.exe wrote other files than velomire-cli"
    for file in $written; do
        cmp "$work/linux$run/$file" "$work/windows$run/$file" ||
            fail "$options: $file differs between Windows and Linux"
    done
    label=$options
    [[ -n $label ]] || label="at each file's own rate"
    echo "ok: $label: $(wc -w <<<"$written") files alike"
done

# Presets of a real bank through libgig: the Windows build's (from Debian's source) and the Linux
# one must read them alike.
bank=/usr/share/sounds/sf2/TimGM6mb.sf2
if [[ ! -f $bank ]]; then
    echo "SKIP: no $bank (Debian: timgm6mb-soundfont)"
    exit $skip
fi
cp "$bank" "$work/bank.sf2"
for import in "Piano 1:3" "Standard:1" "Strings CLP:9" "Flute TB:0"; do
    preset=${import%:*} model=${import##*:}
    for side in linux windows; do mkdir -p "$work/$side-import$model"; done
    status=0
    (cd "$work" && "$cli" import bank.sf2 --instrument "$preset" --model "$model" \
        -o "linux-import$model/program.vmp" --report) >"$work/linux-import$model.out" 2>&1 ||
        status=$?
    [[ $status -eq 0 || $status -eq 3 ]] ||
        fail "velomire-cli import \"$preset\": $(cat "$work/linux-import$model.out")"
    windows_status=0
    (cd "$work" && wine "$exe" import bank.sf2 --instrument "$preset" --model "$model" \
        -o "windows-import$model\\program.vmp" --report) >"$work/windows-import$model.out" 2>&1 ||
        windows_status=$?
    [[ $windows_status -eq $status ]] ||
        fail "import \"$preset\": exit $windows_status on Windows, $status on Linux: $(cat "$work/windows-import$model.out")"
    diff <(sed 's/linux-import/IMPORT/; s/\r$//' "$work/linux-import$model.out") \
        <(sed 's/windows-import[0-9]*\\/IMPORT'"$model"'\//; s/\r$//' "$work/windows-import$model.out") ||
        fail "import \"$preset\": the reports differ between Windows and Linux"
    written=$(cd "$work/linux-import$model" && find . -type f | sort)
    [[ $written == "$(cd "$work/windows-import$model" && find . -type f | sort)" ]] ||
        fail "import \"$preset\": velomire-cli.exe wrote other files than velomire-cli"
    while read -r file; do # the sounds are named after the bank's samples, spaces and all
        cmp "$work/linux-import$model/$file" "$work/windows-import$model/$file" ||
            fail "import \"$preset\": $file differs between Windows and Linux"
    done <<<"$written"
    echo "ok: preset \"$preset\" onto model $model: $(wc -l <<<"$written") files alike"
done
