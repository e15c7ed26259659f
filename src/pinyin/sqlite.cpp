// The SQLite calls that the readers of py.db share.
#include "pinyin/sqlite.h"

#include <sqlite3.h>

#include <string>

#include "pinyin/table.h"

namespace pinyin::sqlite {

void Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void Closer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    return Statement(raw);
}

bool hasTable(sqlite3* db, const char* name) {
    // SQLite matches the names of tables in any letter case, and a query reads a view alike.
    Statement probe = prepare(db,
                              "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') "
                              "AND name = ?1 COLLATE NOCASE");
    int step = SQLITE_ERROR;
    if (probe) {
        sqlite3_bind_text(probe.get(), 1, name, -1, SQLITE_STATIC);
        step = sqlite3_step(probe.get());
    }
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        const std::string why = sqlite3_errmsg(db);
        throw DbError(problem::Kind::DbNotReadable, {}, why);
    }
    return step == SQLITE_ROW;
}

}  // namespace pinyin::sqlite
