#!/usr/bin/env bash
# What hostile peers cost: time and peak memory of ormix-cli against the
# scripted helper of the tests (tests/fixtures/scripted_smb_helper.cpp, no
# network) and against names that make the expression engine work hard:
#   - `ormix-cli shares` on a host that lists 200,000 shares with 1 KB remarks,
#   - `ormix-cli search` on a share of 30,000 nested folders,
#   - `ormix-cli regex` with ^((a+)\2)+$ on a 55-character name and a*[bc]
#     over 100 KB (each ends at the step limit).
# Prints a Markdown table (seconds of CPU and peak RSS of ormix-cli).
#
#   bench/hostile/run.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target ormix-cli scripted-smb-helper -j2 >/dev/null
bin=$(realpath "$build/bin")
export ORMIX_SMB_HELPER=$bin/scripted-smb-helper
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

measure() { # label, command...
  local label=$1
  shift
  /usr/bin/time -o "$tmp/time" -f '%U %S %M' "$@" >/dev/null 2>"$tmp/err" || true
  read -r user sys rss <"$tmp/time"
  printf '| %s | %.2f | %d |\n' "$label" "$(echo "$user + $sys" | bc)" "$rss"
}

echo '| case | CPU s | peak RSS KiB |'
echo '|---|---|---|'
SCRIPT_SHARES=200000 SCRIPT_REMARK=1024 measure '200,000 shares, 1 KB remarks' "$bin/ormix-cli" shares 127.0.0.1
measure '30,000 nested folders' "$bin/ormix-cli" search '*.txt' '\\127.0.0.1\deep'
measure '^((a+)\2)+$ on 55 characters' "$bin/ormix-cli" regex '^((a+)\2)+$' "$(printf 'a%.0s' $(seq 54))b"
measure 'a*[bc] over 100 KB' "$bin/ormix-cli" regex 'a*[bc]' "$(head -c 100000 /dev/zero | tr '\0' a)"
