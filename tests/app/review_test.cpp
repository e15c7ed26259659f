// Gathering the unsure readings of a file: the same questions the quieter manual mode asks,
// grouped by the word around the character; and a run that takes the answers.
#include "app/review.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/records.h"
#include "pinyin/words.h"
#include "text/ascii.h"
#include "support/errors.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";

/// Counts the questions a run in the quieter manual mode asks, answering with the suggestion.
class Counter : public app::BatchObserver, public pinyin::Chooser {
public:
    pinyin::Chooser* chooser() override { return this; }
    std::optional<std::string> choose(const pinyin::ChooserRequest& r) override {
        ++asked;
        return std::string(r.readings.substr(0, r.readings.find(' ')));
    }
    int asked = 0;
};

class Review : public ::testing::Test {
protected:
    /// A file of records, each with its 001 and a 701 of `names[k]` (UTF-8).
    void write(const std::vector<std::string>& names, const std::string& title = "书") {
        std::string file;
        for (std::size_t k = 0; k < names.size(); ++k)
            file += testrec::makeRecord({{"001", "id" + std::to_string(k + 1)},
                                         {"005", "20240102030405.0"},
                                         {"200", "1 \037a" + title},
                                         {"701", " 0\037a" + names[k]}});
        testfiles::spit(input, file);
        options.inputPath = input.string();
        options.outputPath = (dir / "out.iso").string();
        options.dbPath = kPyDb;
        options.encoding = codepage::Encoding::Utf8;
    }
    app::ReviewGathering gather() {
        app::BatchObserver quiet;
        return app::gatherReview(options, settings, quiet);
    }
    const app::ReviewGroup* find(const app::ReviewGathering& g, const std::string& word) {
        for (const app::ReviewGroup& group : g.groups)
            if (group.key.word == word) return &group;
        return nullptr;
    }
    /// The output of a run with `answers`, or of the phrase mode when null.
    std::string output(const app::ReviewAnswers* answers, const std::string& name) {
        app::BatchOptions o = options;
        o.outputPath = (dir / name).string();
        app::BatchObserver quiet;
        pinyin::RunSettings s = settings;
        s.polyphone = pinyin::Polyphone::Phrase;
        const app::BatchResult r =
            answers ? app::runWithAnswers(o, s, *answers, quiet) : app::runBatch(o, s, quiet);
        EXPECT_EQ(r.failed, 0);
        return testfiles::slurp(o.outputPath);
    }

    testfiles::TempDir tmp{"review_test"};
    fs::path dir = tmp.path();
    fs::path input = dir / "in.iso";
    app::BatchOptions options;
    pinyin::RunSettings settings;
};

TEST_F(Review, TheSameWordIsOneRowAndTheSameCharacterInAnotherWordAnother) {
    write({"王行", "刘长", "王行", "王长", "王行", "刘长"});
    const app::ReviewGathering g = gather();
    ASSERT_FALSE(g.run.stopped);
    EXPECT_EQ(g.run.read, 6);
    const app::ReviewGroup* wang = find(g, "王行");
    ASSERT_TRUE(wang) << "王行 is not asked about";
    EXPECT_EQ(wang->key.index, 2u);
    EXPECT_EQ(wang->character, "行");
    EXPECT_EQ(wang->count, 3);
    ASSERT_EQ(wang->places.size(), 3u);
    EXPECT_EQ(wang->places[1].record, 3);
    EXPECT_EQ(wang->places[1].id, "id3");
    EXPECT_EQ(wang->places[1].tag, "701");
    EXPECT_EQ(wang->places[1].text, "王行");
    EXPECT_EQ(wang->places[1].at, 1u);
    EXPECT_GE(wang->readings.size(), 2u);
    // 长 in two names: two rows. The rows come most occurrences first.
    const app::ReviewGroup* liu = find(g, "刘长");
    const app::ReviewGroup* wangChang = find(g, "王长");
    ASSERT_TRUE(liu && wangChang);
    EXPECT_EQ(liu->count, 2);
    EXPECT_EQ(wangChang->count, 1);
    EXPECT_EQ(&g.groups.front(), wang);
    for (std::size_t k = 1; k < g.groups.size(); ++k) EXPECT_GE(g.groups[k - 1].count, g.groups[k].count);
}

TEST_F(Review, ItAsksWhereTheQuieterManualModeAsksAndNowhereElse) {
    // Names and a title, with and without a word list: the gathering's questions are the run's.
    write({"王行", "乐娜", "张娜", "查长", "曾行 王行", "行"}, "银行行长王行的长城");
    for (const bool listed : {false, true}) {
        auto words = std::make_shared<pinyin::UserWords>();
        if (listed) words->add("王行", "wang hang");
        options.words = words;
        const app::ReviewGathering g = gather();
        Counter counter;
        app::BatchOptions o = options;
        o.outputPath = (dir / "asked.iso").string();
        pinyin::RunSettings s = settings;
        s.polyphone = pinyin::Polyphone::Manual;
        s.askOnlyWhenUnsure = true;
        app::runBatch(o, s, counter);
        std::int64_t rows = 0;
        for (const app::ReviewGroup& group : g.groups) rows += group.count;
        EXPECT_EQ(g.questions, counter.asked);
        EXPECT_EQ(rows, counter.asked);
        EXPECT_GT(counter.asked, 0);
        // A listed word is never asked about.
        EXPECT_EQ(find(g, "王行") == nullptr, listed);
    }
    // Nothing is written by the gathering: no output, no rejects file beside the input.
    EXPECT_FALSE(fs::exists(dir / "out.iso"));
    EXPECT_FALSE(fs::exists(dir / "in.iso.rejected"));
}

TEST_F(Review, TextsAreKeptForTwentyOccurrencesAndOnlyRecordNumbersForTheRest) {
    write(std::vector<std::string>(25, "王行"));
    const app::ReviewGathering g = gather();
    ASSERT_EQ(g.groups.size(), 1u);
    EXPECT_EQ(g.groups[0].count, 25);
    EXPECT_EQ(g.groups[0].places.size(), app::kReviewTextsKept);
    EXPECT_EQ(g.groups[0].more, (std::vector<std::int64_t>{21, 22, 23, 24, 25}));
}

TEST_F(Review, AnswersChangeTheirGroupAndAnOccurrenceMayHaveItsOwn) {
    write({"王行", "刘长", "王行", "王行"});
    const app::ReviewGathering g = gather();
    const app::ReviewGroup* wang = find(g, "王行");
    ASSERT_TRUE(wang);
    const std::string phrase = output(nullptr, "phrase.iso");
    // Every suggestion as it is: the phrase mode's bytes.
    app::ReviewAnswers answers;
    for (const app::ReviewGroup& group : g.groups)
        answers.groups[group.key] = {group.readings[group.suggested], false, 0};
    EXPECT_EQ(output(&answers, "same.iso"), phrase);
    // 王行 read otherwise: records 1, 3 and 4 change, 2 does not.
    const std::string other = wang->readings[wang->suggested == 0 ? 1 : 0];
    answers.groups[wang->key].reading = other;
    std::vector<std::string> a = testrec::splitRecords(phrase),
                             b = testrec::splitRecords(output(&answers, "all.iso"));
    ASSERT_EQ(b.size(), 4u);
    EXPECT_NE(a[0], b[0]);
    EXPECT_EQ(a[1], b[1]);
    EXPECT_NE(a[2], b[2]);
    EXPECT_NE(a[3], b[3]);
    // Record 3's occurrence keeps the suggestion: it leaves its group's answer.
    answers.places[{wang->key, {3, 1}}] = wang->readings[wang->suggested];
    b = testrec::splitRecords(output(&answers, "own.iso"));
    EXPECT_NE(a[0], b[0]);
    EXPECT_EQ(a[2], b[2]);
    EXPECT_NE(a[3], b[3]);
}

TEST_F(Review, TheReviewFileReadsBackAndKnowsItsInput) {
    write({"王行", "刘长", "王行"});
    const app::ReviewGathering g = gather();
    const app::ReviewInput in = app::reviewInputOf(input.string());
    EXPECT_EQ(in.size, fs::file_size(input));
    const app::ReviewOptions o{"200,701", "delete", "utf-8", "", "a"};
    const fs::path file = dir / "review.tsv";
    testfiles::spit(file, app::reviewFileText(g, in, o));
    const app::ReviewAnswers back = app::readReviewFile(file.string(), in, o);
    ASSERT_EQ(back.groups.size(), g.groups.size());
    for (const app::ReviewGroup& group : g.groups)
        EXPECT_EQ(back.groups.at(group.key).reading, text::toLower(group.readings[group.suggested]));
    // An occurrence with its own reading comes back as itself.
    app::ReviewAnswers own = back;
    const app::ReviewGroup& first = g.groups.front();
    own.places[{first.key, {3, 1}}] = text::toLower(first.readings[first.suggested == 0 ? 1 : 0]);
    testfiles::spit(file, app::reviewFileText(g, in, o, &own));
    const app::ReviewAnswers again = app::readReviewFile(file.string(), in, o);
    EXPECT_EQ(again.places, own.places);
    EXPECT_EQ(again.groups.size(), g.groups.size());
    // Another input of the same size, another option: refused.
    app::ReviewInput changed = in;
    changed.hash ^= 1;
    EXPECT_EQ(
        testerrors::problemOf<app::StartError>([&] { app::readReviewFile(file.string(), changed, o); }).kind,
        problem::Kind::ReviewOtherInput);
    app::ReviewOptions keep = o;
    keep.existing = "keep";
    EXPECT_THROW(app::readReviewFile(file.string(), in, keep), app::StartError);
}

TEST(ReviewKey, TheWordFoundElseTheNeighbours) {
    pinyin::ChooserRequest r;
    r.text = "北京银行行长";
    r.position = 5;  // the second 行
    r.word = "行长";
    r.wordAt = 5;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"行长", 1}));
    r.position = 6;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"行长", 2}));
    r.word.clear();
    r.wordAt = 0;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"行长", 2}));  // the last character: one neighbour
    r.position = 1;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"北京", 1}));
    r.text = "王 行,";
    r.position = 3;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"行,", 1}));  // a space is no neighbour
    r.text = "𠀀行";                                           // a character beyond the BMP counts as one
    r.position = 3;
    EXPECT_EQ(app::reviewKey(r), (app::ReviewKey{"𠀀行", 2}));
}

}  // namespace
