#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the Debian packages of this tree (ssh-settings-tool and kde-config-ssh-settings)
# into a folder, by default build-deb/out, from a clean copy of the tree so that the work tree's
# own build folders stay out of the package build.
#   scripts/build-deb.sh [OUTDIR]
# Needs the build dependencies of debian/control (dpkg-checkbuilddeps lists what is missing).
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$tree/build-deb/out}")
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc) nocheck}
# One ccache for every build of this tree (scripts/test.sh uses the same).
export CCACHE_DIR=${CCACHE_DIR:-$tree/.ccache}
# A fixed place (not a temporary name): the compiler flags hold the source path, and
# ccache hits only when they stay the same from one build to the next.
work=$tree/build-deb
mkdir -p "$work"
exec 9>"$work/.lock"
flock 9
rm -rf "$work/ssh-settings" "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo
# The files git knows, as they are now (committed or not): what a release would hold.
src=$work/ssh-settings
mkdir -p "$src"
(cd "$tree" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$src")
export CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1
(cd "$src" && dpkg-checkbuilddeps && dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) ||
    { tail -40 "$work/build.log" >&2; exit 1; }
mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
ls "$out"
