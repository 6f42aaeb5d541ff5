#!/usr/bin/env bash
# Installs what is missing, builds a Release build in build/ and starts ORMIX.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target ormix
exec build/bin/ormix "$@"
