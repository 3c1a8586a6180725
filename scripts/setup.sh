#!/bin/sh
# Installs the Debian packages that building and running need, only those missing (Qt's PostgreSQL
# driver and libpq's headers among them, for a history kept on a server); with --tests also what the
# tests need (a private D-Bus with NetworkManager's mock, the Windows cross-compiler, the Italian
# locale, the PostgreSQL server that the tests start privately, strace to kill a run at a chosen
# write, clang with libFuzzer and the sanitizers' run-time for scripts/fuzz.sh); with --bench the X
# server of the window benchmark. Runs as root, or through sudo when started by another user.
set -eu

packages="cmake make g++ qt6-base-dev libqt6sql6-sqlite libgl-dev sqlite3 libsqlite3-dev
fonts-liberation qt6-translations-l10n pkgconf libzip-dev libqt6sql6-psql libpq-dev"
tests=false
bench=false
for argument in "$@"; do
    case "$argument" in
        --tests) tests=true ;;
        --bench) bench=true ;;
        *) echo "Uso: $0 [--tests] [--bench]" >&2; exit 2 ;;
    esac
done
if $tests; then
    packages="$packages dbus-daemon python3-dbusmock g++-mingw-w64-x86-64 locales postgresql strace clang
        libclang-rt-14-dev"
fi
# The window benchmark runs the program on an X server of its own.
if $bench; then
    packages="$packages xvfb"
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $sudo apt-get update
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

# The command-line tests run the program under the Italian locale.
if $tests && ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8'; then
    echo "Generating the it_IT.UTF-8 locale"
    $sudo localedef -i it_IT -c -f UTF-8 -A /usr/share/locale/locale.alias it_IT.UTF-8
fi
