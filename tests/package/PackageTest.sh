#!/usr/bin/env bash
# Builds the package, unpacks it into a temporary root and checks what an install gets.
# Arguments: source tree, project version, 1 when the tree builds the command-line tool, and
# the directory to build the package in (outside the source tree).
set -uo pipefail
source=$1 version=$2 with_cli=$3 tree=$4

deb=$("$source/tools/package" "$tree" | tail -n 1) || { echo "FAIL: tools/package"; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || exit 1

failures=0
check() {
    local what=$1
    shift
    if ! "$@" >/dev/null 2>&1; then
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

programs=(vr7c-console vr7c-sim)
((with_cli)) && programs+=(vr7c)
for program in "${programs[@]}"; do
    check "$program installed" test -x "$root/usr/bin/$program"
    check "$program manual page" test -s "$root/usr/share/man/man1/$program.1.gz"
done
for file in usr/share/applications/vr7c-console.desktop \
    usr/share/icons/hicolor/scalable/apps/vr7c-console.svg \
    usr/share/icons/hicolor/256x256/apps/vr7c-console.png \
    usr/share/doc/vr7c-console/copyright usr/share/doc/vr7c-console/changelog.gz; do
    check "$file" test -s "$root/$file"
done

desktop=$root/usr/share/applications/vr7c-console.desktop
check "desktop entry validates" desktop-file-validate "$desktop"
entry() { sed -n "s/^$1=//p" "$desktop"; }
check "desktop entry starts a packaged program" test -x "$root/usr/bin/$(entry Exec | cut -d' ' -f1)"
check "desktop entry's icon is packaged" test -s "$root/usr/share/icons/hicolor/scalable/apps/$(entry Icon).svg"
check "AppStream metadata validates" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
check "PNG icon is 256 x 256" test "$(od -An -tx1 -j16 -N8 "$root/usr/share/icons/hicolor/256x256/apps/vr7c-console.png" | tr -d ' ')" = 0000010000000100

rule=$root/usr/lib/udev/rules.d/70-vr7c-serial-adapters.rules
for driver in ftdi_sio ch341 cp210x pl2303 ttyACM uaccess 'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
    check "udev rule names $driver" grep -qF "$driver" "$rule"
done

control() { dpkg-deb -f "$deb" "$1"; }
check "package version is the project's" test "$(control Version)" = "$version"
for dependency in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-arphic-uming fonts-arphic-ukai \
    fonts-liberation2; do
    check "depends on $dependency" grep -q "$dependency" <<<"$(control Depends)"
done

check "vr7c-sim --help runs" grep -q -- "--station" <<<"$("$root/usr/bin/vr7c-sim" --help)"
((with_cli)) && check "vr7c --version runs" grep -qF "$version" <<<"$("$root/usr/bin/vr7c" --version)"

echo "package: $deb"
((failures == 0))
