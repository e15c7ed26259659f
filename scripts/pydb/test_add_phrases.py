#!/usr/bin/env python3
"""Tests of add_phrases.py: the phrase tables it writes from a small made-up word list,
Unihan extract and PinYin table. Python 3 standard library only."""

import bz2
import json
import math
import os
import sqlite3
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import add_phrases  # noqa: E402

PINYIN = {
    "银": "Yin", "行": "Xing Hang", "动": "Dong", "在": "Zai", "长": "Zhang Chang",
    "城": "Cheng", "大": "Da Dai", "了": "Le Liao", "卜": "Bu Bo", "萝": "Luo",
    "的": "De", "銀": "Yin", "長": "Chang Zhang", "乾": "Qian Gan", "干": "Gan",
    "单": "Dan Shan Chan", "于": "Yu", "曾": "Ceng Zeng", "好": "Hao",
    "传": "Chuan Zhuan", "校": "Xiao Jiao", "点": "Dian", "释": "Shi", "陶": "Tao Yao",
}
WORDS = {
    "银行": ["yín háng", 8e-9], "行动": ["xíng dòng", 9e-9], "在行": ["zài háng", 1e-11],
    "长城": ["cháng chéng", 2e-9], "长大": ["zhǎng dà", 1.5e-9], "长": ["cháng", 4e-8],
    "行": ["xíng", 2e-8], "了": ["le", 8.8e-7], "卜": ["bǔ", 8e-10], "萝卜": ["luó bo", 5e-10],
    "好好": ["hǎo hǎo", 3e-9],            # no polyphonic character: not kept
    "银x": ["yín x", 1e-9],               # a character without a row: not kept
    "行行出状元": ["háng háng chū zhuàng yuán", 1e-11],  # characters without rows
    "长行": ["cháng", 1e-9],              # syllable count differs: not kept
    "大夫": ["dài fu", 1e-9],             # 夫 has no row: not kept
    "点校": ["diǎn xiào", 2e-10],         # misread: the catalogue reading replaces it
}
UNIHAN_VARIANTS = [
    "U+9280\tkSimplifiedVariant\tU+94F6",    # 銀 -> 银
    "U+9577\tkSimplifiedVariant\tU+957F",    # 長 -> 长
    "U+4E7E\tkSimplifiedVariant\tU+4E7E U+5E72",  # 乾 is also a simplified character
]
UNIHAN_READINGS = [
    "U+4E86\tkHanyuPinlu\tle(30101) liǎo(654) liào(19)",  # 了: le dominates
    "U+535C\tkHanyuPinlu\tbo(25)",                         # 卜: too few counts
    "U+957F\tkHanyuPinlu\tzhǎng(1879) cháng(1179)",        # 长: no reading dominates
    "U+884C\tkHanyuPinlu\txíng(2943) háng(218)",           # 行: 93 %
]


class AddPhrasesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        root = cls.dir.name
        os.makedirs(os.path.join(root, "package", "json"))
        with open(os.path.join(root, "package", "json", "complete.json"), "w",
                  encoding="utf-8") as f:
            json.dump(WORDS, f, ensure_ascii=False)
        with open(os.path.join(root, "package", "json", "traditional.json"), "w",
                  encoding="utf-8") as f:
            json.dump({"銀": "银"}, f, ensure_ascii=False)
        os.makedirs(os.path.join(root, "unihan"))
        for name, lines in (("Unihan_Variants.txt.bz2", UNIHAN_VARIANTS),
                            ("Unihan_Readings.txt.bz2", UNIHAN_READINGS)):
            with bz2.open(os.path.join(root, "unihan", name), "wt", encoding="utf-8") as f:
                f.write("# test extract\n" + "\n".join(lines) + "\n")
        cls.db = os.path.join(root, "py.db")
        db = sqlite3.connect(cls.db)
        db.execute("CREATE TABLE PinYin(hz TEXT, Py1 TEXT)")
        db.executemany("INSERT INTO PinYin VALUES (?,?)", sorted(PINYIN.items()))
        db.commit()
        db.close()
        add_phrases.main([cls.db, "--package", os.path.join(root, "package"),
                          "--unihan", os.path.join(root, "unihan")])
        cls.conn = sqlite3.connect(cls.db)

    @classmethod
    def tearDownClass(cls):
        cls.conn.close()
        cls.dir.cleanup()

    def rows(self, sql):
        return self.conn.execute(sql).fetchall()

    def phrase(self):
        return {w: (py, wt) for w, py, wt in self.rows("SELECT word, py, weight FROM Phrase")}

    def test_words_kept_and_their_readings(self):
        p = self.phrase()
        self.assertEqual(p["银行"][0], "Yin Hang")
        self.assertIsNone(p["行动"][0])          # only the first readings: stored as NULL
        self.assertEqual(p["在行"][0], "Zai Hang")
        self.assertEqual(p["长城"][0], "Chang Cheng")
        self.assertIsNone(p["长大"][0])
        self.assertEqual(p["萝卜"][0], "Luo Bo")
        for dropped in ("好好", "银x", "行行出状元", "长行", "大夫"):
            self.assertNotIn(dropped, p)
        # Traditional spellings are not stored: the lookup folds them.
        self.assertNotIn("銀行", p)

    def test_catalogue_readings(self):
        p = self.phrase()
        total = sum(f for _, f in WORDS.values())
        # A listed word keeps its weight, a missing one is added; one whose characters the
        # table lacks (本传: no 本) is not.
        self.assertEqual(p["点校"], ("Dian Jiao", round(100 * math.log(2e-10 / total))))
        self.assertEqual(p["校释"], ("Jiao Shi", add_phrases.CATALOGUE_WEIGHT))
        self.assertNotIn("本传", p)

    def test_one_character_rows(self):
        p = self.phrase()
        self.assertEqual(p["长"][0], "Chang")   # its reading alone, not the first
        self.assertIsNone(p["行"][0])           # the first reading: NULL
        self.assertIsNone(p["了"][0])

    def test_weights_are_log_shares_in_hundredths(self):
        p = self.phrase()
        total = sum(f for _, f in WORDS.values())
        self.assertEqual(p["了"][1], round(100 * math.log(8.8e-7 / total)))
        self.assertGreater(p["了"][1], p["在行"][1])
        self.assertTrue(all(isinstance(wt, int) and wt <= 0 for _, wt in p.values()))

    def test_variants(self):
        v = dict(self.rows("SELECT hz, simplified FROM Variant"))
        self.assertEqual(v, {"銀": "银", "長": "长"})  # 乾 is its own simplified form

    def test_dominant_readings(self):
        d = {hz: (py, share) for hz, py, share in self.rows("SELECT * FROM Dominant")}
        self.assertEqual(d["了"][0], "Le")
        self.assertAlmostEqual(d["了"][1], 30101 / (30101 + 654 + 19), places=3)
        self.assertNotIn("卜", d)   # 25 counts are too few
        # 长 reads Chang alone but Zhang is counted most: not dominant. 長 is folded.
        self.assertNotIn("长", d)
        self.assertNotIn("長", d)
        self.assertEqual(d["行"][0], "Xing")

    def test_surnames_only_with_readings_the_table_has(self):
        s = dict(self.rows("SELECT name, py FROM Surname"))
        self.assertEqual(s["单"], "Shan")
        self.assertEqual(s["曾"], "Zeng")
        self.assertEqual(s["单于"], "Chan Yu")
        self.assertNotIn("解", s)  # no row for 解 in this table
        # 百家姓's surnames of one reading take it; a polyphonic one SURNAMES does not list
        # takes its first (陶 Tao).
        self.assertEqual(s["于"], "Yu")
        self.assertEqual(s["陶"], "Tao")
        self.assertNotIn("好", s)  # no surname

    def test_pinyin_untouched_and_rerun_gives_the_same_tables(self):
        self.assertEqual(dict(self.rows("SELECT hz, Py1 FROM PinYin")), PINYIN)
        before = list(self.conn.iterdump())
        add_phrases.main([self.db, "--package", os.path.join(self.dir.name, "package"),
                          "--unihan", os.path.join(self.dir.name, "unihan")])
        with sqlite3.connect(self.db) as again:
            self.assertEqual(list(again.iterdump()), before)

    def test_toneless(self):
        self.assertEqual(add_phrases.toneless("lǘ"), "Lv")
        self.assertEqual(add_phrases.toneless("nǚ"), "Nv")
        self.assertEqual(add_phrases.toneless("ZHÀNG"), "Zhang")
        self.assertEqual(add_phrases.toneless("ḿ"), "M")


if __name__ == "__main__":
    unittest.main()
