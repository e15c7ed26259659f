// The review file: written by a gathering, read back with the cataloguer's answers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/review.h"
#include "codepage/utf8.h"
#include "text/ascii.h"

namespace app {
namespace {

constexpr std::string_view kFirst = "# marc-pinyin review";
constexpr std::string_view kHeader = "word\tindex\treadings\treading\tcount\tremember\twhere";
constexpr std::size_t kWhereShown = 3;

/// Text for a cell: tabs and line breaks as spaces.
std::string cell(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

std::vector<std::string_view> split(std::string_view line, char by) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0;;) {
        const std::size_t end = line.find(by, at);
        out.push_back(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) return out;
        at = end + 1;
    }
}

std::string hex(std::uint64_t v) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int k = 15; k >= 0; --k, v >>= 4) out[static_cast<std::size_t>(k)] = kDigits[v & 15];
    return out;
}

/// The first line: the input and the options, as name=value pairs apart by tabs.
std::string firstLine(const ReviewInput& input, const ReviewOptions& o) {
    return std::string(kFirst) + "\tsize=" + std::to_string(input.size) + "\thash=" + hex(input.hash) +
           "\ttags=" + cell(o.tags) + "\texisting=" + o.existing + "\tsubfields=" + o.subfields +
           "\tencoding=" + o.encoding + "\twords=" + cell(o.words) + '\n';
}

[[noreturn]] void refuse(problem::Kind kind, const std::string& path, long long line = 0,
                         std::string detail = {}, std::string tag = {}) {
    problem::Problem p = problem::of(kind, path);
    p.value = line;
    p.detail = std::move(detail);
    p.tag = std::move(tag);
    throw StartError(p);
}

bool sameReading(std::string_view a, std::string_view b) { return text::toLower(a) == text::toLower(b); }

std::size_t codePointCount(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) codepage::utf8::next(s, i);
    return n;
}

}  // namespace

ReviewInput reviewInputOf(const std::string& path) {
    const int fd = path == "-" ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        throw StartError(problem::of(problem::Kind::ReviewInputNotFile, path));
    }
    // Eight bytes at a time, each mixed in by a multiplication: fast enough that the review's
    // one more read of the input costs little beside the run.
    ReviewInput in;
    std::uint64_t h = 0x6A09E667F3BCC908ull;
    std::vector<char> block(std::size_t{1} << 20);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem::Problem p = problem::of(problem::Kind::InputReadFailed, path);
            p.osError = errno;
            ::close(fd);
            throw StartError(p);
        }
        if (n == 0) break;
        const auto size = static_cast<std::size_t>(n);
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, block.data() + i, 8);
            h = (h ^ w) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        }
        for (; i < size; ++i) {
            h = (h ^ static_cast<unsigned char>(block[i])) * 0x100000001B3ull;
            h ^= h >> 29;
        }
        in.size += size;
    }
    ::close(fd);
    in.hash = h ^ in.size;
    return in;
}

std::string reviewFileText(const ReviewGathering& g, const ReviewInput& input, const ReviewOptions& options,
                           const ReviewAnswers* answers) {
    std::string out = firstLine(input, options);
    out += kHeader;
    out += '\n';
    for (const ReviewGroup& group : g.groups) {
        std::string readings;
        for (const std::string& r : group.readings) {
            if (!readings.empty()) readings += ' ';
            readings += text::toLower(r);
        }
        std::string reading = group.suggested < group.readings.size() ? group.readings[group.suggested] : "";
        bool remember = false;
        if (answers)
            if (const auto a = answers->groups.find(group.key); a != answers->groups.end()) {
                reading = a->second.reading;
                remember = a->second.remember;
            }
        std::string where;
        for (std::size_t k = 0; k < group.places.size() && k < kWhereShown; ++k) {
            const ReviewPlace& p = group.places[k];
            if (k) where += " | ";
            where += std::to_string(p.record);
            where += ':';
            where += p.tag;
            where += ':';
            where += cell(p.text);
        }
        out += cell(group.key.word) + '\t' + std::to_string(group.key.index) + '\t' + readings + '\t' +
               text::toLower(reading) + '\t' + std::to_string(group.count) + '\t' +
               (remember ? "yes" : "no") + '\t' + where + '\n';
        if (!answers) continue;
        // An occurrence given its own reading: a line of its own behind its group's, which names
        // it as record.n (the n-th occurrence of the group in that record).
        for (auto a = answers->places.lower_bound({group.key, {0, 0}});
             a != answers->places.end() && a->first.first == group.key; ++a) {
            const auto [record, nth] = a->first.second;
            std::string text;
            std::uint32_t seen = 0;
            for (const ReviewPlace& p : group.places)
                if (p.record == record && ++seen == nth) text = p.tag + ':' + cell(p.text);
            out += cell(group.key.word) + '\t' + std::to_string(group.key.index) + '\t' + readings + '\t' +
                   text::toLower(a->second) + "\t1\tno\t" + std::to_string(record) + ':' + text + '\t' +
                   std::to_string(record) + '.' + std::to_string(nth) + '\n';
        }
    }
    return out;
}

ReviewAnswers readReviewFile(const std::string& path, const ReviewInput& input,
                             const ReviewOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem::Problem p = problem::of(problem::Kind::ReviewCannotRead, path);
        p.osError = errno ? errno : ENOENT;
        throw StartError(p);
    }
    std::string line;
    if (!std::getline(in, line) || !line.starts_with(kFirst))
        refuse(problem::Kind::ReviewInvalid, path, 1,
               "the first line does not name the input (# marc-pinyin review)");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string expected = firstLine(input, options);
    const std::vector<std::string_view> have = split(line, '\t'),
                                        want = split(
                                            std::string_view(expected).substr(0, expected.size() - 1), '\t');
    for (std::size_t k = 1; k < want.size(); ++k) {
        const std::string_view name = want[k].substr(0, want[k].find('=') + 1);
        std::string_view got;
        for (std::string_view h : have)
            if (h.starts_with(name)) got = h;
        if (got == want[k]) continue;
        if (name == "size=" || name == "hash=") refuse(problem::Kind::ReviewOtherInput, path);
        refuse(problem::Kind::ReviewOtherOptions, path, 0, {},
               std::string(name) + std::string(got.substr(std::min(got.size(), name.size()))) + " / " +
                   std::string(want[k]));
    }
    ReviewAnswers answers;
    std::size_t number = 1;
    bool header = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.starts_with('#')) continue;
        if (!header) {
            if (line.starts_with("word\t")) {
                header = true;
                continue;
            }
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number), "no header line");
        }
        const std::vector<std::string_view> f = split(line, '\t');
        if (f.size() < 6)
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                   "fewer than six fields");
        ReviewKey key;
        key.word = std::string(f[0]);
        const std::string_view index = f[1];
        const std::size_t length = codePointCount(key.word);
        if (index.empty() || index.size() > 4 ||
            index.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoul(std::string(index)) < 1 || std::stoul(std::string(index)) > length)
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                   "the index is not a character of the word");
        key.index = static_cast<std::uint32_t>(std::stoul(std::string(index)));
        ReviewAnswer a;
        a.line = number;
        const std::string_view reading = text::trimSpaces(f[3]);
        bool known = false;
        for (std::string_view r : split(f[2], ' '))
            if (!r.empty() && sameReading(r, reading)) known = true;
        if (!known || reading.empty())
            refuse(problem::Kind::ReviewBadReading, path, static_cast<long long>(number), std::string(f[2]),
                   std::string(reading));
        a.reading = std::string(reading);
        const std::string remember = text::toLower(text::trimSpaces(f[5]));
        if (remember != "yes" && remember != "no")
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                   "remember is neither yes nor no");
        a.remember = remember == "yes";
        if (f.size() > 7 && !text::trimSpaces(f[7]).empty()) {
            // An occurrence's own reading: record.n.
            const std::string_view at = text::trimSpaces(f[7]);
            const std::size_t dot = at.find('.');
            const auto digits = [](std::string_view d) {
                return !d.empty() && d.size() <= 12 &&
                       d.find_first_not_of("0123456789") == std::string_view::npos;
            };
            if (dot == std::string_view::npos || !digits(at.substr(0, dot)) || !digits(at.substr(dot + 1)) ||
                a.remember)
                refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                       "an occurrence is named record.n, and is not remembered");
            const std::pair<std::int64_t, std::uint32_t> place{
                std::stoll(std::string(at.substr(0, dot))),
                static_cast<std::uint32_t>(std::stoul(std::string(at.substr(dot + 1))))};
            if (!answers.places.emplace(std::make_pair(std::move(key), place), a.reading).second)
                refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                       "the same occurrence twice");
            continue;
        }
        if (a.remember && options.words.empty())
            refuse(problem::Kind::ReviewNoWordList, path, static_cast<long long>(number));
        if (a.remember && length < 2)
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                   "only a word of two or more characters can be remembered");
        if (!answers.groups.emplace(std::move(key), std::move(a)).second)
            refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number),
                   "the same word and index twice");
    }
    if (!header) refuse(problem::Kind::ReviewInvalid, path, static_cast<long long>(number), "no header line");
    return answers;
}

}  // namespace app
