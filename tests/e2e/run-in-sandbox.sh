#!/bin/bash
# Runs a command with the real KAuth stack but nothing of the machine at stake:
# private mount, network and pid namespaces with loopback up, a throw-away
# copy of /etc/ssh, a tmpfs on /run and a private system bus that activates
# polkitd and the installed helper as root on demand.
#
#   tests/e2e/run-in-sandbox.sh COMMAND [ARGUMENT...]
set -euo pipefail

if [ -z "${SSHSETTINGS_IN_SANDBOX:-}" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "run-in-sandbox.sh: must run as root" >&2
        exit 77
    fi
    export SSHSETTINGS_IN_SANDBOX=1
    exec /usr/bin/unshare --mount --net --pid --fork --mount-proc --propagation private "$0" "$@"
fi

/usr/sbin/ip link set lo up 2>/dev/null || /sbin/ip link set lo up

work=$(mktemp -d /tmp/sshsettings-sandbox.XXXXXX)
mkdir -p "$work/ssh"
cp -a /etc/ssh/. "$work/ssh/"
rm -f "$work"/ssh/ssh_host_*key* "$work"/ssh/*.bak
mount --bind "$work/ssh" /etc/ssh
/usr/bin/ssh-keygen -A >/dev/null

mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/dbus /run/sshd
chmod 0755 /run/sshd

cat > "$work/system-bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <standard_system_servicedirs/>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Peer"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
  <includedir>/etc/dbus-1/system.d</includedir>
</busconfig>
CONF

/usr/bin/dbus-daemon --config-file="$work/system-bus.conf" --fork --print-pid > "$work/bus.pid"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket

status=0
"$@" || status=$?

# Everything started here lives in this pid namespace and ends with it.
kill "$(cat "$work/bus.pid")" 2>/dev/null || true
umount /etc/ssh /run 2>/dev/null || true
rm -rf "$work"
exit $status
