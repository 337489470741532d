#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks the built Debian packages: lintian reports no error, and in a throw-away
# Debian 12 root they install, run, enable the boot unit, remove and purge leaving
# no file behind but the backups that purge keeps on purpose.
#   scripts/deb-check.sh DEBDIR      (DEBDIR: what scripts/build-deb.sh made)
# The root (minbase, with the packages' dependencies) is cached under $SSHSETTINGS_CACHE
# (default /var/cache/ssh-settings) and never changed: every run works on an overlay of
# it, whose upper layer is then exactly what the packages left behind. Run it as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
debs=$(realpath "$1")
tool=$(ls "$debs"/ssh-settings-tool_*.deb)
module=$(ls "$debs"/kde-config-ssh-settings_*.deb)

echo "-- lintian"
lintian --fail-on error --tag-display-limit 0 "$debs"/*.changes || { echo "lintian reports errors" >&2; exit 1; }

echo "-- dependencies"
# The tool's package is headless: none of its dependencies is a graphical library.
if dpkg-deb -f "$tool" Depends | grep -Ei 'libqt5(gui|widgets)|libqt6(gui|widgets)|libkf[56]|libx11'; then
    echo "ssh-settings-tool depends on a graphical library" >&2
    exit 1
fi

# The root holds every dependency of both packages (first of each alternative), so
# that dpkg alone installs them and the check needs no network after the first run.
mapfile -t needs < <(for deb in "$tool" "$module"; do dpkg-deb -f "$deb" Depends; done |
    tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep -v '^ssh-settings-tool$' | grep . | sort -u)
cache=${SSHSETTINGS_CACHE:-/var/cache/ssh-settings}
root="$cache/debian12-$(printf '%s\n' "${needs[@]}" | sha256sum | cut -c1-12)"
mkdir -p "$cache"
exec 9>"$root.lock"
flock 9
if [ ! -d "$root" ]; then
    echo "-- making the Debian 12 root $root"
    rm -rf "$root.partial"
    debootstrap --variant=minbase bookworm "$root.partial" >"$cache/debootstrap12.log" 2>&1 ||
        { tail -20 "$cache/debootstrap12.log" >&2; exit 1; }
    printf '#!/bin/sh\nexit 101\n' >"$root.partial/usr/sbin/policy-rc.d"
    chmod 0755 "$root.partial/usr/sbin/policy-rc.d"
    chroot "$root.partial" apt-get update -qq
    chroot "$root.partial" apt-get install -y -qq --no-install-recommends "${needs[@]}" >"$cache/packages12.log" 2>&1 ||
        { tail -20 "$cache/packages12.log" >&2; exit 1; }
    chroot "$root.partial" apt-get clean
    mv "$root.partial" "$root"
fi
flock -u 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/upper" "$work/overlay" "$work/merged" "$work/debs"
cp "$tool" "$module" "$work/debs/"
unshare --mount --propagation private bash -euo pipefail -c '
    root=$1 work=$2
    mount -t overlay overlay -o "lowerdir=$root,upperdir=$work/upper,workdir=$work/overlay" "$work/merged"
    m=$work/merged
    mount -t proc proc "$m/proc"
    mount --rbind /dev "$m/dev"
    mount -t tmpfs tmpfs "$m/tmp"
    mount -t tmpfs tmpfs "$m/run"
    mkdir -p "$m/tmp/debs" "$m/run/sshd"
    mount --bind "$work/debs" "$m/tmp/debs"
    inroot() { chroot "$m" "$@"; }
    wants=/etc/systemd/system/multi-user.target.wants/ssh-settings-revert-expired.service

    echo "-- install"
    inroot sh -c "dpkg -i /tmp/debs/*.deb" >/dev/null
    version=$(inroot ssh-settings-tool --version)
    echo "$version"
    case "$version" in *[0-9].[0-9]*) ;; *) echo "ssh-settings-tool --version printed no version" >&2; exit 1 ;; esac
    [ -L "$m$wants" ] || { echo "the boot unit is not enabled" >&2; exit 1; }
    # A real change, so that the tool leaves its backups, lock and digests behind.
    inroot ssh-settings-tool set X11Forwarding no >/dev/null
    [ -f "$m/var/backups/ssh-settings/lock" ] || { echo "the change left no state to purge" >&2; exit 1; }
    inroot dpkg -L ssh-settings-tool kde-config-ssh-settings | sort -u >"$work/listed"

    echo "-- remove and purge"
    inroot dpkg -r kde-config-ssh-settings ssh-settings-tool >/dev/null
    [ -f "$m/var/backups/ssh-settings/lock" ] || { echo "remove took state that only purge may take" >&2; exit 1; }
    inroot dpkg -P kde-config-ssh-settings ssh-settings-tool >/dev/null
    [ ! -e "$m$wants" ] && [ ! -L "$m$wants" ] || { echo "purge left the boot unit enabled" >&2; exit 1; }
    while read -r path; do
        if [ -e "$m$path" ] && [ ! -d "$m$path" ]; then echo "left behind: $path" >&2; exit 1; fi
    done <"$work/listed"
' bash "$root" "$work"

echo "-- what install, use, remove and purge left"
# The upper layer holds every file made or changed, and a whiteout for every file removed.
# Allowed: the package manager'"'"'s own records, the changed configuration and its backup,
# and the backups that purge keeps.
# A folder is copied up when a file is made in it: only one the root did not have counts.
left=$(cd "$work/upper" && find . -mindepth 1 \( -type d -empty -o ! -type d \) -printf '%p\n' |
    while read -r path; do [ -d "$path" ] && [ -d "$root/$path" ] || echo "$path"; done |
    grep -Ev '^\./(var/lib/dpkg|var/log|var/cache/debconf|var/lib/systemd/deb-systemd-helper|tmp|run)(/|$)' |
    grep -Ev '^\./etc/ssh/sshd_config(\.bak)?$' |
    grep -Ev '^\./var/backups/ssh-settings/' || true)
kept=$(cd "$work/upper" && find ./var/backups/ssh-settings -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort | tr '\n' ' ')
echo "kept in /var/backups/ssh-settings: $kept"
case " $kept " in *" lock "* | *" pending "* | *"-verified "*) echo "purge left the tool's state: $kept" >&2; exit 1 ;; esac
[ -n "$kept" ] || { echo "purge took the backups" >&2; exit 1; }
if [ -n "$left" ]; then
    echo "left behind:" >&2
    echo "$left" >&2
    exit 1
fi
echo "-- packages: checked"
