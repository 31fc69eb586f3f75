#!/usr/bin/env bash
# Runs the Windows desktop build under Wine (a Windows 10 prefix: Qt 6 needs it, and a fresh Wine
# prefix reports Windows 7): velomire.exe from the portable folder draws the main window with the
# demo program; the installer installs silently, velomire.exe starts from the installed folder,
# and the uninstaller leaves neither a file nor a registry key behind.
# Usage: desktop_test.sh BUILD_DIR SOURCE_DIR   (BUILD_DIR: build/windows-desktop)
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
skip=77

command -v wine >/dev/null || { echo "SKIP: Wine is not installed (Debian: wine, wine64)"; exit $skip; }
command -v xvfb-run >/dev/null || { echo "SKIP: xvfb-run is not installed (Debian: xvfb)"; exit $skip; }
folder=$(find "$build" -maxdepth 1 -type d -name 'Velomire-*-windows-x64' | head -n 1)
setup=$(find "$build" -maxdepth 1 -type f -name 'Velomire-*-setup.exe' | head -n 1)
[[ -n $folder && -n $setup ]] ||
    { echo "SKIP: no Windows desktop build in $build (scripts/build-windows-desktop.sh)"; exit $skip; }

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
fail() { echo "FAIL: $*"; exit 1; }
pictures=$build/test-pictures
rm -rf "$pictures"
mkdir -p "$pictures"

if [[ ! -f $WINEPREFIX/system.reg ]]; then
    wine wineboot --init >/dev/null 2>&1 || fail "wineboot could not set up $WINEPREFIX"
    winecfg -v win10 >/dev/null 2>&1 || fail "winecfg could not set Windows 10"
fi
trap 'wineserver -k 2>/dev/null' EXIT

# screenshot EXE NAME: the main window with the demo program, drawn by EXE into NAME.png.
screenshot() {
    local picture
    picture=$(winepath -w "$pictures/$2.png")
    (cd "$source" && timeout 180 xvfb-run -a -s "-screen 0 1280x1024x24" \
        wine "$1" --no-splash --screenshot "$picture" 'examples\demo\demo.vmp') >/dev/null 2>&1 ||
        fail "$1 --screenshot ended with $?"
    [[ -s $pictures/$2.png ]] || fail "$1 wrote no picture"
    echo "ok: $2.png ($(file -b "$pictures/$2.png" | cut -d, -f2))"
}

screenshot "$folder/velomire.exe" portable

wine "$setup" /S '/D=C:\Velomire Test' || fail "the installer ended with $?"
wineserver -w
installed="$WINEPREFIX/drive_c/Velomire Test"
for file in velomire.exe velomire-cli.exe Qt6Core.dll platforms/qwindows.dll Uninstall.exe; do
    [[ -f $installed/$file ]] || fail "the installer did not install $file"
done
wine reg query 'HKLM\Software\Classes\.vmp' 2>/dev/null | grep -q Velomire.Program ||
    fail "no .vmp file association"
screenshot "$installed/velomire.exe" installed

wine "$installed/Uninstall.exe" /S || fail "the uninstaller ended with $?"
wineserver -w # the uninstaller runs from a copy of itself and returns at once
[[ ! -e $installed ]] || fail "the uninstaller left $(find "$installed" | head -n 5)"
for key in 'HKLM\Software\Classes\.vmp' 'HKLM\Software\Classes\Velomire.Program' \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velomire'; do
    wine reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left $key"
done
[[ -z $(find "$WINEPREFIX/drive_c/ProgramData" -iname '*velomire*') ]] ||
    fail "the uninstaller left the Start-menu entry"
echo "ok: installed, started and uninstalled without a trace"
