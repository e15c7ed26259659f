// The SQLite calls that the readers of py.db share.
#pragma once

#include <memory>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace pinyin::sqlite {

struct Closer {
    void operator()(sqlite3* db) const;
    void operator()(sqlite3_stmt* statement) const;
};
using Connection = std::unique_ptr<sqlite3, Closer>;
using Statement = std::unique_ptr<sqlite3_stmt, Closer>;

/// `sql` prepared, or null when SQLite cannot prepare it (sqlite3_errmsg says why).
Statement prepare(sqlite3* db, const char* sql);

/// Whether `db` has a table or a view that a query can name `name` (in any letter case).
/// Throws DbError (DbNotReadable, SQLite's message as the detail) when it cannot tell.
bool hasTable(sqlite3* db, const char* name);

}  // namespace pinyin::sqlite

#include <sqlite3.h>

#include <string>
#include <type_traits>
#include <utility>

#include "pinyin/table.h"

namespace pinyin::sqlite {

/// Column `column` of the current row as text; empty for NULL.
inline std::string_view columnText(sqlite3_stmt* statement, int column) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
             : std::string_view();
}

/// Runs `sql` and hands every row to `row`, until `row` returns false if it returns a bool;
/// a failure names `table`.
template <class Row>
void eachRow(sqlite3* db, const char* table, const char* sql, Row row) {
    const Statement statement = prepare(db, sql);
    const auto fail = [&] {
        problem::Problem p = problem::of(problem::Kind::DbNotReadable);
        p.detail = sqlite3_errmsg(db);
        p.tag = table;  // the table that cannot be read
        throw DbError(std::move(p));
    };
    if (!statement) fail();
    sqlite3_stmt* const s = statement.get();
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        if constexpr (std::is_same_v<decltype(row(s)), bool>) {
            if (!row(s)) return;  // the caller has seen enough
        } else {
            row(s);
        }
    }
    if (step != SQLITE_DONE) fail();
}

}  // namespace pinyin::sqlite
