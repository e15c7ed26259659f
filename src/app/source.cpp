#include "app/source.h"

#include <algorithm>
#include <utility>

#include "codepage/detect.h"

namespace app {
namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;

}  // namespace

RecordSource::RecordSource(InputFile& input) : input_(input) {}

std::size_t RecordSource::readBlock(std::size_t size) {
    char* to = framer_.room(size);
    std::size_t n = 0;
    try {
        n = input_.read(to, size);
    } catch (...) {
        framer_.added(0);
        throw;
    }
    framer_.added(n);
    return n;
}

std::string_view RecordSource::firstBlock() {
    std::size_t size = 0;
    while (size < codepage::kDetectionSample) {
        const std::size_t n = readBlock(kBlockSize - size);
        if (n == 0) break;
        size += n;
    }
    blockSize_ = size;
    return framer_.held(0);
}

std::string_view RecordSource::ahead(std::uint64_t from) const {
    return framer_.held(std::max(from, blockStart_));
}

bool RecordSource::next(Frame& frame, const std::function<bool()>& beforeRead) {
    for (;;) {
        if (framer_.next(frame)) return true;
        if (atEnd_) return false;
        if (beforeRead && !beforeRead()) return false;
        const std::size_t n = readBlock(kBlockSize);
        blockStart_ += blockSize_;
        blockSize_ = n;
        if (n == 0) {
            framer_.finish();
            atEnd_ = true;
        }
    }
}

}  // namespace app
