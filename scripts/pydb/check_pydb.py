#!/usr/bin/env python3
"""Checks a py.db for the shape the program relies on; exits non-zero on the first failures.

Checks the PinYin table and its hz and Py1 columns, the form of every row (hz one character,
Py1 readings of letters with a capital initial and single spaces, no repeated reading, no
repeated hz), the number of rows, that every Chinese character of GBK with a Mandarin reading
has a row, and some readings the catalogue work depends on. When the phrase tables are
there: every word's readings are readings of its characters, one a character, the weights
are at most 0, a full table holds some words the catalogue work depends on (the general
list's, the catalogue list's and CC-CEDICT's), and the file stays under MAX_BYTES.

Usage: check_pydb.py [DB]   (default: data/py.db of this repository)
"""

import os
import re
import sqlite3
import sys

import tables
from make_pydb import gbkCharacters, isHan

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DB = os.path.normpath(os.path.join(HERE, "..", "..", "data", "py.db"))

READING = re.compile(r"[A-Z][a-z]*")
SYMBOL = re.compile(r"[0-9A-Za-z]+")
MIN_ROWS, MAX_ROWS = 20900, 21100

# hz -> (first reading or None, readings that must be present): data/spot_readings.tsv
SPOT = {hz: (first or None, present.split()) for hz, first, present in tables.rows("spot_readings", 3)}
MAX_BYTES = 5_000_000
# A Phrase table of at least this many rows is a full one, which must hold PHRASE_SPOT.
FULL_PHRASES = 50000
# word -> its readings in Phrase (None: the first readings, stored as NULL): data/phrase_spots.tsv
PHRASE_SPOT = {word: py or None for word, py in tables.rows("phrase_spots", 2)}

# Characters of GBK that no source gives a Mandarin reading: Japanese-made characters and the
# one-character spellings of units (兙 decagram, 嗧 gallon ...).
NO_READING = set("兙兡嗧桛烪瓧瓰瓱瓼甅")
# Full-width punctuation has no row: it drops out of the pinyin.
ABSENT = ["，", "。", "：", "、", "（", "）", "《", "》", "　", "…", "—"]


def check(path):
    errors = []
    if not os.path.isfile(path):
        return ["%s: no such file" % path]
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    cols = [r[1] for r in db.execute("PRAGMA table_info(PinYin)")]
    if "hz" not in cols or "Py1" not in cols:
        return ["%s: table PinYin with columns hz and Py1 missing (found %s)" % (path, cols)]
    rows = db.execute("SELECT hz, Py1 FROM PinYin ORDER BY rowid").fetchall()
    db.close()

    table = {}
    for hz, py1 in rows:
        where = "row %r %r" % (hz, py1)
        if not isinstance(hz, str) or len(hz) != 1:
            errors.append(where + ": hz is not one character")
            continue
        if hz in table:
            errors.append(where + ": hz repeated")
            continue
        if not isinstance(py1, str) or not py1:
            errors.append(where + ": Py1 empty")
            continue
        readings = py1.split(" ")
        ok = all(READING.fullmatch(r) for r in readings)
        if not ok and not isHan(hz):
            # digits, letters and numbers such as ２, ａ, Ⅱ, ① read as their ASCII form
            ok = SYMBOL.fullmatch(py1) is not None
        if not ok:
            errors.append(where + ": Py1 not capitalised letters with single spaces")
        if len(set(readings)) != len(readings):
            errors.append(where + ": a reading is repeated")
        table[hz] = readings

    if not MIN_ROWS <= len(rows) <= MAX_ROWS:
        errors.append("%d rows, expected %d..%d" % (len(rows), MIN_ROWS, MAX_ROWS))
    han = [c for c in gbkCharacters() if "\u4E00" <= c <= "\u9FA5"]
    missing = [c for c in han if c not in table and c not in NO_READING]
    if missing:
        errors.append("%d GBK characters of U+4E00..U+9FA5 without a row: %s"
                      % (len(missing), "".join(missing[:40])))
    for hz, (first, present) in SPOT.items():
        got = table.get(hz)
        if got is None:
            errors.append("%s: no row" % hz)
            continue
        if first is not None and got[0] != first:
            errors.append("%s: first reading %s, expected %s" % (hz, got[0], first))
        for r in present:
            if r not in got:
                errors.append("%s: reading %s missing from %s" % (hz, r, " ".join(got)))
    for hz in ABSENT:
        if hz in table:
            errors.append("%s: punctuation has a row" % hz)
    errors += checkPhrases(path, table)
    return errors


def checkPhrases(path, table):
    """The Phrase table, when there is one: readings that fit, weights, spot words, size."""
    errors = []
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        if not db.execute("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                          "'Phrase'").fetchone():
            return errors
        phrase = {}
        for word, py, weight in db.execute("SELECT word, py, weight FROM Phrase"):
            phrase[word] = py
            where = "Phrase row %r %r" % (word, py)
            if not isinstance(weight, int) or weight > 0:
                errors.append(where + ": weight %r not an integer at most 0" % (weight,))
            if py is None:
                continue
            readings = py.split(" ")
            if len(readings) != len(word) or not all(
                    r in table.get(c, ()) for c, r in zip(word, readings)):
                errors.append(where + ": not one reading of each character")
    finally:
        db.close()
    if len(phrase) >= FULL_PHRASES:
        for word, py in PHRASE_SPOT.items():
            if py is None:
                if word in phrase:
                    errors.append("Phrase: %s is held out, yet present" % word)
            elif phrase.get(word, "") != py:
                errors.append("Phrase: %s reads %r, expected %s"
                              % (word, phrase.get(word, "(absent)"), py))
    if os.path.getsize(path) >= MAX_BYTES:
        errors.append("%d bytes, at most %d expected" % (os.path.getsize(path), MAX_BYTES))
    return errors


def main(argv):
    path = argv[0] if argv else DEFAULT_DB
    errors = check(path)
    for e in errors[:50]:
        print("check_pydb: " + e, file=sys.stderr)
    if errors:
        print("check_pydb: %s: %d problems" % (path, len(errors)), file=sys.stderr)
        return 1
    print("check_pydb: %s: ok" % path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
