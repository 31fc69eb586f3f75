#!/usr/bin/env bash
# Builds the Debian package of this build directory, checks what it declares and holds, installs
# it with apt-get and starts the installed velomire-cli. Installing needs root: skipped otherwise.
# A velomire package that was not installed before is removed again. Usage: deb_test.sh BUILD_DIR
set -uo pipefail
build=$1
skip=77

[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing the package needs root"; exit $skip; }
for tool in cpack dpkg dpkg-shlibdeps apt-get; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (Debian: dpkg-dev)"; exit $skip; }
done
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
was_installed=$(dpkg-query -W -f='${Status}' velomire 2>/dev/null | grep -c 'install ok installed')
cleanup() {
    [[ $was_installed -eq 0 ]] && apt-get remove -y -qq -o DPkg::Lock::Timeout=300 velomire >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/velomire_*.deb 2>/dev/null | head -1)
[[ -f $deb ]] || fail "cpack made no velomire_*.deb: $(cat "$work/cpack.log")"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libasound2 librtmidi libjack; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/velomire ./usr/bin/velomire-cli ./usr/share/man/man1/velomire-cli.1 \
    ./usr/share/applications/velomire.desktop ./usr/share/mime/packages/velomire.xml \
    ./usr/share/icons/hicolor/48x48/apps/velomire.png ./usr/share/doc/velomire/user-guide.md; do
    grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 || fail "apt-get: $(cat "$work/apt.log")"
version=$(/usr/bin/velomire-cli --version) || fail "the installed velomire-cli did not start"
[[ $version == "velomire-cli "* ]] || fail "unexpected --version: $version"
echo "installed $(basename "$deb"): $version"
