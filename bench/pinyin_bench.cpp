// How fast Romaniser::pinyin romanises in automatic mode, in Han characters per second.
//
// Usage: pinyin_bench [--db PATH] [--text FILE] [--mb N] [--seed N] [--passes N] [--phrase]
//   --db      py.db to load (default: py.db beside this program)
//   --phrase  the phrase mode instead of the automatic one (context decides polyphones)
//   --text    UTF-8 text to romanise, one subfield per line (default: N MB of text made from
//             the table's own characters with a fixed seed)
// Prints the Han characters per second of the best pass and a checksum of the pinyin.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/db_path.h"
#include "pinyin/lookup.h"
#include "pinyin/settings.h"
#include "pinyin/table.h"

namespace {

/// Subfield-sized pieces of text: 4 to 60 characters, now and then a digit, a Latin word or a
/// full-width comma, as in titles and statements of responsibility.
std::vector<std::string> makeText(const pinyin::PinyinTable& table, std::size_t bytes, std::uint32_t seed) {
    std::vector<char32_t> han;
    for (char32_t c = 0x4E00; c <= 0x9FFF; ++c)
        if (table.readings(c)) han.push_back(c);
    if (han.empty()) return {};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, han.size() - 1);
    std::uniform_int_distribution<int> length(4, 60), extra(0, 19);
    std::vector<std::string> pieces;
    std::size_t total = 0;
    while (total < bytes) {
        std::string s;
        for (int n = length(rng); n > 0; --n) {
            switch (extra(rng)) {
                case 0:
                    s += "2024";
                    break;
                case 1:
                    s += " ISBN ";
                    break;
                case 2:
                    s += "，";
                    break;
                default:
                    codepage::utf8::append(s, han[pick(rng)]);
            }
        }
        total += s.size();
        pieces.push_back(std::move(s));
    }
    return pieces;
}

std::size_t hanCount(const std::vector<std::string>& pieces) {
    std::size_t n = 0;
    for (const std::string& s : pieces)
        for (std::size_t i = 0; i < s.size();) {
            const char32_t c = codepage::utf8::next(s, i);
            n += (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || c >= 0x20000;
        }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::string db = pinyin::pyDbPath(pinyin::programFolder());
    std::string textFile;
    double mb = 4;
    std::uint32_t seed = 20240601;
    int passes = 5;
    bool phrase = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--db" && hasValue)
            db = argv[++i];
        else if (arg == "--text" && hasValue)
            textFile = argv[++i];
        else if (arg == "--mb" && hasValue)
            mb = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue)
            seed = static_cast<std::uint32_t>(std::atol(argv[++i]));
        else if (arg == "--passes" && hasValue)
            passes = std::atoi(argv[++i]);
        else if (arg == "--phrase")
            phrase = true;
        else {
            std::cerr << "usage: pinyin_bench [--db PATH] [--text FILE] [--mb N] [--seed N] "
                         "[--passes N] [--phrase]\n";
            return 2;
        }
    }

    const auto loadStart = std::chrono::steady_clock::now();
    std::shared_ptr<const pinyin::PinyinTable> table;
    try {
        table = pinyin::PinyinTable::load(db);
    } catch (const pinyin::DbError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart).count();
    // The phrase data is built at its first use; timed here so that the passes leave it out.
    double phraseMs = 0;
    if (phrase) {
        const auto phraseStart = std::chrono::steady_clock::now();
        try {
            table->phrases();
        } catch (const pinyin::DbError& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
        phraseMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - phraseStart).count();
    }

    std::vector<std::string> pieces;
    if (!textFile.empty()) {
        std::ifstream in(textFile);
        if (!in) {
            std::cerr << "cannot read " << textFile << "\n";
            return 1;
        }
        for (std::string line; std::getline(in, line);) pieces.push_back(line);
    } else {
        pieces = makeText(*table, static_cast<std::size_t>(mb * 1024 * 1024), seed);
    }
    const std::size_t han = hanCount(pieces);

    pinyin::RunSettings settings;
    settings.polyphone = phrase ? pinyin::Polyphone::Phrase : pinyin::Polyphone::Automatic;
    pinyin::Romaniser romaniser(*table, settings, nullptr);
    double best = 1e300;
    std::size_t outBytes = 0;
    for (int pass = 0; pass < passes; ++pass) {
        std::size_t bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& s : pieces) bytes += romaniser.pinyin(s, "200").size();
        const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (sec < best) best = sec;
        outBytes = bytes;
    }
    // The checksum pass is not timed: FNV-1a over every result, to compare builds.
    std::uint64_t checksum = 1469598103934665603ull;
    for (const std::string& s : pieces)
        for (const char ch : romaniser.pinyin(s, "200"))
            checksum = (checksum ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
    std::printf("py.db %s: loaded in %.1f ms", db.c_str(), loadMs);
    if (phrase) std::printf(", phrase data in %.1f ms", phraseMs);
    std::printf("\n");
    std::printf("%zu subfields, %zu Han characters, %zu bytes of pinyin; best of %d passes %.3f s\n",
                pieces.size(), han, outBytes, passes, best);
    std::printf("%s mode%s\n", phrase ? "phrase" : "automatic",
                phrase && !table->phrases() ? " (no phrase data: same as automatic)" : "");
    std::printf("%.2f M Han characters/s   checksum %016llx\n", han / best / 1e6,
                static_cast<unsigned long long>(checksum));
    return 0;
}
