#!/usr/bin/env python3
"""Builds py.db, the table of pinyin readings the program ships beside itself.

Reads Unihan (Debian unicode-data) and mozillazg's pinyin-data as shipped in Debian's
golang-github-mozillazg-go-pinyin-dev, and writes one row per Chinese character of GBK:
PinYin(hz, Py1), Py1 holding the toneless readings with capital initials, single spaces
between them, the reading taken automatically first. See data/README.md for the rules.

Python 3 standard library only. The same inputs give a byte-identical file.
"""

import argparse
import bz2
import dataclasses
import os
import re
import sqlite3
import sys
import unicodedata

UNIHAN_DIR = "/usr/share/unicode"
GO_DICT = "/usr/share/gocode/src/github.com/mozillazg/go-pinyin/pinyin_dict.go"

# The dictionaries of modern Mandarin whose readings may follow the first one.
MODERN_FIELDS = ("kHanyuPinlu", "kMandarin", "kTGHZ2013", "kXHC1983")

# Readings kept whatever their share of kHanyuPinlu's counts: surnames, names of peoples and
# rulers in the histories, and place names, all frequent in catalogue records. A reading listed
# here is still only kept when a modern dictionary attests it for the character.
KEEP = {
    # surnames
    "单": "shan chan", "曾": "zeng", "解": "xie", "区": "ou", "朴": "piao", "仇": "qiu",
    "查": "zha", "翟": "zhai", "盖": "ge", "覃": "qin", "缪": "miao", "尉": "yu",
    "万": "mo", "俟": "qi", "召": "shao", "员": "yun", "繁": "po", "种": "chong",
    "秘": "bi", "句": "gou", "折": "she", "宓": "fu", "隗": "wei", "洗": "xian",
    "佴": "nai",
    # peoples and rulers: 冒顿, 月氏, 龟兹, 吐蕃, 单于
    "冒": "mo", "顿": "du", "氏": "zhi", "龟": "qiu", "兹": "ci", "蕃": "bo",
    # place names
    "六": "lu", "蚌": "beng", "乐": "yue", "厦": "xia", "番": "pan", "洞": "tong",
    "铅": "yan", "莘": "shen", "堡": "pu bu", "荥": "xing", "会": "kuai", "泷": "shuang",
    "浒": "xu", "埔": "pu", "涡": "guo", "蔚": "yu", "柏": "bo", "阿": "e", "犍": "qian",
    "筠": "jun", "歙": "she", "黾": "mian", "栎": "yue", "珲": "hun", "涌": "chong",
    "枞": "zong", "圩": "wei",
}

# Readings of place names that no Unihan field gives: 乐亭 (Laoting, Hebei).
EXTRA = {"乐": "lao"}


def loadUnihan(directory):
    """Maps character -> {field: value} over the Readings file, plus kCompatibilityVariant,
    kSimplifiedVariant and kTraditionalVariant."""
    fields = {}
    wanted = set(MODERN_FIELDS) | {"kHanyuPinyin"}
    for name, keep in (("Unihan_Readings.txt.bz2", wanted),
                       ("Unihan_IRGSources.txt.bz2", {"kCompatibilityVariant"}),
                       ("Unihan_Variants.txt.bz2", {"kSimplifiedVariant", "kTraditionalVariant"})):
        with bz2.open(os.path.join(directory, name), "rt", encoding="utf-8") as f:
            for line in f:
                if not line.startswith("U+"):
                    continue
                cp, field, value = line.rstrip("\n").split("\t", 2)
                if field in keep:
                    fields.setdefault(chr(int(cp[2:], 16)), {})[field] = value
    return fields


def loadGoDict(path):
    """Maps character -> list of toned readings, in the order of pinyin_dict.go."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    out = {}
    for m in re.finditer(r'0x([0-9A-Fa-f]+): "([^"]*)"', text):
        readings = [r for r in m.group(2).split(",") if r]
        if readings:
            out[chr(int(m.group(1), 16))] = readings
    return out


def toneless(reading):
    """'lǜ' -> 'lü', 'ê̄' -> 'e', 'ḿ' -> 'm': strips tone marks and the circumflex, keeps ü."""
    out = []
    for ch in unicodedata.normalize("NFD", reading.strip().lower()):
        if ch == "\u0308":
            out.append(ch)
        elif not unicodedata.combining(ch):
            out.append(ch)
    s = unicodedata.normalize("NFC", "".join(out))
    if not re.fullmatch(r"[a-zü]+", s):
        raise ValueError("unexpected reading %r" % reading)
    return s


def written(reading):
    """A toneless reading as stored: capital initial, ü as v ('lü' -> 'Lv')."""
    s = reading.replace("ü", "v")
    return s[0].upper() + s[1:]


def pinluCounts(value):
    """'le(30101) liǎo(654)' -> [('le', 30101), ('liao', 654)], toneless, summed per reading."""
    counts = {}
    order = []
    for m in re.finditer(r"(\S+?)\((\d+)\)", value):
        r = toneless(m.group(1))
        if r not in counts:
            order.append(r)
            counts[r] = 0
        counts[r] += int(m.group(2))
    return sorted(((r, counts[r]) for r in order), key=lambda rc: -rc[1])


def dictReadings(value):
    """'212.030:lè 453.020:yuè' or 'hǎo hào' -> toneless readings in order."""
    out = []
    for item in value.split():
        out.append(toneless(item.split(":")[-1]))
    return out


def historicReadings(value):
    """kHanyuPinyin '10019.020:tiàn,tián' -> toneless readings in order."""
    out = []
    for item in value.split():
        out.extend(toneless(r) for r in item.split(":")[-1].split(","))
    return out


@dataclasses.dataclass(frozen=True)
class Rules:
    """Which readings a row holds; the defaults build the shipped file."""
    minShare: float = 0.01    # drop readings under this share of kHanyuPinlu's counts (0: none)
    absentTotal: int = 500    # ... and those it never counted, once a character has this many
    historic: bool = False    # also take kHanyuPinyin's historic readings
    symbols: bool = True      # rows for double-byte digits, letters and numbers
    standard: bool = True     # keep uncounted readings that both kTGHZ2013 and kXHC1983 list
    inherit: bool = True      # traditional characters take their simplified forms' readings


def variants(value):
    """'U+53D1 U+9AEE' -> ['发', '髮'] (source tags after '<', if any, ignored)."""
    return [chr(int(v.split("<")[0][2:], 16)) for v in value.split()]


def simplifiedPartner(c, fields):
    """(simplified form, whether it also stands for itself) of traditional c when c's only
    kSimplifiedVariant has no traditional form but c and, perhaps, itself: 匱 -> (匮, False),
    單 -> (单, True), as 单 is written in traditional text too; None for 髮, whose 发 is also
    發's, and for characters that are no traditional form."""
    simple = variants(fields.get(c, {}).get("kSimplifiedVariant", ""))
    if len(simple) != 1 or simple[0] == c:
        return None
    s = simple[0]
    traditional = variants(fields.get(s, {}).get("kTraditionalVariant", ""))
    if [t for t in traditional if t != s] != [c]:
        return None
    return s, s in traditional


def attested(c, f, go):
    """Every reading any source gives c, 汉语大字典's historic ones included."""
    out = set(toneless(r) for r in go.get(c, []))
    for field in ("kMandarin", "kTGHZ2013", "kXHC1983"):
        out.update(dictReadings(f.get(field, "")))
    out.update(r for r, _ in pinluCounts(f.get("kHanyuPinlu", "")))
    out.update(historicReadings(f.get("kHanyuPinyin", "")))
    return out


def readingsOf(c, fields, go, rules):
    """The toneless readings of c in their stored order, or [] when it has none."""
    f = fields.get(c, {})
    variant = f.get("kCompatibilityVariant")
    if variant and not any(k in f for k in MODERN_FIELDS):
        # A compatibility ideograph reads like the unified one it stands for.
        return readingsOf(chr(int(variant[2:], 16)), fields, go, rules)
    own = ownReadings(c, f, go, rules)
    partner = simplifiedPartner(c, fields) if rules.inherit else None
    if partner:
        # The dictionaries describe the simplified form fully and its traditional form
        # sparsely (匱 Gui only, 匮 Kui; 繆 Mou, 缪 Mou Miao Miu). A traditional character that
        # is its simplified form's only traditional one reads as that form does: its own
        # readings first, then the simplified form's, in that form's order. Where the
        # simplified form is an old character in its own right, some of its readings are its
        # own (谷 Yu of 吐谷浑 is no reading of 穀, 种 Chong no reading of 種... but 單 is Shan
        # like 单): then only those any source of the traditional character attests.
        simple, standsForItself = partner
        known = attested(c, f, go) if standsForItself else None
        inherited = readingsOf(simple, fields, go, rules)
        for r in inherited:
            if r not in own and (known is None or r in known):
                own.append(r)
        # A simplified form with one reading shows the only one modern usage knows; the
        # traditional character's own first is then a historic one (匱 Gui, 匮 Kui as in
        # 匱乏; 鍶 Song, 锶 Si, the element), and yields.
        if len(inherited) == 1 and inherited[0] in own[1:]:
            own.remove(inherited[0])
            own.insert(0, inherited[0])
    return own


def ownReadings(c, f, go, rules):
    """c's readings from its own Unihan fields and go data."""
    # The r of erhua (花儿 huār) is no syllable of its own: romanised text writes 儿 as Er.
    pinlu = [(r, n) for r, n in pinluCounts(f.get("kHanyuPinlu", "")) if r != "r"]
    ordered = [r for r, _ in pinlu]
    for field in ("kMandarin", "kTGHZ2013", "kXHC1983"):
        if field in f:
            ordered.extend(dictReadings(f[field]))
    if rules.historic and "kHanyuPinyin" in f:
        ordered.extend(historicReadings(f["kHanyuPinyin"]))
    first = toneless(go[c][0]) if c in go else (ordered[0] if ordered else None)
    if first is None:
        return []
    if rules.minShare > 0 and pinlu:
        total = sum(n for _, n in pinlu)
        share = {r: n / total for r, n in pinlu}
        keep = KEEP.get(c, "").split()
        # A reading kHanyuPinlu never counted is only taken as rare when the character was
        # counted often enough that a reading of minShare would have shown up.
        absentRare = total >= rules.absentTotal
        # A reading both modern dictionaries list is no rarity even when the counts never met
        # it: they were counted in running text, where 什 is nearly always shén (什么) and
        # 什锦's shí, 说's shuì (游说) or 识's zhì (标识) are rare but well known.
        standard = set()
        if rules.standard:
            standard = set(dictReadings(f.get("kTGHZ2013", ""))) & \
                set(dictReadings(f.get("kXHC1983", "")))
        ordered = [r for r in ordered if r in keep or share.get(r, 0.0) >= rules.minShare
                   or (r not in share and (not absentRare or r in standard))]
    out = [first]
    for r in ordered + EXTRA.get(c, "").split():
        if r not in out:
            out.append(r)
    return out


def isHan(c):
    name = unicodedata.name(c, "")
    return c == "\u3007" or name.startswith("CJK UNIFIED IDEOGRAPH") or \
        name.startswith("CJK COMPATIBILITY IDEOGRAPH")


def symbolReading(c):
    """What a double-byte digit, letter or number symbol reads as: its compatibility form
    without brackets and full stop, when that is ASCII letters and digits ('２' -> '2',
    'ａ' -> 'a', 'Ⅱ' -> 'II', '⑴' -> '1', '⒈' -> '1', '㎏' -> 'kg'); otherwise None."""
    s = unicodedata.normalize("NFKC", c).strip("().")
    return s if re.fullmatch(r"[0-9A-Za-z]+", s) else None


def bracketedHan(c):
    """The Han character of a bracketed ideograph ('㈠' -> '一'), or None."""
    s = unicodedata.normalize("NFKC", c)
    if len(s) == 3 and s[0] == "(" and s[2] == ")" and isHan(s[1]):
        return s[1]
    return None


def gbkCharacters():
    """Every character GBK writes as a double-byte code, in code order."""
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            try:
                s = bytes((lead, trail)).decode("gbk")
            except UnicodeDecodeError:
                continue
            if len(s) == 1:
                yield s


def buildRows(fields, go, rules):
    """(hz, Py1) rows in GBK code order."""
    rows = []
    for c in gbkCharacters():
        if isHan(c):
            readings = readingsOf(c, fields, go, rules)
            if readings:
                rows.append((c, " ".join(written(r) for r in readings)))
        elif rules.symbols:
            han = bracketedHan(c)
            readings = readingsOf(han, fields, go, rules) if han else []
            if readings:
                # a numbering mark reads one way: ㈥ is Liu, never the Lu of 六安
                rows.append((c, written(readings[0])))
            elif symbolReading(c):
                rows.append((c, symbolReading(c)))
    return rows


def writeDb(path, rows):
    tmp = path + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    db = sqlite3.connect(tmp)
    db.execute("PRAGMA page_size = 4096")
    db.execute("CREATE TABLE PinYin (hz TEXT NOT NULL, Py1 TEXT NOT NULL)")
    db.executemany("INSERT INTO PinYin (hz, Py1) VALUES (?, ?)", rows)
    db.commit()
    db.execute("VACUUM")
    db.close()
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--output", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "py.db"))
    ap.add_argument("--unihan", default=UNIHAN_DIR, help="folder of Unihan_*.txt.bz2")
    ap.add_argument("--go-dict", default=GO_DICT, help="go-pinyin's pinyin_dict.go")
    ap.add_argument("--min-share", type=float, default=Rules.minShare,
                    help="drop readings under this share of kHanyuPinlu's counts (0: keep all)")
    ap.add_argument("--absent-total", type=int, default=Rules.absentTotal,
                    help="with --min-share, drop a reading kHanyuPinlu does not count only when "
                         "the character's counts total at least this")
    ap.add_argument("--historic", action="store_true",
                    help="also take kHanyuPinyin's historic readings (for measuring only)")
    ap.add_argument("--no-symbols", action="store_true",
                    help="no rows for double-byte digits, letters and numbers (２, Ａ, Ⅱ, ①)")
    ap.add_argument("--no-standard", action="store_true",
                    help="drop uncounted readings by --absent-total even when both modern "
                         "dictionaries list them")
    ap.add_argument("--no-inherit", action="store_true",
                    help="traditional characters keep only their own readings")
    args = ap.parse_args(argv)
    rules = Rules(args.min_share, args.absent_total, args.historic, not args.no_symbols,
                  not args.no_standard, not args.no_inherit)
    rows = buildRows(loadUnihan(args.unihan), loadGoDict(args.go_dict), rules)
    writeDb(os.path.normpath(args.output), rows)
    print("%s: %d rows, %d bytes" % (os.path.normpath(args.output), len(rows),
                                     os.path.getsize(args.output)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
