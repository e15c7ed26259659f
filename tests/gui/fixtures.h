// Small files for the window tests: a py.db, a GBK record file, and reading records back.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace guitest {

/// Writes a py.db at `path` with table PinYin(hz, Py1) holding `rows` (hz, Py1), in order.
void makePyDb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rows);

/// A working record with fields 001, 005, 100, 101 and one 200 whose subfield a is `title`.
std::string workingRecord(const std::string& id, const std::string& title);

/// Writes each working record as one GBK ISO 2709 record followed by CR LF; `raw` lines (already
/// bytes) may be mixed in by passing them with a leading '\0' marker.
void writeRecordFile(const std::string& path, const std::vector<std::string>& workingRecords);

/// The working record texts of every record in the ISO 2709 file at `path` (GBK).
std::vector<std::string> readRecordFile(const std::string& path);

/// The whole file as bytes; empty when it does not exist.
std::string slurp(const std::string& path);

}  // namespace guitest
