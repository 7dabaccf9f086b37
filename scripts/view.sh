#!/usr/bin/env bash
# Installs what is missing, builds velmora-view and shows the given model
# files with it: view.sh FILE... [--png OUT] [--rotation X,Y,Z]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" run
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$root/build" --target velmora-view -j"$(nproc)"
exec "$root/build/velmora-view" "$@"
