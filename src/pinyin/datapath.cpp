// Where py.db lies: the program folder and the file name joined by one separator.
#include "pinyin/datapath.h"

#include <filesystem>
#include <system_error>

namespace pinyin {

std::string datapath(std::string_view programFolder) {
    // An empty folder means the current one; "/py.db" would point at the root instead.
    if (programFolder.empty()) return "py.db";
    std::string path(programFolder);
    if (path.back() != '/') path += '/';
    path += "py.db";
    return path;
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
