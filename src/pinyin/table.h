// The readings of py.db, loaded once per run.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "problem/problem.h"

namespace pinyin {

class PhraseModel;
class TableRows;

/// py.db is missing, unreadable, or lacks the PinYin table. The message names the file.
class DbError : public std::runtime_error {
public:
    /// `kind`: what is wrong with py.db (problem::Kind::DbCannotOpen and the Db... kinds that
    /// follow); `text` says it in plain English for logs and tests, SQLite's own words included.
    explicit DbError(const std::string& text, problem::Kind kind = problem::Kind::DbNotReadable,
                     std::string detail = {}, int osError = 0)
        : std::runtime_error(text), kind(kind), detail(std::move(detail)), osError(osError) {}
    problem::Kind kind;
    std::string
        detail;  ///< SQLite's message, where it gave one; for DbBadReading, the row's hz and what it holds
    int osError = 0;    ///< errno when the file cannot be opened
    std::string table;  ///< DbBadReading: the table of the row
    long long row = 0;  ///< DbBadReading: the row, 1 for the first
};

/// The PinYin table (hz -> Py1, first row wins) held in memory, plus the optional phrase data.
/// Loaded with bound-parameter queries only; immutable after load.
class PinyinTable {
public:
    /// When the phrase data of a loaded table is built.
    enum class Phrases {
        WhenFirstAsked,  ///< at the first phrases() call: the modes that read one reading never pay for it
        Alongside,       ///< at once, on a thread of its own beside the loading of the PinYin table
    };
    /// Opens `dbPath` read-only and loads it. Throws DbError.
    static std::shared_ptr<const PinyinTable> load(const std::string& dbPath,
                                                   Phrases phrases = Phrases::WhenFirstAsked);
    /// An empty table, for tests that add rows by hand.
    PinyinTable();
    ~PinyinTable();

    /// The stored Py1 of the first row for `c` (untrimmed), or nullptr when there is none.
    const std::string* readings(char32_t c) const;
    /// The phrase data of the same py.db, or nullptr when it has none. load() checks the
    /// phrase tables; their rows are read at the first call (thread-safe, once), which throws
    /// DbError if they cannot be read then (and tries again at the next call).
    const PhraseModel* phrases() const;

    /// Adds a row; like the database, an hz already present keeps its first value.
    void add(char32_t c, std::string py1);

    /// The rows in the forms the romaniser and the phrase model read (pinyin/rows.h).
    const TableRows& rows() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pinyin
