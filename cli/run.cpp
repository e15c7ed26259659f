// The three modes of the command line, each over the core's framing, codec and romaniser.
#include "run.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/check.h"
#include "app/files.h"
#include "app/framer.h"
#include "marc/reader.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"
#include "pinyin/words.h"
#include "report.h"
#include "tty_chooser.h"

namespace cli {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

void complain(const std::string& message) { std::fprintf(stderr, "marc-pinyin-cli: %s\n", message.c_str()); }

// Every "|" that stood in field data comes back as itself: the dump is for reading.
void replaceDataBars(std::string& text) {
    const std::string_view bar = codepage::kDataBar;
    for (std::size_t at = text.find(bar); at != std::string::npos; at = text.find(bar, at + 1))
        text.replace(at, bar.size(), 1, '|');
}

int runDump(const Options& o) {
    const auto& codec = codepage::Codec::get(toBatchOptions(o).encoding);
    app::InputFile input(o.input);
    app::RecordFramer framer;
    std::unique_ptr<char[]> block(new char[kBlock]);
    std::string cleaned, out;
    long long number = 0, failed = 0;
    app::Frame f;
    auto handle = [&] {
        while (framer.next(f)) {
            if (f.continuation) continue;
            ++number;
            std::string reason(f.problem);
            if (reason.empty()) {
                try {
                    app::cleanRecord(f.bytes, cleaned);
                    std::string working = marc::isoToMarcBytes(cleaned, codec);
                    replaceDataBars(working);
                    out.clear();
                    if (number > 1) out += '\n';
                    for (char c : working)
                        if (c != '\r') out += c;
                    out += '\n';
                    std::fwrite(out.data(), 1, out.size(), stdout);
                } catch (const std::exception& e) {
                    reason = e.what();
                }
            }
            if (!reason.empty()) {
                ++failed;
                std::fflush(stdout);
                std::fprintf(stderr, "record %lld (line %lld): %s\n", number, static_cast<long long>(f.line),
                             reason.c_str());
            }
        }
    };
    for (;;) {
        std::size_t n = input.read(block.get(), kBlock);
        if (n == 0) break;
        framer.feed(std::string_view(block.get(), n));
        handle();
    }
    framer.finish();
    handle();
    std::fflush(stdout);
    return failed ? kSomeFailed : kAllWritten;
}

std::unique_ptr<TtyChooser> chooserFor(const Options& o) {
    if (o.polyphone != "ask" && o.polyphone != "ask-unsure") return nullptr;
    std::string why;
    auto chooser = TtyChooser::open(why);
    if (!chooser) throw app::StartError(why);
    return chooser;
}

/// The word lists of --words, read in order; null when there are none.
std::shared_ptr<pinyin::UserWords> loadWords(const Options& o) {
    if (o.words.empty()) return nullptr;
    auto words = std::make_shared<pinyin::UserWords>();
    try {
        for (const std::string& path : o.words) words->load(path);
    } catch (const pinyin::WordsError& e) {
        throw app::StartError(e.what());
    }
    return words;
}

int runLines(const Options& o) {
    app::BatchOptions b = toBatchOptions(o);
    const auto& codec = codepage::Codec::get(b.encoding);
    pinyin::RunSettings settings = toRunSettings(o);
    const auto words = loadWords(o);
    app::InputFile input(o.input);
    app::AppendFile output(b.outputPath);
    if (std::string why = output.check(); !why.empty()) throw app::StartError(why);
    if (app::isOpenFile(input.fd(), b.outputPath)) throw app::StartError("the input is the output file itself");
    std::shared_ptr<const pinyin::PinyinTable> table;
    try {
        table = pinyin::PinyinTable::load(b.dbPath);
    } catch (const pinyin::DbError& e) {
        throw app::StartError(e.what());
    }
    auto chooser = chooserFor(o);
    if (std::string why = output.open(); !why.empty()) throw app::StartError(why);
    pinyin::Romaniser romaniser(*table, settings, chooser.get());
    romaniser.setWords(words.get());

    std::unique_ptr<char[]> block(new char[kBlock]);
    std::string pending, out;
    auto emit = [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string text = romaniser.pinyin(codec.decode(line), o.field);
        std::size_t b0 = text.find_first_not_of(' ');
        std::size_t e0 = text.find_last_not_of(' ');
        out += b0 == std::string::npos ? std::string() : codec.encode(text.substr(b0, e0 - b0 + 1));
        out += '\n';
    };
    auto flush = [&]() -> bool {
        if (out.empty()) return true;
        if (std::string why = output.append(out); !why.empty()) {
            complain(why);
            return false;
        }
        out.clear();
        return true;
    };
    for (;;) {
        std::size_t n = input.read(block.get(), kBlock);
        if (n == 0) break;
        pending.append(block.get(), n);
        std::size_t from = 0;
        for (std::size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1)
            emit(std::string_view(pending).substr(from, nl - from));
        pending.erase(0, from);
        if (!flush()) return kCannotStart;
    }
    if (!pending.empty()) emit(pending);
    return flush() ? kAllWritten : kCannotStart;
}

int runRecords(const Options& o) {
    app::BatchOptions b = toBatchOptions(o);
    b.words = loadWords(o);
    pinyin::RunSettings settings = toRunSettings(o);
    auto chooser = chooserFor(o);
    bool progressLine = !o.quiet && ::isatty(STDERR_FILENO);
    Report report(stderr, progressLine, !o.quiet, chooser.get());
    if (chooser) chooser->setBeforeAsking(&Report::clearLine, &report);
    app::BatchResult result = app::runBatch(b, settings, report);
    if (result.stopped) return kCannotStart;
    return result.failed ? kSomeFailed : kAllWritten;
}

int runCheck(const Options& o) {
    app::BatchOptions b = toBatchOptions(o);
    b.words = loadWords(o);
    Report report(stderr, !o.quiet && ::isatty(STDERR_FILENO), false, nullptr);
    const app::CheckResult r = app::runCheck(b, toRunSettings(o), report);
    report.clearLine();
    if (!r.error.empty()) complain("stopped: " + r.error);
    if (!o.quiet)
        std::fprintf(stderr,
                     "marc-pinyin-cli: %lld records read, %lld fields checked, %lld disagree, "
                     "%lld failed, %.2f s\n",
                     static_cast<long long>(r.read), static_cast<long long>(r.checked),
                     static_cast<long long>(r.differing), static_cast<long long>(r.failed), r.seconds);
    if (r.stopped) return kCannotStart;
    return r.failed ? kSomeFailed : kAllWritten;
}

}  // namespace

int runCommand(const Options& o) {
    try {
        if (o.dump) return runDump(o);
        if (o.lines) return runLines(o);
        if (o.check) return runCheck(o);
        return runRecords(o);
    } catch (const app::StartError& e) {
        complain(e.what());
    } catch (const std::exception& e) {
        complain(e.what());
    }
    return kCannotStart;
}

}  // namespace cli
