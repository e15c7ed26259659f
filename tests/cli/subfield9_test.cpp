// A subfield 9 that is not pinyin is data (Koha keeps the authority record's number there): a
// run that deletes existing pinyin, one that keeps it and the check all leave it where it stands,
// and it does not stop the field from getting its pinyin.
#include <map>

#include "app/records.h"
#include "cli_support.h"

namespace {

using namespace clitest;

const fs::path kRealWorld = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-world";
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";
const std::string shu = "\xCA\xE9";              // 书 in GBK
const std::string yinhang = "\xD2\xF8\xD0\xD0";  // 银行

/// The subfields of a field (its bytes), each with its code.
std::vector<std::string> subfieldsOf(const std::string& field) {
    std::vector<std::string> out;
    for (std::size_t at = field.find('\x1F'); at != std::string::npos;) {
        const std::size_t next = field.find('\x1F', at + 1);
        out.push_back(field.substr(at + 1, next == std::string::npos ? next : next - at - 1));
        at = next;
    }
    return out;
}

TEST_F(Cli, ASubfield9ThatIsNoPinyinIsDataInEveryMode) {
    const auto rec = [](const std::string& id, const testrec::Field& f) {
        return testrec::makeRecord({{"001", id}, {"005", "20240102030405.0"}, f});
    };
    // In: $9 at the end, at the start, behind $a with an identifier, behind $a with pinyin (ours,
    // and a cataloguer's that disagrees), and Koha's 701.
    const std::vector<testrec::Field> in = {
        {"606", "  \037a" + shu + "\x1FxHistory\03791234"},
        {"606", "  \03791234\037a" + shu},
        {"606", "  \037a" + shu + "\0379(CN)123"},
        {"606", "  \037a" + shu + "\0379 Shu "},
        {"200", "1 \037a" + yinhang + "\0379yin hang"},
        {"701", " 0\0379a001000\037312844147\037a" + yinhang + "\0374070"},
    };
    const std::vector<std::string> deleted = {
        "  \037a" + shu + "\037Ashu\x1FxHistory\03791234",
        "  \03791234\037a" + shu + "\037Ashu",
        "  \037a" + shu + "\037Ashu\0379(CN)123",
        "  \037a" + shu + "\037Ashu",
        "1 \037a" + yinhang + "\037Ayin xing",
        " 0\0379a001000\037312844147\037a" + yinhang + "\037Ayin xing\0374070",
    };
    std::string input;
    for (std::size_t i = 0; i < in.size(); ++i) input += rec("R" + std::to_string(i + 1), in[i]);
    spit(dir / "in.iso", input);

    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "keep" : "delete");
        const std::string out = keep ? "kept.iso" : "deleted.iso";
        Ran r = batch("in.iso", out,
                      keep ? std::vector<std::string>{"--existing", "keep"} : std::vector<std::string>{});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected;
        for (std::size_t i = 0; i < in.size(); ++i) {
            // Keeping leaves the two fields whose 9 is pinyin as they were.
            const bool pinyin = i == 3 || i == 4;
            expected +=
                rec("R" + std::to_string(i + 1), {in[i].first, keep && pinyin ? in[i].second : deleted[i]});
        }
        EXPECT_EQ(slurp(dir / out), expected);
    }

    // The check compares the same two: ours agrees with the first, not with the second.
    Ran r = batch("in.iso", "-", {"--check"});
    EXPECT_TRUE(ended(r, 0, "6 records read, 2 fields checked, 1 disagree"));
    EXPECT_EQ(r.out, kReportHeader + "5\tR5\t200\t银行\tyin hang\tyin xing\t2\tyes\n");
}

// Koha's records, cut from a real export: the 9 at the start of 701 and of 423, at the end and
// behind $a of 606, as the file has them; only the pinyin is new.
TEST_F(Cli, KohaRecordsKeepTheirAuthorityLinks) {
    spit(dir / "koha.mrc", slurp(kRealWorld / "koha-701-subfield9.mrc"));
    spit(dir / "positions.mrc", slurp(kRealWorld / "subfield9-positions.mrc"));
    for (const std::string existing : {"delete", "keep"}) {
        SCOPED_TRACE(existing);
        ASSERT_EQ(run({"--db", kPyDb, "--existing", existing, "koha.mrc", existing + "-koha.mrc"}).status, 0);
        const auto koha = fieldsOf(slurp(dir / (existing + "-koha.mrc")));
        ASSERT_EQ(koha.size(), 1u);
        std::vector<std::string> got701;
        for (const auto& [tag, bytes] : koha[0])
            if (tag == "701" || tag == "423") got701.push_back(bytes);
        EXPECT_EQ(got701,
                  (std::vector<std::string>{
                      " 1\0379a001000\x1Ft[Compte-rendu sur 'L'Histoire de l'imprimerie en France au 15e "
                      "et au 16e si\xC3\250cle d'A. Claudin]",
                      " |\037312422303\037aLacombe\037ALacombe\037bPaul\037f1848-1921\0374070",
                      " |\0379a001000\037312844147\037aCl\xC3\xA9ment-Janin\037ACl\xC3\xA9ment-Janin"
                      "\037bMichel-Hilaire\037f1831-1883\0374070"}));

        ASSERT_EQ(run({"--db", kPyDb, "--existing", existing, "positions.mrc", existing + "-pos.mrc"}).status,
                  0);
        const auto pos = fieldsOf(slurp(dir / (existing + "-pos.mrc")));
        ASSERT_EQ(pos.size(), 5u);
        const std::string zhongguo = "a\xE4\xB8\xAD\xE5\x9B\xBD";  // "a中国"
        EXPECT_EQ(pos[0].back(),
                  (testrec::Field{"606", "  \x1F" + zhongguo + "\037Azhong guo\x1FxHistory\03791234"}));
        EXPECT_EQ(pos[1].back(), (testrec::Field{"606", "  \03791234\x1F" + zhongguo + "\037Azhong guo"}));
        EXPECT_EQ(pos[2].back(), (testrec::Field{"606", "  \x1F" + zhongguo + "\037Azhong guo\03791234"}));
        EXPECT_EQ(pos[3].back(),
                  (testrec::Field{"200", existing == "keep" ? "1 \x1F" + zhongguo + "\037eX\037AZhong guo"
                                                            : "1 \x1F" + zhongguo + "\037Azhong guo\037eX"}));
        EXPECT_EQ(pos[4].back(), (testrec::Field{"701",
                                                 " 0\0379a001000\037312844147\037a\xE6\x9D\x8E\037Ali"
                                                 "\037b\xE7\x99\xBD"}));
    }
    EXPECT_TRUE(ended(run({"--db", kPyDb, "--check", "positions.mrc", "-"}), 0,
                      "5 records read, 1 field checked, 0 disagree"));
}

// The whole Koha export with the defaults: every $9 of every field comes back, in its place
// among the subfields the field had; a listed field only gains its $A.
TEST_F(Cli, EverySubfield9OfAKohaExportSurvives) {
    const std::string input = slurp(kRealWorld / "unimarc-bnf-koha.mrc");
    spit(dir / "bib.mrc", input);
    ASSERT_TRUE(ended(run({"--db", kPyDb, "bib.mrc", "out.mrc"}), 0));
    const auto in = fieldsOf(input), out = fieldsOf(slurp(dir / "out.mrc"));
    ASSERT_EQ(in.size(), out.size());
    std::size_t nines = 0;
    for (std::size_t k = 0; k < in.size(); ++k) {
        std::map<std::string, std::vector<std::string>> before, after;
        for (const auto& [tag, bytes] : in[k]) before[tag].push_back(bytes);
        for (const auto& [tag, bytes] : out[k]) {
            // What the run adds: its pinyin, and 005 where the record has none.
            std::string kept = bytes.substr(0, std::min(bytes.find('\x1F'), bytes.size()));
            for (const std::string& sub : subfieldsOf(bytes))
                if (sub[0] != 'A') kept += "\x1F" + sub;
            if (tag != "005" || before.count("005")) after[tag].push_back(tag < "010" ? bytes : kept);
        }
        EXPECT_EQ(before, after) << "record " << k + 1;
        for (const auto& [tag, bytes] : in[k])
            for (const std::string& sub : subfieldsOf(bytes)) nines += sub[0] == '9';
    }
    EXPECT_EQ(nines, 2u);
}

}  // namespace
