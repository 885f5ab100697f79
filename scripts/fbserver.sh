#!/usr/bin/env bash
# Starts and stops a private Firebird 3 SuperServer for the server tests.
#
#   scripts/fbserver.sh start DIR   prepare DIR as the server's root, start it on
#                                   127.0.0.1 (port 3056 or the next free one) and
#                                   print the lines of DIR/server.env
#   scripts/fbserver.sh stop DIR    stop the server recorded in DIR/server.env;
#                                   harmless when it is not running
#
# The server reads only DIR's configuration and its own security database, so a
# system server on 3050, its SYSDBA password and Debian's /etc/firebird/3.0 stay
# untouched. Clients need no FIREBIRD variable: Debian's client configuration
# speaks Srp and wire encryption, which is what this server asks for.
#
# Databases the server opens are opened by the server process (root here), so
# test databases belong in a folder it can reach, such as one under /tmp.
set -euo pipefail

readonly FB_HOME=/usr/lib/x86_64-linux-gnu/firebird/3.0
readonly FB_SERVER=/usr/sbin/firebird
readonly FB_ISQL=isql-fb
# The engine writes its log to a fixed path that FIREBIRD cannot redirect.
readonly FB_LOG=/var/log/firebird/firebird3.0.log
readonly FIRST_PORT=3056
readonly LAST_PORT=3155
readonly START_TIMEOUT_S=20
readonly STOP_TIMEOUT_S=3
readonly START_ATTEMPTS=5

say() { printf 'fbserver: %s\n' "$*" >&2; }
die() {
    say "$*"
    exit 1
}

usage() {
    printf 'usage: %s start|stop DIR\n' "$(basename "$0")" >&2
    exit 2
}

port_in_use() {
    local port=$1
    if command -v ss >/dev/null; then
        [ -n "$(ss -Htan exclude time-wait "( sport = :$port )" 2>/dev/null)" ]
    else
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
    fi
}

free_port() {
    local port
    for ((port = FIRST_PORT; port <= LAST_PORT; port++)); do
        if ! port_in_use "$port"; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# True when PID is a Firebird server whose root is DIR, so that a pid reused by
# another process after a crash is never signalled.
is_our_server() {
    local pid=$1 dir=$2
    [[ "$pid" =~ ^[0-9]+$ ]] || return 1
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$FB_SERVER" ] || return 1
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "FIREBIRD=$dir"
}

# True while PID exists and is not a zombie (a dead child that nobody reaped
# still answers kill -0).
alive() {
    local state
    state=$(sed -n 's/^[0-9]* (.*) \([A-Z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

running() {
    alive "$1" && is_our_server "$1" "$2"
}

recorded_pid() {
    local env_file=$1/server.env
    [ -f "$env_file" ] || return 0
    sed -n 's/^FB_TEST_PID=//p' "$env_file" | tail -n 1
}

# True once PID has a listening socket on 127.0.0.1:PORT.
listening() {
    local pid=$1 port=$2
    if command -v ss >/dev/null; then
        ss -Hltnp "( sport = :$port )" 2>/dev/null | grep -q "pid=$pid,"
    else
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
    fi
}

log_size() {
    if [ -f "$FB_LOG" ]; then stat -c %s "$FB_LOG"; else echo 0; fi
}

# Shows what the server said on stdout/stderr and what the engine wrote to its
# log since OFFSET.
show_logs() {
    local dir=$1 offset=$2
    if [ -s "$dir/server.log" ]; then
        say "--- $dir/server.log"
        cat "$dir/server.log" >&2
    fi
    if [ -f "$FB_LOG" ]; then
        say "--- $FB_LOG (new lines)"
        tail -c +"$((offset + 1))" "$FB_LOG" >&2 || true
    fi
}

# A root-owned engine log would lock the system server (user firebird) out of
# its own log; hand a log we brought into being to its usual owner.
restore_log_owner() {
    local existed=$1
    if [ "$existed" = no ] && [ -f "$FB_LOG" ] && id firebird >/dev/null 2>&1; then
        chown firebird:firebird "$FB_LOG" 2>/dev/null || true
        chmod 0660 "$FB_LOG" 2>/dev/null || true
    fi
}

write_config() {
    local dir=$1 port=$2
    cat >"$dir/firebird.conf" <<EOF
# Private test server; written by scripts/fbserver.sh.
ServerMode = Super
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
# Serve local files only; never relay to another server.
Providers = Engine12
SecurityDatabase = $dir/security3.fdb
AuthServer = Srp256, Srp
AuthClient = Srp256, Srp
UserManager = Srp
# Debian's client encrypts when the server offers it; clients that do not still connect.
WireCrypt = Enabled
TempDirectories = $dir/tmp
EOF
    cat >"$dir/databases.conf" <<EOF
security.db = $dir/security3.fdb
EOF
    # The engine looks for these beside its configuration when FIREBIRD is set.
    local item
    for item in plugins UDF lib firebird.msg plugins.conf; do
        ln -sfn "$FB_HOME/$item" "$dir/$item"
    done
    # The character sets are found only in a real folder: through a link ISO8859_1 reads
    # as "not installed". The folder's fbintl.conf names the module beside it.
    rm -rf "$dir/intl"
    cp -rL "$FB_HOME/intl" "$dir/intl"
}

# Runs isql-fb embedded against DIR's configuration (no server involved).
isql_embedded() {
    local dir=$1
    shift
    env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$dir" FIREBIRD_LOCK="$dir/lock" \
        FIREBIRD_TMP="$dir/tmp" "$FB_ISQL" -q -bail "$@"
}

create_security_db() {
    local dir=$1 password=$2
    rm -f "$dir/security3.fdb"
    isql_embedded "$dir" <<<"CREATE DATABASE '$dir/security3.fdb' USER 'SYSDBA';" ||
        die "cannot create $dir/security3.fdb"
    # The Srp manager lays out its own tables on the first CREATE USER.
    isql_embedded "$dir" -user SYSDBA "$dir/security3.fdb" <<EOF ||
CREATE USER SYSDBA PASSWORD '$password' USING PLUGIN Srp;
COMMIT;
EOF
        die "cannot create the SYSDBA user in $dir/security3.fdb"
}

# True when some process other than PID listens on PORT.
port_taken_by_other() {
    local pid=$1 port=$2 listeners
    command -v ss >/dev/null || return 1
    listeners=$(ss -Hltnp "( sport = :$port )" 2>/dev/null)
    [ -n "$listeners" ] && ! grep -q "pid=$pid," <<<"$listeners"
}

# Starts the server in the background and waits for it to listen. Sets
# LAUNCHED_PID; returns 1 when the server exited, 2 when it was killed for not
# listening in time, 3 when it was killed because another process took the port
# (the server would keep retrying the bind instead of giving up).
launch() {
    local dir=$1 port=$2 pid
    (
        cd "$dir"
        exec env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$dir" FIREBIRD_LOCK="$dir/lock" \
            FIREBIRD_TMP="$dir/tmp" "$FB_SERVER" </dev/null >"$dir/server.log" 2>&1
    ) &
    pid=$!
    LAUNCHED_PID=$pid
    local deadline=$((SECONDS + START_TIMEOUT_S))
    until listening "$pid" "$port"; do
        alive "$pid" || return 1
        if port_taken_by_other "$pid" "$port"; then
            kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            return 3
        fi
        if ((SECONDS >= deadline)); then
            kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            return 2
        fi
        sleep 0.2
    done
}

cmd_start() {
    local dir=$1
    [ -x "$FB_SERVER" ] || die "$FB_SERVER not found (package firebird3.0-server)"
    command -v "$FB_ISQL" >/dev/null || die "$FB_ISQL not found (package firebird3.0-utils)"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd -P)

    local old_pid
    old_pid=$(recorded_pid "$dir")
    if [ -n "$old_pid" ] && running "$old_pid" "$dir"; then
        die "a server is already running for $dir (pid $old_pid); stop it first"
    fi

    local log_existed=yes
    [ -f "$FB_LOG" ] || log_existed=no

    rm -f "$dir/server.env" "$dir/server.log"
    rm -rf "$dir/lock" "$dir/tmp"
    mkdir -p "$dir/lock" "$dir/tmp"

    local port password
    port=$(free_port) || die "no free port in $FIRST_PORT..$LAST_PORT"
    password=$(od -An -tx1 -N12 /dev/urandom | tr -d ' \n')
    write_config "$dir" "$port"
    create_security_db "$dir" "$password"

    # Another process may take the chosen port before the server binds it; the
    # server then exits or keeps retrying the bind, and the next free port is tried.
    local offset pid attempt
    for ((attempt = 1; ; attempt++)); do
        offset=$(log_size)
        local status=0
        launch "$dir" "$port" || status=$?
        ((status == 0)) && break
        show_logs "$dir" "$offset"
        restore_log_owner "$log_existed"
        if ((status != 2)) && ((attempt < START_ATTEMPTS)) && port_in_use "$port"; then
            say "port $port was taken meanwhile; trying another"
            port=$(free_port) || die "no free port in $FIRST_PORT..$LAST_PORT"
            write_config "$dir" "$port"
            continue
        fi
        case $status in
        1) die "the server exited before listening on 127.0.0.1:$port" ;;
        3) die "port $port was taken by another process" ;;
        esac
        die "the server did not listen on 127.0.0.1:$port within ${START_TIMEOUT_S}s"
    done
    pid=$LAUNCHED_PID
    restore_log_owner "$log_existed"

    cat >"$dir/server.env" <<EOF
FB_TEST_SERVER=localhost/$port
FB_TEST_USER=SYSDBA
FB_TEST_PASSWORD=$password
FB_TEST_PID=$pid
FB_TEST_PORT=$port
EOF
    cat "$dir/server.env"
}

cmd_stop() {
    local dir=$1
    [ -d "$dir" ] || {
        say "$dir does not exist; nothing to stop"
        return 0
    }
    dir=$(cd "$dir" && pwd -P)
    local pid
    pid=$(recorded_pid "$dir")
    if [ -z "$pid" ] || ! running "$pid" "$dir"; then
        say "no server running for $dir"
        return 0
    fi

    # Firebird 3.0.11 starts its signal thread before that thread can see the
    # shutdown semaphore, so many servers never act on SIGTERM; like fbguard,
    # give it a few seconds and then kill it. Committed work is on disk already
    # (forced writes), and start clears the lock files a killed server leaves.
    kill -TERM "$pid" 2>/dev/null || true
    local tick
    for ((tick = 0; tick < STOP_TIMEOUT_S * 5; tick++)); do
        running "$pid" "$dir" || break
        sleep 0.2
    done
    if running "$pid" "$dir"; then
        say "pid $pid did not stop within ${STOP_TIMEOUT_S}s of SIGTERM; killing it"
        kill -KILL "$pid" 2>/dev/null || true
        for ((tick = 0; tick < 25; tick++)); do
            alive "$pid" || break
            sleep 0.2
        done
        alive "$pid" && die "pid $pid survived SIGKILL"
    fi
    say "stopped server pid $pid ($dir)"
}

[ $# -eq 2 ] || usage
case "$1" in
start) cmd_start "$2" ;;
stop) cmd_stop "$2" ;;
*) usage ;;
esac
