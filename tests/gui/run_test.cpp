// Whole runs through the main window: the chooser answered, the caption, the frames, the
// completion box, leaving during a run, and runs that cannot start.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <fstream>

#include "application.h"
#include "fixtures.h"
#include "form1.h"
#include "form2.h"
#include "modalscript.h"

using gui::Form1;
using guitest::BoxSeen;
using guitest::ModalScript;

namespace {

// Watches a window's caption changes and frames' enabled changes, in the order they happen.
class Recorder : public QObject {
public:
    QStringList titles;
    QStringList enabling;  // "Frame2 off", ...
    std::function<void(const QString&)> onTitle;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            const QString t = static_cast<QWidget*>(watched)->windowTitle();
            titles << t;
            if (onTitle) onTitle(t);
        } else if (event->type() == QEvent::EnabledChange) {
            enabling << watched->objectName() + (static_cast<QWidget*>(watched)->isEnabled() ? " on" : " off");
        }
        return false;
    }
};

bool isChooser(QWidget* modal) { return qobject_cast<gui::Form2*>(modal) != nullptr; }

}  // namespace

class TestRun : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string db_, input_, output_;

    QString out() const { return QString::fromStdString(output_); }

    // A window set for the three-record file, the run not yet started.
    void prepare(Form1& f, Recorder& rec) {
        f.datapath = db_;
        f.findChild<QLineEdit*>("Text2_0")->setText(QString::fromStdString(input_));
        f.findChild<QLineEdit*>("Text2_1")->setText(out());
        f.installEventFilter(&rec);
        for (const char* name : {"Frame1", "Frame2", "Frame3"}) f.findChild<QWidget*>(name)->installEventFilter(&rec);
        f.show();
    }
    static void start(Form1& f) { f.findChild<QPushButton*>("Command3_0")->click(); }
    static void automatic(Form1& f) { f.findChild<QRadioButton*>("Option1_1")->click(); }

private slots:
    void initTestCase() {
        gui::setUpApplication(*qobject_cast<QApplication*>(qApp));
        QVERIFY(dir_.isValid());
        db_ = dir_.filePath("py.db").toStdString();
        guitest::makePyDb(db_, {{"银", "Yin"}, {"行", "Xing Hang"}, {"长", "Chang Zhang"}, {"城", "Cheng"},
                                {"书", "Shu"}, {"编", "Bian"}, {"者", "Zhe"}});
        input_ = dir_.filePath("in.iso").toStdString();
        guitest::writeRecordFile(input_, {guitest::workingRecord("r1", "银行"), guitest::workingRecord("r2", "长城"),
                                          guitest::workingRecord("r3", "书")});
    }
    void init() {
        output_ = dir_.filePath(QStringLiteral("out%1.iso").arg(++runs_)).toStdString();
    }

    void wholeRunWithChooser() {
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        ModalScript script;
        QStringList firstItems;
        int firstSelected = -1;
        QString titleAtSecond;
        bool framesLockedAtSecond = false, othersFreeAtSecond = false;
        // Record 1, 行 of 银行: the list in stored order, the first preselected; a double-click takes 2nd.
        script.then([&](QWidget* modal) {
            QVERIFY(isChooser(modal));
            auto* list = modal->findChild<QListWidget*>("List1");
            QTRY_COMPARE(list->currentRow(), 0);
            firstSelected = list->currentRow();
            for (int i = 0; i < list->count(); ++i) firstItems << list->item(i)->text();
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        });
        // Record 2, 长 of 长城: the button takes the preselected first reading.
        script.then([&](QWidget* modal) {
            QVERIFY(isChooser(modal));
            titleAtSecond = f.windowTitle();
            framesLockedAtSecond = !f.findChild<QWidget*>("Frame1")->isEnabled() &&
                                   !f.findChild<QWidget*>("Frame2")->isEnabled() &&
                                   !f.findChild<QWidget*>("Frame3")->isEnabled();
            othersFreeAtSecond = f.findChild<QWidget*>("Frame4")->isEnabled() &&
                                 f.findChild<QWidget*>("Frame5")->isEnabled() &&
                                 f.findChild<QWidget*>("Option1_2")->isEnabled() &&
                                 f.findChild<QWidget*>("Command3_0")->isEnabled();
            modal->findChild<QPushButton*>("Command1")->click();
        });
        BoxSeen done;
        QString titleAtEnd;
        script.then([&](QWidget* modal) {
            titleAtEnd = f.windowTitle();
            ModalScript::answerBox(QMessageBox::Ok, &done)(modal);
        });
        start(f);

        QVERIFY(!script.timedOut());
        QCOMPARE(script.stepsLeft(), std::size_t(0));
        QCOMPARE(script.unexpected(), QStringList());
        QCOMPARE(firstItems, (QStringList{"Xing", "Hang"}));
        QCOMPARE(firstSelected, 0);
        QCOMPARE(titleAtSecond, QStringLiteral("已处理:1条！"));
        QVERIFY(framesLockedAtSecond);
        QVERIFY(othersFreeAtSecond);
        QCOMPARE(titleAtEnd, QStringLiteral("已处理:3条！"));
        QCOMPARE(done.title, QStringLiteral("温馨提示"));
        QCOMPARE(done.text, QStringLiteral("恭喜，已处理完毕!"));
        QCOMPARE(done.icon, int(QMessageBox::Information));
        QCOMPARE(done.buttons.size(), 1);
        QCOMPARE(rec.enabling, (QStringList{"Frame2 off", "Frame1 off", "Frame3 off", "Frame2 on", "Frame1 on", "Frame3 on"}));
        QCOMPARE(f.windowTitle(), QStringLiteral("已处理:3条！"));  // the count stays after the run
        QCOMPARE(f.selpy, std::string("Chang"));

        const auto records = guitest::readRecordFile(output_);
        QCOMPARE(records.size(), std::size_t(3));
        QVERIFY2(records[0].find("|a银行|Ayin hang") != std::string::npos, records[0].c_str());
        QVERIFY2(records[1].find("|a长城|Achang cheng") != std::string::npos, records[1].c_str());
        QVERIFY2(records[2].find("|a书|Ashu") != std::string::npos, records[2].c_str());
    }

    void captionCountsAndLiveSettingsApply() {
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        automatic(f);
        bool secondPressRefused = false;
        rec.onTitle = [&](const QString& t) {
            if (t != QStringLiteral("已处理:1条！")) return;
            // Between records: the letter case applies from the next lookup; the subfield code and
            // a second press of the start button do not touch the run under way.
            f.findChild<QRadioButton*>("Option3_0")->click();
            f.findChild<QRadioButton*>("Option4_1")->click();
            f.findChild<QPushButton*>("Command3_0")->click();
            secondPressRefused = f.settings().useCodeA;
        };
        ModalScript script;
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(script.unexpected(), QStringList());  // one completion box, no nested run
        QVERIFY(secondPressRefused);
        // The caption counts from the first record to the last, never backwards (it may skip
        // counts that follow each other faster than a screen could show them).
        QVERIFY(rec.titles.size() >= 2);
        QCOMPARE(rec.titles.constFirst(), QStringLiteral("已处理:1条！"));
        QCOMPARE(rec.titles.constLast(), QStringLiteral("已处理:3条！"));
        QVERIFY(std::is_sorted(rec.titles.begin(), rec.titles.end()));
        const auto records = guitest::readRecordFile(output_);
        QCOMPARE(records.size(), std::size_t(3));
        QVERIFY2(records[0].find("|Ayin xing") != std::string::npos, records[0].c_str());
        QVERIFY2(records[1].find("|AChang Cheng") != std::string::npos, records[1].c_str());
        // The next press captures the code again.
        QVERIFY(f.settings().useCodeA);
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        start(f);
        QVERIFY(!f.settings().useCodeA);
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(6));  // appended
        QVERIFY(guitest::readRecordFile(output_)[5].find("|9Shu") != std::string::npos);
    }

    void exitNoDuringRunLetsItFinish() {
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        automatic(f);
        int ended = 0;
        f.setEndProgram([&] { ++ended; });
        rec.onTitle = [&](const QString& t) {
            if (t == QStringLiteral("已处理:1条！")) QTimer::singleShot(0, &f, [&f] { f.close(); });
        };
        ModalScript script;
        BoxSeen question, done;
        script.then(ModalScript::answerBox(QMessageBox::No, &question));
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(question.text, QStringLiteral("确定退出MARC批加拼音工具吗？（Y/N）"));
        QCOMPARE(done.text, QStringLiteral("恭喜，已处理完毕!"));
        QCOMPARE(ended, 0);
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QStringLiteral("已处理:3条！"));
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(3));
    }

    void exitYesDuringRunEndsBetweenRecords() {
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        automatic(f);
        int ended = 0;
        f.setEndProgram([&] { ++ended; });
        rec.onTitle = [&](const QString& t) {
            if (t == QStringLiteral("已处理:1条！")) QTimer::singleShot(0, &f, [&f] { f.close(); });
        };
        ModalScript script;
        script.then(ModalScript::answerBox(QMessageBox::Yes));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(script.unexpected(), QStringList());  // no completion box
        QCOMPARE(ended, 1);
        QCOMPARE(rec.titles, QStringList{"已处理:1条！"});
        // The record done before the question is whole in the file; nothing after it.
        const auto records = guitest::readRecordFile(output_);
        QCOMPARE(records.size(), std::size_t(1));
        QVERIFY(records[0].find("|Ayin xing") != std::string::npos);
    }

    void failedRecordsAreCountedInTheBox() {
        const std::string input = dir_.filePath("mixed.iso").toStdString();
        guitest::writeRecordFile(input, {guitest::workingRecord("r1", "书"), std::string("\0", 1) + "00026nam  2200025   4500\x1D",
                                         guitest::workingRecord("r3", "长城")});
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        automatic(f);
        f.findChild<QLineEdit*>("Text2_0")->setText(QString::fromStdString(input));
        ModalScript script;
        BoxSeen done;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(f.windowTitle(), QStringLiteral("已处理:3条！"));  // failed records count too
        QCOMPARE(done.icon, int(QMessageBox::Information));
        QVERIFY2(done.text.startsWith(QStringLiteral("恭喜，已处理完毕!")), qPrintable(done.text));
        QVERIFY2(done.text.contains(QStringLiteral("其中 1 条记录无法处理")), qPrintable(done.text));
        QVERIFY2(done.text.contains(out() + ".rejected"), qPrintable(done.text));
        QCOMPARE(guitest::readRecordFile(output_).size(), std::size_t(2));
    }

    void runThatCannotStartWarnsAndDoesNotRun_data() {
        QTest::addColumn<bool>("brokenDb");
        QTest::newRow("broken py.db") << true;
        QTest::newRow("output is the input") << false;
    }
    void runThatCannotStartWarnsAndDoesNotRun() {
        QFETCH(bool, brokenDb);
        const std::string broken = dir_.filePath("broken.db").toStdString();
        std::ofstream(broken) << "this is not a database";
        const std::string inputCopy = dir_.filePath("same.iso").toStdString();
        guitest::writeRecordFile(inputCopy, {guitest::workingRecord("r1", "书")});
        const std::string before = guitest::slurp(inputCopy);
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        if (brokenDb) {
            f.datapath = broken;
        } else {
            f.findChild<QLineEdit*>("Text2_0")->setText(QString::fromStdString(inputCopy));
            output_ = inputCopy;
        }
        f.findChild<QLineEdit*>("Text2_1")->setText(out());
        ModalScript script;
        BoxSeen warning;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &warning));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(warning.icon, int(QMessageBox::Warning));
        QVERIFY(!warning.text.contains(QStringLiteral("恭喜")));
        QCOMPARE(rec.titles, QStringList());
        if (brokenDb) {
            QVERIFY(!QFileInfo::exists(out()));
        } else {
            QCOMPARE(guitest::slurp(inputCopy), before);
        }
        for (const char* frame : {"Frame1", "Frame2", "Frame3"}) QVERIFY(f.findChild<QWidget*>(frame)->isEnabled());
    }

    void phraseChoiceAndQuietManualModeReachTheLookup() {
        // The shipped py.db, which carries the word list.
        const std::string shipped = MARCPY_SOURCE_DIR "/data/py.db";
        const std::string input = dir_.filePath("words.iso").toStdString();
        guitest::writeRecordFile(input, {guitest::workingRecord("r1", "中国银行"), guitest::workingRecord("r2", "长城"),
                                         guitest::workingRecord("r3", "重庆银行")});
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        f.datapath = shipped;
        f.findChild<QLineEdit*>("Text2_0")->setText(QString::fromStdString(input));
        f.findChild<QRadioButton*>("Option1_2")->click();
        // After the first record, the quieter manual mode: the words decide, nobody is asked.
        rec.onTitle = [&f](const QString& t) {
            if (t != QStringLiteral("已处理:1条！")) return;
            f.findChild<QRadioButton*>("Option1_0")->click();
            f.findChild<QAbstractButton*>("Check1")->click();
        };
        ModalScript script;
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(script.unexpected(), QStringList());  // no chooser opened
        auto records = guitest::readRecordFile(output_);
        QCOMPARE(records.size(), std::size_t(3));
        QVERIFY2(records[0].find("|Azhong guo yin hang") != std::string::npos, records[0].c_str());
        QVERIFY2(records[1].find("|Achang cheng") != std::string::npos, records[1].c_str());
        QVERIFY2(records[2].find("|Achong qing yin hang") != std::string::npos, records[2].c_str());

        // Without the check box, manual choice asks about every polyphonic character again.
        rec.onTitle = nullptr;
        f.findChild<QAbstractButton*>("Check1")->click();
        QVERIFY(!f.settings().askOnlyWhenUnsure);
        QStringList asked;
        for (int i = 0; i < 4; ++i) {  // 行 of 银行, 长 of 长城, 重 and 行 of 重庆银行
            script.then([&asked](QWidget* modal) {
                QVERIFY(isChooser(modal));
                asked << modal->findChild<QLabel*>("Label2")->text();
                modal->findChild<QPushButton*>("Command1")->click();
            });
        }
        script.then(ModalScript::answerBox(QMessageBox::Ok));
        start(f);
        QVERIFY(!script.timedOut());
        QCOMPARE(asked, (QStringList{"行", "长", "重", "行"}));
        QCOMPARE(script.unexpected(), QStringList());
    }

    void emptyInputAndFailedWrites_data() {
        QTest::addColumn<QString>("input");   // contents of the input file
        QTest::addColumn<QString>("output");  // "" for a fresh file
        QTest::addColumn<bool>("success");
        QTest::newRow("empty input") << "" << "" << true;
        QTest::newRow("full disk") << "records" << "/dev/full" << false;
    }
    void emptyInputAndFailedWrites() {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(bool, success);
        const std::string path = dir_.filePath("plain.iso").toStdString();
        if (input == "records") {
            guitest::writeRecordFile(path, {guitest::workingRecord("r1", "书")});
        } else {
            std::ofstream(path, std::ios::binary) << input.toStdString();
        }
        if (!output.isEmpty()) output_ = output.toStdString();
        Form1 f;
        Recorder rec;
        prepare(f, rec);
        f.findChild<QLineEdit*>("Text2_0")->setText(QString::fromStdString(path));
        ModalScript script;
        BoxSeen box;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &box));
        start(f);
        QVERIFY(!script.timedOut());
        if (success) {
            QCOMPARE(box.text, QStringLiteral("恭喜，已处理完毕!"));
            QCOMPARE(f.windowTitle(), QStringLiteral("MARC批加拼音(Ostrel)"));  // no record, no count
            QVERIFY(QFileInfo::exists(out()));  // created, empty
            QCOMPARE(guitest::slurp(output_), std::string());
        } else {
            // A run that could not write is never announced as done.
            QCOMPARE(box.icon, int(QMessageBox::Warning));
            QVERIFY2(!box.text.contains(QStringLiteral("恭喜")), qPrintable(box.text));
        }
    }

    void publicSurfaceDelegatesToTheCore() {
        Form1 f;
        f.datapath = db_;
        automatic(f);
        QCOMPARE(f.Pinyin("银行ISBN"), std::string("yin xing ISBN"));
        QCOMPARE(f.selpy, std::string("Xing"));
        QCOMPARE(f.delZDA9("200 1  |a书|Ashu|9shu"), std::string("200 1  |a书"));
        const std::string annotated = f.py("200 1  |a书\r\n");
        QVERIFY2(annotated.find("|a书|Ashu") != std::string::npos, annotated.c_str());
        f.datapath = dir_.filePath("missing.db").toStdString();
        QVERIFY_THROWS_EXCEPTION(std::exception, f.Pinyin("书"));
    }

private:
    int runs_ = 0;
};

QTEST_MAIN(TestRun)
#include "run_test.moc"
