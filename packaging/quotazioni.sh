#!/bin/sh
# Starts the program on a data folder of the user's own, seeded once with the shipped database and
# currency list; the user adds RAS_ZU.DLL there for dial-up lines.
set -eu
here=$(dirname "$(readlink -f "$0")")
shipped="$here/../libexec/quotazioni"
if [ -n "${QUOTAZIONI_DATA_DIR:-}" ]; then
    data=$QUOTAZIONI_DATA_DIR
else
    # Only absolute folders count: a relative one would put the data wherever the program starts.
    case "${XDG_DATA_HOME:-}" in
        /*) data=$XDG_DATA_HOME/quotazioni ;;
        *)
            case "${HOME:-}" in
                /*) data=$HOME/.local/share/quotazioni ;;
                *)
                    echo "quotazioni: la variabile HOME non è impostata; indicare la cartella dei dati con QUOTAZIONI_DATA_DIR." >&2
                    exit 1
                    ;;
            esac
            ;;
    esac
fi
mkdir -p "$data"
for file in VALUTE.MDB zantoro.TXT; do
    [ -e "$data/$file" ] || cp "$shipped/$file" "$data/$file"
done
exec "$shipped/quotazioni" --data-dir "$data" "$@"
