#!/usr/bin/env bash
# Share index benchmark on the test LAN: one more Samba host (127.0.0.40) in
# the LAN's namespace serves ten shares of one tree of 100,000 files in nested
# folders. Measures, in milliseconds per search of `*.txt` with peak memory:
#   - ormix-cli search --index over one share and over the ten shares,
#   - ormix-cli search over the network (one share, one worker; ten shares,
#     six workers),
#   - find over the share's own folder (the local limit);
# and the refresh of the ten shares (ormix-cli index update --threads 6)
# against the network search of them that it replaces.
# Needs root (network namespaces). Prints a Markdown table of medians.
#
#   bench/index/run.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rounds=${2:-3}
cmake --build "$build" --target ormix-cli ormix-smb nbt-responder -j2 >/dev/null
bin=$(realpath "$build/bin")

export ORMIX_TESTLAN_NAME=index-bench-$$ ORMIX_BIN_DIR=$bin
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

db=$dir/bench/index.sqlite
rm -f "$db" "$db"-*

# Wall milliseconds and peak resident KiB of one command, output discarded.
measure() {
  local t0=$EPOCHREALTIME rss=$dir/bench/rss
  /usr/bin/time -o "$rss" -f '%M' "$@" >/dev/null 2>&1 || true
  awk -v a="$t0" -v b="$EPOCHREALTIME" -v m="$(tail -1 "$rss")" 'BEGIN { printf "%.0f %s", (b - a) * 1000, m }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

x=(ip netns exec "$ns" "$bin/ormix-cli")
idx_one() { "$@" "${x[@]}" search --index --db "$db" '*.txt' "${shares[0]}"; }
idx_ten() { "$@" "${x[@]}" search --index --db "$db" '*.txt' "${shares[@]}"; }
net_one() { "$@" "${x[@]}" search --threads 1 '*.txt' "${shares[0]}"; }
net_ten() { "$@" "${x[@]}" search --threads 6 '*.txt' "${shares[@]}"; }
refresh_ten() { "$@" "${x[@]}" index update --threads 6 --db "$db" "${shares[@]}"; }
local_find() { "$@" find "$tree" -type f -name '*.txt'; }

net_one >/dev/null 2>&1 # warm the server's caches once for everybody
refresh_ten >/dev/null  # the index the searches read
# Sanity: the index answers as the network does.
a=$(idx_ten 2>/dev/null | sort | md5sum)
b=$(net_ten 2>/dev/null | sort | md5sum)
if [ "$a" != "$b" ]; then
  echo "index and network answers differ: $(idx_ten 2>/dev/null | wc -l) vs $(net_ten 2>/dev/null | wc -l) lines" >&2
  "${x[@]}" index stats --db "$db" >&2
  exit 1
fi

declare -A ms kib
for _ in $(seq "$rounds"); do
  for m in idx_one net_one local_find idx_ten net_ten refresh_ten; do
    read -r t k <<<"$($m measure)"
    ms[$m]+=" $t"
    kib[$m]+=" $k"
  done
done

echo "files per share: $files; rounds: $rounds (medians)"
echo
echo "| run | program | ms | peak RSS KiB |"
echo "|---|---|---|---|"
for row in "idx_one|one share|ormix-cli search --index '*.txt'" \
           "net_one|one share|ormix-cli search --threads 1 '*.txt'" \
           "local_find|one share|find -name '*.txt' (the share's own folder)" \
           "idx_ten|ten shares|ormix-cli search --index '*.txt'" \
           "net_ten|ten shares|ormix-cli search --threads 6 '*.txt'" \
           "refresh_ten|ten shares|ormix-cli index update --threads 6"; do
  IFS='|' read -r m run prog <<<"$row"
  # shellcheck disable=SC2086
  echo "| $run | $prog | $(median ${ms[$m]}) | $(median ${kib[$m]}) |"
done
