#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a command with the real KAuth stack but nothing of the machine at stake:
# private mount, network and pid namespaces with loopback up, a throw-away
# copy of /etc/ssh, a tmpfs on /run and a private system bus that activates
# polkitd and the installed helper as root on demand.
#
#   tests/e2e/run-in-sandbox.sh [--install BUILD] [--journal] [--login-user] COMMAND [ARGUMENT...]
#
#   --install BUILD  the build's install tree (helper, its bus and polkit files, the
#                 plug-in) laid over /usr inside the sandbox only: staged with
#                 DESTDIR in the sandbox's own folder and mounted as a read-only
#                 overlay, so the machine's /usr is never written
#   --journal     a private /dev and a systemd-journald of the sandbox's own, so
#                 that sshd's syslog lines can be read back with journalctl
#                 (nothing is written to the machine's journal)
#   --login-user  throw-away copies of the account files with one extra user
#                 who may log in with a password; its name and password are
#                 exported as SSHSETTINGS_E2E_USER and SSHSETTINGS_E2E_PASSWORD;
#                 a private polkit rules folder whose one rule lets that user use
#                 the helper's read action (and no other) without a password
set -euo pipefail

# Exit status 77 tells ctest that the test was skipped, with the reason on stderr.
if [ -z "${SSHSETTINGS_IN_SANDBOX:-}" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "run-in-sandbox.sh: skipped: must run as root" >&2
        exit 77
    fi
    if ! reason=$(/usr/bin/unshare --mount --net --pid --fork --mount-proc --propagation private true 2>&1); then
        echo "run-in-sandbox.sh: skipped: this machine does not permit mount, network and pid namespaces: $reason" >&2
        exit 77
    fi
    export SSHSETTINGS_IN_SANDBOX=1
    exec /usr/bin/unshare --mount --net --pid --fork --mount-proc --propagation private "$0" "$@"
fi

with_journal=
with_login_user=
install_from=
while [ $# -gt 0 ]; do
    case "$1" in
    --journal) with_journal=1 ;;
    --login-user) with_login_user=1 ;;
    --install) install_from=$2; shift ;;
    *) break ;;
    esac
    shift
done

/usr/sbin/ip link set lo up 2>/dev/null || /sbin/ip link set lo up

work=$(mktemp -d /tmp/sshsettings-sandbox.XXXXXX)
chmod 0755 "$work"

# The build's files appear where they would be installed, for this namespace only.
# Each folder that receives a file gets a read-only overlay of the staged one on top.
install_build() {
    local stage="$work/stage" file dir
    DESTDIR="$stage" cmake --install "$1" > "$work/install.log" 2>&1 || { cat "$work/install.log" >&2; return 1; }
    (cd "$stage" && find . ! -type d) | while read -r file; do
        dir=$(dirname "${file#.}")
        while [ ! -d "$dir" ]; do dir=$(dirname "$dir"); done
        echo "$dir"
    done | sort -u | while read -r dir; do
        mount -t overlay overlay -o "lowerdir=$stage$dir:$dir" "$dir"
    done
}
if [ -n "$install_from" ]; then
    install_build "$install_from"
fi
mkdir -p "$work/ssh"
cp -a /etc/ssh/. "$work/ssh/"
rm -f "$work"/ssh/ssh_host_*key* "$work"/ssh/*.bak
mount --bind "$work/ssh" /etc/ssh
/usr/bin/ssh-keygen -A >/dev/null
# The helper keeps its backup sets in /var/backups/ssh-settings: a private one.
mkdir -p "$work/backups" /var/backups
mount --bind "$work/backups" /var/backups

mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/dbus /run/sshd
chmod 0755 /run/sshd

# A /dev of a few nodes, a pseudo-terminal instance of its own (ssh clients
# driven by a program need one) and /dev/log pointing at the sandbox's journald.
private_dev() {
    local dev="$work/dev" node
    mkdir -p "$dev"
    mount -t tmpfs -o mode=0755,nosuid tmpfs "$dev"
    for node in null zero full random urandom tty; do
        touch "$dev/$node"
        mount --bind "/dev/$node" "$dev/$node"
    done
    mkdir "$dev/pts" "$dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$dev/pts"
    ln -s pts/ptmx "$dev/ptmx"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dev/shm"
    ln -s /proc/self/fd "$dev/fd"
    ln -s /proc/self/fd/0 "$dev/stdin"
    ln -s /proc/self/fd/1 "$dev/stdout"
    ln -s /proc/self/fd/2 "$dev/stderr"
    ln -s /run/systemd/journal/dev-log "$dev/log"
    mount --move "$dev" /dev
}

start_journal() {
    local i
    if [ ! -x /lib/systemd/systemd-journald ]; then
        echo "run-in-sandbox.sh: no /lib/systemd/systemd-journald, running without a journal" >&2
        return 1
    fi
    if [ -d /var/log/journal ]; then
        mount -t tmpfs -o mode=0755 tmpfs /var/log/journal
    fi
    mkdir -p /run/systemd/journal
    /lib/systemd/systemd-journald > "$work/journald.log" 2>&1 &
    echo $! > "$work/journald.pid"
    for i in $(seq 100); do
        [ -S /run/systemd/journal/dev-log ] && return 0
        sleep 0.05
    done
    echo "run-in-sandbox.sh: systemd-journald did not start" >&2
    cat "$work/journald.log" >&2
    return 1
}

# The account files are bind-mounted copies: tools that replace them by
# renaming cannot work on them, so the user is appended in place.
add_login_user() {
    local file uid name password hash
    mkdir -p "$work/accounts"
    for file in passwd shadow group gshadow; do
        [ -e "/etc/$file" ] || continue
        cp -a "/etc/$file" "$work/accounts/$file"
        mount --bind "$work/accounts/$file" "/etc/$file"
    done
    name=sshe2e
    uid=61000
    while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do
        uid=$((uid + 1))
    done
    password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
    hash=$(perl -e 'print crypt($ARGV[0], q($6$) . $ARGV[1] . q($))' "$password" "$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')")
    mkdir -p "$work/home/$name"
    chown "$uid:$uid" "$work/home/$name"
    echo "$name:x:$uid:$uid:SSH settings end-to-end test:$work/home/$name:/bin/sh" >> /etc/passwd
    echo "$name:$hash:19000:0:99999:7:::" >> /etc/shadow
    echo "$name:x:$uid:" >> /etc/group
    [ ! -e /etc/gshadow ] || echo "$name:!::" >> /etc/gshadow
    export SSHSETTINGS_E2E_USER="$name" SSHSETTINGS_E2E_PASSWORD="$password"
}

# polkitd reads its rules when the bus first starts it, after this.
read_only_rule() {
    [ -d /etc/polkit-1/rules.d ] || return 0
    mount -t tmpfs -o mode=0755 tmpfs /etc/polkit-1/rules.d
    cat > /etc/polkit-1/rules.d/50-ssh-settings-e2e.rules <<RULE
polkit.addRule(function(action, subject) {
    if (action.id == "org.kde.kcontrol.kcmsshsettings.read" && subject.user == "$1") {
        return polkit.Result.YES;
    }
});
RULE
}

if [ -n "$with_journal" ] || [ -n "$with_login_user" ]; then
    private_dev
fi
if [ -n "$with_journal" ]; then
    if start_journal; then
        export SSHSETTINGS_E2E_JOURNAL=1
    fi
fi
if [ -n "$with_login_user" ]; then
    add_login_user
    read_only_rule "$SSHSETTINGS_E2E_USER"
fi

bash "$(dirname "$(readlink -f "$0")")/../../scripts/private-system-bus.sh" "$work/bus" > "$work/bus.pid"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket

status=0
"$@" || status=$?

# Everything started here lives in this pid namespace and ends with it.
kill "$(cat "$work/bus.pid")" 2>/dev/null || true
[ ! -e "$work/journald.pid" ] || kill "$(cat "$work/journald.pid")" 2>/dev/null || true
umount /etc/ssh /var/backups /run 2>/dev/null || true
rm -rf "$work"
exit $status
