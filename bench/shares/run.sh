#!/usr/bin/env bash
# Share enumeration benchmark on the test LAN with 20 extra hosts: ORMIX's
# helper pool (6 workers) against `smbclient -L //IP -N` one host after
# another, first on plain loopback, then through tcp-delay holding every
# segment 2 ms in each direction (a LAN's latency). Needs root.
#
#   bench/shares/run.sh [BUILD_DIR]     (default build; builds the targets it needs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target bench_shares tcp-delay ormix-smb nbt-responder -j2 >/dev/null
bin=$(realpath "$build/bin")

export ORMIX_TESTLAN_NAME=shares-bench-$$ ORMIX_TESTLAN_EXTRA=20 ORMIX_BIN_DIR=$bin
ns=ormix-$ORMIX_TESTLAN_NAME-lan
proxy=
cleanup() {
  [ -z "$proxy" ] || kill "$proxy" 2>/dev/null || true
  tools/testlan down >/dev/null
}
trap cleanup EXIT
tools/testlan up >/dev/null

direct=() delayed=() routes=()
for i in $(seq 101 120); do
  direct+=("127.0.0.$i")
  delayed+=("127.0.1.$i")
  routes+=("127.0.1.$i:445=127.0.0.$i:445")
done

echo "== loopback, ${#direct[@]} hosts"
ip netns exec "$ns" "$bin/bench_shares" --rounds 5 "${direct[@]}"

out=$(mktemp)
ip netns exec "$ns" "$bin/tcp-delay" --delay-ms 2 "${routes[@]}" >"$out" &
proxy=$!
for _ in $(seq 50); do grep -qx ready "$out" && break; sleep 0.1; done
rm -f "$out"
echo "== through tcp-delay, 2 ms per segment each way, ${#delayed[@]} hosts"
ip netns exec "$ns" "$bin/bench_shares" --rounds 3 "${delayed[@]}"
