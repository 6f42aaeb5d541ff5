#!/usr/bin/env bash
# Removes what an aborted test run may have left behind: the test LANs'
# network namespaces (ormix-*), their daemons and GVfs mounts under /tmp/ormix-*.
# Only the test fixtures' own names are touched; a demo LAN of `tools/testlan up`
# (ormix-demo-*) is left alone.
set -u
[ "$(id -u)" -eq 0 ] || exit 0
command -v ip >/dev/null || exit 0
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep '^ormix-' | grep -v '^ormix-demo-'); do
  for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  ip netns delete "$ns" 2>/dev/null
done
grep -o ' /tmp/ormix-[^ ]*' /proc/mounts 2>/dev/null | sort -r | while read -r m; do umount -l "$m" 2>/dev/null; done
exit 0
