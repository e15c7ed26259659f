#!/usr/bin/env python3
"""Tests of add_readings.py: which readings a made-up audit adds, and that it keeps the
first reading and the order of the others. Python 3 standard library only."""

import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import add_readings  # noqa: E402

PINYIN = {"的": ["De"], "和": ["He", "Hu"], "将": ["Jiang"], "么": ["Me"], "中": ["Zhong"],
          "外": ["Wai"]}
FIELDS = {
    "的": {"kHanyuPinlu": {"De", "Di"}, "kXHC1983": {"De", "Di"}},
    "和": {"kTGHZ2013": {"He", "Hu", "Huo"}},
    "将": {"kMandarin": {"Jiang", "Qiang"}},  # no modern dictionary gives qiang here
    "么": {"kXHC1983": {"Me", "Yao"}},          # a dictionary's, but no living word has it
    "中": {"kXHC1983": {"Zhong"}},
}
STANDARD = {"的", "和", "将", "么", "中", "丙"}  # 丙: no row, passed over; 外: not standard


class Audit(unittest.TestCase):
    def setUp(self):
        pro = add_readings.byCharacter(add_readings.wordReadings([
            ("的确", ["dí", "què"]), ("目的", ["mù", "dì"]), ("和面", ["huó", "miàn"]),
            ("将进酒", ["qiāng", "jìn", "jiǔ"]), ("外外", ["yao", "yao"]),
            ("一丁点儿", ["yì", "dīng", "diǎn"]),  # syllables do not match: passed over
        ]))
        cedict = add_readings.byCharacter(add_readings.wordReadings([
            ("的士", ["di", "shi"]), ("和面", ["huo", "mian"]), ("将进酒", ["qiang", "jin", "jiu"]),
            ("中", ["zhong"]),  # one character: no word
        ]))
        self.rows = {r[0]: r for r in add_readings.audit(PINYIN, FIELDS, STANDARD, pro, cedict)}

    def test_added_when_a_dictionary_and_both_word_lists_agree(self):
        self.assertEqual(self.rows["的"][4], ["Di"])  # 的确 in one list, 的士 in the other
        self.assertEqual(self.rows["和"][4], ["Huo"])
        self.assertEqual(self.rows["将"][4], [])  # listed (Unihan differs), not added
        self.assertNotIn("中", self.rows)  # every view agrees
        self.assertNotIn("外", self.rows)
        self.assertNotIn("丙", self.rows)

    def test_listed_where_the_views_differ(self):
        self.assertEqual(self.rows["么"][4], [])
        self.assertEqual(self.rows["么"][2], {"Me", "Yao"})

    def test_traditional_forms_follow_as_make_pydb_inherits(self):
        pinyin = {"转": ["Zhuan"], "轉": ["Zhuan"], "没": ["Mei"], "沒": ["Mei"], "乾": ["Qian"],
                  "干": ["Gan"]}
        variants = {
            "转": {"kTraditionalVariant": ["轉"]}, "轉": {"kSimplifiedVariant": ["转"]},
            # 没 is also a traditional character of its own: 沒 takes what it attests
            "没": {"kTraditionalVariant": ["沒", "没"]}, "沒": {"kSimplifiedVariant": ["没"]},
            # 乾 has two simplified forms: nothing follows
            "干": {"kTraditionalVariant": ["乾", "幹"]}, "乾": {"kSimplifiedVariant": ["乾", "干"]},
        }
        fields = {"沒": {"kHanyuPinyin": {"Mei"}}}
        added = {"转": ["Zhuai"], "没": ["Mo"], "干": ["Han"]}
        self.assertEqual(add_readings.traditionalGains(added, pinyin, fields, variants), {"轉": ["Zhuai"]})
        fields = {"沒": {"kHanyuPinyin": {"Mei", "Mo"}}}
        self.assertEqual(add_readings.traditionalGains(added, pinyin, fields, variants),
                         {"轉": ["Zhuai"], "沒": ["Mo"]})

    def test_cedict_words_leave_out_names_and_words_out_of_use(self):
        with tempfile.TemporaryDirectory() as pkg:
            os.mkdir(os.path.join(pkg, "data"))
            entries = [["和麵", "和面", "huo2 mian4", ["to knead dough"]],
                       ["呂氏", "吕氏", "Lu:3 shi4", ["Lü (surname)"]],  # a name: capitalised
                       ["將進", "将进", "qiang1 jin4", ["(archaic) to go on"]],
                       ["女兒", "女儿", "nu:3 er2", "daughter"]]  # one definition, not a list
            with open(os.path.join(pkg, "data", "all.js"), "w", encoding="utf-8") as f:
                f.write("module.exports = " + json.dumps({"all": entries}) + ";\n")
            self.assertEqual(add_readings.cedictWords(pkg),
                             {("和", "Huo"), ("面", "Mian"), ("女", "Nv"), ("儿", "Er")})

    def test_syllables_of_every_unihan_form(self):
        self.assertEqual(add_readings.syllables("212.030:lè 453.020:yuè"), {"Le", "Yue"})
        self.assertEqual(add_readings.syllables("le(30101) liǎo(654)"), {"Le", "Liao"})
        self.assertEqual(add_readings.syllables("10019.020:tiàn,tián"), {"Tian"})


if __name__ == "__main__":
    unittest.main()
