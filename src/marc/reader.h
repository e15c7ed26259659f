// Exchange record reader: one ISO 2709 record to the working record text.
#pragma once

#include <string>
#include <string_view>

#include "codepage/codepage.h"

namespace marc {

/// The working record text of one ISO 2709 record given as text: one line per field, "tag, space,
/// indicators, space, data", "|" for the subfield delimiter, CR LF between lines and none after
/// the last. Encodes the text in `cp` and cuts fields by byte position. A "|" that stands in the
/// field data comes back as codepage::kDataBar. Throws MarcError.
std::string isoToMarc(std::string_view record, const codepage::Codec& cp = codepage::Codec::gbk());

/// The same for a record that is still in bytes of `cp` (what the batch run holds): fields are
/// cut from these bytes as they are, so an invalid byte never shifts a field. Throws MarcError.
std::string isoToMarcBytes(std::string_view recordBytes, const codepage::Codec& cp);

}  // namespace marc
