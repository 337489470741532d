#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The security check end to end, on Debian's default sshd_config with the real
# sshd of this system running in run-in-sandbox.sh:
#
#   audit-e2e.sh TOOL
#
# `audit` finds failures (exit 3); `audit --fix-all --restart` fixes them in one
# transaction and restarts sshd; afterwards no check fails and a real key login
# over loopback still works. Then a change armed with --json: its document
# carries the token that confirm takes, and the same change again is no change. Where ssh-audit is installed, it scans the same
# sshd over the wire before and after, and the names both fail are printed:
# every algorithm it fails must be one this check fails too.
set -euo pipefail
tool=$(readlink -f "$1")
here=$(dirname "$(readlink -f "$0")")
if [ -z "${SSHSETTINGS_IN_SANDBOX:-}" ]; then
    exec "$here/run-in-sandbox.sh" --login-user "$0" "$@"
fi
user=$SSHSETTINGS_E2E_USER
t=$(mktemp -d)
home=$(getent passwd "$user" | cut -d: -f6)
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# Debian's default configuration, as the package installs it.
cp /usr/share/openssh/sshd_config /etc/ssh/sshd_config
chmod 0644 /etc/ssh/sshd_config
rm -f /etc/ssh/sshd_config.d/*
ssh-keygen -q -t ed25519 -N '' -C e2e -f "$t/id_ed25519"
install -d -o "$user" -g "$user" -m 0700 "$home/.ssh"
install -o "$user" -g "$user" -m 0600 "$t/id_ed25519.pub" "$home/.ssh/authorized_keys"
/etc/init.d/ssh start >/dev/null
for _ in $(seq 100); do
    (echo >/dev/tcp/127.0.0.1/22) 2>/dev/null && break
    sleep 0.05
done

login() {
    ssh -F /dev/null -i "$t/id_ed25519" -o BatchMode=yes -o PreferredAuthentications=publickey -o StrictHostKeyChecking=no \
        -o UserKnownHostsFile=/dev/null -o GlobalKnownHostsFile=/dev/null -o LogLevel=ERROR -o ConnectTimeout=20 "$user@127.0.0.1" true
}
# "(class) name" of each algorithm ssh-audit gives LEVEL (fail, warn) over the wire.
wire() {
    ssh-audit -n 127.0.0.1 2>/dev/null | sed -n "s/^(\(kex\|key\|enc\|mac\)) \([^ ]*\) .*-- \[$1\].*/\1 \2/p" | sort -u || true
}
# The same from the audit's findings: KexAlgorithms, HostKeyAlgorithms, Ciphers and MACs, as ssh-audit names their classes.
our_failures() {
    awk -F'\t' '$2 == "fail" { split($4, names, ","); for (i in names) print $3, names[i] }' |
        sed -n 's/^KexAlgorithms /kex /p; s/^HostKeyAlgorithms /key /p; s/^Ciphers /enc /p; s/^MACs /mac /p' | sort -u
}

login || fail "the key login does not work before the fix"
status=0
before=$("$tool" audit) || status=$?
echo "== audit of Debian's default configuration (exit $status)"
echo "$before"
[ "$status" = 3 ] || fail "audit exits $status, not 3"
grep -qP '^kex-weak\tfail\tKexAlgorithms\t' <<<"$before" || fail "the NIST key exchanges are not failed"

if command -v ssh-audit >/dev/null; then
    wire=$(wire fail)
    ours=$(our_failures <<<"$before")
    echo "== ssh-audit fails over the wire:"
    echo "$wire"
    echo "== both fail:"
    comm -12 <(echo "$wire") <(echo "$ours")
    echo "== ssh-audit warns, this check fails:"
    comm -12 <(wire warn) <(echo "$ours")
    echo "== only this check fails (it reads the configured lists, which hold more than the wire shows):"
    comm -13 <(wire fail; wire warn) <(echo "$ours")
    missed=$(comm -23 <(echo "$wire") <(echo "$ours"))
    [ -z "$missed" ] || fail "ssh-audit fails what this check passes: $missed"
fi

"$tool" audit --fix-all --restart 2>"$t/fix.err" || fail "audit --fix-all --restart: $(cat "$t/fix.err")"
cat "$t/fix.err"
after=$("$tool" audit) || true
echo "== audit after the fixes"
echo "$after"
if grep -P '^[^\t]+\tfail\t' <<<"$after"; then
    fail "failures are left"
fi
[ "$(stat -c %a /etc/ssh/sshd_config)" = 600 ] || fail "sshd_config is not 0600"
/usr/sbin/sshd -T -C "user=$user,addr=127.0.0.1,host=localhost,laddr=127.0.0.1,lport=22" | grep -qx 'passwordauthentication no' ||
    fail "sshd does not use the fixes"
login || fail "the key login does not work after the fix"
if command -v ssh-audit >/dev/null; then
    echo "== ssh-audit fails over the wire after the fixes:"
    left=$(wire fail)
    echo "${left:-nothing}"
    [ -z "$left" ] || fail "ssh-audit still fails: $left"
fi

# --json of an armed change (the installed tool runs its countdown): changed, the file's diff, sshd
# restarted, the token; confirmed, then the same change again writes nothing and arms nothing.
field() {
    python3 -c 'import json, sys; print(json.dumps(json.load(sys.stdin).get(sys.argv[1])))' "$1"
}
armed=$("$tool" set --json --revert-after 300 LoginGraceTime 45) || fail "the armed set fails: $armed"
echo "== armed: $armed"
[ "$(field changed <<<"$armed")" = true ] || fail "the armed set is no change"
[ "$(field restarted <<<"$armed")" = true ] || fail "the armed set did not restart sshd"
field diff <<<"$armed" | grep -q '"/etc/ssh/sshd_config": "--- ' || fail "no diff of sshd_config"
token=$(field token <<<"$armed" | tr -d '"')
[ "${#token}" = 32 ] || fail "no token: $token"
"$tool" confirm "$token" || fail "confirm $token fails"
cp /etc/ssh/sshd_config "$t/confirmed"
again=$("$tool" set --json --revert-after 300 LoginGraceTime 45) || fail "the same set fails: $again"
[ "$(field changed <<<"$again")" = false ] || fail "the same set again is a change: $again"
[ "$(field token <<<"$again")" = null ] || fail "the same set again armed a change: $again"
cmp -s /etc/ssh/sshd_config "$t/confirmed" || fail "the same set again wrote sshd_config"
login || fail "the key login does not work after the confirmed change"
kill "$(cat /run/sshd.pid)" 2>/dev/null || true
rm -rf "$t"
exit $failed
