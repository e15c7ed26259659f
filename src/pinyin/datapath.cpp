// Where py.db lies: beside the program, else in the data folder of an installed package.
#include "pinyin/datapath.h"

#include <filesystem>
#include <system_error>

namespace pinyin {

namespace {

bool isFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::string datapath(std::string_view programFolder) {
    // An empty folder means the current one; "/py.db" would point at the root instead.
    if (programFolder.empty()) return "py.db";
    std::string path(programFolder);
    if (path.back() != '/') path += '/';
    std::string beside = path + "py.db";
    if (isFile(beside)) return beside;
    // A package puts the programs in PREFIX/bin and the data in PREFIX/share/marc-pinyin.
    const std::filesystem::path shared =
        (std::filesystem::path(path) / "../share/marc-pinyin/py.db").lexically_normal();
    if (isFile(shared)) return shared.string();
    // Neither: the file beside the program is the one a missing py.db is reported as.
    return beside;
}

std::string programFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    // Without /proc the program cannot tell where it lies; the current folder is the best
    // guess, and a missing py.db there is reported with its full path.
    if (ec || exe.empty()) return ".";
    std::string folder = exe.parent_path().string();
    return folder.empty() ? std::string("/") : folder;
}

}  // namespace pinyin
