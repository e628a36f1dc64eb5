#!/usr/bin/env bash
# Builds the two Debian packages (parlova, parlova-relais) from the default
# build, then checks them: their contents, the desktop and AppStream files
# they carry, that the stripped programs still start, that Debian 12 can
# satisfy their dependencies, and lintian. Packages land in build/paquets/.
# Fails on any lintian error; warnings are printed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_preset default
build="$top/build"
out="$build/paquets"
rm -rf "$out"
mkdir -p "$out"

desktop-file-validate "$top/packaging/parlova.desktop"
appstreamcli validate --no-net --pedantic "$top/packaging/fr.orvane.parlova.metainfo.xml"

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log" >&2; exit 1; }
app=$(ls "$out"/parlova_*.deb)
relay=$(ls "$out"/parlova-relais_*.deb)

# Paths each package must hold (data.tar lists them as ./usr/...).
expect() {
  local deb=$1; shift
  local listing missing=0
  listing=$(dpkg-deb --contents "$deb" | awk '{print $6}')
  for path in "$@"; do
    grep -qxF "./$path" <<<"$listing" || { echo "$(basename "$deb") : $path manque" >&2; missing=1; }
  done
  return $missing
}
expect "$app" \
  usr/bin/parlova \
  usr/lib/parlova/bureau/parlova-bureau.so \
  usr/share/applications/parlova.desktop \
  usr/share/metainfo/fr.orvane.parlova.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/parlova.svg \
  usr/share/icons/hicolor/48x48/apps/parlova.png \
  usr/lib/udev/rules.d/70-parlova.rules \
  usr/share/man/man1/parlova.1.gz \
  usr/share/doc/parlova/copyright \
  usr/share/doc/parlova/changelog.Debian.gz
if [ -f "$top/docs/autorisations.html" ]; then
  expect "$app" usr/share/parlova/autorisations.html
fi
expect "$relay" \
  usr/bin/parlova-relais \
  usr/lib/systemd/user/parlova-relais.service \
  usr/share/man/man1/parlova-relais.1.gz \
  usr/share/doc/parlova-relais/copyright \
  usr/share/doc/parlova-relais/changelog.Debian.gz
# Neither package may carry the other's programs.
if dpkg-deb --contents "$relay" | grep -q 'usr/bin/parlova$'; then
  echo "parlova-relais contient parlova" >&2
  exit 1
fi

for deb in "$app" "$relay"; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends Suggests
  dpkg-deb --contents "$deb" | awk '{print $1, $6}'
done

# The stripped relay still runs, from the package's own files.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$relay" "$unpacked"
"$unpacked/usr/bin/parlova-relais" --aide >/dev/null
# And the program finds its desktop module where the package puts it: snapshot
# mode draws the windows offscreen and needs no session.
dpkg-deb -x "$app" "$unpacked"
"$unpacked/usr/bin/parlova" --capturer "$unpacked/images" >/dev/null 2>&1
ls "$unpacked/images"/*.png >/dev/null

# Every dependency is a package that this system's sources offer (skipped when
# apt has no package lists, where it could not tell).
if apt-cache policy libc6 2>/dev/null | grep -q 'Candidate: [0-9]'; then
  apt-get install --simulate --no-install-recommends "$app" "$relay" >"$out/apt.log" 2>&1 \
    || { cat "$out/apt.log" >&2; exit 1; }
fi

echo "== lintian"
lintian --fail-on error --display-info "$app" "$relay"
