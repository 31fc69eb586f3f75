#!/usr/bin/env bash
# Installs the Debian packages this project builds, tests and runs with, when they are missing.
# Works as root or through sudo; does nothing when everything is already there.
# --windows: then also what the Windows build needs and Debian ships no MinGW build of (Qt, the
# codecs), built once per machine from Debian's sources into the cache outside the clone by
# scripts/build-windows-desktop.sh (11 to 17 minutes on two cores; quick when it is there).
# ./test, which builds and tests the Windows application, asks for it; ./run does not.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format clang-tidy libclang-rt-14-dev
    qt6-base-dev libasound2-dev librtmidi-dev librtaudio-dev libjack-jackd2-dev
    libsndfile1-dev libsoxr-dev
    nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
    jackd2 jack-tools xvfb xauth imagemagick sox
    # the test jack_database asks pgrep whether a JACK server runs
    procps
    # the tidy check and the mutation check
    python3
    # velomire-cli.exe: the MinGW-w64 cross compiler, GoogleTest's sources for it, Wine to run it
    g++-mingw-w64-x86-64-posix googletest wine wine64
    # the desktop application for Windows (scripts/build-windows-desktop.sh): Debian's sources of
    # Qt and the codecs unpacked and patched, the portable zip and the installer
    patch zip unzip nsis
    # the Debian package: dpkg-shlibdeps finds its runtime dependencies
    dpkg-dev file
    # a reader of S1000 disk images written elsewhere, for the disk image tests
    libgig-dev gigtools
    # the importers' checks with real files: a General MIDI SoundFont bank from Debian, and a
    # converter of SoundFont banks to SFZ whose output the SFZ reader is checked against
    timgm6mb-soundfont polyphone
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
install_missing() {
    echo "Installing missing packages: ${missing[*]}" >&2
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; return 1; }
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    # jackd2 asks whether to enable real-time scheduling; answer for it.
    echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo[@]}" debconf-set-selections
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
[[ ${#missing[@]} -eq 0 ]] || install_missing

if [[ ${1:-} == --windows ]]; then
    "$(dirname "$0")"/build-windows-desktop.sh deps
fi
