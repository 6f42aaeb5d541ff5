#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   ./test.sh             Release build in build/ (the one ./run.sh uses)
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"

sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    *) echo "usage: ./test.sh [--sanitize]" >&2; exit 2 ;;
  esac
done

tools/install-deps.sh

if [ $sanitize -eq 1 ]; then
  dir=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DORMIX_SANITIZE=ON -DORMIX_BUILD_BENCH=OFF)
  # Reports go to files as well, so that one from a child process (ormix-smb,
  # ormix-cli, nbt-responder) fails the run even when its parent carried on.
  reports="$PWD/$dir/sanitizer-reports"
  rm -rf "$reports" && mkdir -p "$reports"
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:log_path=$reports/asan
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan
else
  dir=build
  flags=(-DCMAKE_BUILD_TYPE=Release)
fi

cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
cd "$dir"
status=0
ctest --output-on-failure -j"$(nproc)" || status=$?
if [ $sanitize -eq 1 ] && [ -n "$(ls -A "$reports")" ]; then
  echo "Sanitizer reports (each names its process id):" >&2
  for f in "$reports"/*; do echo "--- $f" >&2; head -n 40 "$f" >&2; done
  status=1
fi
exit $status
