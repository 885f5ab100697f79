#!/usr/bin/env bash
# Builds the Debian package with cpack in the build folder and checks what it holds: the
# program, the transfer client, the desktop entry and icon, the systemd service and timer with
# their sysusers.d and tmpfiles.d entries, the maintainer scripts, and the libraries it
# declares. Where systemd-analyze is present, the units must pass its verify.
# Usage: package_test.sh BUILD_DIR [CPACK]
set -euo pipefail
build="$1"
cpack="${2:-cpack}"
work="$(mktemp -d /tmp/importarfac-package.XXXXXX)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

command -v dpkg-deb >/dev/null || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
if ! (cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
fi
shopt -s nullglob
debs=("$work/out"/importarfac_*.deb)
[ "${#debs[@]}" -eq 1 ] || { echo "FAIL: cpack made ${#debs[@]} packages"; exit 1; }
deb="${debs[0]}"
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
for f in ./usr/bin/importarfac ./usr/bin/winscp.com ./usr/share/applications/importarfac.desktop \
    ./usr/share/icons/hicolor/scalable/apps/importarfac.svg \
    ./usr/lib/systemd/system/importarfac.service ./usr/lib/systemd/system/importarfac.timer \
    ./usr/lib/sysusers.d/importarfac.conf ./usr/lib/tmpfiles.d/importarfac.conf; do
    grep -qxF "$f" "$work/files" || fail "the package lacks $f"
done

depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libfbclient2 libqt6core6 libqt6widgets6 libcurl4 libssl3; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends does not name $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = importarfac ] || fail "the package is not named importarfac"

dpkg-deb -e "$deb" "$work/control"
for s in postinst prerm postrm; do
    [ -x "$work/control/$s" ] || fail "no executable $s"
    sh -n "$work/control/$s" || fail "$s is not valid sh"
done
grep -q 'systemd-sysusers importarfac.conf' "$work/control/postinst" || fail "postinst makes no user"
grep -q 'install -m 0600 -o root -g root /dev/null /etc/importarfac/transfer-open-line' \
    "$work/control/postinst" || fail "postinst makes no owner-only open-line file"

dpkg-deb -x "$deb" "$work/root"
unit="$work/root/usr/lib/systemd/system/importarfac.service"
grep -q '^ExecStart=/bin/sh -c .exec "/usr/bin/importarfac" --headless --keep-going --report ' \
    "$unit" || fail "the service does not run /usr/bin/importarfac headless with a report: $(grep ExecStart "$unit")"
grep -qx 'User=importarfac' "$unit" || fail "the service does not run as importarfac"
grep -qx 'WorkingDirectory=/var/lib/importarfac' "$unit" || fail "the service's working directory"
grep -qx 'LoadCredential=transfer-open-line:/etc/importarfac/transfer-open-line' "$unit" ||
    fail "the service is not given the open line as its credential"
grep -q '^d /var/lib/importarfac/informes .* 90d$' "$work/root/usr/lib/tmpfiles.d/importarfac.conf" ||
    fail "the reports are not kept for 90 days"

if command -v systemd-analyze >/dev/null; then
    if ! systemd-analyze verify "$unit" "$work/root/usr/lib/systemd/system/importarfac.timer" \
        >"$work/verify" 2>&1; then
        fail "systemd-analyze verify: $(cat "$work/verify")"
    fi
    [ -s "$work/verify" ] && echo "systemd-analyze verify says: $(cat "$work/verify")"
else
    echo "note: systemd-analyze not installed; the units were not verified"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package: every check passed"
