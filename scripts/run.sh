#!/usr/bin/env bash
# Installs what is missing, builds Vesk and starts it. Arguments go to vesk.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target vesk
exec build/src/app/vesk "$@"
