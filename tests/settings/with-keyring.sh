#!/bin/sh
# Runs a program in a private D-Bus session whose Secret Service is a
# gnome-keyring-daemon of its own, unlocked with a throw-away password, with
# HOME and the XDG folders in a temporary folder (the user's keyring is never
# touched). Everything it starts ends with it.
set -eu
tmp=$(mktemp -d /tmp/ormix-keyring-XXXXXX)
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT
export HOME="$tmp" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"
# shellcheck disable=SC2016
dbus-run-session -- sh -c '
  printf "ormix-test-keyring" | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  daemon=$!
  tries=100
  until dbus-send --session --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    tries=$((tries - 1))
    if [ $tries -le 0 ]; then echo "with-keyring: the keyring did not start" >&2; kill $daemon; exit 1; fi
    sleep 0.1
  done
  status=0
  "$@" || status=$?
  kill $daemon 2>/dev/null || true
  wait $daemon 2>/dev/null || true
  exit $status
' with-keyring "$@"
