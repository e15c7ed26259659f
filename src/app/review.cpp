// Gathering the unsure readings of an input, and a run that takes the cataloguer's answers.
#include "app/review.h"

#include <algorithm>
#include <unordered_map>

#include "codepage/utf8.h"
#include "marc/databar.h"
#include "pinyin/readings.h"
#include "text/ascii.h"
#include "text/working_line.h"

namespace app {
namespace {

/// The code points of `text`, as views into it.
std::vector<std::string_view> codePoints(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t from = i;
        codepage::utf8::next(text, i);
        out.push_back(text.substr(from, i - from));
    }
    return out;
}

/// The 0-based code point at the 1-based UTF-16 `position` of `text`.
std::size_t codePointAt(std::string_view text, int position) {
    std::size_t units = 0, index = 0;
    for (std::size_t i = 0; i < text.size(); ++index) {
        if (static_cast<int>(units) + 1 >= position) return index;
        units += codepage::utf8::next(text, i) > 0xFFFF ? 2 : 1;
    }
    return index;
}

bool isNeighbour(std::string_view c) {
    if (c.empty()) return false;
    const auto b = static_cast<unsigned char>(c[0]);
    if (b <= 0x20 || b == 0x7F) return false;
    return c != "\u3000" && c != "\u00A0";
}

/// The record's 001, trimmed, from its working text.
std::string identifierOf(std::string_view working) {
    for (const std::string_view line : text::linesOf(working))
        if (line.starts_with("001")) return std::string(text::trimSpaces(marc::withBars(line.substr(3))));
    return {};
}

/// Passes everything on to the front end's observer, and gives the run its own chooser.
class Relay : public BatchObserver {
public:
    Relay(BatchObserver& inner, pinyin::Chooser& chooser) : inner_(inner), chooser_(chooser) {}
    void started(RunControl& run) override { inner_.started(run); }
    void recordStarted(std::int64_t number, std::string_view working) override {
        number_ = number;
        working_ = working;
        onRecord(number, working);
        inner_.recordStarted(number, working);
    }
    void recordDone(std::int64_t count) override { inner_.recordDone(count); }
    void recordsWritten(std::int64_t written) override { inner_.recordsWritten(written); }
    void recordFailed(const RecordFailure& failure) override { inner_.recordFailed(failure); }
    void progress(std::uint64_t done, std::uint64_t total) override { inner_.progress(done, total); }
    bool yieldPoint() override { return inner_.yieldPoint(); }
    pinyin::Chooser* chooser() override { return &chooser_; }
    void finished(const BatchResult& result) override { inner_.finished(result); }

    std::function<void(std::int64_t, std::string_view)> onRecord = [](std::int64_t, std::string_view) {};
    std::int64_t number_ = 0;
    std::string_view working_;

private:
    BatchObserver& inner_;
    pinyin::Chooser& chooser_;
};

/// Keeps every question and answers it as the phrase mode would.
class Gatherer : public pinyin::Chooser {
public:
    const Relay* relay = nullptr;  // where the record being read is

    std::optional<std::string> choose(const pinyin::ChooserRequest& r) override {
        ++questions;
        ReviewKey key = reviewKey(r);
        auto [it, added] = index_.try_emplace(key.word + '\t' + std::to_string(key.index), groups.size());
        if (added) {
            ReviewGroup g;
            g.key = std::move(key);
            g.character = r.character;
            for (std::string_view s : pinyin::splitReadings(r.readings)) g.readings.emplace_back(s);
            g.suggested = static_cast<std::uint32_t>(std::max(r.suggested, 0));
            groups.push_back(std::move(g));
        }
        ReviewGroup& g = groups[it->second];
        ++g.count;
        if (g.places.size() < kReviewTextsKept) {
            if (idFor_ != relay->number_) {
                id_ = identifierOf(relay->working_);
                idFor_ = relay->number_;
            }
            g.places.push_back({relay->number_, r.tag, id_, r.text,
                                static_cast<std::uint32_t>(codePointAt(r.text, r.position))});
        } else {
            g.more.push_back(relay->number_);
        }
        const std::string_view reading = pinyin::readingAt(r.readings, g.suggested);
        if (reading.empty()) return std::nullopt;
        return std::string(reading);
    }

    std::vector<ReviewGroup> groups;
    std::int64_t questions = 0;

private:
    std::unordered_map<std::string, std::size_t> index_;
    std::string id_;
    std::int64_t idFor_ = -1;
};

bool sameReading(std::string_view a, std::string_view b) { return text::toLower(a) == text::toLower(b); }

}  // namespace

ReviewKey reviewKey(const pinyin::ChooserRequest& r) {
    const std::vector<std::string_view> chars = codePoints(r.text);
    const std::size_t at = codePointAt(r.text, r.position);
    if (!r.word.empty() && r.wordAt > 0) {
        const std::size_t start = codePointAt(r.text, r.wordAt);
        if (start <= at) return {r.word, static_cast<std::uint32_t>(at - start + 1)};
    }
    ReviewKey key;
    if (at > 0 && isNeighbour(chars[at - 1])) {
        key.word = chars[at - 1];
        key.index = 2;
    }
    if (at < chars.size()) key.word += chars[at];
    if (at + 1 < chars.size() && isNeighbour(chars[at + 1])) key.word += chars[at + 1];
    return key;
}

ReviewGathering gatherReview(BatchOptions options, const pinyin::RunSettings& settings,
                             BatchObserver& observer) {
    // The pass is a run in the quieter manual mode whose records go nowhere: it reads, frames
    // and refuses exactly what a run does, and asks where that mode asks.
    options.outputPath = "/dev/null";
    options.rejectsPath = "/dev/null";
    options.describeFailure = nullptr;
    options.identifierStatePath.clear();
    options.repairTail = false;
    options.skip = 0;
    pinyin::RunSettings asking = settings;
    asking.polyphone = pinyin::Polyphone::Manual;
    asking.askOnlyWhenUnsure = true;
    Gatherer g;
    Relay relay(observer, g);
    g.relay = &relay;
    ReviewGathering out;
    out.run = runBatch(options, asking, relay);
    out.questions = g.questions;
    out.groups = std::move(g.groups);
    std::stable_sort(out.groups.begin(), out.groups.end(),
                     [](const ReviewGroup& a, const ReviewGroup& b) { return a.count > b.count; });
    return out;
}

void ReviewChooser::startRecord(std::int64_t number) {
    record_ = number;
    inRecord_.clear();
}

std::optional<std::string> ReviewChooser::choose(const pinyin::ChooserRequest& r) {
    const ReviewKey key = reviewKey(r);
    const std::vector<std::string_view> readings = pinyin::splitReadings(r.readings);
    std::string_view reading =
        pinyin::readingAt(r.readings, static_cast<std::size_t>(std::max(r.suggested, 0)));
    const std::uint32_t nth = ++inRecord_[key];
    const auto place = answers_.places.find({key, {record_, nth}});
    const auto group = answers_.groups.find(key);
    const std::string* answer = place != answers_.places.end()   ? &place->second
                                : group != answers_.groups.end() ? &group->second.reading
                                                                 : nullptr;
    // An answer that is none of the character's readings (a file edited by hand after it was
    // read) leaves the suggestion.
    if (answer)
        for (std::string_view s : readings)
            if (sameReading(s, *answer)) reading = s;
    if (group != answers_.groups.end() && group->second.remember && !words_.contains(key.word)) {
        // The word's syllables as this text reads them without asking; the answers of its
        // groups go in afterwards (remembered()).
        const std::size_t at = codePointAt(r.text, r.position);
        const std::size_t start = at + 1 - key.index;
        std::vector<std::string> syllables;
        const std::size_t length = codePoints(key.word).size();
        for (std::size_t k = start; k < start + length && k < r.textReadings.size(); ++k)
            syllables.push_back(text::toLower(r.textReadings[k]));
        words_.emplace(key.word, std::move(syllables));
    }
    if (reading.empty()) return std::nullopt;
    return std::string(reading);
}

std::vector<std::pair<std::string, std::string>> ReviewChooser::remembered() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [word, readings] : words_) {
        std::vector<std::string> syllables = readings;
        for (const auto& [key, answer] : answers_.groups)
            if (key.word == word && key.index >= 1 && key.index <= syllables.size())
                syllables[key.index - 1] = text::toLower(answer.reading);
        std::string joined;
        for (const std::string& s : syllables) {
            if (s.empty()) continue;
            if (!joined.empty()) joined += ' ';
            joined += s;
        }
        out.emplace_back(word, std::move(joined));
    }
    return out;
}

BatchResult runWithAnswers(const BatchOptions& options, pinyin::RunSettings settings,
                           const ReviewAnswers& answers, BatchObserver& observer,
                           std::vector<std::pair<std::string, std::string>>* remembered) {
    // The quieter manual mode answers as the phrase mode where it is sure; where it would ask,
    // the answers do.
    settings.polyphone = pinyin::Polyphone::Manual;
    settings.askOnlyWhenUnsure = true;
    ReviewChooser chooser(answers);
    Relay relay(observer, chooser);
    relay.onRecord = [&chooser](std::int64_t number, std::string_view) { chooser.startRecord(number); };
    BatchResult result = runBatch(options, settings, relay);
    if (remembered) *remembered = chooser.remembered();
    return result;
}

}  // namespace app
