// Loading the PinYin table of py.db into memory, once per run.
#include "pinyin/table.h"

#include <sqlite3.h>
#include <unicode/uchar.h>

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>

#include "codepage/codepage.h"
#include "pinyin/phrase.h"
#include "pinyin/readings.h"
#include "pinyin/rows.h"
#include "pinyin/sqlite.h"
#include "text/ascii.h"

namespace pinyin {

struct PinyinTable::Impl {
    TableRows rows;
    /// The phrase data, built at the first phrases() call that finds `phraseDb` set: loading
    /// it takes longer than the whole PinYin table, and the plain modes never read it.
    std::shared_ptr<const PhraseModel> phrases;
    /// py.db kept open from load() until the phrase data is built from it; null when the
    /// database has no phrase data or it is built already (or the table was filled by hand).
    sqlite::Connection phraseDb;
    /// The phrase data being built beside the loading (Phrases::Alongside), until phrases()
    /// takes it; should that build fail, phrases() builds from phraseDb instead.
    std::future<std::shared_ptr<const PhraseModel>> building;
    bool lazyPhrases = false;  ///< set once by load(): phrases() builds from phraseDb
    std::once_flag phrasesOnce;
    std::string dbPath;  ///< for the message of a phrase load that fails
};

namespace {

constexpr char32_t kSmallUDiaeresisAcute = 0x01D8;  // "ǘ", written "v" in the pinyin

/// The one code point of `hz`, or nullopt when it holds none, several, or broken UTF-8: such a
/// row can never equal a single character.
std::optional<char32_t> singleCodePoint(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t i = 0;
    const char32_t c = codepage::utf8::next(text, i);
    if (i != text.size()) return std::nullopt;
    if (c == 0xFFFD && text != "\xEF\xBF\xBD") return std::nullopt;
    return c;
}

Reading makeReading(std::string_view stored) {
    return Reading{std::string(stored), readingOut(stored, false), readingOut(stored, true)};
}

/// py.db opened read-only: a missing file must be reported, never created empty.
sqlite::Connection openReadOnly(const std::string& dbPath) {
    sqlite3* raw = nullptr;
    // No mutex on the connection: one thread at a time uses it, the loading one, and later
    // the one that builds the phrase data under phrases()'s once flag.
    const int rc = sqlite3_open_v2(dbPath.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::Connection db(raw);
    if (rc == SQLITE_OK) {
        // Every table is read once from end to end: a page cache of 64 KiB serves as well as the
        // default 2 MB, which each connection would otherwise fill.
        sqlite3_exec(raw, "PRAGMA cache_size = -64", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        int err = raw ? sqlite3_system_errno(raw) : 0;
        // SQLite does not always keep the system's reason (a missing folder): ask the system.
        struct stat st {};
        if (err == 0 && ::stat(dbPath.c_str(), &st) != 0) err = errno;
        const std::string why = err ? std::strerror(err) : sqlite3_errstr(rc);
        throw DbError(problem::Kind::DbCannotOpen, dbPath, why, err);
    }
    return db;
}

/// Throws unless `db` has the table PinYin. The file is read for the first time here, so
/// this is where "not a database" shows.
void requirePinYinTable(sqlite3* db, const std::string& dbPath) {
    bool found;
    try {
        found = sqlite::hasTable(db, "PinYin");
    } catch (const DbError& e) {
        throw DbError(problem::Kind::DbNotReadable, dbPath, e.problem.detail);
    }
    if (!found) throw DbError(problem::Kind::DbNoPinYinTable, dbPath);
}

/// The letters a reading may hold besides ASCII letters and digits: pinyin's own, as every
/// code page the run writes holds them.
constexpr std::u32string_view kPinyinLetters = U"āáǎàēéěèêīíǐìōóǒòūúǔùüǖǘǚǜńňɑɡ";

/// "U+007C "|"" for a character: its code, then the character itself where it is printable
/// ASCII. Only ASCII, so that the English message holds nothing else.
std::string characterName(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string name = code;
    if (c > 0x20 && c < 0x7F) name += std::string(" \"") + static_cast<char>(c) + '"';
    return name;
}

/// The bytes a reading holds nearly always: ASCII letters, digits and the space between readings.
constexpr std::array<bool, 256> kPlainBytes = [] {
    std::array<bool, 256> ok{};
    for (int c = 0; c < 128; ++c)
        ok[static_cast<std::size_t>(c)] =
            c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return ok;
}();

/// Whether `py1` holds only plain bytes: the whole check of nearly every row, once a run each.
bool plainReading(std::string_view py1) {
    for (const char c : py1)
        if (!kPlainBytes[static_cast<unsigned char>(c)]) return false;
    return true;
}

/// What in `py1`, a value of the column Py1, no reading may hold: a character that is no letter
/// or digit of a reading, nor the space between readings ("|" would become a subfield
/// delimiter, a control character a terminator or a line break), or a byte that is not UTF-8;
/// empty when it holds nothing of the kind.
std::string unfitInReading(std::string_view py1) {
    for (std::size_t i = 0; i < py1.size();) {
        const unsigned char b = static_cast<unsigned char>(py1[i]);
        if (b < 0x80) {
            if (!kPlainBytes[b]) return characterName(b);
            ++i;
            continue;
        }
        const std::size_t at = i;
        const char32_t c = codepage::utf8::next(py1, i);
        if (c == codepage::kReplacement && py1.substr(at, i - at) != "\xEF\xBF\xBD") {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(b));
            return byte;
        }
        if (kPinyinLetters.find(c) == std::u32string_view::npos) return characterName(c);
    }
    return {};
}

/// Adds every row of PinYin whose hz is one character to `table`; throws when no row is, or
/// when a reading holds what no reading may hold.
void readRows(sqlite3* db, const std::string& dbPath, PinyinTable& table) {
    // The first row of an hz wins, in the order the rows were stored. A table without rowids
    // has no such order; its own order is the best there is.
    sqlite::Statement rows = sqlite::prepare(db, "SELECT hz, Py1 FROM PinYin ORDER BY rowid");
    if (!rows) rows = sqlite::prepare(db, "SELECT hz, Py1 FROM PinYin");
    if (!rows) throw DbError(problem::Kind::DbNoColumns, dbPath, sqlite3_errmsg(db));
    int step;
    std::size_t characters = 0, row = 0;
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ++row;
        const auto c = singleCodePoint(sqlite::columnText(rows.get(), 0));
        if (!c) continue;
        // A NULL Py1 reads as an empty one: the character then stands for a lone space.
        const std::string_view py1 = sqlite::columnText(rows.get(), 1);
        if (const std::string unfit = plainReading(py1) ? std::string() : unfitInReading(py1);
            !unfit.empty()) {
            problem::Problem p = problem::of(problem::Kind::DbBadReading, dbPath);
            p.detail = "hz " + characterName(*c) + ", Py1 " + unfit;
            p.tag = "PinYin";
            p.value = static_cast<long long>(row);
            throw DbError(std::move(p));
        }
        table.add(*c, std::string(py1));
        ++characters;
    }
    if (step != SQLITE_DONE) {
        const std::string why = sqlite3_errmsg(db);
        throw DbError(problem::Kind::DbNotReadable, dbPath, why);
    }
    // A table without a single character would give every pinyin subfield empty.
    if (characters == 0) throw DbError(problem::Kind::DbEmpty, dbPath);
}

}  // namespace

std::string readingOut(std::string_view reading, bool lower) {
    std::string out;
    out.reserve(reading.size() + 1);
    for (std::size_t i = 0; i < reading.size();) {
        const unsigned char b = static_cast<unsigned char>(reading[i]);
        if (b < 0x80) {  // nearly every letter of a reading: lower-cased here, no ICU call
            out += lower ? text::toLower(static_cast<char>(b)) : static_cast<char>(b);
            ++i;
            continue;
        }
        char32_t c = codepage::utf8::next(reading, i);
        // u_tolower maps code points one to one, so a stored capital "Ǘ" becomes "ǘ" as well.
        if (lower) c = static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
        if (c == kSmallUDiaeresisAcute)
            out += 'v';
        else
            codepage::utf8::append(out, c);
    }
    out += ' ';
    return out;
}

void TableRows::add(char32_t c, std::string py1) {
    if (find(c)) return;
    Entry e;
    e.trimmed = std::string(text::trimSpaces(py1));
    e.py1 = std::move(py1);
    e.polyphonic = e.trimmed.find(' ') != std::string::npos;
    for (std::string_view piece : splitReadings(e.trimmed)) e.readings.push_back(makeReading(piece));
    if (e.readings.empty()) e.readings.push_back(makeReading({}));
    const auto index = static_cast<std::int32_t>(entries_.size());
    entries_.push_back(std::move(e));
    if (c >= 0x10000) {
        astral_.emplace(c, index);
        return;
    }
    bmp_[c] = index;

    const Entry& added = entries_.back();
    const Reading& first = added.readings.front();
    Hot& h = hot_[c];
    h.flags = Hot::kRow;
    if (codepage::Codec::isGbkDoubleByte(c)) h.flags |= Hot::kDoubleByte;
    if (added.polyphonic) h.flags |= Hot::kPolyphonic;
    if (first.stored.size() <= 0xFF && first.asIs.size() <= 0xFF && first.lower.size() <= 0xFF &&
        pool_.size() <= 0xFFFFFF00u) {
        h.flags |= Hot::kPooled;
        h.pool = static_cast<std::uint32_t>(pool_.size());
        h.storedLen = static_cast<std::uint8_t>(first.stored.size());
        h.asIsLen = static_cast<std::uint8_t>(first.asIs.size());
        h.lowerLen = static_cast<std::uint8_t>(first.lower.size());
        pool_ += first.stored;
        pool_ += first.asIs;
        pool_ += first.lower;
    }
}

PinyinTable::PinyinTable() : impl_(std::make_unique<Impl>()) {}
PinyinTable::~PinyinTable() = default;

const TableRows& PinyinTable::rows() const { return impl_->rows; }

const std::string* PinyinTable::readings(char32_t c) const {
    const Entry* e = impl_->rows.find(c);
    return e ? &e->py1 : nullptr;
}

const PhraseModel* PinyinTable::phrases() const {
    Impl& t = *impl_;
    // Built once, by whichever thread asks first; a window may switch to a mode that needs the
    // phrase data in the middle of a run. A load that throws leaves the flag unset, so the
    // DbError reaches the caller and a later call tries again.
    if (t.lazyPhrases)
        std::call_once(t.phrasesOnce, [&t] {
            try {
                if (t.building.valid()) {
                    auto building = std::move(t.building);
                    t.phrases = building.get();
                } else {
                    t.phrases = PhraseModel::load(t.phraseDb.get());
                }
            } catch (const DbError& e) {
                problem::Problem p = e.problem;
                p.path = t.dbPath;
                throw DbError(std::move(p));
            }
            t.phraseDb.reset();
        });
    return t.phrases.get();
}

void PinyinTable::add(char32_t c, std::string py1) { impl_->rows.add(c, std::move(py1)); }

std::shared_ptr<const PinyinTable> PinyinTable::load(const std::string& dbPath, Phrases phrases) {
    sqlite::Connection db = openReadOnly(dbPath);
    requirePinYinTable(db.get(), dbPath);
    auto table = std::make_shared<PinyinTable>();
    // Building the phrase data takes longer than reading the PinYin table: alongside, it reads
    // through a connection of its own, and whatever leaves this function waits for it.
    std::future<std::shared_ptr<const PhraseModel>> building;
    if (phrases == Phrases::Alongside)
        // Both policies: where no thread can be started, the data is built when first asked.
        building = std::async(std::launch::async | std::launch::deferred, [dbPath] {
            const sqlite::Connection own = openReadOnly(dbPath);
            return PhraseModel::load(own.get());
        });
    readRows(db.get(), dbPath, *table);
    // The phrase tables are checked now, so that a broken py.db stops the run before any
    // record; their rows are read when a mode first needs them (see phrases()).
    if (PhraseModel::check(db.get())) {
        table->impl_->building = std::move(building);
        table->impl_->phraseDb = std::move(db);
        table->impl_->dbPath = dbPath;
        table->impl_->lazyPhrases = true;
    }
    return table;
}

}  // namespace pinyin
