#!/usr/bin/env bash
# Runs a command against a gnome-keyring (Secret Service) of its own, on a private D-Bus session bus, with HOME
# and the XDG folders in a temporary folder. The login keyring is created unlocked. The command finds the
# daemon's pid in ORVIK_TEST_KEYRING_PID. The daemon is stopped by its pid and the folder removed afterwards.
set -euo pipefail

if [ "${1:-}" != "--inside-bus" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/orvik-keyring-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir -m 0700 "$work/runtime"
  mkdir "$work/home" "$work/data" "$work/config"
  # No service folders: nothing on this bus may be started by activation behind the test's back.
  cat > "$work/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  status=0
  HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    dbus-run-session --config-file="$work/session.conf" -- "$0" --inside-bus "$@" || status=$?
  exit "$status"
fi
shift

echo -n "orvik-test-password" | gnome-keyring-daemon --foreground --unlock --components=secrets \
  >"$XDG_RUNTIME_DIR/gnome-keyring.log" 2>&1 &
keyring_pid=$!
stop_keyring() {
  kill -CONT "$keyring_pid" 2>/dev/null || true
  kill "$keyring_pid" 2>/dev/null || true
  wait "$keyring_pid" 2>/dev/null || true
}
trap stop_keyring EXIT

for _ in $(seq 200); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
    break
  fi
  if ! kill -0 "$keyring_pid" 2>/dev/null; then
    echo "gnome-keyring-daemon ended:" >&2
    cat "$XDG_RUNTIME_DIR/gnome-keyring.log" >&2
    exit 1
  fi
  sleep 0.05
done

export ORVIK_TEST_KEYRING_PID="$keyring_pid"
"$@"
