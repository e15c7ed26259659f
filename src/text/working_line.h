// The shape of a working record, read once for every part of the core: lines that end at a CR,
// and in each line a head (tag, indicators) followed by subfields, each written as "|", its code
// and its text. A "|" of field data never stands there (the reader writes a stand-in for it), so
// every "|" of a line begins a subfield. Everything here is a view into the text it is given.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace text {

inline constexpr char kWorkingDelimiter = '|';  // begins a subfield of a working line

/// One piece of a working line: the head, or a subfield between two "|" (or a "|" and the end).
struct Subfield {
    std::string_view piece;  // code and text as the line has them; empty for "||" or a "|" at the end
    std::size_t at = 0;      // where the piece begins in the line, right behind its "|"; 0 for the head
    bool head = false;       // the text before the first "|": never a subfield, whatever it holds

    /// The first byte of the piece, '\0' for an empty one.
    char code() const { return piece.empty() ? '\0' : piece[0]; }
    /// The piece behind its code.
    std::string_view text() const { return piece.substr(piece.empty() ? 0 : 1); }
    /// Where the piece ends in the line: at the next "|", or at the line's end.
    std::size_t end() const { return at + piece.size(); }
};

/// The stretches of a text between one separator and the next, in order, empty ones included,
/// each given as `Shape::item` makes it: the pieces of a line (SubfieldRange) and the lines of a
/// record (LineRange).
template <class Shape>
class Stretches {
public:
    class iterator {
    public:
        using value_type = typename Shape::value_type;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::forward_iterator_tag;

        iterator() = default;
        iterator(std::string_view text, std::size_t at, bool head) : text_(text), at_(at), head_(head) {
            if (at_ != std::string_view::npos) next_ = text_.find(Shape::separator, at_);
        }
        value_type operator*() const {
            const std::size_t stop = next_ == std::string_view::npos ? text_.size() : next_;
            return Shape::item(text_.substr(at_, stop - at_), at_, head_);
        }
        iterator& operator++() {
            if (next_ == std::string_view::npos) {
                at_ = std::string_view::npos;
            } else {
                at_ = next_ + 1;
                head_ = false;
                next_ = text_.find(Shape::separator, at_);
            }
            return *this;
        }
        iterator operator++(int) {
            iterator was = *this;
            ++*this;
            return was;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }

    private:
        std::string_view text_;
        std::size_t at_ = std::string_view::npos;    // where the stretch begins; npos past the last
        std::size_t next_ = std::string_view::npos;  // the separator that ends it, npos for the last
        bool head_ = false;                          // the first stretch, when the caller says so
    };

    Stretches(std::string_view text, std::size_t first, bool head) : begin_(text, first, head) {}
    iterator begin() const { return begin_; }
    iterator end() const { return {}; }

private:
    iterator begin_;
};

/// A line's pieces: between one "|" and the next, the first one the head when asked for.
struct SubfieldShape {
    using value_type = Subfield;
    static constexpr char separator = kWorkingDelimiter;
    static Subfield item(std::string_view piece, std::size_t at, bool head) { return {piece, at, head}; }
};

/// A record's lines: between one CR and the next, without the LF right behind the CR.
struct LineShape {
    using value_type = std::string_view;
    static constexpr char separator = '\r';
    static std::string_view item(std::string_view line, std::size_t, bool) {
        return !line.empty() && line[0] == '\n' ? line.substr(1) : line;
    }
};

/// The pieces of a line in order, empty ones included; see subfieldsOf() and piecesOf().
using SubfieldRange = Stretches<SubfieldShape>;
/// The lines of a working record, in order, see linesOf().
using LineRange = Stretches<LineShape>;

/// The subfields of a working line: the piece behind every "|", in order. A line without "|"
/// has none; "||" and a "|" at the end give empty pieces, which the caller judges.
inline SubfieldRange subfieldsOf(std::string_view line) {
    const std::size_t bar = line.find(kWorkingDelimiter);
    return {line, bar == std::string_view::npos ? bar : bar + 1, false};
}

/// The head of a working line (all of it when it holds no "|"), then its subfields.
inline SubfieldRange piecesOf(std::string_view line) { return {line, 0, true}; }

/// The lines of a working record: every CR ends one, and the LF right behind it (of a CR LF,
/// or at the very start) is no part of the next. Other LFs stay (withoutLineFeeds()); an empty
/// text is one empty line, and a text that ends with a CR (LF) has an empty last line.
inline LineRange linesOf(std::string_view record) { return {record, 0, false}; }

/// Whether `line`, a line linesOf(record) gave, stands right behind a CR LF.
inline bool followsCrLf(std::string_view record, std::string_view line) {
    const auto at = static_cast<std::size_t>(line.data() - record.data());
    return at >= 2 && record[at - 1] == '\n' && record[at - 2] == '\r';
}

/// The line without its LFs: the line itself when it holds none, else its other bytes appended
/// to `buf` and a view of them (views into `buf` stay valid while it keeps its capacity).
inline std::string_view withoutLineFeeds(std::string_view line, std::string& buf) {
    if (line.find('\n') == std::string_view::npos) return line;
    const std::size_t from = buf.size();
    for (char c : line)
        if (c != '\n') buf.push_back(c);
    return std::string_view(buf).substr(from);
}

}  // namespace text
