// marc-pinyin: the program's window.
//
//   marc-pinyin [INPUT [OUTPUT]]   the main window, the path boxes filled from the command line
//   marc-pinyin --version          the version, without a window
//   marc-pinyin --help             how to start it, without a window
//   marc-pinyin --demo-chooser     the chooser on a long title, to see what it looks like
//   marc-pinyin --demo-run INPUT OUTPUT   the main window starting a run at once
//
// With MARCPY_SCREENSHOT=<file.png> set, the screen around the program's windows (with the window
// manager's frames) is photographed into that file a moment after they appear, and the program
// ends (scripts/screenshots.sh).
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "application.h"
#include "main_window.h"
#include "reading_chooser.h"

namespace {

void screenshotAndQuit(int delayMs, const QString& file) {
    QTimer::singleShot(delayMs, [file] {
        QRect area;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) area |= w->frameGeometry();
        QScreen* screen = QGuiApplication::primaryScreen();
        QPixmap shot =
            screen ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()) : QPixmap();
        if (shot.isNull() && QApplication::activeWindow()) shot = QApplication::activeWindow()->grab();
        const bool saved = shot.save(file, "PNG");
        if (!saved) std::fprintf(stderr, "marc-pinyin: cannot write %s\n", qPrintable(file));
        std::fflush(nullptr);
        // A run or a chooser may be under way in a nested event loop: leave at once.
        _exit(saved ? 0 : 1);
    });
}

// A title of 370 characters as cataloguers meet them, the question near its end.
QString longTitle() {
    return QStringLiteral(
        "中国人民银行行长和国家发展和改革委员会主任关于进一步做好金融支持和服务实体经济工作的报告汇编："
        "二〇二三年度银行业和保险业发展情况、重点领域风险防范和化解、普惠金融和绿色金融发展、"
        "和平发展和区域协调发展战略实施情况、长江经济带和黄河流域生态保护和高质量发展、"
        "京津冀协同发展和粤港澳大湾区建设、乡村振兴和城乡融合发展、重大项目建设和投资运行情况、"
        "外汇管理和人民币国际化进展、货币政策执行情况和下一步工作安排，附：相关法律法规和规范性文件目录、"
        "统计数据和图表、专家解读和答记者问、地方实践和典型案例选编、大事记和重要会议纪要、"
        "索引和参考文献、编后记和致谢；银行业金融机构和非银行支付机构的合规经营和内部控制、"
        "行业自律和社会监督、和谐劳动关系和职工权益保障");
}

// The window speaks Chinese whatever the locale; so does its usage.
const char* usage() {
    return "用法：marc-pinyin [输入文件 [输出文件]]\n"
           "  "
           "打开MARC批加拼音窗口；给出的文件填入路径框（只给输入文件时，建议“输入文件名-pinyin."
           "iso”作输出）。\n"
           "  --version  显示版本\n"
           "  --help     显示本说明\n"
           "“拼音字段名”中的两种方式：\n"
           "  仅$a子字段：只为 $a 加拼音，放在选定的 $A 或 $9 中，例如\n"
           "    200 1 $a红楼梦$Ahong lou meng$f曹雪芹著$v2\n"
           "  "
           "每个含汉字的子字段：每个含汉字的小写代码子字段后面紧跟其拼音，代码为其大写字母（$a→$A，$e→$E，$"
           "f→$F），\n"
           "  不含汉字的子字段（如 $v 的数字）不加，例如\n"
           "    200 1 $a红楼梦$Ahong lou meng$f曹雪芹著$Fcao xue qin zhu$v2\n"
           "不开窗口的批处理请用 marc-pinyin-cli（marc-pinyin-cli --help）。\n";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("marc-pinyin %s\n", MARCPY_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", usage());
            return 0;
        }
    }
    QApplication app(argc, argv);
    gui::setUpApplication(app);
    const QString screenshot = qEnvironmentVariable("MARCPY_SCREENSHOT");
    QStringList args = app.arguments().mid(1);

    if (args.contains(QStringLiteral("--demo-chooser"))) {
        gui::ReadingChooser chooser;
        gui::ReadingChooser::Question question;
        question.text = longTitle();
        question.character = QStringLiteral("和");
        // An occurrence near the end, where the box has to scroll to show it, inside a word the
        // phrase data found: the word stands marked, the character red within it.
        question.word = QStringLiteral("和谐");
        question.wordAt = static_cast<int>(question.text.indexOf(question.word)) + 1;
        question.position = question.wordAt;
        question.readings = QStringLiteral("He Huo Hu Hai Huan Hun Hua Han");
        question.lowerCase = true;
        question.where = QStringLiteral("第 12 条记录　200 字段　001：CN2023000123");
        chooser.load(question);
        chooser.show();
        if (!screenshot.isEmpty()) screenshotAndQuit(1500, screenshot);
        return app.exec();
    }

    const bool demoRun = args.removeAll(QStringLiteral("--demo-run")) > 0;
    gui::MainWindow window;
    if (!args.isEmpty()) window.setPaths(args.value(0), args.value(1));
    window.show();
    if (!screenshot.isEmpty()) window.setEndProgram([] {});
    if (demoRun) {
        QTimer::singleShot(300, &window, [&window] { window.start(); });
        if (!screenshot.isEmpty()) screenshotAndQuit(4000, screenshot);
    } else if (!screenshot.isEmpty()) {
        screenshotAndQuit(1500, screenshot);
    }
    return app.exec();
}
