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

/// The pieces of a line in order, empty ones included; see subfieldsOf() and piecesOf().
class SubfieldRange {
public:
    class iterator {
    public:
        using value_type = Subfield;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::forward_iterator_tag;

        iterator() = default;
        iterator(std::string_view line, std::size_t at, bool head) : line_(line), at_(at), head_(head) {
            if (at_ != std::string_view::npos) bar_ = line_.find(kWorkingDelimiter, at_);
        }
        Subfield operator*() const {
            const std::size_t stop = bar_ == std::string_view::npos ? line_.size() : bar_;
            return {line_.substr(at_, stop - at_), at_, head_};
        }
        iterator& operator++() {
            if (bar_ == std::string_view::npos) {
                at_ = std::string_view::npos;
            } else {
                at_ = bar_ + 1;
                head_ = false;
                bar_ = line_.find(kWorkingDelimiter, at_);
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
        std::string_view line_;
        std::size_t at_ = std::string_view::npos;   // where the piece begins; npos past the last
        std::size_t bar_ = std::string_view::npos;  // the "|" that ends it, npos for the last
        bool head_ = false;
    };

    SubfieldRange(std::string_view line, std::size_t first, bool head) : begin_(line, first, head) {}
    iterator begin() const { return begin_; }
    iterator end() const { return {}; }

private:
    iterator begin_;
};

/// The subfields of a working line: the piece behind every "|", in order. A line without "|"
/// has none; "||" and a "|" at the end give empty pieces, which the caller judges.
inline SubfieldRange subfieldsOf(std::string_view line) {
    const std::size_t bar = line.find(kWorkingDelimiter);
    return {line, bar == std::string_view::npos ? bar : bar + 1, false};
}

/// The head of a working line (all of it when it holds no "|"), then its subfields.
inline SubfieldRange piecesOf(std::string_view line) { return {line, 0, true}; }

/// The lines of a working record, in order, see linesOf().
class LineRange {
public:
    class iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::forward_iterator_tag;

        iterator() = default;
        explicit iterator(std::string_view text) : text_(text), at_(0), cr_(text.find('\r')) {}
        std::string_view operator*() const {
            const std::size_t stop = cr_ == std::string_view::npos ? text_.size() : cr_;
            const std::size_t from = at_ < stop && text_[at_] == '\n' ? at_ + 1 : at_;
            return text_.substr(from, stop - from);
        }
        iterator& operator++() {
            if (cr_ == std::string_view::npos) {
                at_ = std::string_view::npos;
            } else {
                at_ = cr_ + 1;
                cr_ = text_.find('\r', at_);
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
        std::size_t at_ = std::string_view::npos;  // where the line's piece begins; npos past the last
        std::size_t cr_ = std::string_view::npos;  // the CR that ends it, npos for the last
    };

    explicit LineRange(std::string_view text) : text_(text) {}
    iterator begin() const { return iterator(text_); }
    iterator end() const { return {}; }

private:
    std::string_view text_;
};

/// The lines of a working record: every CR ends one, and the LF right behind it (of a CR LF,
/// or at the very start) is no part of the next. Other LFs stay (withoutLineFeeds()); an empty
/// text is one empty line, and a text that ends with a CR (LF) has an empty last line.
inline LineRange linesOf(std::string_view record) { return LineRange(record); }

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
