// The checks every run makes before it reads a record.
#include "app/start.h"

#include "app/framer.h"

namespace app {
namespace {

/// Refuses an input whose first bytes show it cannot be read as the run would read it. What to do
/// instead is said once, with the problem's words (messages/texts.tsv).
void checkEncoding(const codepage::Detection& d, const BatchOptions& options) {
    // Escape sequences are MARC-8 whatever the user chose; the subtler signs are weighed only
    // when the code page is detected: a user's choice of GBK is followed.
    if (d.marc8 || (options.autoEncoding && d.foreign == codepage::Foreign::Marc8))
        throw StartError(problem::of(problem::Kind::Marc8, options.inputPath));
    if (options.autoEncoding && d.foreign == codepage::Foreign::SingleByte)
        throw StartError(problem::of(problem::Kind::SingleByte, options.inputPath));
    if (options.autoEncoding || d.asciiOnly) return;
    // A user's choice is overruled only on clear evidence: several UTF-8 characters, or several
    // bytes that no UTF-8 character explains.
    const bool utf8 = options.encoding == codepage::Encoding::Utf8;
    problem::Problem p = problem::of(problem::Kind::EncodingContradicted, options.inputPath);
    p.encoding = options.encoding;
    p.other = d.encoding;
    if (!utf8 && d.encoding == codepage::Encoding::Utf8 && d.utf8Sequences >= 3) throw StartError(p);
    if (utf8 && d.encoding != codepage::Encoding::Utf8 && d.utf8Errors >= 3) throw StartError(p);
}

/// Whether `block` holds a record whose leader and directory are well formed: a record length
/// and a base address of digits, and entries of a tag and nine digits up to a field terminator
/// just before the base address.
bool holdsWellFormedRecord(std::string_view block) {
    const auto digits = [&](std::size_t at, std::size_t n) {
        for (std::size_t i = at; i < at + n; ++i)
            if (block[i] < '0' || block[i] > '9') return false;
        return true;
    };
    const auto alnum = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    for (std::size_t at = 0; at + 24 <= block.size(); ++at) {
        if (!digits(at, 5) || !digits(at + 12, 5)) continue;
        const std::size_t base = std::stoul(std::string(block.substr(at + 12, 5)));
        if (base < 37 || (base - 25) % 12 != 0 || at + base > block.size() || block[at + base - 1] != '\x1E')
            continue;
        bool ok = true;
        for (std::size_t e = at + 24; ok && e + 12 < at + base; e += 12)
            ok = alnum(block[e]) && alnum(block[e + 1]) && alnum(block[e + 2]) && digits(e + 3, 9);
        if (ok) return true;
    }
    return false;
}

/// py.db's failure as the failure of the run's start, at the path the run was given.
StartError startErrorOf(const pinyin::DbError& e, const std::string& dbPath) {
    problem::Problem p = e.problem;
    p.path = dbPath;
    return StartError(std::move(p));
}

}  // namespace

void refuse(const FileProblem& p) {
    if (p) throw StartError(*p);
}

void refuseSameFile(const InputFile& input, const std::string& inputPath, const std::string& path,
                    problem::Kind kind) {
    if (isOpenFile(input.fd(), path)) throw StartError(problem::of(kind, inputPath));
}

void checkOutput(const InputFile& input, const std::string& inputPath, const AppendFile& output) {
    refuse(output.check());
    refuseSameFile(input, inputPath, output.path(), problem::Kind::InputIsOutput);
}

FirstBlock decideCodePage(std::string_view bytes, const BatchOptions& options) {
    FirstBlock first{};
    first.bytes = bytes;
    first.detection = codepage::detectEncoding(bytes);
    checkEncoding(first.detection, options);
    first.encoding = options.autoEncoding ? first.detection.encoding : options.encoding;
    first.undecided = options.autoEncoding && first.detection.asciiOnly;
    return first;
}

RecordCodePage::RecordCodePage(const FirstBlock& first, const BatchOptions& options)
    : detecting_(options.autoEncoding),
      undecided_(first.undecided),
      codec_(&codepage::Codec::get(first.encoding)) {}

void RecordCodePage::see(std::string_view bytes, std::string_view ahead) {
    if (!undecided_) return;
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return;
    std::string sample(bytes);
    sample.append(ahead.substr(0, codepage::kDetectionSample));
    const codepage::Detection d = codepage::detectEncoding(sample);
    undecided_ = false;
    foreign_ = d.foreign;
    codec_ = &codepage::Codec::get(d.encoding);
}

std::optional<problem::Problem> RecordCodePage::checkFields(const marc::SourceRecord& record,
                                                            const text::TagList& tags) const {
    using problem::Kind;
    for (std::size_t i = 0; i < record.lines.size(); ++i) {
        const std::string_view tag = record.tag(i);
        if (!tags.holds(tag)) continue;
        const std::string_view bytes = record.field(i);
        codepage::Misfit m;
        if (foreign_ != codepage::Foreign::None) {
            // The input showed itself foreign at its first record of other bytes than ASCII.
            bool ascii = true;
            for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            if (!ascii) m.foreign = foreign_;
        } else {
            m = codepage::checkField(bytes, encoding(), detecting_);
        }
        if (!m) continue;
        problem::Problem p = problem::of(m.other                                 ? Kind::FieldOtherCodePage
                                         : m.foreign == codepage::Foreign::Marc8 ? Kind::FieldMarc8
                                                                                 : Kind::FieldSingleByte);
        p.tag = std::string(tag);
        p.encoding = encoding();
        p.other = m.other;
        return p;
    }
    return std::nullopt;
}

FirstBlock readCheckedFirstBlock(RecordSource& records, const BatchOptions& options) {
    std::string_view bytes;
    try {
        bytes = records.firstBlock();
    } catch (const FileError& e) {
        throw StartError(e.problem);
    }
    // Nothing but blank space in all the input there is: no record to read.
    if (bytes.find_first_not_of(" \r\n\x1A") == std::string_view::npos &&
        bytes.size() < codepage::kDetectionSample)
        throw StartError(problem::of(problem::Kind::NoRecords, options.inputPath));
    if (bytes.find_first_not_of(" \r\n\x1A") != std::string_view::npos && !holdsRecordLeader(bytes))
        throw StartError(problem::of(problem::Kind::NotIso2709, options.inputPath));
    try {
        return decideCodePage(bytes, options);
    } catch (const StartError& e) {
        // What is not records is in no code page of records: a PDF's binary is no MARC-8.
        if (holdsWellFormedRecord(bytes)) throw;
        throw StartError(problem::of(problem::Kind::NotIso2709, options.inputPath));
    }
}

PhraseUse phraseUseOf(const pinyin::RunSettings& settings) {
    using pinyin::Polyphone;
    if (settings.removePinyin) return PhraseUse::None;  // nothing is romanised
    if (settings.polyphone == Polyphone::Phrase) return PhraseUse::Required;
    if (settings.polyphone != Polyphone::Manual) return PhraseUse::None;
    return settings.askOnlyWhenUnsure ? PhraseUse::Required : PhraseUse::IfPresent;
}

std::shared_ptr<const pinyin::PinyinTable> loadTable(const std::string& dbPath, PhraseUse use) {
    using Phrases = pinyin::PinyinTable::Phrases;
    try {
        return pinyin::PinyinTable::load(
            dbPath, use == PhraseUse::None ? Phrases::WhenFirstAsked : Phrases::Alongside);
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
    throw StartError(problem::of(problem::Kind::DbNoPhrases, dbPath));
}

std::optional<std::string> badTag(std::string_view tagList) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    const auto separator = [](char c) { return c == ',' || c == ' ' || c == ';' || c == '\t'; };
    bool any = false;
    for (std::size_t at = 0; at < tagList.size();) {
        if (separator(tagList[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < tagList.size() && !separator(tagList[end])) ++end;
        const std::string_view tag = tagList.substr(at, end - at);
        const bool digits = tag.size() == 3 && digit(tag[0]) && digit(tag[1]) && digit(tag[2]);
        const bool letters = tag.size() == 3 && letter(tag[0]) && letter(tag[1]) && letter(tag[2]);
        if (!digits && !letters) return std::string(tag);
        any = true;
        at = end;
    }
    if (!any) return std::string(tagList);
    return std::nullopt;
}

}  // namespace app
