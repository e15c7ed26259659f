// Where the program finds py.db: beside itself, else where a package installs it.
#pragma once

#include <string>
#include <string_view>

namespace pinyin {

/// Where py.db lies: the file py.db in `programFolder` with exactly one "/" between
/// ("/usr/lib/marc" gives "/usr/lib/marc/py.db", "/" gives "/py.db"); when that file does not
/// exist but `programFolder`/../share/marc-pinyin/py.db does (the package: /usr/bin and
/// /usr/share/marc-pinyin), that one, without the "..".
std::string pyDbPath(std::string_view programFolder);
/// The folder of the running executable, without a trailing "/" unless it is the root.
std::string programFolder();

}  // namespace pinyin
