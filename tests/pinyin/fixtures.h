// Shared pieces of the pinyin tests: a small hand-made table, a scripted chooser, a py.db made from SQL.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pinyin/chooser.h"
#include "pinyin/table.h"

namespace pinyin::testing {

/// A few characters with readings as py.db stores them (capital initials, single spaces).
inline void fillSmallTable(PinyinTable& t) {
    t.add(U'中', "Zhong");
    t.add(U'国', "Guo");
    t.add(U'文', "Wen");
    t.add(U'行', "Xing Hang");
    t.add(U'长', "Chang Zhang");
    t.add(U'乐', " Le  Yue ");  // stray and doubled spaces
    t.add(U'驴', "Lǘ");
    t.add(U'绿', "Lü");        // a plain u with diaeresis stays
    t.add(U'吕', "Ǘ");         // an odd capital: only lower case turns it into "v"
    t.add(U'空', "");          // an empty Py1 contributes one space
    t.add(U'怪', "McDonald");  // unusual capitalisation, kept under the stored-form scheme
}

/// Answers from a script, in order, and keeps every question it was asked.
class ScriptedChooser : public Chooser {
public:
    explicit ScriptedChooser(std::vector<std::optional<std::string>> answers)
        : answers_(answers.begin(), answers.end()) {}

    std::optional<std::string> choose(const ChooserRequest& request) override {
        asked.push_back(request);
        if (onAsk) onAsk(request);
        if (answers_.empty()) return std::nullopt;
        auto a = answers_.front();
        answers_.pop_front();
        return a;
    }

    std::vector<ChooserRequest> asked;
    std::function<void(const ChooserRequest&)> onAsk;

private:
    std::deque<std::optional<std::string>> answers_;
};

/// A file path for one test, removed afterwards: a database made by running `sql`, or when `sql`
/// is null, the bytes `contents` (no file at all when those are null too).
class TempDb {
public:
    explicit TempDb(const char* sql, const char* contents = nullptr) {
        static std::atomic<int> serial{0};
        path_ = (std::filesystem::path(::testing::TempDir()) /
                 ("pinyin_test_" + std::to_string(::getpid()) + "_" + std::to_string(serial++) + ".db"))
                    .string();
        std::filesystem::remove(path_);
        if (contents) std::ofstream(path_) << contents;
        if (!sql) return;
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    explicit TempDb(const std::string& sql) : TempDb(sql.c_str()) {}
    ~TempDb() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace pinyin::testing
