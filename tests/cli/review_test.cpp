// The review through the real marc-pinyin-cli: --review-out gathers the unsure readings of a file,
// --answers runs with them; unchanged answers give the phrase mode's bytes, one changed line
// changes exactly its occurrences, and a stale or broken answers file is refused.
#include <functional>
#include <map>
#include <set>

#include "cli_support.h"

namespace {

using namespace clitest;

const fs::path kRecords = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-records";
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
        out.push_back(line.substr(at, tab - at));
    out.push_back(line.substr(at));
    return out;
}

class Review : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        fs::copy_file(kRecords / "cnmarc-university.gbk.iso", dir / "in.iso");
    }
    Ran gather(std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--db", kPyDb, "--review-out", "review.tsv"};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back("in.iso");
        return run(args);
    }
    Ran answer(const std::string& out, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--db", kPyDb, "--answers", "review.tsv"};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back("in.iso");
        args.push_back(out);
        return run(args);
    }
    Ran phrase(const std::string& out) { return run({"--db", kPyDb, "in.iso", out}); }
    /// The review file with line `k` (0-based, counting the first line) changed by `edit`.
    void editLine(std::size_t k, const std::function<void(std::vector<std::string>&)>& edit) {
        std::vector<std::string> all = lines(slurp(dir / "review.tsv"));
        std::vector<std::string> c = cells(all.at(k));
        edit(c);
        std::string joined;
        for (std::size_t i = 0; i < c.size(); ++i) joined += (i ? "\t" : "") + c[i];
        all[k] = joined;
        std::string text;
        for (const std::string& l : all) text += l + "\n";
        spit(dir / "review.tsv", text);
    }
};

TEST_F(Review, TheFileNamesTheInputAndHoldsOneLineAGroupMostFirst) {
    const Ran r = gather();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(fs::exists(dir / "in.iso.rejected"));
    const std::vector<std::string> l = lines(slurp(dir / "review.tsv"));
    ASSERT_GE(l.size(), 3u) << "no unsure reading in the university records";
    EXPECT_EQ(
        l[0].rfind("# marc-pinyin review\tsize=" + std::to_string(fs::file_size(dir / "in.iso")) + "\thash=",
                   0),
        0u)
        << l[0];
    EXPECT_TRUE(holds(l[0], "\ttags=200,225,"));
    EXPECT_EQ(l[1], "word\tindex\treadings\treading\tcount\tremember\twhere");
    long long last = 1LL << 60, total = 0;
    std::set<std::pair<std::string, std::string>> keys;
    for (std::size_t k = 2; k < l.size(); ++k) {
        const std::vector<std::string> c = cells(l[k]);
        ASSERT_EQ(c.size(), 7u) << l[k];
        EXPECT_TRUE(keys.insert({c[0], c[1]}).second) << "a group twice: " << l[k];
        const long long count = std::stoll(c[4]);
        EXPECT_LE(count, last) << "not sorted by count";
        last = count;
        total += count;
        EXPECT_TRUE(holds(" " + c[2] + " ", " " + c[3] + " ")) << "suggestion not a reading: " << l[k];
        EXPECT_EQ(c[5], "no");
        EXPECT_FALSE(c[6].empty());
    }
    // The summary counts the questions the quieter manual mode would ask, which the rows hold.
    EXPECT_TRUE(holds(r.err, " " + std::to_string(total) + " unsure"));
    // The same file gathered again gives the same review, byte for byte.
    const std::string first = slurp(dir / "review.tsv");
    ASSERT_EQ(gather().status, 0);
    EXPECT_EQ(slurp(dir / "review.tsv"), first);
}

TEST_F(Review, UnchangedAnswersGiveThePhraseModesBytesAndOneChangedLineExactlyItsOccurrences) {
    ASSERT_EQ(gather().status, 0);
    ASSERT_EQ(phrase("phrase.iso").status, 0);
    Ran r = answer("same.iso");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "same.iso"), slurp(dir / "phrase.iso"));

    // Change the reading of the first group whose occurrences the file names all.
    const std::vector<std::string> l = lines(slurp(dir / "review.tsv"));
    std::size_t k = 2;
    while (k < l.size() && (std::stoll(cells(l[k])[4]) > 3 || cells(l[k])[2].find(' ') == std::string::npos))
        ++k;
    ASSERT_LT(k, l.size());
    const std::vector<std::string> c = cells(l[k]);
    std::string other;
    for (const std::string& reading : lines([&] {
             std::string s = c[2];
             for (char& ch : s) ch = ch == ' ' ? '\n' : ch;
             return s;
         }()))
        if (reading != c[3] && other.empty()) other = reading;
    editLine(k, [&](std::vector<std::string>& cs) { cs[3] = other; });
    ASSERT_TRUE(ended(answer("changed.iso"), 0));
    std::set<std::string> where;
    for (std::size_t at = 0; at < c[6].size();) {
        where.insert(c[6].substr(at, c[6].find(':', at) - at));
        const std::size_t bar = c[6].find(" | ", at);
        at = bar == std::string::npos ? c[6].size() : bar + 3;
    }
    const std::vector<std::string> a = testrec::splitRecords(slurp(dir / "phrase.iso")),
                                   b = testrec::splitRecords(slurp(dir / "changed.iso"));
    ASSERT_EQ(a.size(), b.size());
    std::set<std::string> differing;
    for (std::size_t n = 0; n < a.size(); ++n) {
        if (a[n] == b[n]) continue;
        differing.insert(std::to_string(n + 1));
        testrec::Parsed pa, pb;
        ASSERT_TRUE(testrec::parseRecord(a[n], pa));
        ASSERT_TRUE(testrec::parseRecord(b[n], pb));
        ASSERT_EQ(pa.fields.size(), pb.fields.size());
        int changed = 0;
        for (std::size_t f = 0; f < pa.fields.size(); ++f) changed += pa.fields[f] != pb.fields[f];
        EXPECT_GE(changed, 1);
    }
    EXPECT_EQ(differing, where) << "group " << c[0] << " " << c[1] << " -> " << other;
}

TEST_F(Review, AStaleOrBrokenAnswersFileIsRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(gather().status, 0);
    const std::string review = slurp(dir / "review.tsv");

    // The input changed since (one byte of a title): refused, nothing written.
    std::string input = slurp(dir / "in.iso");
    const std::string saved = input;
    input[input.size() / 2] ^= 0x01;
    spit(dir / "in.iso", input);
    EXPECT_TRUE(ended(answer("out.iso"), 2, "made from another input"));
    EXPECT_FALSE(fs::exists(dir / "out.iso"));
    spit(dir / "in.iso", saved);

    // Other options than the review was made with.
    EXPECT_TRUE(ended(answer("out.iso", {"--tags", "200"}), 2, "other options (tags="));
    // Every Chinese subfield asks its own.
    EXPECT_TRUE(ended(answer("out.iso", {"--subfields", "chinese"}), 2,
                      "other options (subfields=a / subfields=chinese)"));

    // A reading that is none of the line's readings: the file and the line are named, in both languages.
    editLine(2, [](std::vector<std::string>& c) { c[3] = "xyz"; });
    EXPECT_TRUE(ended(answer("out.iso"), 2, "review.tsv, line 3: the reading \"xyz\""));
    EXPECT_NE(shell("LANG=zh_CN.UTF-8 LC_ALL= " + quote(kProgram) + " --db " + quote(kPyDb) +
                    " --answers review.tsv in.iso out.iso 2> zh.txt"),
              0);
    EXPECT_TRUE(holds(slurp(dir / "zh.txt"), "审定表 review.tsv 第 3 行"));
    EXPECT_FALSE(fs::exists(dir / "out.iso"));

    // A line cut short, an index outside its word, a remember that is neither yes nor no.
    for (const auto& edit : std::vector<std::function<void(std::vector<std::string>&)>>{
             [](std::vector<std::string>& c) { c.resize(3); },
             [](std::vector<std::string>& c) { c[1] = "9"; },
             [](std::vector<std::string>& c) { c[5] = "maybe"; }}) {
        spit(dir / "review.tsv", review);
        editLine(2, edit);
        EXPECT_TRUE(ended(answer("out.iso"), 2, "review.tsv, line 3:"));
        EXPECT_FALSE(fs::exists(dir / "out.iso"));
    }
    // No answers file at all, and standard input, which a review cannot know again.
    EXPECT_TRUE(
        ended(run({"--db", kPyDb, "--answers", "missing.tsv", "in.iso", "out.iso"}), 2, "missing.tsv"));
    Ran r = run({"--db", kPyDb, "--review-out", "r.tsv", "-"}, (dir / "in.iso").string());
    EXPECT_TRUE(ended(r, 2, "standard input is not one"));
    EXPECT_FALSE(fs::exists(dir / "r.tsv"));
}

TEST_F(Review, RememberAppendsTheWordToTheLastWordList) {
    spit(dir / "a.txt", "");
    spit(dir / "b.txt", "# 本馆词表\n");
    ASSERT_EQ(gather({"--words", "a.txt", "--words", "b.txt"}).status, 0);
    const std::vector<std::string> l = lines(slurp(dir / "review.tsv"));
    // The first group whose word has two or more characters.
    std::size_t k = 2;
    while (k < l.size() && cells(l[k])[0].size() < 6) ++k;
    ASSERT_LT(k, l.size());
    const std::vector<std::string> c = cells(l[k]);
    editLine(k, [](std::vector<std::string>& cs) { cs[5] = "yes"; });
    ASSERT_TRUE(ended(answer("out.iso", {"--words", "a.txt", "--words", "b.txt"}), 0));
    EXPECT_EQ(slurp(dir / "a.txt"), "");
    const std::string listed = slurp(dir / "b.txt");
    EXPECT_EQ(listed.rfind("# 本馆词表\n" + c[0] + "\t", 0), 0u) << listed;
    // The reading it was given stands at its place among the word's syllables.
    EXPECT_TRUE(holds(listed, c[3]));

    // Without a word list, a line that says remember is refused; so is a single character.
    ASSERT_EQ(gather().status, 0);
    editLine(2, [](std::vector<std::string>& cs) { cs[5] = "yes"; });
    EXPECT_TRUE(ended(answer("out2.iso"), 2, "no word list"));
}

TEST_F(Review, OptionsThatDoNotGoTogether) {
    EXPECT_EQ(run({"--review-out", "r.tsv", "in.iso", "out.iso"}).status, 2);
    EXPECT_EQ(run({"--review-out", "r.tsv", "--check", "in.iso"}).status, 2);
    EXPECT_TRUE(ended(run({"--answers", "r.tsv", "--polyphone", "first", "in.iso", "out.iso"}), 2,
                      "--polyphone first"));
    EXPECT_EQ(run({"--review-out", "in.iso", "in.iso"}).status, 2);
    // A review file named where records stand (the output, by mistake) is refused, untouched.
    fs::copy_file(dir / "in.iso", dir / "records.iso");
    EXPECT_TRUE(ended(run({"--review-out", "records.iso", "in.iso"}), 2, "holds ISO 2709 records"));
    EXPECT_EQ(slurp(dir / "records.iso"), slurp(dir / "in.iso"));
    EXPECT_EQ(slurp(dir / "in.iso"), slurp(kRecords / "cnmarc-university.gbk.iso"));
}

}  // namespace
