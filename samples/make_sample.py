#!/usr/bin/env python3
"""Writes samples/sample.iso: our own CNMARC book records in GBK, for trying the tool out.

The records are made up here, field by field. The first twelve stand one per line, the next
eight back to back on a single line (as most ISO 2709 files hold them), the rest one per line
again. Titles, names, places and subjects carry characters with several readings (银行, 重庆,
长城, 单 and 曾 as surnames, 乐, 朝, 解 ...); one traditional title has a GBK trail byte equal
to "|". Run: python3 samples/make_sample.py [OUTPUT]
"""
import sys
from pathlib import Path

FT, SD, RT = b"\x1e", b"\x1f", b"\x1d"

# title, author (as in 200 $f), name in 701 $a, place, publisher, subject, series or None
BOOKS = [
    ("中国银行业发展报告", "中国银行业协会编", None, "北京", "中国金融出版社", "银行业-研究报告-中国", None),
    ("重庆旅游指南", "张小平编著", "张小平", "重庆", "重庆出版社", "旅游指南-重庆", None),
    ("长城的故事", "王长江著", "王长江", "北京", "中华书局", "长城-历史", None),
    ("单田芳评书精选", "单田芳著", "单田芳", "沈阳", "春风文艺出版社", "评书-作品集-中国-当代", None),
    ("曾国藩家书", "曾国藩著", "曾国藩", "长沙", "岳麓书社", "曾国藩-书信集", None),
    ("音乐与生活", "李乐天著", "李乐天", "上海", "上海音乐出版社", "音乐-普及读物", None),
    ("快乐的童年", "陈晓红著", "陈晓红", "北京", "少年儿童出版社", "儿童故事-中国-当代", None),
    ("行长手记", "赵行健著", "赵行健", "北京", "中信出版社", "银行-经营管理-中国", None),
    ("重新认识中国历史", "许倬云著", "许倬云", "北京", "生活·读书·新知三联书店", "中国历史-通俗读物", None),
    ("银行会计学", "曾小青主编", "曾小青", "厦门", "厦门大学出版社", "银行会计-高等学校-教材", None),
    ("长江三角洲经济研究", "周长安著", "周长安", "上海", "上海人民出版社", "长江三角洲-区域经济-研究", None),
    ("都市生活与首都文化", "孙都著", "孙都", "北京", "北京出版社", "城市文化-研究-北京", None),
    ("数据库系统概论", "王珊, 萨师煊编著", "王珊", "北京", "高等教育出版社", "数据库系统-高等学校-教材", None),
    ("还原历史的真相", "朱还著", "朱还", "西安", "陕西人民出版社", "中国历史-研究", None),
    ("会计基础", "单晓东主编", "单晓东", "大连", "东北财经大学出版社", "会计学-教材", None),
    ("朝阳区志", "北京市朝阳区地方志编纂委员会编", None, "北京", "北京出版社", "朝阳区-地方志", None),
    ("朝花夕拾", "鲁迅著", "鲁迅", "北京", "人民文学出版社", "散文集-中国-现代", "鲁迅作品集"),
    ("背影", "朱自清著", "朱自清", "南京", "江苏文艺出版社", "散文集-中国-现代", None),
    ("水浒传", "施耐庵著", "施耐庵", "北京", "人民文学出版社", "章回小说-中国-明代", "中国古典文学名著"),
    ("单位管理制度汇编", "解红编", "解红", "重庆", "重庆大学出版社", "单位管理-制度-汇编", None),
    ("解放思想与改革开放", "解缙文著", "解缙文", "北京", "人民出版社", "改革开放-研究-中国", None),
    ("区域经济发展战略", "区伟明著", "区伟明", "广州", "广东人民出版社", "区域经济发展-研究-中国", None),
    ("茶馆", "老舍著", "老舍", "北京", "人民文学出版社", "话剧-剧本-中国-现代", None),
    ("红楼梦", "曹雪芹著", "曹雪芹", "北京", "人民文学出版社", "章回小说-中国-清代", "中国古典文学名著"),
    ("三国演义", "罗贯中著", "罗贯中", "北京", "人民文学出版社", "章回小说-中国-明代", "中国古典文学名著"),
    ("西游记", "吴承恩著", "吴承恩", "北京", "人民文学出版社", "章回小说-中国-明代", "中国古典文学名著"),
    ("围城", "钱钟书著", "钱钟书", "北京", "人民文学出版社", "长篇小说-中国-现代", None),
    ("平凡的世界", "路遥著", "路遥", "北京", "北京十月文艺出版社", "长篇小说-中国-当代", None),
    ("长沙方言研究", "曾长生著", "曾长生", "长沙", "湖南师范大学出版社", "湘语-方言研究-长沙", None),
    ("厦门大学校史", "厦门大学校史编委会编", None, "厦门", "厦门大学出版社", "厦门大学-校史", None),
    ("東京夢華錄", "孟元老撰", "孟元老", "北京", "中华书局", "开封-地方史-北宋", None),
    ("好奇心与学习", "查良镛著", "查良镛", "香港", "明河社", "学习方法-青少年读物", None),
    ("传记文学概论", "覃重著", "覃重", "南宁", "广西人民出版社", "传记文学-文学研究", None),
    ("乐亭县志", "乐亭县志编纂委员会编", None, "石家庄", "河北人民出版社", "乐亭县-地方志", None),
    ("大学英语(第2版)", "翟行之主编", "翟行之", "北京", "外语教学与研究出版社", "英语-高等学校-教材", None),
    ("中国银行史", "盖长城著", "盖长城", "北京", "中国金融出版社", "银行史-中国", None),
]


def field(tag, data):
    return tag, data.encode("gbk") if isinstance(data, str) else data


def sub(code, text):
    return SD + code.encode("ascii") + text.encode("gbk")


def record(fields):
    directory, area = b"", b""
    for tag, data in fields:
        directory += tag.encode("ascii") + b"%04d%05d" % (len(data) + 1, len(area))
        area += data + FT
    base = 24 + len(directory) + 1
    length = base + len(area) + 1
    kind = b"oam2" if any(tag == "225" for tag, _ in fields) else b"nam0"
    leader = b"%05d" % length + kind + b" 22" + b"%05d" % base + b"   450 "
    assert len(leader) == 24
    return leader + directory + FT + area + RT


def book(n, title, author, name, place, publisher, subject, series):
    fields = [
        field("001", "CNSAMPLE%04d" % n),
        field("005", "20240315093000.0"),
        field("010", b"  " + sub("a", "978-7-5000-%04d-%d" % (n, n % 10)) + sub("d", "CNY%d.00" % (20 + n))),
        field("100", b"  " + sub("a", "20240315d2024    em y0chiy50      ea")),
        field("101", b"0 " + sub("a", "chi")),
        field("102", b"  " + sub("a", "CN") + sub("b", "110000")),
        field("200", b"1 " + sub("a", title) + sub("f", author)),
        field("210", b"  " + sub("a", place) + sub("c", publisher) + sub("d", "2024")),
        field("215", b"  " + sub("a", "%d页" % (120 + 7 * n)) + sub("d", "21cm")),
    ]
    if series:
        fields.append(field("225", b"2 " + sub("a", series)))
    parts = subject.split("-")
    data = b" 0" + sub("a", parts[0]) + b"".join(sub("x", p) for p in parts[1:])
    fields.append(field("606", data))
    fields.append(field("690", b"  " + sub("a", "I247.5") + sub("v", "5")))
    if name:
        fields.append(field("701", b" 0" + sub("a", name) + sub("4", "著")))
    if n == 36:  # a record that already carries pinyin: re-done by default, kept with --existing keep
        fields[6] = field("200", b"1 " + sub("a", title) + sub("A", "zhong guo yin hang shi") + sub("f", author))
    return record(fields)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("sample.iso")
    recs = [book(i + 1, *b) for i, b in enumerate(BOOKS)]
    data = b"".join(r + b"\r\n" for r in recs[:12])
    data += b"".join(recs[12:20]) + b"\r\n"
    data += b"".join(r + b"\r\n" for r in recs[20:])
    out.write_bytes(data)
    print("%s: %d records, %d bytes" % (out, len(recs), len(data)))


if __name__ == "__main__":
    main()
