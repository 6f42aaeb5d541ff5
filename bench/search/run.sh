#!/usr/bin/env bash
# File search benchmark on the test LAN: one more Samba host (127.0.0.40) in
# the LAN's namespace serves ten shares of one tree of 100,000 files in nested
# folders. Measures files examined per second for
#   - ormix-cli search with one worker over one share,
#   - smbclient's recursive listing of the same share,
#   - find over the share's own folder (the local limit),
#   - ormix-cli search with six workers over the ten shares,
#   - smbclient listing the ten shares one after another.
# Needs root (network namespaces). Prints a Markdown table of medians.
#
#   bench/search/run.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 5)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rounds=${2:-5}
cmake --build "$build" --target ormix-cli ormix-smb nbt-responder -j2 >/dev/null
bin=$(realpath "$build/bin")

export ORMIX_TESTLAN_NAME=search-bench-$$ ORMIX_BIN_DIR=$bin
ns=ormix-$ORMIX_TESTLAN_NAME-lan
dir=/tmp/ormix-testlan-$ORMIX_TESTLAN_NAME
addr=127.0.0.40
trap 'tools/testlan down >/dev/null' EXIT
tools/testlan up >/dev/null

# 10 x 10 x 10 folders with 100 files each; one name in ten ends in .txt.
tree=$dir/bench/tree
for a in $(seq 0 9); do
  for b in $(seq 0 9); do
    for c in $(seq 0 9); do
      d=$tree/dir$a/sub$b/leaf$c
      mkdir -p "$d"
      (cd "$d" && touch file{00..89}.dat note{0..9}.txt)
    done
  done
done
files=$(find "$tree" -type f | wc -l)

conf=$dir/bench/smbd
mkdir -p "$conf"/{run,lock,state,cache,private,ncalrpc,binddns,log}
{
  printf '[global]\n  netbios name = BENCH40\n  workgroup = TESTLAN\n  server role = standalone server\n'
  printf '  interfaces = %s\n  bind interfaces only = yes\n  smb ports = 445\n  disable netbios = yes\n' "$addr"
  for k in run lock state cache; do printf '  %s directory = %s/%s\n' "$k" "$conf" "$k"; done
  printf '  private dir = %s/private\n  ncalrpc dir = %s/ncalrpc\n  binddns dir = %s/binddns\n' "$conf" "$conf" "$conf"
  printf '  passdb backend = tdbsam:%s/private/passdb.tdb\n  log file = %s/log/log.%%m\n  log level = 0\n' "$conf" "$conf"
  printf '  load printers = no\n  printing = bsd\n  printcap name = /dev/null\n  disable spoolss = yes\n'
  printf '  map to guest = Bad User\n  restrict anonymous = 0\n  guest account = nobody\n'
  for i in $(seq 0 9); do printf '[s%d]\n  path = %s\n  read only = yes\n  guest ok = yes\n' "$i" "$tree"; done
} >"$conf/smb.conf"
ip netns exec "$ns" ip addr add "$addr/8" dev lo 2>/dev/null || true
ip netns exec "$ns" smbd -D -s "$conf/smb.conf"
for _ in $(seq 100); do ip netns exec "$ns" ss -Hltn src "$addr:445" | grep -q . && break; sleep 0.1; done

shares=()
for i in $(seq 0 9); do shares+=("\\\\$addr\\s$i"); done

# Seconds taken by a command, its output discarded.
timed() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cli_one() { ip netns exec "$ns" "$bin/ormix-cli" search --threads 1 '*.txt' "${shares[0]}"; }
cli_ten() { ip netns exec "$ns" "$bin/ormix-cli" search --threads 6 '*.txt' "${shares[@]}"; }
smb_one() { ip netns exec "$ns" smbclient "//$addr/s0" -N -c 'recurse ON; ls'; }
smb_ten() { local i; for i in $(seq 0 9); do ip netns exec "$ns" smbclient "//$addr/s$i" -N -c 'recurse ON; ls'; done; }
local_find() { find "$tree" -type f; }

# Sanity: every file examined, every .txt found.
examined=$(cli_one 2>&1 >/dev/null)
[ "$examined" = "examined $files" ] || { echo "ormix-cli says '$examined', expected $files files" >&2; exit 1; }
found=$(cli_ten 2>/dev/null | wc -l)
[ "$found" -eq $((files / 10 * 10)) ] || { echo "six workers found $found" >&2; exit 1; }
smb_one >/dev/null 2>&1 # warm the server's caches once for everybody

declare -A t
for _ in $(seq "$rounds"); do
  for m in cli_one smb_one local_find cli_ten smb_ten; do t[$m]+=" $(timed $m)"; done
done

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%d", n / s }'; }
echo "files per share: $files; rounds: $rounds (medians)"
echo
echo "| run | program | seconds | files examined per second |"
echo "|---|---|---|---|"
for row in "cli_one|one share|ormix-cli search --threads 1 '*.txt'|$files" \
           "smb_one|one share|smbclient -N -c 'recurse ON; ls'|$files" \
           "local_find|one share|find (the share's own folder)|$files" \
           "cli_ten|ten shares|ormix-cli search --threads 6 '*.txt'|$((files * 10))" \
           "smb_ten|ten shares|smbclient, one share after another|$((files * 10))"; do
  IFS='|' read -r m run prog n <<<"$row"
  # shellcheck disable=SC2086
  s=$(median ${t[$m]})
  echo "| $run | $prog | $s | $(rate "$n" "$s") |"
done
