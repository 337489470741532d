#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Real logins against the real sshd of this system, and the journal they leave.
# Runs inside tests/e2e/run-in-sandbox.sh --journal --login-user (a private
# journald, network and login user); writes to OUTDIR:
#   journal.json  journalctl --output=json of sshd (every uid: a forged entry is in it)
#   journal.txt   journalctl --output=short-iso-precise --utc of sshd's own entries (_UID=0)
#   read1.json, read2.json   the JSON journal split in two reads while a login
#                 has failed twice and not yet succeeded
#   user          the login user's name
# The logins: a public-key login, a password login after two failed passwords,
# a keyboard-interactive login over IPv6, a key session left open, a burst of
# failed passwords for unknown users and root, and a "logger -t sshd" line
# forged by an unprivileged user.
set -euo pipefail
out=$1
user=${SSHSETTINGS_E2E_USER:-}
if [ -z "$user" ] || [ -z "${SSHSETTINGS_E2E_JOURNAL:-}" ]; then
    echo "connections-logins.sh: run inside run-in-sandbox.sh --journal --login-user" >&2
    exit 77
fi
mkdir -p "$out"
t=$(mktemp -d)
home=$(getent passwd "$user" | cut -d: -f6)

ssh-keygen -q -t ed25519 -N '' -C e2e -f "$t/id_ed25519"
install -d -o "$user" -g "$user" -m 0700 "$home/.ssh"
install -o "$user" -g "$user" -m 0600 "$t/id_ed25519.pub" "$home/.ssh/authorized_keys"
cat >"$t/sshd_config" <<EOF
Port 2223
ListenAddress 127.0.0.1
ListenAddress ::1
HostKey /etc/ssh/ssh_host_ed25519_key
UsePAM yes
PasswordAuthentication yes
KbdInteractiveAuthentication yes
PubkeyAuthentication yes
MaxAuthTries 6
PidFile $t/sshd.pid
EOF
/usr/sbin/sshd -f "$t/sshd_config"
for _ in $(seq 100); do
    (echo >/dev/tcp/127.0.0.1/2223) 2>/dev/null && break
    sleep 0.05
done

# Answers password prompts from the file $ANSWERS, one line per prompt; the
# line "wait" waits for the file $ANSWERS.go first.
cat >"$t/askpass" <<'EOF'
#!/bin/sh
n=$(cat "$ANSWERS.n" 2>/dev/null || echo 0)
n=$((n + 1))
echo "$n" >"$ANSWERS.n"
answer=$(sed -n "${n}p" "$ANSWERS")
if [ "$answer" = wait ]; then
    while [ ! -e "$ANSWERS.go" ]; do sleep 0.1; done
    answer=$(sed -n "$((n + 1))p" "$ANSWERS")
    echo "$((n + 1))" >"$ANSWERS.n"
fi
printf '%s\n' "$answer"
EOF
chmod 0755 "$t/askpass"

# client NAME ANSWERS... -- SSH-ARGUMENTS...
client() {
    local name=$1 status=0
    shift
    : >"$t/$name"
    while [ "$1" != -- ]; do
        printf '%s\n' "$1" >>"$t/$name"
        shift
    done
    shift
    ANSWERS="$t/$name" SSH_ASKPASS="$t/askpass" SSH_ASKPASS_REQUIRE=force DISPLAY=none \
        ssh -F /dev/null -p 2223 -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o GlobalKnownHostsFile=/dev/null \
        -o LogLevel=ERROR -o ConnectTimeout=20 "$@" </dev/null >/dev/null 2>"$t/$name.err" || status=$?
    return $status
}
sshd_json() { journalctl --identifier=sshd --identifier=sshd-session --output=json "$@"; }
pw=$SSHSETTINGS_E2E_PASSWORD

client key -- -i "$t/id_ed25519" -o BatchMode=yes -o PreferredAuthentications=publickey "$user@127.0.0.1" true
client open -- -i "$t/id_ed25519" -o BatchMode=yes -o PreferredAuthentications=publickey "$user@127.0.0.1" sleep 120 &
open=$!

# Two wrong passwords, a read of the journal, then the right one.
client password wrong-1 wrong-2 wait "$pw" -- -o PreferredAuthentications=password -o PubkeyAuthentication=no -o NumberOfPasswordPrompts=3 \
    "$user@127.0.0.1" true &
password=$!
for _ in $(seq 200); do
    [ "$(sshd_json | grep -c "Failed password for $user ")" -ge 2 ] && break
    sleep 0.1
done
sshd_json --show-cursor >"$t/read1.json"
touch "$t/password.go"
wait $password

client kbd "$pw" -- -o PreferredAuthentications=keyboard-interactive -o PubkeyAuthentication=no "$user@::1" true

# The burst: three wrong passwords per connection, in parallel.
burst=()
for name in admin oracle test guest root; do
    client "burst-$name" x1 x2 x3 -- -o PreferredAuthentications=password -o PubkeyAuthentication=no -o NumberOfPasswordPrompts=3 \
        "$name@127.0.0.1" true &
    burst+=($!)
done
client burst-v6 y1 y2 y3 -- -o PreferredAuthentications=password -o PubkeyAuthentication=no -o NumberOfPasswordPrompts=3 "nobody6@::1" true &
burst+=($!)
for pid in "${burst[@]}"; do wait "$pid" || true; done

setpriv --reuid=65534 --regid=65534 --clear-groups logger -t sshd "Accepted password for forged from 10.6.6.6 port 6666 ssh2"
for _ in $(seq 100); do
    sshd_json | grep -q "for forged from" && break
    sleep 0.05
done

cursor=$(sed -n 's/^-- cursor: //p' "$t/read1.json" | tail -1)
cp "$t/read1.json" "$out/read1.json"
sshd_json --show-cursor --after-cursor="$cursor" >"$out/read2.json"
sshd_json >"$out/journal.json"
journalctl --identifier=sshd --identifier=sshd-session _UID=0 --utc --output=short-iso-precise >"$out/journal.txt"
echo "$user" >"$out/user"
if [ -n "${SSHSETTINGS_TOOL:-}" ]; then
    # The live read, through journalctl's own _UID=0 match, while the session is still open.
    "$SSHSETTINGS_TOOL" connections >"$out/live-connections.tsv"
    "$SSHSETTINGS_TOOL" attempts >"$out/live-attempts.tsv"
fi
kill "$open" 2>/dev/null || true
kill "$(cat "$t/sshd.pid")" 2>/dev/null || true
rm -rf "$t"
