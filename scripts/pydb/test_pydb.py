#!/usr/bin/env python3
"""Tests of the py.db generator, its check and its measuring, on small hand-made inputs.

Run: python3 scripts/pydb/test_pydb.py   (exit status 1 on a failure)
"""

import os
import sqlite3
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import check_pydb  # noqa: E402
import make_pydb as mk  # noqa: E402
import measure  # noqa: E402

SHIPPED = mk.Rules()
ALL_MODERN = mk.Rules(minShare=0)


class Readings(unittest.TestCase):
    def testTonesGoAndUmlautStays(self):
        self.assertEqual(mk.toneless("lǜ"), "lü")
        self.assertEqual(mk.toneless("nüè"), "nüe")
        self.assertEqual(mk.toneless("Zhuàng"), "zhuang")
        self.assertEqual(mk.toneless("ê̄"), "e")
        self.assertEqual(mk.toneless("ḿ"), "m")
        self.assertEqual(mk.toneless("hng"), "hng")
        self.assertRaises(ValueError, mk.toneless, "ka-1")
        self.assertRaises(ValueError, mk.toneless, "")

    def testWrittenForm(self):
        self.assertEqual(mk.written("lü"), "Lv")
        self.assertEqual(mk.written("nüe"), "Nve")
        self.assertEqual(mk.written("zhong"), "Zhong")

    def testPinluMergesTonesAndSortsByCount(self):
        self.assertEqual(mk.pinluCounts("dì(248) di(200)"), [("di", 448)])
        self.assertEqual(mk.pinluCounts("hé(95) huo(3) huò(400)"), [("huo", 403), ("he", 95)])

    def testSourceFieldForms(self):
        self.assertEqual(mk.dictReadings("212.030:lè 453.020:yuè"), ["le", "yue"])
        self.assertEqual(mk.dictReadings("hǎo hào"), ["hao", "hao"])
        self.assertEqual(mk.historicReadings("10019.020:tiàn,tián 10020.1:zhèn"),
                         ["tian", "tian", "zhen"])


# A character with every source, and the go data giving a first reading no count favours.
FIELDS = {
    "甲": {"kHanyuPinlu": "yī(50) èr(9000) sān(60)", "kMandarin": "èr sì",
           "kTGHZ2013": "1.1:wǔ 2.2:èr", "kXHC1983": "3.3:liù 4.4:wǔ",
           "kHanyuPinyin": "5.5:qī,bā"},
    "乙": {"kHanyuPinlu": "dà(100)", "kXHC1983": "1.1:dài"},   # few counts: dai stays
    "丙": {"kHanyuPinlu": "dà(1000)", "kXHC1983": "1.1:dài"},  # many counts: dai goes
    "六": {"kHanyuPinlu": "liù(1035)", "kXHC1983": "0729.030:liù 0737.110:lù"},
    "丁": {"kMandarin": "dīng", "kTGHZ2013": "1.1:zhēng"},      # uncounted: all stay
    "\uF92C": {"kCompatibilityVariant": "U+90CE"},
    "郎": {"kMandarin": "láng", "kXHC1983": "1.1:làng"},
    "戊": {"kHanyuPinyin": "1.1:wù"},                        # historic only
    "儿": {"kHanyuPinlu": "r(3254) ér(581)", "kMandarin": "ér"},
    # both modern dictionaries list shi, which the counts never met
    "什": {"kHanyuPinlu": "shén(4045)", "kTGHZ2013": "1.1:shén 2.2:shí",
           "kXHC1983": "1.1:shén 2.2:shí 3.3:za"},
    # one to one: 匱 <-> 匮; one to many: 髮 and 發 -> 发
    "匱": {"kMandarin": "guì", "kSimplifiedVariant": "U+532E"},
    "匮": {"kMandarin": "kuì", "kXHC1983": "1.1:kuì",
           "kTraditionalVariant": "U+5331"},
    "髮": {"kMandarin": "fà", "kSimplifiedVariant": "U+53D1"},
    "發": {"kSimplifiedVariant": "U+53D1"},
    "发": {"kMandarin": "fā", "kXHC1983": "1.1:fā 2.2:fà",
           "kTraditionalVariant": "U+767C U+9AEE"},
    "單": {"kHanyuPinlu": "dān(603)", "kSimplifiedVariant": "U+5355",
           "kHanyuPinyin": "1.1:dān,shàn,chán"},
    "頡": {"kMandarin": "xié", "kSimplifiedVariant": "U+9889"},
    "颉": {"kMandarin": "jié", "kXHC1983": "1.1:jié 2.2:xié", "kTraditionalVariant": "U+9821"},
    "穀": {"kMandarin": "gǔ", "kHanyuPinyin": "1.1:gǔ,hú", "kSimplifiedVariant": "U+8C37"},
    "谷": {"kMandarin": "gǔ", "kXHC1983": "1.1:gǔ 2.2:yù 3.3:hú",
           "kTraditionalVariant": "U+8C37 U+7A40"},
    "单": {"kHanyuPinlu": "dān(603)", "kXHC1983": "1.1:dān 2.2:chán 3.3:shàn",
           "kTraditionalVariant": "U+5355 U+55AE"},
}
GO = {"儿": ["ér"], "甲": ["yī", "èr"], "乙": ["dà"], "丙": ["dà"], "六": ["liù"], "丁": ["dīng"],
      "郎": ["láng"], "戊": ["wù"]}


class Rules(unittest.TestCase):
    def read(self, c, rules=SHIPPED):
        return mk.readingsOf(c, FIELDS, GO, rules)

    def testOrderFirstFromGoThenCountsThenDictionaries(self):
        self.assertEqual(self.read("甲", ALL_MODERN), ["yi", "er", "san", "si", "wu", "liu"])
        self.assertEqual(self.read("甲", mk.Rules(minShare=0, historic=True)),
                         ["yi", "er", "san", "si", "wu", "liu", "qi", "ba"])

    def testRareReadingsGoButTheFirstStays(self):
        # yi (0.5 %) is first and stays; san (0.7 %) goes; si, liu were never counted in
        # 9110 counts and go as well; wu too, unless both modern dictionaries list it.
        self.assertEqual(self.read("甲"), ["yi", "er", "wu"])
        self.assertEqual(self.read("甲", mk.Rules(standard=False)), ["yi", "er"])
        self.assertEqual(self.read("乙"), ["da", "dai"])
        self.assertEqual(self.read("丙"), ["da"])
        self.assertEqual(self.read("丙", mk.Rules(absentTotal=10**9)), ["da", "dai"])
        self.assertEqual(self.read("丁"), ["ding", "zheng"])

    def testReadingsBothModernDictionariesListStay(self):
        self.assertEqual(self.read("什"), ["shen", "shi"])
        self.assertEqual(self.read("什", mk.Rules(standard=False)), ["shen"])

    def testTraditionalTakesItsOneToOneSimplifiedReadingsAfterItsOwn(self):
        # 匮's only reading is the one modern usage knows: it goes first
        self.assertEqual(self.read("匱"), ["kui", "gui"])
        self.assertEqual(self.read("匱", mk.Rules(inherit=False)), ["gui"])
        # 单's name readings survive the count rule through the name list, and so do 單's
        self.assertEqual(self.read("單"), ["dan", "chan", "shan"])
        # a polyphonic simplified form leaves the traditional character's first reading first
        self.assertEqual(self.read("頡"), ["xie", "jie"])
        # 发 stands for two traditional characters: neither takes its readings
        self.assertEqual(self.read("髮"), ["fa"])
        self.assertEqual(self.read("發"), [])
        # 谷 is also an old character of its own: 穀 takes only what its sources attest
        self.assertEqual(self.read("穀"), ["gu", "hu"])
        self.assertEqual(mk.simplifiedPartner("匱", FIELDS), ("匮", False))
        self.assertEqual(mk.simplifiedPartner("穀", FIELDS), ("谷", True))
        self.assertIsNone(mk.simplifiedPartner("匮", FIELDS))
        self.assertIsNone(mk.simplifiedPartner("髮", FIELDS))

    def testErhuaIsNoReading(self):
        self.assertEqual(self.read("儿", ALL_MODERN), ["er"])

    def testListedNameReadingsStay(self):
        self.assertEqual(self.read("六"), ["liu", "lu"])

    def testCompatibilityIdeographReadsLikeItsVariant(self):
        self.assertEqual(self.read("\uF92C"), ["lang"])

    def testHistoricOnlyCharacterKeepsGoFirstReading(self):
        self.assertEqual(self.read("戊"), ["wu"])
        self.assertEqual(mk.readingsOf("己", FIELDS, GO, SHIPPED), [])

    def testSymbolsReadAsAscii(self):
        for symbol, reading in (("２", "2"), ("Ｚ", "Z"), ("ａ", "a"), ("Ⅱ", "II"), ("ⅳ", "iv"),
                                ("⑩", "10"), ("⑴", "1"), ("⒛", "20"), ("㎏", "kg"), ("№", "No")):
            self.assertEqual(mk.symbolReading(symbol), reading)
        for punctuation in ("，", "＠", "（", "．", "　", "℃", "α", "ā"):
            self.assertIsNone(mk.symbolReading(punctuation))
        self.assertEqual(mk.bracketedHan("㈠"), "一")
        self.assertIsNone(mk.bracketedHan("⑴"))


class Gbk(unittest.TestCase):
    def testEveryDoubleByteCharacterInCodeOrder(self):
        chars = list(mk.gbkCharacters())
        self.assertEqual(len(chars), len(set(chars)))
        self.assertEqual(chars[0], "丂")  # 0x8140
        codes = [c.encode("gbk") for c in chars]
        self.assertEqual(codes, sorted(codes))
        self.assertIn("〇", chars)
        self.assertIn("，", chars)
        self.assertEqual(sum(1 for c in chars if mk.isHan(c)), 20924)


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def testSameRowsGiveTheSameBytes(self):
        rows = [("中", "Zhong"), ("行", "Xing Hang")]
        mk.writeDb(self.path("a.db"), rows)
        mk.writeDb(self.path("b.db"), rows)
        with open(self.path("a.db"), "rb") as a, open(self.path("b.db"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        db = sqlite3.connect(self.path("a.db"))
        self.assertEqual(db.execute("SELECT hz, Py1 FROM PinYin ORDER BY rowid").fetchall(),
                         rows)
        db.close()

    def testCheckFindsBrokenFiles(self):
        self.assertTrue(check_pydb.check(self.path("missing.db")))
        db = sqlite3.connect(self.path("other.db"))
        db.execute("CREATE TABLE Other (hz TEXT, Py1 TEXT)")
        db.close()
        self.assertIn("table PinYin", check_pydb.check(self.path("other.db"))[0])
        mk.writeDb(self.path("bad.db"), [("中", "Zhong"), ("中", "Zhong"), ("行", "xing  Hang"),
                                         ("ab", "A"), ("长", "Chang Chang")])
        problems = "\n".join(check_pydb.check(self.path("bad.db")))
        for expected in ("hz repeated", "single spaces", "not one character",
                         "reading is repeated", "rows, expected", "without a row"):
            self.assertIn(expected, problems)

    def testMeasureCounts(self):
        mk.writeDb(self.path("m.db"), [("行", "Xing Hang"), ("人", "Ren"), ("长", "Zhang")])
        tsv = self.path("s.tsv")
        with open(tsv, "w", encoding="utf-8") as f:
            f.write("s1\t银行，人。\t1:hang\n")   # 银 has no row; the first reading is Xing
            f.write("s2\tA长行\t1:xing\n")
        m = measure.measure(measure.loadTable(self.path("m.db")), measure.loadSentences(tsv))
        self.assertEqual(m["han"], 5)
        self.assertAlmostEqual(m["chooser"], 2 / 5)
        self.assertAlmostEqual(m["first"], 1 / 2)
        self.assertAlmostEqual(m["coverage"], 1.0)


class ShippedFile(unittest.TestCase):
    def testCommittedDatabasePassesTheCheck(self):
        self.assertEqual(check_pydb.check(check_pydb.DEFAULT_DB), [])


if __name__ == "__main__":
    unittest.main()
