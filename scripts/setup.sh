#!/bin/sh
# Installs the Debian packages that building, running and testing need, only those missing.
# Runs as root, or through sudo when started by another user.
set -eu

packages="cmake make g++ qt6-base-dev libqt6sql6-sqlite libgl-dev sqlite3 libsqlite3-dev
dbus-daemon python3-dbusmock g++-mingw-w64-x86-64 fonts-liberation pkgconf libzip-dev"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done

[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing:$missing"
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
