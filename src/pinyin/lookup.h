// Romanising a text from the readings of py.db.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pinyin/chooser.h"
#include "pinyin/phrase.h"
#include "pinyin/settings.h"
#include "pinyin/table.h"
#include "pinyin/words.h"

namespace pinyin {

/// Turns text into pinyin, character by character: a character GBK writes with two bytes is
/// looked up and contributes its reading and one space (nothing when it has no row); every
/// other character is copied through. Reads the letter case and polyphonic choice of
/// `settings` at every lookup. `lastReading` keeps the last reading taken for a polyphonic character,
/// across calls and records.
///
/// A polyphonic character takes, by mode: Automatic, its first reading; Phrase, the reading the
/// phrase data suggests, else the first; Manual, the chooser's answer (an unanswered question
/// reuses lastReading), and with askOnlyWhenUnsure a sure suggestion without asking; pinyin() throws
/// std::logic_error in Manual without a chooser. Without phrase data Phrase is Automatic.
/// Every reading taken becomes lastReading.
///
/// The cataloguer's word list comes before all of that, in every mode: a character that a
/// listed word covers takes the listed reading and is never asked about.
class Romaniser {
public:
    Romaniser(const PinyinTable& table, const RunSettings& settings, Chooser* chooser);

    /// The pinyin of `text`. `tag` is the field the text stands in (empty when unknown) and
    /// `subfield` the code of its subfield: they let the name rule read a surname at the start
    /// of a personal name's subfield a, and the chooser say where the text stands.
    std::string pinyin(std::string_view text, std::string_view tag = {}, char subfield = 'a');

    void setChooser(Chooser* chooser) { chooser_ = chooser; }
    /// The word list consulted before any other rule; nullptr for none. It may grow between
    /// two calls of pinyin() (a chooser that remembers a word).
    void setWords(const UserWords* words) { words_ = words; }
    /// When set, each call of pinyin() fills `starts` with where the pinyin of each code point
    /// of the text begins in the result, and one entry more for the result's end.
    void setStarts(std::vector<std::size_t>* starts) { starts_ = starts; }

    std::string lastReading;

private:
    /// What one call of pinyin() keeps while it goes through its text (lookup.cpp).
    struct Call;
    /// The pinyin of every character of the call's text, appended in turn.
    void romanise(Call& call);
    /// Appends the pinyin of `c` where its hot slot does not settle it: a character without a
    /// pooled row, or with a row the lookup does not use. `position` and `index` are where
    /// it stands, 1-based in UTF-16 code units and 0-based in code points.
    void lookUpSlowly(Call& call, char32_t c, int position, std::size_t index);
    /// Appends the reading of polyphonic `c` (row `e`) under a mode that reads the context or
    /// asks.
    void choose(Call& call, const Entry& e, char32_t c, int position, std::size_t index);
    /// The phrase data's suggestion for the character at `index`, analysing the text at the
    /// first call; nullptr when the phrase data is missing or says nothing.
    const Suggestion* suggestion(Call& call, std::size_t index);
    /// Asks the chooser about `c` and appends its answer (or lastReading, when it gives none).
    void ask(Call& call, const Entry& e, char32_t c, int position, const Suggestion* hint);

    const PinyinTable& table_;
    const RunSettings& settings_;
    Chooser* chooser_;
    const UserWords* words_ = nullptr;
    std::vector<std::size_t>* starts_ = nullptr;
    /// The listed reading of each code point of the current text (see UserWords::cover).
    std::vector<const Reading*> listed_;
    /// Storage for the suggestions of one text, lent to each call of pinyin() in turn.
    std::vector<Suggestion> spare_;
};

}  // namespace pinyin
