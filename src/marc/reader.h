// Exchange record reader: one ISO 2709 record to the working record text.
#pragma once

#include <string>
#include <string_view>

#include "codepage/codepage.h"
#include "marc/source.h"
#include "text/tag_list.h"

namespace marc {

/// The working record text of one ISO 2709 record given as text: one line per field, "tag, space,
/// indicators, space, data", "|" for the subfield delimiter, CR LF between lines and none after
/// the last. Encodes the text in `cp` and cuts fields by byte position. A "|" that stands in the
/// field data comes back as marc::kDataBar. Throws MarcError.
std::string workingTextOfDecoded(std::string_view record, const codepage::Codec& cp = codepage::Codec::gbk());

/// The same for a record that is still in bytes of `cp` (what the batch run holds): fields are
/// cut from these bytes as they are, so an invalid byte never shifts a field. Throws MarcError.
std::string workingText(std::string_view recordBytes, const codepage::Codec& cp);

/// workingText into `source`, which keeps beside the working text the record's bytes and,
/// for every line, the bytes of its field (reused from record to record: its buffers keep their
/// capacity).
///
/// A tag is any three ASCII letters or digits. Tags 000 to 009 are control fields and other
/// numbers data fields (indicators, then subfields); a field under a tag with a letter is a data
/// field when it begins with two indicators and a subfield delimiter, else a control field.
/// Refused, because no working text can stand for them, other readers would read the record
/// differently, or bytes of it would be lost: a record without a field terminator, or with one,
/// or a record terminator, inside the leader; a directory that is not whole 12-byte entries; a
/// directory entry whose length or start is not a number, whose tag is not three letters or
/// digits, whose field has length 0, lies past the end of the record or does not end with a
/// field terminator (the record terminator closing the last field is accepted); data that no
/// field covers (between fields, or behind the last one); a field holding a field or record
/// terminator or a line break (CR or LF) inside its data; a data field under a numeric tag
/// shorter than its two indicators; a record without fields. Fields may stand in any order and
/// share bytes. A record that does not read as it stands is read once more without its CR LF
/// pairs, as a record spread over lines has them; when that fails too, the error of the record
/// as it stands is given (a CR LF inside field data that the directory counts is data: refused
/// as a line break in the field).
///
/// A UTF-8 record whose directory does not fit its bytes is read once more with the lengths and
/// starts counted in characters, as some library systems write them; when every field then ends
/// exactly where the directory says and the fields cover the data, it is read so
/// (source.charCounted), its fields still given in bytes, or refused for what a field holds
/// like any other record. Otherwise the error of its bytes stands.
///
/// With `decodeOnly`, a field whose tag it does not list (and that is no 000) is left in bytes,
/// checked all the same (source.whole false, its line not decoded, no line of it in `working`):
/// what a run copies as it stands needs no text. A data field whose indicators are not two
/// single-byte characters is decoded whatever its tag.
void readRecord(std::string_view recordBytes, const codepage::Codec& cp, SourceRecord& source,
                const text::TagList* decodeOnly = nullptr);

/// The 001 of a record as far as it can be read, for saying which record failed: the first
/// directory entry tagged 001 that points inside the record, its data decoded up to the first
/// terminator (at most 64 bytes). Empty when there is none; never throws.
std::string identifierOf(std::string_view recordBytes, const codepage::Codec& cp);

}  // namespace marc
