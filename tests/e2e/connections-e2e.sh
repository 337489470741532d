#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Real logins against a real sshd, read back by ssh-settings-tool from the
# journal they leave, in either generation:
#
#   connections-e2e.sh debian12 TOOL [OUTDIR]   this system's sshd and journald (OpenSSH 9, systemd 252)
#   connections-e2e.sh debian13 TOOL [OUTDIR]   the Debian 13 root of scripts/debian13-root.sh
#                                               (OpenSSH 10 "sshd-session", systemd 257 "+00:00")
#
# The logins run in run-in-sandbox.sh (private namespaces and journald, see
# connections-logins.sh); the tool then reads the captured JSON and text
# journals, which must give the same rows. Exits 77 where root, namespaces or
# the Debian 13 root are unavailable.
set -euo pipefail
generation=$1
tool=$(readlink -f "$2")
here=$(dirname "$(readlink -f "$0")")
source_dir=$(readlink -f "$here/../..")
out=${3:-$(mktemp -d /tmp/sshsettings-connections.XXXXXX)}
mkdir -p "$out"
out=$(readlink -f "$out")
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root" >&2; exit 77; }
unshare --mount --pid --fork true 2>/dev/null || { echo "SKIP: no namespaces" >&2; exit 77; }

case "$generation" in
debian12)
    SSHSETTINGS_TOOL=$tool "$here/run-in-sandbox.sh" --journal --login-user "$here/connections-logins.sh" "$out"
    ;;
debian13)
    script="$source_dir/scripts/debian13-root.sh"
    [ -f "$script" ] || { echo "SKIP: no scripts/debian13-root.sh" >&2; exit 77; }
    root=$(bash "$script") || { echo "SKIP: the Debian 13 root could not be made" >&2; exit 77; }
    # The root is bound onto itself so that the sandbox can make its mounts
    # private; the sources and OUTDIR are seen inside under its own /tmp.
    unshare --mount --propagation private bash -c '
        root=$1 source=$2 out=$3; shift 3
        mount --bind "$root" "$root"
        mount -t proc proc "$root/proc"
        mount --rbind /sys "$root/sys"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs tmpfs "$root/tmp"
        mkdir -p "$root/tmp/source" "$root/tmp/out"
        mount --bind "$source" "$root/tmp/source"
        mount --bind "$out" "$root/tmp/out"
        exec chroot "$root" "$@"' bash "$root" "$source_dir" "$out" \
        /tmp/source/tests/e2e/run-in-sandbox.sh --journal --login-user /tmp/source/tests/e2e/connections-logins.sh /tmp/out
    ;;
*)
    echo "usage: $0 debian12|debian13 TOOL [OUTDIR]" >&2
    exit 2
    ;;
esac

failed=0
expect() { # TEXT PATTERN WHAT
    if ! grep -qP -- "$2" <<<"$1"; then
        echo "FAIL: $3: no line matches $2 in:" >&2
        echo "$1" >&2
        failed=1
    fi
}
user=$(cat "$out/user")
json=$("$tool" connections --input "$out/journal.json")
text=$("$tool" connections --input "$out/journal.txt")
echo "== $generation: ssh-settings-tool connections"
echo "$json"
[ "$json" = "$text" ] || { echo "FAIL: the JSON and the text journal differ:" >&2; echo "$text" >&2; failed=1; }
time='\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ'
expect "$json" "^$user\t127\.0\.0\.1\t\d+\tpublickey\t0\t$time\t$time\$" "key login, closed"
expect "$json" "^$user\t127\.0\.0\.1\t\d+\tpublickey\t0\t$time\t-\$" "key session still open"
expect "$json" "^$user\t127\.0\.0\.1\t\d+\tpassword\t2\t$time\t$time\$" "password login after two failures"
expect "$json" "^$user\t::1\t\d+\tkeyboard-interactive/pam\t0\t$time\t$time\$" "keyboard-interactive login over IPv6"
[ "$(wc -l <<<"$json")" = 4 ] || { echo "FAIL: expected 4 connections (the forged line must not count)" >&2; failed=1; }
attempts=$("$tool" attempts --input "$out/journal.json")
echo "== $generation: ssh-settings-tool attempts"
echo "$attempts"
[ "$attempts" = "$("$tool" attempts --input "$out/journal.txt")" ] || { echo "FAIL: attempts differ between JSON and text" >&2; failed=1; }
expect "$attempts" "^127\.0\.0\.1\t17\t6\t$time\t$time\$" "2 + 5 x 3 failures from 127.0.0.1 for 6 names"
expect "$attempts" "^::1\t3\t1\t$time\t$time\$" "3 failures from ::1"
if [ -e "$out/live-connections.tsv" ]; then
    [ "$(cat "$out/live-connections.tsv")" = "$json" ] || { echo "FAIL: the live read differs from the captured journal" >&2; failed=1; }
    [ "$(cat "$out/live-attempts.tsv")" = "$attempts" ] || { echo "FAIL: the live attempts differ" >&2; failed=1; }
fi
exit $failed
