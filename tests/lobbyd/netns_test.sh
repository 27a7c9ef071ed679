#!/usr/bin/env bash
# Playing across the internet, shown with network namespaces (as root):
#
#   home (192.0.2.2) -- router (NAT: 192.0.2.1 | 198.51.100.2) -- internet
#   internet: the lobby server (198.51.100.1, 203.0.113.1, 2001:db8:1::1) and
#             the joiners
#   public (203.0.113.2, 2001:db8:1::2): a host anyone can reach
#   upnp home (192.168.77.2) -- router with miniupnpd (NAT: 192.168.77.1 |
#             198.51.101.2) -- internet (198.51.101.1)
#
# A host behind the NAT registers and is joined by code through the relay
# (its router offers no port mapping, and it says so), and a browser joins
# it by the server's web link and plays a round; a host behind a
# router that does (UPnP) has a port forwarded, is joined directly, and the
# mapping goes when the host stops; a public host is joined directly, over
# IPv6; a private table is absent from the listing and joined by its code; a
# host killed is withdrawn. The
# joiners are the lobby program (`ombrix-lobby --join +CODE --server ...`),
# each starting the real game headless and ending with it. Only
# documentation and private addresses, inside namespaces this test makes and
# removes, but one: miniupnpd forwards nothing for a router whose public
# address is reserved, so that router's is an ordinary one (198.51.101.2),
# which inside these namespaces reaches nothing real.
#
#   netns_test.sh LOBBYD HOST BIN_DIR    (exit 77: skipped; BIN_DIR holds
#                                         ombrix and ombrix-lobby)
set -euo pipefail
lobbyd=$1 host=$2 bin=$3
if [[ $(id -u) != 0 ]] || ! command -v ip >/dev/null || ! command -v nft >/dev/null; then
  echo "SKIPPED: needs root, ip (iproute2) and nft (nftables) for network namespaces" >&2
  exit 77
fi
id=ob$$
home=${id}h rtr=${id}r inet=${id}i pub=${id}p uhome=${id}u urtr=${id}w
if ! ip netns add "$home" 2>/dev/null; then
  echo "SKIPPED: this machine does not let us make network namespaces" >&2
  exit 77
fi
logs=$(mktemp -d)
# The lobby and the game in a folder of the test's own: the settings file
# they share is the one beside them, and the game's single-copy lock lives
# in a runtime folder of the test's own.
for p in ombrix ombrix-lobby; do cp -l "$bin/$p" "$logs/" 2>/dev/null || cp "$bin/$p" "$logs/"; done
export XDG_RUNTIME_DIR=$logs/run QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
lobby=$logs/ombrix-lobby
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for n in "$home" "$rtr" "$inet" "$pub" "$uhome" "$urtr"; do ip netns del "$n" 2>/dev/null || true; done
  rm -rf "$logs" "/etc/netns/$pub"
}
trap cleanup EXIT
for n in "$rtr" "$inet" "$pub"; do ip netns add "$n"; done
nsx() { local n=$1; shift; ip netns exec "$n" "$@"; }
for n in "$home" "$rtr" "$inet" "$pub"; do nsx "$n" ip link set lo up; done
link() {  # link NS1 IF1 NS2 IF2
  ip link add "$2" type veth peer name "$4"
  ip link set "$2" netns "$1"
  ip link set "$4" netns "$3"
  nsx "$1" ip link set "$2" up
  nsx "$3" ip link set "$4" up
}
# behind_router HOME RTR HOMEIF RTRIF OUTIF INETIF HOMENET OUTNET: a home
# (HOMENET.2) whose router (HOMENET.1, OUTNET.2) forwards to the internet
# namespace (OUTNET.1); the router's rules are the caller's.
behind_router() {
  link "$1" "$3" "$2" "$4"
  link "$2" "$5" "$inet" "$6"
  nsx "$1" ip addr add "$7.2/24" dev "$3"
  nsx "$1" ip route add default via "$7.1"
  nsx "$2" ip addr add "$7.1/24" dev "$4"
  nsx "$2" ip addr add "$8.2/24" dev "$5"
  nsx "$2" ip route add default via "$8.1"
  nsx "$2" sysctl -qw net.ipv4.ip_forward=1
  nsx "$inet" ip addr add "$8.1/24" dev "$6"
}
behind_router "$home" "$rtr" "${id}a" "${id}b" "${id}c" "${id}d" 192.0.2 198.51.100
link "$inet" "${id}e" "$pub" "${id}f"
nsx "$inet" ip addr add 203.0.113.1/24 dev "${id}e"
nsx "$inet" ip -6 addr add 2001:db8:1::1/64 dev "${id}e" nodad
nsx "$pub" ip addr add 203.0.113.2/24 dev "${id}f"
nsx "$pub" ip -6 addr add 2001:db8:1::2/64 dev "${id}f" nodad
nsx "$pub" ip route add default via 203.0.113.1
# The home router: everything from home leaves as its own address, and
# nothing from outside gets in unasked.
nsx "$rtr" nft -f - <<EOF
table ip nat {
  chain masq { type nat hook postrouting priority srcnat; oifname "${id}c" masquerade; }
}
table ip filter {
  chain guard {
    type filter hook forward priority filter; policy drop;
    ct state established,related accept
    iifname "${id}b" accept
  }
}
EOF

fail=0
check() { if ! eval "$2"; then echo "FAILED: $1" >&2; fail=1; fi; }
# Waits (at most 30 s) for PATTERN in FILE.
await() { grep -q -m1 -E -- "$2" < <(timeout 30 tail -n +1 -f "$1") || true; grep -q -E -- "$2" "$1"; }

: >"$logs/lobbyd"
ip netns exec "$inet" "$lobbyd" --port 0 --web-port 0 2>"$logs/lobbyd" &
pids+=($!)
await "$logs/lobbyd" 'web table on port [0-9]+' || { echo "FAILED: the lobby server did not start" >&2; exit 1; }
port=$(grep -oE 'listening on port [0-9]+' "$logs/lobbyd" | grep -oE '[0-9]+$')
webport=$(grep -oE 'web table on port [0-9]+' "$logs/lobbyd" | grep -oE '[0-9]+$')

start_host() {  # start_host NS LOG OPTIONS...; the host's pid in $started
  local n=$1 log=$2
  shift 2
  # There before await's tail looks, which may be before the program starts.
  : >"$log"
  # Not through a function: $! must be the program itself.
  ip netns exec "$n" "$host" --port 0 "$@" 2>"$log" &
  started=$!
  pids+=("$started")
  await "$log" 'invite code: \+' || { echo "FAILED: no invite code ($log)" >&2; cat "$log" >&2; return 1; }
}
code_of() { grep -oE 'invite code: \+[A-Z0-9]{7}' "$1" | tail -1 | cut -d' ' -f3; }

# join CODE NAME LOG: the lobby joins the table by its code (the code as a
# person might type it: the "+" is what says it is one), the host seats the
# game, the game is closed, and the lobby ends with it; its status in $ended.
join() {
  local code=$1 name=$2 log=$3 hostlog=$4 game
  : >"$log"  # there before await looks, as start_host's
  nsx "$inet" "$lobby" --join "$code" --name "$name" --server "198.51.100.1:$port" 2>"$log" &
  local joiner=$!
  pids+=("$joiner")
  ended=none
  await "$log" 'joined \+|not reached' || { echo "FAILED: the lobby said nothing ($log)" >&2; fail=1; return 0; }
  await "$hostlog" "logged in as $name" || { echo "FAILED: the host did not seat $name" >&2; fail=1; }
  game=$(grep -oE 'the game runs as process [0-9]+' "$log" | grep -oE '[0-9]+$') || true
  [[ -n $game ]] && kill "$game"
  ended=0
  wait "$joiner" || ended=$?
}

# Behind the NAT: the server cannot reach it, joiners come through the relay.
start_host "$home" "$logs/nat" --lobby-server "198.51.100.1:$port"
natpid=$started
nat=$(code_of "$logs/nat")
check "the server sees the NAT's address" "await '$logs/lobbyd' 'table \\$nat registered from 198\\.51\\.100\\.2 '"
check "the NAT host is told it is reached through the relay" \
  "await '$logs/nat' 'cannot reach this table: joiners come through its relay'"
join "+${nat:1}" Zed "$logs/join-nat" "$logs/nat"
echo "behind the NAT: $(tr '\n' ';' <"$logs/join-nat")"
check "the NAT host says its router maps no port" \
  "grep -qxF 'ombrix-host: port mapping: no router offers it (joiners come through the relay)' '$logs/nat'"
check "the lobby joins the NAT host by code through the relay" "grep -qxF 'ombrix-lobby: joined $nat through the relay' '$logs/join-nat'"
check "the NAT host seated the game" "grep -q 'logged in as Zed' '$logs/nat'"
check "the lobby ended with its game" "[[ $ended == 0 ]]"

# A friend with only a browser: the NAT host's server link opens the page,
# whose WebSocket reaches the table through the server's relay; it plays a
# round (in the internet namespace, as the lobby's joiner did).
weblink="http://198.51.100.1:$webport/$nat"
check "the NAT host prints its server link" "grep -qxF 'ombrix-host: web link: $weblink' '$logs/nat'"
here=$(cd "$(dirname "$0")" && pwd)
if command -v node >/dev/null && [[ -d $here/../../web/node_modules/playwright-core ]]; then
  webrc=0
  nsx "$inet" node "$here/../../web/tests/link.mjs" "$weblink" >"$logs/browser" 2>&1 || webrc=$?
  echo "a browser by the server link: $(tr '\n' ';' <"$logs/browser")"
  if [[ $webrc == 77 ]]; then
    echo "(the browser's part skipped: chromium cannot start here)" >&2
  else
    check "a browser joins by the server link through the NAT and plays a round" "[[ $webrc == 0 ]]"
    check "the NAT host seated the browser" "grep -q 'logged in as Webby' '$logs/nat'"
  fi
else
  echo "(the browser's part skipped: no node or web/node_modules)" >&2
fi

# A router that offers port mapping (UPnP): miniupnpd on its home side, its
# rules in nftables chains of its own that this router's jump to.
if command -v miniupnpd >/dev/null; then
  for n in "$uhome" "$urtr"; do ip netns add "$n"; nsx "$n" ip link set lo up; done
  behind_router "$uhome" "$urtr" "${id}g" "${id}j" "${id}k" "${id}m" 192.168.77 198.51.101
  nsx "$urtr" nft -f - <<EOF
table inet filter {
  chain miniupnpd { }
  chain forward {
    type filter hook forward priority filter; policy drop;
    ct state established,related accept
    iifname "${id}j" accept
    jump miniupnpd
  }
}
table inet nat {
  chain prerouting_miniupnpd { }
  chain postrouting_miniupnpd { }
  chain prerouting { type nat hook prerouting priority dstnat; jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority srcnat; jump postrouting_miniupnpd; oifname "${id}k" masquerade; }
}
EOF
  cat >"$logs/miniupnpd.conf" <<EOF
ext_ifname=${id}k
listening_ip=${id}j
port=0
enable_natpmp=no
enable_upnp=yes
secure_mode=yes
upnp_table_name=filter
upnp_nat_table_name=nat
lease_file=$logs/miniupnpd.leases
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
  # Not through nsx: $! must be the daemon itself.
  ip netns exec "$urtr" miniupnpd -d -f "$logs/miniupnpd.conf" -P "$logs/miniupnpd.pid" 2>"$logs/miniupnpd" &
  pids+=($!)
  await "$logs/miniupnpd" 'HTTP listening on port' || echo "FAILED: miniupnpd did not start" >&2
  start_host "$uhome" "$logs/upnp" --lobby-server "198.51.100.1:$port"
  upnphost=$started
  upnpport=$(grep -oE 'listening on port [0-9]+' "$logs/upnp" | grep -oE '[0-9]+$')
  upnpcode=$(code_of "$logs/upnp")
  check "the UPnP host says its router maps its own port" \
    "grep -qxF 'ombrix-host: port mapping: router maps 198.51.101.2:$upnpport to this table' '$logs/upnp'"
  # (grep reads the whole listing: with -q, nft could die of the closed pipe.)
  check "the router forwards it" "nsx '$urtr' nft list table inet nat | grep -F 'dnat ip to 192.168.77.2:$upnpport' >/dev/null"
  check "the server reached the UPnP host through its router" \
    "await '$logs/upnp' 'reached this table at 198\\.51\\.101\\.2:$upnpport'"
  join "$upnpcode" Uma "$logs/join-upnp" "$logs/upnp"
  echo "behind a UPnP router: $(tr '\n' ';' <"$logs/join-upnp")"
  check "the lobby joins the UPnP host directly, not through the relay" \
    "grep -qxF 'ombrix-lobby: joined $upnpcode directly at 198.51.101.2:$upnpport' '$logs/join-upnp'"
  kill -TERM "$upnphost"
  wait "$upnphost" || true
  check "the stopped host's mapping is gone from the router" "! nsx '$urtr' nft list ruleset | grep -F 'dport $upnpport' >/dev/null"

  # The router already forwards the game's port to another machine of the
  # home (192.168.77.3: an address of the same namespace, which asks from
  # that address, as the router lets each machine map only to itself):
  # another port is mapped, and the server is told that one. Any port will
  # do inside this namespace, where nothing else listens.
  taken=$((20000 + RANDOM % 20000))
  igd=http://192.168.77.1:$(grep -oE 'HTTP listening on port [0-9]+' "$logs/miniupnpd" | grep -oE '[0-9]+$')/rootDesc.xml
  nsx "$uhome" ip addr add 192.168.77.3/24 dev "${id}g"
  nsx "$uhome" ip route add 192.168.77.1/32 dev "${id}g" src 192.168.77.3
  nsx "$uhome" upnpc -u "$igd" -e other -a 192.168.77.3 "$taken" "$taken" TCP 600 >"$logs/upnpc" 2>&1 ||
    echo "FAILED: upnpc could not map $taken" >&2
  nsx "$uhome" ip route del 192.168.77.1/32
  start_host "$uhome" "$logs/upnp2" --port "$taken" --lobby-server "198.51.100.1:$port"
  other=$(grep -oE 'router maps 198\.51\.101\.2:[0-9]+' "$logs/upnp2" | grep -oE '[0-9]+$') || true
  check "a taken port makes the host map another" "[[ -n '$other' && '$other' != '$taken' ]]"
  check "the server reached the table at the other port" \
    "await '$logs/upnp2' 'reached this table at 198\\.51\\.101\\.2:$other\$'"
  kill -TERM "$started"
  wait "$started" || true
  check "its mapping is gone too, the other table's kept" \
    "! nsx '$urtr' nft list ruleset | grep -F 'dport $other ' >/dev/null && nsx '$urtr' nft list ruleset | grep -F 'dport $taken ' >/dev/null"

  # --no-port-mapping: the router is not even searched for; the server finds
  # the table unreachable and joiners come through the relay.
  searched=$(grep -c 'M-SEARCH' "$logs/miniupnpd" || true)
  start_host "$uhome" "$logs/nomap" --lobby-server "198.51.100.1:$port" --no-port-mapping
  check "a host without port mapping says so" \
    "grep -qxF 'ombrix-host: port mapping: off (joiners come directly or through the relay)' '$logs/nomap'"
  check "and is reached through the relay" "await '$logs/nomap' 'cannot reach this table: joiners come through its relay'"
  check "having asked the router nothing" "[[ \$(grep -c 'M-SEARCH' '$logs/miniupnpd' || true) == $searched ]]"
  kill -TERM "$started"
  wait "$started" || true

  # A short lease: miniupnpd forgets a mapping whose lease ends (one asked
  # for once, by hand, goes), and the host renews its own at half the lease.
  forget=$((20000 + RANDOM % 20000))
  nsx "$uhome" upnpc -u "$igd" -e once -a 192.168.77.2 "$forget" "$forget" TCP 3 >"$logs/upnpc-once" 2>&1 ||
    echo "FAILED: upnpc could not map $forget" >&2
  start_host "$uhome" "$logs/lease" --lobby-server "198.51.100.1:$port" --port-mapping-lease 3
  leaseport=$(grep -oE 'router maps 198\.51\.101\.2:[0-9]+' "$logs/lease" | grep -oE '[0-9]+$') || true
  renewals() { grep -c "ext port $1 to 192.168.77.2:[0-9]* protocol TCP for: Ombrix table leaseduration=3" "$2" || true; }
  export -f renewals
  check "the lease is renewed while the table is hosted" \
    "timeout 30 bash -c 'until ((\$(renewals $leaseport $logs/miniupnpd) >= 4)); do sleep 0.2; done'"
  check "a lease not renewed is forgotten by the router" \
    "! nsx '$urtr' nft list ruleset | grep -F 'dport $forget ' >/dev/null"
  check "while the renewed one is kept" "nsx '$urtr' nft list ruleset | grep -F 'dport $leaseport ' >/dev/null"
  kill -TERM "$started"
  wait "$started" || true

  # A slow router: the first SYN of each connection to its HTTP port is lost,
  # so each request takes a second more and the mapping comes after the
  # registration's three seconds. The server is shown it then, and offers
  # the router's port to later joiners (a joiner offered one comes directly,
  # as above).
  http=$(grep -oE 'HTTP listening on port [0-9]+' "$logs/miniupnpd" | grep -oE '[0-9]+$')
  nsx "$urtr" nft -f - <<EOF
table ip slow {
  set seen { type ipv4_addr . inet_service; flags dynamic, timeout; timeout 1m; }
  chain input {
    type filter hook input priority -10;
    tcp dport $http tcp flags syn ip saddr . tcp sport @seen accept
    tcp dport $http tcp flags syn add @seen { ip saddr . tcp sport } drop
  }
}
EOF
  start_host "$uhome" "$logs/late" --lobby-server "198.51.100.1:$port"
  check "the slow router's mapping comes after the registration" \
    "await '$logs/late' 'port mapping: router maps 198\\.51\\.101\\.2:[0-9]+ to this table \\(after the table registered'"
  lateport=$(grep -oE 'router maps 198\.51\.101\.2:[0-9]+' "$logs/late" | grep -oE '[0-9]+$') || true
  check "the server is shown it and reaches the table through it" \
    "await '$logs/late' 'reached this table at 198\\.51\\.101\\.2:$lateport\$'"
  nsx "$urtr" nft delete table ip slow
  kill -TERM "$started"
  wait "$started" || true
else
  echo "SKIPPED (part): no miniupnpd (Debian's miniupnpd-nftables), so no router that maps ports" >&2
fi

# Reachable, and the server's name has both families: registered over IPv6,
# shown its IPv4 address too, joined directly over IPv6. (ip netns exec
# reads /etc/netns/NAME/hosts as the namespace's /etc/hosts.)
mkdir -p "/etc/netns/$pub"
printf '2001:db8:1::1 lobby.example\n203.0.113.1 lobby.example\n' >"/etc/netns/$pub/hosts"
start_host "$pub" "$logs/pub" --lobby-server "lobby.example:$port"
pubport=$(grep -oE 'listening on port [0-9]+' "$logs/pub" | grep -oE '[0-9]+$')
pubcode=$(code_of "$logs/pub")
check "the server reached the public host at both its addresses" \
  "await '$logs/pub' 'reached this table at \\[2001:db8:1::2\\]:$pubport 203\\.0\\.113\\.2:$pubport'"
join "${pubcode,,}" Yan "$logs/join-pub" "$logs/pub"
echo "public host: $(tr '\n' ';' <"$logs/join-pub")"
check "the direct path, over IPv6" "grep -qxF 'ombrix-lobby: joined $pubcode directly at [2001:db8:1::2]:$pubport' '$logs/join-pub'"
check "the public host seated the game from the joiner's own address" "grep -q 'logged in as Yan' '$logs/pub'"

# A private table: not listed, found by its code. The lobby lists the
# server's tables whether or not this namespace sees an avahi-daemon.
start_host "$home" "$logs/private" --lobby-server "198.51.100.1:$port" --private
private=$(code_of "$logs/private")
listing=$(nsx "$inet" "$lobby" --list --json --wait 0 --server "198.51.100.1:$port" 2>"$logs/list.err") ||
  { echo "FAILED: --list --server ended with $?" >&2; fail=1; }
echo "listed: $(tr '\n' ';' <<<"$listing")"
check "the public tables are listed, by their codes" \
  "grep -qF '\"source\":\"server\",\"code\":\"$nat\"}' <<<'$listing' && grep -qF '\"code\":\"$pubcode\"' <<<'$listing'"
check "the private table is not" "! grep -qF '$private' <<<'$listing'"
join "$private" Xia "$logs/join-private" "$logs/private"
check "the private table is reached by its code" "grep -qxF 'ombrix-lobby: joined $private through the relay' '$logs/join-private'"

# A code no table has: said so, and no game is started.
status=0
nsx "$inet" "$lobby" --join +2345678 --name Wu --server "198.51.100.1:$port" 2>"$logs/join-none" || status=$?
check "an unknown code ends the lobby with 1 and says why" \
  "((status == 1)) && grep -qx 'ombrix-lobby: the table was not reached: no table has the code +2345678' '$logs/join-none'"

# The lobby hosts behind the NAT: the game registers its table and tells the
# lobby its code and that its router maps no port; a lobby outside joins it
# through the relay to the game's own port, and the seat it takes reaches
# the server's listing straight from the game (no avahi-daemon here); the
# table is withdrawn when the game ends.
mkdir -m 700 "$logs/run-host"
: >"$logs/lobby-host"
XDG_RUNTIME_DIR=$logs/run-host ip netns exec "$home" "$lobby" --host --name Vic --server "198.51.100.1:$port" \
  2>"$logs/lobby-host" &
hoster=$!
pids+=("$hoster")
await "$logs/lobby-host" 'invite code: \+' || echo "FAILED: the hosting lobby printed no code" >&2
vic=$(code_of "$logs/lobby-host")
await "$logs/lobby-host" 'the game runs as process' || true
check "the hosting lobby is reached through the relay" \
  "await '$logs/lobby-host' 'cannot reach this table: joiners come through its relay'"
: >"$logs/join-vic"
nsx "$inet" "$lobby" --join "$vic" --name Wei --server "198.51.100.1:$port" 2>"$logs/join-vic" &
weiLobby=$!
pids+=("$weiLobby")
check "the hosting lobby says its router maps no port" \
  "grep -qxF 'ombrix-lobby: port mapping: no router offers it (joiners come through the relay)' '$logs/lobby-host'"
check "a lobby joins the lobby-hosted table through the relay" "await '$logs/join-vic' 'joined \\$vic through the relay'"
# players_of CODE: the players the server lists at that table.
players_of() {
  nsx "$inet" "$lobby" --list --json --wait 0 --server "198.51.100.1:$port" 2>/dev/null |
    grep -F "\"code\":\"$1\"" | grep -oE '"players":[0-9]' | cut -d: -f2
}
export -f players_of nsx
export inet lobby port
check "the seat taken reaches the server's listing" \
  "timeout 30 bash -c 'until [[ \$(players_of \"$vic\") == 2 ]]; do sleep 0.2; done'"
kill "$(grep -oE 'the game runs as process [0-9]+' "$logs/lobby-host" | grep -oE '[0-9]+$')"
hosted=0
wait "$hoster" || hosted=$?
check "the hosting lobby ended with its game" "((hosted == 0))"
check "and its table was withdrawn" "await '$logs/lobbyd' 'table \\$vic withdrawn'"
wait "$weiLobby" || true

# The NAT host is killed: its registration goes with it.
kill -KILL "$natpid"
check "a killed host is withdrawn" "await '$logs/lobbyd' 'table \\$nat withdrawn'"
listing=$(nsx "$inet" "$lobby" --list --wait 0 --server "198.51.100.1:$port" 2>/dev/null) || true
check "and no longer listed" "! grep -qF '$nat' <<<'$listing' && grep -qF '$pubcode' <<<'$listing'"

if ((fail)); then
  # The logs, not the programs copied beside them nor the runtime folders.
  for f in "$logs"/*; do
    [[ -f $f && ! -x $f ]] || continue
    echo "== $f"
    cat "$f"
  done >&2
fi
exit "$fail"
