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
grep -qx 'ExecStart="/usr/bin/importarfac" --headless --keep-going --settle 60 --report-dir /var/lib/importarfac/informes' \
    "$unit" || fail "the service does not run /usr/bin/importarfac headless with its reports: $(grep ExecStart "$unit")"
grep -qx 'Environment=FIREBIRD_LOCK=/run/importarfac' "$unit" &&
    grep -qx 'RuntimeDirectory=importarfac' "$unit" ||
    fail "the embedded engine's lock files are not in the unit's runtime directory"
grep -qx 'SyslogIdentifier=importarfac' "$unit" || fail "the service has no journal identifier"
grep -qx 'User=importarfac' "$unit" || fail "the service does not run as importarfac"
grep -qx 'WorkingDirectory=/var/lib/importarfac' "$unit" || fail "the service's working directory"
grep -qx 'LoadCredential=transfer-open-line:/etc/importarfac/transfer-open-line' "$unit" ||
    fail "the service is not given the open line as its credential"
grep -q '^d /var/lib/importarfac/informes .* 90d$' "$work/root/usr/lib/tmpfiles.d/importarfac.conf" ||
    fail "the reports are not kept for 90 days"

# The maintainer scripts as dpkg runs them, with systemd running (a /run of their own) and
# every command they call recorded: the user comes from the sysusers file, the open line's
# file is made root's alone, and an upgrade keeps the timer enabled while a removal disables it.
if command -v unshare >/dev/null && unshare -m true 2>/dev/null; then
    mkdir -p "$work/fake"
    for c in systemctl systemd-sysusers systemd-tmpfiles install adduser; do
        printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n' "$c" "$work" >"$work/fake/$c"
        chmod +x "$work/fake/$c"
    done
    run_script() {  # script arguments...
        : >"$work/calls"
        unshare -m sh -c 'mount -t tmpfs none /run && mkdir -p /run/systemd/system &&
            PATH="$0:$PATH" exec sh "$@"' "$work/fake" "$work/control/$1" "${@:2}" ||
            fail "$1 $2 failed"
    }
    run_script postinst configure
    grep -qx 'systemd-sysusers importarfac.conf' "$work/calls" ||
        fail "postinst does not make the user from the sysusers file: $(cat "$work/calls")"
    grep -q '^install -m 0600 -o root -g root /dev/null /etc/importarfac/transfer-open-line$' \
        "$work/calls" || [ -e /etc/importarfac/transfer-open-line ] ||
        fail "postinst makes no owner-only open-line file: $(cat "$work/calls")"
    run_script prerm upgrade 1.0
    grep -q 'disable' "$work/calls" && fail "an upgrade disables the timer: $(cat "$work/calls")"
    run_script prerm remove
    grep -qx 'systemctl disable --now importarfac.timer' "$work/calls" ||
        fail "a removal does not disable the timer: $(cat "$work/calls")"
else
    echo "note: no mount namespace here; the maintainer scripts were not run"
fi

if command -v systemd-analyze >/dev/null; then
    # The service as installed, but naming the program extracted here, which exists.
    sed "s|\"/usr/bin/importarfac\"|\"$work/root/usr/bin/importarfac\"|" "$unit" >"$work/importarfac.service"
    cp "$work/root/usr/lib/systemd/system/importarfac.timer" "$work/importarfac.timer"
    if ! systemd-analyze verify "$work/importarfac.service" "$work/importarfac.timer" \
        >"$work/verify" 2>&1; then
        fail "systemd-analyze verify: $(cat "$work/verify")"
    fi
    [ -s "$work/verify" ] && echo "systemd-analyze verify says: $(cat "$work/verify")"
    if ! systemd-analyze security --offline=yes --threshold=20 "$work/importarfac.service" \
        >"$work/security" 2>&1; then
        fail "the service is exposed: $(tail -1 "$work/security")"
    fi
    echo "$(tail -1 "$work/security")"
else
    echo "note: systemd-analyze not installed; the units were not verified"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package: every check passed"
