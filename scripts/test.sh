#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit, gl
# and e2e on one shared Xvfb display (e2e tests start their own).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" test

build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

# One display for the in-process gl tests; -noreset keeps it stable across
# the many short connections they make.
exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -noreset -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display_number <&3
export DISPLAY=":$display_number"
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT

ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
