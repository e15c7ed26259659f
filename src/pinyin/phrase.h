// Readings that the surrounding words call for: the phrase data of py.db and its segmenter.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace pinyin {

class PinyinTable;

/// What the context says about one character of a text.
struct Suggestion {
    std::string reading;  ///< a reading as stored (capital initial); empty when context says nothing
    bool sure = false;    ///< settled without asking: a known word, the name rule, a dominant reading
};

/// The phrase tables of py.db, immutable once loaded.
class PhraseModel {
public:
    /// Loads the phrase tables from an open py.db; nullptr when the database has none (the two
    /// plain modes then serve alone). Throws DbError when the tables exist but cannot be read.
    static std::shared_ptr<const PhraseModel> load(sqlite3* db);

    /// One suggestion per code point of `text`. `nameField`: the text is subfield a of a
    /// personal-name field, so it starts with a surname.
    std::vector<Suggestion> analyse(std::string_view text, bool nameField,
                                    const PinyinTable& table) const;

    virtual ~PhraseModel() = default;
};

}  // namespace pinyin
