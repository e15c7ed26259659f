// Placeholder until the phrase data lands: no phrase tables, so context never decides.
#include "pinyin/phrase.h"

namespace pinyin {

std::shared_ptr<const PhraseModel> PhraseModel::load(sqlite3*) { return nullptr; }

std::vector<Suggestion> PhraseModel::analyse(std::string_view, bool, const PinyinTable&) const {
    return {};
}

}  // namespace pinyin
