// Pinyin a field already carries: which of its subfields are pinyin. One rule for the run (keep
// or delete), the check of existing pinyin and the writer.
#pragma once

#include <string_view>

#include "pinyin/settings.h"

namespace pinyin {

/// Whether `text`, the text of a subfield 9, reads as the pinyin of `title`, the text of the
/// subfield a it stands behind. It does when every word of it (a run of letters and digits;
/// spaces, apostrophes and other punctuation stand between words) splits into pinyin syllables
/// (any letter case, tone marks or a tone digit 1 to 5 behind a syllable, "ü" or "v"), digits
/// that the title holds, and words the title holds as they stand (Latin words and digits a
/// romanisation copies); and, when the title holds a Chinese character, at least one syllable
/// is among them. So "1234", "a001000", "(CN)123" or "ppn123456" behind a Chinese title are no
/// pinyin, and an empty 9 is pinyin only behind a title without a Chinese character.
bool readsAsPinyinOf(std::string_view text, std::string_view title);

/// Whether `piece` (one subfield, code first, as a working-record line holds it between "|"
/// marks) is pinyin: a subfield A wherever it stands; a subfield 9 only directly behind a
/// subfield a (`before`, the subfield in front of it, code first; empty when there is none)
/// whose text it reads as the pinyin of. Any other 9 is data: an authority record's number, a
/// link, a local code.
bool isPinyinSubfield(std::string_view piece, std::string_view before);

/// Whether a working-record line (head, then subfields between "|" marks) holds a pinyin
/// subfield by isPinyinSubfield. The head is never a subfield.
bool carriesPinyin(std::string_view line);

/// Whether `text` holds a Chinese character.
bool holdsChinese(std::string_view text);

/// The same rule for the pinyin a run of `mode` writes. Subfields::A: isPinyinSubfield above.
/// Subfields::Chinese: a subfield whose code is a capital letter A to Z standing directly
/// behind its source, a subfield of the same letter in lower case ("|a中国|Azhong guo",
/// "|f张三|Fzhang san"), whatever either holds. A capital subfield behind anything else stands
/// alone and is data, and so is every 9.
bool isPinyinSubfield(std::string_view piece, std::string_view before, Subfields mode);
bool carriesPinyin(std::string_view line, Subfields mode);

}  // namespace pinyin
