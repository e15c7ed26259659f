#!/usr/bin/env python3
"""Tests of add_cedict.py: which CC-CEDICT entries a small made-up dictionary adds to a
made-up Phrase table, and with what reading and weight. Python 3 standard library only."""

import json
import os
import sqlite3
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import add_cedict  # noqa: E402

PINYIN = {
    "吐": "Tu", "蕃": "Fan Bo", "王": "Wang", "朝": "Chao Zhao", "阳": "Yang", "区": "Qu Ou",
    "都": "Dou Du", "酆": "Feng", "银": "Yin", "行": "Xing Hang", "一": "Yi", "路": "Lu",
    "长": "Zhang Chang", "安": "An", "好": "Hao", "人": "Ren", "折": "Zhe She", "槛": "Kan Jian",
    "朱": "Zhu", "云": "Yun", "绿": "Lv", "儿": "Er", "玩": "Wan", "大": "Da Dai",
}
PHRASE = [  # the general word list's rows: (word, py, weight)
    ("银行", "Yin Hang", -900), ("大都", "Da Dou", -1200), ("长", "Chang", -700),
    ("行", None, -800), ("好人", None, -1721), ("行长", None, -1300), ("都市", None, -1000),
]
# [traditional, simplified, pinyin, definitions, ...] as the package's data/all.js has them
ENTRIES = [
    ["吐蕃王朝", "吐蕃王朝", "Tu3 bo1 Wang2 chao2", "Tibetan Tubo dynasty", [], []],
    ["酆都", "酆都", "Feng1 du1", "Fengdu, place in Chongqing", [], []],
    ["行路", "行路", "Xing2 lu4", "Xinglu, a road", [], []],
    ["長安", "长安", "Chang2 an1", "Chang'an, ancient capital", [], []],
    ["朱雲折檻", "朱云折槛", "zhu1 yun2 zhe2 jian4", ["lit. Zhu Yun breaks the railing (idiom)"],
     [], []],
    # an everyday word: neither a name nor a set phrase (added unless --no-words)
    ["一行", "一行", "yi1 hang2", "a row", [], []],
    # two readings of one word: left out
    ["朝陽", "朝阳", "Chao2 yang2", "Chaoyang district", [], []],
    ["朝陽", "朝阳", "zhao1 yang2", "the morning sun", [], []],
    # the word list holds it: its reading stands
    ["大都", "大都", "Da4 du1", "Khanbaliq, Yuan capital", [], []],
    # the word list has only first readings for these: a differing reading replaces them, the
    # same one changes nothing
    ["行長", "行长", "hang2 zhang3", "bank president", [], []],
    ["都市", "都市", "dou1 shi4", "city", [], []],
    # no polyphonic character
    ["綠", "绿", "Lu:4", "Lü (surname)", [], []],
    ["好人路", "好人路", "Hao3 ren2 Lu4", "Good Man Road", [], []],
    # a reading the table does not have; an erhua syllable; a character without a row
    ["吐蕃", "吐蕃", "Tu3 pan1", "(wrong)", [], []],
    ["玩兒", "玩儿", "wan2 r5", "(idiom) to play", [], []],
    ["王國", "王国", "Wang2 guo2", "Kingdom", [], []],
]


class AddCedictTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        root = self.dir.name
        os.makedirs(os.path.join(root, "package", "data"))
        with open(os.path.join(root, "package", "data", "all.js"), "w", encoding="utf-8") as f:
            f.write("export default " + json.dumps({"all": ENTRIES}, ensure_ascii=False))
        self.db = os.path.join(root, "py.db")
        with sqlite3.connect(self.db) as db:
            db.execute("CREATE TABLE PinYin(hz TEXT, Py1 TEXT)")
            db.executemany("INSERT INTO PinYin VALUES (?,?)", sorted(PINYIN.items()))
            db.execute("CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER NOT"
                       " NULL) WITHOUT ROWID")
            db.executemany("INSERT INTO Phrase VALUES (?,?,?)", PHRASE)
        db.close()

    def tearDown(self):
        self.dir.cleanup()

    def run_step(self, *extra):
        add_cedict.main([self.db, "--package", os.path.join(self.dir.name, "package")]
                        + list(extra))
        with sqlite3.connect(self.db) as db:
            rows = {w: (py, wt) for w, py, wt in db.execute("SELECT * FROM Phrase")}
        db.close()
        return rows

    def test_names_and_set_phrases_added_at_the_rarest_weight(self):
        p = self.run_step("--holdout", "0")
        self.assertEqual(p["吐蕃王朝"], ("Tu Bo Wang Chao", -1721))
        self.assertEqual(p["长安"], ("Chang An", -1721))
        self.assertEqual(p["朱云折槛"], ("Zhu Yun Zhe Jian", -1721))
        self.assertEqual(p["酆都"], ("Feng Du", -1721))
        # Only its first readings: NULL, as the word list stores such words.
        self.assertEqual(p["行路"], (None, -1721))
        self.assertEqual(p["一行"], ("Yi Hang", -1721))

    def test_no_words_adds_only_names_and_set_phrases(self):
        p = self.run_step("--holdout", "0", "--no-words")
        self.assertNotIn("一行", p)
        self.assertEqual(p["长安"], ("Chang An", -1721))
        self.assertEqual(len(p), len(PHRASE) + 5)

    def test_what_is_left_out(self):
        p = self.run_step("--holdout", "0")
        self.assertEqual(p["大都"], ("Da Dou", -1200))  # the word list's reading stands
        self.assertEqual(p["都市"], (None, -1000))
        for word in ("朝阳", "好人路", "吐蕃", "玩儿", "王国", "绿"):
            self.assertNotIn(word, p)
        self.assertEqual(len(p), len(PHRASE) + 6)

    def test_held_out_words_are_written_not_added(self):
        tsv = os.path.join(self.dir.name, "held.tsv")
        p = self.run_step("--holdout", "1", "--holdout-tsv", tsv)
        self.assertEqual(len(p), len(PHRASE))
        with open(tsv, encoding="utf-8") as f:
            lines = [line.rstrip("\n").split("\t") for line in f]
        self.assertEqual(len(lines[0]), 6)  # the header of polyphone_eval --pairs
        held = {cols[4]: (cols[1], cols[5]) for cols in lines[1:]}
        self.assertEqual(held["吐蕃王朝"], ("name", "tu bo wang chao"))
        self.assertEqual(held["朱云折槛"], ("set phrase", "zhu yun zhe jian"))
        self.assertEqual(held["一行"], ("word", "yi hang"))
        self.assertEqual(len(held), 6)

    def test_a_reading_of_first_readings_only_is_replaced(self):
        self.assertEqual(self.run_step("--holdout", "0")["行长"], ("Hang Zhang", -1300))

    def test_no_overrides_keeps_the_word_lists_reading(self):
        self.assertEqual(self.run_step("--no-overrides")["行长"], (None, -1300))

    def test_rerun_changes_nothing(self):
        first = self.run_step()
        self.assertEqual(self.run_step(), first)

    def test_syllables(self):
        self.assertEqual(add_cedict.syllable("lu:4"), "Lv")
        self.assertEqual(add_cedict.syllable("Nu:3"), "Nv")
        self.assertEqual(add_cedict.syllable("zhuan4"), "Zhuan")
        self.assertEqual(add_cedict.syllable("de5"), "De")


if __name__ == "__main__":
    unittest.main()
