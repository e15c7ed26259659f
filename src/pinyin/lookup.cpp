// Romanising a text: each GBK double-byte character looked up in the in-memory PinYin table.
#include "pinyin/lookup.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <cstdint>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/phrase.h"
#include "pinyin/rows.h"
#include "pinyin/utf8_next.h"

namespace pinyin {
namespace {

constexpr char32_t kSmallUDiaeresisAcute = 0x01D8;  // "ǘ", written "v" in the pinyin

/// The appended form of `reading`: precomputed when it is one of the entry's readings (it
/// nearly always is), worked out here for anything else a chooser may answer.
void appendReading(std::string& out, const Entry& e, const std::string& reading, bool lower) {
    for (const Reading& r : e.readings)
        if (r.stored == reading) {
            out += lower ? r.lower : r.asIs;
            return;
        }
    out += readingOut(reading, lower);
}

/// A character without a row in the table. Characters outside GBK's double-byte range are copied
/// as they are, like ASCII; within it, letters and digits of any script (ā, Greek, Cyrillic) are
/// copied too, while punctuation, symbols and Chinese characters without a reading drop out.
void appendWithoutReading(std::string& out, char32_t c) {
    if (c == kSmallUDiaeresisAcute) {
        out += 'v';
        return;
    }
    const auto code = static_cast<UChar32>(c);
    if (!codepage::Codec::isGbkDoubleByte(c) ||
        (u_isalnum(code) && !u_hasBinaryProperty(code, UCHAR_IDEOGRAPHIC)))
        codepage::utf8::append(out, c);
}

/// Whether the text written so far ends in a digit or a letter of an alphabet written with
/// spaces between words (Latin, Greek, Cyrillic), copied through: never a syllable, for every
/// reading ends in a space.
bool endsInLetterOrDigit(const std::string& out) {
    if (out.empty()) return false;
    const auto last = static_cast<unsigned char>(out.back());
    if (last < 0x80) return (last >= '0' && last <= '9') || ((last | 0x20) >= 'a' && (last | 0x20) <= 'z');
    std::size_t at = out.size() - 1;
    while (at > 0 && (static_cast<unsigned char>(out[at]) & 0xC0) == 0x80) --at;
    std::size_t i = at;
    const auto c = static_cast<UChar32>(codepage::utf8::next(out, i));
    if (u_isdigit(c)) return true;
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(c, &status);
    return u_isalpha(c) && (script == USCRIPT_LATIN || script == USCRIPT_GREEK || script == USCRIPT_CYRILLIC);
}

/// Fills in the word around the asked character and the reading each character of the text
/// takes without asking (see ChooserRequest).
void describe(ChooserRequest& request, const TableRows& t, const std::vector<Suggestion>* suggestions,
              const std::vector<const Reading*>* cover) {
    const std::string_view text = request.text;
    std::size_t units = 0;
    for (std::size_t i = 0, j = 0; i < text.size(); ++j) {
        const std::size_t from = i;
        const char32_t c = codepage::utf8::next(text, i);
        const Suggestion* s = suggestions && j < suggestions->size() ? &(*suggestions)[j] : nullptr;
        const Entry* e = codepage::Codec::isGbkDoubleByte(c) ? t.find(c) : nullptr;
        std::string reading;
        if (cover && (*cover)[j])
            reading = (*cover)[j]->stored;
        else if (s && !s->reading.empty())
            reading = s->reading;
        else if (e)
            reading = e->readings.front().stored;
        request.textReadings.push_back(std::move(reading));
        if (static_cast<int>(units) + 1 == request.position && s && s->wordLength > 0) {
            // The word's first character lies wordBack code points back.
            std::size_t start = from;
            for (std::size_t back = 0; back < s->wordBack; ++back) {
                do --start;
                while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80);
            }
            std::size_t end = start;
            for (std::size_t k = 0; k < s->wordLength && end < text.size(); ++k)
                codepage::utf8::next(text, end);
            request.word = std::string(text.substr(start, end - start));
            int at = 1;
            for (std::size_t k = 0; k < start;) at += codepage::utf8::next(text, k) > 0xFFFF ? 2 : 1;
            request.wordAt = at;
        }
        units += c > 0xFFFF ? 2 : 1;
    }
}

}  // namespace

struct Romaniser::Call {
    Call(std::string_view text, std::string_view tag, char subfield, const TableRows& rows)
        : text(text), tag(tag), subfield(subfield), rows(rows) {}

    std::string_view text;
    std::string_view tag;
    char subfield;
    const TableRows& rows;
    std::string out;
    /// Asked for at the first polyphonic character, if at all; the storage is borrowed, so a
    /// call made while a chooser is open gets its own.
    std::vector<Suggestion> suggestions;
    bool analysed = false;
    /// The listed reading of each code point (see UserWords::cover), borrowed alike.
    std::vector<const Reading*> cover;
    bool listed = false;
    /// The phrase data, asked for once a text: a window may switch modes between texts.
    const PhraseModel* phrases = nullptr;
    bool phrasesAsked = false;

    const PhraseModel* phraseModel(const PinyinTable& table) {
        if (!phrasesAsked) {
            phrases = table.phrases();
            phrasesAsked = true;
        }
        return phrases;
    }
};

Romaniser::Romaniser(const PinyinTable& table, const RunSettings& settings, Chooser* chooser)
    : table_(table), settings_(settings), chooser_(chooser) {}

std::string Romaniser::pinyin(std::string_view text, std::string_view tag, char subfield) {
    // Only the caller can know what manual choice without anyone to ask should mean.
    if (settings_.polyphone == Polyphone::Manual && !chooser_)
        throw std::logic_error("manual choice of readings without a chooser");
    Call call{text, tag, subfield, table_.rows()};
    call.out.reserve(text.size() * 2 + 8);
    call.suggestions = std::move(spare_);
    // The word list wins over everything else.
    call.cover = std::move(listed_);
    call.listed = words_ && words_->cover(text, call.cover);
    if (starts_) starts_->clear();
    romanise(call);
    if (starts_) starts_->push_back(call.out.size());
    spare_ = std::move(call.suggestions);
    listed_ = std::move(call.cover);
    return std::move(call.out);
}

void Romaniser::romanise(Call& call) {
    const TableRows& t = call.rows;
    const char* const pool = t.pool();
    std::string& out = call.out;
    constexpr std::uint8_t kUsable = Hot::kRow | Hot::kDoubleByte | Hot::kPooled;
    const std::string_view text = call.text;
    const auto* const p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t units = 0;  // UTF-16 code units before the current character
    std::size_t index = 0;  // code points before the current character

    for (std::size_t i = 0; i < text.size(); ++index) {
        if (starts_) starts_->push_back(out.size());
        if (p[i] < 0x80) {  // ASCII is never double-byte in GBK: copied through, no separator
            out += static_cast<char>(p[i++]);
            ++units;
            continue;
        }
        const char32_t c = nextCodePoint(text, i);
        const int position = static_cast<int>(units) + 1;
        units += c > 0xFFFF ? 2 : 1;
        // A syllable after digits or letters: set apart when asked (a Chinese character with a
        // row always gives one).
        if (settings_.spacing == Spacing::Apart && endsInLetterOrDigit(out) &&
            u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_IDEOGRAPHIC) &&
            codepage::Codec::isGbkDoubleByte(c) && t.find(c)) {
            out += ' ';
            if (starts_) starts_->back() = out.size();
        }

        if (call.listed && call.cover[index]) {
            const Reading& r = *call.cover[index];
            out += settings_.letterCase == LetterCase::Lower ? r.lower : r.asIs;
            if (const Entry* e = t.find(c); e && e->polyphonic) lastReading = r.stored;
            continue;
        }

        if (c < 0x10000) {
            const Hot h = t.hot(c);
            if ((h.flags & kUsable) == kUsable) {
                // The settings are read afresh at every lookup: a change during a run applies
                // from the next character on.
                const bool lower = settings_.letterCase == LetterCase::Lower;
                const char* forms = pool + h.pool + h.storedLen;
                if (h.flags & Hot::kPolyphonic) {
                    const Polyphone mode = settings_.polyphone;
                    const bool takeFirst = mode == Polyphone::Automatic ||
                                           (mode == Polyphone::Phrase && !call.phraseModel(table_));
                    if (!takeFirst) {
                        choose(call, *t.find(c), c, position, index);
                        continue;
                    }
                    lastReading.assign(pool + h.pool, h.storedLen);
                }
                if (lower)
                    out.append(forms + h.asIsLen, h.lowerLen);
                else
                    out.append(forms, h.asIsLen);
                continue;
            }
            if (!(h.flags & Hot::kRow)) {
                appendWithoutReading(out, c);
                continue;
            }
        }
        lookUpSlowly(call, c, position, index);
    }
}

void Romaniser::lookUpSlowly(Call& call, char32_t c, int position, std::size_t index) {
    const Entry* e = codepage::Codec::isGbkDoubleByte(c) ? call.rows.find(c) : nullptr;
    if (!e) {
        appendWithoutReading(call.out, c);
        return;
    }
    if (e->polyphonic) {
        choose(call, *e, c, position, index);
        return;
    }
    const Reading& r = e->readings.front();
    call.out += settings_.letterCase == LetterCase::Lower ? r.lower : r.asIs;
}

void Romaniser::choose(Call& call, const Entry& e, char32_t c, int position, std::size_t index) {
    const Polyphone mode = settings_.polyphone;
    // Only a mode that reads the context asks for the phrase data, which is built at the first
    // such request. Manual choice reads it too: its suggestion is the one the chooser
    // preselects.
    const bool useContext = mode == Polyphone::Phrase || mode == Polyphone::Manual;
    const Suggestion* hint = useContext ? suggestion(call, index) : nullptr;
    if (mode == Polyphone::Manual && !(settings_.askOnlyWhenUnsure && hint && hint->sure)) {
        ask(call, e, c, position, hint);
        return;
    }
    const Reading& r = e.readings[hint ? hint->index : 0];
    lastReading = r.stored;
    call.out += settings_.letterCase == LetterCase::Lower ? r.lower : r.asIs;
}

const Suggestion* Romaniser::suggestion(Call& call, std::size_t index) {
    const PhraseModel* model = call.phraseModel(table_);
    if (!model) return nullptr;
    if (!call.analysed) {
        // A surname starts a name's subfield a; its other parts ($b, $c) hold none.
        const bool nameField = call.subfield == 'a' && !call.tag.empty() &&
                               std::string_view(settings_.nameTags).find(call.tag) != std::string_view::npos;
        model->analyse(call.text, nameField, table_, call.suggestions);
        call.analysed = true;
    }
    if (index < call.suggestions.size() && !call.suggestions[index].reading.empty())
        return &call.suggestions[index];
    return nullptr;
}

void Romaniser::ask(Call& call, const Entry& e, char32_t c, int position, const Suggestion* hint) {
    ChooserRequest request;
    request.text = std::string(call.text);
    request.position = position;
    request.readings = e.trimmed;
    codepage::utf8::append(request.character, c);
    request.suggested = hint ? static_cast<int>(hint->index) : 0;
    request.tag = std::string(call.tag);
    request.subfield = call.subfield;
    // For a chooser that remembers the answer: the words around, found even where the mode
    // does not read them (a broken phrase table only leaves them out).
    if (!call.analysed) try {
            if (const PhraseModel* m = call.phraseModel(table_)) {
                m->analyse(call.text, false, table_, call.suggestions);
                call.analysed = true;
            }
        } catch (const DbError&) {
        }
    describe(request, call.rows, call.analysed ? &call.suggestions : nullptr,
             call.listed ? &call.cover : nullptr);
    // No choice (the window closed another way) keeps the previous lastReading as the reading.
    if (auto answer = chooser_->choose(request)) lastReading = std::move(*answer);
    // A word the chooser has just added to the list holds at once, for the rest of this text
    // too: the characters after this one are covered afresh (an entry it replaced is gone).
    if (words_ && !words_->empty()) call.listed = words_->cover(call.text, call.cover);
    // The case scheme applies to the answer, as it stands once the chooser has closed.
    appendReading(call.out, e, lastReading, settings_.letterCase == LetterCase::Lower);
}

}  // namespace pinyin
