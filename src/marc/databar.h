// A "|" of field data, as the working record holds it.
#pragma once

#include <string>
#include <string_view>

#include "codepage/codepage.h"

namespace marc {

/// U+FDD0, a noncharacter that decoding never yields. The reader puts it where a "|" stands in
/// field data, so that nothing splits the working record there; the writer turns it back into
/// "|". It is never part of a text a user sees: withBars() gives the text as the record has it.
inline constexpr std::string_view kDataBar = "\xEF\xB7\x90";

/// The text with every kDataBar as "|".
std::string withBars(std::string_view text);

/// Appends the text encoded in the code page, every kDataBar as "|".
void appendEncoded(std::string& out, std::string_view text, const codepage::Codec& codec);

}  // namespace marc
