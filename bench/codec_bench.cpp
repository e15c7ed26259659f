// Times decoding and re-encoding every record of an ISO 2709 file, streaming it in fixed-size blocks.
//
// Usage: codec_bench [--encoding gbk|gb18030|utf-8] FILE
// Reads the records as the batch run does (app::RecordSource), runs readRecord and recordFromWorkingText on
// each, and prints records/s, MB/s and a checksum (FNV-1a) of the records written, so that two
// builds can be compared for output as well as speed. Memory stays flat: one block and one record
// are held at a time.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/files.h"
#include "app/framer.h"
#include "app/source.h"
#include "codepage/codepage.h"
#include "marc/constants.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/source.h"
#include "marc/writer.h"

namespace {

/// FNV-1a over 8-byte words (then the tail byte by byte): a checksum, cheap next to the codec.
std::uint64_t fnv1a(std::uint64_t h, std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = (h ^ w) * 0x100000001b3ULL;
    }
    for (; i < s.size(); ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 0x100000001b3ULL;
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    codepage::Encoding encoding = codepage::Encoding::Gbk;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--encoding" && i + 1 < argc) {
            const auto e = codepage::encodingFromName(argv[++i]);
            if (!e) {
                std::cerr << "codec_bench: unknown encoding " << argv[i] << "\n";
                return 2;
            }
            encoding = *e;
        } else if (path.empty()) {
            path = a;
        } else {
            std::cerr << "usage: codec_bench [--encoding gbk|gb18030|utf-8] FILE\n";
            return 2;
        }
    }
    if (path.empty()) {
        std::cerr << "usage: codec_bench [--encoding gbk|gb18030|utf-8] FILE\n";
        return 2;
    }
    std::unique_ptr<app::InputFile> input;
    try {
        input = std::make_unique<app::InputFile>(path);
    } catch (const std::exception& e) {
        std::cerr << "codec_bench: cannot open " << path << ": " << e.what() << "\n";
        return 1;
    }
    app::RecordSource frames(*input);
    const codepage::Codec& cp = codepage::Codec::get(encoding);
    const marc::Clock clock = [] { return marc::LocalTime{2099, 12, 31, 23, 59, 59}; };

    std::uint64_t checksum = 0xcbf29ce484222325ULL;
    std::size_t records = 0, failed = 0, bytesIn = 0, bytesOut = 0;
    std::string cleaned;
    marc::SourceRecord source;
    marc::WriteContext context;
    context.source = &source;
    context.clock = clock;
    auto process = [&](std::string_view rec) {
        try {
            // As the batch run does it: the record read with its bytes kept, written back from them.
            marc::readRecord(rec, cp, source);
            const std::string out = marc::recordFromWorkingText(source.working, cp, context);
            checksum = fnv1a(checksum, out);
            bytesOut += out.size();
            ++records;
        } catch (const marc::MarcError&) {
            ++failed;
        }
    };

    const auto start = std::chrono::steady_clock::now();
    frames.firstBlock();
    app::Frame frame;
    while (frames.next(frame)) {
        if (frame.problem || frame.continuation) {
            ++failed;
            continue;
        }
        app::cleanRecord(frame.bytes, cleaned);
        process(cleaned);
    }
    bytesIn = frames.consumed();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf(
        "records %zu failed %zu in %.3f s: %.0f records/s, %.1f MB/s in, %.1f MB/s out, checksum %016llx\n",
        records, failed, seconds, records / seconds, bytesIn / seconds / 1e6, bytesOut / seconds / 1e6,
        static_cast<unsigned long long>(checksum));
    return 0;
}
