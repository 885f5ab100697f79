#!/usr/bin/env bash
# A throwaway FTP server with explicit TLS (vsftpd on 127.0.0.1) for the transfer tests; run it as root.
#   ftps_server.sh start DIR      DIR: an empty folder (mktemp -d). Writes DIR/server.env, to source with bash:
#                                 FTPS_PORT FTPS_ACCOUNT FTPS_PASSWORD FTPS_FINGERPRINT FTPS_OTHER_FINGERPRINT
#                                 FTPS_ROOT FTPS_PID FTPS_LOG FTPS_OPEN_LINE (the open line the import writes).
#                                 Exits 0 once it listens, 77 when it cannot run here, 1 on failure.
#   ftps_server.sh put DIR NAME...  files holding "contenido", owned by the account, in FTPS_ROOT
#   ftps_server.sh stop DIR       stops the server, deletes the account, leaves DIR; safe to repeat
set -u -o pipefail
umask 022

readonly VSFTPD=/usr/sbin/vsftpd
readonly ACCOUNT_PATTERN='^ftptest_[0-9a-f]+@importarfac$'
readonly START_ATTEMPTS=5
readonly LISTEN_TIMEOUT_TENTHS=50
readonly STOP_TIMEOUT_TENTHS=30
# Passive data ports above the control port: one per session the import may run at once.
readonly PASSIVE_PORTS=16

say() { printf 'ftps_server: %s\n' "$*" >&2; }
die() {
    say "$*"
    exit 1
}
skip() {
    say "cannot run here: $*"
    exit 77
}
usage() {
    printf 'usage: %s start DIR | stop DIR | put DIR NAME...\n' "$(basename "$0")" >&2
    exit 1
}

# Runs a command up to five times: useradd, userdel and chpasswd give up while
# another process holds the lock on /etc/passwd or /etc/shadow.
retry() {
    local attempt
    for attempt in 1 2 3 4 5; do
        "$@" && return 0
        sleep 0.3
    done
    return 1
}

# True while PID exists and is not a zombie (a dead process nobody reaped still
# answers kill -0).
alive() {
    local state
    state=$(sed -n 's/^[0-9]* (.*) \([A-Z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# True when PID is a live process of the vsftpd running DIR's configuration, so
# that a pid reused by another process is never signalled.
ours() {
    local pid=$1 dir=$2 argv0="" argv1=""
    { IFS= read -r -d '' argv0 && IFS= read -r -d '' argv1; } 2>/dev/null <"/proc/$pid/cmdline" || return 1
    [ "$argv0" = "$VSFTPD" ] && [ "$argv1" = "$dir/vsftpd.conf" ] || return 1
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$VSFTPD" ] && alive "$pid"
}

# The pids of the listener and of its session processes.
our_processes() {
    local entry
    for entry in /proc/[0-9]*; do
        ours "${entry#/proc/}" "$1" && echo "${entry#/proc/}"
    done
}

process_group() {
    sed -n 's/^[0-9]* (.*) [A-Z] [0-9-]* \([0-9-]*\) .*/\1/p' "/proc/$1/stat" 2>/dev/null
}

port_free() { [ -z "$(ss -Htan "( sport = :$1 )" 2>/dev/null)" ]; }

listening() {
    ss -Hltnp "( sport = :$2 )" 2>/dev/null | grep -q "pid=$1,"
}

# Prints the SHA-256 fingerprint of a certificate: lower case, colon separated.
fingerprint_of() {
    openssl x509 -in "$1" -noout -fingerprint -sha256 | sed 's/.*=//' | tr 'A-F' 'a-f'
}

make_certificate() {
    local dir=$1 name=$2
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" \
        -keyout "$dir/$name.key" -out "$dir/$name.pem" >/dev/null 2>&1 ||
        die "openssl cannot make a certificate"
    chmod 600 "$dir/$name.key"
}

# A cheap hash for a throwaway password: the system's default (yescrypt) spends tens of
# milliseconds of processor on every login, which many short sessions at once turn into
# seconds taken from the program under test.
set_password() { printf '%s:%s\n' "$1" "$2" | chpasswd -c SHA512 -s 1000; }

# Creates the account with DIR/root as its home and prints its name. The name is
# recorded in DIR/account before the account exists, so that stop finds it even
# when start dies half way.
create_account() {
    local dir=$1 account attempt
    for attempt in 1 2 3 4 5 6 7 8; do
        account="ftptest_$(openssl rand -hex 4)@importarfac"
        getent passwd "$account" >/dev/null && continue
        printf '%s\n' "$account" >"$dir/account" || return 1
        if useradd --badname -M -d "$dir/root" -s /bin/sh -c "throwaway FTP test account" \
            "$account" >&2; then
            echo "$account"
            return 0
        fi
        sleep 0.3
    done
    return 1
}

write_config() {
    local dir=$1 port=$2
    cat >"$dir/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
setproctitle_enable=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_root=$dir/root
chroot_local_user=NO
userlist_enable=NO
pam_service_name=vsftpd
secure_chroot_dir=$dir/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
connect_from_port_20=NO
port_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$((port + 1))
pasv_max_port=$((port + PASSIVE_PORTS))
ssl_enable=YES
rsa_cert_file=$dir/server.pem
rsa_private_key_file=$dir/server.key
force_local_logins_ssl=YES
force_local_data_ssl=YES
ssl_ciphers=HIGH
vsftpd_log_file=$dir/vsftpd.log
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
CONF
}

# True when PORT and the passive ports above it are free.
ports_free() {
    local p
    for ((p = $1; p <= $1 + PASSIVE_PORTS; p++)); do
        port_free "$p" || return 1
    done
}

# Starts vsftpd on a free port below the ephemeral range (the ports above it for
# passive data) and prints "PID PORT" once it listens.
launch() {
    local dir=$1 attempt port pid tick
    for ((attempt = 1; attempt <= START_ATTEMPTS; attempt++)); do
        port=$((20000 + RANDOM % 10000))
        ports_free "$port" || continue
        write_config "$dir" "$port"
        # In a session of its own, holding none of the caller's descriptors. Its
        # connections get process groups of their own: stop finds them by their
        # command line.
        setsid "$VSFTPD" "$dir/vsftpd.conf" </dev/null >"$dir/vsftpd.out" 2>&1 &
        pid=$!
        echo "$pid" >"$dir/vsftpd.pid"
        for ((tick = 0; tick < LISTEN_TIMEOUT_TENTHS; tick++)); do
            alive "$pid" || break
            if listening "$pid" "$port"; then
                [ "$(process_group "$pid")" = "$pid" ] || {
                    say "vsftpd (pid $pid) does not lead its own process group"
                    return 1
                }
                echo "$pid $port"
                return 0
            fi
            sleep 0.1
        done
        if alive "$pid"; then
            stop_server "$dir"
            say "vsftpd did not listen on 127.0.0.1:$port within $((LISTEN_TIMEOUT_TENTHS / 10))s"
        else
            wait "$pid"
            say "vsftpd exited with status $? before listening on 127.0.0.1:$port"
        fi
        cat "$dir/vsftpd.out" >&2
    done
    return 1
}

stop_server() {
    local dir=$1 pid pids tick signalled=no
    pid=$(cat "$dir/vsftpd.pid" 2>/dev/null)
    if [[ "$pid" =~ ^[0-9]+$ ]] && ours "$pid" "$dir"; then
        kill -TERM -- "-$pid" 2>/dev/null
        signalled=yes
    fi
    pids=$(our_processes "$dir")
    [ -n "$pids" ] || {
        [ "$signalled" = yes ] && say "vsftpd (pid $pid) stopped"
        rm -f "$dir/vsftpd.pid"
        return 0
    }
    # shellcheck disable=SC2086 # one pid a word
    kill -TERM $pids 2>/dev/null
    for ((tick = 0; tick < STOP_TIMEOUT_TENTHS; tick++)); do
        pids=$(our_processes "$dir")
        [ -n "$pids" ] || break
        sleep 0.1
    done
    if [ -n "$pids" ]; then
        say "killing vsftpd processes that ignored SIGTERM: ${pids//$'\n'/ }"
        # shellcheck disable=SC2086
        kill -KILL $pids 2>/dev/null
        for ((tick = 0; tick < STOP_TIMEOUT_TENTHS; tick++)); do
            pids=$(our_processes "$dir")
            [ -n "$pids" ] || break
            sleep 0.1
        done
        [ -z "$pids" ] || {
            say "vsftpd processes survived SIGKILL: ${pids//$'\n'/ }"
            return 1
        }
    fi
    say "vsftpd (pid $pid) stopped"
    rm -f "$dir/vsftpd.pid"
}

# Deletes the account recorded in DIR/account, but only while its home is still
# DIR/root: an account of the same name made by anyone else is left alone.
delete_account() {
    local dir=$1 account home
    [ -f "$dir/account" ] || return 0
    account=$(cat "$dir/account")
    [[ "$account" =~ $ACCOUNT_PATTERN ]] || {
        say "$dir/account does not name a test account; nothing deleted"
        return 1
    }
    home=$(getent passwd "$account" | cut -d: -f6)
    [ -n "$home" ] || return 0
    [ "$home" = "$dir/root" ] || {
        say "account $account has the home $home, not $dir/root; left alone"
        return 1
    }
    retry userdel "$account" || {
        say "cannot delete the account $account"
        return 1
    }
    say "account $account deleted"
}

cmd_stop() {
    local dir=$1 status=0
    [ -d "$dir" ] || return 0
    dir=$(cd "$dir" && pwd -P) || return 1
    stop_server "$dir" || status=1
    delete_account "$dir" || status=1
    return "$status"
}

# Undoes a start that did not finish: stops its server and deletes its account,
# leaving the logs in DIR.
undo_start() {
    local status=$?
    ((status == 0)) && return
    [ -s "$START_DIR/vsftpd.out" ] && {
        say "--- $START_DIR/vsftpd.out"
        cat "$START_DIR/vsftpd.out" >&2
    }
    cmd_stop "$START_DIR"
    exit "$status"
}

cmd_start() {
    local dir=$1 tool
    [ "$(id -u)" = 0 ] || skip "needs root for the throwaway FTP account"
    [ -x "$VSFTPD" ] || skip "$VSFTPD is not installed"
    for tool in openssl ss setsid setpriv useradd userdel chpasswd getent; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
    [ -f /etc/pam.d/vsftpd ] || skip "/etc/pam.d/vsftpd is missing: no local account can log in"

    [ -d "$dir" ] || die "$dir is not a folder (make it with mktemp -d)"
    dir=$(cd "$dir" && pwd -P) || die "cannot enter $dir"
    [[ "$dir" != *$'\n'* ]] || die "the path of DIR holds a line break"
    [ -z "$(ls -A "$dir")" ] || die "$dir is not empty"

    START_DIR=$dir
    trap undo_start EXIT
    trap 'exit 1' HUP INT TERM

    # The account only passes through DIR to reach its root.
    chmod 711 "$dir" || die "chmod $dir"
    mkdir "$dir/root" "$dir/empty" || die "cannot make $dir/root"

    # The server's certificate, and another one the server does not have.
    local fingerprint other_fingerprint
    make_certificate "$dir" server
    make_certificate "$dir" other
    fingerprint=$(fingerprint_of "$dir/server.pem")
    other_fingerprint=$(fingerprint_of "$dir/other.pem")
    local format='^([0-9a-f]{2}:){31}[0-9a-f]{2}$'
    [[ "$fingerprint" =~ $format ]] || die "unexpected fingerprint \"$fingerprint\""
    [[ "$other_fingerprint" =~ $format ]] || die "unexpected fingerprint \"$other_fingerprint\""
    [ "$fingerprint" != "$other_fingerprint" ] || die "both certificates have the same fingerprint"

    # The account: an at sign in its name and in its password, a name of its own
    # so that servers can run side by side, and DIR/root as the folder the session
    # starts in.
    local account password
    account=$(create_account "$dir") || die "useradd cannot make a test account"
    password="Cl@ve$(openssl rand -hex 6)"
    retry set_password "$account" "$password" || die "chpasswd refused the password of $account"
    chown -- "$account:" "$dir/root" || die "chown $dir/root"
    setpriv --reuid="$(id -u -- "$account")" --regid="$(id -g -- "$account")" --clear-groups \
        test -x "$dir/root" -a -w "$dir/root" ||
        die "$account cannot reach $dir/root: a folder above it is closed to other users"

    local started pid port
    started=$(launch "$dir") || die "vsftpd cannot be started"
    read -r pid port <<<"$started"

    local open_line
    open_line=$(printf 'open ftpes://%s:%s@127.0.0.1:%s/ -certificate=""%s""' \
        "${account//@/%%40}" "${password//@/%%40}" "$port" "$fingerprint")
    {
        printf 'FTPS_PORT=%q\n' "$port"
        printf 'FTPS_ACCOUNT=%q\n' "$account"
        printf 'FTPS_PASSWORD=%q\n' "$password"
        printf 'FTPS_FINGERPRINT=%q\n' "$fingerprint"
        printf 'FTPS_OTHER_FINGERPRINT=%q\n' "$other_fingerprint"
        printf 'FTPS_ROOT=%q\n' "$dir/root"
        printf 'FTPS_PID=%q\n' "$pid"
        printf 'FTPS_LOG=%q\n' "$dir/vsftpd.log"
        printf 'FTPS_OPEN_LINE=%q\n' "$open_line"
    } >"$dir/server.env.new" || die "cannot write $dir/server.env.new"
    chmod 600 "$dir/server.env.new" || die "chmod $dir/server.env.new"
    mv "$dir/server.env.new" "$dir/server.env" || die "cannot write $dir/server.env"
    (
        # shellcheck disable=SC1091
        . "$dir/server.env" && [ "$FTPS_OPEN_LINE" = "$open_line" ] && [ "$FTPS_ROOT" = "$dir/root" ]
    ) || die "$dir/server.env does not read back"

    trap - EXIT HUP INT TERM
    cat "$dir/server.env"
}

# Puts files holding "contenido" into the account's root folder, owned by the
# account. Names may hold any byte but "/" (and NUL, which no argument holds).
cmd_put() {
    local dir=$1 name
    shift
    [ $# -gt 0 ] || usage
    for name in "$@"; do
        case $name in
        '' | . | .. | */*) die "not a file name: $(printf %q "$name")" ;;
        esac
    done
    [ -f "$dir/server.env" ] || die "no $dir/server.env: start the server first"
    local FTPS_ROOT="" FTPS_ACCOUNT=""
    # shellcheck disable=SC1091
    . "$dir/server.env" || die "cannot read $dir/server.env"
    set -o noclobber # a new file each time, never one a link points to
    for name in "$@"; do
        if ! rm -f -- "$FTPS_ROOT/$name" || ! printf 'contenido\n' >"$FTPS_ROOT/$name" ||
            ! chown -- "$FTPS_ACCOUNT:" "$FTPS_ROOT/$name"; then
            die "cannot put $(printf %q "$name") into $FTPS_ROOT"
        fi
    done
}

[ $# -ge 2 ] || usage
case $1 in
start) [ $# -eq 2 ] || usage; cmd_start "$2" ;;
stop) [ $# -eq 2 ] || usage; cmd_stop "$2" ;;
put) cmd_put "${@:2}" ;;
*) usage ;;
esac
