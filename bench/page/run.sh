#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The page's cold open and one Apply, timed over the real helper, KAuth and polkit
# in the end-to-end sandbox with BUILD's install tree (as root; builds nothing):
#
#   bench/page/run.sh BUILD [RUNS]        RUNS runs of each figure, 5 by default
#
# open   A fresh pagebench process per run loads the module from its installed plug-in,
#        shows it and times until its values are on the page: valuesShown() when the
#        module's class has that signal, else the return of the load() its first show
#        queues. The helper is cold: each run waits until the last one's helper ended.
#        kcm_proxy (the desktop's proxy settings, a simple module) is timed the same way,
#        until its load() returned. The two alternate; one unmeasured run of each first.
# apply  Five server options (two spin boxes, three check boxes) changed on a freshly
#        opened page, save() timed until the values are shown again. The review is
#        answered at once with Apply; the keep-or-revert countdown is off (the page's
#        RevertAfterSeconds=0). sshd runs and the Apply restarts it. Afterwards sshd -T
#        must print the five new values; /etc/ssh is then put back and sshd restarted,
#        so that every run makes the same change.
# runs   One more Apply with strace following the system bus, so the helper and all it
#        starts: the programs started between save() and the values shown, counted as
#        run by the helper itself, and in all (the service script's own included).
# Each figure is the median of RUNS; the load average is printed beside it. Everything
# runs at nice -10 (the sandbox, the bus, polkitd, the helper, sshd).
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
source_dir=$(readlink -f "$here/../..")
# Targets. Before asynchronous calls and one round trip per Apply the page opened in 2.7 to
# 4.2 times kcm_proxy's time (sets of 5 at load 0.5 to 1.5 on two shared cores); calls made
# asynchronously do no less work before the values are shown, so the open must not get slower.
# An Apply took 185 to 289 ms; the read-back round trip, two sshd -t and two sshd -T (about
# 13 ms each here) fewer save about 65 ms.
target_open_ratio=3.5
target_apply_ms=200

if [ -z "${SSHSETTINGS_IN_SANDBOX:-}" ]; then
    build=$(readlink -f "${1:?usage: bench/page/run.sh BUILD [RUNS]}")
    [ -x "$build/bin/pagebench" ] || { echo "run.sh: no $build/bin/pagebench: build the whole tree first" >&2; exit 1; }
    # Above the builds that may share the machine, so that they disturb the figures less.
    renice -n -10 -p $$ > /dev/null 2>&1 || true
    exec "$source_dir/tests/e2e/run-in-sandbox.sh" --install "$build" "$(readlink -f "$0")" "$build" "${2:-5}"
fi
# The desktop's modules expect a session bus: one of the run's own.
if [ -z "${PAGEBENCH_SESSION_BUS:-}" ]; then
    export PAGEBENCH_SESSION_BUS=1
    exec /usr/bin/dbus-run-session -- "$0" "$@"
fi

build=$1
runs=$2
bench=$build/bin/pagebench
work=$(mktemp -d /tmp/pagebench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
unset LANGUAGE SSH_CONNECTION
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# A fresh process with settings of its own: no "do not show again", no countdown.
pagebench() {
    rm -rf "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
    mkdir -p "$XDG_CONFIG_HOME"
    printf '[Apply]\nRevertAfterSeconds=0\n' > "$XDG_CONFIG_HOME/kcm_sshsettingsrc"
    "$bench" "$@" 2>> "$work/pagebench.log" || { echo "run.sh: pagebench $* failed:" >&2; tail -5 "$work/pagebench.log" >&2; exit 1; }
}
field() { awk -v key="$1" '$1 == key { print $2 }'; }
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
elapsed_ms() {
    local from
    from=$(date +%s%N)
    "$@" > /dev/null
    echo $((($(date +%s%N) - from) / 1000000))
}
load() { cut -d' ' -f1-3 /proc/loadavg; }

helper_running() {
    local exe
    for exe in /proc/[0-9]*/exe; do
        [ "$(basename "$(readlink "$exe" 2>/dev/null)")" != kcmsshsettings_helper ] || return 0
    done
    return 1
}
# KAuth ends an idle helper after a few seconds.
wait_for_cold_helper() {
    for _ in $(seq 240); do
        helper_running || return 0
        sleep 0.25
    done
    echo "run.sh: the helper did not end" >&2
    exit 1
}

/etc/init.d/ssh start > /dev/null
mkdir "$work/ssh"
cp -a /etc/ssh/. "$work/ssh/"
restore_ssh() {
    find /etc/ssh -mindepth 1 -delete
    cp -a "$work/ssh/." /etc/ssh/
    /etc/init.d/ssh restart > /dev/null
}

# open
pagebench open kcm_sshsettings > /dev/null
pagebench open kcm_proxy > /dev/null
load_open=$(load)
page_open=
proxy_open=
for _ in $(seq "$runs"); do
    wait_for_cold_helper
    page_open+=" $(pagebench open kcm_sshsettings | field open)"
    proxy_open+=" $(pagebench open kcm_proxy | field open)"
done

# apply
load_apply=$(load)
apply=
reviews=
for _ in $(seq "$runs"); do
    restore_ssh
    pagebench apply kcm_sshsettings > "$work/apply.out"
    apply+=" $(field apply < "$work/apply.out")"
    reviews+=" $(field reviews < "$work/apply.out")"
    /usr/sbin/sshd -T > "$work/effective"
    while read -r _ keyword value; do
        grep -qx "$keyword $value" "$work/effective" || { echo "run.sh: sshd -T does not show $keyword $value after Apply" >&2; exit 1; }
    done < <(grep '^expect ' "$work/apply.out")
done

# Programs per Apply: strace follows the system bus, which starts the helper.
restore_ssh
wait_for_cold_helper
bus=
for cmdline in /proc/[0-9]*/cmdline; do
    if { tr '\0' ' ' < "$cmdline"; } 2> /dev/null | grep -q 'system-bus.conf'; then bus=$(basename "$(dirname "$cmdline")"); fi
done
[ -n "$bus" ] || { echo "run.sh: no system bus daemon" >&2; exit 1; }
strace -f -qq -ttt -s 256 -e trace=execve,clone,clone3,fork,vfork -e signal=none -o "$work/strace.log" -p "$bus" &
tracer=$!
for _ in $(seq 100); do
    [ "$(awk '/^TracerPid/ { print $2 }' "/proc/$bus/status")" = 0 ] || break
    sleep 0.05
done
pagebench apply kcm_sshsettings > "$work/apply.out"
kill "$tracer"
wait "$tracer" 2> /dev/null || true
read -r _ from to < <(grep '^window ' "$work/apply.out")
programs=$(python3 "$here/countprograms.py" "$work/strace.log" "$from" "$to")
restore_ssh

# What one run of sshd's checks costs here, for the targets.
sshd_t=
sshd_T=
for _ in $(seq "$runs"); do
    sshd_t+=" $(elapsed_ms /usr/sbin/sshd -t)"
    sshd_T+=" $(elapsed_ms /usr/sbin/sshd -T)"
done

ratio=$(awk -v a="$(median <<< "$page_open")" -v b="$(median <<< "$proxy_open")" 'BEGIN { printf "%.1f", a / b }')
echo "open, cold, to the values shown (ms, median of $runs; load $load_open):"
echo "  SSH Settings $(median <<< "$page_open")  (runs:$page_open)"
echo "  kcm_proxy    $(median <<< "$proxy_open")  (runs:$proxy_open)"
echo "  ratio        $ratio"
echo "Apply of five options, from save() to the values shown again (ms, median of $runs; load $load_apply):"
echo "  SSH Settings $(median <<< "$apply")  (runs:$apply; reviews answered:$reviews; no countdown)"
echo "programs per Apply, $programs"
echo "sshd -t $(median <<< "$sshd_t") ms, sshd -T $(median <<< "$sshd_T") ms (median of $runs)"
met() { awk -v value="$1" -v limit="$2" 'BEGIN { print value <= limit ? "met" : "not met" }'; }
echo "target: SSH Settings open ≤ ${target_open_ratio}× kcm_proxy ($(met "$ratio" "$target_open_ratio")); Apply ≤ ${target_apply_ms} ms ($(met "$(median <<< "$apply")" "$target_apply_ms"))"
