// The readings of py.db, loaded once per run.
#pragma once

#include <memory>
#include <string>

#include "problem/error.h"
#include "problem/problem.h"

namespace pinyin {

class PhraseModel;
class TableRows;

/// py.db is missing, unreadable, or lacks what a run needs. `problem`: DbCannotOpen or one of the
/// Db... kinds that follow it, with the file (path), SQLite's message where it gave one (detail;
/// for DbBadReading the row's hz and what it holds), errno when the file cannot be opened
/// (osError), and for DbBadReading the table (tag) and the row, 1 for the first (value).
class DbError : public problem::Error {
public:
    using problem::Error::Error;
    /// A problem of `kind` with py.db at `path` (empty where the caller adds it).
    DbError(problem::Kind kind, std::string path, std::string detail = {}, int osError = 0)
        : problem::Error(problemOf(kind, std::move(path), std::move(detail), osError)) {}

private:
    static problem::Problem problemOf(problem::Kind kind, std::string path, std::string detail, int osError) {
        problem::Problem p = problem::of(kind, std::move(path));
        p.detail = std::move(detail);
        p.osError = osError;
        return p;
    }
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
