#!/bin/bash
# Makes (once) and prints the path of a Debian 13 root with the packages needed to
# build the Qt 6 / KF6 variant and to run sshd's current generation (OpenSSH 10,
# systemd 257). The root is cached under $SSHSETTINGS_CACHE (default
# /var/cache/ssh-settings) and rebuilt when this script's package list changes.
#
#   scripts/debian13-root.sh            prints the root's path, making it if needed
#   scripts/debian13-root.sh --run CMD  runs CMD inside it (chroot, /proc, /dev, /sys, /tmp bound)
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
    # build of the Qt 6 variant
    cmake g++ ninja-build ccache extra-cmake-modules
    qt6-base-dev qt6-tools-dev libkf6auth-dev libkf6coreaddons-dev libkf6kcmutils-dev libkf6i18n-dev
    libkf6widgetsaddons-dev libkf6configwidgets-dev libkf6colorscheme-dev kde-cli-tools
    # run and screenshot the module
    xvfb xauth x11-apps imagemagick breeze-icon-theme
    # OpenSSH 10 and systemd 257 for the real-login tests
    openssh-server openssh-client sshpass systemd polkitd dbus-daemon util-linux iproute2 procps perl
)
cache=${SSHSETTINGS_CACHE:-/var/cache/ssh-settings}
key=$(printf '%s\n' "${PACKAGES[@]}" | sha256sum | cut -c1-12)
root="$cache/debian13-$key"

make_root() {
    if ! command -v debootstrap >/dev/null; then
        apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
    fi
    local tmp="$root.partial"
    rm -rf "$tmp" "$cache"/debian13-*
    mkdir -p "$cache"
    debootstrap --variant=minbase trixie "$tmp" http://deb.debian.org/debian >"$cache/debootstrap.log" 2>&1 ||
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

[ -d "$root" ] || make_root >&2

if [ "${1:-}" = --run ]; then
    shift
    exec unshare --mount --propagation private bash -c '
        root=$1; shift
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs tmpfs "$root/tmp"
        mkdir -p "$root/work"
        mount --bind /work "$root/work" 2>/dev/null || true
        exec chroot "$root" "$@"' bash "$root" "$@"
fi
echo "$root"
