#!/usr/bin/env bash
# Builds the Debian package of this build directory, checks what it declares and holds, unpacks
# it into a throw-away root (never installing it on this machine) and starts the velomire-cli it
# carries there. Usage: deb_test.sh BUILD_DIR
set -uo pipefail
build=$1
skip=77

for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (Debian: dpkg-dev)"; exit $skip; }
done
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
    ./usr/share/icons/hicolor/48x48/apps/velomire.png ./usr/share/doc/velomire/user-guide.md \
    ./usr/share/doc/velomire/copyright; do
    grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
grep -q '^License: GPL-3.0-or-later$' "$root/usr/share/doc/velomire/copyright" ||
    fail "the copyright file does not name GPL-3.0-or-later"
missing=$(ldd "$root/usr/bin/velomire" "$root/usr/bin/velomire-cli" | grep 'not found')
[[ -z $missing ]] || fail "libraries not found: $missing"
version=$("$root/usr/bin/velomire-cli" --version) || fail "the packaged velomire-cli did not start"
[[ $version == "velomire-cli "* ]] || fail "unexpected --version: $version"
echo "unpacked $(basename "$deb") into a throw-away root: $version"
