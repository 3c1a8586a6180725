#!/bin/sh
# Starts the program on a data folder of the user's own, seeded once with the shipped database and
# currency list; the user adds RAS_ZU.DLL there for dial-up lines.
set -eu
here=$(dirname "$(readlink -f "$0")")
shipped="$here/../libexec/quotazioni"
data="${QUOTAZIONI_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/quotazioni}"
mkdir -p "$data"
for file in VALUTE.MDB zantoro.TXT; do
    [ -e "$data/$file" ] || cp "$shipped/$file" "$data/$file"
done
exec "$shipped/quotazioni" --data-dir "$data" "$@"
