// Chinese translations, font substitutes and the icon for the whole program.
#include "application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The icon compiled into this static library (icon.qrc): named here so the linker keeps it.
static void initIcon() { Q_INIT_RESOURCE(icon); }

namespace gui {

namespace {

// Texts Qt's own dialogs show that Debian's qtbase_zh_CN lacks (the file dialog's type of a
// folder); asked before Qt's translation, everything else is passed on to it.
class MissingTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        (void)disambiguation;
        (void)n;
        if (qstrcmp(context, "QAbstractFileIconProvider") == 0) {
            if (qstrcmp(source, "Folder") == 0 || qstrcmp(source, "File Folder") == 0)
                return QStringLiteral("文件夹");
            if (qstrcmp(source, "Drive") == 0) return QStringLiteral("驱动器");
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

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

    // The program speaks Chinese whatever the desktop's language is, and so do Qt's own buttons
    // and the file types the file dialog names (their descriptions follow the default locale).
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    auto* translator = new QTranslator(&app);
    if (!translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    app.installTranslator(new MissingTexts(&app));
    return true;
}

}  // namespace gui
