#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the dependencies, builds and runs the whole test suite:
#   1. unit and widget tests (headless);
#   2. the end-to-end tests, where the build's root helper answers real KAuth calls
#      in a private mount/network namespace with its own system bus (the build's
#      install tree is laid over /usr inside the namespace only: nothing is installed), and a fleet of three
#      test hosts there that ansible-playbook drives over SSH (tests/e2e/fleet-e2e.sh);
#   3. the unit tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the whole tree built with Clang without a warning (built only), in the instrumented build that then runs every
#      fuzz target for a short time (scripts/fuzz.sh);
#   5. the Qt 6 / KF6 build, its tests and kcmshell6, in a Debian 13 root (scripts/qt6-stage.sh);
#   6. the Debian packages: built with tests off, lintian, install/remove/purge in a Debian 12 root
#      (scripts/build-deb.sh, scripts/deb-check.sh);
#   7. the layout check (scripts/check-includes.py: no include circle, no oversized file),
#      the translation check (scripts/check-messages.sh) and the licence check (reuse lint).
# The KDE clang-format check runs right after the first build.
# Run it as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen
export CCACHE_DIR=${CCACHE_DIR:-$ROOT/.ccache}

if [ "${SKIP_DEPS:-0}" != 1 ]; then
    bash scripts/install-deps.sh
fi

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=ON
cmake --build build -j "$JOBS"

# Checked against the .clang-format that this configure had ECM write (`ninja -C build clang-format` applies it);
# the Qt 6 stage's ECM writes its own later.
echo "== clang-format (KDE style)"
git ls-files '*.cpp' '*.h' | xargs clang-format --style=file --dry-run --Werror

echo "== unit tests"
ctest --test-dir build --output-on-failure -LE e2e -j "$JOBS"

echo "== end-to-end tests (real helper over KAuth)"
ctest --test-dir build --output-on-failure -L e2e

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=ON \
    -DECM_ENABLE_SANITIZERS='address;undefined' -DBUILD_BENCHMARKS=OFF
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -LE e2e -j "$JOBS"

# One Clang build serves both: the whole tree with tests and benchmarks, every warning an error, instrumented for the
# fuzzers that then run from it.
echo "== Clang build (the whole tree, no warning) and fuzzing: every reader of untrusted text for 25 s each (scripts/fuzz.sh)"
start=$SECONDS
FUZZ_BUILD_DIR=build-fuzz FUZZ_WHOLE_TREE=1 JOBS=$JOBS bash scripts/fuzz.sh 25
echo "Clang and fuzz stage: $((SECONDS - start)) s"

echo "== Qt 6 / KF6 build in Debian 13"
start=$SECONDS
JOBS=$JOBS bash scripts/qt6-stage.sh
echo "Qt 6 stage: $((SECONDS - start)) s"

echo "== Debian packages"
start=$SECONDS
DEB_BUILD_OPTIONS="parallel=$JOBS nocheck noopt" CCACHE_DIR=$CCACHE_DIR bash scripts/build-deb.sh build-deb/out
bash scripts/deb-check.sh build-deb/out
echo "Debian packages: $((SECONDS - start)) s"

echo "== layout of src/: no include circle, no file too long"
python3 scripts/check-includes.py

echo "== translations"
bash scripts/check-messages.sh

echo "== licences (REUSE)"
reuse lint


echo "== all tests passed"
