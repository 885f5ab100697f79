#!/usr/bin/env bash
# Installs the build into temporary prefixes and checks what a user gets: the program and the
# transfer client as executables that run, the desktop entry naming the installed program,
# its icon, and the systemd units of the nightly import. Usage: install_test.sh BUILD_DIR [CMAKE]
set -euo pipefail
build="$1"
cmake="${2:-cmake}"
work="$(mktemp -d /tmp/importarfac-install.XXXXXX)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

# The value of KEY in the desktop entry's main group.
entry_value() { sed -n "s/^$2=//p" "$1" | head -n 1; }

# Exec's program, undoing the entry's string escapes and the command line's double quotes.
exec_program() {
    local value="$1"
    value="${value//\\\\/\\}"
    if [[ "$value" == \"* ]]; then
        value="${value#\"}"
        value="${value%%\"*}"
    else
        value="${value%% *}"
    fi
    printf '%s' "$value"
}

# name | DESTDIR (empty: none) | prefix
cases=(
    "plain prefix||$work/plain"
    "prefix with a blank||$work/with blank/opt"
    "staged with DESTDIR|$work/stage|/opt/importarfac"
)

for c in "${cases[@]}"; do
    IFS='|' read -r case_name destdir prefix <<<"$c"
    root="$destdir$prefix"
    if ! DESTDIR="$destdir" "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
        fail "cmake --install failed: $(cat "$work/install.log")"
        continue
    fi

    for f in bin/importarfac bin/winscp.com; do
        [ -f "$root/$f" ] && [ -x "$root/$f" ] || fail "$f missing or not executable"
    done

    # The installed program runs (its libraries resolve) and refuses a bad command line.
    set +e
    "$root/bin/importarfac" --headless --no-such-switch >"$work/out" 2>"$work/err"
    status=$?
    set -e
    [ "$status" -eq 2 ] || fail "importarfac --headless --no-such-switch: exit $status, not 2"
    grep -q '^usage: importarfac' "$work/err" || fail "importarfac printed no usage: $(cat "$work/err")"

    # The installed client reads a script and stops at a line it does not know, unconnected.
    printf 'no-such-command\r\nexit\r\n' >"$work/script.txt"
    set +e
    "$root/bin/winscp.com" "/script=$work/script.txt" >"$work/out" 2>"$work/err"
    status=$?
    set -e
    [ "$status" -eq 2 ] || fail "winscp.com on an unknown command: exit $status, not 2"

    # The nightly import's units, the service naming the program where it was installed.
    unit="$root/lib/systemd/system/importarfac.service"
    grep -qxF "ExecStart=\"$prefix/bin/importarfac\" --headless --keep-going --settle 60 --report-dir /var/lib/importarfac/informes" "$unit" 2>/dev/null ||
        fail "the service does not run $prefix/bin/importarfac: $(grep ExecStart "$unit")"
    for f in lib/systemd/system/importarfac.timer lib/sysusers.d/importarfac.conf \
        lib/tmpfiles.d/importarfac.conf; do
        [ -f "$root/$f" ] || fail "$f missing"
    done

    entry="$root/share/applications/importarfac.desktop"
    if [ ! -f "$entry" ]; then
        fail "desktop entry missing"
        continue
    fi
    program="$(exec_program "$(entry_value "$entry" Exec)")"
    [ "$program" = "$prefix/bin/importarfac" ] || fail "Exec names '$program', not '$prefix/bin/importarfac'"
    [ -x "$destdir$program" ] || fail "Exec's program '$destdir$program' is not an executable"
    tryexec="$(entry_value "$entry" TryExec)"
    [ "${tryexec//\\\\/\\}" = "$prefix/bin/importarfac" ] || fail "TryExec is '$tryexec'"
    [ "$(entry_value "$entry" Name)" = "Importación de facturas" ] || fail "Name is '$(entry_value "$entry" Name)'"
    [ "$(entry_value "$entry" Icon)" = importarfac ] || fail "Icon is not importarfac"
    [ -f "$root/share/icons/hicolor/scalable/apps/importarfac.svg" ] || fail "icon missing"

    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" >"$work/validate" 2>&1 || fail "desktop-file-validate: $(cat "$work/validate")"
    else
        echo "note: desktop-file-validate not installed (package desktop-file-utils); entry not validated"
    fi
    echo "checked [$case_name]: $root"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install: every check passed"
