#!/usr/bin/env bash
# Runs the Windows desktop build under Wine (a Windows 10 prefix with a desktop of its own: see
# wine_setup.sh):
# - the Qt tests of the Windows build (label "qt"), on Qt's windows platform (Wine passes no
#   QT_* variable to a Windows program, so the offscreen platform the tests ask for on Linux
#   stays unused), keeping pictures of the help window (Help > Contents) and of the dialogs in
#   BUILD_DIR/test-pictures;
# - the portable zip, unpacked into an empty folder: every DLL its programs import is in it or is
#   Windows' own, velomire-cli.exe starts, and velomire.exe draws the main window with the demo
#   program (the picture is kept in BUILD_DIR/test-pictures);
# - the installer installs silently, velomire.exe starts from the installed folder, and the
#   uninstaller leaves neither a file nor a registry key behind.
# Usage: desktop_test.sh BUILD_DIR SOURCE_DIR   (BUILD_DIR: build/windows-desktop)
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
skip=77

command -v wine >/dev/null || { echo "SKIP: Wine is not installed (Debian: wine, wine64)"; exit $skip; }
zip=$(find "$build" -maxdepth 1 -type f -name 'Velomire-*-windows-x64.zip' | head -n 1)
setup=$(find "$build" -maxdepth 1 -type f -name 'Velomire-*-setup.exe' | head -n 1)
[[ -n $zip && -n $setup ]] ||
    { echo "SKIP: no Windows desktop build in $build (scripts/build-windows-desktop.sh)"; exit $skip; }

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
fail() { echo "FAIL: $*"; exit 1; }
pictures=$build/test-pictures
rm -rf "$pictures"
mkdir -p "$pictures"
work=$(mktemp -d)

# Wine draws its desktop through X: one X server for the whole run, started before Wine's desktop
# process, which stays on its display.
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (Debian: xvfb)"; exit $skip; }
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 -u "$display_fd" display_number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$display_number
trap 'kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT

# shellcheck source=SCRIPTDIR/wine_setup.sh
source "$(dirname "$0")/wine_setup.sh"
make_wine_prefix || fail "Wine could not set up $WINEPREFIX"
# One Wine server for the run, its services started away from the tests' output. It lingers ten
# seconds after the last program ends (-p10; a bare -p would keep it for ever), so that
# `wineserver -w` below returns once the installer and the uninstaller have finished.
wineserver -p10 </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
wine cmd /c exit </dev/null >/dev/null 2>&1

# The Qt tests find the Qt DLLs (and through them Qt's plugins) and the MinGW runtime on the PATH.
WINEPATH=$(runtime_path "$build")
export WINEPATH
# The tests that keep pictures of what they show (the help window, the dialogs) keep them, as
# Windows draws them, in the pictures' folder.
VELOMIRE_SCREENSHOT_DIR=$(winepath -w "$pictures") \
    ctest --test-dir "$build" -L qt -j 2 --output-on-failure </dev/null ||
    fail "the Qt tests of the Windows build failed under Wine"
for picture in help-window options; do
    [[ -s $pictures/$picture.png ]] || fail "the Qt tests left no $picture.png"
done
echo "ok: $(cd "$pictures" && echo *.png)"
unset WINEPATH

# screenshot EXE NAME: the main window with the demo program, drawn by EXE into NAME.png.
screenshot() {
    local picture
    picture=$(winepath -w "$pictures/$2.png")
    (cd "$source" && timeout 180 wine "$1" --no-splash --screenshot "$picture" \
        'examples\demo\demo.vmp') >/dev/null 2>&1 ||
        fail "$1 --screenshot ended with $?"
    [[ -s $pictures/$2.png ]] || fail "$1 wrote no picture"
    echo "ok: $2.png ($(file -b "$pictures/$2.png" | cut -d, -f2))"
}

# The portable zip, on its own: nothing of the build or of the Qt cache beside it.
unzip -q "$zip" -d "$work/portable" || fail "cannot unzip $zip"
folder=$(find "$work/portable" -mindepth 1 -maxdepth 1 -type d)
[[ $(basename "$folder") == "$(basename "$zip" .zip)" ]] || fail "$zip holds no folder of its name"
wine_dlls=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wine/x86_64-windows
while read -r file; do
    while read -r import; do
        # API sets (api-ms-win-*, ext-ms-*) are names the Windows loader maps onto its own DLLs.
        [[ ${import,,} == api-ms-win-* || ${import,,} == ext-ms-* ]] && continue
        [[ -f $folder/$import || -n $(find "$wine_dlls" -maxdepth 1 -iname "$import" -print -quit) ]] ||
            fail "${file#"$folder"/} imports $import, which the zip lacks"
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$folder" -name '*.exe' -o -name '*.dll')
for file in velomire.exe velomire-cli.exe platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    user-guide.md LICENSE.txt; do
    [[ -f $folder/$file ]] || fail "the zip lacks $file"
done
echo "ok: every DLL the zip's programs import is in it or is Windows' own"
wine "$folder/velomire-cli.exe" --version </dev/null 2>/dev/null | grep -q '^velomire-cli ' ||
    fail "velomire-cli.exe from the zip does not start"
screenshot "$folder/velomire.exe" portable

# NSIS reads /D= up to the end of the command line, unquoted: Wine would quote an argument with a
# space, so the command line goes through cmd as it is.
wine cmd /c "$(winepath -w "$setup") /S /D=C:\Velomire Test" </dev/null ||
    fail "the installer ended with $?"
wineserver -w
installed="$WINEPREFIX/drive_c/Velomire Test"
for file in velomire.exe velomire-cli.exe Qt6Core.dll platforms/qwindows.dll Uninstall.exe; do
    [[ -f $installed/$file ]] || fail "the installer did not install $file"
done
wine reg query 'HKLM\Software\Classes\.vmp' 2>/dev/null | grep -q Velomire.Program ||
    fail "no .vmp file association"
[[ -n $(find "$WINEPREFIX/drive_c/ProgramData" -iname 'Velomire.lnk') ]] || fail "no Start-menu entry"
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
