#!/usr/bin/env bash
# Builds every libFuzzer target with clang (coverage over the parsers and the
# expression engine, ASan/UBSan on) and runs each for a fixed time on a copy of
# its committed corpus. A crash, a sanitizer report or a leak fails the run.
#   tools/run-fuzzers.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-${ORMIX_FUZZ_SECONDS:-30}}"
dir=build-fuzz

CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMIX_FUZZ=ON \
  -DORMIX_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n -E 's/^((fuzz_[a-z0-9_]+)|regex_fuzzer): .*/\1/p' \
  | grep -v -E 'replay|autogen' | sort -u)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets found" >&2; exit 1; }
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

corpus_of() {
  case "$1" in
    regex_fuzzer) echo tests/regex/corpus ;;
    fuzz_*) echo "tests/scan/fuzz/corpus/${1#fuzz_}" ;;
  esac
}

failed=0
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  src=$(corpus_of "$t")
  [ -d "$src" ] && cp -r "$src/." "$work/"
  echo "== $t: ${seconds}s"
  if ! (cd "$work" && "$OLDPWD/$dir/tests/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" >"$work.log" 2>&1); then
    echo "FAILED: $t" >&2
    tail -n 40 "$work.log" >&2
    failed=1
  else
    grep -E '^(stat::number_of_executed_units|Done )' "$work.log" || true
  fi
  rm -rf "$work" "$work.log"
done
exit $failed
