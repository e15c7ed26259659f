// Reading ahead on a second thread: the slots come in order, and a run writes, keeps aside, counts
// and reports exactly what it does when it reads each record in turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "app/batch.h"
#include "app/framer.h"
#include "app/handoff.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using testfiles::slurp;
using testfiles::spit;

TEST(Handoff, SlotsArriveInOrderAndACancelEndsAWaitingProducer) {
    app::Handoff<int> handoff(4, 2);  // a small ring, so that both sides wait often
    constexpr int kCount = 20000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) {
            int* slot = handoff.claim();
            ASSERT_NE(slot, nullptr);
            *slot = i;
            handoff.fill(i + 1 == kCount);
        }
    });
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(handoff.take(), i);
        handoff.release();
    }
    producer.join();

    // The consumer takes two slots and leaves: the producer, waiting for a free slot, ends.
    app::Handoff<int> left(4, 2);
    int claimed = 0;
    std::thread filler([&] {
        while (int* slot = left.claim()) {
            *slot = claimed++;
            left.fill();
        }
    });
    EXPECT_EQ(left.take(), 0);
    left.release();
    EXPECT_EQ(left.take(), 1);
    left.cancel();
    filler.join();
    EXPECT_GE(claimed, 2);
    EXPECT_LE(claimed, 6);  // at most the ring and the two slots freed
}

/// Everything a front end hears of a run, in order.
struct Heard : app::BatchObserver {
    std::vector<std::string> events;
    int stopAfter = -1, done = 0;

    bool wantsWorkingText() const override { return false; }
    void recordStarted(std::int64_t number, std::string_view working) override {
        events.push_back("start " + std::to_string(number) + " " + std::string(working));
    }
    void recordDone(std::int64_t count) override { events.push_back("done " + std::to_string(count)); }
    void recordFailed(const app::RecordFailure& f) override {
        events.push_back("failed " + std::to_string(f.number) + " " + std::to_string(f.offset) + " " +
                         std::to_string(static_cast<int>(f.problem.kind)) + " " + f.problem.tag + " " +
                         f.identifier);
    }
    void progress(std::uint64_t d, std::uint64_t t) override {
        events.push_back("progress " + std::to_string(d) + " " + std::to_string(t));
    }
    bool yieldPoint() override { return ++done != stopAfter; }
};

/// What a run leaves: its files, its result and what its observer heard.
struct Outcome {
    std::string output, rejects, log;
    std::vector<std::string> events;
    app::BatchResult result;
};

class ReadingAhead : public ::testing::Test {
protected:
    void SetUp() override {
        options.inputPath = (dir / "in.iso").string();
        options.outputPath = (dir / "out.iso").string();
        options.dbPath = (fs::path(MARCPY_SOURCE_DIR) / "data/py.db").string();
        options.describeFailure = [](const app::RecordFailure& f) {
            return std::to_string(f.number) + " " + std::to_string(f.line) + " " +
                   std::to_string(static_cast<int>(f.problem.kind)) + " " + f.problem.detail;
        };
        options.clock = [] { return marc::LocalTime{2026, 12, 8, 1, 2, 3}; };
        settings.polyphone = pinyin::Polyphone::Phrase;
    }

    Outcome run(app::ReadAhead readAhead, int stopAfter) {
        const std::string kept =
            options.rejectsPath.empty() ? options.outputPath + ".rejected" : options.rejectsPath;
        for (const std::string& path : {options.outputPath, kept, kept + ".txt"})
            if (fs::is_regular_file(path)) fs::remove(path);  // never a device such as /dev/full
        options.readAhead = readAhead;
        Heard heard;
        heard.stopAfter = stopAfter;
        Outcome o;
        o.result = app::runBatch(options, settings, heard);
        if (fs::is_regular_file(options.outputPath)) o.output = slurp(options.outputPath);
        o.rejects = slurp(kept);
        o.log = slurp(kept + ".txt");
        o.events = std::move(heard.events);
        return o;
    }

    void expectSame(const Outcome& inTurn, const Outcome& ahead) {
        EXPECT_TRUE(inTurn.output == ahead.output) << "outputs differ";
        EXPECT_TRUE(inTurn.rejects == ahead.rejects) << "rejects differ";
        EXPECT_EQ(inTurn.log, ahead.log);
        EXPECT_EQ(inTurn.events, ahead.events);
        const app::BatchResult &a = inTurn.result, &b = ahead.result;
        EXPECT_EQ(std::tie(a.read, a.written, a.failed, a.skipped, a.charCounted, a.rejectsKept, a.stopped,
                           a.nextRecord, a.nextOffset, a.fillerBytes, a.lineBreakBytes, a.fieldsListed,
                           a.fieldsAnnotated, a.repeatsOutputEnd, a.asciiOnly),
                  std::tie(b.read, b.written, b.failed, b.skipped, b.charCounted, b.rejectsKept, b.stopped,
                           b.nextRecord, b.nextOffset, b.fillerBytes, b.lineBreakBytes, b.fieldsListed,
                           b.fieldsAnnotated, b.repeatsOutputEnd, b.asciiOnly));
        EXPECT_EQ(a.stopProblem.has_value(), b.stopProblem.has_value());
        if (a.stopProblem && b.stopProblem) {
            EXPECT_EQ(a.stopProblem->kind, b.stopProblem->kind);
            EXPECT_EQ(a.stopProblem->detail, b.stopProblem->detail);
        }
        EXPECT_EQ(a.encoding, b.encoding);
        EXPECT_EQ(a.failures.size(), b.failures.size());
    }

    testfiles::TempDir tmp{"read_ahead_test"};
    fs::path dir = tmp.path();
    app::BatchOptions options;
    pinyin::RunSettings settings;
};

/// Real records many times over, damaged here and there, with records of other code pages, filler,
/// line breaks and a stretch longer than a record may be among them.
std::string damagedInput() {
    const fs::path real = fs::path(MARCPY_SOURCE_DIR) / "tests/data/real-records";
    const std::string gbk = slurp(real / "cnmarc-university.gbk.iso");
    std::string input = "\xEF\xBB\xBF";
    std::mt19937 random(27);
    for (int copy = 0; copy < 80; ++copy) {
        std::string part = gbk;
        if (copy % 3 == 1)
            for (int i = 0; i < 6; ++i) part[random() % part.size()] = static_cast<char>(random() % 256);
        input += part + (copy % 4 == 0 ? "\r\n" : copy % 4 == 1 ? std::string(3, '\0') : "");
        // Past the first megabyte, which decides the code page.
        if (copy == 72) input += slurp(real / "cnmarc-university.utf8.iso");
        if (copy == 30) input += std::string(app::kMaxRecordBytes + 100, 'x') + "\x1D";
    }
    return input;
}

// Every outcome of a run that reads ahead is the one of a run that reads in turn: the files, every
// count, what the observer heard and in what order, where a stopped run goes on; with and without
// pinyin taken out, records skipped, stops at many places, and an output that takes nothing.
TEST_F(ReadingAhead, ChangesNothingARunWritesCountsOrSays) {
    spit(options.inputPath, damagedInput());
    const Outcome whole = run(app::ReadAhead::Never, -1);
    ASSERT_GT(whole.result.written, 700);
    ASSERT_GT(whole.result.failed, 10);
    expectSame(whole, run(app::ReadAhead::Always, -1));

    for (const int stopAfter : {1, 2, 130, 131, 257, 380, 730}) {
        SCOPED_TRACE("stop after " + std::to_string(stopAfter));
        expectSame(run(app::ReadAhead::Never, stopAfter), run(app::ReadAhead::Always, stopAfter));
    }
    options.skip = 150;
    settings.polyphone = pinyin::Polyphone::Automatic;
    expectSame(run(app::ReadAhead::Never, -1), run(app::ReadAhead::Always, -1));
    options.skip = 0;

    // Taking out the pinyin of the first run's output.
    spit(options.inputPath, whole.output);
    settings.removePinyin = true;
    expectSame(run(app::ReadAhead::Never, -1), run(app::ReadAhead::Always, -1));
    settings.removePinyin = false;

    if (fs::exists("/dev/full")) {
        options.outputPath = "/dev/full";
        options.rejectsPath = (dir / "kept").string();
        const Outcome inTurn = run(app::ReadAhead::Never, -1), ahead = run(app::ReadAhead::Always, -1);
        EXPECT_TRUE(ahead.result.stopped);
        expectSame(inTurn, ahead);
    }
}

}  // namespace
