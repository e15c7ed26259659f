// Accuracy of the polyphonic modes on a labelled sentence set, and the speed of each mode.
//
// Usage: polyphone_eval SENTENCES.tsv [py.db] [--errors MODE] [--repeat N]
//        polyphone_eval --text LINES.txt [py.db] [--field TAG]
//        polyphone_eval --pairs PAIRS.tsv [py.db] [--errors]
// Each line of the set is "id<TAB>sentence<TAB>pos:reading", pos counting Han characters
// only. Reports, for the first-reading, phrase and ask-unsure modes, how often the labelled
// character comes out right; for ask-unsure also how often the chooser opens (share of all Han
// characters) and how often the readings settled without asking are wrong. --errors prints
// the sentences a mode gets wrong (for ask-unsure also the characters asked most); --repeat times the
// romanising of the whole set. --text reads plain unlabelled lines and reports only how often the ask-unsure
// chooser would open, and how many characters the phrase mode reads differently from the first-reading mode.
// --pairs reads texts beside a human romanisation ("source<TAB>001<TAB>tag<TAB>code<TAB>
// text<TAB>romanisation", a header line allowed) and compares syllable by syllable, ignoring
// case, joins and punctuation (see pairsReport); --errors there lists the disagreements.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/db_path.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"
#include "pinyin/readings.h"
#include "pinyin/rows.h"

namespace {

struct Sentence {
    std::string id;
    std::string text;  ///< every character that is not Han replaced by "|"
    std::size_t han = 0;
    std::size_t pos = 0;  ///< index of the labelled character among the Han characters
    std::string reading;  ///< lower case, toneless
    int position = 0;     ///< its 1-based UTF-16 position in text
};

bool isHan(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

std::vector<Sentence> readSet(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<Sentence> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Sentence s;
        std::string raw, label;
        if (!std::getline(fields, s.id, '\t') || !std::getline(fields, raw, '\t') ||
            !std::getline(fields, label))
            continue;
        const auto colon = label.find(':');
        if (colon == std::string::npos) continue;
        s.pos = std::stoul(label.substr(0, colon));
        s.reading = label.substr(colon + 1);
        // Non-Han characters become an ASCII bar: copied through, they keep the Han runs
        // apart exactly as punctuation does, and the output splits into one token per Han
        // character.
        int utf16 = 0;
        for (std::size_t i = 0; i < raw.size();) {
            const char32_t c = codepage::utf8::next(raw, i);
            if (isHan(c)) {
                if (s.han == s.pos) s.position = utf16 + 1;
                codepage::utf8::append(s.text, c);
                ++s.han;
                utf16 += c > 0xFFFF ? 2 : 1;
            } else {
                s.text += '|';
                ++utf16;
            }
        }
        if (s.pos < s.han) out.push_back(std::move(s));
    }
    return out;
}

/// The reading of the pos-th Han character in the romanised text, or "" when misaligned.
std::string tokenAt(const std::string& pinyin, std::size_t pos) {
    std::size_t k = 0;
    std::string token;
    for (std::size_t i = 0; i <= pinyin.size(); ++i) {
        const char ch = i < pinyin.size() ? pinyin[i] : ' ';
        if (ch == ' ' || ch == '|') {
            if (!token.empty()) {
                if (k++ == pos) return token;
                token.clear();
            }
        } else {
            token += ch;
        }
    }
    return {};
}

/// Answers with the suggested reading and counts the questions.
class CountingChooser : public pinyin::Chooser {
public:
    std::optional<std::string> choose(const pinyin::ChooserRequest& r) override {
        ++asked;
        ++askedFor[r.character];
        if (r.position == watch) watchedAsked = true;
        return std::string(pinyin::readingAt(r.readings, static_cast<std::size_t>(r.suggested)));
    }
    std::size_t asked = 0;
    std::map<std::string, std::size_t> askedFor;
    int watch = 0;
    bool watchedAsked = false;
};

struct Result {
    std::size_t right = 0, total = 0, han = 0, asked = 0, settled = 0, settledWrong = 0;
    double seconds = 0;
};

Result run(const std::vector<Sentence>& set, const pinyin::PinyinTable& table, pinyin::Polyphone mode,
           bool askUnsure, bool printErrors, int repeat) {
    pinyin::RunSettings settings;
    settings.polyphone = mode;
    settings.askOnlyWhenUnsure = askUnsure;
    CountingChooser chooser;
    pinyin::Romaniser romaniser(table, settings, askUnsure ? &chooser : nullptr);
    Result r;
    for (const Sentence& s : set) {
        chooser.watch = s.position;
        chooser.watchedAsked = false;
        const std::string got = tokenAt(romaniser.pinyin(s.text), s.pos);
        ++r.total;
        r.han += s.han;
        const bool right = got == s.reading;
        r.right += right;
        if (askUnsure && !chooser.watchedAsked) {
            ++r.settled;
            r.settledWrong += !right;
        }
        if (printErrors && !right)
            std::printf("%s\t%s\t%zu:%s\tgot %s\n", s.id.c_str(), s.text.c_str(), s.pos, s.reading.c_str(),
                        got.c_str());
    }
    r.asked = chooser.asked;
    if (printErrors && askUnsure) {
        std::vector<std::pair<std::size_t, std::string>> most;
        for (const auto& [hz, n] : chooser.askedFor) most.emplace_back(n, hz);
        std::sort(most.rbegin(), most.rend());
        std::printf("asked most:");
        for (std::size_t k = 0; k < most.size() && k < 30; ++k)
            std::printf(" %s %zu", most[k].second.c_str(), most[k].first);
        std::printf("\n");
    }
    if (repeat > 0) {
        const auto t0 = std::chrono::steady_clock::now();
        std::size_t bytes = 0;
        for (int k = 0; k < repeat; ++k)
            for (const Sentence& s : set) bytes += romaniser.pinyin(s.text).size();
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (bytes == 0) std::printf("(no output)\n");
    }
    return r;
}

/// Chooser rate of ask-unsure on plain lines, each romanised as if it stood in field `tag`.
int textReport(const std::string& path, const pinyin::PinyinTable& table, const std::string& tag) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    pinyin::RunSettings ask, first, phrase;
    ask.polyphone = pinyin::Polyphone::Manual;
    ask.askOnlyWhenUnsure = true;
    first.polyphone = pinyin::Polyphone::Automatic;
    phrase.polyphone = pinyin::Polyphone::Phrase;
    CountingChooser chooser;
    pinyin::Romaniser asking(table, ask, &chooser), firstR(table, first, nullptr),
        phraseR(table, phrase, nullptr);
    std::size_t han = 0, lines = 0, changed = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lines;
        for (std::size_t i = 0; i < line.size();) han += isHan(codepage::utf8::next(line, i));
        asking.pinyin(line, tag);
        const std::string a = firstR.pinyin(line, tag), b = phraseR.pinyin(line, tag);
        for (std::size_t k = 0;; ++k) {
            const std::string x = tokenAt(a, k), y = tokenAt(b, k);
            if (x.empty() && y.empty()) break;
            changed += x != y;
        }
    }
    std::printf(
        "%s: %zu lines, %zu Han characters; ask-unsure chooser on %zu (%.2f %%); "
        "phrase reads %zu (%.2f %%) differently from first-reading\n",
        path.c_str(), lines, han, chooser.asked, 100.0 * chooser.asked / han, changed, 100.0 * changed / han);
    return 0;
}

/// The letters of a romanisation in lower case, ü as v, and where each run of letters ends:
/// every other character (space, hyphen, apostrophe, digit, punctuation) only separates.
struct Letters {
    std::string text;
    std::vector<std::size_t> breaks;  ///< offsets in text where a run ends
};

Letters letters(std::string_view roman) {
    Letters out;
    for (std::size_t i = 0; i < roman.size();) {
        const char32_t c = codepage::utf8::next(roman, i);
        char ch = 0;
        if (c < 0x80 && std::isalpha(static_cast<unsigned char>(c)))
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c == U'ü' || c == U'Ü')
            ch = 'v';
        if (ch)
            out.text += ch;
        else if (!out.text.empty() && (out.breaks.empty() || out.breaks.back() != out.text.size()))
            out.breaks.push_back(out.text.size());
    }
    if (!out.text.empty() && (out.breaks.empty() || out.breaks.back() != out.text.size()))
        out.breaks.push_back(out.text.size());
    return out;
}

/// Splits the letters into exactly `want.size()` syllables of `valid`, never across a break,
/// choosing among the splits the one that agrees with `want` on most syllables (a join such as
/// "xian" may hide xi an or xian; only the letters are the cataloguer's). Empty when no split
/// exists.
std::vector<std::string> split(const Letters& l, const std::vector<std::string>& want,
                               const std::set<std::string>& valid) {
    const std::size_t n = l.text.size(), k = want.size();
    if (k == 0 || n == 0) return {};
    std::vector<char> isBreak(n + 1, 0);
    for (std::size_t b : l.breaks) isBreak[b] = 1;
    // best[i][j]: most agreements splitting the first i letters into j syllables, -1: none.
    std::vector<std::vector<int>> best(n + 1, std::vector<int>(k + 1, -1));
    std::vector<std::vector<std::size_t>> from(n + 1, std::vector<std::size_t>(k + 1, 0));
    best[0][0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < k; ++j) {
            if (best[i][j] < 0) continue;
            for (std::size_t len = 1; len <= 6 && i + len <= n; ++len) {
                const std::string syl = l.text.substr(i, len);
                if (valid.count(syl)) {
                    const int score = best[i][j] + (syl == want[j]);
                    if (score > best[i + len][j + 1]) {
                        best[i + len][j + 1] = score;
                        from[i + len][j + 1] = i;
                    }
                }
                if (isBreak[i + len]) break;  // a syllable never spans a break
            }
        }
    }
    if (best[n][k] < 0) return {};
    std::vector<std::string> out(k);
    for (std::size_t i = n, j = k; j > 0; --j) {
        const std::size_t f = from[i][j];
        out[j - 1] = l.text.substr(f, i - f);
        i = f;
    }
    return out;
}

/// Agreement of the modes with a human romanisation, per Han character. A record whose
/// romanisation uses Wade-Giles (its aspiration mark ʻ in any field) is left out whole, so
/// that its "Ti 1 pan" is not taken for pinyin di ban misread; a text whose letters split into
/// no pinyin syllables ("[et al.]") is left out alone.
int pairsReport(const std::string& path, const pinyin::PinyinTable& table, bool printErrors) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    struct Pair {
        std::string record, tag, code, text, roman;
    };
    std::vector<Pair> pairs;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        if (f.size() < 6 || f[2] == "tag") continue;
        pairs.push_back(Pair{f[0] + "#" + f[1], f[2], f[3], f[4], f[5]});
    }

    // The syllables pinyin has: every reading of the table, in lower case.
    std::set<std::string> valid;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (const pinyin::Entry* e = table.rows().find(c))
            for (const pinyin::Reading& r : e->readings) {
                std::string syl = r.lower;
                while (!syl.empty() && syl.back() == ' ') syl.pop_back();
                if (!syl.empty() &&
                    std::all_of(syl.begin(), syl.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
                    valid.insert(syl);
            }

    struct Mode {
        const char* name;
        pinyin::Polyphone mode;
        bool askUnsure;
        std::size_t agree = 0;
    };
    std::vector<Mode> modes{{"first", pinyin::Polyphone::Automatic, false},
                            {"phrase", pinyin::Polyphone::Phrase, false},
                            {"ask-unsure", pinyin::Polyphone::Manual, true}};
    // MARC 21 names its personal-name fields 100, 600 and 700.
    pinyin::RunSettings settings[3];
    CountingChooser chooser;
    std::vector<std::unique_ptr<pinyin::Romaniser>> romanisers;
    std::vector<std::size_t> starts;
    for (std::size_t m = 0; m < modes.size(); ++m) {
        settings[m].polyphone = modes[m].mode;
        settings[m].askOnlyWhenUnsure = modes[m].askUnsure;
        settings[m].letterCase = pinyin::LetterCase::Lower;
        settings[m].nameTags = "100,600,700";
        romanisers.push_back(
            std::make_unique<pinyin::Romaniser>(table, settings[m], modes[m].askUnsure ? &chooser : nullptr));
        romanisers.back()->setStarts(&starts);
    }

    // Records in Wade-Giles.
    std::set<std::string> wadeGiles;
    for (const Pair& p : pairs)
        if (p.roman.find("ʻ") != std::string::npos) wadeGiles.insert(p.record);

    std::size_t compared = 0, han = 0, used = 0, unsplit = 0, skipped = 0;
    std::vector<std::string> disagreements;
    for (const Pair& p : pairs) {
        if (wadeGiles.count(p.record)) {
            ++skipped;
            continue;
        }
        std::vector<std::vector<std::string>> got(modes.size());
        for (std::size_t m = 0; m < modes.size(); ++m) {
            const std::string out =
                romanisers[m]->pinyin(p.text, p.code == "a" ? std::string_view(p.tag) : "");
            std::size_t k = 0;
            for (std::size_t i = 0; i < p.text.size(); ++k) {
                const char32_t c = codepage::utf8::next(p.text, i);
                if (!isHan(c)) continue;
                std::string syl = out.substr(starts[k], starts[k + 1] - starts[k]);
                while (!syl.empty() && syl.back() == ' ') syl.pop_back();
                got[m].push_back(syl);
            }
        }
        if (got[0].empty()) continue;
        const Letters l = letters(p.roman);
        std::vector<std::vector<std::string>> theirs(modes.size());
        for (std::size_t m = 0; m < modes.size(); ++m) theirs[m] = split(l, got[m], valid);
        if (theirs[0].empty()) {
            ++unsplit;
            if (printErrors)
                std::printf("not split\t%s\t%s\t%s\n", p.tag.c_str(), p.text.c_str(), p.roman.c_str());
            continue;
        }
        ++used;
        compared += got[0].size();
        for (std::size_t m = 0; m < modes.size(); ++m) {
            for (std::size_t k = 0; k < got[m].size(); ++k) {
                const bool same = got[m][k] == theirs[m][k];
                modes[m].agree += same;
                if (!same && printErrors)
                    std::printf("%s\t%s\t%s\tchar %zu: %s, theirs %s\t(%s)\n", modes[m].name, p.tag.c_str(),
                                p.text.c_str(), k, got[m][k].c_str(), theirs[m][k].c_str(), p.roman.c_str());
            }
        }
        for (std::size_t i = 0; i < p.text.size();) han += isHan(codepage::utf8::next(p.text, i));
    }
    std::printf(
        "%s: %zu pairs; %zu compared (%zu syllables), %zu of Wade-Giles records left "
        "out, %zu not split into pinyin\n",
        path.c_str(), pairs.size(), used, compared, skipped, unsplit);
    for (const Mode& m : modes) {
        std::printf("%-10s agreement %.2f %% (%zu/%zu)", m.name, 100.0 * m.agree / compared, m.agree,
                    compared);
        if (m.askUnsure)
            std::printf("; chooser asked %zu times, %.2f %% of %zu Han characters", chooser.asked,
                        100.0 * chooser.asked / han, han);
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: polyphone_eval SENTENCES.tsv [py.db] [--errors MODE] [--repeat N]\n"
                     "       polyphone_eval --text LINES.txt [py.db] [--field TAG]\n"
                     "       polyphone_eval --pairs PAIRS.tsv [py.db] [--errors]\n";
        return 2;
    }
    std::string db = pinyin::pyDbPath(pinyin::programFolder());
    std::string errorsOf, textPath, pairsPath, tag;
    bool pairErrors = false;
    int repeat = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i == 1 && a != "--text" && a != "--pairs") continue;
        if (a == "--text" && i + 1 < argc)
            textPath = argv[++i];
        else if (a == "--pairs" && i + 1 < argc)
            pairsPath = argv[++i];
        else if (a == "--errors" && !pairsPath.empty())
            pairErrors = true;
        else if (a == "--field" && i + 1 < argc)
            tag = argv[++i];
        else if (a == "--errors" && i + 1 < argc)
            errorsOf = argv[++i];
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::stoi(argv[++i]);
        else
            db = a;
    }
    try {
        if (!textPath.empty()) return textReport(textPath, *pinyin::PinyinTable::load(db), tag);
        if (!pairsPath.empty()) return pairsReport(pairsPath, *pinyin::PinyinTable::load(db), pairErrors);
        const auto set = readSet(argv[1]);
        const auto table = pinyin::PinyinTable::load(db);
        std::printf("%s: %zu sentences; phrase data %s\n", db.c_str(), set.size(),
                    table->phrases() ? "present" : "absent");
        struct Mode {
            const char* name;
            pinyin::Polyphone mode;
            bool askUnsure;
        };
        for (const Mode m : {Mode{"first", pinyin::Polyphone::Automatic, false},
                             Mode{"phrase", pinyin::Polyphone::Phrase, false},
                             Mode{"ask-unsure", pinyin::Polyphone::Manual, true}}) {
            const Result r = run(set, *table, m.mode, m.askUnsure, errorsOf == m.name, repeat);
            std::printf("%-10s accuracy %.2f %% (%zu/%zu)", m.name, 100.0 * r.right / r.total, r.right,
                        r.total);
            if (m.askUnsure)
                std::printf(
                    "; chooser on %.2f %% of %zu Han characters; settled labelled %zu, "
                    "wrong %.2f %%",
                    100.0 * r.asked / r.han, r.han, r.settled,
                    r.settled ? 100.0 * r.settledWrong / r.settled : 0.0);
            if (repeat > 0)
                std::printf("; %.2f M Han characters/s",
                            static_cast<double>(r.han) * repeat / r.seconds / 1e6);
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::cerr << "polyphone_eval: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
