// The review table through the main window: gathered, driven by keyboard, written; or cancelled.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "application.h"
#include "main_window.h"
#include "review.h"
#include "support.h"

using gui::MainWindow;
using guitest::ModalScript;

class TestReview : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::string db_, input_;

    std::string file(const char* name) const { return dir_.filePath(name).toStdString(); }

    /// The window set to gather first, with a word list of `words` (in the test's folder).
    void prepare(MainWindow& f, const std::string& output, const char* words) {
        f.dataPath = db_;
        f.wordsPath = file(words);
        f.findChild<QLineEdit*>("InputPath")->setText(QString::fromStdString(input_));
        f.findChild<QLineEdit*>("OutputPath")->setText(QString::fromStdString(output));
        f.findChild<QAbstractButton*>("ManualChoice")->click();
        f.findChild<QCheckBox*>("ReviewFirst")->setChecked(true);
        f.show();
    }
    static void key(QTableWidget* table, Qt::Key k) { QTest::keyClick(table, k); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        gui::setUpApplication(*qobject_cast<QApplication*>(qApp));
        // The program's own py.db: the quieter manual mode reads its phrase data.
        db_ = MARCPY_SOURCE_DIR "/data/py.db";
        input_ = file("in.iso");
        // Given names after a surname: the surname is sure, the given name is not.
        const auto named = [](const std::string& id, const std::string& name) {
            std::string w = guitest::workingRecord(id, "书");
            return w.insert(w.size() - 2, "701  0 |a" + name + "\r\n");
        };
        guitest::writeRecordFile(input_, {named("r1", "王行"), named("r2", "刘长"), named("r3", "王行")});
    }
    void init() { guitest::freshSettings(); }

    void theTableIsDrivenByKeyboardAndWritten() {
        MainWindow f;
        const std::string output = file("out1.iso");
        prepare(f, output, "words.txt");
        ModalScript script;
        script.then([&](QWidget* modal) {
            auto* dialog = qobject_cast<gui::ReviewDialog*>(modal);
            auto* shown = qobject_cast<QMessageBox*>(modal);
            QVERIFY2(dialog, shown ? qPrintable(shown->text()) : modal->metaObject()->className());
            auto* table = dialog->findChild<QTableWidget*>("Table");
            auto* counter = dialog->findChild<QLabel*>("Counter");
            // 行 of 王行 twice, 长 of 刘长 once: most occurrences first, the first row looked at.
            QCOMPARE(table->rowCount(), 2);
            QCOMPARE(table->item(0, 0)->text(), QStringLiteral("王行"));
            QCOMPARE(table->item(0, 2)->text(), QStringLiteral("2"));
            QCOMPARE(table->item(1, 0)->text(), QStringLiteral("刘长"));
            QVERIFY(qobject_cast<QLabel*>(table->cellWidget(0, 0))
                        ->text()
                        .contains(QStringLiteral("<span style=\"color:red\">行</span>")));
            QCOMPARE(counter->text(), QStringLiteral("已看 1 行，还剩 1 行"));
            auto* places = dialog->findChild<QTableWidget*>("Places");
            QCOMPARE(places->rowCount(), 2);
            QCOMPARE(places->item(1, 0)->text(), QStringLiteral("3"));
            QCOMPARE(places->item(1, 1)->text(), QStringLiteral("701"));
            QCOMPARE(places->item(1, 2)->text(), QStringLiteral("r3"));
            auto* box = qobject_cast<QComboBox*>(table->cellWidget(0, 1));
            QCOMPARE(box->currentText(), QStringLiteral("1 xing"));  // the suggestion, in the run's case
            // 2 picks hang, Space ticks 记住, Enter goes on to the row not yet looked at.
            table->setFocus();
            key(table, Qt::Key_2);
            QCOMPARE(box->currentText(), QStringLiteral("2 hang"));
            key(table, Qt::Key_Space);
            QCOMPARE(table->item(0, 3)->checkState(), Qt::Checked);
            key(table, Qt::Key_Return);
            QCOMPARE(table->currentRow(), 1);
            QCOMPARE(counter->text(), QStringLiteral("已看 2 行，还剩 0 行"));
            QCOMPARE(places->item(0, 2)->text(), QStringLiteral("r2"));
            auto* second = qobject_cast<QComboBox*>(table->cellWidget(1, 1));
            QCOMPARE(second->currentText(), QStringLiteral("2 chang"));
            key(table, Qt::Key_1);
            QCOMPARE(second->currentText(), QStringLiteral("1 zhang"));
            key(table, Qt::Key_Up);
            QCOMPARE(table->currentRow(), 0);
            // Record 3's 王行 keeps xing: it leaves its group's answer.
            auto* own = qobject_cast<QComboBox*>(places->cellWidget(1, 4));
            QCOMPARE(own->currentText(), QStringLiteral("同组"));
            own->setCurrentIndex(1);
            // The filter narrows the rows by character or word.
            dialog->findChild<QLineEdit*>("Filter")->setText(QStringLiteral("长"));
            QVERIFY(table->isRowHidden(0));
            QVERIFY(!table->isRowHidden(1));
            dialog->findChild<QLineEdit*>("Filter")->clear();
            // Saved, it is the command line's review file.
            QVERIFY(dialog->saveTo(QString::fromStdString(file("review.tsv"))));
            dialog->findChild<QPushButton*>("ButtonWrite")->click();
        });
        guitest::BoxSeen done;
        script.then(ModalScript::answerBox(QMessageBox::Ok, &done));
        f.findChild<QAbstractButton*>("Start")->click();
        QCOMPARE(script.surprises(), QStringList());
        QVERIFY2(done.text.startsWith(QStringLiteral("恭喜，已处理完毕!")), qPrintable(done.text));
        QCOMPARE(
            guitest::recordsDiffer(output, {"|a王行|Awang hang", "|a刘长|Aliu zhang", "|a王行|Awang xing"}),
            QString());
        QCOMPARE(QString::fromStdString(guitest::slurp(file("words.txt"))),
                 QStringLiteral("王行\twang hang\n"));
        const QString review = QString::fromStdString(guitest::slurp(file("review.tsv")));
        QVERIFY_HOLDS(review, QStringLiteral("\n王行\t2\txing hang heng\thang\t2\tyes\t"));
        QVERIFY_HOLDS(review, QStringLiteral("\n王行\t2\txing hang heng\txing\t1\tno\t3:701:王行\t3.1\n"));
        QVERIFY_HOLDS(review, QStringLiteral("\n刘长\t2\tzhang chang\tzhang\t1\tno\t"));
    }

    void aSavedTableOpensAgain() {
        MainWindow f;
        const std::string output = file("out3.iso");
        prepare(f, output, "words3.txt");
        ModalScript script;
        script.then([&](QWidget* modal) {
            auto* dialog = qobject_cast<gui::ReviewDialog*>(modal);
            QVERIFY(dialog);
            auto* table = dialog->findChild<QTableWidget*>("Table");
            auto* box = qobject_cast<QComboBox*>(table->cellWidget(0, 1));
            table->setFocus();
            key(table, Qt::Key_2);
            key(table, Qt::Key_Space);
            const QString saved = QString::fromStdString(file("review3.tsv"));
            QVERIFY(dialog->saveTo(saved));
            // Changed after saving, then opened again: the table is as saved.
            key(table, Qt::Key_1);
            key(table, Qt::Key_Space);
            QCOMPARE(box->currentText(), QStringLiteral("1 xing"));
            QVERIFY(dialog->openFrom(saved));
            box = qobject_cast<QComboBox*>(table->cellWidget(0, 1));
            QCOMPARE(box->currentText(), QStringLiteral("2 hang"));
            QCOMPARE(table->item(0, 3)->checkState(), Qt::Checked);
            modal->findChild<QPushButton*>("ButtonCancel")->click();
        });
        f.findChild<QAbstractButton*>("Start")->click();
        QCOMPARE(script.surprises(), QStringList());
        QVERIFY(!QFile::exists(QString::fromStdString(output)));
    }

    void cancelLeavesTheOutputUntouched() {
        MainWindow f;
        const std::string output = file("out2.iso");
        prepare(f, output, "other-words.txt");
        ModalScript script;
        script.then([&](QWidget* modal) {
            QVERIFY(qobject_cast<gui::ReviewDialog*>(modal));
            modal->findChild<QPushButton*>("ButtonAll")->click();
            QCOMPARE(modal->findChild<QLabel*>("Counter")->text(), QStringLiteral("已看 2 行，还剩 0 行"));
            modal->findChild<QPushButton*>("ButtonCancel")->click();
        });
        f.findChild<QAbstractButton*>("Start")->click();
        QCOMPARE(script.surprises(), QStringList());
        QVERIFY(!QFile::exists(QString::fromStdString(output)));
        QVERIFY(f.findChild<QWidget*>("Start")->isEnabled());
    }
};

QTEST_MAIN(TestReview)
#include "review_test.moc"
