// The checks every run makes before it reads a record.
#include "app/start.h"

#include "app/framer.h"

namespace app {
namespace {

/// Refuses an input whose first bytes show it cannot be read as the run would read it.
void checkEncoding(const codepage::Detection& d, const BatchOptions& options) {
    if (d.marc8)
        throw StartError(problem::of(problem::Kind::Marc8, options.inputPath),
                         "the input is in MARC-8 (it holds MARC-8 escape sequences such as ESC $ 1), "
                         "which this program does not read; convert it to UTF-8 first, for example "
                         "with: yaz-marcdump -f MARC-8 -t UTF-8 -o marc INPUT > INPUT-utf8.mrc");
    if (options.autoEncoding || d.asciiOnly) return;
    // A user's choice is overruled only on clear evidence: several UTF-8 characters, or several
    // bytes that no UTF-8 character explains.
    const bool utf8 = options.encoding == codepage::Encoding::Utf8;
    problem::Problem p = problem::of(problem::Kind::EncodingContradicted, options.inputPath);
    p.encoding = options.encoding;
    p.other = d.encoding;
    const std::string chosen(codepage::encodingName(options.encoding)), seen(codepage::encodingName(d.encoding));
    if (!utf8 && d.encoding == codepage::Encoding::Utf8 && d.utf8Sequences >= 3)
        throw StartError(p, "the input looks like utf-8, not " + chosen + "; choose utf-8 or automatic detection");
    if (utf8 && d.encoding != codepage::Encoding::Utf8 && d.utf8Errors >= 3)
        throw StartError(p, "the input is not utf-8 (it looks like " + seen + "); choose " + seen +
                                " or automatic detection");
}

/// py.db's failure as the failure of the run's start, its OS error kept for the front end to word.
StartError startErrorOf(const pinyin::DbError& e, const std::string& dbPath) {
    problem::Problem p = problem::of(e.kind, dbPath);
    p.detail = e.detail;
    p.osError = e.osError;
    p.tag = e.table;
    p.value = e.row;
    return StartError(p, e.what());
}

}  // namespace

void refuse(const FileProblem& p) {
    if (p) throw StartError(*p, p->detail);
}

void refuseSameFile(const InputFile& input, const std::string& inputPath, const std::string& path,
                    problem::Kind kind, const std::string& what) {
    if (isOpenFile(input.fd(), path))
        throw StartError(problem::of(kind, inputPath), "the input " + inputPath + " is " + what);
}

void checkOutput(const InputFile& input, const std::string& inputPath, const AppendFile& output,
                 const std::string& what) {
    refuse(output.check());
    refuseSameFile(input, inputPath, output.path(), problem::Kind::InputIsOutput, what);
}

FirstBlock decideCodePage(std::string_view bytes, const BatchOptions& options) {
    FirstBlock first{};
    first.bytes = bytes;
    first.detection = codepage::detectEncoding(bytes);
    checkEncoding(first.detection, options);
    first.encoding = options.autoEncoding ? first.detection.encoding : options.encoding;
    return first;
}

FirstBlock readCheckedFirstBlock(RecordSource& records, const BatchOptions& options) {
    std::string_view bytes;
    try {
        bytes = records.firstBlock();
    } catch (const FileError& e) {
        throw StartError(e.problem, e.what());
    }
    if (bytes.find_first_not_of(" \r\n\x1A") != std::string_view::npos && !holdsRecordLeader(bytes))
        throw StartError(problem::of(problem::Kind::NotIso2709, options.inputPath),
                         "this is not an ISO 2709 file: nothing in its first megabyte looks like the leader of a record");
    return decideCodePage(bytes, options);
}

PhraseUse phraseUseOf(const pinyin::RunSettings& settings) {
    using pinyin::Polyphone;
    if (settings.polyphone == Polyphone::Phrase) return PhraseUse::Required;
    if (settings.polyphone != Polyphone::Manual) return PhraseUse::None;
    return settings.askOnlyWhenUnsure ? PhraseUse::Required : PhraseUse::IfPresent;
}

std::shared_ptr<const pinyin::PinyinTable> loadTable(const std::string& dbPath, PhraseUse use) {
    using Phrases = pinyin::PinyinTable::Phrases;
    try {
        return pinyin::PinyinTable::load(dbPath, use == PhraseUse::None ? Phrases::WhenFirstAsked : Phrases::Alongside);
    } catch (const pinyin::DbError& e) {
        throw startErrorOf(e, dbPath);
    }
}

void checkPhrases(const pinyin::PinyinTable& table, const std::string& dbPath, PhraseUse use) {
    if (use == PhraseUse::None) return;
    try {
        if (table.phrases() || use == PhraseUse::IfPresent) return;
    } catch (const pinyin::DbError& e) {
        throw startErrorOf(e, dbPath);
    }
    throw StartError(problem::of(problem::Kind::DbNoPhrases, dbPath),
                     "the pinyin database " + dbPath +
                         " has no phrase tables, which choosing readings by the words around needs");
}

}  // namespace app
