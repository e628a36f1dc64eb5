#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite inside the
# test rig. The optional argument picks the build: "default" or "asan".
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
preset=${1:-default}
build_preset "$preset"
build_dir="$top/build"
[ "$preset" = default ] || build_dir="$top/build-$preset"
cd "$top"
exec "$top/scripts/rig.sh" --build "$build_dir" ctest --preset "$preset"
