#!/usr/bin/env bash
# Runs a test with a system D-Bus of its own (never the machine's) and an avahi-daemon configuration confined
# to the loopback interface. The test starts and stops avahi-daemon itself through ORVIK_TEST_AVAHI_START.
# Exits 77 (skipped) where a private daemon cannot be run: not root, or no mount namespaces.
set -euo pipefail
if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
  echo "skipped: needs root and mount namespaces to run a private avahi-daemon" >&2
  exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
bus_pid=
cleanup() {
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cat > "$work/avahi.conf" <<'CONF'
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
[reflector]
[rlimits]
CONF
# avahi-daemon keeps its pid file under /run: a private /run in its own mount namespace keeps it apart from a
# daemon the machine may already run.
cat > "$work/start-avahi" <<START
#!/bin/sh
exec unshare -m sh -c 'mount -t tmpfs tmpfs /run && exec avahi-daemon -f "\$0" --no-rlimits' "$work/avahi.conf"
START
chmod +x "$work/start-avahi"
bus_pid=$(dbus-daemon --config-file=/usr/share/dbus-1/system.conf --address="unix:path=$work/bus" \
  --nopidfile --fork --print-pid)
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
export ORVIK_TEST_AVAHI_START="$work/start-avahi"
"$@"
