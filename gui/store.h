// Where the main window keeps what it remembers between sessions.
#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace gui {

/// The settings file: the user's own (an INI file under the desktop's configuration folder,
/// "marc-pinyin/marc-pinyin.ini") unless setStoreFile() named another.
std::unique_ptr<QSettings> openStore();

/// Tests and benchmarks keep their settings apart from the user's; empty goes back to the user's.
void setStoreFile(const QString& iniFile);

}  // namespace gui
