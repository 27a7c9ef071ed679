#!/usr/bin/env bash
# Runs a command beside an avahi-daemon of its own: in a new network and
# mount namespace (nothing is announced outside it, the machine's own
# daemon and bus are not touched), with its own system D-Bus, on a veth
# pair with multicast for a small local network.
#
#   avahi_sandbox.sh COMMAND [ARGS...]
#
# Inside, DBUS_SYSTEM_BUS_ADDRESS names the sandbox's bus and AVAHI_SANDBOX
# its folder, where "$AVAHI_SANDBOX/avahi start|stop" starts or stops the
# daemon (to test a daemon that goes and comes back). Exits 77, skipped,
# when no sandbox can be made (not root, no namespaces, a tool missing).
set -euo pipefail

if [[ ${AVAHI_SANDBOX_INSIDE:-} != 1 ]]; then
  if ((EUID != 0)); then
    echo "SKIPPED: an avahi-daemon of the test's own needs root (a network namespace)"
    exit 77
  fi
  for tool in unshare ip dbus-daemon avahi-daemon; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/setup.sh)"; exit 77; }
  done
  if ! unshare --net --mount --propagation private true 2>/dev/null; then
    echo "SKIPPED: no network namespaces here"
    exit 77
  fi
  exec env AVAHI_SANDBOX_INSIDE=1 unshare --net --mount --propagation private bash "$0" "$@"
fi

# What the system's D-Bus library keeps to the end of a program is not
# ours to mend (the sanitizer build's leak check).
supp=$(cd "$(dirname "$0")/../data" && pwd)/lsan_system.supp
export LSAN_OPTIONS="suppressions=$supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

dir=$(mktemp -d "${TMPDIR:-/tmp}/ombrix-avahi.XXXXXX")
export AVAHI_SANDBOX=$dir
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/system_bus_socket
bus_pid=
cleanup() {
  "$dir/avahi" stop 2>/dev/null || true
  [[ -n $bus_pid ]] && kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

# The network: a veth pair, link-local addresses only.
ip link set lo up
ip link add ombrix0 type veth peer name ombrix1
ip link set ombrix0 multicast on up
ip link set ombrix1 multicast on up
ip addr add 169.254.231.1/16 dev ombrix0

# The daemon's pid file and socket live in /run/avahi-daemon: a folder of
# the sandbox's own (the mount namespace keeps it from the machine's).
mkdir -p /run/avahi-daemon
mount -t tmpfs tmpfs /run/avahi-daemon

cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>$DBUS_SYSTEM_BUS_ADDRESS</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
cat >"$dir/avahi.conf" <<CONF
[server]
host-name=ombrix-sandbox
allow-interfaces=ombrix0
use-ipv4=yes
use-ipv6=yes
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
CONF

# Waits (at most 20 s) until a condition holds.
until_true() {
  local deadline=$((SECONDS + 20))
  until eval "$1"; do
    ((SECONDS < deadline)) || { echo "avahi_sandbox: gave up waiting for: $1" >&2; return 1; }
    read -r -t 0.05 <> <(:) || true
  done
}

cat >"$dir/avahi" <<SCRIPT
#!/usr/bin/env bash
# avahi start|stop: the sandbox's avahi-daemon.
set -euo pipefail
case \$1 in
  start)
    : >"$dir/avahi.log"
    avahi-daemon --no-drop-root --no-chroot --no-rlimits --no-proc-title -f "$dir/avahi.conf" \
      >>"$dir/avahi.log" 2>&1 &
    echo \$! >"$dir/avahi.pid"
    deadline=\$((SECONDS + 20))
    until grep -q 'Server startup complete' "$dir/avahi.log"; do
      ((SECONDS < deadline)) || { cat "$dir/avahi.log" >&2; exit 1; }
      read -r -t 0.05 <> <(:) || true
    done ;;
  stop)
    [[ -s "$dir/avahi.pid" ]] || exit 0
    pid=\$(cat "$dir/avahi.pid")
    rm -f "$dir/avahi.pid"
    kill "\$pid" 2>/dev/null || exit 0
    while kill -0 "\$pid" 2>/dev/null; do read -r -t 0.05 <> <(:) || true; done ;;
esac
SCRIPT
chmod +x "$dir/avahi"

dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile 2>"$dir/bus.log" &
bus_pid=$!
until_true "[[ -S $dir/system_bus_socket ]]"
"$dir/avahi" start

status=0
"$@" || status=$?
exit "$status"
