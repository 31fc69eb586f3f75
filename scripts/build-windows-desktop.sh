#!/usr/bin/env bash
# Builds the desktop application for 64-bit Windows with Debian's MinGW-w64 compiler.
#
# Debian ships no Qt, libsndfile, libsoxr or libgig for MinGW, so this script builds them from Debian's own
# source packages (fetched through apt with a private source list; the system's apt sources are not
# touched) and keeps them in a cache outside the clone:
#   Qt          $VELOMIRE_QT_WINDOWS, or ~/.cache/velomire/qt-<version>-gcc<version>-<hash>
#   the codecs and libgig  $VELOMIRE_LIBS_WINDOWS, or ~/.cache/velomire/libs-gcc<version>-<hash>
# where the hash covers the configure options, the patches and the toolchain. A build is installed
# into a temporary folder beside the cache and renamed into place only when complete, so a run
# stopped half-way never leaves a cache that looks whole.
#
#   scripts/build-windows-desktop.sh [STAGE]
# qt, libs: the cache of Qt, of the codecs; deps: both. build: both, then velomire.exe,
# velomire-cli.exe and every test in build/windows-desktop. packages: the portable folder of the
# programs there, its zip and the installer. app (the default): build, then packages.
# The test run (./test) builds its own copy into build/asan/windows-desktop, named by
#   VELOMIRE_WINDOWS_BUILD_DIR   the build directory (default build/windows-desktop)
#   VELOMIRE_WINDOWS_CXX_FLAGS   the compiler's optimisation flags (default CMake's Release, -O3)
#   VELOMIRE_WERROR              warnings as errors (default ON)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
stage=${1:-app}
cache_root=${VELOMIRE_WINDOWS_CACHE:-$HOME/.cache/velomire}
patches=$root/scripts/windows-patches
toolchain=$root/cmake/mingw-w64-x86_64-shared.cmake
jobs=$(nproc)
host_cmake_dir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake

# The script's own messages go to the first stderr, past the redirections of the logged steps.
exec 3>&2
say() { echo "build-windows-desktop: $*" >&3; }
die() { say "$*"; exit 1; }
upstream_version() { local v=${1#*:}; v=${v%-*}; echo "${v%%+*}"; }
installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || die "$1 is not installed (scripts/install-deps.sh)"; }
timed() {  # timed LABEL COMMAND...: runs it and reports its wall time and the load when it ended
    local start=$SECONDS status=0
    "${@:2}" || status=$?
    [[ $status -eq 0 ]] || return $status
    say "$1: $((SECONDS - start)) s (load average $(cut -d' ' -f1-3 /proc/loadavg))"
}

gcc_version=$(upstream_version "$(installed_version gcc-mingw-w64-x86-64-posix)")
gcc_version=${gcc_version%%-*}
qt_version=$(upstream_version "$(installed_version qt6-base-dev-tools)")

# deb-src lines for the Debian archives the system installs from (one-line and deb822 sources).
debian_src_lines() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        sed -nE 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?/deb-src \1/p' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        awk '
            function flush(   i, n, s, opt) {
                if (types ~ /(^| )deb( |$)/ && enabled != "no") {
                    opt = signed != "" ? "[signed-by=" signed "] " : ""
                    n = split(suites, s, " ")
                    for (i = 1; i <= n; i++) print "deb-src " opt uris " " s[i] " " comps
                }
                types = uris = suites = comps = signed = enabled = ""
            }
            /^[[:space:]]*#/ { next }
            /^[[:space:]]*$/ { flush(); next }
            { key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^ /, "") }
            key == "types" { types = $0 } key == "uris" { uris = $0 } key == "suites" { suites = $0 }
            key == "components" { comps = $0 } key == "signed-by" { signed = $0 }
            key == "enabled" { enabled = tolower($0) }
            END { flush() }' "$f"
    done | grep -E ' https?://[^ ]*/debian(-security)?/? ' || true
}

# The deb-src line of Debian's next release in the system's main archive (see gig_next_source).
debian_next_src_line() {
    debian_src_lines | awk -v suite="$gig_next_suite" '
        $0 !~ /-security/ { for (i = 1; i <= NF; i++) if ($i ~ /^https?:/) { $(i + 1) = suite; print; exit } }'
}

# apt_source PACKAGE[=VERSION] DIR: unpacks Debian's source package into DIR (patches applied).
apt_dir=
apt_opts=()
apt_source() {
    apt_init
    try_apt_source "$1" "$2" || { cat "$2/apt-source.log" >&2; die "apt-get source $1 failed"; }
}
apt_init() {
    if [[ -z $apt_dir ]]; then
        apt_dir=$(mktemp -d)
        chmod 755 "$apt_dir"
        mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
        { debian_src_lines; debian_next_src_line; } >"$apt_dir/sources.list"
        [[ -s $apt_dir/sources.list ]] || die "no Debian archive in /etc/apt/sources.list*"
        apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o APT::Sandbox::User="$(id -un)")
        apt-get "${apt_opts[@]}" update -qq
    fi
}
# try_apt_source PACKAGE[=VERSION] DIR: as apt_source, but a source the archive does not serve
# returns 1, with apt's words in DIR/apt-source.log.
try_apt_source() {
    apt_init
    mkdir -p "$2"
    (cd "$2" && apt-get "${apt_opts[@]}" source -qq "$1" >/dev/null 2>"$2/apt-source.log")
}

work=$(mktemp -d "${TMPDIR:-/tmp}/velomire-windows.XXXXXX")
cleanup() { rm -rf "$work" ${apt_dir:+"$apt_dir"}; }
trap cleanup EXIT

# into_cache DIR FUNCTION: runs FUNCTION PREFIX with a temporary prefix beside DIR, then renames it to
# DIR. The temporary folder of a stopped run is removed by the next one.
into_cache() {
    local dest=$1 build=$2 partial
    mkdir -p "$(dirname "$dest")"
    rm -rf "$dest".partial-*
    partial=$(mktemp -d "$dest.partial-XXXXXX")
    "$build" "$partial"
    # Configuration files that name the folder they were installed into name their final place.
    grep -rlIF "$partial" "$partial" | xargs -r sed -i "s|$partial|$dest|g"
    mv -T "$partial" "$dest"
    say "cached in $dest ($(du -sh "$dest" | cut -f1))"
}

# ---------------------------------------------------------------------------------------------------
# Qt: Core, Gui, Widgets, Network (the single-instance check's local socket) and Test (the widget
# tests), shared, release, with the windows platform plugin and the windowsvista style.
qt_options=(
    -release -shared -opensource -confirm-license
    -xplatform win32-g++ -qt-host-path /usr
    -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-pkg-config -no-openssl -no-zstd
    -qt-zlib -qt-libpng -no-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre
    -no-feature-sql -no-feature-xml -no-feature-printsupport -no-feature-concurrent
    # Debian's +dfsg source has no src/3rdparty/wintab
    -no-feature-tabletevent
    -no-feature-direct2d
)
qt_hash=$(cat <(printf '%s\n' "${qt_options[@]}") "$patches"/qt6-base/*.patch "$root"/cmake/mingw-w64-x86_64*.cmake |
    sha256sum | cut -c1-12)
qt_prefix=${VELOMIRE_QT_WINDOWS:-$cache_root/qt-$qt_version-gcc$gcc_version-$qt_hash}

build_qt() {
    local prefix=$1 host_version src
    host_version=$(installed_version qt6-base-dev-tools)
    say "Qt $qt_version for Windows is not cached: building it from Debian's qt6-base $host_version"
    timed "fetch qt6-base" apt_source "qt6-base=$host_version" "$work/qt"
    src=$(find "$work/qt" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*')
    [[ $(upstream_version "$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)") == "$qt_version" ]] ||
        die "the source of qt6-base is not the version of the host Qt ($qt_version)"
    local p
    for p in "$patches"/qt6-base/*.patch; do
        patch -d "$src" -p1 --quiet --forward <"$p" || die "patch $p does not apply"
    done
    mkdir -p "$work/qt/build"
    cd "$work/qt/build"
    timed "configure Qt" "$src/configure" -prefix "$prefix" "${qt_options[@]}" -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
        >"$work/qt/configure.log" 2>&1 || { tail -n 60 "$work/qt/configure.log" >&2; die "Qt's configure failed"; }
    timed "build Qt" nice -n 19 cmake --build . --parallel "$jobs" >"$work/qt/build.log" 2>&1 ||
        { grep -B5 -A20 -m3 'FAILED\|error:' "$work/qt/build.log" >&2; die "the build of Qt failed"; }
    cmake --install . --prefix "$prefix" >/dev/null
    cd "$root"
}

ensure_qt() {
    [[ -d $qt_prefix ]] || into_cache "$qt_prefix" build_qt
}

# ---------------------------------------------------------------------------------------------------
# The codecs of Add Samples: libsndfile (WAV, AIFF, FLAC, Ogg/Vorbis, Ogg/Opus) and libsoxr, static,
# each from the Debian source of the version the Linux build uses, so both convert alike.
lib_packages=(libogg-dev libvorbis-dev libflac-dev libopus-dev libsndfile1-dev libsoxr-dev)
lib_sources=()
for p in "${lib_packages[@]}"; do
    installed_version "$p" >/dev/null
    lib_sources+=("$(dpkg-query -W -f='${source:Package}=${source:Version}' "$p")")
done
lib_common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF)
declare -A lib_options=(
    [libogg]="-DINSTALL_DOCS=OFF"
    [libvorbis]=""
    [flac]="-DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON"
    [opus]="-DOPUS_BUILD_PROGRAMS=OFF -DOPUS_STACK_PROTECTOR=OFF"
    # FLAC's headers declare its functions as imported from a DLL unless told it is static.
    [libsndfile]="-DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_CPACK=OFF -DENABLE_MPEG=OFF -DENABLE_EXTERNAL_LIBS=ON -DINSTALL_MANPAGES=OFF -DCMAKE_C_FLAGS=-DFLAC__NO_DLL"
    [libsoxr]="-DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF"
)
# The optimisation flags of a library whose decoded numbers depend on them, in place of CMake's
# Release flags: libvorbis as its own configure builds it on x86 Linux under Debian's -O2 (fast
# math), so that an Ogg Vorbis file converts to the same 16-bit words on Windows as on Linux
# (with CMake's flags, 26 of 48,000 words of a test tone came out one step apart).
declare -A lib_cflags=(
    [libvorbis]="-O2 -ffast-math -mno-ieee-fp -fsigned-char -D_REENTRANT"
)
# libgig, for SoundFont 2 banks: static, from Debian's source of the version the Linux build links.
# Debian's archive no longer serves that source (libgig 4.3.0~ds1-2: its tarballs answer 404), so
# the source of Debian's next release, whose SoundFont reading is the same, stands in for it then.
installed_version libgig-dev >/dev/null
gig_source=$(dpkg-query -W -f='${source:Package}=${source:Version}' libgig-dev)
gig_next_source=libgig=4.4.1-1
gig_next_suite=trixie
gig_options=(--host=x86_64-w64-mingw32 --disable-shared --enable-static
    CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix "CXXFLAGS=-O2")

# shellcheck disable=SC2046 # the patches' names have no spaces
libs_hash=$(cat <(printf '%s\n' "${lib_sources[@]}" "${lib_common[@]}"
    for name in "${!lib_options[@]}"; do echo "$name ${lib_options[$name]}"; done | sort
    for name in "${!lib_cflags[@]}"; do echo "$name cflags ${lib_cflags[$name]}"; done | sort) \
    <(printf '%s\n' "$gig_source" "$gig_next_source" "${gig_options[@]}") \
    "$root"/cmake/mingw-w64-x86_64*.cmake $(find "$patches" -path "$patches/qt6-base" -prune -o -name '*.patch' -print | sort) |
    sha256sum | cut -c1-12)
libs_prefix=${VELOMIRE_LIBS_WINDOWS:-$cache_root/libs-gcc$gcc_version-$libs_hash}

# build_lib PREFIX SOURCE_PACKAGE=VERSION CMAKE_OPTIONS...
build_lib() {
    local prefix=$1 source=$2 name=${2%%=*} src p
    timed "fetch $name" apt_source "$source" "$work/$name"
    src=$(find "$work/$name" -mindepth 1 -maxdepth 1 -type d)
    for p in "$patches/$name"/*.patch; do
        [[ -f $p ]] || continue
        patch -d "$src" -p1 --quiet --forward <"$p" || die "patch $p does not apply"
    done
    timed "configure $name" cmake -S "$src" -B "$work/$name/build" "${lib_common[@]}" "${@:3}" \
        ${lib_cflags[$name]:+"-DCMAKE_C_FLAGS_RELEASE=${lib_cflags[$name]}"} \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVELOMIRE_WINDOWS_PREFIXES="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" >"$work/$name/configure.log" 2>&1 ||
        { tail -n 40 "$work/$name/configure.log" >&2; die "the configure of $name failed"; }
    timed "build $name" nice -n 19 cmake --build "$work/$name/build" --parallel "$jobs" \
        >"$work/$name/build.log" 2>&1 ||
        { grep -B5 -A20 -m3 'FAILED\|error:' "$work/$name/build.log" >&2; die "the build of $name failed"; }
    cmake --install "$work/$name/build" >/dev/null
}

# build_gig PREFIX: libgig's library and headers (autotools: its CMake file is for MSVC alone).
build_gig() {
    local prefix=$1 src
    if ! timed "fetch libgig" try_apt_source "$gig_source" "$work/libgig"; then
        say "Debian's archive no longer serves $gig_source: building $gig_next_source ($gig_next_suite)"
        rm -rf "$work/libgig"
        timed "fetch libgig" apt_source "$gig_next_source" "$work/libgig"
    fi
    src=$(find "$work/libgig" -mindepth 1 -maxdepth 1 -type d)
    # Debian's patches change only configure.ac and the Makefile.am files (the packaging folder's
    # place, the library folder), which this build does not use: the released configure and
    # Makefiles are kept, marked newer so that make does not ask for automake. Debian's packaging
    # folder replaces upstream's, whose Makefile the released configure still names.
    touch "$src/aclocal.m4" && touch "$src/configure" "$src/config.h.in"
    find "$src" -name Makefile.in -exec touch {} +
    touch "$src/debian/Makefile.in"
    mkdir -p "$work/libgig/build"
    (cd "$work/libgig/build" && timed "configure libgig" "$src/configure" --prefix="$prefix" \
        "${gig_options[@]}" >"$work/libgig/configure.log" 2>&1) ||
        { tail -n 40 "$work/libgig/configure.log" >&2; die "the configure of libgig failed"; }
    timed "build libgig" nice -n 19 make -C "$work/libgig/build/src" -j "$jobs" libgig.la \
        >"$work/libgig/build.log" 2>&1 ||
        { tail -n 40 "$work/libgig/build.log" >&2; die "the build of libgig failed"; }
    install -D -m 644 "$work/libgig/build/src/.libs/libgig.a" "$prefix/lib/libgig.a"
    mkdir -p "$prefix/include/libgig"
    cp "$src"/src/{RIFF,DLS,SF,gig,Korg,Serialization,sysdef}.h "$prefix/include/libgig/"
}

build_libs() {
    local prefix=$1 source
    say "the codecs for Windows are not cached: building ${lib_sources[*]} and libgig"
    for source in "${lib_sources[@]}"; do
        # shellcheck disable=SC2086 # the options are words
        build_lib "$prefix" "$source" ${lib_options[${source%%=*}]}
    done
    build_gig "$prefix"
}

ensure_libs() {
    [[ -d $libs_prefix ]] || into_cache "$libs_prefix" build_libs
}

# ---------------------------------------------------------------------------------------------------
# velomire.exe and velomire-cli.exe (preset windows-desktop), and the folder they run from.
build_dir=${VELOMIRE_WINDOWS_BUILD_DIR:-$root/build/windows-desktop}
version=$(sed -nE 's/^project\(Velomire VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
folder=$build_dir/Velomire-$version-windows-x64
mingw_runtime=(
    "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)"
    "$(x86_64-w64-mingw32-g++-posix -print-file-name=libgcc_s_seh-1.dll)"
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
)
# The DLLs Windows itself provides: what Wine provides in its stead.
wine_dlls=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wine/x86_64-windows

build_app() {
    export VELOMIRE_WINDOWS_PREFIXES="$qt_prefix;$libs_prefix"
    cd "$root"
    local options=(-B "$build_dir" "-DVELOMIRE_WERROR=${VELOMIRE_WERROR:-ON}")
    [[ -z ${VELOMIRE_WINDOWS_CXX_FLAGS:-} ]] ||
        options+=("-DCMAKE_CXX_FLAGS_RELEASE=$VELOMIRE_WINDOWS_CXX_FLAGS")
    timed "configure velomire" cmake --preset windows-desktop "${options[@]}" \
        >"$work/app-configure.log" 2>&1 ||
        { tail -n 40 "$work/app-configure.log" >&2; die "the configure of the Windows desktop build failed"; }
    # The programs and every test: the core's under Wine by tests/windows/wine_test.sh, the Qt
    # tests by tests/windows/desktop_test.sh.
    timed "build velomire" nice -n 19 cmake --build "$build_dir" >"$work/app-build.log" 2>&1 ||
        { grep -B5 -A30 -m3 'FAILED\|error' "$work/app-build.log" >&2; die "the Windows desktop build failed"; }
}

# Copies the programs, the DLLs they load, the user guide and the licence into $folder, then
# checks with objdump that every DLL any of them imports is in the folder or is one of Windows' own.
make_folder() {
    rm -rf "$folder"
    mkdir -p "$folder/platforms" "$folder/styles"
    cp "$build_dir/src/app/velomire.exe" "$build_dir/src/cli/velomire-cli.exe" "$folder/"
    local dll
    for dll in Core Gui Widgets Network; do
        cp "$qt_prefix/bin/Qt6$dll.dll" "$folder/"
    done
    cp "$qt_prefix/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
    cp "${mingw_runtime[@]}" "$folder/"
    cp "$root/docs/user-guide.md" "$folder/"
    # The licence the programs are conveyed under (libgig is linked into them).
    cp "$root/LICENSE" "$folder/LICENSE.txt"
    find "$folder" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    check_imports "$folder"
}

check_imports() {
    local dir=$1 missing=0 file import
    while read -r file; do
        while read -r import; do
            [[ -f $dir/$import ]] && continue
            # API sets (api-ms-win-*, ext-ms-*) are names the Windows 10 loader maps onto its own
            # DLLs; there is no such file on Windows either.
            [[ ${import,,} == api-ms-win-* || ${import,,} == ext-ms-* ]] && continue
            [[ -n $(find "$wine_dlls" -maxdepth 1 -iname "$import" -print -quit) ]] && continue
            say "$(basename "$file") loads $import, which is missing"
            missing=1
        done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done < <(find "$dir" -name '*.exe' -o -name '*.dll')
    [[ $missing -eq 0 ]] || die "DLLs are missing from $dir"
    say "every DLL the programs load is in $dir or is Windows' own"
}

# The portable zip of the folder and the installer made with NSIS from the same files.
# shellcheck disable=SC2016 # $INSTDIR is NSIS's own variable, written into the lists as it is
make_packages() {
    local name zip=Velomire-$version-windows-x64.zip setup=Velomire-$version-setup.exe file
    name=$(basename "$folder")
    rm -f "$build_dir/$zip" "$build_dir/$setup"
    (cd "$build_dir" && zip -qr9 "$zip" "$name")
    # NSIS lists: install every file of the folder, and on uninstall remove exactly those, then
    # the subfolders, deepest first.
    : >"$build_dir/files.nsh"
    : >"$build_dir/unfiles.nsh"
    while read -r file; do
        printf 'SetOutPath "$INSTDIR%s"\n' "$(dirname "/$file" | sed 's|^/$||; s|/|\\|g')" >>"$build_dir/files.nsh"
        printf 'File "%s"\n' "$folder/$file" >>"$build_dir/files.nsh"
        printf 'Delete "$INSTDIR\\%s"\n' "${file//\//\\}" >>"$build_dir/unfiles.nsh"
    done < <(cd "$folder" && find . -type f | sed 's|^\./||' | sort)
    while read -r file; do
        printf 'RMDir "$INSTDIR\\%s"\n' "${file//\//\\}" >>"$build_dir/unfiles.nsh"
    done < <(cd "$folder" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r)
    timed "makensis" makensis -V2 -DVERSION="$version" -DOUTFILE="$build_dir/$setup" \
        -DICON="$root/res/images/velomire.ico" -DFILES="$build_dir/files.nsh" \
        -DUNFILES="$build_dir/unfiles.nsh" "$root/res/windows/velomire.nsi" >"$work/makensis.log" 2>&1 ||
        { cat "$work/makensis.log" >&2; die "makensis failed"; }
    say "$build_dir/$zip ($(du -h "$build_dir/$zip" | cut -f1)), $build_dir/$setup ($(du -h "$build_dir/$setup" | cut -f1))"
}

case $stage in
    qt) ensure_qt ;;
    libs) ensure_libs ;;
    deps) ensure_qt && ensure_libs ;;
    build) ensure_qt && ensure_libs && build_app ;;
    packages) make_folder && make_packages ;;
    app) ensure_qt && ensure_libs && build_app && make_folder && make_packages ;;
    *) die "usage: $0 [qt|libs|deps|build|packages|app]" ;;
esac
