#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each one.
#   fuzz.sh [seconds] [target...]
# seconds: running time per target (default 20). Targets: config (the section
# text reader and its getters), scene (scene loading), path (camera path
# loading and playback), handover (the viewer's reader of the import
# process's results); all four by default.
#
# Each target starts from its seeds (tests/fuzz/corpus/<target>/ and the
# shipped data files) and keeps what it finds in build-fuzz/corpus/<target>/,
# so later runs go on from there. A finding stops the run with the sanitizer's
# report; the input that caused it is saved as build-fuzz/findings/<target>-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(config scene path handover)

# VELMORA_FUZZ_BUILD names a build folder already configured with
# VELMORA_FUZZ=ON (scripts/test.sh passes its own).
build="${VELMORA_FUZZ_BUILD:-$root/build-fuzz}"
if [ -z "${VELMORA_FUZZ_BUILD:-}" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
    -DVELMORA_SANITIZE=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/velmora_fuzz_}"

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  seeds="$build/seeds/$target"
  rm -rf "$seeds"
  mkdir -p "$corpus" "$seeds"
  cp "$root/tests/fuzz/corpus/$target/"* "$seeds/"
  case "$target" in
    config) cp "$root/assets/scene.txt" "$root/assets/animationpath.txt" "$seeds/" ;;
    scene) cp "$root/assets/scene.txt" "$seeds/" ;;
    path) cp "$root/assets/animationpath.txt" "$seeds/" ;;
  esac

  log="$build/fuzz-$target.log"
  echo "Fuzzing $target for ${seconds}s"
  # From an empty folder, so that the model paths of the seeds name no file
  # (the scene target skips inputs that would import real geometry).
  # -timeout: one input may take at most 10 s; -rss_limit_mb: 2 GB.
  empty="$build/empty"
  rm -rf "$empty"
  mkdir -p "$empty"
  if ! (cd "$empty" && "$build/tests/fuzz/velmora_fuzz_$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "$corpus" "$seeds" \
      >"$log" 2>&1); then
    tail -n 60 "$log"
    echo "velmora_fuzz_$target found a fault; the input is in $build/findings/"
    exit 1
  fi
  grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+DONE)|stat::peak_rss_mb' "$log" || true
done
