#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit, gl
# and e2e on one shared Xvfb display (e2e tests start their own). Then the
# same system built with AddressSanitizer and UndefinedBehaviorSanitizer runs
# the unit and gl tiers and the broken-resource e2e tests, and the fuzz
# targets run for a short while (scripts/fuzz.sh).
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

# These run in the sanitizer build only, where they check memory as well:
# 600 in-process frames of the shipped scene, and one run of the real binary
# per broken resource.
sanitizer_only='^GlHygiene\.|^BrokenResources'
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 -E "$sanitizer_only"

# The sanitizer build (-O1 keeps it quick to build and run). Leaks are
# checked where no OpenGL driver is loaded: the unit tier here and every fuzz
# input. The gl and e2e tiers run without leak checking: Mesa's driver is
# unloaded at glfwTerminate, before the leak check at exit, so its own
# allocations show up with unknown modules in their stacks, which cannot be
# told apart from the project's or matched by a suppression.
asan="$root/build-asan"
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DVELMORA_SANITIZE=ON \
  >/dev/null
cmake --build "$asan" -j"$(nproc)"
export UBSAN_OPTIONS=print_stacktrace=1
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$asan" --output-on-failure -j2 --timeout 600 -L unit
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$asan" --output-on-failure -j2 --timeout 1200 -L gl
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$asan" --output-on-failure -j2 --timeout 600 -R "^BrokenResources"

"$root/scripts/fuzz.sh" 20
