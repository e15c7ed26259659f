// What the command line runs (run.h), each over the core's framing, codec and romaniser.
#include "run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/check.h"
#include "app/review.h"
#include "app/files.h"
#include "app/framer.h"
#include "app/source.h"
#include "app/start.h"
#include "marc/databar.h"
#include "marc/reader.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"
#include "messages/messages.h"
#include "pinyin/words.h"
#include "problem/error.h"
#include "text/tag_list.h"
#include "report.h"
#include "tty_chooser.h"

namespace cli {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

void complain(const std::string& message) { std::fprintf(stderr, "marc-pinyin-cli: %s\n", message.c_str()); }

/// Writes to standard output through stdio; false, once said why, when it does not take them.
bool print(std::string_view bytes, messages::Language lang) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
    problem::Problem p = problem::of(problem::Kind::OutputWriteFailed, "-");
    p.osError = errno;
    complain(messages::describe(p, lang));
    return false;
}

/// Hands what stdio holds for standard output over; false, once said why, when it fails.
bool flushOut(messages::Language lang) {
    if (std::fflush(stdout) == 0) return true;
    problem::Problem p = problem::of(problem::Kind::OutputWriteFailed, "-");
    p.osError = errno;
    complain(messages::describe(p, lang));
    return false;
}

int runDump(const Options& o, messages::Language lang) {
    app::InputFile input(o.input);
    app::RecordSource records(input);
    // Read as a run would read it: a file a run refuses is refused here too, not shown garbled.
    const app::BatchOptions options = toBatchOptions(o);
    app::RecordCodePage codePage(app::readCheckedFirstBlock(records, options), options);
    const text::TagList tags(toRunSettings(o).tagList);
    marc::SourceRecord source;
    std::string cleaned, out;
    long long number = 0, failed = 0;
    app::Frame f;
    while (records.next(f)) {
        if (f.continuation) continue;
        ++number;
        std::optional<problem::Problem> why;
        if (f.problem) {
            why = problem::of(*f.problem);
        } else {
            try {
                app::cleanRecord(f.bytes, cleaned);
                codePage.see(cleaned, records.ahead(f.offset + f.bytes.size()));
                marc::readRecord(cleaned, codePage.codec(), source);
                // What a run would refuse to romanise is not shown as text of another code page.
                if (std::optional<problem::Problem> p = codePage.checkFields(source, tags))
                    throw marc::MarcError(*p);
                // Every "|" that stood in field data comes back as itself: the dump is for reading.
                const std::string working = marc::withBars(source.working);
                out.clear();
                if (number > 1) out += '\n';
                for (char c : working)
                    if (c != '\r') out += c;
                out += '\n';
                if (!print(out, lang)) return kCannotStart;
            } catch (const problem::Error& e) {
                why = e.problem;
            }
        }
        if (why) {
            ++failed;
            if (!flushOut(lang)) return kCannotStart;
            app::RecordFailure failure;
            failure.number = number;
            failure.line = f.line;
            failure.offset = f.offset;
            failure.problem = *why;
            std::fprintf(stderr, "%s\n", messages::failure(failure, lang).c_str());
        }
    }
    if (!flushOut(lang)) return kCannotStart;
    return failed ? kSomeFailed : kAllWritten;
}

/// The terminal chooser of the manual modes (null in the others). An answer it is told to
/// remember goes into the last --words file, and into `words` for the rest of the run.
std::unique_ptr<TtyChooser> chooserFor(const Options& o, messages::Language lang,
                                       const std::shared_ptr<pinyin::UserWords>& words) {
    if (!asks(o) || o.removePinyin) return nullptr;  // taking pinyin out asks nothing
    int osError = 0;
    auto chooser = TtyChooser::open(osError, lang);
    if (!chooser) {
        problem::Problem p = problem::of(problem::Kind::NoTerminal);
        p.osError = osError;
        throw app::StartError(p);
    }
    if (!o.words.empty() && words) {
        chooser->setRemember([path = o.words.back(), words, lang](const pinyin::WordEntry& entry) {
            try {
                pinyin::appendWord(path, entry.word, entry.syllables);
                words->add(entry.word, entry.syllables);
            } catch (const pinyin::WordsError& e) {
                complain(messages::describe(e.problem, lang));
            }
        });
    }
    return chooser;
}

/// The last character boundary of `bytes` at or before `limit` (at least one character on).
std::size_t characterBoundary(std::string_view bytes, codepage::Encoding e, std::size_t limit) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t at = 0, last = 0;
    while (at < bytes.size() && at <= limit) {
        last = at;
        if (p[at] < 0x80)
            ++at;
        else if (e == codepage::Encoding::Utf8)
            codepage::utf8::next(bytes, at);
        else if (e == codepage::Encoding::Gb18030 && at + 1 < bytes.size() && p[at + 1] >= 0x30 &&
                 p[at + 1] <= 0x39)
            at += 4;
        else
            at += 2;
    }
    return at <= limit ? std::min(at, bytes.size()) : std::max<std::size_t>(last, 1);
}

/// The word lists of --words, read in order; null when there are none. Throws WordsError.
std::shared_ptr<pinyin::UserWords> loadWords(const Options& o) {
    if (o.words.empty()) return nullptr;
    auto words = std::make_shared<pinyin::UserWords>();
    for (const std::string& path : o.words) words->load(path);
    return words;
}

/// --lines: each input line's pinyin on a line of its own, in the input's code page. A line is
/// romanised in pieces of at most kBlock bytes, cut between characters, so that one endless line
/// is read in the same memory as many short ones.
class LineRun {
public:
    /// Makes the start checks of a record run; throws StartError, or WordsError for a word list.
    LineRun(const Options& o, messages::Language lang)
        : o_(o),
          lang_(lang),
          paths_(toBatchOptions(o)),
          settings_(toRunSettings(o)),
          words_(loadWords(o)),
          input_(o.input),
          output_(paths_.outputPath) {
        app::checkOutput(input_, o.input, output_);
        // Plain text is read in the code page a record file would be: the one chosen, unless the
        // first bytes clearly contradict it, or the one they call for.
        firstRead_ = input_.read(block_.get(), kBlock);
        codePage_.emplace(app::decideCodePage({block_.get(), firstRead_}, paths_), paths_);
        codec_ = &codePage_->codec();
        const app::PhraseUse phrases = app::phraseUseOf(settings_);
        table_ = app::loadTable(paths_.dbPath, phrases);
        app::checkPhrases(*table_, paths_.dbPath, phrases);
        chooser_ = chooserFor(o, lang, words_);
        app::refuse(output_.open());
        romaniser_.emplace(*table_, settings_, chooser_.get());
        romaniser_->setWords(words_.get());
    }

    int go() {
        std::string pending;
        for (std::size_t n = firstRead_; n > 0; n = input_.read(block_.get(), kBlock)) {
            // Lines of ASCII alone read alike in every code page: it is decided at the first other bytes.
            codePage_->see({block_.get(), n});
            codec_ = &codePage_->codec();
            if (codePage_->foreign() != codepage::Foreign::None) {
                (void)flush();
                complain(messages::describe(
                    problem::of(codePage_->foreign() == codepage::Foreign::Marc8 ? problem::Kind::Marc8
                                                                                 : problem::Kind::SingleByte,
                                o_.input),
                    lang_));
                return kCannotStart;
            }
            pending.append(block_.get(), n);
            std::size_t from = 0;
            for (std::size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1)
                emit(std::string_view(pending).substr(from, nl - from), true);
            pending.erase(0, from);
            if (pending.size() > kBlock) {
                const std::size_t cut = characterBoundary(pending, codec_->encoding(), kBlock);
                emit(std::string_view(pending).substr(0, cut), false);
                pending.erase(0, cut);
            }
            if (!flush()) return kCannotStart;
        }
        if (!pending.empty() || midLine_) emit(pending, true);
        return flush() ? kAllWritten : kCannotStart;
    }

private:
    /// Romanises a line, or a piece of one when `lineEnds` is false; the spaces around a whole
    /// line are left out.
    void emit(std::string_view line, bool lineEnds) {
        if (lineEnds && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string text = romaniser_->pinyin(codec_->decode(line), o_.field);
        const std::size_t first = midLine_ ? 0 : text.find_first_not_of(' ');
        const std::size_t last = lineEnds ? text.find_last_not_of(' ') : text.size() - 1;
        if (first != std::string::npos && last != std::string::npos && first <= last)
            out_ += codec_->encode(std::string_view(text).substr(first, last - first + 1));
        if (lineEnds) out_ += '\n';
        midLine_ = !lineEnds;
    }

    bool flush() {
        if (out_.empty()) return true;
        if (app::FileProblem p = output_.append(out_)) {
            complain(messages::describe(*p, lang_));
            return false;
        }
        out_.clear();
        return true;
    }

    const Options& o_;
    messages::Language lang_;
    app::BatchOptions paths_;  // the output and py.db as a record run would take them
    pinyin::RunSettings settings_;
    std::shared_ptr<pinyin::UserWords> words_;
    app::InputFile input_;
    app::AppendFile output_;
    std::shared_ptr<const pinyin::PinyinTable> table_;
    std::unique_ptr<TtyChooser> chooser_;
    std::optional<pinyin::Romaniser> romaniser_;
    std::unique_ptr<char[]> block_{new char[kBlock]};
    std::size_t firstRead_ = 0;  // bytes of the first block, read at the start
    std::optional<app::RecordCodePage> codePage_;
    const codepage::Codec* codec_ = nullptr;
    std::string out_;
    bool midLine_ = false;  // the last piece emitted did not end its line
};

int runRecords(const Options& o, messages::Language lang, const app::ReviewAnswers* answers = nullptr) {
    app::BatchOptions b = toBatchOptions(o);
    b.describeFailure = [lang](const app::RecordFailure& f) { return messages::failureLogLine(f, lang); };
    b.words = loadWords(o);
    pinyin::RunSettings settings = toRunSettings(o);
    if (b.words && !b.words->lone().empty()) {
        // Said once, before the first record: the readings are loaded here, and the run takes them.
        b.table = app::loadTable(b.dbPath, app::phraseUseOf(settings));
        if (const auto lone = pinyin::lonePolyphonic(*b.words, *b.table); !lone.empty())
            complain(messages::lonePolyphonic(lone, lang));
    }
    auto chooser = chooserFor(o, lang, b.words);
    bool progressLine = !o.quiet && ::isatty(STDERR_FILENO);
    Report report(stderr, progressLine, !o.quiet, chooser.get(), lang);
    if (chooser) chooser->setBeforeAsking([&report] { report.clearLine(); });
    report.setRun(b.outputPath, settings.tagList);
    StopSignals signals;
    std::vector<std::pair<std::string, std::string>> remembered;
    app::BatchResult result = answers ? app::runWithAnswers(b, settings, *answers, report, &remembered)
                                      : app::runBatch(b, settings, report);
    // The words the review says to remember go into the last word list, as the chooser's do.
    for (const auto& [word, syllables] : remembered) try {
            pinyin::appendWord(o.words.back(), word, syllables);
        } catch (const pinyin::WordsError& e) {
            complain(messages::describe(e.problem, lang));
        }
    // A stop that came after the last record stopped nothing: the run ends as it would have.
    if (const int signal = StopSignals::received(); signal && result.stopped) return 128 + signal;
    if (result.stopped) return kCannotStart;
    return result.failed || app::didNothing(result) ? kSomeFailed : kAllWritten;
}

int runCheck(const Options& o, messages::Language lang) {
    app::BatchOptions b = toBatchOptions(o);
    b.words = loadWords(o);
    Report report(stderr, !o.quiet && ::isatty(STDERR_FILENO), false, nullptr, lang);
    const app::CheckResult r = app::runCheck(b, toRunSettings(o), report);
    report.clearLine();
    if (!o.quiet || r.stopProblem) complain(messages::checkSummary(r, lang));
    if (r.stopped) return kCannotStart;
    return r.failed ? kSomeFailed : kAllWritten;
}

/// --answers: the review file is read and checked against the input before anything is written.
int runAnswers(const Options& o, messages::Language lang) {
    const app::ReviewAnswers answers =
        app::readReviewFile(o.answers, app::reviewInputOf(o.input), toReviewOptions(o));
    return runRecords(o, lang, &answers);
}

/// --review-out: the unsure readings of the whole input, grouped, in a review file; no records.
int runReview(const Options& o, messages::Language lang) {
    app::BatchOptions b = toBatchOptions(o);
    b.words = loadWords(o);
    const app::ReviewInput input = app::reviewInputOf(o.input);
    struct stat in {
    }, out{};
    if (::stat(o.input.c_str(), &in) == 0 && ::stat(o.reviewOut.c_str(), &out) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw app::StartError(problem::of(problem::Kind::InputIsOutput, o.input));
    // The review file is written afresh: never over records named by mistake.
    if (std::ifstream old(o.reviewOut, std::ios::binary); old) {
        std::string head(kBlock, '\0');
        head.resize(static_cast<std::size_t>(
            old.read(head.data(), static_cast<std::streamsize>(head.size())).gcount()));
        if (app::holdsRecordLeader(head))
            throw app::StartError(problem::of(problem::Kind::ReportHoldsRecords, o.reviewOut));
    }
    Report report(stderr, !o.quiet && ::isatty(STDERR_FILENO), false, nullptr, lang);
    StopSignals signals;
    const app::ReviewGathering g = app::gatherReview(b, toRunSettings(o), report);
    report.clearLine();
    if (!g.run.stopped) {
        std::ofstream file(o.reviewOut, std::ios::binary | std::ios::trunc);
        file << app::reviewFileText(g, input, toReviewOptions(o));
        file.close();
        if (!file) {
            problem::Problem p = problem::of(problem::Kind::OutputWriteFailed, o.reviewOut);
            p.osError = errno;
            complain(messages::describe(p, lang));
            return kCannotStart;
        }
    }
    if (!o.quiet || g.run.stopProblem) complain(messages::reviewSummary(g, o.reviewOut, lang));
    if (const int signal = StopSignals::received(); signal && g.run.stopped) return 128 + signal;
    if (g.run.stopped) return kCannotStart;
    return g.run.failed ? kSomeFailed : kAllWritten;
}

}  // namespace

int runCommand(const Options& o) {
    const messages::Language lang = messages::fromEnvironment();
    app::ignoreWriteSignals();  // a write past the size limit, or to a pipe nobody reads, fails and is said
    const bool chinese = lang == messages::Language::Chinese;
    try {
        if (o.dump) return runDump(o, lang);
        if (o.lines) return LineRun(o, lang).go();
        if (o.check) return runCheck(o, lang);
        if (!o.reviewOut.empty()) return runReview(o, lang);
        if (!o.answers.empty()) return runAnswers(o, lang);
        return runRecords(o, lang);
    } catch (const problem::Error& e) {
        // Every problem the core throws: a run that cannot start, a file that failed on the way.
        std::string text = messages::describe(e.problem, lang);
        if (e.problem.kind == problem::Kind::OutputPartialTail) {
            const std::string n = std::to_string(e.problem.value), path = e.problem.path,
                              partial = app::partialPathFor(path);
            text += chinese ? "。如要移走它们，请加上 --repair-tail 再运行（它们会先另存于 " + partial +
                                  "），或执行：truncate -s -" + n + " " + path
                            : ". To remove them, run again with --repair-tail (which saves them to " +
                                  partial + " first), or: truncate -s -" + n + " " + path;
        }
        complain(text);
    } catch (const std::exception& e) {
        // A fault of the program itself, no problem the core names: said as it stands.
        problem::Problem p;
        p.detail = e.what();
        complain(messages::describe(p, lang));
    }
    return kCannotStart;
}

}  // namespace cli
