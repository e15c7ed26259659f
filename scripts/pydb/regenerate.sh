#!/usr/bin/env bash
# Rebuilds data/py.db from Debian's unicode-data and go-pinyin data, adds
# the readings a modern dictionary gives for a living word, the phrase tables and
# CC-CEDICT's names, set phrases and words, and checks the result.
# Usage: scripts/pydb/regenerate.sh [DB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
db=${1:-$here/../../data/py.db}
python3 "$here/make_pydb.py" -o "$db"
python3 "$here/add_readings.py" "$db"
python3 "$here/add_phrases.py" "$db"
python3 "$here/add_cedict.py" "$db"
python3 "$here/check_pydb.py" "$db"
