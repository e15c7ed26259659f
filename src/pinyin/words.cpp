// The cataloguer's word list: reading it, checking each line, finding its words in a text.
#include "pinyin/words.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "codepage/codepage.h"
#include "pinyin/readings.h"
#include "pinyin/table.h"
#include "pinyin/rows.h"
#include "pinyin/utf8_next.h"

namespace pinyin {
namespace {

/// Every syllable of standard Mandarin without tones, ü written v, and the interjections
/// (m, n, ng, hm, hng) py.db also holds.
constexpr std::string_view kSyllables =
    "a ai an ang ao ba bai ban bang bao bei ben beng bi bian biao bie bin bing bo bu ca cai can "
    "cang cao ce cen ceng cha chai chan chang chao che chen cheng chi chong chou chu chua chuai "
    "chuan chuang chui chun chuo ci cong cou cu cuan cui cun cuo da dai dan dang dao de dei den "
    "deng di dia dian diao die ding diu dong dou du duan dui dun duo e ei en eng er fa fan fang "
    "fei fen feng fiao fo fou fu ga gai gan gang gao ge gei gen geng gong gou gu gua guai guan "
    "guang gui gun guo ha hai han hang hao he hei hen heng hm hng hong hou hu hua huai huan huang "
    "hui hun huo ji jia jian jiang jiao jie jin jing jiong jiu ju juan jue jun ka kai kan kang kao "
    "ke kei ken keng kong kou ku kua kuai kuan kuang kui kun kuo la lai lan lang lao le lei leng "
    "li lia lian liang liao lie lin ling liu lo long lou lu luan lun luo lv lve m ma mai man mang "
    "mao me mei men meng mi mian miao mie min ming miu mo mou mu n na nai nan nang nao ne nei nen "
    "neng ng ni nian niang niao nie nin ning niu nong nou nu nuan nun nuo nv nve o ou pa pai pan "
    "pang pao pei pen peng pi pian piao pie pin ping po pou pu qi qia qian qiang qiao qie qin qing "
    "qiong qiu qu quan que qun ran rang rao re ren reng ri rong rou ru rua ruan rui run ruo sa sai "
    "san sang sao se sen seng sha shai shan shang shao she shei shen sheng shi shou shu shua shuai "
    "shuan shuang shui shun shuo si song sou su suan sui sun suo ta tai tan tang tao te tei teng "
    "ti tian tiao tie ting tong tou tu tuan tui tun tuo wa wai wan wang wei wen weng wo wu xi xia "
    "xian xiang xiao xie xin xing xiong xiu xu xuan xue xun ya yan yang yao ye yi yin ying yo yong "
    "you yu yuan yue yun za zai zan zang zao ze zei zen zeng zha zhai zhan zhang zhao zhe zhei "
    "zhen zheng zhi zhong zhou zhu zhua zhuai zhuan zhuang zhui zhun zhuo zi zong zou zu zuan zui "
    "zun zuo";

const std::vector<std::string_view>& syllables() {
    static const std::vector<std::string_view> sorted = [] {
        std::vector<std::string_view> v = splitReadings(kSyllables);
        std::sort(v.begin(), v.end());
        return v;
    }();
    return sorted;
}

std::string_view trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

/// The code points of `s`; false when it is not valid UTF-8.
bool decode(std::string_view s, std::u32string& out) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t at = i;
        const char32_t c = codepage::utf8::next(s, i);
        if (c == 0xFFFD && s.substr(at, i - at) != "\xEF\xBF\xBD") return false;
        out += c;
    }
    return true;
}

/// The syllables of an entry, split at spaces and tabs.
std::vector<std::string_view> splitSyllables(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < s.size();) {
        at = s.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        const std::size_t end = std::min(s.find_first_of(" \t", at), s.size());
        out.push_back(s.substr(at, end - at));
        at = end;
    }
    return out;
}

Reading makeReading(std::string_view syllable) {
    // py.db's form: a capital initial.
    std::string stored(syllable);
    stored[0] = static_cast<char>(stored[0] - 'a' + 'A');
    return Reading{stored, readingOut(stored, false), readingOut(stored, true)};
}

/// A word that does not fit (WordsInvalid); parse() adds the file and the line.
[[noreturn]] void invalid(std::string what) {
    problem::Problem p = problem::of(problem::Kind::WordsInvalid);
    p.detail = std::move(what);
    throw WordsError(std::move(p));
}

/// A word list the system does not let us read or write (WordsCannotRead).
[[noreturn]] void fileFails(const std::string& path, int osError) {
    problem::Problem p = problem::of(problem::Kind::WordsCannotRead, path);
    p.osError = osError;
    throw WordsError(std::move(p));
}

}  // namespace

const std::vector<std::string_view>& pinyinSyllables() { return syllables(); }

bool isSyllable(std::string_view s) {
    return !s.empty() && std::binary_search(syllables().begin(), syllables().end(), s);
}

bool isHan(char32_t c) { return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_IDEOGRAPHIC) != 0; }

std::string listedSyllable(std::string_view stored) {
    std::string out;
    for (std::size_t i = 0; i < stored.size();) {
        const char32_t c =
            static_cast<char32_t>(u_tolower(static_cast<UChar32>(codepage::utf8::next(stored, i))));
        if (c == U'ü' || c == U'ǘ' || c == U'ǚ' || c == U'ǜ' || c == U'ǖ')
            out += 'v';
        else
            codepage::utf8::append(out, c);
    }
    return out;
}

struct UserWords::Impl {
    struct Word {
        /// One per code point of the word; an empty stored form for a character that is not
        /// Chinese and so takes no syllable.
        std::vector<Reading> readings;
    };
    /// Looked up by the UTF-8 bytes of a stretch of text, without a copy.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, Word, Hash, std::equal_to<>> words;
    std::vector<std::uint64_t> firstBits = std::vector<std::uint64_t>(0x10000 / 64);
    std::vector<char32_t> astralFirst;
    std::size_t longest = 0;

    bool mayStart(char32_t c) const {
        if (c < 0x10000) return (firstBits[c >> 6] >> (c & 63)) & 1;
        return std::find(astralFirst.begin(), astralFirst.end(), c) != astralFirst.end();
    }
};

UserWords::UserWords() : impl_(std::make_unique<Impl>()) {}
UserWords::~UserWords() = default;
UserWords::UserWords(UserWords&&) noexcept = default;
UserWords& UserWords::operator=(UserWords&&) noexcept = default;

bool UserWords::empty() const { return impl_->words.empty(); }

std::vector<std::string> UserWords::lone() const {
    std::vector<std::string> out;
    for (const auto& [word, entry] : impl_->words) {
        std::size_t han = 0;
        for (const Reading& r : entry.readings) han += r.stored.empty() ? 0 : 1;
        if (han == 1) out.push_back(word);
    }
    std::sort(out.begin(), out.end());
    return out;
}
std::vector<std::string> lonePolyphonic(const UserWords& words, const PinyinTable& table) {
    std::vector<std::string> out;
    for (const std::string& word : words.lone()) {
        for (std::size_t i = 0; i < word.size();) {
            const char32_t c = codepage::utf8::next(word, i);
            const std::string* readings = isHan(c) ? table.readings(c) : nullptr;
            if (readings && splitReadings(*readings).size() > 1) {
                out.push_back(word);
                break;
            }
        }
    }
    return out;
}
std::size_t UserWords::size() const { return impl_->words.size(); }

void UserWords::add(std::string_view word, std::string_view syllableText) {
    word = trim(word);
    std::u32string chars;
    if (!decode(word, chars)) invalid("the word is not valid UTF-8");
    const std::size_t han = static_cast<std::size_t>(std::count_if(chars.begin(), chars.end(), isHan));
    if (han == 0) invalid("\"" + std::string(word) + "\" holds no Chinese character");
    const std::vector<std::string_view> given = splitSyllables(syllableText);
    if (given.size() != han)
        invalid(std::to_string(given.size()) + (given.size() == 1 ? " syllable" : " syllables") + " for " +
                std::to_string(han) + " Chinese " + (han == 1 ? "character" : "characters") + " in \"" +
                std::string(word) + "\"");
    Impl::Word w;
    std::size_t next = 0;
    for (char32_t c : chars) {
        if (!isHan(c)) {
            w.readings.emplace_back();
            continue;
        }
        const std::string_view s = given[next++];
        if (!isSyllable(s))
            invalid("\"" + std::string(s) + "\" is no pinyin syllable (lower case, no tones, ü written v)");
        w.readings.push_back(makeReading(s));
    }

    const char32_t first = chars.front();
    if (first < 0x10000)
        impl_->firstBits[first >> 6] |= std::uint64_t{1} << (first & 63);
    else if (!impl_->mayStart(first))
        impl_->astralFirst.push_back(first);
    impl_->longest = std::max(impl_->longest, chars.size());
    // A word listed again takes the new readings in place: a text being romanised may hold
    // pointers to the old ones (a chooser that remembers a word while it is asked).
    if (const auto it = impl_->words.find(word); it != impl_->words.end())
        std::move(w.readings.begin(), w.readings.end(), it->second.readings.begin());
    else
        impl_->words.emplace(std::string(word), std::move(w));
}

void UserWords::parse(std::string_view text, const std::string& name) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte order mark
    std::size_t number = 0;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t nl = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, nl - at);
        at = nl + 1;
        ++number;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trim(line).empty()) continue;
        const std::size_t tab = line.find('\t');
        try {
            if (tab == std::string_view::npos) invalid("expected a word, a tab and its syllables");
            add(line.substr(0, tab), line.substr(tab + 1));
        } catch (const WordsError& e) {
            problem::Problem p = e.problem;
            p.path = name;
            p.value = static_cast<long long>(number);
            throw WordsError(std::move(p));
        }
    }
}

void UserWords::load(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) fileFails(path, EISDIR);
    std::ifstream in(path, std::ios::binary);
    if (!in) fileFails(path, errno ? errno : ENOENT);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) fileFails(path, EIO);
    parse(text, path);
}

bool UserWords::cover(std::string_view text, std::vector<const Reading*>& out) const {
    const Impl& m = *impl_;
    if (m.words.empty()) return false;
    // Most texts hold no character that starts a listed word: one pass over them says so.
    bool any = false;
    for (std::size_t i = 0; i < text.size() && !any;) any = m.mayStart(nextCodePoint(text, i));
    if (!any) return false;

    // Where each code point starts, and one entry more for the end.
    thread_local std::vector<std::size_t> starts;
    thread_local std::vector<char32_t> chars;
    starts.clear();
    chars.clear();
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        chars.push_back(codepage::utf8::next(text, i));
    }
    starts.push_back(text.size());
    const std::size_t count = chars.size();

    struct Found {
        std::size_t at, length;
        const Impl::Word* word;
    };
    std::vector<Found> found;
    for (std::size_t at = 0; at < count; ++at) {
        if (!m.mayStart(chars[at])) continue;
        for (std::size_t n = std::min(m.longest, count - at); n > 0; --n) {
            const auto it = m.words.find(text.substr(starts[at], starts[at + n] - starts[at]));
            if (it != m.words.end()) found.push_back({at, n, &it->second});
        }
    }
    if (found.empty()) return false;
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.length > b.length; });
    out.assign(count, nullptr);
    std::vector<bool> taken(count);
    for (const Found& f : found) {
        if (std::any_of(taken.begin() + static_cast<std::ptrdiff_t>(f.at),
                        taken.begin() + static_cast<std::ptrdiff_t>(f.at + f.length),
                        [](bool t) { return t; }))
            continue;
        for (std::size_t k = 0; k < f.length; ++k) {
            taken[f.at + k] = true;
            const Reading& r = f.word->readings[k];
            if (!r.stored.empty()) out[f.at + k] = &r;
        }
    }
    return true;
}

std::optional<WordEntry> wordToRemember(const ChooserRequest& request, std::string_view answer,
                                        int markedFrom, int markedTo) {
    const std::string_view text = request.text;
    const int asked = request.position;
    int from = asked, to = asked;  // the character alone
    if (markedFrom >= 1 && markedFrom <= asked && markedTo >= asked) {
        from = markedFrom;
        to = markedTo;
    } else if (!request.word.empty() && request.wordAt >= 1) {
        from = request.wordAt;
        to = from - 1;
        for (std::size_t i = 0; i < request.word.size();)
            to += codepage::utf8::next(request.word, i) > 0xFFFF ? 2 : 1;
    }
    WordEntry entry;
    int unit = 1;
    for (std::size_t i = 0, j = 0; i < text.size(); ++j) {
        const std::size_t start = i;
        const char32_t c = codepage::utf8::next(text, i);
        const int here = unit;
        unit += c > 0xFFFF ? 2 : 1;
        if (here < from || here > to) continue;
        entry.word += text.substr(start, i - start);
        if (!isHan(c)) continue;
        const std::string_view reading = here == asked ? answer
                                         : j < request.textReadings.size()
                                             ? std::string_view(request.textReadings[j])
                                             : "";
        const std::string syllable = listedSyllable(reading);
        if (!isSyllable(syllable)) return std::nullopt;
        if (!entry.syllables.empty()) entry.syllables += ' ';
        entry.syllables += syllable;
    }
    // A lone character would take this reading in every word that holds it: only words of
    // two characters or more are remembered.
    if (std::count(entry.syllables.begin(), entry.syllables.end(), ' ') < 1) return std::nullopt;
    return entry;
}

void appendWord(const std::string& path, std::string_view word, std::string_view syllables) {
    std::string listed;
    for (std::string_view s : splitSyllables(syllables)) {
        if (!listed.empty()) listed += ' ';
        listed += listedSyllable(s);
    }
    // A "#" would start a comment, a tab or a line break another field or line.
    try {
        if (word.find_first_of("#\t\r\n") != std::string_view::npos)
            invalid("\"" + std::string(word) +
                    "\" holds a character a word list cannot keep (#, tab, line break)");
        UserWords check;
        check.add(word, listed);  // throws when the entry does not fit
    } catch (const WordsError& e) {
        // Said as a list that cannot take the word, with what keeps it out.
        problem::Problem p = problem::of(problem::Kind::WordsCannotRead, path);
        p.detail = e.problem.detail;
        throw WordsError(std::move(p));
    }

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    // A file whose last line lacks its line end gets one first, so the entry starts a line.
    bool newline = false;
    if (fs::file_size(file, ec) > 0 && !ec) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(-1, std::ios::end);
        newline = in.get() != '\n';
    }
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (newline) out << '\n';
    out << trim(word) << '\t' << listed << '\n';
    out.flush();
    if (!out) fileFails(path, errno ? errno : EIO);
}

}  // namespace pinyin
