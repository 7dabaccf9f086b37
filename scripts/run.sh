#!/usr/bin/env bash
# Installs what is missing, builds the viewer and runs it on the shipped scene.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" run
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$root/build" --target velmora -j"$(nproc)"
cd "$root"
exec "$root/build/velmora"
