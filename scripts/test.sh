#!/usr/bin/env bash
# Installs what is missing, builds the whole system once into build-test/
# with clang, AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's
# coverage instrumentation, and runs there every tier (unit, gl, e2e) and
# then the three fuzz targets for a short while (scripts/fuzz.sh). Each phase
# prints its time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" test

start=$SECONDS
phase() { echo "== $1: $((SECONDS - start)) s"; start=$SECONDS; }

# -O1 keeps the build and the runs quick; one build serves the tests and the
# fuzzers alike.
build="$root/build-test"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DVELMORA_SANITIZE=ON -DVELMORA_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
phase build

# One display for the in-process gl tests (e2e tests start their own);
# -noreset keeps it stable across the many short connections they make.
exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -noreset -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display_number <&3
export DISPLAY=":$display_number"
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT

# Leaks are checked where no OpenGL driver is loaded: the unit tier here and
# every fuzz input. The gl and e2e tiers run without leak checking: Mesa's
# driver is unloaded at glfwTerminate, before the leak check at exit, so its
# own allocations show up with unknown modules in their stacks, which cannot
# be told apart from the project's or matched by a suppression.
export UBSAN_OPTIONS=print_stacktrace=1
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L unit
phase unit
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L 'gl|e2e'
phase "gl and e2e"

VELMORA_FUZZ_BUILD="$build" "$root/scripts/fuzz.sh" 15
phase fuzzing
