// The format's limits after the pinyin is added: a record that fits before annotation may not
// fit after. A record of 99,999 bytes and a field of 9,999 are written; one byte more fails the
// record, which goes to the rejects file as it was read.
#include <gtest/gtest.h>

#include "app/batch.h"
#include "app/records.h"
#include "pinyin/table.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using testfiles::slurp;
using testfiles::spit;

const std::string shu = "\xCA\xE9";  // 书 in GBK

class Limits : public ::testing::Test {
protected:
    Limits() {
        auto t = std::make_shared<pinyin::PinyinTable>();
        t->add(U'书', "Shu");
        options.table = t;
        settings.polyphone = pinyin::Polyphone::Automatic;
        options.separator = app::Separator::AsInput;  // back to back: the file is the record
    }

    /// The record written for `input` (empty when it failed), and the failure's problem kind.
    std::string runOne(const std::string& input, problem::Kind* failedAs = nullptr) {
        const std::string name = "run" + std::to_string(++runs_);
        options.inputPath = (tmp / (name + ".iso")).string();
        options.outputPath = (tmp / (name + ".out")).string();
        spit(options.inputPath, input);
        struct : app::BatchObserver {
            std::vector<app::RecordFailure> failed;
            void recordFailed(const app::RecordFailure& f) override { failed.push_back(f); }
        } observer;
        const app::BatchResult r = app::runBatch(options, settings, observer);
        EXPECT_EQ(r.read, 1);
        if (r.failed) {
            EXPECT_EQ(slurp(options.outputPath + ".rejected"), input + "\r\n") << "kept as it was read";
            if (failedAs && !observer.failed.empty()) *failedAs = observer.failed[0].problem.kind;
            return {};
        }
        return slurp(options.outputPath);
    }

    /// A book whose 200 holds 书 `n` times and whose 300 fields hold `filler` bytes in all.
    static std::string book(int n, std::size_t filler, std::size_t in200 = 0) {
        std::string title;
        for (int i = 0; i < n; ++i) title += shu;
        std::vector<testrec::Field> fields{
            {"001", "L1"},
            {"005", "20240102030405.0"},
            {"101", "0 \037achi"},
            {"200", "1 \037a" + title + (in200 ? "\037e" + std::string(in200, 'e') : "")}};
        // Always twelve 300s, so that the filler alone changes the length.
        for (int k = 0; k < 12 && filler > 0; ++k)
            fields.push_back(
                {"300", "  \037a" + std::string(k < 11 ? filler / 12 : filler - 11 * (filler / 12), 'x')});
        return testrec::makeRecord(fields);
    }

    testfiles::TempDir tmp{"limits_test"};
    app::BatchOptions options;
    pinyin::RunSettings settings;
    int runs_ = 0;
};

TEST_F(Limits, ARecordOf99999BytesAfterThePinyinIsWrittenAndOneOf100000Fails) {
    // The output grows with the filler byte for byte: measure once, then aim.
    const std::size_t probe = 96000;
    const std::size_t probeLength = runOne(book(3, probe)).size();
    ASSERT_GT(probeLength, probe);
    const std::size_t filler = probe + 99999 - probeLength;

    const std::string input = book(3, filler);
    ASSERT_LT(input.size(), 99999u) << "it fits before the pinyin is added";
    const std::string written = runOne(input);
    ASSERT_EQ(written.size(), 99999u);
    testrec::Parsed parsed;
    EXPECT_TRUE(testrec::parseRecord(written, parsed));  // its leader says so, its directory fits

    problem::Kind kind{};
    const std::string over = book(3, filler + 1);
    ASSERT_LT(over.size(), 99999u);
    EXPECT_TRUE(runOne(over, &kind).empty());
    EXPECT_EQ(kind, problem::Kind::RecordTooLong);
}

TEST_F(Limits, AFieldOf9999BytesAfterThePinyinIsWrittenAndOneOf10000Fails) {
    const std::size_t probe = 5000;
    const auto length200 = [](const std::string& rec) {
        testrec::Parsed p;
        EXPECT_TRUE(testrec::parseRecord(rec, p));
        for (const auto& [tag, data] : p.fields)
            if (tag == "200") return data.size() + 1;  // the terminator counts
        return std::size_t{0};
    };
    const std::size_t probeLength = length200(runOne(book(2, 0, probe)));
    const std::size_t fill = probe + 9999 - probeLength;

    EXPECT_EQ(length200(runOne(book(2, 0, fill))), 9999u);

    problem::Kind kind{};
    EXPECT_TRUE(runOne(book(2, 0, fill + 1), &kind).empty());
    EXPECT_EQ(kind, problem::Kind::FieldTooLong);
}

}  // namespace
