#!/usr/bin/env python3
"""Measures a py.db against the polyphone sentences (one labelled character per sentence).

For each database it prints:
  first     share of labelled characters whose first reading is the labelled one
            (what the automatic mode writes);
  chooser   share of the sentences' Han characters whose Py1 holds more than one reading
            (how often the manual mode would ask);
  coverage  share of labelled characters whose labelled reading is among their readings
            (whether the chooser could offer the right answer at all).

Usage: measure.py [--tsv FILE] DB [DB...]
"""

import argparse
import os
import sqlite3
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
TSV = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared", "data", "polyphone",
                                    "cpp_test.tsv"))


def isHan(c):
    name = unicodedata.name(c, "")
    return c == "\u3007" or name.startswith("CJK UNIFIED IDEOGRAPH") or \
        name.startswith("CJK COMPATIBILITY IDEOGRAPH")


def loadTable(path):
    """hz -> list of lower-case readings; the first row of an hz wins, as in the program."""
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    table = {}
    for hz, py1 in db.execute("SELECT hz, Py1 FROM PinYin ORDER BY rowid"):
        if hz not in table:
            table[hz] = (py1 or "").lower().split()
    db.close()
    return table


def loadSentences(path):
    """[(han characters of the sentence, labelled index, reading)]"""
    out = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 3:
                continue
            pos, reading = parts[2].split(":")
            han = [c for c in parts[1] if isHan(c)]
            out.append((han, int(pos), reading))
    return out


def measure(table, sentences):
    first = covered = labelled = 0
    han = asks = 0
    for chars, pos, reading in sentences:
        for c in chars:
            han += 1
            if len(table.get(c, ())) > 1:
                asks += 1
        readings = table.get(chars[pos], [])
        labelled += 1
        if readings and readings[0] == reading:
            first += 1
        if reading in readings:
            covered += 1
    return {"first": first / labelled, "chooser": asks / han, "coverage": covered / labelled,
            "sentences": labelled, "han": han}


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tsv", default=TSV)
    ap.add_argument("db", nargs="+")
    args = ap.parse_args(argv)
    sentences = loadSentences(args.tsv)
    print("%-40s %8s %8s %9s" % ("database", "first", "chooser", "coverage"))
    for path in args.db:
        m = measure(loadTable(path), sentences)
        print("%-40s %7.2f%% %7.2f%% %8.2f%%" % (path, 100 * m["first"], 100 * m["chooser"],
                                                  100 * m["coverage"]))
    print("(%d sentences, %d Han characters)" % (m["sentences"], m["han"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
