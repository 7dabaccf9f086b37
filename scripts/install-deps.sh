#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, skipping those already present.
#   install-deps.sh run    what building and running the viewer needs
#   install-deps.sh test   that plus Xvfb, xdotool, ImageMagick, clang and the
#                          model corpus the tests use
set -euo pipefail

packages=(cmake make g++ pkg-config libglfw3-dev libglew-dev libassimp-dev libstb-dev libglm-dev
          libseccomp-dev libgl1-mesa-dri)
if [ "${1:-run}" = test ]; then
  packages+=(libgtest-dev xvfb xauth x11-utils xdotool imagemagick clang libclang-rt-14-dev
             assimp-testmodels)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
