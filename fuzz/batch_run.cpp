// Fuzzes the whole batch run: input file bytes -> runBatch -> output and rejects files.
//
// The first byte picks the code page, the polyphonic mode and the separator; the rest is the
// input file. Whatever it holds, the run must end, and nothing may be lost without a word:
//  - every record counted is either written or failed (read == written + failed);
//  - the rejects file holds exactly the failed records' bytes, each followed by CR LF;
//  - the records framed again from the input cover it, leaving out only spaces, line breaks
//    and an end-of-file mark;
//  - a run without failures leaves no rejects file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/framer.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "batch_run: %s\n", what);
    std::abort();
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A folder of this process's own, removed when it ends.
struct Folder {
    fs::path path = fs::temp_directory_path() / ("batch_run_fuzz_" + std::to_string(::getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& folder() {
    static const Folder dir;
    return dir.path;
}

std::shared_ptr<const pinyin::PinyinTable> table() {
    static const auto t = [] {
        auto t = std::make_shared<pinyin::PinyinTable>();
        t->add(U'银', "Yin");
        t->add(U'行', "Xing Hang");
        t->add(U'长', "Chang Zhang");
        t->add(U'书', "Shu");
        t->add(U'吕', "Lǘ");
        t->add(U'，', "");
        return t;
    }();
    return t;
}

// The records of the input as the framer sees them, continuations joined to their first piece.
std::vector<std::string> frames(std::string_view input, std::string& covered) {
    app::RecordFramer framer;
    std::vector<std::string> out;
    app::Frame f;
    auto drain = [&] {
        while (framer.next(f)) {
            if (f.continuation)
                out.back() += f.bytes;
            else
                out.emplace_back(f.bytes);
            covered += f.bytes;
        }
    };
    framer.feed(input);
    drain();
    framer.finish();
    drain();
    return out;
}

bool onlyBlanks(std::string_view input, std::string_view covered) {
    // `covered` must be `input` with blank bytes taken out (a subsequence of it).
    std::size_t j = 0;
    for (char c : input) {
        if (j < covered.size() && covered[j] == c) {
            ++j;
        } else if (c != ' ' && c != '\r' && c != '\n' && c != '\x1A') {
            return false;
        }
    }
    return j == covered.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t pick = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    const fs::path in = folder() / "in.iso", out = folder() / "out.iso";
    const std::string rejects = out.string() + ".rejected";
    fs::remove(out);
    fs::remove(rejects);
    std::ofstream(in, std::ios::binary).write(input.data(), static_cast<std::streamsize>(input.size()));

    app::BatchOptions options;
    options.inputPath = in.string();
    options.outputPath = out.string();
    options.table = table();
    options.encoding = pick % 3 == 0   ? codepage::Encoding::Gbk
                       : pick % 3 == 1 ? codepage::Encoding::Gb18030
                                       : codepage::Encoding::Utf8;
    options.separator = (pick & 4) ? app::Separator::None : app::Separator::CrLf;
    pinyin::RunSettings settings;
    settings.polyphone = (pick & 8) ? pinyin::Polyphone::Phrase : pinyin::Polyphone::Automatic;
    settings.letterCase = (pick & 16) ? pinyin::LetterCase::Capitalised : pinyin::LetterCase::Lower;
    settings.delExisting = (pick & 32) == 0;
    settings.useCodeA = (pick & 64) == 0;
    app::BatchObserver quiet;
    const app::BatchResult r = app::runBatch(options, settings, quiet);

    if (r.stopped) broken("the run stopped");
    if (r.read != r.written + r.failed) broken("a record neither written nor failed");
    if (static_cast<std::size_t>(r.failed) != r.failures.size()) broken("failure list incomplete");

    std::string covered;
    const std::vector<std::string> records = frames(input, covered);
    if (records.size() != static_cast<std::size_t>(r.read)) broken("record count differs from the framing");
    if (!onlyBlanks(input, covered)) broken("input bytes dropped that are not blank");

    std::string expected;
    for (const auto& f : r.failures) expected += records.at(static_cast<std::size_t>(f.number - 1)) + "\r\n";
    if (r.failed == 0) {
        if (fs::exists(rejects)) broken("rejects file without failures");
    } else if (slurp(rejects) != expected) {
        broken("rejects file differs from the failed records");
    }
    if (r.written > 0 && !fs::exists(out)) broken("records written but no output");
    return 0;
}
