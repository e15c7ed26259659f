// Chinese translations, font substitutes and the icon for the whole program.
#include "application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

// The icon compiled into this static library (icon.qrc): named here so the linker keeps it.
static void initIcon() { Q_INIT_RESOURCE(icon); }

namespace gui {

bool setUpApplication(QApplication& app) {
    // The icon of the title bar and the task bar, compiled in (the menu entry names the same one,
    // installed to hicolor); the desktop file name lets a task bar match the window to the entry.
    initIcon();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/marc-pinyin.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("marc-pinyin"));

    // The windows name SimSun, as the cataloguers' Windows machines have it; Debian has no SimSun,
    // and without a Chinese font Qt silently draws boxes. WenQuanYi covers every GBK character.
    const QStringList substitutes{"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Droid Sans Fallback"};
    QFont::insertSubstitutions("SimSun", substitutes);
    QFont::insertSubstitutions(QStringLiteral("宋体"), substitutes);
    app.setFont(QFont("SimSun", 9));

    // The program speaks Chinese whatever the desktop's language is, and so do Qt's own buttons.
    auto* translator = new QTranslator(&app);
    if (!translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    return true;
}

}  // namespace gui
