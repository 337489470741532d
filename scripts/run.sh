#!/bin/bash
# Installs the dependencies, builds and installs the module (prefix /usr, where
# KAuth looks for its helper) and opens it with kcmshell5.
#
#   scripts/run.sh                     open the module (under Xvfb without a display,
#                                      writing a screenshot to screenshots/kcmshell5.png)
#   scripts/run.sh --screenshots DIR   write a PNG of every tab, expanded, into DIR,
#                                      from a demonstration configuration; changes nothing
# Run it as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
export CCACHE_DIR=${CCACHE_DIR:-$ROOT/.ccache}

if [ "${SKIP_DEPS:-0}" != 1 ]; then
    bash scripts/install-deps.sh
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j "$(nproc)"
cmake --install build > /dev/null

if [ "${1:-}" = --screenshots ]; then
    QT_QPA_PLATFORM=offscreen ./build/bin/ssh-settings-preview --demo --screenshots "${2:-screenshots}"
    exit 0
fi

cleanup=()
trap 'for pid in "${cleanup[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT

# Without a system bus there is no KAuth: bring up our own, so the page shows real values.
if [ ! -S /run/dbus/system_bus_socket ]; then
    cleanup+=("$(bash scripts/private-system-bus.sh "$(mktemp -d)")")
fi
kbuildsycoca5 > /dev/null 2>&1 || true

if [ -n "${DISPLAY:-}" ]; then
    exec kcmshell5 kcm_sshsettings
fi

# No display: run the module under Xvfb and take a picture of it.
mkdir -p screenshots
Xvfb :73 -screen 0 1100x860x24 -nolisten tcp > /dev/null 2>&1 &
cleanup+=($!)
export DISPLAY=:73
sleep 2
kcmshell5 kcm_sshsettings > screenshots/kcmshell5.log 2>&1 &
cleanup+=($!)
for _ in $(seq 1 30); do
    sleep 1
    if xwininfo -root -tree 2>/dev/null | grep -qi 'ssh'; then
        break
    fi
done
sleep 3
import -window root screenshots/kcmshell5.png
echo "The module ran under Xvfb; its picture is screenshots/kcmshell5.png"
