# shellcheck shell=bash
# Sourced by the Wine tests here.

# make_wine_prefix: makes the Wine prefix $WINEPREFIX when it is
# missing or was left half made:
# - Windows 10: a fresh prefix reports Windows 7, and Qt 6 needs 10;
# - every window in one virtual desktop of Wine's own: on an X server without a window manager
#   (Xvfb), Wine waits two seconds for each hidden top-level window to be withdrawn by the window
#   manager, which never answers; inside Wine's desktop no window is one of X's.
make_wine_prefix() {
    local ready=$WINEPREFIX/velomire-prefix-made
    [[ -f $ready ]] && return 0
    rm -rf "$WINEPREFIX"
    wine wineboot --init >/dev/null 2>&1 &&
        winecfg -v win10 >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f \
            >/dev/null 2>&1 &&
        wineserver -w || return 1
    touch "$ready"
}

# runtime_path BUILD_DIR: the WINEPATH under which the programs of a Windows build find the DLLs
# they load: Qt's (and through them Qt's plugins) when the build uses Qt, and the MinGW runtime.
runtime_path() {
    local qt_cmake dirs=()
    qt_cmake=$(sed -n 's/^Qt6_DIR:[A-Z]*=//p' "$1/CMakeCache.txt")
    [[ -d $qt_cmake ]] && dirs+=("$(cd "$qt_cmake/../../../bin" && pwd)")
    dirs+=("$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
        /usr/x86_64-w64-mingw32/lib)
    local dir
    for dir in "${dirs[@]}"; do winepath -w "$dir"; done | paste -sd';'
}
