#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# A fleet of three test hosts driven by ansible-playbook over real SSH, through the collection in ansible/:
#
#   fleet-e2e.sh BUILD
#
# run-in-sandbox.sh lays BUILD's install tree over /usr (so every host has the tool at /usr/bin) in private
# mount, network and pid namespaces. Inside, each host is a mount namespace of its own (nsenter enters it), with
# its own /etc/ssh, /var/backups (the backup sets, the pending changes, the writers' lock), /run (sshd's pid file)
# and /root (the authorized key, Ansible's remote files), and its sshd on 127.0.0.1:220N, started and restarted by /etc/init.d/ssh as the tool does it. Then, against all three:
#   a) the collection's safe change (the playbook below: revert_after, reset_connection, wait_for_connection,
#      confirm) hardens several keywords and one Match block; sshd -T, and sshd -T -C for the block's user
#      and another, shows the values in force on each host; timed against one host and against three;
#   b) the same play again reports changed=0 on every host;
#   c) --check --diff of another change shows the diff and leaves every file byte-identical;
#   d) the same play moves one host's port where the inventory does not follow: its new connection fails, and
#      with nobody confirming, the countdown puts its old configuration back by itself (the files
#      byte-identical, sshd -T and a key login on the old port) while the others' confirmed changes stay.
# Exits 77 when ansible-playbook or the namespaces are missing.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
source_dir=$(readlink -f "$here/../..")
if [ -z "${SSHSETTINGS_IN_SANDBOX:-}" ]; then
    command -v ansible-playbook >/dev/null || { echo "SKIP: ansible-playbook is missing (apt-get install ansible-core)" >&2; exit 77; }
    exec "$here/run-in-sandbox.sh" --install "$1" "$0" "$@"
fi

t=$(mktemp -d /tmp/sshsettings-fleet.XXXXXX)
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
hosts=(1 2 3)
port() { echo $((2200 + $1)); }

# The controller's files: an empty home, the key, the collection where Ansible looks for it.
mkdir -p "$t/home" "$t/collections/ansible_collections/kde"
mount --bind "$t/home" /root
cp -r "$source_dir/ansible" "$t/collections/ansible_collections/kde/ssh_settings"
ssh-keygen -q -t ed25519 -N '' -C fleet -f "$t/id_ed25519"
export HOME=/root LC_ALL=C.UTF-8 ANSIBLE_COLLECTIONS_PATH="$t/collections" ANSIBLE_PIPELINING=true ANSIBLE_FORCE_COLOR=false \
    ANSIBLE_NOCOLOR=true ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_LOCAL_TEMP="$t/ansible-tmp" ANSIBLE_SSH_CONTROL_PATH_DIR="$t/cp"

# Each host's mount namespace is held by a process that only waits in it (it ends with the sandbox's pid namespace);
# nsenter enters it through that process.
declare -A holder
on() { # HOST COMMAND...
    local host=$1
    shift
    nsenter --target "${holder[$host]}" --mount -- "$@"
}
for i in "${hosts[@]}"; do
    h=$t/host$i
    mkdir -p "$h/ssh" "$h/backups" "$h/root/.ssh"
    chmod 0700 "$h/root" "$h/root/.ssh"
    cp -a /etc/ssh/. "$h/ssh/"
    rm -f "$h"/ssh/sshd_config.d/* "$h"/ssh/*.bak
    install -m 0644 /usr/share/openssh/sshd_config "$h/ssh/sshd_config"
    printf 'Port %s\nListenAddress 127.0.0.1\n' "$(port "$i")" > "$h/ssh/sshd_config.d/10-fleet.conf"
    install -m 0600 "$t/id_ed25519.pub" "$h/root/.ssh/authorized_keys"
    unshare --mount --propagation private sh -ec '
        mount --bind "$1/ssh" /etc/ssh
        mount --bind "$1/backups" /var/backups
        mount --bind "$1/root" /root
        mount -t tmpfs -o mode=0755 tmpfs /run
        touch "$1/ready"
        exec sleep infinity' sh "$h" &
    holder[$i]=$!
    for _ in $(seq 100); do
        [ ! -e "$h/ready" ] || break
        sleep 0.05
    done
    on "$i" /etc/init.d/ssh start >/dev/null
done
answers() { # PORT: sshd's banner on 127.0.0.1:PORT
    timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/$1 && head -c 4 <&3' sh "$1" 2>/dev/null | grep -q SSH-
}
for i in "${hosts[@]}"; do
    for _ in $(seq 100); do
        answers "$(port "$i")" && break
        sleep 0.05
    done
done

cat > "$t/inventory" <<EOF
[fleet]
$(for i in "${hosts[@]}"; do echo "host$i ansible_port=$(port "$i")"; done)
[fleet:vars]
ansible_host=127.0.0.1
ansible_user=root
ansible_ssh_private_key_file=$t/id_ed25519
ansible_ssh_common_args='-F /dev/null -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o GlobalKnownHostsFile=/dev/null -o ConnectTimeout=5'
ansible_python_interpreter=/usr/bin/python3
EOF
# The collection's safe change; a host's own settings (host_settings) take the place of the fleet's.
cat > "$t/safe-change.yml" <<'EOF'
- hosts: fleet
  gather_facts: false
  tasks:
    - name: Change sshd; back by itself unless confirmed
      kde.ssh_settings.configure:
        settings: "{{ (host_settings | default({}))[inventory_hostname] | default(sshd_settings) }}"
        match: "{{ sshd_match | default(omit) }}"
        revert_after: "{{ revert_after }}"
      register: change
    - name: Drop the connection, so that the next task logs in anew
      ansible.builtin.meta: reset_connection
    - name: Prove that a new connection works
      ansible.builtin.wait_for_connection:
        timeout: "{{ reconnect_timeout }}"
    - name: Keep the change
      kde.ssh_settings.configure:
        confirm: "{{ change.token }}"
      when: change.token is defined
EOF
cat > "$t/hardening.json" <<'EOF'
{"sshd_settings": {"PasswordAuthentication": false, "MaxAuthTries": 3, "X11Forwarding": false, "LoginGraceTime": 30},
 "sshd_match": {"criteria": "User deploy", "settings": {"AllowTcpForwarding": false, "PermitTTY": false}},
 "revert_after": 120, "reconnect_timeout": 30}
EOF
play() { # NAME [ansible-playbook ARGUMENTS...]: its output in $t/NAME.log, its exit status in $status
    local name=$1
    shift
    status=0
    ansible-playbook -i "$t/inventory" "$@" > "$t/$name.log" 2>&1 || status=$?
    echo "== $name (exit $status)"
    sed -n '/^PLAY RECAP/,$p' "$t/$name.log"
}
recap() { # PLAY HOST FIELD: the count in the play's recap
    sed -n "s/^host$2 *:.* $3=\([0-9]*\).*/\1/p" "$t/$1.log"
}
sshd_T() { # HOST USER
    on "$1" /usr/sbin/sshd -T -C "user=$2,host=localhost,addr=127.0.0.1,laddr=127.0.0.1,lport=$(port "$1")"
}
expect() { # HOST USER "keyword value"...
    local host=$1 user=$2 effective line
    shift 2
    effective=$(sshd_T "$host" "$user")
    for line in "$@"; do
        grep -qx "$line" <<<"$effective" || fail "host$host, user $user: sshd -T does not give \"$line\""
    done
}
files() { # HOST [PATH...]: checksums of every file below the host's paths (default: ssh and backups)
    local host=$1
    shift
    [ $# -gt 0 ] || set -- ssh backups
    (cd "$t/host$host" && find "$@" -type f -print0 | sort -z | xargs -0 sha256sum)
}
since() { # START: seconds from $EPOCHREALTIME START to now
    awk -v start="$1" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.1f", now - start }'
}

# a) The hardening, against one host alone and, once that host is as before, against all three.
files 1 > "$t/host1.initial"
start=$EPOCHREALTIME
play harden-one "$t/safe-change.yml" -e "@$t/hardening.json" --limit host1
one=$(since "$start")
[ "$status" = 0 ] && [ "$(recap harden-one 1 changed)" = 2 ] || fail "the hardening of one host: $(cat "$t/harden-one.log")"
cp /usr/share/openssh/sshd_config "$t/host1/ssh/sshd_config"
rm -rf "$t/host1/ssh/sshd_config.bak" "$t/host1/backups/"*
on 1 /etc/init.d/ssh restart >/dev/null
files 1 | cmp -s - "$t/host1.initial" || fail "host1 is not back as it was before the timed run"
start=$EPOCHREALTIME
play harden "$t/safe-change.yml" -e "@$t/hardening.json"
echo "fleet timing: the hardening play against one host $one s, against three $(since "$start") s"
[ "$status" = 0 ] || fail "the hardening play fails: $(cat "$t/harden.log")"
for i in "${hosts[@]}"; do
    # Changed: the configure task and the confirm.
    [ "$(recap harden "$i" changed)" = 2 ] || fail "host$i: the hardening play is not changed=2"
    expect "$i" root "port $(port "$i")" "passwordauthentication no" "maxauthtries 3" "x11forwarding no" "logingracetime 30" \
        "allowtcpforwarding yes" "permittty yes"
    expect "$i" deploy "passwordauthentication no" "allowtcpforwarding no" "permittty no"
    pending=$(on "$i" /usr/bin/ssh-settings-tool pending) || fail "host$i: pending fails"
    [ -z "$pending" ] || fail "host$i: the confirmed change is still pending: $pending"
done

# b) The same play again: nothing to change, nothing armed, nothing to confirm.
play again "$t/safe-change.yml" -e "@$t/hardening.json"
[ "$status" = 0 ] || fail "the second run fails: $(cat "$t/again.log")"
for i in "${hosts[@]}"; do
    [ "$(recap again "$i" changed)" = 0 ] || fail "host$i: the second run is not changed=0"
done

# c) Check mode of another change: the diff shown, no file touched.
for i in "${hosts[@]}"; do files "$i" > "$t/host$i.before-check"; done
play check "$t/safe-change.yml" -e "@$t/hardening.json" -e '{"sshd_settings": {"MaxStartups": "5:50:20", "ClientAliveInterval": 300}}' \
    --check --diff
[ "$status" = 0 ] || fail "the check run fails: $(cat "$t/check.log")"
for i in "${hosts[@]}"; do
    [ "$(recap check "$i" changed)" = 1 ] || fail "host$i: the check run is not changed=1"
    files "$i" | cmp -s - "$t/host$i.before-check" || fail "host$i: the check run changed files"
done
[ "$(grep -c '^+MaxStartups 5:50:20$' "$t/check.log")" = 3 ] && [ "$(grep -c '^+ClientAliveInterval 300$' "$t/check.log")" = 3 ] ||
    fail "the check run does not show each host's diff: $(cat "$t/check.log")"

# d) host3's port moves where the inventory does not follow; host1 and host2 get a change they can keep.
# This machine has no systemd as PID 1 (no /run/systemd/system in a host's /run), so the tool starts its countdown
# as it does on such systems: a detached "ssh-settings-tool revert --expired --delay N" in the host's namespaces,
# which stands in for the transient timer and outlives the SSH session. The test only polls for its effect.
for i in "${hosts[@]}"; do files "$i" ssh/sshd_config ssh/sshd_config.d > "$t/host$i.before-break"; done
revert_after=20
start=$EPOCHREALTIME
play break "$t/safe-change.yml" -e "@$t/hardening.json" \
    -e "{\"revert_after\": $revert_after, \"reconnect_timeout\": 5, \"sshd_settings\": {\"MaxSessions\": 4}, \"host_settings\": {\"host3\": {\"Port\": 2299}}}"
[ "$status" != 0 ] || fail "the breaking play succeeds"
# host3's change was made (changed=1: no confirm), and its new connection failed.
[ "$(recap break 3 changed)" = 1 ] && [ "$(recap break 3 failed)" = 1 ] && [ "$(recap break 1 failed)" = 0 ] &&
    [ "$(recap break 2 failed)" = 0 ] || fail "only host3 should fail: $(cat "$t/break.log")"
# Back by itself: host3's files as before, its old port in force and answering a key login, no countdown left.
login3() {
    ssh -F /dev/null -i "$t/id_ed25519" -p "$(port 3)" -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null \
        -o GlobalKnownHostsFile=/dev/null -o LogLevel=ERROR -o ConnectTimeout=5 root@127.0.0.1 true
}
deadline=$((SECONDS + revert_after + 45))
until files 3 ssh/sshd_config ssh/sshd_config.d | cmp -s - "$t/host3.before-break" && answers "$(port 3)" &&
    ! pgrep -f -- "revert --expired --delay $revert_after\$" >/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.5
done
echo "host3 back by itself $(since "$start") s after the breaking play started (revert_after $revert_after s)"
files 3 ssh/sshd_config ssh/sshd_config.d | cmp -s - "$t/host3.before-break" || fail "host3's configuration is not back byte for byte"
expect 3 root "port $(port 3)" "passwordauthentication no" "maxsessions 10"
login3 || fail "no key login on host3's old port"
for i in 1 2; do
    expect "$i" root "port $(port "$i")" "maxsessions 4"
done

for i in "${hosts[@]}"; do
    on "$i" /etc/init.d/ssh stop >/dev/null 2>&1 || true
    kill "${holder[$i]}"
done
umount /root
[ "$failed" = 0 ] || for log in "$t"/*.log; do
    echo "== $log" >&2
    cat "$log" >&2
done
rm -rf "$t"
exit $failed
