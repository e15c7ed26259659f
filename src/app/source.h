// The records of an input file, read in blocks and framed: the one loop every reader of record
// files goes through (the batch run, the check of existing pinyin, the dump).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "app/files.h"
#include "app/framer.h"

namespace app {

class RecordSource {
public:
    explicit RecordSource(InputFile& input);

    /// Reads the input's first block, at least the sample the code page is decided from unless
    /// the input ends first (a pipe may hand over less at a time), and returns it; it is framed
    /// by the following calls of next(). Call at most once, before next(). Throws FileError.
    std::string_view firstBlock();

    /// The next frame, reading and framing further blocks as needed; false at the input's end.
    /// `beforeRead` runs before a block replaces the bytes that earlier frames point into; when
    /// it returns false, next() returns false at once. Throws FileError on a read error.
    bool next(Frame& frame, const std::function<bool()>& beforeRead = {});

    /// The bytes of the block read last from input offset `from` on (from its start when `from`
    /// lies before it; empty when after it): what follows a frame, for a decision that wants
    /// more than one record's bytes. Valid until next() reads a block.
    std::string_view ahead(std::uint64_t from) const;

    /// Input bytes framed so far.
    std::uint64_t consumed() const { return framer_.consumed(); }
    /// Filler and line-break bytes passed over so far (RecordFramer).
    std::uint64_t filler() const { return framer_.filler(); }
    std::uint64_t lineBreaks() const { return framer_.lineBreaks(); }
    /// The input's size in bytes, 0 when unknown (a pipe).
    std::uint64_t size() const { return input_.size(); }

private:
    /// Reads up to `size` bytes of the input straight into the framer's bytes; 0 at the end.
    std::size_t readBlock(std::size_t size);

    InputFile& input_;
    bool atEnd_ = false;
    std::uint64_t blockStart_ = 0;  // input offset of the block read last
    std::size_t blockSize_ = 0;     // its size
    RecordFramer framer_;
};

}  // namespace app
