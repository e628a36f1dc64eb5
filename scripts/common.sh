# Shared by the set-up scripts: where things are, and root rights when needed.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Every build goes through ccache, which install-deps.sh installs from
# packages.txt. CMake reads the launcher only when it first configures a build
# folder, so it is set here, once, for every script that builds.
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}

# Installs what is missing, then builds one preset ("default", "asan", "fuzz"
# or "release") from the top folder; further arguments go to the build.
build_preset() {
  local preset=$1; shift
  "$top/scripts/install-deps.sh"
  (cd "$top" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" "$@")
}

# Whether a relay data folder holds an authority limited to the loopback
# names (older relays made authorities that could sign for any host).
relay_authority_constrained() {
  local ca="$1/autorite/ca.crt"
  [ -f "$ca" ] && openssl x509 -in "$ca" -noout -ext nameConstraints 2>/dev/null | grep -q Permitted
}

# Sets one key of the [General] group of Parlova's settings, unless the user
# already set it: set_parlova_setting <key> <value>.
set_parlova_setting() {
  local key=$1 value=$2
  local conf="${XDG_CONFIG_HOME:-$HOME/.config}/parlova/parlova.conf"
  mkdir -p "$(dirname "$conf")"
  grep -q "^$key=" "$conf" 2>/dev/null && return 0
  if grep -q '^\[General\]' "$conf" 2>/dev/null; then
    sed -i "/^\[General\]/a $key=$value" "$conf"
  else
    printf '[General]\n%s=%s\n' "$key" "$value" >>"$conf"
  fi
}

# Starts parlova-relais in the background and waits for its ready line; sets
# relay_pid and relay_port.
start_relay() {
  local exe=$1 log=$2; shift 2
  : >"$log"
  "$exe" "$@" >"$log" 2>&1 &
  relay_pid=$!
  for _ in $(seq 1 300); do
    if grep -q -E 'https://127\.0\.0\.1:[0-9]+' "$log"; then
      relay_port=$(grep -o -E 'https://127\.0\.0\.1:[0-9]+' "$log" | head -n 1 | sed 's/.*://')
      return 0
    fi
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "parlova-relais n'a pas démarré :" >&2
  cat "$log" >&2
  return 1
}

# Starts a throw-away PostgreSQL 15 server in its own folder, on a free
# loopback port, with trust for local connections and no durability (a test
# base is thrown away anyway). initdb and postgres refuse root: they run as
# nobody. Sets postgres_dir and postgres_uri (postgresql://parlova@127.0.0.1:PORT).
start_postgres() {
  local bin=/usr/lib/postgresql/15/bin port
  [ -x "$bin/postgres" ] || { echo "PostgreSQL 15 n'est pas installé" >&2; return 1; }
  postgres_dir=$(mktemp -d /tmp/parlova-postgres.XXXXXX)
  chmod 0755 "$postgres_dir"
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  local as_nobody=()
  [ "$(id -u)" -ne 0 ] || { chown 65534:65534 "$postgres_dir"; as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups); }
  "${as_nobody[@]}" "$bin/initdb" -D "$postgres_dir/data" -U parlova --auth=trust -E UTF8 \
    --locale=C.UTF-8 >"$postgres_dir/initdb.log" 2>&1 || { cat "$postgres_dir/initdb.log" >&2; return 1; }
  "${as_nobody[@]}" "$bin/pg_ctl" -D "$postgres_dir/data" -l "$postgres_dir/postgres.log" -w -s \
    -o "-p $port -k $postgres_dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=300" \
    start || { cat "$postgres_dir/postgres.log" >&2; return 1; }
  postgres_uri="postgresql://parlova@127.0.0.1:$port"
}

# Stops the server of start_postgres and removes its folder.
stop_postgres() {
  [ -n "${postgres_dir:-}" ] || return 0
  local as_nobody=()
  [ "$(id -u)" -ne 0 ] || as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  "${as_nobody[@]}" /usr/lib/postgresql/15/bin/pg_ctl -D "$postgres_dir/data" -m immediate -s stop 2>/dev/null || true
  rm -rf "$postgres_dir"
}
