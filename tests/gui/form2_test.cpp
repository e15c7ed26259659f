// The chooser: readings listed, the preselection, the red character, and no way out but a choice.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
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
        QCOMPARE(f.findChild<QPushButton*>("Command1")->text(), QStringLiteral("选择(&S)"));
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

    void titleAndTheCharacterScrolledIntoView_data() {
        QTest::addColumn<int>("dyStr");
        QTest::newRow("near the end") << 396;
        QTest::newRow("in the middle") << 200;
        QTest::newRow("at the start") << 2;
    }
    void titleAndTheCharacterScrolledIntoView() {
        QFETCH(int, dyStr);
        Form2 f;
        QString text;
        while (text.size() < 400) text += QStringLiteral("中国银行业发展报告和重庆长江大桥建设，");
        text.truncate(400);
        load(f, text, dyStr, QStringLiteral("Xing Hang"));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.windowTitle(), QStringLiteral("选择多音字读音"));
        auto* edit = f.findChild<QTextEdit*>("RichTextBox1");
        QVERIFY(edit->verticalScrollBar()->maximum() > 0);  // the text is longer than the box
        // The red character and its neighbours on either side lie inside the visible part.
        for (int at : {dyStr - 2, dyStr - 1, dyStr}) {
            QTextCursor c(edit->document());
            c.setPosition(at);
            QVERIFY2(edit->viewport()->rect().contains(edit->cursorRect(c)), qPrintable(QString::number(at)));
        }
        QCOMPARE(guitest::redPositions(&f), QList<int>{dyStr - 1});
        // A smaller window keeps it in view too, and every control inside.
        f.resize(1, 1);
        QTest::qWait(20);
        for (QWidget* w : f.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisible()) QVERIFY2(f.rect().contains(w->geometry()), qPrintable(w->objectName()));
        QTextCursor c(edit->document());
        c.setPosition(dyStr - 1);
        QVERIFY(edit->viewport()->rect().contains(edit->cursorRect(c)));
    }

    void readingsInTheRunsLetterCaseAnsweredAsStored() {
        Form2 f;
        f.lowerCase = true;
        f.where = QStringLiteral("第 3 条记录　200 字段　001：r3");
        load(f, QStringLiteral("银行"), 2, QStringLiteral("Xing Hang"), 1);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(list(f)->item(0)->text() + list(f)->item(1)->text(), QStringLiteral("xinghang"));
        QCOMPARE(f.findChild<QLabel*>("Label3")->text(), f.where);
        QTest::keyClick(list(f), Qt::Key_Return);
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Hang"));
        QCOMPARE(f.then(), Form2::Then::Ask);
    }

    // The run-wide answers, through the chooser the lookup asks: a reading kept for the character,
    // the rest answered by the suggestion, a stop, and a new run that forgets them all.
    void runWideAnswers() {
        gui::DialogChooser chooser;
        chooser.beginRun();
        auto ask = [&](const char* hz, const char* pystr, int suggested = 0) {
            pinyin::ChooserRequest r;
            r.character = hz;
            r.text = std::string("银") + hz;
            r.position = 2;
            r.readings = pystr;
            r.suggested = suggested;
            return chooser.choose(r).value_or("none");
        };
        auto press = [](const char* button, int row) {
            return [button, row](QWidget* modal) {
                modal->findChild<QListWidget*>("List1")->setCurrentRow(row);
                modal->findChild<QPushButton*>(button)->click();
            };
        };
        guitest::ModalScript script;
        script.then(press("Command2", 1));  // 本次都用此读音: Hang for 行
        script.then(press("Command1", 0));  // 长 asked as usual
        script.then(press("Command3", 1));  // 其余自动, taking Cheng for 乘 now
        QCOMPARE(ask("行", "Xing Hang"), "Hang");
        QCOMPARE(ask("行", "Xing Hang"), "Hang");
        QCOMPARE(ask("长", "Chang Zhang"), "Chang");
        QCOMPARE(ask("乘", "Sheng Cheng"), "Cheng");
        QCOMPARE(ask("重", "Zhong Chong", 1), "Chong");  // the suggestion, unasked
        QCOMPARE(ask("行", "Xing Hang"), "Hang");         // the kept reading comes first
        QCOMPARE(chooser.asked(), 3);
        QVERIFY(!chooser.stopRequested());

        chooser.beginRun();
        script.then(press("Command4", 0));  // 停止处理: this answer, the rest of the record automatic
        QCOMPARE(ask("行", "Xing Hang"), "Xing");
        QVERIFY(chooser.stopRequested());
        QCOMPARE(ask("长", "Chang Zhang", 1), "Zhang");
        QCOMPARE(chooser.asked(), 1);
        QCOMPARE(script.unexpected(), QStringList());
        QCOMPARE(script.stepsLeft(), std::size_t(0));
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
        // The hint line says what is needed; 选择 has its mnemonic.
        auto* hint = f.findChild<QLabel*>("LabelHint");
        QVERIFY(hint);
        QVERIFY2(hint->text().contains(QStringLiteral("停止处理")), qPrintable(hint->text()));
        QCOMPARE(f.findChild<QPushButton*>("Command1")->text(), QStringLiteral("选择(&S)"));
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
        QCOMPARE(box->text(), QStringLiteral("记住此读音(&M)"));
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{3, 4}));
        box->setChecked(true);
        QVERIFY(f.remember());
        f.word.clear();
        load(f, QStringLiteral("中国银行业"), 4, QStringLiteral("Xing Hang"));  // the next question
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{0, 0}));
    }

    // 记住 remembers a word of two characters or more: with only the asked character to go by it
    // is disabled and its tooltip says why; a marked word around the character enables it.
    void rememberNeedsAWordOfTwoCharacters() {
        Form2 f;
        load(f, QStringLiteral("银行行长"), 3, QStringLiteral("Xing Hang"));
        auto* box = f.findChild<QCheckBox*>("Check1");
        QVERIFY(!box->isEnabled());
        QVERIFY2(box->toolTip().contains(QStringLiteral("单个字不能记住")), qPrintable(box->toolTip()));
        auto* text = f.findChild<QTextEdit*>("RichTextBox1");
        const auto mark = [text](int from, int to) {
            QTextCursor c(text->document());
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            text->setTextCursor(c);
        };
        mark(0, 2);  // 银行: not the character asked about
        QVERIFY(!box->isEnabled());
        mark(2, 4);  // 行长
        QVERIFY(box->isEnabled());
        QVERIFY2(box->toolTip().contains(QStringLiteral("行长")), qPrintable(box->toolTip()));
        box->setChecked(true);
        mark(2, 3);  // the character alone
        QVERIFY(!box->isEnabled());
        QVERIFY(!f.remember());
        f.word = QStringLiteral("银行");  // the phrase data's word
        f.wordAt = 1;
        load(f, QStringLiteral("银行行长"), 2, QStringLiteral("Xing Hang"));
        QVERIFY(box->isEnabled());
    }

    // Inside a marked word the asked character stays red, and the chooser says which one it is:
    // the two 行 of 银行行长 look alike otherwise.
    void theAskedCharacterShowsInsideAMarkedWord() {
        Form2 f;
        f.word = QStringLiteral("行长");
        f.wordAt = 3;
        load(f, QStringLiteral("银行行长"), 3, QStringLiteral("Xing Hang"));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* text = f.findChild<QTextEdit*>("RichTextBox1");
        QCOMPARE(f.marked(), (std::pair<int, int>{3, 4}));
        const QImage image = text->viewport()->grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        // Red pixels in the rectangle of the character at `at` (0-based).
        const auto redIn = [&](int at) {
            QTextCursor c(text->document());
            c.setPosition(at);
            const QRect left = text->cursorRect(c);
            c.setPosition(at + 1);
            const QRect right = text->cursorRect(c);
            int red = 0;
            for (int x = left.left(); x < right.left(); ++x)
                for (int y = left.top(); y <= left.bottom(); ++y) {
                    const QColor p = image.pixelColor(int(x * ratio), int(y * ratio));
                    if (p.red() > 200 && p.green() < 90 && p.blue() < 90) ++red;
                }
            return red;
        };
        QVERIFY2(redIn(2) > 3, qPrintable(QString::number(redIn(2))));
        QCOMPARE(redIn(1), 0);
        QCOMPARE(redIn(3), 0);
        auto* where = f.findChild<QLabel*>("Label4");
        QVERIFY(where);
        QCOMPARE(where->text(), QStringLiteral("第 3 个字"));
    }
};

QTEST_MAIN(TestForm2)
#include "form2_test.moc"
