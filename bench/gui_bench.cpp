// marc-pinyin-gui-bench: one whole run through the main window in automatic mode, timed.
//
//   marc-pinyin-gui-bench INPUT OUTPUT [--phrase]
//
// Drives the real window as a user would (paths in the boxes, "自动选择拼音(多音字)", the start
// button) and prints the seconds from the press to the completion box, wall and CPU. Compare with
// `marc-pinyin-cli --polyphone first INPUT OUTPUT` on the same file.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include "application.h"
#include "main_window.h"
#include "store.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: marc-pinyin-gui-bench INPUT OUTPUT [--phrase]\n");
        return 2;
    }
    gui::setUpApplication(app);
    // The defaults, whatever the user's window remembers; nothing of this run is kept.
    const QString settings = QDir::temp().filePath(QStringLiteral("marc-pinyin-gui-bench.ini"));
    QFile::remove(settings);
    gui::setStoreFile(settings);
    gui::MainWindow window;
    window.setEndProgram([] {});
    window.findChild<QLineEdit*>("InputPath")->setText(args[1]);
    window.findChild<QLineEdit*>("OutputPath")->setText(args[2]);
    window.findChild<QRadioButton*>(args.contains("--phrase") ? "ByWords" : "FirstReading")->click();
    window.show();

    QElapsedTimer clock;
    double seconds = -1;
    double cpuSeconds = -1;
    std::clock_t cpuStart = 0;
    QString boxText;
    // The completion box ends the timing; pressing its OK ends the run's handler.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (seconds < 0) {
                seconds = clock.nsecsElapsed() / 1e9;
                cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
            }
            boxText = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answer.start(1);
    QTimer::singleShot(0, &window, [&] {
        clock.start();
        cpuStart = std::clock();
        window.findChild<QPushButton*>("Start")->click();
        QCoreApplication::exit(0);
    });
    app.exec();
    std::printf("window: %.3f s, cpu %.3f s, %s, caption %s\n", seconds, cpuSeconds,
                qPrintable(boxText.simplified()), qPrintable(window.windowTitle()));
    return seconds < 0 ? 1 : 0;
}
