#!/usr/bin/env bash
# Installs the package into a clean Debian 12 root as a café would: apt pulls every dependency
# from Debian's package archive (this machine's apt sources), a new user makes a demo install and
# starts the console from the menu's command under Xvfb, then apt purges the package and nothing
# of it is left. Needs root and the archive; takes minutes. Usage: clean-install.sh DEB
# The root's tarball (made once with mmdebstrap) is kept in $QUORVEL_ROOT_CACHE, else
# ~/.cache/quorvel, between runs; delete it to start from a new one.
set -Eeuo pipefail
# A step that fails says which, rather than ending the check without a word.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
deb=$(readlink -f "$1")
started=$SECONDS
cache=${QUORVEL_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel}
tarball="$cache/debian12-root.tar"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ ! -f "$tarball" ]; then
    sources=/etc/apt/sources.list.d/debian.sources
    [ -f "$sources" ] || sources=/etc/apt/sources.list
    mkdir -p "$cache"
    # The root has apt and what the test drives the console with; the package brings the rest.
    mmdebstrap --variant=apt --include=ca-certificates,xvfb,xauth,xdotool bookworm "$tarball.part" "$sources"
    mv "$tarball.part" "$tarball"
fi
echo "root tarball: $tarball"

root=$(mktemp -d /var/tmp/quorvel-clean.XXXXXX)
cleanup() {
    for m in dev/shm dev/pts dev proc; do
        if mountpoint -q "$root/$m"; then umount -l "$root/$m"; fi
    done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
tar -xf "$tarball" -C "$root"
mkdir -p "$root/proc" "$root/dev"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs tmpfs "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/"
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"
}

# Every path of the system, but the user's home, the temporary folders and apt's and dpkg's records.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./home -o -path ./tmp -o -path ./var/tmp \
        -o -path ./var/lib/dpkg -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log -o -path ./run \) -prune \
        -o -print | sort)
}

in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >/dev/null
echo "installed with its dependencies after $((SECONDS - started)) s"

# A new user, as the café's operator: the demo install, then the menu entry's command from home.
in_root useradd -m cafe
in_root su cafe -c 'quorvel-setup --demo' >/dev/null
exec_line=$(grep '^Exec=' "$root/usr/share/applications/com.kelvarin.QuorvelServer.desktop")
[ "$exec_line" = "Exec=quorvel" ] || fail "the menu entry runs $exec_line"
cat >"$root/tmp/start.sh" <<'EOF'
set -eu
cd "$HOME"
quorvel >/tmp/console.log 2>&1 &
pid=$!
for i in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name '^QuorvelServer$' 2>/dev/null); do
        if xdotool getwindowgeometry "$id" | grep -q 'Geometry: 318x130$'; then
            cwd=$(readlink /proc/$pid/cwd)
            kill $pid
            echo "chooser shown; the console works in $cwd"
            exit 0
        fi
    done
    sleep 0.1
done
cat /tmp/console.log
exit 1
EOF
chmod 0755 "$root/tmp/start.sh"
out=$(in_root su cafe -c 'xvfb-run -a -s "-screen 0 1024x768x24" sh /tmp/start.sh') || fail "no chooser: $out"
echo "$out"
grep -q "works in /home/cafe/.local/share/quorvel/drive_c/Program Files/Kelvarin/QuorvelServer$" <<<"$out" ||
    fail "the console did not work from its install"

before=$(snapshot)
in_root apt-get purge -y -qq quorvel >/dev/null
after=$(snapshot)
new=$(comm -13 <(echo "$before") <(echo "$after"))
[ -z "$new" ] || fail "the purge added files: $new"
# What is left of the package's paths are folders other packages own too (/usr/bin, ...).
left=""
while read -r path; do
    path=${path#.}
    path=${path%/}
    [ -n "$path" ] || continue
    if [ -e "$root$path" ] || [ -L "$root$path" ]; then
        if [ ! -d "$root$path" ] || ! in_root dpkg-query -S "$path" >/dev/null 2>&1; then left+="$path"$'\n'; fi
    fi
done < <(dpkg-deb -c "$deb" | awk '{print $6}')
[ -z "$left" ] || fail "the purge left: $left"
! in_root dpkg-query -W quorvel >/dev/null 2>&1 || fail "dpkg still knows the package"
echo "purged: nothing of the package left"
echo "clean install passed in $((SECONDS - started)) s"
