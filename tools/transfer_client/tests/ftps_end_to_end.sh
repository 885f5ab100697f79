#!/bin/bash
# The client against a real FTP server with explicit TLS: vsftpd on 127.0.0.1
# started by ftps_server.sh, with a certificate it makes and a throwaway local
# account whose name and password both hold an at sign, written "%%40" in the
# script as the import writes it. Usage: ftps_end_to_end.sh PATH_TO_CLIENT
# Exits 0 on success, 77 when it cannot run here (not root, no vsftpd).
set -u

client=$(realpath "${1:?path of the client}")
server=$(dirname "$(realpath "$0")")/ftps_server.sh
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

server_dir=$(mktemp -d /tmp/transfer_client_e2e_server.XXXXXX)
work=$(mktemp -d /tmp/transfer_client_e2e.XXXXXX)
cleanup() {
    bash "$server" stop "$server_dir"
    rm -rf "$server_dir" "$work"
}
trap cleanup EXIT

# --- the server, its certificate, another one it does not have, and the account.
start_messages=$(bash "$server" start "$server_dir" 2>&1 >/dev/null)
case $? in
0) ;;
77) skip "$start_messages" ;;
*) fail "the FTP server did not start: $start_messages" ;;
esac
# shellcheck disable=SC1091 # written by ftps_server.sh start
. "$server_dir/server.env" || fail "cannot read $server_dir/server.env"
[ ${#FTPS_FINGERPRINT} = 95 ] || fail "unexpected fingerprint \"$FTPS_FINGERPRINT\""

put_files() {
    bash "$server" put "$server_dir" "$@" || fail "cannot put $* on the server"
}
put_files "[RDE_12_20240131.txt" "[RDE_12_20240201.txt" "RDE_12_20240131.txt"

# --- one run of the client, as the import starts it, in a working folder of its own.
client_dir="$work/client"
mkdir "$client_dir"
open_line() {  # fingerprint password
    printf 'open ftpes://%s:%s@127.0.0.1:%s/ -certificate=""%s""' \
        "${FTPS_ACCOUNT//@/%%40}" "${2//@/%%40}" "$FTPS_PORT" "$1"
}
[ "$(open_line "$FTPS_FINGERPRINT" "$FTPS_PASSWORD")" = "$FTPS_OPEN_LINE" ] ||
    fail "FTPS_OPEN_LINE is not the line the import writes: $FTPS_OPEN_LINE"
run_client() {  # open line
    printf '%s\r\nrm [[]RDE_12_20240131.txt\r\nexit\r\n' "$1" >"$client_dir/borrar.txt"
    (cd "$client_dir" && timeout 60 "$client" " /script=borrar.txt") >"$work/client.out" 2>&1
    status=$?
    echo "client exit $status: $(cat "$work/client.out")"
}
expect_status() {
    [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1"
}
expect_remote() {  # present|absent name
    if [ "$1" = present ]; then
        [ -e "$FTPS_ROOT/$2" ] || fail "remote file $2 has gone"
    else
        [ ! -e "$FTPS_ROOT/$2" ] || fail "remote file $2 is still there"
    fi
}

# A server with another certificate: refused before the login is sent.
run_client "$(open_line "$FTPS_OTHER_FINGERPRINT" "$FTPS_PASSWORD")"
expect_status 4 "wrong fingerprint"
expect_remote present "[RDE_12_20240131.txt"
grep -qF "$FTPS_FINGERPRINT" "$work/client.out" || fail "the message does not show the server's fingerprint"
if grep -q '"USER \|"PASS ' "$FTPS_LOG" 2>/dev/null; then
    fail "the account was sent to a server with the wrong certificate"
fi

# The right certificate but a wrong password.
run_client "$(open_line "$FTPS_FINGERPRINT" "${FTPS_PASSWORD}x")"
expect_status 5 "wrong password"
expect_remote present "[RDE_12_20240131.txt"

# The right certificate and account: exactly the named file goes.
run_client "$FTPS_OPEN_LINE"
expect_status 0 "right fingerprint"
expect_remote absent "[RDE_12_20240131.txt"
expect_remote present "[RDE_12_20240201.txt"
expect_remote present "RDE_12_20240131.txt"
# The server logs the logins it sees, so the check of the first run could fail.
grep -q '"USER ' "$FTPS_LOG" || fail "$FTPS_LOG shows no login"

# The same script again: nothing matches any more.
run_client "$FTPS_OPEN_LINE"
expect_status 6 "no matching file"
expect_remote present "[RDE_12_20240201.txt"

# A renewed certificate listed beside the one in use, in either order.
for pair in "$FTPS_OTHER_FINGERPRINT;$FTPS_FINGERPRINT" "$FTPS_FINGERPRINT;$FTPS_OTHER_FINGERPRINT"; do
    put_files "[RDE_12_20240131.txt"
    run_client "$(open_line "$pair" "$FTPS_PASSWORD")"
    expect_status 0 "two fingerprints $pair"
    expect_remote absent "[RDE_12_20240131.txt"
done

# A file the account may not delete: the server refuses DELE.
put_files "[RDE_12_20240131.txt"
chown root:root "$FTPS_ROOT" && chmod 755 "$FTPS_ROOT"
run_client "$FTPS_OPEN_LINE"
expect_status 7 "refused delete"
expect_remote present "[RDE_12_20240131.txt"

# No server at all.
bash "$server" stop "$server_dir" || fail "ftps_server.sh cannot stop the server"
getent passwd "$FTPS_ACCOUNT" >/dev/null && fail "the account $FTPS_ACCOUNT is still there"
run_client "$FTPS_OPEN_LINE"
expect_status 3 "no server"

echo "PASS"
