// marc-pinyin: the program's window.
//
//   marc-pinyin                   the main window
//   marc-pinyin --demo-chooser    the chooser with a sample title, to see what it looks like
//
// With MARCPY_SCREENSHOT=<file.png> set, the window shown is photographed from the screen into
// that file a moment after it appears, and the program ends (scripts/screenshots.sh).
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

#include "application.h"
#include "form1.h"
#include "form2.h"

namespace {

void screenshotAndQuit(QWidget& window, const QString& file) {
    QTimer::singleShot(1500, &window, [&window, file] {
        QScreen* screen = window.screen();
        QPixmap shot = screen ? screen->grabWindow(window.winId()) : QPixmap();
        if (shot.isNull()) shot = window.grab();  // platforms that cannot read the screen
        const bool saved = shot.save(file, "PNG");
        if (!saved) std::fprintf(stderr, "marc-pinyin: cannot write %s\n", qPrintable(file));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    gui::setUpApplication(app);
    const QString screenshot = qEnvironmentVariable("MARCPY_SCREENSHOT");

    if (app.arguments().contains(QStringLiteral("--demo-chooser"))) {
        gui::Form2 chooser;
        chooser.AllHz = QStringLiteral("中国银行业发展报告：银行与重庆长城");
        chooser.DyStr = 4;
        chooser.hz = QStringLiteral("行");
        chooser.pystr = QStringLiteral("Xing Hang Heng");
        chooser.load();
        chooser.show();
        if (!screenshot.isEmpty()) screenshotAndQuit(chooser, screenshot);
        return app.exec();
    }

    gui::Form1 window;
    window.show();
    if (!screenshot.isEmpty()) {
        window.setEndProgram([] {});
        screenshotAndQuit(window, screenshot);
    }
    return app.exec();
}
