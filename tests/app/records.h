// Hand-built ISO 2709 records for the batch and command-line tests, and what a run leaves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/batch.h"
#include "pinyin/table.h"
#include "support/errors.h"
#include "support/files.h"

namespace testrec {

/// One field: tag and its bytes without the field terminator (data fields start with indicators).
using Field = std::pair<std::string, std::string>;

/// A record of `fields` with a correct leader and directory, ending in the record terminator.
/// The bytes are taken as they are (give GBK bytes for a GBK file).
inline std::string makeRecord(const std::vector<Field>& fields) {
    std::string dir, data;
    for (const auto& [tag, body] : fields) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%s%04zu%05zu", tag.c_str(), body.size() + 1, data.size());
        dir += entry;
        data += body;
        data += '\x1E';
    }
    std::size_t base = 24 + dir.size() + 1;
    std::size_t length = base + data.size() + 1;
    char leader[32];
    std::snprintf(leader, sizeof leader, "%05zunam0 22%05zu   450 ", length, base);
    return std::string(leader) + dir + '\x1E' + data + '\x1D';
}

/// A book record with five fields (the writer needs five lines) and a GBK title.
inline std::string book(const std::string& id, const std::string& titleGbk) {
    return makeRecord({{"001", id},
                       {"005", "20240102030405.0"},
                       {"101", "0 \037achi"},
                       {"200", "1 \037a" + titleGbk},
                       {"210", "  \037d2024"}});
}

/// A record cut by its own leader and directory, independently of the program's reader.
struct Parsed {
    std::string leader;
    std::vector<Field> fields;  ///< in directory order, terminators left out
};

/// Cuts `rec` (one record, ending in the record terminator) by its base address and directory.
/// Returns false when the directory does not fit the bytes.
inline bool parseRecord(const std::string& rec, Parsed& out) {
    out = {};
    if (rec.size() < 25) return false;
    out.leader = rec.substr(0, 24);
    const std::size_t base = std::stoul(rec.substr(12, 5));
    if (base > rec.size() || base < 25 || rec[base - 1] != '\x1E') return false;
    for (std::size_t e = 24; e + 12 < base; e += 12) {
        const std::size_t len = std::stoul(rec.substr(e + 3, 4)), start = std::stoul(rec.substr(e + 7, 5));
        if (len == 0 || base + start + len > rec.size() || rec[base + start + len - 1] != '\x1E')
            return false;
        out.fields.emplace_back(rec.substr(e, 3), rec.substr(base + start, len - 1));
    }
    return true;
}

/// The records of a file of records back to back (CR LF or line breaks between them allowed).
inline std::vector<std::string> splitRecords(const std::string& file) {
    std::vector<std::string> recs;
    std::size_t from = 0;
    for (std::size_t at; (at = file.find('\x1D', from)) != std::string::npos; from = at + 1) {
        while (from < at && (file[from] == '\r' || file[from] == '\n')) ++from;
        recs.push_back(file.substr(from, at + 1 - from));
    }
    return recs;
}

/// Every record of `file`, as splitRecords finds them, cut by parseRecord; one that does not cut
/// fails the test.
inline std::vector<Parsed> parsedRecords(const std::string& file) {
    std::vector<Parsed> out;
    for (const std::string& rec : splitRecords(file))
        EXPECT_TRUE(parseRecord(rec, out.emplace_back())) << rec;
    return out;
}

/// The records of an output file written with CR LF after each; a piece that is not a whole
/// record fails the test.
inline std::vector<std::string> outputRecords(const std::string& out) {
    std::vector<std::string> recs;
    std::size_t from = 0;
    for (std::size_t at; (at = out.find("\x1D\r\n", from)) != std::string::npos; from = at + 3)
        recs.push_back(out.substr(from, at + 1 - from));
    EXPECT_EQ(from, out.size()) << "the output does not end with a whole record";
    return recs;
}

/// What a run comes to, to compare in one line: whether it stopped, the records it read, wrote
/// and failed, and the record a later run goes on from.
struct Tally {
    bool stopped = false;
    std::int64_t read = 0, written = 0, failed = 0, nextRecord = 0;
    bool operator==(const Tally&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Tally& t) {
        return os << "{stopped " << t.stopped << ", read " << t.read << ", written " << t.written
                  << ", failed " << t.failed << ", next record " << t.nextRecord << "}";
    }
};

inline Tally tally(const app::BatchResult& r) {
    return {r.stopped, r.read, r.written, r.failed, r.nextRecord};
}

/// A run over in.iso into out.iso in a folder of its own, with a table of 银, 行 (Xing Hang), 书
/// and 东, taking the first reading; `Observer` hears it.
template <class Observer>
class RunTest : public ::testing::Test {
protected:
    RunTest() {
        auto t = std::make_shared<pinyin::PinyinTable>();
        t->add(U'银', "Yin");
        t->add(U'行', "Xing Hang");
        t->add(U'书', "Shu");
        t->add(U'东', "Dong");
        options.table = t;
        options.inputPath = (dir / "in.iso").string();
        options.outputPath = (dir / "out.iso").string();
        settings.polyphone = pinyin::Polyphone::Automatic;
    }
    app::BatchResult run() { return app::runBatch(options, settings, observer); }
    /// What the run refused to start with (a failure of the test when it started).
    problem::Problem refusal() {
        return testerrors::problemOf<app::StartError>([&] { run(); });
    }
    std::string rejects() const { return testfiles::slurp(options.outputPath + ".rejected"); }

    testfiles::TempDir tmp;
    std::filesystem::path dir = tmp.path();
    app::BatchOptions options;
    pinyin::RunSettings settings;
    Observer observer;
};

}  // namespace testrec
