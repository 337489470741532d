#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the benchmarks with optimisation and prints their figures.
# The keys benchmark generates its keys once into the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_DIR=${CCACHE_DIR:-$PWD/.ccache}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=ON > /dev/null
cmake --build build-bench -j "$(nproc)" --target authorizedkeysbench connectionsbench
export QT_QPA_PLATFORM=offscreen
echo "== authorized keys"
./build-bench/bin/authorizedkeysbench
echo "== connections"
./build-bench/bin/connectionsbench
