// Annotating a working record: a pinyin subfield behind every subfield a of the listed fields,
// and the pinyin a listed field already carries found and taken out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pinyin/lookup.h"
#include "pinyin/settings.h"
#include "text/tag_list.h"

namespace pinyin {

/// The line without the pinyin subfields a run of `mode` writes (isPinyinSubfield, existing.h).
/// Under Subfields::A: every "A", and every "9" that reads as the pinyin of the subfield a right
/// before it; its head and every other subfield, a 9 that holds data included, stay as they
/// stood.
std::string withoutPinyin(std::string_view line, Subfields mode);

/// The existing-pinyin rule for one listed line: a line carries pinyin when it holds a pinyin
/// subfield (carriesPinyin, existing.h). Returns the line to annotate (the line itself when it
/// carries none, else withoutPinyin(line, Subfields::A) when `delExisting`), or nullopt when it carries
/// pinyin and stays as it is.
std::optional<std::string> lineForAnnotation(std::string_view line, bool delExisting);

/// What annotateRecord() found in a record, added to across records.
struct AnnotateCounts {
    long long listed = 0;     ///< fields whose tag is listed
    long long annotated = 0;  ///< of those, the fields that got a pinyin subfield
};

/// One line of a working record as annotateRecord() annotates it, appended to `out` without a line break:
/// a line whose tag (its first three characters) `tags` lists gets its pinyin subfields (or,
/// with removePinyin, loses them); any other stays as it is. `counts`, when given, is added to.
void annotateLine(std::string& out, std::string_view line, const text::TagList& tags,
                  const RunSettings& settings, Romaniser& romaniser, AnnotateCounts* counts = nullptr);

/// The working record with a pinyin subfield behind every subfield a of each listed field
/// (under Subfields::Chinese, behind every lower-case subfield that holds Chinese, under the
/// capital of its code), every line ended by CR LF. With removePinyin, the listed fields lose
/// the pinyin that mode writes instead, and get none; `counts.annotated` then counts the fields
/// that lost some. `counts`, when given, is added to.
std::string annotateRecord(std::string_view marc, const RunSettings& settings, Romaniser& romaniser,
                           AnnotateCounts* counts = nullptr);

}  // namespace pinyin
