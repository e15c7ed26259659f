// What can go wrong, as data: a kind and the place it happened. Each front end words a problem in
// its user's language through messages/texts.tsv, one row per kind in the order of this enum.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "codepage/codepage.h"

namespace problem {

enum class Kind {
    // A run that cannot start.
    NoInputPath,           ///< no input named
    InputCannotOpen,       ///< path, osError
    InputIsFolder,         ///< path
    NoOutputPath,          ///< no output named
    OutputIsFolder,        ///< path
    OutputCannotOpen,      ///< path, osError
    OutputFolderMissing,   ///< path: its folder does not exist or is no folder (osError)
    OutputBusy,            ///< path: another run appends to it
    InputIsOutput,         ///< path: the input is the output file itself
    InputIsRejects,        ///< path: the input is the output's rejects file
    InputIsFailureLog,     ///< path: the input is the failure log beside the rejects file
    InputIsPartialFile,    ///< path: the input is OUTPUT.partial, where --repair-tail saves bytes
    OutputNoReader,        ///< path: the output is a FIFO that nobody reads
    OutputPartialTail,     ///< path, value: the output's last `value` bytes are not a whole record
    OutputNotRecords,      ///< path: the output's end holds no whole record as far back as it is read
    ReportHoldsRecords,    ///< path: the check's report path holds ISO 2709 records
    NoRecords,             ///< path: the input is empty, or holds only line breaks and blank space
    DbCannotOpen,          ///< path, detail
    DbNotReadable,         ///< path, detail: not a database, or damaged; tag: the table, where one is named
    DbNoPinYinTable,       ///< path
    DbNoColumns,           ///< path, detail: PinYin lacks hz or Py1
    DbEmpty,               ///< path: PinYin holds no characters
    DbBadReading,          ///< path, tag: the table, value: its row, detail: the row's hz and what it holds
    DbNoPhrases,           ///< path: the phrase tables the mode needs are missing
    Marc8,                 ///< the input is in MARC-8
    SingleByte,            ///< the input is in a single-byte code page (CP866, Latin-1, ...)
    EncodingContradicted,  ///< encoding: chosen, other: what the bytes are
    NotIso2709,            ///< nothing in the input looks like a record
    WordsCannotRead,       ///< path, osError: a word list cannot be read
    WordsInvalid,          ///< path, value: the line that does not fit; detail: what is wrong
    ReviewInputNotFile,    ///< path: a review needs its input as a file, to know it again
    ReviewCannotRead,      ///< path, osError: the answers file cannot be read
    ReviewInvalid,         ///< path, value: the line that does not fit; detail: what is wrong
    ReviewBadReading,      ///< path, value: the line, tag: its reading, detail: the readings it may take
    ReviewOtherInput,      ///< path: the answers file was made from another input, or the input changed
    ReviewOtherOptions,    ///< path, tag: the option that differs, as the file has it and as given
    ReviewNoWordList,      ///< path, value: a line that asks to remember its word, with no word list
    NoTerminal,            ///< osError: the manual modes have no terminal (/dev/tty) to ask on

    // A command line that cannot be understood: path is the option, detail what was given.
    UsageUnknownOption,       ///< detail: the argument
    UsageTooMany,             ///< detail: the arguments left over
    UsageNeedsValue,          ///< path
    UsageBadChoice,           ///< path, detail; tag: the values allowed, apart by commas
    UsageNotANumber,          ///< path, detail: not a whole number of 0 or more
    UsageBadTag,              ///< path, detail: a tag that is not three digits or three capital letters
    UsageExcludes,            ///< path, detail: the other option
    UsageCode9EverySubfield,  ///< path: --code 9; detail: --subfields chinese
    UsageDumpTakesNoOutput,   ///< detail: the OUTPUT given
    UsageOther,               ///< detail: the parser's own words

    // A run stopped on the way.
    InputReadFailed,     ///< path, osError
    RejectsWriteFailed,  ///< path, osError

    // A record that is not written.
    CutShort,                  ///< the input ends before its record terminator
    NextRecordInside,          ///< it lost its terminator: the next record starts inside it
    TooLong,                   ///< no record terminator within 4 MiB
    RecordOver99999,           ///< a piece longer than 99999 bytes that is no record
    BytesAfterFields,          ///< bytes between its last field and its terminator, in no field
    NoFieldTerminator,         ///< no field terminator at all
    TerminatorInLeader,        ///< value: byte of a field or record terminator inside the leader
    EntryLengthNotANumber,     ///< entry
    EntryStartNotANumber,      ///< entry
    BadTag,                    ///< entry, tag: not three letters or digits
    FieldLengthZero,           ///< entry, tag
    FieldPastEnd,              ///< entry, tag
    FieldNotTerminated,        ///< entry, tag
    FieldTerminatorInData,     ///< entry, tag
    RecordTerminatorInData,    ///< entry, tag
    LineBreakInData,           ///< entry, tag
    DataFieldTooShort,         ///< entry, tag: fewer than its two indicators
    NoFields,                  ///< a record without fields
    DirectoryNotWholeEntries,  ///< value: the directory's length, not a multiple of 12
    DataOutsideFields,         ///< value: byte of the record where data no entry covers begins
    CharCountedLengths,        ///< not a failure: lengths counted in characters, read so
    EmptySubfield,             ///< tag: "||" in a field made by hand
    FieldTooLong,              ///< tag, value: its length in bytes, over 9999
    FieldStartTooFar,          ///< tag: it would start beyond byte 99999 of the data
    RecordTooLong,             ///< value: its length in bytes, over 99999
    TagNotSingleBytes,         ///< tag
    LeaderCodeInvalid,         ///< the code of a "000" line is not four single-byte characters
    TerminatorInText,          ///< tag: a changed field's text holds a terminator
    InvalidBytes,              ///< tag, value: input byte offset, encoding, other: what they read as
    FieldOtherCodePage,        ///< tag, encoding: the run's code page, other: the field's
    FieldMarc8,                ///< tag: a listed field in MARC-8
    FieldSingleByte,           ///< tag: a listed field in a single-byte code page
    NothingToWrite,            ///< no field besides 001 and 005
    OutputWriteFailed,         ///< path, osError: the output did not take the record
    DbFailed,                  ///< path, detail: py.db failed in the middle of the run
    Unexpected,                ///< detail: a fault of the program itself
};

struct Problem {
    Kind kind = Kind::Unexpected;
    std::string path;     ///< the file concerned
    std::string tag;      ///< the field's tag
    long long entry = 0;  ///< 1-based directory entry
    long long value = 0;  ///< a byte position or a size, as the kind says
    int osError = 0;      ///< errno, where the operating system refused
    std::optional<codepage::Encoding> encoding, other;
    std::string detail;  ///< technical text not for translation (SQLite's message)
};

/// A problem of `kind`, with the file concerned where there is one.
inline Problem of(Kind kind, std::string path = {}) {
    Problem p;
    p.kind = kind;
    p.path = std::move(path);
    return p;
}

}  // namespace problem
