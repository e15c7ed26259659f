// Loading the phrase tables of py.db: the words into the trie, the surnames, the dominant
// readings and the traditional forms.
#include <sqlite3.h>

#include <algorithm>
#include <type_traits>

#include "codepage/codepage.h"
#include "pinyin/phrase.h"
#include "pinyin/phrase_internal.h"
#include "pinyin/sqlite.h"
#include "pinyin/table.h"

namespace pinyin {
namespace {

using namespace phrase_detail;
using sqlite::columnText;
using sqlite::eachRow;
using sqlite::hasTable;

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) out += codepage::utf8::next(s, i);
    return out;
}

}  // namespace

PhraseModel::PhraseModel()
    : pairBits_((std::size_t{1} << 20) / 64, 0),
      rootChild_(0x10000),
      simplified_(0x10000, 0),
      traditional_(0x10000 / 64, 0),
      sureBits_(0x10000 / 64, 0) {}

bool PhraseModel::check(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return false;
    // Preparing a statement checks its table and columns without reading a row.
    const auto prepares = [db](const char* table, const char* sql) {
        if (sqlite::prepare(db, sql)) return;
        problem::Problem p = problem::of(problem::Kind::DbNotReadable);
        p.detail = sqlite3_errmsg(db);
        p.tag = table;  // the table that cannot be read
        throw DbError(std::move(p));
    };
    prepares("Phrase", kPhraseQuery);
    if (hasTable(db, "Surname")) prepares("Surname", kSurnameQuery);
    if (hasTable(db, "Dominant")) prepares("Dominant", kDominantQuery);
    if (hasTable(db, "Variant")) prepares("Variant", kVariantQuery);
    return true;
}

std::shared_ptr<const PhraseModel> PhraseModel::load(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return nullptr;
    std::shared_ptr<PhraseModel> m(new PhraseModel());
    // The table's key keeps the words in order, and the trie is built as they come; a table
    // made otherwise is read again and sorted first.
    if (!m->readWords(db, false)) {
        m.reset(new PhraseModel());
        m->readWords(db, true);
    }
    if (hasTable(db, "Surname")) m->readSurnames(db);
    if (hasTable(db, "Dominant")) m->readDominant(db);
    if (hasTable(db, "Variant")) m->readVariants(db);
    return m;
}

void PhraseModel::readSurnames(sqlite3* db) {
    eachRow(db, "Surname", kSurnameQuery, [&](sqlite3_stmt* s) {
        const std::u32string name = decode(columnText(s, 0));
        if (name.size() == 1 || name.size() == 2)
            surnames_.emplace_back(surnameKey(name[0], name.size() == 2 ? name[1] : 0),
                                   std::string(columnText(s, 1)));
    });
    // In key order for the search, the first row for a name kept.
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(surnames_.begin(), surnames_.end(), byKey);
    surnames_.erase(std::unique(surnames_.begin(), surnames_.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    surnames_.end());
}

void PhraseModel::readDominant(sqlite3* db) {
    eachRow(db, "Dominant", kDominantQuery, [&](sqlite3_stmt* s) {
        const std::u32string character = decode(columnText(s, 0));
        if (character.size() != 1) return;
        const float share = static_cast<float>(sqlite3_column_double(s, 2));
        dominant_.emplace(character[0], Dominant{std::string(columnText(s, 1)), share});
        if (share >= kSureShare && character[0] < 0x10000)
            sureBits_[character[0] / 64] |= std::uint64_t{1} << (character[0] % 64);
    });
}

void PhraseModel::readVariants(sqlite3* db) {
    eachRow(db, "Variant", kVariantQuery, [&](sqlite3_stmt* s) {
        const std::u32string character = decode(columnText(s, 0));
        const std::u32string to = decode(columnText(s, 1));
        if (character.size() == 1 && to.size() == 1 && character[0] < 0x10000 && to[0] < 0x10000) {
            simplified_[character[0]] = static_cast<char16_t>(to[0]);
            traditional_[character[0] / 64] |= std::uint64_t{1} << (character[0] % 64);
        }
    });
}

}  // namespace pinyin
