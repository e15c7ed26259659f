// Small py.db files for tests: a PinYin table of the rows given, and any SQL after it.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testpydb {

using Rows = std::vector<std::pair<std::string, std::string>>;  ///< hz, Py1

/// Runs `sql` on the database at `path` (created when missing); throws with SQLite's message.
inline void exec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open(path.c_str(), &db);
    char* error = nullptr;
    const int ran = opened == SQLITE_OK ? sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) : opened;
    const std::string why = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    sqlite3_close(db);
    if (ran != SQLITE_OK) throw std::runtime_error("cannot make " + path + ": " + why);
}

/// A fresh py.db at `path` whose PinYin table holds `rows` (quotes in them are not escaped),
/// then `more` SQL.
inline void make(const std::string& path, const Rows& rows, const std::string& more = {}) {
    std::remove(path.c_str());
    std::string sql = "CREATE TABLE PinYin (hz TEXT, Py1 TEXT);";
    for (const auto& [hz, py1] : rows) sql += "INSERT INTO PinYin VALUES ('" + hz + "', '" + py1 + "');";
    exec(path, sql + more);
}

}  // namespace testpydb
