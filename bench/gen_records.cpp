// Writes a file of synthetic CNMARC records (seeded, so every run gives the same bytes) for the codec
// benchmark.
//
// Usage: gen_records [--records N] [--seed S] [--separator none|crlf] [--encoding gbk|gb18030|utf-8] OUT
// Each record holds 001 005 010 100 101 200 210 215 (225) 606 690 701 801, with Chinese text drawn
// from common words, polyphonic characters among them; some records carry "|" fill characters in
// 100 $a. 100,000 records make about 47 MB in GBK.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codepage/codepage.h"
#include "marc/databar.h"
#include "marc/writer.h"

namespace {

// Common words of titles, places, publishers, subjects and names; 行 长 重 乐 还 朝 单 曾 and more
// are polyphonic.
const std::vector<std::string_view> kWords = {
    "中国", "历史",   "文化", "研究", "发展", "经济", "社会", "管理",   "教育",   "科学", "技术",   "文学",
    "艺术", "音乐",   "银行", "行政", "行为", "长城", "长江", "成长",   "重庆",   "重要", "重复",   "快乐",
    "乐器", "还原",   "归还", "朝阳", "朝代", "单位", "简单", "曾经",   "姓曾",   "北京", "上海",   "广州",
    "理论", "实践",   "方法", "问题", "现代", "当代", "古代", "思想",   "哲学",   "政治", "法律",   "语言",
    "数学", "物理",   "化学", "生物", "医学", "农业", "工业", "城市",   "乡村",   "环境", "资源",   "信息",
    "网络", "计算机", "系统", "设计", "应用", "基础", "导论", "概论",   "教程",   "手册", "丛书",   "文集",
    "选集", "诗词",   "小说", "散文", "故事", "传记", "地理", "旅游",   "美术",   "书法", "摄影",   "电影",
    "戏剧", "体育",   "健康", "心理", "儿童", "青年", "女性", "家庭",   "传统",   "民族", "世界",   "东方",
    "调查", "报告",   "数据", "分析", "中华", "人民", "大学", "出版社", "图书馆", "都市", "银行业",
};
const std::vector<std::string_view> kSurnames = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄",
                                                 "曾", "单", "朴", "解", "查", "乐", "区", "仇"};
const std::vector<std::string_view> kGiven = {"伟", "芳", "娜", "敏", "静", "强",   "磊", "军", "洋", "勇",
                                              "艳", "杰", "涛", "明", "超", "秀英", "华", "平", "行", "长"};
const std::vector<std::string_view> kPlaces = {"北京", "上海", "广州", "重庆", "长沙",
                                               "南京", "杭州", "成都", "西安"};
const std::vector<std::string_view> kPublishers = {"人民出版社",    "商务印书馆",     "中华书局",
                                                   "科学出版社",    "高等教育出版社", "北京大学出版社",
                                                   "上海古籍出版社"};

struct Generator {
    std::mt19937_64 rng;
    explicit Generator(std::uint64_t seed) : rng(seed) {}

    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    template <typename T>
    std::string_view pick(const std::vector<T>& v) {
        return v[between(0, static_cast<int>(v.size()) - 1)];
    }

    std::string words(int lo, int hi) {
        std::string s;
        for (int n = between(lo, hi); n > 0; --n) s += pick(kWords);
        return s;
    }
    std::string name() { return std::string(pick(kSurnames)) + std::string(pick(kGiven)); }
    std::string digits(int n) {
        std::string s;
        while (n-- > 0) s.push_back(static_cast<char>('0' + between(0, 9)));
        return s;
    }

    /// One working record, every line ended by CR LF plus one more, as the writer takes it.
    std::string record(long index) {
        const std::string year = std::to_string(between(1950, 2024));
        const std::string date = year + "0" + std::to_string(between(1, 9)) + std::to_string(between(10, 28));
        std::string fill = "    ";
        if (between(0, 4) == 0) {  // one record in five: "||||", UNIMARC fill characters
            fill.clear();
            for (int i = 0; i < 4; ++i) fill += marc::kDataBar;
        }
        std::string r;
        auto line = [&](std::string s) { r += s + "\r\n"; };
        line("001    CAL" + std::to_string(1000000000L + index));
        line("005    " + date + "120000.0");
        line("010    |a978-7-" + digits(3) + "-" + digits(5) + "-" + digits(1) + "|dCNY" +
             std::to_string(between(10, 300)) + ".00");
        line("100    |a" + date + "d" + year + fill + "em y0chiy50      ea");
        line("101 0  |achi");
        line("200 1  |a" + words(2, 5) + "|e" + words(1, 4) + "|f" + name() + "主编");
        line("210    |a" + std::string(pick(kPlaces)) + "|c" + std::string(pick(kPublishers)) + "|d" + year);
        line("215    |a" + std::to_string(between(50, 900)) + "页|c图|d" + std::to_string(between(18, 30)) +
             "cm");
        if (between(0, 2) == 0) line("225 2  |a" + words(2, 3) + "丛书|v" + std::to_string(between(1, 50)));
        line("606 0  |a" + words(1, 3) + "|x" + words(1, 2) + "|j" + words(1, 1));
        line("690    |aD" + std::to_string(between(1, 999)) + "." + digits(2) + "|v5");
        line("701  0 |a" + name() + "|4著");
        line("801  0 |aCN|b" + std::string(pick(kPublishers)) + "|c" + date);
        return r + "\r\n";
    }
};

int usage() {
    std::cerr << "usage: gen_records [--records N] [--seed S] [--separator none|crlf] "
                 "[--encoding gbk|gb18030|utf-8] OUT\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long records = 100000;
    std::uint64_t seed = 2709;
    bool crlf = false;
    codepage::Encoding encoding = codepage::Encoding::Gbk;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--records" && hasValue)
            records = std::atol(argv[++i]);
        else if (a == "--seed" && hasValue)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--separator" && hasValue) {
            const std::string_view v = argv[++i];
            if (v != "none" && v != "crlf") return usage();
            crlf = v == "crlf";
        } else if (a == "--encoding" && hasValue) {
            const auto e = codepage::encodingFromName(argv[++i]);
            if (!e) return usage();
            encoding = *e;
        } else if (!a.empty() && a[0] != '-' && out.empty())
            out = a;
        else
            return usage();
    }
    if (out.empty() || records < 0) return usage();

    std::ofstream file(out, std::ios::binary);
    if (!file) {
        std::cerr << "gen_records: cannot open " << out << "\n";
        return 1;
    }
    const codepage::Codec& cp = codepage::Codec::get(encoding);
    const marc::Clock clock = [] { return marc::LocalTime{2024, 1, 2, 3, 4, 5}; };
    Generator gen(seed);
    std::size_t bytes = 0;
    for (long i = 0; i < records; ++i) {
        const std::string rec = marc::recordFromWorkingText(gen.record(i), cp, clock);
        file << rec;
        if (crlf) file << "\r\n";
        bytes += rec.size() + (crlf ? 2 : 0);
    }
    file.close();
    if (!file) {
        std::cerr << "gen_records: cannot write " << out << "\n";
        return 1;
    }
    std::cerr << "gen_records: " << records << " records, " << bytes << " bytes, "
              << codepage::encodingName(encoding) << "\n";
    return 0;
}
