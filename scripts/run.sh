#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Opens the module.
#
#   scripts/run.sh                     installs the dependencies, builds and installs the
#                                      module (prefix /usr, where KAuth looks for its
#                                      helper) and opens it with kcmshell5 (under Xvfb
#                                      without a display, writing screenshots/kcmshell5.png)
#   scripts/run.sh --screenshots DIR   builds only, and writes a PNG of every tab, expanded,
#                                      into DIR from a demonstration configuration: nothing
#                                      is installed and nothing on the machine changes
# Run it as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
export CCACHE_DIR=${CCACHE_DIR:-$ROOT/.ccache}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
    cmake --build build -j "$(nproc)"
}

if [ "${1:-}" = --screenshots ]; then
    build
    QT_QPA_PLATFORM=offscreen ./build/bin/ssh-settings-preview --demo --screenshots "${2:-screenshots}"
    exit 0
fi

if [ "${SKIP_DEPS:-0}" != 1 ]; then
    bash scripts/install-deps.sh
fi
build
cmake --install build > /dev/null

# Without a system bus there is no KAuth: bring up our own, so the page shows real values.
bus=
trap '[ -z "$bus" ] || kill "$bus" 2>/dev/null || true' EXIT
if [ ! -S /run/dbus/system_bus_socket ]; then
    bus=$(bash scripts/private-system-bus.sh "$(mktemp -d)")
fi
kbuildsycoca5 > /dev/null 2>&1 || true

if [ -n "${DISPLAY:-}" ]; then
    kcmshell5 kcm_sshsettings
    exit 0
fi

# No display: run the module under Xvfb and take a picture of it.
xvfb-run -a -s "-screen 0 1100x860x24 -nolisten tcp" \
    bash scripts/window-shot.sh "SSH Settings" screenshots/kcmshell5.png kcmshell5 kcm_sshsettings
