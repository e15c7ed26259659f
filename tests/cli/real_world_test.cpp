// Exports of other library systems go through the command line with its defaults, and nothing
// changes but the pinyin of the listed fields: every file of tests/data/real-world (the exports
// and the cases cut from them), each input record cut by an independent reader
// (fuzzcheck::cutRecord) and compared field by field with the record written of it, or found
// byte for byte in the rejects file.
#include <algorithm>
#include <map>
#include <set>

#include "cli_support.h"
#include "pinyin/settings.h"

namespace {

using namespace clitest;

const fs::path kRealWorld = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-world";
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";

/// Files a run refuses whole, for what they are: exit 2 and no output. MARC-8 (with escapes, or
/// with Latin diacritics only), CP866, and a text that is no file of records.
const std::set<std::string> kRefusedWhole = {"marc8-cjk.marc", "marc8-uoft.mrc", "marc8-french-accepted.mrc",
                                             "rusmarc-cp866.marc", "text-with-hash.txt"};

/// Blank bytes that stand between records in real files: line breaks, spaces, NUL filler, Ctrl-Z.
bool blank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\0' || c == '\x1A'; }

/// The pieces of an input file: each up to and including a record terminator, blanks before it
/// left out, and what follows the last terminator if it is more than blanks.
std::vector<std::string> pieces(const std::string& file) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        while (from < file.size() && blank(file[from])) ++from;
        if (from == file.size()) break;
        const std::size_t at = file.find('\x1D', from);
        const std::size_t end = at == std::string::npos ? file.size() : at + 1;
        out.push_back(file.substr(from, end - from));
        from = end;
    }
    return out;
}

/// Whether a subfield of a listed field is pinyin: any "A"; a "9" only right behind a subfield
/// "a" and holding letters, spaces and punctuation alone (an authority number is data).
bool isPinyin(const std::string& previousCode, const std::string& sub) {
    if (sub[0] == 'A') return true;
    if (sub[0] != '9' || previousCode != "a") return false;
    const std::string text = sub.substr(1);
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }) &&
           std::none_of(text.begin(), text.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::string withoutPinyin(const std::string& field) {
    std::size_t at = field.find('\x1F');
    if (at == std::string::npos) return field;
    std::string out = field.substr(0, at), previous;
    while (at != std::string::npos) {
        const std::size_t next = field.find('\x1F', at + 1);
        const std::string sub = field.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (sub.empty() || !isPinyin(previous, sub)) out += "\x1F" + sub;
        if (!sub.empty() && !isPinyin(previous, sub)) previous = sub.substr(0, 1);
        at = next;
    }
    return out;
}

/// What differs between an input record and the record written of it ("" when nothing but what
/// may): the leader but for length and base address, 001 and 005 first (the input's own, or
/// generated where it has none), then every other field in order, the listed ones but for pinyin.
std::string differences(const std::string& in, const fuzzcheck::Fields& a, const std::string& out) {
    fuzzcheck::Fields b;
    if (!fuzzcheck::cutRecord(out, b) || out.size() < 24 ||
        out.compare(0, 5, std::to_string(100000 + out.size()), 1, 5) != 0)
        return "the record written is not well formed";
    if (in.compare(5, 7, out, 5, 7) != 0 || in.compare(17, 7, out, 17, 7) != 0) return "the leader changed";
    const std::string list(pinyin::kDefaultTags);
    fuzzcheck::Fields want;
    for (const char* tag : {"001", "005"}) {
        const auto own = std::find_if(a.begin(), a.end(), [&](const auto& f) { return f.first == tag; });
        if (b.size() < 2) return "001 and 005 are missing";
        want.push_back(own != a.end() ? *own : fuzzcheck::Fields::value_type{tag, b[want.size()].second});
    }
    bool seen001 = false, seen005 = false;
    for (const auto& f : a) {
        if (f.first == "001" && !seen001)
            seen001 = true;
        else if (f.first == "005" && !seen005)
            seen005 = true;
        else
            want.push_back(f);
    }
    if (want.size() != b.size())
        return std::to_string(want.size()) + " fields expected, " + std::to_string(b.size()) + " written";
    for (std::size_t i = 0; i < want.size(); ++i) {
        const bool listed = list.find(want[i].first) != std::string::npos;
        const bool same = want[i].first == b[i].first &&
                          (listed ? withoutPinyin(want[i].second) == withoutPinyin(b[i].second)
                                  : want[i].second == b[i].second);
        if (!same)
            return "field " + std::to_string(i + 1) + " (" + want[i].first + ") changed: \"" +
                   want[i].second + "\" became " + b[i].first + " \"" + b[i].second + "\"";
    }
    return "";
}

/// Everything wrong with one file's run: each input piece is written (and the same but for the
/// pinyin) or in the rejects file byte for byte, in order, and the output holds nothing else.
std::vector<std::string> problemsOf(const std::string& input, const std::string& output,
                                    const std::string& rejects, bool utf8) {
    std::vector<std::string> problems;
    // What follows a record in the output: what follows the input's first.
    const std::size_t first = input.find('\x1D');
    std::size_t sepEnd = first == std::string::npos ? 0 : first + 1;
    while (sepEnd < input.size() && (input[sepEnd] == '\r' || input[sepEnd] == '\n')) ++sepEnd;
    const std::string separator =
        first == std::string::npos ? "" : input.substr(first + 1, sepEnd - first - 1);
    std::size_t outAt = 0, rejAt = 0, number = 0;
    for (const std::string& piece : pieces(input)) {
        const std::string where = "record " + std::to_string(++number) + ": ";
        if (rejects.compare(rejAt, piece.size(), piece) == 0 &&
            rejects.compare(rejAt + piece.size(), 2, "\r\n") == 0) {
            rejAt += piece.size() + 2;
            continue;
        }
        fuzzcheck::Fields fields;
        const bool readable =
            fuzzcheck::cutRecord(piece, fields) || (utf8 && fuzzcheck::cutRecord(piece, fields, true));
        const std::size_t end = output.find('\x1D', outAt);
        if (end == std::string::npos) {
            problems.push_back(where + (readable ? "neither written nor in the rejects file"
                                                 : "unreadable, not in the rejects file"));
            continue;
        }
        const std::string written = output.substr(outAt, end + 1 - outAt);
        outAt = end + 1;
        if (output.compare(outAt, separator.size(), separator) != 0 ||
            (outAt + separator.size() < output.size() && blank(output[outAt + separator.size()])))
            problems.push_back(where + "not followed by what followed the input's records");
        outAt += separator.size();
        if (!readable) {
            problems.push_back(where + "written, though its directory does not account for its bytes");
            continue;
        }
        if (const std::string d = differences(piece, fields, written); !d.empty())
            problems.push_back(where + d);
    }
    if (outAt != output.size()) problems.push_back("the output holds more than the input's records");
    if (rejAt != rejects.size())
        problems.push_back("the rejects file holds more than the input's refused records");
    return problems;
}

class RealWorld : public Cli {};

TEST_F(RealWorld, ExportsOfOtherSystemsComeThroughUnchangedButForThePinyin) {
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(kRealWorld)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".md") continue;  // where the files come from
        ++files;
        SCOPED_TRACE(name);
        const std::string input = slurp(entry.path());
        spit(dir / name, input);
        const std::string out = name + ".out";
        const Ran r = run({"--db", kPyDb, name, out});
        if (kRefusedWhole.count(name)) {
            EXPECT_TRUE(r.status == 2 && !fs::exists(dir / out) && !fs::exists(dir / (out + ".rejected")))
                << r.err;
            continue;
        }
        const bool utf8 =
            r.err.find("utf-8") != std::string::npos || r.err.find("UTF-8") != std::string::npos;
        std::vector<std::string> problems =
            problemsOf(input, slurp(dir / out), slurp(dir / (out + ".rejected")), utf8);
        if (r.status != 0 && r.status != 1)
            problems.push_back("exit " + std::to_string(r.status) + ": " + r.err);
        std::string said;
        for (const std::string& p : problems) said += "\n  " + p;
        EXPECT_TRUE(problems.empty()) << r.err << said;
    }
    EXPECT_EQ(files, 31u);
}

// The Alma export: 16 of its 100 records count their lengths in characters. They are read so,
// written with byte counts, and said in the summary and, one line each, in the failure log, in
// the locale's language. Eight of them hold a field terminator inside their last field (a 999
// whose length covers two fields' data): they are refused for that, as any record would be.
TEST_F(RealWorld, LengthsCountedInCharactersAreReadAndSaid) {
    spit(dir / "alma.mrc", slurp(kRealWorld / "marc21-bu-alma.mrc"));
    for (const std::string lang : {"C", "zh_CN.UTF-8"}) {
        const std::string out = lang == "C" ? "en.mrc" : "zh.mrc";
        EXPECT_EQ(shell("LC_ALL= LC_MESSAGES= LANG=" + lang + " XDG_STATE_HOME=" + quote(dir.string()) + " " +
                        quote(kProgram) + " --db " + quote(kPyDb) + " alma.mrc " + out + " 2> err.txt"),
                  1);
        const std::string err = slurp(dir / "err.txt"), log = slurp(dir / (out + ".rejected.txt"));
        EXPECT_EQ(testrec::splitRecords(slurp(dir / out)).size(), 92u);
        EXPECT_EQ(testrec::splitRecords(slurp(dir / (out + ".rejected"))).size(), 8u);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 16) << log;  // 8 read so, 8 refused
        if (lang == "C") {
            EXPECT_TRUE(holds(err,
                              "record 15 (input line 1): field 999 (directory entry 26): a field terminator "
                              "stands inside its data"));
            EXPECT_TRUE(holds(err,
                              "100 records read, 92 written, 8 failed, 8 records with lengths counted in "
                              "characters, not bytes, read so (see en.mrc.rejected.txt)"));
            EXPECT_TRUE(
                holds(log,
                      "record 3, input line 1, byte 4435, 001 99177327110001161: read, not failed: its "
                      "directory counts lengths in characters, not bytes"));
        } else {
            EXPECT_TRUE(holds(
                err, "其中 8 条记录的目录按字符而非字节计算长度，已按字符读取（见 zh.mrc.rejected.txt）"));
            EXPECT_TRUE(holds(log, "第 3 条记录，输入第 1 行，第 4435 字节"));
        }
    }
}

}  // namespace
