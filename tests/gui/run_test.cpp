// Whole runs through the main window: the chooser answered, the caption, the frames, the
// completion box, leaving during a run, and runs that cannot start or finish.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTest>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <fstream>

#include "application.h"
#include "main_window.h"
#include "reading_chooser.h"
#include "support.h"
#include "tagbox.h"
#include "support/text.h"

using gui::MainWindow;
using guitest::BoxSeen;
using guitest::ModalScript;

namespace {

// Watches a window's caption changes and frames' enabled changes, in the order they happen.
class Recorder : public QObject {
public:
    explicit Recorder(QObject* parent) : QObject(parent) {}
    QStringList titles;
    QStringList enabling;  // "PathFrame off", ...
    std::function<void(const QString&)> onTitle;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            titles << static_cast<QWidget*>(watched)->windowTitle();
            if (onTitle) onTitle(titles.constLast());
        } else if (event->type() == QEvent::EnabledChange) {
            enabling << watched->objectName() +
                            (static_cast<QWidget*>(watched)->isEnabled() ? " on" : " off");
        }
        return false;
    }
};

const QString kOne = QStringLiteral("已处理:1条！");
const QString kDone = QStringLiteral("恭喜，已处理完毕!");
const QString kNote = QStringLiteral("提示");
const QString kError = QStringLiteral("错误");

bool contains(const std::string& record, const char* part) { return record.find(part) != std::string::npos; }

}  // namespace

class TestRun : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string db_, input_, output_;
    int runs_ = 0;

    QString out() const { return QString::fromStdString(output_); }
    // What differs between the output and records holding `parts` (empty: nothing).
    QString outputDiffers(const std::vector<std::string>& parts) const {
        return guitest::recordsDiffer(output_, parts);
    }
    std::string file(const char* name) const { return dir_.filePath(name).toStdString(); }

    // A window set for the three-record file, the run not yet started, and what watches it.
    Recorder& prepare(MainWindow& f, const std::string& input = {}) {
        f.dataPath = db_;
        f.findChild<QLineEdit*>("InputPath")->setText(QString::fromStdString(input.empty() ? input_ : input));
        f.findChild<QLineEdit*>("OutputPath")->setText(out());
        auto* rec = new Recorder(&f);
        f.installEventFilter(rec);
        for (const char* name : {"TagFrame", "PathFrame", "ExistingFrame"})
            f.findChild<QWidget*>(name)->installEventFilter(rec);
        click(f, "ManualChoice");  // the runs here ask, unless a test says otherwise
        f.show();
        return *rec;
    }
    static void click(MainWindow& f, const char* name) { f.findChild<QAbstractButton*>(name)->click(); }
    static void start(MainWindow& f) { click(f, "Start"); }
    // Starts the run; the script answers what opens, then OK to the message that ends the run:
    // what that message showed, and the script's surprises.
    static guitest::OneBox finish(MainWindow& f, ModalScript& script) {
        guitest::OneBox done;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        start(f);
        done.surprises = script.surprises();
        return done;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);  // no word list of the user's own
        gui::setUpApplication(*qobject_cast<QApplication*>(qApp));
        db_ = file("py.db");
        guitest::makePyDb(db_, {{"银", "Yin"},
                                {"行", "Xing Hang"},
                                {"长", "Chang Zhang"},
                                {"城", "Cheng"},
                                {"书", "Shu"},
                                {"编", "Bian"},
                                {"者", "Zhe"}});
        input_ = guitest::writeTitles(file("in.iso"), {"银行", "长城", "书"});
    }
    void init() {
        guitest::freshSettings();
        output_ = dir_.filePath(QStringLiteral("out%1.iso").arg(++runs_)).toStdString();
    }

    void wholeRunWithChooser() {
        MainWindow f;
        Recorder& rec = prepare(f);
        ModalScript script;
        // Checks inside a step fail the test too; a step cut short leaves the chooser to the deadline.
        // Record 1, 行 of 银行: the text with 行 in red, the readings in stored order, the first
        // preselected; a double-click takes the second.
        script.then([&](QWidget* modal) {
            QVERIFY(qobject_cast<gui::ReadingChooser*>(modal));
            auto* list = modal->findChild<QListWidget*>("Readings");
            QTRY_COMPARE(list->currentRow(), 0);
            QCOMPARE(list->count(), 2);
            // In the window's letter case (lower), with where the question comes from.
            QCOMPARE(list->item(0)->text() + list->item(1)->text(), QStringLiteral("xinghang"));
            QCOMPARE(modal->windowTitle(), QStringLiteral("选择多音字读音"));
            QCOMPARE(modal->findChild<QLabel*>("Where")->text(),
                     QStringLiteral("第 1 条记录　200 字段 $a 子字段　001：r1"));
            QCOMPARE(modal->findChild<QTextEdit*>("Text")->toPlainText(), QStringLiteral("银行"));
            QCOMPARE(guitest::redPositions(modal), QList<int>{1});
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        });
        // Record 2, 长 of 长城: the caption counts the first record, the run's frames are locked,
        // the rest stays free; the button takes the preselected first reading.
        script.then([&](QWidget* modal) {
            QCOMPARE(f.windowTitle(), kOne);
            QCOMPARE(f.findChild<QLabel*>("Count")->text(), QStringLiteral("已处理 1 条"));
            QVERIFY(f.findChild<QProgressBar*>("Progress")->value() > 0);
            QCOMPARE(modal->findChild<QLabel*>("Where")->text(),
                     QStringLiteral("第 2 条记录　200 字段 $a 子字段　001：r2"));
            for (const char* name : {"TagFrame", "PathFrame", "ExistingFrame", "SpellingFrame", "CodeFrame",
                                     "PolyphoneFrame", "Start"})
                QVERIFY(!f.findChild<QWidget*>(name)->isEnabled());
            QVERIFY(f.findChild<QWidget*>("Exit")->isEnabled());
            modal->findChild<QPushButton*>("Choose")->click();
        });
        BoxSeen done;
        QString titleAtEnd;
        script.then([&](QWidget* modal) {
            titleAtEnd = f.windowTitle();
            ModalScript::answerBox(QMessageBox::Ok, &done)(modal);
        });
        start(f);

        QCOMPARE(script.surprises(), QStringList());
        QCOMPARE(titleAtEnd, QStringLiteral("已处理:3条！"));
        QCOMPARE(done.title, kNote);
        // The figures of the run and where its records went, and the code page it read.
        QCOMPARE(done.text, kDone +
                                QStringLiteral("\n\n已处理 3 条记录：写入 3 条，失败 0 条。\n输出文件：") +
                                out() + QStringLiteral("\n\n文件编码：GBK（自动识别）"));
        QCOMPARE(done.icon, int(QMessageBox::Information));
        QCOMPARE(done.buttons.size(), 1);
        QCOMPARE(rec.enabling, (QStringList{"PathFrame off", "TagFrame off", "ExistingFrame off",
                                            "PathFrame on", "TagFrame on", "ExistingFrame on"}));
        QCOMPARE(f.windowTitle(), QStringLiteral("已处理:3条！"));  // the count stays after the run
        auto* bar = f.findChild<QProgressBar*>("Progress");
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(f.findChild<QLabel*>("Count")->text(), QStringLiteral("已处理 3 条"));
        QVERIFY(f.findChild<QWidget*>("Start")->isEnabled());
        QCOMPARE(f.lastReading, std::string("Chang"));
        QCOMPARE(outputDiffers({"|a银行|Ayin hang", "|a长城|Achang cheng", "|a书|Ashu"}), QString());
    }

    // Every subfield that holds Chinese: the chooser says which subfield it asks about, each
    // gets its own capital, and the code buttons stay off after the run as before it.
    void everySubfieldWithTheChooser() {
        const std::string input = file("every.iso");
        guitest::writeRecordFile(input, {"001    r1\r\n005    20240101120000.0\r\n101 0  |achi\r\n"
                                         "200 1  |a书|f银行|v2\r\n\r\n"});
        MainWindow f;
        prepare(f, input);
        click(f, "EveryChineseSubfield");
        QVERIFY(!f.findChild<QWidget*>("CodeA")->isEnabled() && !f.findChild<QWidget*>("Code9")->isEnabled());
        ModalScript script;
        script.then([&](QWidget* modal) {
            QCOMPARE(modal->findChild<QLabel*>("Where")->text(),
                     QStringLiteral("第 1 条记录　200 字段 $f 子字段　001：r1"));
            QCOMPARE(modal->findChild<QTextEdit*>("Text")->toPlainText(), QStringLiteral("银行"));
            modal->findChild<QPushButton*>("Choose")->click();
        });
        QCOMPARE(finish(f, script).surprises, QStringList());
        QCOMPARE(outputDiffers({"|a书|Ashu|f银行|Fyin xing|v2"}), QString());
        QVERIFY(!f.findChild<QWidget*>("CodeA")->isEnabled() && !f.findChild<QWidget*>("Code9")->isEnabled());
        click(f, "SubfieldAOnly");
        QVERIFY(f.findChild<QWidget*>("CodeA")->isEnabled() && f.findChild<QWidget*>("Code9")->isEnabled());
    }

    // The run keeps the settings it started with: every control that decides the output is
    // locked until the end message, and even a control changed behind the lock changes nothing.
    void theRunKeepsTheSettingsItStartedWith() {
        MainWindow f;
        Recorder& rec = prepare(f);
        click(f, "FirstReading");
        bool secondPressRefused = false;
        QStringList unlocked;
        rec.onTitle = [&](const QString& t) {
            if (t != kOne) return;
            for (const char* name :
                 {"TagFrame", "PathFrame", "ExistingFrame", "SpellingFrame", "CodeFrame", "PolyphoneFrame",
                  "Start", "Capitalised", "Code9", "ManualChoice", "TagList"})
                if (f.findChild<QWidget*>(name)->isEnabled()) unlocked << name;
            for (const char* name : {"Capitalised", "Code9", "KeepExisting", "ManualChoice"})
                f.findChild<QRadioButton*>(name)->setChecked(true);
            f.findChild<gui::TagBox*>("TagList")->setText("701");
            start(f);
            secondPressRefused = true;
        };
        ModalScript script;
        // One completion box, no nested run, no chooser.
        QCOMPARE(finish(f, script).surprises, QStringList());
        QVERIFY(secondPressRefused);
        QCOMPARE(unlocked, QStringList());
        // The caption counts from the first record to the last, never backwards (it may skip
        // counts that follow each other faster than a screen could show them).
        QCOMPARE(rec.titles.constFirst(), kOne);
        QCOMPARE(rec.titles.constLast(), QStringLiteral("已处理:3条！"));
        QVERIFY(std::is_sorted(rec.titles.begin(), rec.titles.end()));
        auto records = guitest::readRecordFile(output_);
        QCOMPARE(records.size(), std::size_t(3));
        for (const std::string& r : records)
            QVERIFY2(contains(r, "|Ayin xing") || contains(r, "|Achang cheng") || contains(r, "|Ashu"),
                     r.c_str());
        // The next press takes what the controls say then; the caption starts from the program's
        // name again.
        rec.onTitle = nullptr;
        f.findChild<gui::TagBox*>("TagList")->setText("200");
        click(f, "FirstReading");
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        const qsizetype before = rec.titles.size();
        start(f);
        QCOMPARE(rec.titles.value(before), QString::fromUtf8(gui::kProgramTitle));
        QCOMPARE(outputDiffers({"", "", "", "|9Yin Xing", "", "|9Shu"}), QString());
    }

    void exitDuringRun_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No: the run finishes") << false;
        QTest::newRow("Yes: ends between records") << true;
    }
    void exitDuringRun() {
        QFETCH(bool, yes);
        MainWindow f;
        Recorder& rec = prepare(f);
        click(f, "FirstReading");
        int ended = 0;
        f.setEndProgram([&] { ++ended; });
        rec.onTitle = [&](const QString& t) {
            if (t == kOne) QTimer::singleShot(0, &f, [&f] { f.close(); });
        };
        ModalScript script;
        BoxSeen question, done;
        QString countAtQuestion;
        script.then([&](QWidget* modal) {
            countAtQuestion = f.findChild<QLabel*>("Count")->text();
            ModalScript::answerBox(yes ? QMessageBox::Yes : QMessageBox::No, &question)(modal);
        });
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        start(f);
        QCOMPARE(script.surprises(), QStringList());
        // Mid-run the question says so, with the count as it stands, and Enter means No.
        QVERIFY_HOLDS(question.text, QStringLiteral("正在处理：已写入 1 条记录"));
        QVERIFY(question.text.endsWith(QStringLiteral("确定退出MARC批加拼音工具吗？")));
        QCOMPARE(question.defaultButton, int(QMessageBox::No));
        QCOMPARE(countAtQuestion, QStringLiteral("已处理 1 条"));
        QCOMPARE(ended, yes ? 1 : 0);
        if (yes) {
            // The record done before the question is whole in the file; nothing after it.
            QCOMPARE(rec.titles, QStringList{kOne});
            QVERIFY2(done.text.startsWith(
                         QStringLiteral("已停止处理。\n已处理 1 条记录：写入 1 条，失败 0 条。\n输出文件：") +
                         out() + QStringLiteral("\n下次按“开始处理”可从第 2 条记录继续。")),
                     qPrintable(done.text));
            QCOMPARE(outputDiffers({"|Ayin xing"}), QString());
        } else {
            QVERIFY(done.text.startsWith(kDone));
            QVERIFY(f.isVisible());
            QCOMPARE(f.windowTitle(), QStringLiteral("已处理:3条！"));
            QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(3));
        }
    }

    void runsThatFailOrFindNothing_data() {
        QTest::addColumn<QString>("input");   // "mixed": a broken record between two; "empty"; "one"
        QTest::addColumn<QString>("output");  // "" for a fresh file, "input" for the input itself
        QTest::addColumn<bool>("brokenDb");
        QTest::addColumn<QString>("title");  // the caption after the run
        QTest::addColumn<int>("written");    // records in the output; -1: no output file
        guitest::row("empty input", "empty", "", false, "MARC批加拼音(Ostrel)", -1);
        guitest::row("broken py.db", "one", "", true, "MARC批加拼音(Ostrel)", -1);
        guitest::row("output is the input", "one", "input", false, "MARC批加拼音(Ostrel)", 1);
        guitest::row("full disk", "one", "/dev/full", false, "", -1);
    }
    void runsThatFailOrFindNothing() {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(bool, brokenDb);
        QFETCH(QString, title);
        QFETCH(int, written);
        const std::string path = file("case.iso");
        std::vector<std::string> records = {guitest::workingRecord("r1", "书")};
        if (input == "mixed")
            records = {records[0], std::string("\0", 1) + "00026nam  2200025   4500\x1D", records[0]};
        if (input == "empty") records.clear();
        guitest::writeRecordFile(path, records);
        const std::string before = guitest::slurp(path);
        if (output == "input") output_ = path;
        if (output == "/dev/full") output_ = "/dev/full";
        MainWindow f;
        prepare(f, path);
        click(f, "FirstReading");
        if (brokenDb) {
            f.dataPath = file("broken.db");
            std::ofstream(f.dataPath) << "this is not a database";
        }
        const auto box = guitest::answerOneBox([&] { start(f); });
        QCOMPARE(box.surprises, QStringList());
        if (!title.isEmpty()) QCOMPARE(f.windowTitle(), title);
        for (const char* frame : {"TagFrame", "PathFrame", "ExistingFrame"})
            QVERIFY(f.findChild<QWidget*>(frame)->isEnabled());
        // A run that could not start or write is never announced as done, and spares the input;
        // an input without records is refused before the output is made.
        QCOMPARE(box.title, kError);
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        if (input == "empty") QVERIFY_HOLDS(box.text, QStringLiteral("输入文件中没有记录"));
        if (input == "one") {
            QVERIFY2(!box.text.contains(QStringLiteral("恭喜")), qPrintable(box.text));
            QCOMPARE(guitest::slurp(path), before);
        }
        // Every message in Chinese, the operating system's words included.
        QVERIFY2(!testtext::holdsEnglishSentence(box.text.toStdString()), qPrintable(box.text));
        if (output_ != "/dev/full") QCOMPARE(QFileInfo::exists(out()), written >= 0);
        if (written >= 0 && output != "input")
            QCOMPARE(int(guitest::readRecordFile(output_).size()), written);
        if (written == 0) QCOMPARE(guitest::slurp(output_), std::string());
    }

    // After a run with failures: the counts, the first failures with their reasons in a list
    // ("还有 N 条" past the first hundred), where they are kept, and the log to open; never "恭喜".
    void aRunWithFailuresSaysWhatFailed() {
        const std::string path = file("damaged.iso");
        const std::string damaged = std::string("\0", 1) + "00026nam  2200025   4500\x1D";  // no directory
        std::vector<std::string> records = {guitest::workingRecord("r1", "书")};
        for (int i = 0; i < 103; ++i) records.push_back(damaged);
        records.push_back(guitest::workingRecord("r2", "书"));
        guitest::writeRecordFile(path, records);
        MainWindow f;
        prepare(f, path);
        click(f, "FirstReading");
        ModalScript script;
        QString summary;
        QStringList listed;
        bool canOpenLog = false;
        script.then([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("FormOutcome"));
            summary = modal->findChild<QLabel*>("LabelSummary")->text();
            auto* list = modal->findChild<QListWidget*>("ListFailures");
            for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
            canOpenLog = modal->findChild<QPushButton*>("CommandOpenLog") != nullptr;
            modal->findChild<QPushButton*>("CommandOk")->click();
        });
        start(f);
        QCOMPARE(script.surprises(), QStringList());
        // The figures the caption shows: records handled, then written and failed, and the output.
        QCOMPARE(f.windowTitle(), QStringLiteral("已处理:105条！"));
        QVERIFY2(summary.startsWith(
                     QStringLiteral(
                         "处理完毕，有记录失败。\n已处理 105 条记录：写入 2 条，失败 103 条。\n输出文件：") +
                     out()),
                 qPrintable(summary));
        QVERIFY_HOLDS(summary, out() + ".rejected");
        QVERIFY_HOLDS(summary, out() + ".rejected.txt");
        QVERIFY(!summary.contains(QStringLiteral("恭喜")));
        QCOMPARE(listed.size(), 101);
        QCOMPARE(listed.first(), QStringLiteral("第 2 条记录（输入第 2 行）：没有字段结束符：记录缺少目录"));
        QCOMPARE(listed.last(), QStringLiteral("还有 3 条"));
        for (const QString& line : listed)
            QVERIFY2(!testtext::holdsEnglishSentence(line.toStdString()), qPrintable(line));
        QVERIFY(canOpenLog);
        // The log, in the window's words: one line per failed record.
        const std::string log = guitest::slurp(output_ + ".rejected.txt");
        QCOMPARE(std::count(log.begin(), log.end(), '\n'), 103L);
        QVERIFY2(log.rfind("第 2 条记录，输入第 2 行，第 ", 0) == 0, log.c_str());
    }

    void phraseChoiceAndQuietManualModeReachTheLookup() {
        const std::string input = guitest::writeTitles(file("words.iso"), {"中国银行", "长城", "重庆银行"});
        MainWindow f;
        prepare(f, input);
        f.dataPath = MARCPY_SOURCE_DIR "/data/py.db";  // the shipped one, with the word list
        // The quieter manual mode: the words decide, nobody is asked.
        click(f, "ManualChoice");
        click(f, "AskOnlyWhenUnsure");
        QCOMPARE(guitest::answerOneBox([&] { start(f); }).surprises, QStringList());  // no chooser opened
        QCOMPARE(outputDiffers({"|Azhong guo yin hang", "|Achang cheng", "|Achong qing yin hang"}),
                 QString());

        // Without the check box, manual choice asks about every polyphonic character again.
        click(f, "AskOnlyWhenUnsure");
        // The reading the words call for is preselected; the readings stay in py.db's order.
        ModalScript script;
        QStringList asked;
        for (int i = 0; i < 4; ++i) {  // 行 of 银行, 长 of 长城, 重 and 行 of 重庆银行
            script.then([&asked](QWidget* modal) {
                auto* list = modal->findChild<QListWidget*>("Readings");
                QTRY_VERIFY(list->currentItem());
                asked << modal->findChild<QLabel*>("Character")->text() + list->currentItem()->text();
                modal->findChild<QPushButton*>("Choose")->click();
            });
        }
        QCOMPARE(finish(f, script).surprises, QStringList());
        QCOMPARE(asked, (QStringList{"行hang", "长chang", "重chong", "行hang"}));
    }

    void sameReadingForTheRestOfTheRunAsksOnce() {
        const std::string input = guitest::writeTitles(file("same.iso"), {"银行书行书行", "银行"});
        MainWindow f;
        prepare(f, input);
        ModalScript script;
        script.then([](QWidget* modal) {
            modal->findChild<QListWidget*>("Readings")->setCurrentRow(1);
            modal->findChild<QPushButton*>("SameInRun")->click();  // 本次都用此读音
        });
        // Three 行 in one title and one more after: asked once.
        QCOMPARE(finish(f, script).surprises, QStringList());
        QCOMPARE(outputDiffers({"|Ayin hang shu hang shu hang", "|Ayin hang"}), QString());
        // The next run asks again, at every 行.
        for (int i = 0; i < 4; ++i) script.then(ModalScript::answerBox(0));
        QCOMPARE(finish(f, script).surprises, QStringList());
    }

    // With the phrase data, "the same" is the same word: 行 in 银行 is not 行 in 行动.
    void sameReadingHoldsForTheSameWord() {
        const std::string input = guitest::writeTitles(file("words-same.iso"), {"银行", "行动", "银行"});
        MainWindow f;
        prepare(f, input);
        f.dataPath = MARCPY_SOURCE_DIR "/data/py.db";  // the shipped one, with the word list
        QStringList asked;
        const auto same = [&asked](QWidget* modal) {
            asked << modal->findChild<QTextEdit*>("Text")->toPlainText();
            modal->findChild<QPushButton*>("SameInRun")->click();  // 本次都用此读音
        };
        ModalScript script;
        script.then(same);
        script.then(same);
        QCOMPARE(finish(f, script).surprises, QStringList());
        QCOMPARE(asked,
                 (QStringList{QStringLiteral("银行"), QStringLiteral("行动")}));  // the third not asked
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(3));
    }

    // 停止处理 ends the run after the current record; the next start on the same pair offers to
    // go on from there (the default), with the settings the run began with.
    void aStoppedRunGoesOnWhereItStopped() {
        const std::string input = guitest::writeTitles(file("stop.iso"), {"银行", "行长", "长城"});
        MainWindow f;
        prepare(f, input);
        ModalScript script;
        script.then([](QWidget* modal) { modal->findChild<QPushButton*>("Choose")->click(); });
        script.then([](QWidget* modal) {  // record 2, 行: Hang, then stop; 长 is not asked
            modal->findChild<QListWidget*>("Readings")->setCurrentRow(1);
            modal->findChild<QPushButton*>("Stop")->click();
        });
        guitest::OneBox done = finish(f, script);
        QCOMPARE(done.surprises, QStringList());
        QVERIFY2(
            done.text.startsWith(QStringLiteral("已停止处理。\n已处理 2 条记录：写入 2 条，失败 0 条。")),
            qPrintable(done.text));
        QVERIFY_HOLDS(done.text, QStringLiteral("从第 3 条记录继续"));
        QCOMPARE(f.findChild<QLabel*>("Count")->text(), QStringLiteral("已处理 2 条"));
        // Whole records, the third not begun.
        QCOMPARE(outputDiffers({"|Ayin xing", "|Ahang chang"}), QString());

        // Another session, the controls changed meanwhile: the question, going on by default.
        MainWindow g;
        g.dataPath = db_;
        click(g, "FirstReading");
        click(g, "Capitalised");
        BoxSeen asked;
        QString defaultText;
        script.then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            asked.text = box->text();
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            box->defaultButton()->click();
        });
        script.then([](QWidget* modal) { modal->findChild<QPushButton*>("Choose")->click(); });  // 长 of 长城
        done = finish(g, script);
        QCOMPARE(done.surprises, QStringList());
        QVERIFY_HOLDS(asked.text, QStringLiteral("停在第 2 条记录之后"));
        QCOMPARE(defaultText, QStringLiteral("从第 3 条继续(&C)"));
        QVERIFY_HOLDS(
            done.text,
            QStringLiteral("已处理 1 条记录：写入 1 条，失败 0 条。\n开头已处理过的 2 条记录跳过未写。"));
        // Nothing twice; manual, lower case, as begun.
        QCOMPARE(outputDiffers({"", "", "|Achang cheng"}), QString());
        QVERIFY(g.findChild<QRadioButton*>("ManualChoice")->isChecked());

        // Finished, there is nothing to go on with: the next start runs from the first record
        // (and says the output already ends with what it writes).
        click(g, "FirstReading");
        done = finish(g, script);
        QCOMPARE(done.surprises, QStringList());
        QVERIFY_HOLDS(done.text, QStringLiteral("已处理 3 条记录"));
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(6));
    }

    // An input changed since the stop, or a run started again from the first record, is not
    // mistaken for one to go on with.
    void startingAgainFromTheFirstRecord() {
        MainWindow f;
        prepare(f);
        ModalScript script;
        script.then([](QWidget* modal) { modal->findChild<QPushButton*>("Stop")->click(); });
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        start(f);
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(1));
        // 从头开始: every record, the first again.
        script.then([](QWidget* modal) {
            auto* restart = modal->findChild<QPushButton*>("ButtonRestart");
            QVERIFY(restart);
            restart->click();
        });
        for (int i = 0; i < 2; ++i)
            script.then([](QWidget* modal) { modal->findChild<QPushButton*>("Choose")->click(); });
        const auto done = finish(f, script);
        QCOMPARE(done.surprises, QStringList());
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(4));
        // The output already ended with the first record the run wrote: it says so.
        QVERIFY_HOLDS(done.text, QStringLiteral("与输出文件原有的最后一条记录完全相同"));
        QCOMPARE(done.icon, int(QMessageBox::Warning));
    }

    // No listed field in any record: no pinyin anywhere, and the end message says so, with the
    // tags it looked for ("2OO" typed with the letter O).
    void aRunThatFindsNoListedFieldSaysSo() {
        MainWindow f;
        prepare(f);
        f.findChild<gui::TagBox*>("TagList")->setText("2OO");
        const auto done = guitest::answerOneBox([&] { start(f); });
        QCOMPARE(done.surprises, QStringList());
        QVERIFY2(!done.text.contains(QStringLiteral("恭喜")), qPrintable(done.text));
        QVERIFY2(done.text.startsWith(QStringLiteral("没有找到要加拼音的字段：3 条记录中都没有字段 2OO")),
                 qPrintable(done.text));
        QCOMPARE(done.icon, int(QMessageBox::Warning));
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(3));
    }

    void restAutomaticReadsAsThePhraseMode() {
        const std::string input = guitest::writeTitles(file("rest.iso"), {"中国银行", "长城", "重庆银行"});
        MainWindow f;
        prepare(f, input);
        f.dataPath = MARCPY_SOURCE_DIR "/data/py.db";
        ModalScript script;
        // The first question, 行 of 中国银行, answered with the preselected reading; nothing after.
        script.then([](QWidget* modal) { modal->findChild<QPushButton*>("AutoRest")->click(); });
        const auto done = finish(f, script);
        QCOMPARE(done.surprises, QStringList());
        QVERIFY(done.text.startsWith(kDone));
        QCOMPARE(outputDiffers({"|Azhong guo yin hang", "|Achang cheng", "|Achong qing yin hang"}),
                 QString());
    }

    void chineseFileAndFolderNames() {
        // Input, output, py.db and the word list in folders named as cataloguers name them.
        const QString folder = dir_.filePath(QStringLiteral("编目 数据/二〇二六"));
        QVERIFY(QDir().mkpath(folder));
        const auto inFolder = [&](const QString& name) {
            return QFile::encodeName(folder + "/" + name).toStdString();
        };
        QVERIFY(QFile::copy(QString::fromStdString(input_), folder + QStringLiteral("/输入.iso")));
        QVERIFY(QFile::copy(QString::fromStdString(db_), folder + QStringLiteral("/拼音库.db")));
        MainWindow f;
        prepare(f, inFolder(QStringLiteral("输入.iso")));
        f.dataPath = inFolder(QStringLiteral("拼音库.db"));
        f.wordsPath = inFolder(QStringLiteral("本馆词表.txt"));
        std::ofstream(f.wordsPath) << "银行\tyin hang\n长城\tchang cheng\n";
        f.findChild<QLineEdit*>("OutputPath")->setText(folder + QStringLiteral("/输出.iso"));
        const auto done = guitest::answerOneBox([&] { start(f); });
        QCOMPARE(done.surprises, QStringList());
        QVERIFY2(done.text.startsWith(kDone), qPrintable(done.text));
        QCOMPARE(guitest::recordsDiffer(inFolder(QStringLiteral("输出.iso")), {"|Ayin hang", "", ""}),
                 QString());
        QVERIFY(f.findChild<QLabel*>("WordsPath")->text().contains(QStringLiteral("本馆词表.txt")));
    }
    void theWordListIsReadAtEveryStart() {
        MainWindow f;
        QVERIFY(QString::fromStdString(f.wordsPath).endsWith(QStringLiteral("/words.txt")));
        QVERIFY(
            f.findChild<QWidget*>("ManualChoice")->toolTip().contains(QString::fromStdString(f.wordsPath)));
        // Under the polyphonic choice, in words: no file yet, and how one comes about.
        const QString shown = f.findChild<QLabel*>("WordsPath")->text();
        QVERIFY2(shown.contains(QStringLiteral("words.txt")) && !shown.contains(QStringLiteral("<a ")) &&
                     shown.contains(QStringLiteral("尚未建立")),
                 qPrintable(shown));
        prepare(f);
        f.wordsPath = file("words.txt");
        std::ofstream(f.wordsPath) << "# ours\n银行\tyin hang\n长城\tchang cheng\n";
        // Manual choice, and still nobody is asked: the listed words decide.
        const auto done = guitest::answerOneBox([&] { start(f); });
        QCOMPARE(done.surprises, QStringList());
        QVERIFY(done.text.startsWith(kDone));
        QCOMPARE(outputDiffers({"|a银行|Ayin hang", "|a长城|Achang cheng", ""}), QString());

        // A line that does not fit stops the next run before it starts.
        std::ofstream(f.wordsPath, std::ios::app) << "书\tshu ji\n";
        const std::string before = guitest::slurp(output_);
        const auto box = guitest::answerOneBox([&] { start(f); });
        QVERIFY_HOLDS(box.text, QStringLiteral("words.txt 第 4 行"));
        QCOMPARE(guitest::slurp(output_), before);
    }
    void aRememberedReadingIsNotAskedAgain() {
        MainWindow f;
        prepare(f);
        f.wordsPath = file("remembered/words.txt");  // a folder not made yet
        {
            ModalScript script;
            // 行 of 银行: the user marks 银行, ticks the box and takes Hang.
            script.then([&](QWidget* modal) {
                guitest::markText(modal, 0, 2);
                modal->findChild<QCheckBox*>("Remember")->setChecked(true);
                modal->findChild<QListWidget*>("Readings")->setCurrentRow(1);
                modal->findChild<QPushButton*>("Choose")->click();
            });
            script.then([&](QWidget* modal) { modal->findChild<QPushButton*>("Choose")->click(); });  // 长
            QCOMPARE(finish(f, script).surprises, QStringList());
        }
        QCOMPARE(guitest::slurp(f.wordsPath), std::string("银行\tyin hang\n"));
        // The window shows where the list now lies, as a link to the file.
        const auto* where = f.findChild<QLabel*>("WordsPath");
        QVERIFY_HOLDS(where->text(), QStringLiteral("remembered/words.txt</a>"));

        // The next run asks about 长 only.
        init();
        f.findChild<QLineEdit*>("OutputPath")->setText(out());
        ModalScript next;
        QString asked;
        next.then([&](QWidget* modal) {
            asked = modal->findChild<QLabel*>("Character")->text();
            modal->findChild<QPushButton*>("Choose")->click();
        });
        QCOMPARE(finish(f, next).surprises, QStringList());
        QCOMPARE(asked, QStringLiteral("长"));
        QCOMPARE(outputDiffers({"|a银行|Ayin hang", "", ""}), QString());
    }

    // A MARC-8 file is refused with advice a cataloguer can follow, and the box's lines never
    // break inside a Latin word or a tool's name.
    void marc8IsRefusedInWordsACataloguerFollows() {
        const std::string path = file("marc8.mrc");
        {
            std::ofstream f(path, std::ios::binary);
            f << guitest::slurp(MARCPY_SOURCE_DIR "/tests/data/real-world/marc8-uoft.mrc");
        }
        MainWindow f;
        prepare(f, path);
        ModalScript script;
        QString text;
        QStringList lines;
        script.then([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            QVERIFY(label);
            text = label->text();
            // The lines as the label lays them out at its width.
            QTextLayout layout(text, label->font());
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(label->width());
                lines << text.mid(line.textStart(), line.textLength());
            }
            layout.endLayout();
            box->button(QMessageBox::Ok)->click();
        });
        start(f);
        QCOMPARE(script.surprises(), QStringList());
        QVERIFY2(text.contains(QStringLiteral("MARC-8")) && text.contains(QStringLiteral("图书馆系统导出")) &&
                     text.contains(QStringLiteral("MarcEdit")),
                 qPrintable(text));
        for (int i = 0; i + 1 < lines.size(); ++i) {
            const QString end = lines[i].trimmed(), next = lines[i + 1];
            const auto latin = [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; };
            QVERIFY2(end.isEmpty() || next.isEmpty() || !(latin(end.back()) || end.back() == '-') ||
                         !latin(next.front()),
                     qPrintable(lines.join('|')));
        }
        QVERIFY(!QFileInfo::exists(out()));
    }

    // A word remembered at a question holds at once: in the same text, the rest of the word is
    // not asked about (音乐会: 乐 answered and 音乐会 remembered, 会 not asked).
    void aRememberedWordHoldsAtOnce() {
        const std::string db = file("concert.db");
        guitest::makePyDb(db, {{"音", "Yin"}, {"乐", "Le Yue"}, {"会", "Hui Kuai"}, {"书", "Shu"}});
        const std::string input = guitest::writeTitles(file("concert.iso"), {"音乐会书", "音乐会"});
        MainWindow f;
        prepare(f, input);
        f.dataPath = db;
        f.wordsPath = file("concert/words.txt");
        ModalScript script;
        QStringList asked;
        script.then([&](QWidget* modal) {
            asked << modal->findChild<QLabel*>("Character")->text();
            guitest::markText(modal, 0, 3);
            auto* remember = modal->findChild<QCheckBox*>("Remember");
            QVERIFY(remember->isEnabled());
            remember->setChecked(true);
            modal->findChild<QListWidget*>("Readings")->setCurrentRow(1);  // Yue
            modal->findChild<QPushButton*>("Choose")->click();
        });
        QCOMPARE(finish(f, script).surprises, QStringList());
        QCOMPARE(asked, QStringList{QStringLiteral("乐")});
        QCOMPARE(guitest::slurp(f.wordsPath), std::string("音乐会\tyin yue hui\n"));
        QCOMPARE(outputDiffers({"|Ayin yue hui shu", "|Ayin yue hui"}), QString());
    }

    // A word list that holds a single polyphonic character is still read, and the run says so
    // once, before it begins.
    void aLoneCharacterInTheWordListIsReadAndSaidOnce() {
        MainWindow f;
        prepare(f);
        f.wordsPath = file("lone.txt");
        std::ofstream(f.wordsPath) << "行\thang\n书\tshu\n长城\tchang cheng\n";
        ModalScript script;
        BoxSeen warned, done;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &warned));
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        start(f);
        QCOMPARE(script.surprises(), QStringList());  // one warning, no chooser: the list decides
        QCOMPARE(warned.icon, int(QMessageBox::Warning));
        QVERIFY2(warned.text.startsWith(QStringLiteral("本馆词表中有单个的多音字：行\n")),
                 qPrintable(warned.text));
        QVERIFY(done.text.startsWith(kDone));
        QCOMPARE(outputDiffers({"|Ayin hang", "", ""}), QString());
    }
};

QTEST_MAIN(TestRun)
#include "run_test.moc"
