#!/usr/bin/env bash
# Builds the Debian package ormix_<version>_<arch>.deb from a Release build
# of the programs alone (no tests, no benchmarks) in its own folder.
#   tools/make-deb.sh [BUILD_DIR]    (default: build-deb)
# Prints the path of the package on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}

tools/install-deps.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMIX_BUILD_TESTS=OFF -DORMIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/ormix_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=$(ls "$dir"/ormix_*.deb)
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
