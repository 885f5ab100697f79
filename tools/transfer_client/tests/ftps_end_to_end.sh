#!/bin/bash
# The client against a real FTP server with explicit TLS: vsftpd on 127.0.0.1
# with a certificate made here, and a throwaway local account whose name and
# password both hold an at sign, written "%%40" in the script as the import
# writes it. Usage: ftps_end_to_end.sh PATH_TO_CLIENT
# Exits 0 on success, 77 when it cannot run here (not root, no vsftpd).
set -u

client=$(realpath "${1:?path of the client}")
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || skip "needs root for the throwaway FTP account"
[ -x /usr/sbin/vsftpd ] || skip "/usr/sbin/vsftpd is not installed"
command -v openssl >/dev/null || skip "openssl is not installed"
command -v ss >/dev/null || skip "ss is not installed"

work=$(mktemp -d /tmp/transfer_client_e2e.XXXXXX)
account="ftptest@importarfac"
server_pid=""
made_account=0

stop_server() {
    if [ -n "$server_pid" ]; then
        # vsftpd runs in its own process group: its session children go too.
        kill -- "-$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
        server_pid=""
    fi
}
cleanup() {
    stop_server
    [ "$made_account" = 1 ] && userdel "$account" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# --- certificates: the server's, and another one the server does not have.
make_certificate() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
        -keyout "$work/$1.key" -out "$work/$1.pem" >/dev/null 2>&1 ||
        fail "openssl cannot make a certificate"
    openssl x509 -in "$work/$1.pem" -noout -fingerprint -sha256 | sed 's/.*=//' | tr 'A-F' 'a-f'
}
right_fingerprint=$(make_certificate server 127.0.0.1)
wrong_fingerprint=$(make_certificate other 127.0.0.1)
[ ${#right_fingerprint} = 95 ] || fail "unexpected fingerprint \"$right_fingerprint\""

# --- the account: its root folder is where the session starts.
chmod 755 "$work"
mkdir "$work/root" "$work/empty" "$work/run"
password="Cl@ve$(openssl rand -hex 6)"
if ! id "$account" >/dev/null 2>&1; then
    useradd --badname -M -d "$work/root" -s /bin/sh "$account" || fail "useradd refused $account"
fi
made_account=1  # a leftover of an earlier run is ours as well
usermod -d "$work/root" "$account" >/dev/null 2>&1 || fail "usermod"
echo "$account:$password" | chpasswd || fail "chpasswd"
chown "$account" "$work/root"

put_files() {
    for name in "$@"; do echo "contenido" >"$work/root/$name"; done
    chown "$account" "$work/root"/*
}
put_files "[RDE_12_20240131.txt" "[RDE_12_20240201.txt" "RDE_12_20240131.txt"

# --- the server, on a free port below the ephemeral range.
port_free() { [ -z "$(ss -Htan "sport = :$1")" ]; }
start_server() {
    local attempt
    for attempt in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 10000))
        port_free "$port" && port_free $((port + 1)) && port_free $((port + 2)) || continue
        cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_root=$work/root
chroot_local_user=NO
userlist_enable=NO
pam_service_name=vsftpd
secure_chroot_dir=$work/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
connect_from_port_20=NO
port_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$((port + 1))
pasv_max_port=$((port + 2))
ssl_enable=YES
rsa_cert_file=$work/server.pem
rsa_private_key_file=$work/server.key
force_local_logins_ssl=YES
force_local_data_ssl=YES
ssl_ciphers=HIGH
vsftpd_log_file=$work/vsftpd.log
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
CONF
        setsid /usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.out" 2>&1 &
        server_pid=$!
        local tries
        for tries in $(seq 50); do
            kill -0 "$server_pid" 2>/dev/null || break
            port_free "$port" || return 0
            sleep 0.1
        done
        stop_server
        echo "vsftpd did not start on port $port:" >&2
        cat "$work/vsftpd.out" >&2
    done
    fail "vsftpd cannot be started"
}
start_server

# --- one run of the client, as the import starts it, in a working folder of its own.
client_dir="$work/client"
mkdir "$client_dir"
run_client() {  # fingerprint password [port]
    local encoded_account=${account//@/%%40} encoded_password=${2//@/%%40}
    printf 'open ftpes://%s:%s@127.0.0.1:%s/ -certificate=""%s""\r\nrm [[]RDE_12_20240131.txt\r\nexit\r\n' \
        "$encoded_account" "$encoded_password" "${3:-$port}" "$1" >"$client_dir/borrar.txt"
    (cd "$client_dir" && timeout 60 "$client" " /script=borrar.txt") >"$work/client.out" 2>&1
    status=$?
    echo "client exit $status: $(cat "$work/client.out")"
}
expect_status() {
    [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1"
}
expect_remote() {  # present|absent name
    if [ "$1" = present ]; then
        [ -e "$work/root/$2" ] || fail "remote file $2 has gone"
    else
        [ ! -e "$work/root/$2" ] || fail "remote file $2 is still there"
    fi
}

# A server with another certificate: refused before the login is sent.
run_client "$wrong_fingerprint" "$password"
expect_status 4 "wrong fingerprint"
expect_remote present "[RDE_12_20240131.txt"
grep -q "$right_fingerprint" "$work/client.out" || fail "the message does not show the server's fingerprint"
if grep -q '"USER \|"PASS ' "$work/vsftpd.log" 2>/dev/null; then
    fail "the account was sent to a server with the wrong certificate"
fi

# The right certificate but a wrong password.
run_client "$right_fingerprint" "${password}x"
expect_status 5 "wrong password"
expect_remote present "[RDE_12_20240131.txt"

# The right certificate and account: exactly the named file goes.
run_client "$right_fingerprint" "$password"
expect_status 0 "right fingerprint"
expect_remote absent "[RDE_12_20240131.txt"
expect_remote present "[RDE_12_20240201.txt"
expect_remote present "RDE_12_20240131.txt"

# The same script again: nothing matches any more.
run_client "$right_fingerprint" "$password"
expect_status 6 "no matching file"
expect_remote present "[RDE_12_20240201.txt"

# A file the account may not delete: the server refuses DELE.
put_files "[RDE_12_20240131.txt"
chown root:root "$work/root" && chmod 755 "$work/root"
run_client "$right_fingerprint" "$password"
expect_status 7 "refused delete"
expect_remote present "[RDE_12_20240131.txt"

# No server at all.
stop_server
run_client "$right_fingerprint" "$password"
expect_status 3 "no server"

echo "PASS"
