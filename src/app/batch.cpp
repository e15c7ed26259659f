// The batch run: frames the input, reads, annotates and rebuilds each record, appends it whole.
#include "app/batch.h"

#include <chrono>
#include <memory>

#include "app/files.h"
#include "app/framer.h"
#include "marc/constants.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"

namespace app {
namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr std::string_view kTooFewFields = "too few fields to write a record (the writer needs five)";

class Run {
public:
    Run(const BatchOptions& options, const pinyin::RunSettings& settings, BatchObserver& observer)
        : options_(options), settings_(settings), observer_(observer),
          output_(options.outputPath),
          rejects_(options.rejectsPath.empty() ? rejectsPathFor(options.outputPath)
                                               : options.rejectsPath),
          codec_(codepage::Codec::get(options.encoding)) {}

    BatchResult go();

private:
    void start();
    void handle(const Frame& frame);
    void fail(const Frame& frame, std::string reason);
    bool toRejects(std::string_view bytes, bool last);
    void stop(std::string error);

    const BatchOptions& options_;
    const pinyin::RunSettings& settings_;
    BatchObserver& observer_;
    std::unique_ptr<InputFile> input_;
    AppendFile output_;
    AppendFile rejects_;
    const codepage::Codec& codec_;
    std::shared_ptr<const pinyin::PinyinTable> table_;
    // Tag list, subfield code and the existing-pinyin choice are fixed when the run starts; the
    // letter case and polyphonic choice are copied in from the live settings before each record.
    pinyin::RunSettings fixed_;
    std::unique_ptr<pinyin::Romaniser> romaniser_;
    RecordFramer framer_;
    BatchResult result_;
    std::string cleaned_;
    std::string_view separator_;
};

void Run::start() {
    input_ = std::make_unique<InputFile>(options_.inputPath);
    if (std::string why = output_.check(); !why.empty()) throw StartError(why);
    if (isOpenFile(input_->fd(), options_.outputPath))
        throw StartError("the input " + options_.inputPath + " is the output file itself");
    if (isOpenFile(input_->fd(), rejects_.path()))
        throw StartError("the input " + options_.inputPath + " is the rejects file " + rejects_.path());
    table_ = options_.table;
    try {
        if (!table_) table_ = pinyin::PinyinTable::load(options_.dbPath);
        // The phrase data is built when first needed; a run that starts in a mode that reads
        // it builds it now, so that a py.db whose phrase rows cannot be read stops the run
        // before any record.
        const pinyin::Polyphone mode = settings_.polyphone;
        if (mode == pinyin::Polyphone::Phrase ||
            (mode == pinyin::Polyphone::Manual && settings_.askOnlyWhenUnsure))
            table_->phrases();
    } catch (const pinyin::DbError& e) {
        throw StartError(e.what());
    }
    if (std::string why = output_.open(); !why.empty()) throw StartError(why);
    fixed_ = settings_;
    romaniser_ = std::make_unique<pinyin::Romaniser>(*table_, settings_, observer_.chooser());
    romaniser_->setWords(options_.words.get());
    separator_ = options_.separator == Separator::CrLf ? marc::kCrLf : std::string_view{};
}

void Run::stop(std::string error) {
    result_.stopped = true;
    result_.error = std::move(error) + "; " + std::to_string(result_.written) +
                    (result_.written == 1 ? " record" : " records") + " written";
}

bool Run::toRejects(std::string_view bytes, bool last) {
    if (!rejects_.isOpen()) {
        if (std::string why = rejects_.open(); !why.empty()) {
            stop(why);
            return false;
        }
        result_.rejectsPath = rejects_.path();
    }
    if (std::string why = rejects_.append(bytes, last ? marc::kCrLf : std::string_view{});
        !why.empty()) {
        stop(why);
        return false;
    }
    return true;
}

void Run::fail(const Frame& frame, std::string reason) {
    ++result_.failed;
    RecordFailure failure{result_.read, frame.line, std::move(reason)};
    observer_.recordFailed(failure);
    result_.failures.push_back(std::move(failure));
    toRejects(frame.bytes, !frame.continues);
}

void Run::handle(const Frame& frame) {
    if (frame.continuation) {  // the rest of an overlong piece, already counted
        toRejects(frame.bytes, !frame.continues);
        return;
    }
    ++result_.read;
    if (!frame.problem.empty()) {
        fail(frame, std::string(frame.problem));
    } else {
        std::string encoded;
        bool ok = false;
        try {
            cleanRecord(frame.bytes, cleaned_);
            std::string working = marc::isoToMarcBytes(cleaned_, codec_);
            fixed_.letterCase = settings_.letterCase;
            fixed_.polyphone = settings_.polyphone;
            fixed_.askOnlyWhenUnsure = settings_.askOnlyWhenUnsure;
            std::string annotated = pinyin::py(working, fixed_, *romaniser_);
            annotated += marc::kCrLf;
            encoded = marc::marcToIsoBytes(annotated, codec_);
            // An empty result for a record that has fields would drop them without a word.
            if (encoded.empty() && !working.empty())
                fail(frame, std::string(kTooFewFields));
            else
                ok = true;
        } catch (const pinyin::DbError& e) {
            // The phrase data is read at the first record that needs it; a py.db that fails
            // then fails every record alike, so the run stops with the record kept aside.
            fail(frame, e.what());
            if (!result_.stopped) stop(e.what());
        } catch (const std::exception& e) {
            fail(frame, e.what());
        }
        if (ok) {
            if (std::string why = output_.append(encoded, separator_); !why.empty())
                stop(why);
            else
                ++result_.written;
        }
    }
    if (result_.stopped) return;
    observer_.recordDone(result_.read);
    observer_.progress(framer_.consumed(), input_->size());
    if (!observer_.yieldPoint()) result_.stopped = true;
}

BatchResult Run::go() {
    start();
    auto began = std::chrono::steady_clock::now();
    std::unique_ptr<char[]> block(new char[kBlockSize]);
    Frame frame;
    bool atEnd = false;
    while (!atEnd && !result_.stopped) {
        std::size_t n = 0;
        try {
            n = input_->read(block.get(), kBlockSize);
        } catch (const std::exception& e) {
            stop(e.what());
            break;
        }
        if (n == 0) {
            framer_.finish();
            atEnd = true;
        } else {
            framer_.feed(std::string_view(block.get(), n));
        }
        while (!result_.stopped && framer_.next(frame)) handle(frame);
    }
    result_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    observer_.finished(result_);
    return std::move(result_);
}

}  // namespace

std::string rejectsPathFor(const std::string& outputPath) {
    if (outputPath == "-") return "marc-pinyin.rejected";
    return outputPath + ".rejected";
}

BatchResult runBatch(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer) {
    Run run(options, settings, observer);
    return run.go();
}

}  // namespace app
