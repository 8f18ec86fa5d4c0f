#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Velmora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
  bash scripts/setup.sh
else
  sudo bash scripts/setup.sh
fi

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF
cmake --build "$build"

if [ ! -x "$build/src/app/velmora" ]; then
  echo "Velmora has no program entry yet: the build made its libraries and helper programs only." >&2
  exit 0
fi
exec "$build/src/app/velmora" "$@"
