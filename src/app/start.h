// The checks every run makes before it reads a record, in one place: a batch run, a check of
// existing pinyin and a run over plain lines refuse the same things in the same words.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/batch.h"
#include "app/files.h"
#include "app/source.h"
#include "codepage/detect.h"
#include "marc/source.h"
#include "pinyin/settings.h"
#include "pinyin/table.h"
#include "text/tag_list.h"

namespace app {

/// Throws StartError when the output, report or rejects file failed its check or its opening.
void refuse(const FileProblem& p);

/// Throws StartError when `output` cannot be written to (AppendFile::check) or is the open input
/// itself (InputIsOutput).
void checkOutput(const InputFile& input, const std::string& inputPath, const AppendFile& output);

/// Throws StartError (`kind`, the input's path) when the open input is the file at `path`.
void refuseSameFile(const InputFile& input, const std::string& inputPath, const std::string& path,
                    problem::Kind kind);

/// The input's first block as RecordSource::firstBlock() returns it, and what its bytes call for.
struct FirstBlock {
    std::string_view bytes;
    codepage::Detection detection;
    codepage::Encoding encoding;  ///< the code page to read it in: the one chosen, or the one detected
    /// Automatic detection found ASCII alone: the code page is decided at the first record that
    /// holds other bytes (RecordCodePage); `encoding` stands in until then.
    bool undecided = false;
};

/// Decides the code page to read an input in from its first bytes, and refuses MARC-8 (escape
/// sequences always; Latin letters with MARC-8's marks, and other single-byte code pages, when
/// the code page is detected, not chosen) and a choice those bytes clearly contradict. `bytes`
/// is `first`. Throws StartError.
FirstBlock decideCodePage(std::string_view first, const BatchOptions& options);

/// Reads the input's first block and refuses an input that cannot be read as a record run reads
/// it: a read error, no records at all (NoRecords), nothing that looks like a record, or what
/// decideCodePage() refuses.
/// Throws StartError.
FirstBlock readCheckedFirstBlock(RecordSource& records, const BatchOptions& options);

/// The code page a run reads its records in, and the check that each record's listed fields are
/// text of it. Records of ASCII alone read alike in every code page: when the first block holds
/// nothing else, the code page is detected from the first record that does, wherever it stands.
class RecordCodePage {
public:
    RecordCodePage(const FirstBlock& first, const BatchOptions& options);

    /// Decides the code page when it is still open and a record's bytes hold a byte above 0x7F,
    /// from them and the bytes `ahead` of it (RecordSource::ahead()): one record may be too
    /// little to tell GBK from UTF-8. Cheap once decided.
    void see(std::string_view recordBytes, std::string_view ahead = {});
    const codepage::Codec& codec() const { return *codec_; }
    codepage::Encoding encoding() const { return codec_->encoding(); }
    /// Nothing but ASCII seen so far (when detecting).
    bool asciiOnly() const { return undecided_; }
    /// What the first record of other bytes than ASCII showed the input to be, when it is in
    /// none of our code pages (when detecting).
    codepage::Foreign foreign() const { return foreign_; }

    /// Why the first listed field (tag in `tags`, matched as text) of `record` is not text of the
    /// run's code page: it is valid in another (FieldOtherCodePage), or, when detecting, in
    /// MARC-8 or a single-byte code page; nullopt when every listed field reads as text.
    std::optional<problem::Problem> checkFields(const marc::SourceRecord& record,
                                                const text::TagList& tags) const;

private:
    bool detecting_;
    bool undecided_;
    codepage::Foreign foreign_ = codepage::Foreign::None;  // what a record decided the input is
    const codepage::Codec* codec_;
};

/// The first entry of a tag list (apart by commas, semicolons or spaces) that is not a tag of
/// three digits or three capital letters, such as "2OO" typed with the letter O; the whole list
/// when it holds no entry at all; nullopt when every entry is a tag.
std::optional<std::string> badTag(std::string_view tagList);

/// What a run does with py.db's phrase tables.
enum class PhraseUse {
    None,       ///< reads one reading per character: built only if ever asked for
    IfPresent,  ///< reads them where py.db has them: built and checked at the start
    Required,   ///< cannot do without them: their absence stops the run before it starts
};

/// The phrase tables' use in a record run with `settings`: the modes that choose by the words
/// around need them; the manual modes read them for the reading they offer first.
PhraseUse phraseUseOf(const pinyin::RunSettings& settings);

/// Loads py.db for a run that uses its phrase tables as `use` says. Throws StartError.
std::shared_ptr<const pinyin::PinyinTable> loadTable(const std::string& dbPath, PhraseUse use);

/// Builds the phrase data of `table` (read from `dbPath`) where `use` reads it, so that phrase
/// rows that cannot be read stop the run before any record. Throws StartError.
void checkPhrases(const pinyin::PinyinTable& table, const std::string& dbPath, PhraseUse use);

}  // namespace app
