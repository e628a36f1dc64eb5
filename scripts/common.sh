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
