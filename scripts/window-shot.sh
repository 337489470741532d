#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a program on the current X display, waits for its window and saves a picture
# of the screen once the window has settled (two equal pictures in a row); fails if
# no window with the title appears or the program ends first.
#
#   scripts/window-shot.sh TITLE PNG PROGRAM [ARGUMENT...]
set -euo pipefail
title=$1 png=$2
shift 2
mkdir -p "$(dirname "$png")"
"$@" > "${png%.png}.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || { echo "$1 ended before its window appeared:" >&2; cat "${png%.png}.log" >&2; exit 1; }
    if xwininfo -root -tree 2>/dev/null | grep -qi -- "$title"; then
        break
    fi
    sleep 0.1
done
xwininfo -root -tree 2>/dev/null | grep -qi -- "$title" || { echo "no window titled '$title' after 60 s" >&2; exit 1; }
# The page fills in after its first load: keep the picture once it stops changing.
previous=$(mktemp) current=$(mktemp)
for _ in $(seq 100); do
    import -window root "png:$current"
    if cmp -s "$previous" "$current"; then
        break
    fi
    cp "$current" "$previous"
    sleep 0.2
done
mv "$current" "$png"
rm -f "$previous"
echo "$1 opened its window; picture saved to $png"
