// The phrase model: choosing readings by the best segmentation of a text into known words.
#include "pinyin/phrase.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "pinyin/phrase_internal.h"
#include "pinyin/readings.h"
#include "pinyin/rows.h"
#include "pinyin/table.h"
#include "pinyin/utf8_next.h"

namespace pinyin {

using phrase_detail::surnameKey;

namespace {

/// Fills in `s` when `reading` is one of the character's readings, and says whether it is.
/// Only such readings are suggested: the word list may know a reading that the PinYin table
/// does not.
bool suggest(Suggestion& s, std::string_view reading, const Entry& e, bool sure) {
    if (reading.empty()) return false;
    for (std::size_t k = 0; k < e.readings.size(); ++k)
        if (e.readings[k].stored == reading) {
            s = Suggestion{e.readings[k].stored, static_cast<std::uint32_t>(k), sure};
            return true;
        }
    return false;
}

/// Stands for the row of every character with one reading: segmentation only needs to know
/// that it has a row.
const Entry kPlain{};

}  // namespace

std::vector<Suggestion> PhraseModel::analyse(std::string_view text, bool nameField,
                                             const PinyinTable& table) const {
    std::vector<Suggestion> out;
    analyse(text, nameField, table, out);
    return out;
}

/// The code points of a text, traditional ones folded to simplified, and the table's row for
/// each (the original character's); kept between calls, for a thread, and only growing.
struct PhraseModel::Text {
    std::vector<char32_t> chars;
    std::vector<const Entry*> rows;
    std::vector<const Entry*> simplifiedRows;  ///< the folded character's row
    std::vector<std::uint8_t> polyphonic;      ///< the row's flag, kept at hand
};

void PhraseModel::analyse(std::string_view text, bool nameField, const PinyinTable& table,
                          std::vector<Suggestion>& out) const {
    thread_local Text t;
    const std::size_t count = lookUp(text, table.rows(), t);
    out.assign(count, Suggestion{});
    std::size_t givenName = 0;
    if (nameField) {
        // A name or word known as a whole from the first character on (查尔斯 Cha, 曾参 Shen)
        // reads as the segmentation finds it; the surname rule decides only where no known
        // word starts there.
        std::size_t start = 0;
        while (start < count && t.chars[start] == U' ') ++start;
        if (start < count && t.polyphonic[start]) {
            segmentRuns(t, start, count, out.data());
            if (out[start].wordLength >= 2 && out[start].wordBack == 0 &&
                knownNameWins(&t.chars[start], count - start, out[start])) {
                lifeAfterName(t.chars.data(), t.rows.data(), count, out.data());
                foreignNames(t.chars.data(), t.rows.data(), 0, count, out.data());
                grammarWords(t.chars.data(), t.rows.data(), count, out.data());
                return;
            }
            out.assign(count, Suggestion{});
        }
        givenName = readSurname(t, count, out.data());
    }
    segmentRuns(t, givenName, count, out.data());
    lifeAfterName(t.chars.data(), t.rows.data(), count, out.data());
    foreignNames(t.chars.data(), t.rows.data(), givenName, count, out.data());
    grammarWords(t.chars.data(), t.rows.data(), count, out.data());
}

bool PhraseModel::knownNameWins(const char32_t* chars, std::size_t n, const Suggestion& first) const {
    // The word list holds many Chinese names with the everyday reading of their surname (单霁翔
    // dan, 种师道 zhong): a word that reads a surname otherwise wins only when it is a foreign
    // name, told by a character of transcription after the first (查尔斯, 盖茨, 柏拉图).
    const auto [len, py] = surname(chars, n);
    if (len == 0 || readingAt(*py, 0) == first.reading) return true;
    constexpr std::u32string_view kTranscription = U"尔斯克特夫姆兹茨伊奥埃萨恩拉莱洛罗诺普娅丝蒂迪维格";
    for (std::size_t k = 1; k < first.wordLength && k < n; ++k)
        if (kTranscription.find(chars[k]) != std::u32string_view::npos) return true;
    return false;
}

bool PhraseModel::isWord(const char32_t* chars, std::size_t n) const {
    std::uint32_t node = 0;
    for (std::size_t k = 0; k < n && (k == 0 || node); ++k) node = child(node, chars[k]);
    return node && nodes_[node].weight != 0;
}

void PhraseModel::foreignNames(const char32_t* chars, const Entry* const* rows, std::size_t from,
                               std::size_t count, Suggestion* out) const {
    // Foreign names are written with a small set of characters, each with the reading the
    // transcription tables give it. A polyphonic one of them that no known word holds takes
    // that reading beside another such character: 欧什 shi, 柏柏尔 bo, 欧文伯林 bo, 茜拉 xi.
    // A surname the name rule read (before `from`) stays.
    constexpr std::u32string_view kSyllables =
        U"阿埃艾安奥欧巴贝比彼波勃布达德迪蒂多恩尔法菲费夫弗福盖戈格古哈赫胡霍基吉加杰喀卡凯坎科克"
        U"库拉莱赖兰朗劳勒雷蕾里利莉列林琳卢鲁伦罗洛玛马迈麦曼梅蒙米密姆莫穆纳娜内尼妮诺帕佩皮"
        U"普齐奇恰乔萨塞桑森沙莎舍施什斯丝苏索塔泰坦汤特提图托瓦威韦维沃乌西希谢休雅亚扬耶伊"
        U"因尤约泽扎兹佐娅茨";
    struct Transcribed {
        char32_t c;
        const char* reading;
        bool ownInNames;  ///< Chinese names read it otherwise (茜 qian, 柏 bai)
    };
    static constexpr Transcribed kReadings[] = {
        {U'什', "Shi", false}, {U'伯', "Bo", false},  {U'柏', "Bo", true},   {U'塞', "Sai", false},
        {U'卡', "Ka", false},  {U'扎', "Zha", false}, {U'查', "Cha", false}, {U'茜', "Xi", true},
        {U'忒', "Te", false},  {U'佛', "Fo", false},  {U'阿', "A", false},   {U'裨', "Pi", false},
    };
    const auto syllable = [&](std::size_t i) {
        return i < count && rows[i] && kSyllables.find(chars[i]) != std::u32string_view::npos;
    };
    // A surname that starts a run starts a Chinese name as likely as a foreign one: where such
    // a name reads the character otherwise, 林茜, 胡茜 and 柏丽 keep qian and bai.
    const auto surnameStarts = [&](std::size_t i) {
        return (i == 0 || !rows[i - 1]) && surname(chars + i, 1).first == 1;
    };
    for (std::size_t i = from; i < count; ++i) {
        if (!rows[i] || !rows[i]->polyphonic || out[i].wordLength != 0) continue;
        for (const Transcribed& t : kReadings) {
            if (t.c != chars[i]) continue;
            const bool name = t.ownInNames;
            if (name && surnameStarts(i)) break;
            if ((i > 0 && syllable(i - 1) && !(name && surnameStarts(i - 1))) || syllable(i + 1))
                suggest(out[i], t.reading, *rows[i], true);
            break;
        }
    }
}

void PhraseModel::grammarWords(const char32_t* chars, const Entry* const* rows, std::size_t count,
                               Suggestion* out) const {
    // The small words of running text, which the words around decide where the word list
    // cannot: it has no word for 高兴地, and reads 不了 as bu le and 穿着 as chuan zhuo.
    const auto han = [&](std::size_t i) { return i < count && rows[i] != nullptr; };
    const auto settle = [&](std::size_t i, std::string_view reading) {
        if (rows[i]->polyphonic) suggest(out[i], reading, *rows[i], true);
    };
    const auto in = [](char32_t c, std::u32string_view set) {
        return set.find(c) != std::u32string_view::npos;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (!han(i)) continue;
        const bool alone = out[i].wordLength == 0;
        if (chars[i] == U'咳') {
            // The sigh hai is a clause of its own (咳，算了); beside another character it is
            // the cough: 咳出, 久咳不止.
            if (alone && ((i > 0 && han(i - 1)) || han(i + 1))) settle(i, "Ke");
            continue;
        }
        if (chars[i] == U'幢' && alone && i > 0 && han(i - 1)) {
            // A measure word after a number or a demonstrative (三幢楼, 这幢): zhuang; after
            // any other character the pillar or banner (铁幢, 的幢身): chuang. After digits or
            // punctuation (4000幢) it keeps the reading it takes alone.
            settle(i,
                   in(chars[i - 1], U"一二两三四五六七八九十百千万几多数每这那此该整") ? "Zhuang" : "Chuang");
            continue;
        }
        if (chars[i] == U'长' && alone && han(i + 1) && in(chars[i + 1], U"高胖壮肥") && han(i + 2) &&
            in(chars[i + 2], U"了起得")) {
            // Grew, before what the growing made and an aspect: 他长高了, 长胖起来.
            settle(i, "Zhang");
            continue;
        }
        if (i == 0 || !han(i - 1)) continue;
        const char32_t c = chars[i], before = chars[i - 1];
        const bool clauseEnds = !han(i + 1) || chars[i + 1] == U'了';
        switch (c) {
            case U'地':
                // After an adverbial (a reduplicated word, a known word of two or four
                // characters) and before the verb: 高兴地说, 慢慢地走, 小心翼翼地.
                if (alone && han(i + 1) &&
                    ((i >= 2 && han(i - 2) && before == chars[i - 2]) ||
                     (i >= 2 && han(i - 2) && isWord(chars + i - 2, 2)) ||
                     (i >= 4 && han(i - 4) && han(i - 3) && han(i - 2) && isWord(chars + i - 4, 4))))
                    settle(i, "De");
                break;
            case U'得':
                // Must, after a person or an adverb of time and before a verb: 我得走了, 还得去.
                if (alone && han(i + 1) && in(before, U"我你他她它们咱您谁还就也总又都可") &&
                    !in(chars[i + 1], U"了着过到"))
                    settle(i, "Dei");
                // Must, before an adverb of manner doubled and its verb: 这件事得慢慢来, 你得好好
                // 想想. A complement doubled ends its clause or pairs again (过得好好的, 说得清清
                // 楚楚); other doublings make words of their own (耍得团团转).
                else if (alone && han(i + 3) && chars[i + 1] == chars[i + 2] &&
                         in(chars[i + 1], U"好慢快早多细乖悄轻稳牢紧") &&
                         !in(chars[i + 3], U"的地了儿啊呀呢吧") &&
                         !(han(i + 4) && chars[i + 3] == chars[i + 4]))
                    settle(i, "Dei");
                break;
            case U'着':
                // After a verb: zhe (她穿着大衣, 等着); can or cannot reach: zhao (睡不着).
                if (in(before, U"不得没")) break;
                if (alone ||
                    (out[i].wordLength == 2 && in(before, U"穿戴披") && han(i + 1) && chars[i + 1] != U'的'))
                    settle(i, "Zhe");
                break;
            case U'了':
                // Can or cannot, at the end of a clause: 吃不了, 受得了, 走不了了.
                if (in(before, U"不得") && clauseEnds) settle(i, "Liao");
                break;
            case U'率':
                // Led, before the troops it leads (率军, 率兵); the rate is a word's end (效率).
                if (alone && han(i + 1) && in(chars[i + 1], U"军兵部众师队团")) settle(i, "Shuai");
                break;
            case U'宿':
                // Nights counted (住了一宿, 两宿) and the lunar mansions (东方七宿, 尾宿, 娄宿): xiu.
                if (alone &&
                    in(before,
                       U"一二两三四五六七八九十几半整角亢氐房心尾箕斗牛虚危壁奎娄胃昴毕觜参井鬼柳翼轸"))
                    settle(i, "Xiu");
                break;
            case U'长':
                // Grew long: 头发长长了.
                if (before == U'长' && i + 1 < count && chars[i + 1] == U'了') {
                    settle(i - 1, "Zhang");
                    settle(i, "Chang");
                }
                break;
            default:
                break;
        }
    }
}

std::size_t PhraseModel::lookUp(std::string_view text, const TableRows& table, Text& t) const {
    // No more code points than bytes.
    if (t.chars.size() < text.size()) {
        t.chars.resize(text.size());
        t.rows.resize(text.size());
        t.simplifiedRows.resize(text.size());
        t.polyphonic.resize(text.size());
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const char32_t c = nextCodePoint(text, i);
        const char16_t folded = c < 0x10000 && (traditional_[c / 64] >> (c % 64)) & 1u ? simplified_[c] : 0;
        t.chars[count] = folded ? folded : c;
        // The hot slot says whether a BMP character has a row and several readings; only a
        // polyphonic character's full row is read.
        const Entry* e = nullptr;
        bool several = false;
        if (c >= 0x10000) {
            e = table.find(c);
            several = e && e->polyphonic;
        } else if (c >= 0x80) {
            const std::uint8_t flags = table.hot(c).flags;
            several = flags & Hot::kPolyphonic;
            if (several)
                e = table.find(c);
            else if (flags & Hot::kRow)
                e = &kPlain;
        }
        t.rows[count] = e;
        t.polyphonic[count] = several;
        const Entry* f = folded && several ? table.find(folded) : nullptr;
        t.simplifiedRows[count] = f ? f : e;
    }
    return count;
}

std::size_t PhraseModel::readSurname(const Text& t, std::size_t count, Suggestion* out) const {
    // The name starts with its surname: a double one when the first two characters make
    // one, else a single one. The given name after it is segmented on its own.
    std::size_t start = 0;
    while (start < count && t.chars[start] == U' ') ++start;
    const auto [len, py] = surname(&t.chars[start], count - start);
    for (std::size_t k = 0; k < len; ++k) {
        const Entry* e = t.rows[start + k];
        if (e && e->polyphonic) suggest(out[start + k], readingAt(*py, k), *e, true);
    }
    return start + len;
}

void PhraseModel::segmentRuns(const Text& t, std::size_t from, std::size_t count, Suggestion* out) const {
    // Runs of characters that the table reads; punctuation without a row and ASCII end a run.
    for (std::size_t i = from; i < count;) {
        if (!t.rows[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        std::size_t lastPolyphonic = 0;  // past the run's last polyphonic character; 0: none
        for (; j < count && t.rows[j]; ++j)
            if (t.polyphonic[j]) lastPolyphonic = j - i + 1;
        if (lastPolyphonic)
            segment(&t.chars[i], &t.rows[i], &t.simplifiedRows[i], j - i, lastPolyphonic, &out[i]);
        i = j;
    }
}

std::pair<std::size_t, const std::string*> PhraseModel::surname(const char32_t* chars, std::size_t n) const {
    for (std::size_t len : {std::size_t{2}, std::size_t{1}}) {
        if (len > n) continue;
        const std::uint64_t key = surnameKey(chars[0], len == 2 ? chars[1] : 0);
        const auto it = std::lower_bound(
            surnames_.begin(), surnames_.end(), key,
            [](const std::pair<std::uint64_t, std::string>& s, std::uint64_t k) { return s.first < k; });
        if (it != surnames_.end() && it->first == key) return {len, &it->second};
    }
    return {0, nullptr};
}

void PhraseModel::lifeAfterName(const char32_t* chars, const Entry* const* rows, std::size_t count,
                                Suggestion* out) const {
    // A title that is a name and 传 (李白传, 苏东坡传, 司马迁传) is a life: zhuan. Only when
    // the name and 传 make the last run of the text, with nothing read after them (the
    // punctuation of a title may follow), and the segmentation left 传 standing alone, so
    // that 流传, 宣传 and 相传 (广为流传, 代代相传) keep their words' readings.
    std::size_t last = count;
    while (last > 0 && !rows[last - 1]) --last;
    if (last < 3 || chars[last - 1] != U'传' || out[last - 1].wordLength != 0) return;
    const Entry* zhuan = rows[last - 1];
    if (!zhuan->polyphonic) return;
    std::size_t first = last - 1;
    while (first > 0 && rows[first - 1]) --first;
    const std::size_t name = last - 1 - first;
    const std::size_t family = surname(chars + first, name).first;
    // A surname and a given name of one or two characters.
    if (family == 0 || name < family + 1 || name > family + 2) return;
    Suggestion& s = out[last - 1];
    if (suggest(s, "Zhuan", *zhuan, true)) {
        s.wordBack = static_cast<std::uint8_t>(name);
        s.wordLength = static_cast<std::uint8_t>(name + 1);
    }
}

bool PhraseModel::dominantSettles(char32_t c, const Entry& e, Suggestion& s) const {
    // The bits spare most characters the search.
    if (c < 0x10000 && !((sureBits_[c / 64] >> (c % 64)) & 1u)) return false;
    const auto d = dominant_.find(c);
    return d != dominant_.end() && d->second.share >= kSureShare && suggest(s, d->second.py, e, true);
}

/// For the end of each prefix of a run: the best score of a path to it, the node of the last
/// word of that path (0 for a character that is no word) and the word's length.
struct PhraseModel::Step {
    double best;
    std::uint32_t last;
    std::uint8_t len;
};

void PhraseModel::segment(const char32_t* chars, const Entry* const* rows, const Entry* const* simplifiedRows,
                          std::size_t n, std::size_t polyphonicEnd, Suggestion* out) const {
    // Runs are mostly short enough for the stack.
    constexpr std::size_t kOnStack = 64;
    Step onStack[kOnStack];
    thread_local std::vector<Step> onHeap;
    Step* const step = n < kOnStack ? onStack : (onHeap.resize(n + 1), onHeap.data());
    const std::size_t end = bestPath(chars, n, polyphonicEnd, step);
    readPath(chars, rows, simplifiedRows, step, end, out);
}

std::size_t PhraseModel::bestPath(const char32_t* chars, std::size_t n, std::size_t polyphonicEnd,
                                  Step* step) const {
    // The best segmentation: the one whose words' log frequencies add up to the most. Every
    // character may stand alone, so a path always exists. Unlike longest match this reads
    // 在行动 as 在 + 行动, although 在行 is a word that longest match would take first.
    for (std::size_t i = 0; i <= n; ++i) step[i] = Step{-std::numeric_limits<double>::infinity(), 0, 1};
    step[0].best = 0.0;
    // Past the last polyphonic character the segmentation only has to reach a point that no
    // word found so far spans: every path goes through it, so the best one up to there is
    // part of the best one through the whole run, and what comes after decides nothing.
    std::size_t reach = 0;  // the furthest end of a word found so far
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= polyphonicEnd && reach <= i) return i;
        const Root* root = chars[i] < 0x10000 ? &rootChild_[chars[i]] : nullptr;
        std::uint32_t node = root ? root->node : child(0, chars[i]);
        const float weight = root ? root->weight : nodes_[node].weight;  // the root's is 0
        const bool word = weight != 0;
        const double alone = step[i].best + (word ? weight : floor_);
        if (alone > step[i + 1].best) {
            step[i + 1].best = alone;
            step[i + 1].last = word ? node : 0;
            step[i + 1].len = 1;
        }
        if (!node || i + 1 == n || !pairMayStart(chars[i], chars[i + 1])) continue;
        for (std::size_t k = 2; k <= kMaxWord && i + k <= n; ++k) {
            node = k == 2 && root ? second(*root, chars[i + 1]) : child(node, chars[i + k - 1]);
            if (!node) break;
            const Node& w = nodes_[node];
            if (w.weight == 0) continue;
            reach = std::max(reach, i + k);
            const double score = step[i].best + w.weight;
            if (score > step[i + k].best) {
                step[i + k].best = score;
                step[i + k].last = node;
                step[i + k].len = static_cast<std::uint8_t>(k);
            }
            // A node that ends no word always leads to one; a word's node may end its branch,
            // as most two-character words do.
            if (nodes_[node + 1].first == w.first) break;
        }
    }
    return n;
}

void PhraseModel::readPath(const char32_t* chars, const Entry* const* rows,
                           const Entry* const* simplifiedRows, const Step* step, std::size_t end,
                           Suggestion* out) const {
    const std::size_t n = end;  // no word of the run reaches past it
    while (end > 0) {
        const std::size_t k = step[end].len;
        const std::size_t first = end - k;
        std::string_view py;  // the word's readings, looked up for its first polyphonic character
        bool looked = false;
        for (std::size_t p = first; p < end; ++p) {
            const Entry& e = *rows[p];
            if (!e.polyphonic) continue;
            if (!looked) {
                const Readings& w = readings_[step[end].last];  // the root's are none
                py = std::string_view(pool_).substr(w.py, w.len);
                looked = true;
            }
            Suggestion& s = out[p];
            // A word without readings stored confirms the first ones: those of the simplified
            // form for a folded character, whose own row may order its readings otherwise.
            const std::string_view r = py.empty()
                                           ? std::string_view(simplifiedRows[p]->readings.front().stored)
                                           : readingAt(py, k > 1 ? p - first : 0);
            if (k == 1) {
                standingAlone(chars[p], e, *simplifiedRows[p], py.empty() ? "" : r, s);
                if (!s.sure) overlapsAgree(chars, simplifiedRows, n, p, e, s);
            } else if (suggest(s, r, e, true)) {
                // A known word decides every character in it.
                s.wordBack = static_cast<std::uint8_t>(p - first);
                s.wordLength = static_cast<std::uint8_t>(k);
            }
        }
        end = first;
    }
}

void PhraseModel::overlapsAgree(const char32_t* chars, const Entry* const* simplifiedRows, std::size_t n,
                                std::size_t p, const Entry& e, Suggestion& s) const {
    // A character the best path leaves standing alone, where known words of the text hold
    // it but lost to the words beside them (塔瓦 to 瓦斯 in 塔瓦斯科): when each of those
    // words reads it as it reads alone, the text says the same however it is cut, so the
    // reading is settled. One that reads it otherwise leaves it open.
    const std::string_view alone =
        s.reading.empty() ? std::string_view(e.readings.front().stored) : s.reading;
    bool found = false;
    for (std::size_t from = p >= kMaxWord - 1 ? p - (kMaxWord - 1) : 0; from <= p; ++from) {
        std::uint32_t node = 0;
        for (std::size_t k = 1; k <= kMaxWord && from + k <= n; ++k) {
            node = child(node, chars[from + k - 1]);
            if (!node) break;
            if (from + k <= p || k < 2 || nodes_[node].weight == 0) continue;
            const Readings& w = readings_[node];
            const std::string_view py = std::string_view(pool_).substr(w.py, w.len);
            const std::string_view r = py.empty()
                                           ? std::string_view(simplifiedRows[p]->readings.front().stored)
                                           : readingAt(py, p - from);
            if (r != alone) return;
            found = true;
        }
    }
    if (found) suggest(s, alone, e, true);
}

void PhraseModel::standingAlone(char32_t c, const Entry& e, const Entry& simple, std::string_view ownReading,
                                Suggestion& s) const {
    // A traditional character whose simplified form has one reading, its own first, is
    // settled (於 as 于, Yu; 縣 as 县, Xian; not 閤, whose first reading Ge is not 合's He); an
    // overwhelming reading settles any other; else the character's own entry suggests one.
    if (&simple != &e && !simple.polyphonic) {
        const std::string& first = e.readings.front().stored;
        if (simple.readings.front().stored == first) s = Suggestion{first, 0, true};
    } else if (!dominantSettles(c, e, s)) {
        suggest(s, ownReading, e, false);
    }
}

}  // namespace pinyin
