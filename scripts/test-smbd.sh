#!/usr/bin/env bash
# A private smbd for the tests and benchmarks: a guest share "C" on one loopback address, port
# 445, with its own configuration and state under DIR. Needs root (port 445, guest account).
#   test-smbd.sh start DIR ADDRESS   starts it and waits until it listens
#   test-smbd.sh stop DIR            stops it by the pid in its pid file
# The daemon runs in its own session, so its shutdown signals only its own process group.
set -euo pipefail

cmd=${1:?start or stop}
dir=${2:?directory}

pid_of() {
    local f
    for f in "$dir"/pid/smbd*.pid; do
        [ -s "$f" ] && { cat "$f"; return 0; }
    done
    return 1
}

case "$cmd" in
start)
    address=${3:?address}
    smbd=$(command -v smbd || echo /usr/sbin/smbd)
    # Without a server the SMB tests skip themselves, saying why.
    [ -x "$smbd" ] || { echo "smbd is not installed (scripts/install-deps.sh): SMB tests skip"; exit 0; }
    [ "$(id -u)" -eq 0 ] || { echo "smbd on port 445 needs root: SMB tests skip"; exit 0; }
    "$0" stop "$dir" 2>/dev/null || true
    # smbd shares its port with any other smbd on the address: a leftover would answer instead.
    if (exec 3<>"/dev/tcp/$address/445") 2>/dev/null; then
        echo "something already listens on $address:445 (a leftover test server, or the system's smbd on all addresses)" >&2
        exit 1
    fi
    rm -rf "$dir"
    mkdir -p "$dir"/{lock,state,cache,private,pid,log,ncalrpc,share/C}
    chown -R nobody "$dir/share"
    if ! runuser -u nobody -- test -w "$dir/share/C"; then
        echo "the guest account cannot reach $dir/share/C: put it below folders others may enter" >&2
        exit 1
    fi
    cat > "$dir/smb.conf" <<CONF
[global]
    server role = standalone server
    interfaces = $address/8
    bind interfaces only = yes
    smb ports = 445
    disable netbios = yes
    server min protocol = SMB2_10
    map to guest = Bad User
    guest account = nobody
    load printers = no
    printcap name = /dev/null
    disable spoolss = yes
    rpc start on demand helpers = no
    kernel oplocks = no
    lock directory = $dir/lock
    state directory = $dir/state
    cache directory = $dir/cache
    private dir = $dir/private
    pid directory = $dir/pid
    ncalrpc dir = $dir/ncalrpc
    log file = $dir/log/smbd.log
    log level = 1
[C]
    path = $dir/share/C
    guest ok = yes
    guest only = yes
    read only = no
    create mask = 0666
CONF
    # A user with a password, for the tests of given credentials (the share's guest stays open).
    printf 'quorvel-test\nquorvel-test\n' | smbpasswd -c "$dir/smb.conf" -s -a nobody >/dev/null
    "$smbd" -D -s "$dir/smb.conf"
    for _ in $(seq 100); do
        if pid_of >/dev/null && (exec 3<>"/dev/tcp/$address/445") 2>/dev/null; then
            echo "smbd $(pid_of) on $address:445, share $dir/share/C"
            exit 0
        fi
        sleep 0.05
    done
    echo "smbd did not start; see $dir/log" >&2
    exit 1
    ;;
stop)
    pid=$(pid_of) || exit 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || exit 0
        sleep 0.05
    done
    kill -KILL "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
    ;;
*)
    echo "usage: $0 start DIR ADDRESS | stop DIR" >&2
    exit 2
    ;;
esac
