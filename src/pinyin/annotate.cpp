// Annotating a working record: a romanised subfield behind every subfield a of the listed fields,
// and the pinyin a listed field already carries found and taken out.
#include <string>
#include <string_view>

#include "codepage/codepage.h"
#include "pinyin/annotate.h"
#include "pinyin/existing.h"
#include "pinyin/pieces.h"
#include "text/ascii.h"
#include "text/tag_list.h"
#include "text/working_line.h"

namespace pinyin {
namespace {

using text::trimSpaces;

/// The first three characters (code points) of the line, as they stand.
std::string_view tagOf(std::string_view line) {
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (line.size() >= 3 && ascii(line[0]) && ascii(line[1]) && ascii(line[2])) return line.substr(0, 3);
    std::size_t i = 0;
    for (int n = 0; n < 3 && i < line.size(); ++n) codepage::utf8::next(line, i);
    return line.substr(0, i);
}

/// Appends the line with a pinyin subfield behind each subfield a; everything else, empty
/// subfields and a "|" at the end included, stays as it stood.
/// Returns whether the line got a pinyin subfield.
bool annotate(std::string& out, std::string_view line, std::string_view tag, const RunSettings& settings,
              Romaniser& romaniser) {
    bool any = false;
    const std::string_view code = settings.useCodeA ? "|A" : "|9";
    for (const text::Subfield s : text::piecesOf(line)) {
        if (!s.head) out += '|';
        out += s.piece;
        // The head (tag, indicators) is never a subfield a, even under a tag that starts with "a".
        if (!s.head && s.code() == 'a') {
            out += code;
            out += trimSpaces(romaniser.pinyin(s.text(), tag));
            any = true;
        }
    }
    return any;
}

/// Appends the line with the romanisation of every subfield whose code is a lower-case letter
/// and whose text holds Chinese directly behind it, under the capital of its code. Pinyin the
/// line carries (isPinyinSubfield, Subfields::Chinese) is replaced under delExisting; else a
/// source with its pinyin behind it keeps it and gets none. A capital subfield that stands
/// alone, and everything else, stays as it stood. Returns whether the line got one.
bool annotateEvery(std::string& out, std::string_view line, std::string_view tag, const RunSettings& settings,
                   Romaniser& romaniser) {
    bool any = false;
    std::string_view before;  // the subfield in front of the piece, as the line had it
    for (const text::Subfield s : text::piecesOf(line)) {
        if (s.head) {
            out += s.piece;
            continue;
        }
        const bool pinyin = isPinyinSubfield(s.piece, before, Subfields::Chinese);
        if (!(pinyin && settings.delExisting)) {
            out += '|';
            out += s.piece;
        }
        const char code = s.code();
        if (code >= 'a' && code <= 'z' && holdsChinese(s.text())) {
            const char capital = static_cast<char>(code - 'a' + 'A');
            // The code of the subfield behind this one, when one follows.
            const bool hasOne =
                !settings.delExisting && s.end() + 1 < line.size() && line[s.end() + 1] == capital;
            if (!hasOne) {
                out += '|';
                out += capital;
                out += trimSpaces(romaniser.pinyin(s.text(), tag, code));
                any = true;
            }
        }
        before = s.piece;
    }
    return any;
}

/// The run's tag list as a table, made again only when the list changes (annotateRecord() is given its text).
const text::TagList& tagListOf(std::string_view tagList) {
    thread_local text::TagList tags;
    if (tags.text() != tagList) tags = text::TagList(tagList);
    return tags;
}

}  // namespace

std::string annotateRecord(std::string_view marc, const RunSettings& settings, Romaniser& romaniser,
                           AnnotateCounts* counts) {
    const text::TagList& tags = tagListOf(settings.tagList);
    std::string out;
    out.reserve(marc.size() + marc.size() / 2 + 2);
    // Every CR ends a line (the record gets one more CR LF at its end); LFs vanish wherever
    // they stand, so a lone LF never splits a line and a lone CR always does.
    std::string noLf;  // a line's text with its LFs taken out, for the rare line that has any
    for (std::string_view line : text::linesOf(marc)) {
        noLf.clear();
        line = text::withoutLineFeeds(line, noLf);
        annotateLine(out, line, tags, settings, romaniser, counts);
        out += "\r\n";
    }
    return out;
}

void annotateLine(std::string& out, std::string_view line, const text::TagList& tags,
                  const RunSettings& settings, Romaniser& romaniser, AnnotateCounts* counts) {
    const std::string_view tag = tagOf(line);
    bool annotated = false;
    const bool listed = tags.holds(tag);
    if (!listed) {
        out += line;
    } else if (settings.removePinyin) {
        annotated =
            detail::mayCarryPinyin(line, settings.subfields) && carriesPinyin(line, settings.subfields);
        if (annotated)
            out += withoutPinyin(line, settings.subfields);
        else
            out += line;
    } else if (settings.subfields == Subfields::Chinese) {
        annotated = annotateEvery(out, line, tag, settings, romaniser);
    } else if (!detail::mayCarryPinyin(line)) {  // the common case, without a copy of the line
        annotated = annotate(out, line, tag, settings, romaniser);
    } else if (const auto todo = lineForAnnotation(line, settings.delExisting)) {
        annotated = annotate(out, *todo, tag, settings, romaniser);
    } else {
        out += line;
    }
    if (counts) {
        counts->listed += listed;
        counts->annotated += annotated;
    }
}

// Pinyin a listed field already carries: finding it and taking it out.

std::string withoutPinyin(std::string_view line, Subfields mode) {
    std::string out;
    out.reserve(line.size());
    std::string_view before;  // the subfield in front of the piece, as the line had it
    for (const text::Subfield s : text::piecesOf(line)) {
        // The head is never a subfield, whatever its first character: a tag that starts with
        // "9" or "A" keeps its line. A 9 that is data stays where it stood.
        const bool pinyinSubfield = !s.head && isPinyinSubfield(s.piece, before, mode);
        before = s.head ? std::string_view() : s.piece;
        if (pinyinSubfield) continue;
        if (!s.head) out += '|';
        out += s.piece;
    }
    return out;
}

std::optional<std::string> lineForAnnotation(std::string_view line, bool delExisting) {
    // Both codes count as pinyin, whichever one this run writes; "|a" never does; a 9 only
    // where it reads as the pinyin of the subfield a right before it.
    if (!carriesPinyin(line)) return std::string(line);
    if (!delExisting) return std::nullopt;
    return withoutPinyin(line, Subfields::A);
}

}  // namespace pinyin
