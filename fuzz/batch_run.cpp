// Fuzzes the whole batch run: input file bytes -> runBatch -> output and rejects files.
//
// The first byte picks the code page, the separator, the leader and how the pinyin is written
// (subfield a or every subfield, existing pinyin kept or redone, or taken out); the rest is the
// input file. Whatever it holds, the run must end, and nothing may be lost, invented or changed
// without a word:
//  - every record counted is either written or failed (read == written + failed);
//  - the rejects file holds exactly the failed records' bytes, each followed by CR LF;
//  - the records framed again from the input cover it, leaving out only spaces, line breaks
//    and an end-of-file mark;
//  - every record that its own leader and directory account for wholly is framed as one record
//    (fuzzcheck::soundRecordAt), neither cut in two nor joined to another;
//  - a run without failures leaves no rejects file;
//  - resynchronisation finds the same record start as a plain scan of every offset;
//  - the output holds exactly the records counted written, each well formed and read again
//    without a word, and each, compared field by field with the input record it was made of (cut
//    by an independent reader that accounts for every byte), the same but for the pinyin of the
//    listed fields, 001 and 005 first, and the leader's length and base address;
//  - a run refused at the start is refused for what its bytes are (MARC-8, a code page that the
//    bytes clearly contradict, nothing that looks like a record), and leaves no output behind.
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
#include "marc/error.h"
#include "marc/reader.h"
#include "record_check.h"

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

// The records of the input as the framer sees them, continuations joined to their first piece;
// `passedOver` counts the filler and line-break bytes it passed over.
struct Framed {
    std::string bytes;
    std::uint64_t offset = 0;
};
std::vector<Framed> frames(std::string_view input, std::string& covered, std::uint64_t& passedOver) {
    app::RecordFramer framer;
    std::vector<Framed> out;
    app::Frame f;
    auto drain = [&] {
        while (framer.next(f)) {
            if (f.continuation)
                out.back().bytes += f.bytes;
            else
                out.push_back({std::string(f.bytes), f.offset});
            covered += f.bytes;
        }
    };
    framer.feed(input);
    drain();
    framer.finish();
    drain();
    passedOver = framer.filler() + framer.lineBreaks();
    return out;
}

// Every record that its own leader and directory account for wholly is one frame, byte for byte:
// no text inside it that looks like a leader cuts it, and it swallows nothing. The one exception
// is a record quoted whole in a field of another, as that one's own directory places its fields:
// it goes with the record that quotes it. Where that record's own leader names its length and
// base address and its fields end right at its terminator, the quoted record may end there too
// (its terminator is then the quoting record's).
bool quotedInAField(const Framed& f, std::size_t from, std::size_t to) {
    const std::string_view r = f.bytes;
    const std::size_t ft = r.find('\x1E');
    if (r.empty() || r.back() != '\x1D' || ft == std::string_view::npos || ft < 24) return false;
    std::size_t reach = 0;
    for (std::size_t e = 24; e + 12 <= ft; e += 12) {
        if (!fuzzcheck::digits(r.substr(e + 3, 9))) continue;
        reach = std::max(reach, ft + 1 + std::stoul(std::string(r.substr(e + 7, 5))) +
                                    std::stoul(std::string(r.substr(e + 3, 4))));
    }
    const bool ownLeader = fuzzcheck::digits(r.substr(0, 5)) && fuzzcheck::digits(r.substr(12, 5)) &&
                           std::stoul(std::string(r.substr(0, 5))) == r.size() &&
                           std::stoul(std::string(r.substr(12, 5))) == ft + 1 && reach == r.size() - 1;
    return from >= f.offset + ft + 1 && to <= f.offset + reach + (ownLeader ? 1 : 0);
}
void requireSoundRecordsFramed(std::string_view input, const std::vector<Framed>& records) {
    std::size_t next = 0;  // frames are in input order
    for (std::size_t p = 0, length = 0; p < input.size();) {
        if (!fuzzcheck::soundRecordAt(input, p, length)) {
            ++p;
            continue;
        }
        while (next < records.size() && records[next].offset < p) ++next;
        const bool own = next < records.size() && records[next].offset == p &&
                         records[next].bytes == input.substr(p, length);
        const bool inside = next > 0 &&
                            records[next - 1].offset + records[next - 1].bytes.size() >= p + length &&
                            quotedInAField(records[next - 1], p, p + length);
        fuzzcheck::require(own || inside, "a whole record of the input is not framed as one record",
                           input.substr(p, length));
        p += length;
    }
}

// The input record as an independent reader cuts it: by bytes, by characters in a UTF-8 run, or
// with the line breaks of a record spread over lines taken out.
bool cutInput(std::string_view frame, bool utf8, fuzzcheck::Fields& fields, std::string& bytes) {
    for (int pass = 0; pass < 2; ++pass) {
        bytes.assign(frame);
        if (pass == 1) std::erase_if(bytes, [](char c) { return c == '\r' || c == '\n'; });
        if (fuzzcheck::cutRecord(bytes, fields) || (utf8 && fuzzcheck::cutRecord(bytes, fields, true)))
            return true;
    }
    return false;
}

// The plain way to find a record start: try every offset after the own directory.
bool digits(std::string_view s, std::size_t at, std::size_t n) {
    for (std::size_t i = at; i < at + n; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}
std::size_t plainDirectoryEnd(std::string_view s, std::size_t at) {
    if (s.size() - at < 37 || !digits(s, at, 5) || !digits(s, at + 12, 5)) return std::string_view::npos;
    const std::size_t base = std::stoul(std::string(s.substr(at + 12, 5)));
    if (base < 37 || (base - 25) % 12 != 0 || base > s.size() - at || s[at + base - 1] != '\x1E')
        return std::string_view::npos;
    for (std::size_t e = at + 24; e < at + base - 1; e += 12) {
        for (std::size_t i = 0; i < 3; ++i)
            if (!std::isalnum(static_cast<unsigned char>(s[e + i]))) return std::string_view::npos;
        if (!digits(s, e + 3, 9)) return std::string_view::npos;
    }
    return at + base - 1;
}
std::size_t plainRecordStart(std::string_view piece) {
    std::size_t from = 1;
    if (std::size_t own = plainDirectoryEnd(piece, 0); own != std::string_view::npos) from = own + 1;
    for (std::size_t k = from; k < piece.size(); ++k)
        if (plainDirectoryEnd(piece, k) != std::string_view::npos) return k;
    return std::string_view::npos;
}

bool onlyBlanks(std::string_view input, std::string_view covered) {
    // `covered` must be `input` with blank bytes (line breaks and filler, a byte order mark at the
    // start) taken out (a subsequence of it).
    std::size_t j = 0;
    if (input.starts_with("\xEF\xBB\xBF")) input.remove_prefix(3);
    for (char c : input) {
        if (j < covered.size() && covered[j] == c) {
            ++j;
        } else if (c != ' ' && c != '\r' && c != '\n' && c != '\x1A' && c != '\0') {
            return false;
        }
    }
    return j == covered.size();
}

}  // namespace

/// A front end that shows no record (the command line) has only the listed fields decoded and the
/// records read ahead on a second thread: the run writes, keeps aside and counts the same.
void sameReadAhead(const app::BatchOptions& options, const pinyin::RunSettings& settings,
                   const app::BatchResult& r, const std::string& written, const std::string& rejected) {
    struct ShowsNothing : app::BatchObserver {
        bool wantsWorkingText() const override { return false; }
    } plain;
    const fs::path out = folder() / "ahead.iso";
    fs::remove(out);
    fs::remove(out.string() + ".rejected");
    app::BatchOptions ahead = options;
    ahead.outputPath = out.string();
    ahead.readAhead = app::ReadAhead::Always;
    const app::BatchResult a = app::runBatch(ahead, settings, plain);
    if (slurp(out) != written) broken("reading ahead wrote other bytes");
    if (slurp(out.string() + ".rejected") != rejected) broken("reading ahead kept other records aside");
    if (a.read != r.read || a.written != r.written || a.failed != r.failed || a.charCounted != r.charCounted ||
        a.fillerBytes != r.fillerBytes || a.lineBreakBytes != r.lineBreakBytes ||
        a.fieldsAnnotated != r.fieldsAnnotated || a.encoding != r.encoding || a.stopped != r.stopped)
        broken("reading ahead counted otherwise");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t pick = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (app::findRecordStart(input) != plainRecordStart(input))
        broken("resynchronisation differs from a plain scan");

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
    options.autoEncoding = (pick & 128) != 0;
    options.separator = (pick & 4) ? app::Separator::None : app::Separator::CrLf;
    options.clock = [] { return marc::LocalTime{2026, 12, 8, 1, 2, 3}; };  // the same in a second run
    pinyin::RunSettings settings;
    options.keepLeader = (pick & 8) == 0;
    settings.polyphone = pinyin::Polyphone::Automatic;
    // Bits 16, 32 and 64 pick one of eight ways to write (or take out) the pinyin.
    const unsigned way = (pick >> 4) & 7;
    settings.letterCase = way == 1 || way == 3 ? pinyin::LetterCase::Capitalised : pinyin::LetterCase::Lower;
    settings.delExisting = way != 2 && way != 5 && way != 6;
    settings.useCodeA = way != 4 && way != 6;
    settings.subfields =
        way == 3 || way == 5 || (way == 7 && (pick & 1)) ? pinyin::Subfields::Chinese : pinyin::Subfields::A;
    settings.removePinyin = way == 7;
    const fuzzcheck::Mode mode = settings.subfields == pinyin::Subfields::Chinese
                                     ? fuzzcheck::Mode::EverySubfield
                                     : fuzzcheck::Mode::SubfieldA;
    app::BatchObserver quiet;
    app::BatchResult r;
    try {
        r = app::runBatch(options, settings, quiet);
    } catch (const app::StartError& e) {
        const problem::Kind k = e.problem.kind;
        if (k != problem::Kind::Marc8 && k != problem::Kind::SingleByte &&
            k != problem::Kind::EncodingContradicted && k != problem::Kind::NotIso2709 &&
            k != problem::Kind::NoRecords)
            broken("the run refuses to start for another reason than what its bytes are");
        if (fs::exists(out)) broken("a run refused at the start left an output file");
        return 0;
    }

    if (r.stopped) broken("the run stopped");
    if (r.read != r.written + r.failed) broken("a record neither written nor failed");
    // The run keeps the first failures and counts the rest.
    const bool allListed = static_cast<std::size_t>(r.failed) <= app::kFailuresKept;
    if (r.failures.size() != std::min(static_cast<std::size_t>(r.failed), app::kFailuresKept))
        broken("failure list neither complete nor the first kFailuresKept");
    if (r.rejectsKept != r.failed) broken("a failed record not kept in the rejects file");

    std::string covered;
    std::uint64_t passedOver = 0;
    const std::vector<Framed> records = frames(input, covered, passedOver);
    if (records.size() != static_cast<std::size_t>(r.read)) broken("record count differs from the framing");
    if (!onlyBlanks(input, covered)) broken("input bytes dropped that are not blank");
    // Every byte is in exactly one record or counted as passed over.
    if (covered.size() + passedOver != input.size())
        broken("input bytes neither framed nor counted as passed over");
    if (r.fillerBytes + r.lineBreakBytes != passedOver)
        broken("the run counts other bytes passed over than the framing");
    requireSoundRecordsFramed(input, records);

    std::string expected;
    std::vector<bool> failed(records.size());
    for (const auto& f : r.failures) {
        expected += records.at(static_cast<std::size_t>(f.number - 1)).bytes + "\r\n";
        failed[static_cast<std::size_t>(f.number - 1)] = true;
    }
    if (r.failed == 0) {
        if (fs::exists(rejects)) broken("rejects file without failures");
    } else if (allListed && slurp(rejects) != expected) {
        broken("rejects file differs from the failed records");
    }
    if (r.written > 0 && !fs::exists(out)) broken("records written but no output");

    // The output: exactly the records counted written, each whole and readable again.
    const std::string written = slurp(out);
    const std::string end = options.separator == app::Separator::CrLf ? "\x1D\r\n" : "\x1D";
    std::int64_t count = 0;
    std::size_t from = 0;
    const codepage::Codec& cp = codepage::Codec::get(r.encoding);
    std::size_t source = 0;  // the input record of the next written one
    for (std::size_t at; (at = written.find(end, from)) != std::string::npos;
         from = at + end.size(), ++count) {
        const std::string_view rec = std::string_view(written).substr(from, at + 1 - from);
        fuzzcheck::checkRecord(rec);
        try {
            marc::workingText(rec, cp);
        } catch (const marc::MarcError& e) {
            fuzzcheck::fail("a written record does not read again",
                            std::string(e.what()) + "\n" + std::string(rec));
        }
        if (!allListed) continue;
        // Field by field against the input record it was made of.
        while (source < records.size() && failed[source]) ++source;
        if (source == records.size()) broken("more records written than the input has records not failed");
        const std::string& frame = records[source++].bytes;
        fuzzcheck::Fields inFields;
        std::string in;  // the record as cut: a record wrapped over lines joined
        fuzzcheck::require(cutInput(frame, r.encoding == codepage::Encoding::Utf8, inFields, in),
                           "a record written whose input bytes do not all belong to its fields", frame);
        const std::string detail = std::string(in) + "\n" + std::string(rec);
        if (settings.removePinyin) {
            // Taken out: nothing but whole subfields of listed fields; a record that carries no
            // pinyin comes through byte for byte, when its leader says what it is.
            const fuzzcheck::Fields outFields = fuzzcheck::fieldsOf(rec);
            bool carries = false;
            for (const auto& [tag, data] : inFields)
                carries = carries || (fuzzcheck::listed(settings.tagList, tag) &&
                                      fuzzcheck::withoutPinyin(data, mode) != data);
            std::size_t length = 0;
            if (!carries && options.keepLeader && fuzzcheck::soundRecordAt(in, 0, length) &&
                length == in.size())
                fuzzcheck::require(rec == in, "a record without pinyin did not come through byte for byte",
                                   detail);
            if (rec == in) continue;
            for (std::size_t i = 0, k = 2; i < inFields.size() && k < outFields.size(); ++i) {
                if (inFields[i].first == "001" || inFields[i].first == "005" ||
                    inFields[i].first != outFields[k].first)
                    continue;
                if (fuzzcheck::listed(settings.tagList, inFields[i].first))
                    fuzzcheck::require(
                        fuzzcheck::lessPinyinOnly(inFields[i].second, outFields[k].second, mode),
                        "taking pinyin out changed more than pinyin subfields", detail);
                ++k;
            }
        }
        // Pinyin redone or taken out: where a source holds no Chinese nothing takes its old pinyin's
        // place, so a capital that stood behind that pinyin now stands behind the source.
        const bool takenOut = settings.removePinyin || settings.delExisting;
        fuzzcheck::requireSameFields(
            inFields, fuzzcheck::fieldsOf(rec), settings.tagList, options.keepLeader, detail,
            takenOut && mode == fuzzcheck::Mode::EverySubfield ? fuzzcheck::Mode::TakenOut : mode);
        if (options.keepLeader)
            fuzzcheck::require(rec.substr(5, 7) == in.substr(5, 7) && rec.substr(17, 7) == in.substr(17, 7),
                               "the record's own leader is not kept", detail);
    }
    if (from != written.size()) broken("the output does not end with a whole record");
    if (count != r.written) broken("the output holds another number of records than counted written");
    if (pick & 2) sameReadAhead(options, settings, r, written, slurp(rejects));
    return 0;
}
