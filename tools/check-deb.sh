#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, checks the installed
# copy (programs from /usr/bin, the helper from libexec, files in the XDG
# folders, desktop entry and metainfo valid) and purges it again, checking
# that nothing of it is left. Needs root (or sudo). Called by .ci/run.
#   tools/check-deb.sh [BUILD_DIR]    (default: build-deb, see tools/make-deb.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "check-deb: $*" >&2
  exit 1
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "needs root or sudo to install the package"
  SUDO=sudo
fi
if dpkg-query -W -f='${Status}' ormix 2>/dev/null | grep -q "install ok installed"; then
  fail "a package ormix is installed already; remove it first (apt-get purge ormix)"
fi

deb=$(tools/make-deb.sh "$@" | tail -n 1)
[ -f "$deb" ] || fail "no package was built"
case "$(basename "$deb")" in
  ormix_*_"$(dpkg --print-architecture)".deb) ;;
  *) fail "unexpected package name $(basename "$deb")" ;;
esac

work=$(mktemp -d /tmp/ormix-check-deb.XXXXXX)
app_pid=""
installed=0
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  if [ $installed -eq 1 ]; then
    $SUDO apt-get -o DPkg::Lock::Timeout=600 purge -y -qq ormix >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
cp "$deb" "$work/"
chmod 755 "$work"
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "$work/$(basename "$deb")" >/dev/null
installed=1
dpkg-query -L ormix | sort >"$work/files"
echo "check-deb: installed $(basename "$deb") ($(grep -c . "$work/files") paths)"

# The command-line tool from /usr/bin.
[ "$(command -v ormix-cli)" = /usr/bin/ormix-cli ] || fail "ormix-cli is not /usr/bin/ormix-cli"
/usr/bin/ormix-cli --version | grep -qx "ormix-cli [0-9.]*" || fail "ormix-cli --version"
[ "$(/usr/bin/ormix-cli regex 'o+' 'foo')" = "match 2 2" ] || fail "ormix-cli regex: $(/usr/bin/ormix-cli regex 'o+' 'foo' 2>&1)"

# The window program with an empty home: it must start its SMB helpers from
# libexec and keep its files in the XDG folders, none in the current folder.
mkdir -p "$work/home" "$work/cwd" "$work/run" "$work/tmp"
chmod 700 "$work/run"
(
  cd "$work/cwd"
  exec env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
    XDG_DATA_HOME="$work/home/data" XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/tmp" \
    QT_QPA_PLATFORM=offscreen /usr/bin/ormix >"$work/ormix.log" 2>&1
) &
app_pid=$!
helper=""
for _ in $(seq 1 100); do
  kill -0 "$app_pid" 2>/dev/null || { cat "$work/ormix.log" >&2; fail "ormix ended at start"; }
  for child in $(pgrep -P "$app_pid" || true); do
    exe=$(readlink "/proc/$child/exe" || true)
    [ "$exe" = /usr/libexec/ormix/ormix-smb ] && helper=$exe
  done
  [ -n "$helper" ] && [ -f "$work/home/data/ormix/range.lst" ] && break
  sleep 0.1
done
[ -n "$helper" ] || fail "ormix started no helper /usr/libexec/ormix/ormix-smb"
[ -f "$work/home/data/ormix/range.lst" ] || fail "no range.lst in \$XDG_DATA_HOME/ormix"
[ -d "$work/home/config/ormix" ] || fail "no \$XDG_CONFIG_HOME/ormix folder"
[ -z "$(ls -A "$work/cwd")" ] || fail "ormix wrote into the current folder: $(ls -A "$work/cwd")"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
echo "check-deb: ormix started $helper and keeps its files under the XDG folders"

desktop-file-validate /usr/share/applications/org.example.ormix.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.example.ormix.metainfo.xml >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net /usr/share/metainfo/org.example.ormix.metainfo.xml)"

$SUDO apt-get -o DPkg::Lock::Timeout=600 purge -y -qq ormix >/dev/null
installed=0
left=()
while read -r path; do
  [ "$path" = /. ] && continue
  if [ -f "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  elif [ -d "$path" ] && [[ "$path" == */ormix || "$path" == */ormix/* ]]; then
    left+=("$path")
  fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
dpkg-query -W ormix >/dev/null 2>&1 && fail "the package is still known to dpkg"
echo "check-deb: purged, nothing left behind"
