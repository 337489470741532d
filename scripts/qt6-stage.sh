#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The Qt 6 / KF6 build, in the Debian 13 root (scripts/debian13-root.sh): configures
# with -DQT_MAJOR_VERSION=6, builds, runs the unit and widget tests offscreen and the
# KAuth end-to-end test, and opens the module from the build with kcmshell6 under Xvfb
# (with the build's helper answering over KAuth in the end-to-end sandbox).
#
#   scripts/qt6-stage.sh [PNG]   also copies the kcmshell6 picture to PNG
# Run it as root. Its compiler cache lives in the root, so it is reused by the next
# run on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SSHSETTINGS_IN_ROOT:-}" ]; then
    bash scripts/debian13-root.sh --run env SSHSETTINGS_IN_ROOT=1 JOBS="${JOBS:-$(nproc)}" bash scripts/qt6-stage.sh
    if [ -n "${1:-}" ]; then
        mkdir -p "$(dirname "$1")"
        cp build-qt6/kcmshell6.png "$1"
    fi
    exit 0
fi

export CCACHE_DIR=/var/cache/ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 QT_QPA_PLATFORM=offscreen
echo "== Qt 6 build"
cmake -S . -B build-qt6 -G Ninja -DQT_MAJOR_VERSION=6 -DCMAKE_BUILD_TYPE=Debug -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=OFF > /tmp/configure.log || { cat /tmp/configure.log; exit 1; }
cmake --build build-qt6 -j "$JOBS"

echo "== Qt 6 unit and widget tests"
ctest --test-dir build-qt6 --output-on-failure -LE e2e -j "$JOBS"

echo "== Qt 6 end-to-end test: the module's classes and the build's helper over KAuth 6, OpenSSH 10"
ctest --test-dir build-qt6 --output-on-failure -R '^e2e-kauth$'

echo "== kcmshell6 opens the module"
# In the end-to-end sandbox, so that the build's helper answers over KAuth as it would
# installed; kcmshell6 finds the plug-in by its id among the plug-ins on Qt's path.
unset QT_QPA_PLATFORM
tests/e2e/run-in-sandbox.sh --install build-qt6 env QT_PLUGIN_PATH="$PWD/build-qt6/bin" \
    xvfb-run -a -s "-screen 0 1100x860x24" \
    bash scripts/window-shot.sh "SSH Settings" build-qt6/kcmshell6.png kcmshell6 kcm_sshsettings
