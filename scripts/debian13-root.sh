#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes (once) and prints the path of a Debian 13 root with the packages needed to
# build the Qt 6 / KF6 variant and to run sshd's current generation (OpenSSH 10,
# systemd 257). The root is cached under $SSHSETTINGS_CACHE (default
# /var/cache/ssh-settings) and made anew when this script's package list changes.
#
#   scripts/debian13-root.sh            prints the root's path, making it if needed
#   scripts/debian13-root.sh --run CMD  runs CMD inside it, in this source tree: the tree
#                                       (and the shared/ folder beside it, if any) is bound
#                                       at the same path, with /proc, /dev, /sys and a /tmp
# Run it as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
    # build of the Qt 6 variant
    cmake g++ ninja-build ccache extra-cmake-modules
    qt6-base-dev qt6-tools-dev libkf6auth-dev libkf6coreaddons-dev libkf6kcmutils-dev libkf6i18n-dev
    libkf6widgetsaddons-dev libkf6configwidgets-dev libkf6colorscheme-dev libkf6doctools-dev kde-cli-tools
    # run and screenshot the module
    xvfb xauth x11-apps x11-utils imagemagick breeze-icon-theme
    # OpenSSH 10 and systemd 257 for the real-login tests
    openssh-server openssh-client sshpass systemd polkitd dbus-daemon util-linux iproute2 procps perl patch
)
tree=$(cd "$(dirname "$0")/.." && pwd)
cache=${SSHSETTINGS_CACHE:-/var/cache/ssh-settings}
key=$(printf '%s\n' "${PACKAGES[@]}" | sha256sum | cut -c1-12)
root="$cache/debian13-$key"

make_root() {
    if ! command -v debootstrap >/dev/null; then
        apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
    fi
    local tmp="$root.partial" old
    # A partial root from an interrupted run goes, and so do roots of other package
    # lists unused for a day (a checkout of another branch may still use a recent one).
    rm -rf "$tmp"
    for old in "$cache"/debian13-*; do
        case "$old" in *.partial | *.lock) continue ;; esac
        if [ -d "$old" ] && [ -z "$(find "$old/.used" -mmin -1440 2>/dev/null)" ]; then
            rm -rf "$old" "$old.lock"
        fi
    done
    # No source named: debootstrap's own default for the suite.
    debootstrap --variant=minbase trixie "$tmp" >"$cache/debootstrap.log" 2>&1 ||
        { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
    # Services must not start inside the root while packages install.
    printf '#!/bin/sh\nexit 101\n' >"$tmp/usr/sbin/policy-rc.d"
    chmod 0755 "$tmp/usr/sbin/policy-rc.d"
    chroot "$tmp" apt-get update -qq
    chroot "$tmp" apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >"$cache/packages.log" 2>&1 ||
        { tail -20 "$cache/packages.log" >&2; exit 1; }
    chroot "$tmp" apt-get clean
    mv "$tmp" "$root"
}

mkdir -p "$cache"
# One maker at a time; the others wait and then reuse its root.
exec 9>"$root.lock"
flock 9
if [ ! -d "$root" ]; then
    echo "debian13-root.sh: making the Debian 13 root $root" >&2
    make_root >&2
fi
touch "$root/.used"
flock -u 9

if [ "${1:-}" = --run ]; then
    shift
    exec unshare --mount --propagation private bash -c '
        root=$1 tree=$2; shift 2
        # A mount point of its own, so that namespaces can be made inside it too.
        mount --bind "$root" "$root"
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs tmpfs "$root/tmp"
        mkdir -p "$root$tree"
        mount --bind "$tree" "$root$tree"
        shared=$(dirname "$tree")/shared
        if [ -d "$shared" ]; then
            mkdir -p "$root$shared"
            mount --bind -o ro "$shared" "$root$shared"
        fi
        cd "$root$tree"
        exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$tree" "$@"' bash "$root" "$tree" "$@"
fi
echo "$root"
