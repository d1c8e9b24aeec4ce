#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built. Usage:
#   check-package.sh CHECK DEB VERSION
# CHECK is one of: control contents lintian desktop appstream manpages install-purge start.
set -Eeuo pipefail
# A step that fails says which, rather than ending the check without a word.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
check=$1
deb=$(readlink -f "$2")
version=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# The start check runs under a display of its own when there is none.
if [ "$check" = start ] && [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The package's files, unpacked as dpkg would lay them out.
unpack() {
    dpkg-deb -x "$deb" "$work/root"
}

check_control() {
    local field value
    [ "$(dpkg-deb -f "$deb" Package)" = quorvel ] || fail "Package is not quorvel"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version, the project's"
    [ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "Architecture is not amd64"
    for field in Maintainer Section Priority Installed-Size Description; do
        [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field"
    done
    # The libraries the programs link, found by dpkg-shlibdeps, and what is loaded at run time.
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for value in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6network6 libsqlite3-0 \
        libsmbclient pxlib1 libsodium23 qt6-qpa-plugins fonts-noto-core fonts-liberation2; do
        grep -Eq "(^|, )$value( |,|$)" <<<"$depends" || fail "Depends lacks $value: $depends"
    done
    # The changelog and the metainfo speak of the same version as the package.
    local top
    top=$(dpkg-parsechangelog -l "$source_dir/packaging/changelog" -S Version)
    [ "$top" = "$version" ] || fail "packaging/changelog's top entry is $top, the package $version: add an entry"
    unpack
    grep -q "<release version=\"$version\"" "$work"/root/usr/share/metainfo/*.metainfo.xml ||
        fail "the metainfo's release is not $version"
    echo "control fields: $(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')"
}

# Each entry as "mode owner/group path[ -> target]", in the order of the archive.
listing() {
    dpkg-deb -c "$deb" | awk '{
        path = $6; for (i = 7; i <= NF; ++i) path = path " " $i
        sub(/^\./, "", path)
        print $1 " " $2 " " path
    }'
}

check_contents() {
    local expected="$source_dir/packaging/contents.txt"
    if ! diff -u <(grep -v '^#' "$expected") <(listing | LC_ALL=C sort -k3); then
        fail "the package's contents differ from packaging/contents.txt (- expected, + built)"
    fi
    echo "contents: $(listing | wc -l) entries as listed"
}

check_lintian() {
    # Errors and warnings fail; what the package's overrides list is reviewed and shown as such.
    lintian --fail-on error,warning --show-overrides --info "$deb"
    echo "lintian: no error, no warning"
}

check_desktop() {
    unpack
    local entries=("$work"/root/usr/share/applications/*.desktop)
    [ ${#entries[@]} -eq 2 ] || fail "expected two menu entries, found ${#entries[@]}"
    desktop-file-validate "${entries[@]}"
    local entry key
    for entry in "${entries[@]}"; do
        for key in 'Name\[ar\]' 'GenericName\[ar\]' 'Comment\[ar\]' 'Keywords\[ar\]'; do
            grep -q "^$key=" "$entry" || fail "$(basename "$entry") has no $key"
        done
        # The entry's command and icon are in the package.
        local exec icon
        exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        icon=$(sed -n 's/^Icon=//p' "$entry")
        [ -L "$work/root/usr/bin/$exec" ] || fail "$(basename "$entry") starts $exec, not in /usr/bin"
        [ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no SVG icon $icon"
        local size
        for size in 16 22 24 32 48 64 128 256; do
            local png="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
            file "$png" | grep -q "PNG image data, $size x $size" || fail "$icon: no ${size}x${size} PNG"
        done
    done
    echo "menu entries valid: $(basename -a "${entries[@]}" | tr '\n' ' ')"
}

check_appstream() {
    unpack
    appstreamcli validate --no-net --explain "$work"/root/usr/share/metainfo/*.metainfo.xml
    local metainfo=("$work"/root/usr/share/metainfo/*.metainfo.xml)
    grep -q '<name xml:lang="ar">' "${metainfo[0]}" || fail "no Arabic name"
    grep -q '<summary xml:lang="ar">' "${metainfo[0]}" || fail "no Arabic summary"
    grep -q '<screenshot' "${metainfo[0]}" || fail "no screenshot"
}

check_manpages() {
    unpack
    local command page warnings
    for command in "$work"/root/usr/bin/*; do
        page="$work/root/usr/share/man/man1/$(basename "$command").1.gz"
        [ -f "$page" ] || fail "$(basename "$command") has no manual page"
    done
    for page in "$work"/root/usr/share/man/man1/*.1.gz; do
        # As lintian renders them: any warning of groff or man is a fault of the page.
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
        zcat "$page" | grep -q '^\.SH NAME' || fail "$(basename "$page") has no NAME section"
    done
    echo "manual pages render without warnings: $(basename -a "$work"/root/usr/share/man/man1/*.1.gz | tr '\n' ' ')"
}

# Every path below the root but dpkg's own records.
root_files() {
    (cd "$1" && find . -path ./var/lib/dpkg -prune -o -print | sort)
}

check_install_purge() {
    local root="$work/empty-root"
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
    root_files "$root" >"$work/before"
    # The root holds no libraries: only the package's own files are installed and taken away.
    dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb"
    [ -x "$root/usr/libexec/quorvel/QuorvelServer" ] || fail "the console was not installed"
    dpkg --root="$root" --purge quorvel
    root_files "$root" >"$work/after"
    diff -u "$work/before" "$work/after" || fail "the purge left files behind"
    ! grep -q '^Package: quorvel$' "$root/var/lib/dpkg/status" || fail "dpkg still lists the package"
    echo "installed into an empty root and purged: nothing left"
}

# Waits up to 30 s for a condition.
wait_for() {
    local i
    for i in $(seq 300); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    return 1
}

# The id of a visible top window titled QuorvelServer of the given size ("318x130"), else nothing.
window_of_size() {
    local id
    for id in $(xdotool search --onlyvisible --name '^QuorvelServer$' 2>/dev/null); do
        if xdotool getwindowgeometry "$id" | grep -q "Geometry: $1\$"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# Under a display: the installed console, started from an unrelated folder with a prefix that
# holds nothing, offers an install, makes it and reaches its chooser, working from the install;
# started again, it goes straight to the chooser; the card creator too works from the install.
start_under_display() {
    local prefix="$work/prefix" elsewhere="$work/elsewhere" install pid offer
    local bin="$work/root/usr/bin"
    mkdir -p "$elsewhere"
    install="$prefix/drive_c/Program Files/Kelvarin/QuorvelServer"
    export QUORVEL_PREFIX="$prefix"
    export LC_ALL=C.UTF-8
    # The windows are looked for on the X server: a suite run offscreen must not hide them.
    unset QT_QPA_PLATFORM

    cd "$elsewhere"
    "$bin/quorvel" >"$work/console.log" 2>&1 &
    pid=$!
    wait_for "offer=\$(xdotool search --onlyvisible --name '^QuorvelServer\$' | head -1); [ -n \"\$offer\" ]" ||
        fail "no window appeared: $(cat "$work/console.log")"
    [ ! -e "$install" ] || fail "the install was made before the operator answered"
    xdotool windowfocus --sync "$offer" key Return
    wait_for 'window_of_size 318x130 >/dev/null' || fail "no chooser after the offer: $(cat "$work/console.log")"
    [ "$(readlink "/proc/$pid/cwd")" = "$install" ] || fail "the console works in $(readlink "/proc/$pid/cwd")"
    [ -f "$install/Data/Control/SumDays.DB" ] || fail "the install has no ledger"
    [ "$(readlink "$install/Card.exe")" = "$work/root/usr/libexec/quorvel/Card.exe" ] ||
        fail "the card creator is not linked from the programs' folder"
    [ ! -e "$prefix/unc" ] || fail "the offered install has demo stations"
    kill "$pid"
    wait "$pid" || true

    "$bin/quorvel" >"$work/console.log" 2>&1 &
    pid=$!
    wait_for 'window_of_size 318x130 >/dev/null' || fail "no chooser at the second start: $(cat "$work/console.log")"
    [ "$(readlink "/proc/$pid/cwd")" = "$install" ] || fail "the second console works in $(readlink "/proc/$pid/cwd")"
    kill "$pid"
    wait "$pid" || true

    "$bin/quorvel-cards" >"$work/cards.log" 2>&1 &
    pid=$!
    wait_for "xdotool search --onlyvisible --pid $pid >/dev/null 2>&1" ||
        fail "the card creator showed no window: $(cat "$work/cards.log")"
    [ "$(readlink "/proc/$pid/cwd")" = "$install" ] || fail "the card creator works in $(readlink "/proc/$pid/cwd")"
    kill "$pid"
    wait "$pid" || true
    echo "started from $elsewhere: offered the install, made it, reached the chooser; again; card creator"
}

check_start() {
    unpack
    start_under_display
}

case "$check" in
control) check_control ;;
contents) check_contents ;;
lintian) check_lintian ;;
desktop) check_desktop ;;
appstream) check_appstream ;;
manpages) check_manpages ;;
install-purge) check_install_purge ;;
start) check_start ;;
*) fail "unknown check $check" ;;
esac
