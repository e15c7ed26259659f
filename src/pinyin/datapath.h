// Where the program finds py.db: beside itself.
#pragma once

#include <string>
#include <string_view>

namespace pinyin {

/// Where py.db lies: the file py.db in `programFolder` with exactly one "/" between
/// ("/usr/lib/marc" gives "/usr/lib/marc/py.db", "/" gives "/py.db").
std::string datapath(std::string_view programFolder);
/// The folder of the running executable, without a trailing "/" unless it is the root.
std::string programFolder();

}  // namespace pinyin
