// Romanising a text: each GBK double-byte character looked up in the in-memory PinYin table.
#include "pinyin/lookup.h"

#include <unicode/uchar.h>

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
    if (!codepage::Codec::isGbkDoubleByte(c) || (u_isalnum(code) && !u_hasBinaryProperty(code, UCHAR_IDEOGRAPHIC)))
        codepage::utf8::append(out, c);
}

/// Fills in the word around the asked character and the reading each character of the text
/// takes without asking (see ChooserRequest).
void describe(ChooserRequest& request, const TableRows& t,
              const std::vector<Suggestion>* suggestions, const std::vector<const Reading*>* cover) {
    const std::string_view text = request.allHz;
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
        request.readings.push_back(std::move(reading));
        if (static_cast<int>(units) + 1 == request.dyStr && s && s->wordLength > 0) {
            // The word's first character lies wordBack code points back.
            std::size_t start = from;
            for (std::size_t back = 0; back < s->wordBack; ++back) {
                do --start;
                while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80);
            }
            std::size_t end = start;
            for (std::size_t k = 0; k < s->wordLength && end < text.size(); ++k) codepage::utf8::next(text, end);
            request.word = std::string(text.substr(start, end - start));
            int at = 1;
            for (std::size_t k = 0; k < start;) at += codepage::utf8::next(text, k) > 0xFFFF ? 2 : 1;
            request.wordAt = at;
        }
        units += c > 0xFFFF ? 2 : 1;
    }
}

}  // namespace

Romaniser::Romaniser(const PinyinTable& table, const RunSettings& settings, Chooser* chooser)
    : table_(table), settings_(settings), chooser_(chooser) {}

std::string Romaniser::pinyin(std::string_view hz, std::string_view tag) {
    // Only the caller can know what manual choice without anyone to ask should mean.
    if (settings_.polyphone == Polyphone::Manual && !chooser_)
        throw std::logic_error("manual choice of readings without a chooser");
    const TableRows& t = table_.rows();
    const char* const pool = t.pool();
    std::string out;
    out.reserve(hz.size() * 2 + 8);

    // Asked for at the first polyphonic character, if at all. The storage is borrowed, so a
    // call made while a chooser is open gets its own.
    std::vector<Suggestion> suggestions = std::move(spare_);
    bool analysed = false;
    // The phrase data, asked for once a text: a window may switch modes between texts.
    const PhraseModel* phrases = nullptr;
    bool phrasesAsked = false;
    const auto phraseModel = [&] {
        if (!phrasesAsked) {
            phrases = table_.phrases();
            phrasesAsked = true;
        }
        return phrases;
    };

    // The word list wins over everything else. Its storage is borrowed like the suggestions'.
    std::vector<const Reading*> cover = std::move(listed_);
    const bool listed = words_ && words_->cover(hz, cover);
    if (starts_) starts_->clear();

    // A polyphonic character under a mode that looks at context or asks.
    const auto choose = [&](const Entry* e, char32_t c, int dyStr, std::size_t index) {
        const bool lower = settings_.letterCase == LetterCase::Lower;
        const Polyphone mode = settings_.polyphone;
        // Only a mode that reads the context asks for the phrase data, which is built at the
        // first such request. Manual choice reads it too: its suggestion is the one the chooser
        // preselects.
        const bool useContext = mode == Polyphone::Phrase || mode == Polyphone::Manual;
        const PhraseModel* model = useContext ? phraseModel() : nullptr;
        const Suggestion* hint = nullptr;
        if (model) {
            if (!analysed) {
                const bool nameField =
                    !tag.empty() && std::string_view(settings_.nameTags).find(tag) !=
                                        std::string_view::npos;
                model->analyse(hz, nameField, table_, suggestions);
                analysed = true;
            }
            if (index < suggestions.size() && !suggestions[index].reading.empty())
                hint = &suggestions[index];
        }

        const bool ask = mode == Polyphone::Manual && !(settings_.askOnlyWhenUnsure && hint && hint->sure);
        if (!ask) {
            const Reading& r = e->readings[hint ? hint->index : 0];
            selpy = r.stored;
            out += lower ? r.lower : r.asIs;
            return;
        }

        ChooserRequest request;
        request.allHz = std::string(hz);
        request.dyStr = dyStr;
        request.pystr = e->trimmed;
        codepage::utf8::append(request.hz, c);
        request.suggested = hint ? static_cast<int>(hint->index) : 0;
        request.tag = std::string(tag);
        // For a chooser that remembers the answer: the words around, found even where the mode
        // does not read them (a broken phrase table only leaves them out).
        if (!analysed) try {
                if (const PhraseModel* m = phraseModel()) {
                    m->analyse(hz, false, table_, suggestions);
                    analysed = true;
                }
            } catch (const DbError&) {
            }
        describe(request, t, analysed ? &suggestions : nullptr, listed ? &cover : nullptr);
        // No choice (the window closed another way) keeps the previous selpy as the reading.
        if (auto answer = chooser_->choose(request)) selpy = std::move(*answer);
        // The case scheme applies to the answer, as it stands once the chooser has closed.
        appendReading(out, *e, selpy, settings_.letterCase == LetterCase::Lower);
    };

    // Everything but the common case: a character without a pooled row, or with a row the
    // lookup does not use.
    const auto lookUpSlowly = [&](char32_t c, int dyStr, std::size_t index) {
        const Entry* e = codepage::Codec::isGbkDoubleByte(c) ? t.find(c) : nullptr;
        if (!e) {
            appendWithoutReading(out, c);
            return;
        }
        if (e->polyphonic) {
            choose(e, c, dyStr, index);
            return;
        }
        const Reading& r = e->readings.front();
        out += settings_.letterCase == LetterCase::Lower ? r.lower : r.asIs;
    };

    constexpr std::uint8_t kUsable = Hot::kRow | Hot::kDoubleByte | Hot::kPooled;
    const auto* const p = reinterpret_cast<const unsigned char*>(hz.data());
    const std::size_t n = hz.size();
    std::size_t position = 0;  // UTF-16 code units before the current character
    std::size_t index = 0;     // code points before the current character

    for (std::size_t i = 0; i < n; ++index) {
        if (starts_) starts_->push_back(out.size());
        if (p[i] < 0x80) {  // ASCII is never double-byte in GBK: copied through, no separator
            out += static_cast<char>(p[i++]);
            ++position;
            continue;
        }
        const char32_t c = nextCodePoint(hz, i);
        const int dyStr = static_cast<int>(position) + 1;
        position += c > 0xFFFF ? 2 : 1;

        if (listed && cover[index]) {
            const Reading& r = *cover[index];
            out += settings_.letterCase == LetterCase::Lower ? r.lower : r.asIs;
            if (const Entry* e = t.find(c); e && e->polyphonic) selpy = r.stored;
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
                    const bool takeFirst =
                        mode == Polyphone::Automatic ||
                        (mode == Polyphone::Phrase && !phraseModel());
                    if (!takeFirst) {
                        choose(t.find(c), c, dyStr, index);
                        continue;
                    }
                    selpy.assign(pool + h.pool, h.storedLen);
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
        lookUpSlowly(c, dyStr, index);
    }
    if (starts_) starts_->push_back(out.size());
    spare_ = std::move(suggestions);
    listed_ = std::move(cover);
    return out;
}

}  // namespace pinyin
