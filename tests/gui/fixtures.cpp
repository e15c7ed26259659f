// The window tests' files.
#include "fixtures.h"

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "codepage/codepage.h"
#include "marc/reader.h"
#include "marc/writer.h"

namespace guitest {

void makePyDb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rows) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot make " + path);
    sqlite3_exec(db, "CREATE TABLE PinYin(hz TEXT, Py1 TEXT)", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO PinYin(hz, Py1) VALUES(?, ?)", -1, &insert, nullptr);
    for (const auto& [hz, py1] : rows) {
        sqlite3_bind_text(insert, 1, hz.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, py1.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
}

std::string workingRecord(const std::string& id, const std::string& title) {
    return "001    " + id + "\r\n" +
           "005    20240101120000.0\r\n"
           "100    |a20240101d2024    em y0chiy50      ea\r\n"
           "101 0  |achi\r\n"
           "200 1  |a" + title + "|f编者\r\n"
           "\r\n";
}

void writeRecordFile(const std::string& path, const std::vector<std::string>& workingRecords) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& w : workingRecords) {
        if (!w.empty() && w[0] == '\0') {
            out << w.substr(1) << "\r\n";
        } else {
            out << marc::marcToIsoBytes(w, codepage::Codec::gbk()) << "\r\n";
        }
    }
}

std::vector<std::string> readRecordFile(const std::string& path) {
    const std::string bytes = slurp(path);
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\x1D', start);
        if (end == std::string::npos) break;
        std::string record = bytes.substr(start, end + 1 - start);
        while (!record.empty() && (record[0] == '\r' || record[0] == '\n')) record.erase(0, 1);
        out.push_back(marc::isoToMarcBytes(record, codepage::Codec::gbk()));
        start = end + 1;
    }
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace guitest
