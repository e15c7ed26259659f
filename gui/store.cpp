// The settings file.
#include "store.h"

#include <QSettings>

namespace gui {
namespace {

QString& storeFile() {
    static QString file;
    return file;
}

}  // namespace

std::unique_ptr<QSettings> openStore() {
    if (!storeFile().isEmpty()) return std::make_unique<QSettings>(storeFile(), QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("marc-pinyin"), QStringLiteral("marc-pinyin"));
}

void setStoreFile(const QString& iniFile) { storeFile() = iniFile; }

}  // namespace gui
