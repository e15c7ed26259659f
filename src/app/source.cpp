#include "app/source.h"

#include <utility>

#include "codepage/detect.h"

namespace app {
namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;

}  // namespace

RecordSource::RecordSource(InputFile& input) : input_(input), block_(new char[kBlockSize]) {}

std::string_view RecordSource::firstBlock() {
    while (pending_ < codepage::kDetectionSample) {
        const std::size_t n = input_.read(block_.get() + pending_, kBlockSize - pending_);
        if (n == 0) break;
        pending_ += n;
    }
    blockSize_ = pending_;
    return {block_.get(), pending_};
}

std::string_view RecordSource::ahead(std::uint64_t from) const {
    const std::uint64_t end = blockStart_ + blockSize_;
    if (from >= end) return {};
    const std::uint64_t at = from > blockStart_ ? from - blockStart_ : 0;
    return {block_.get() + at, static_cast<std::size_t>(blockSize_ - at)};
}

bool RecordSource::next(Frame& frame, const std::function<bool()>& beforeRead) {
    for (;;) {
        if (framer_.next(frame)) return true;
        if (atEnd_) return false;
        std::size_t n = std::exchange(pending_, 0);
        if (n == 0) {
            if (beforeRead && !beforeRead()) return false;
            n = input_.read(block_.get(), kBlockSize);
            blockStart_ += blockSize_;
            blockSize_ = n;
        }
        if (n == 0) {
            framer_.finish();
            atEnd_ = true;
        } else {
            framer_.feed(std::string_view(block_.get(), n));
        }
    }
}

}  // namespace app
