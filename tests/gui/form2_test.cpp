// The chooser: readings listed, the preselection, the red character, and no way out but a choice.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "application.h"
#include "form2.h"
#include "support.h"

using gui::Form2;

class TestForm2 : public QObject {
    Q_OBJECT

    static QListWidget* list(QWidget& f) { return f.findChild<QListWidget*>("List1"); }
    static void load(Form2& f, const QString& text, int dyStr, const QString& pystr, int suggested = 0) {
        f.AllHz = text;
        f.DyStr = dyStr;
        f.hz = QStringLiteral("行");
        f.pystr = pystr;
        f.suggested = suggested;
        f.load();
    }

private slots:
    void initTestCase() { gui::setUpApplication(*qobject_cast<QApplication*>(qApp)); }

    void listsReadingsAndHandsBackTheSelectedOne_data() {
        QTest::addColumn<QString>("pystr");
        QTest::addColumn<int>("suggested");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("byKey");
        // Doubled spaces list no empty item; the first reading is selected unless one is suggested.
        QTest::newRow("first, by the button") << "Xing  Hang   Heng" << 0 << QStringList{"Xing", "Hang", "Heng"} << false;
        QTest::newRow("suggested, by Return") << "Zhong Chong" << 1 << QStringList{"Zhong", "Chong"} << true;
    }
    void listsReadingsAndHandsBackTheSelectedOne() {
        QFETCH(QString, pystr);
        QFETCH(int, suggested);
        QFETCH(QStringList, items);
        QFETCH(bool, byKey);
        Form2 f;
        load(f, QStringLiteral("中国银行"), 4, pystr, suggested);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QStringList shown;
        for (int i = 0; i < list(f)->count(); ++i) shown << list(f)->item(i)->text();
        QCOMPARE(shown, items);
        QCOMPARE(list(f)->currentRow(), suggested);
        QCOMPARE(f.findChild<QTextEdit*>("RichTextBox1")->toPlainText(), f.AllHz);
        QVERIFY(f.findChild<QTextEdit*>("RichTextBox1")->isReadOnly());
        QCOMPARE(f.findChild<QLabel*>("Label2")->text(), QStringLiteral("行"));
        QVERIFY(f.findChild<QLabel*>("Label2")->font().pointSizeF() > f.font().pointSizeF());
        QCOMPARE(f.findChild<QPushButton*>("Command1")->text(), QStringLiteral("选择"));
        if (byKey) {
            QTest::keyClick(list(f), Qt::Key_Return);
        } else {
            f.findChild<QPushButton*>("Command1")->click();
        }
        QCOMPARE(f.choice().value_or("none"), items[suggested]);
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QVERIFY(!f.isVisible());
    }

    void redOnlyAtDyStr_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("dyStr");
        QTest::addColumn<QList<int>>("red");
        QTest::newRow("first") << QStringLiteral("行业银行") << 1 << QList<int>{0};
        QTest::newRow("last") << QStringLiteral("行业银行") << 4 << QList<int>{3};
        QTest::newRow("second of two") << QStringLiteral("银行行长") << 3 << QList<int>{2};
        QTest::newRow("first of two") << QStringLiteral("银行行长") << 2 << QList<int>{1};
        QTest::newRow("after latin") << QStringLiteral("ISBN 7-101 银行") << 13 << QList<int>{12};
        QTest::newRow("outside") << QStringLiteral("银行") << 3 << QList<int>{};
        QTest::newRow("zero") << QStringLiteral("银行") << 0 << QList<int>{};
    }
    void redOnlyAtDyStr() {
        QFETCH(QString, text);
        QFETCH(int, dyStr);
        QFETCH(QList<int>, red);
        Form2 f;
        load(f, text, dyStr, QStringLiteral("Xing Hang"));
        QCOMPARE(guitest::redPositions(&f), red);
        // Loading again (the next question) starts from plain text.
        load(f, text, 1, QStringLiteral("Xing Hang"));
        QCOMPARE(guitest::redPositions(&f), QList<int>{0});
    }

    void noDismissalWithoutChoice() {
        Form2 f;
        load(f, QStringLiteral("银行"), 2, QStringLiteral("Xing Hang"));
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(f.isVisible());
        QVERIFY(!f.close());
        f.reject();
        QVERIFY(f.isVisible());
        QVERIFY(!f.choice());
        list(f)->setCurrentRow(1);
        f.findChild<QPushButton*>("Command1")->click();
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Hang"));
    }
    void theFoundWordStandsMarkedForRemembering() {
        Form2 f;
        f.word = QStringLiteral("银行");
        f.wordAt = 3;
        load(f, QStringLiteral("中国银行业"), 4, QStringLiteral("Xing Hang"));
        auto* box = f.findChild<QCheckBox*>("Check1");
        QCOMPARE(box->text(), QStringLiteral("记住此读音"));
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{3, 4}));
        box->setChecked(true);
        QVERIFY(f.remember());
        f.word.clear();
        load(f, QStringLiteral("中国银行业"), 4, QStringLiteral("Xing Hang"));  // the next question
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{0, 0}));
    }
};

QTEST_MAIN(TestForm2)
#include "form2_test.moc"
