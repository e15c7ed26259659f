// Records that real library systems wrote go through with nothing changed but the pinyin: every
// file in tests/data/real-records, each output record compared with its input field by field.
#include <set>

#include "cli_support.h"
#include "pinyin/settings.h"

namespace {

using namespace clitest;

const fs::path kRealRecords = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-records";
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";

/// The subfields of a data field other than pinyin ("A" and "9"), which a run re-does.
std::string withoutPinyin(const std::string& field) {
    std::string out = field.substr(0, std::min<std::size_t>(2, field.size()));
    std::size_t at = field.find('\x1F');
    if (at == std::string::npos) return field;
    out = field.substr(0, at);
    while (at != std::string::npos) {
        const std::size_t next = field.find('\x1F', at + 1);
        const std::string sub = field.substr(at, next == std::string::npos ? next : next - at);
        if (!(sub.size() >= 2 && (sub[1] == 'A' || sub[1] == '9'))) out += sub;
        at = next;
    }
    return out;
}

std::set<std::string> listedTags() {
    std::set<std::string> tags;
    const std::string list(pinyin::kDefaultTags);
    for (std::size_t i = 0; i + 3 <= list.size(); i += 4) tags.insert(list.substr(i, 3));
    return tags;
}

/// The input's fields as the output must hold them: 001 and 005 first.
std::vector<testrec::Field> expectedOrder(const std::vector<testrec::Field>& fields) {
    std::vector<testrec::Field> out;
    for (const char* tag : {"001", "005"})
        for (const auto& f : fields)
            if (f.first == tag) {
                out.push_back(f);
                break;
            }
    bool seen001 = false, seen005 = false;
    for (const auto& f : fields) {
        if (f.first == "001" && !seen001) {
            seen001 = true;
            continue;
        }
        if (f.first == "005" && !seen005) {
            seen005 = true;
            continue;
        }
        out.push_back(f);
    }
    return out;
}

/// Every record of `input` against its counterpart in `output`: leader equal but for length and
/// base address; fields equal, but that the listed fields have new pinyin behind each subfield a
/// and that 005 is added when the input has none.
void compareFieldByField(const std::string& name, const std::string& input, const std::string& output) {
    const auto in = testrec::splitRecords(input);
    const auto out = checkedRecords(output, output.find("\x1D\r\n") != std::string::npos);
    ASSERT_EQ(in.size(), out.size()) << name;
    const auto listed = listedTags();
    for (std::size_t r = 0; r < in.size(); ++r) {
        SCOPED_TRACE(name + " record " + std::to_string(r + 1));
        testrec::Parsed a, b;
        ASSERT_TRUE(testrec::parseRecord(in[r], a));
        ASSERT_TRUE(testrec::parseRecord(out[r], b));
        EXPECT_EQ(a.leader.substr(5, 7), b.leader.substr(5, 7));
        EXPECT_EQ(a.leader.substr(17), b.leader.substr(17));
        std::vector<testrec::Field> want = expectedOrder(a.fields);
        const bool had005 =
            std::any_of(a.fields.begin(), a.fields.end(), [](auto& f) { return f.first == "005"; });
        if (!had005) {
            ASSERT_GE(b.fields.size(), 2u);
            EXPECT_EQ(b.fields[1].first, "005");
            EXPECT_EQ(b.fields[1].second.size(), 16u);
            want.insert(want.begin() + 1, b.fields[1]);
        }
        ASSERT_EQ(want.size(), b.fields.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            const auto& [tag, bytes] = want[i];
            EXPECT_EQ(tag, b.fields[i].first);
            if (!listed.count(tag) || bytes.find("\037a") == std::string::npos) {
                EXPECT_EQ(bytes, b.fields[i].second) << "field " << tag;
                continue;
            }
            EXPECT_EQ(withoutPinyin(bytes), withoutPinyin(b.fields[i].second)) << "field " << tag;
            // Each subfield a is followed by its pinyin.
            const std::string& got = b.fields[i].second;
            for (std::size_t at = got.find("\037a"); at != std::string::npos;
                 at = got.find("\037a", at + 1)) {
                const std::size_t next = got.find('\x1F', at + 1);
                EXPECT_TRUE(next != std::string::npos && got.compare(next, 2, "\037A") == 0)
                    << "field " << tag;
            }
        }
    }
}

class RealRecords : public Cli {};

TEST_F(RealRecords, ComeThroughUnchangedButForThePinyin) {
    for (const char* name :
         {"cnmarc-university.gbk.iso", "cnmarc-university.utf8.iso", "marc21-collection1.utf8.mrc",
          "marc21-collection3.utf8.mrc", "marc21-record12.utf8.mrc", "marc21-chinese-880.utf8.mrc",
          "marc21-oclc-export.utf8.mrc"}) {
        SCOPED_TRACE(name);
        const std::string input = slurp(kRealRecords / name);
        ASSERT_FALSE(input.empty());
        spit(dir / name, input);
        const std::string out = std::string(name) + ".out";
        Ran r = run({"--db", kPyDb, name, out});
        // A MARC 21 record may have none of the (UNIMARC) tags listed by default: the run says so.
        EXPECT_TRUE(r.status == 0 ||
                    (r.status == 1 && r.err.find("no field got pinyin") != std::string::npos))
            << r.err;
        EXPECT_TRUE(holds(
            r.err, std::string(name).find("gbk") != std::string::npos ? "detected gbk" : "detected utf-8"));
        compareFieldByField(name, input, slurp(dir / out));
#ifdef YAZ_MARCDUMP
        // yaz reads the output as it reads the input: same records, not a word on standard error.
        EXPECT_EQ(shell(YAZ_MARCDUMP " -i marc -o line " + quote(out) + " > yaz.out 2> yaz.err"), 0);
        EXPECT_EQ(slurp(dir / "yaz.err"), "");
        EXPECT_EQ(slurp(dir / "yaz.out").find("<!--"), std::string::npos) << "yaz-marcdump warned";
#endif
    }
}

TEST_F(RealRecords, AreTheSameRecordsInGbkAndUtf8) {
    spit(dir / "gbk.iso", slurp(kRealRecords / "cnmarc-university.gbk.iso"));
    spit(dir / "utf8.iso", slurp(kRealRecords / "cnmarc-university.utf8.iso"));
    ASSERT_EQ(run({"--db", kPyDb, "--dump", "gbk.iso"}).out, run({"--db", kPyDb, "--dump", "utf8.iso"}).out);
    // The pinyin is the same whichever code page the records come in.
    ASSERT_EQ(run({"--db", kPyDb, "gbk.iso", "gbk.out"}).status, 0);
    ASSERT_EQ(run({"--db", kPyDb, "utf8.iso", "utf8.out"}).status, 0);
    EXPECT_EQ(run({"--dump", "gbk.out"}).out, run({"--dump", "utf8.out"}).out);
}

// A file that cannot be read as asked is refused at the start in one line, and nothing is written.
TEST_F(RealRecords, WrongEncodingsAreRefusedInOneLine) {
    spit(dir / "marc8.mrc", slurp(kRealRecords / "marc21-chinese.marc8.mrc"));
    spit(dir / "gbk.iso", slurp(kRealRecords / "cnmarc-university.gbk.iso"));
    spit(dir / "utf8.mrc", slurp(kRealRecords / "marc21-collection1.utf8.mrc"));
    spit(dir / "utf8.iso", slurp(kRealRecords / "cnmarc-university.utf8.iso"));
    struct Case {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"marc8.mrc", "o1.iso"}, "MARC-8"},
        {{"--encoding", "utf-8", "marc8.mrc", "o2.iso"}, "yaz-marcdump -f MARC-8 -t UTF-8 -o marc"},
        {{"--encoding", "gbk", "utf8.mrc", "o3.iso"}, "looks like UTF-8, not GBK"},
        {{"--encoding", "gbk", "utf8.iso", "o4.iso"}, "looks like UTF-8, not GBK"},
        {{"--encoding", "gb18030", "utf8.iso", "o5.iso"}, "looks like UTF-8, not GB18030"},
        {{"--encoding", "utf-8", "gbk.iso", "o6.iso"}, "looks like GBK, not UTF-8"},
    };
    // The check of existing pinyin, the dump and --lines read the file as the run does and refuse
    // the same files; a report already there is left as it was.
    spit(dir / "report.tsv", "an earlier report\n");
    for (const Case& c : cases)
        for (const std::string mode : {"", "--check", "--dump", "--lines"}) {
            std::vector<std::string> args{"--db", kPyDb};
            args.insert(args.end(), c.args.begin(), c.args.end());
            if (mode == "--check") args.back() = "report.tsv";
            Ran r = run(inMode(mode, args));
            EXPECT_TRUE(ended(r, 2, c.says)) << c.args[c.args.size() - 2] << " " << mode;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_FALSE(fs::exists(dir / c.args.back())) << "nothing is created";
            EXPECT_EQ(slurp(dir / "report.tsv"), "an earlier report\n");
        }
}

}  // namespace
