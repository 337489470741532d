#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs every Debian 12 package needed to build, run and test the module.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
    # build (python3: the layout check of src/, scripts/check-includes.py)
    cmake g++ make ninja-build ccache git extra-cmake-modules clang-format python3
    # the Clang build and the fuzz targets (libFuzzer comes with clang)
    clang
    qtbase5-dev qttools5-dev
    libkf5auth-dev libkf5coreaddons-dev libkf5configwidgets-dev libkf5i18n-dev
    libkf5widgetsaddons-dev libkf5kcmutils-dev libkf5doctools-dev
    # translation check (xgettext, msgcat), licence and AppStream checks, the Debian 13 root of the Qt 6 build
    gettext reuse appstream debootstrap
    # the Debian packages: their build and lintian
    dpkg-dev debhelper fakeroot pkg-config lintian
    # run: module launcher, OpenSSH tools, who, headless display
    kde-cli-tools openssh-client openssh-server coreutils procps
    xvfb xauth x11-apps x11-utils imagemagick breeze-icon-theme libkf5service-bin
    # privileged helper and its end-to-end harness
    polkitd pkexec dbus-daemon util-linux iproute2 systemd sshpass patch
    # the fleet end-to-end test (ansible-playbook) and ansible-test sanity of the collection
    ansible-core
)
apt-get update
apt-get install -y --no-install-recommends "${PACKAGES[@]}"
