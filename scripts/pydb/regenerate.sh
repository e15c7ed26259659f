#!/usr/bin/env bash
# Rebuilds data/py.db from Debian's unicode-data and go-pinyin data, adds the phrase table
# when its script is present, and checks the result. Usage: scripts/pydb/regenerate.sh [DB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
db=${1:-$here/../../data/py.db}
python3 "$here/make_pydb.py" -o "$db"
if [ -f "$here/add_phrases.py" ]; then
  python3 "$here/add_phrases.py" "$db"
fi
python3 "$here/check_pydb.py" "$db"
