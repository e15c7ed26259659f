// The chooser: readings listed, the preselection, the red character, and no way out but a choice.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include "application.h"
#include "form2.h"
#include "modalscript.h"

using gui::Form2;

class TestForm2 : public QObject {
    Q_OBJECT

private:
    static QListWidget* list(Form2& f) { return f.findChild<QListWidget*>("List1"); }
    static QStringList items(Form2& f) {
        QStringList out;
        for (int i = 0; i < list(f)->count(); ++i) out << list(f)->item(i)->text();
        return out;
    }
    // The positions (0-based) whose character is drawn in pure red.
    static QList<int> redPositions(Form2& f) {
        QTextEdit* edit = f.findChild<QTextEdit*>("RichTextBox1");
        QList<int> red;
        const int n = edit->document()->characterCount() - 1;  // without the closing separator
        for (int i = 0; i < n; ++i) {
            QTextCursor c(edit->document());
            c.setPosition(i + 1);  // the format of the character before the cursor
            if (c.charFormat().foreground().color() == QColor(255, 0, 0)) red << i;
        }
        return red;
    }
    static void showAndWait(Form2& f) {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
    }

private slots:
    void initTestCase() { gui::setUpApplication(*qobject_cast<QApplication*>(qApp)); }

    void loadsTheWindow() {
        Form2 f;
        f.AllHz = QStringLiteral("中国银行");
        f.DyStr = 4;
        f.hz = QStringLiteral("行");
        f.pystr = QStringLiteral("Xing  Hang   Heng");  // doubled spaces list no empty item
        f.load();
        showAndWait(f);
        QCOMPARE(f.windowTitle(), QStringLiteral("Form2"));
        QCOMPARE(items(f), (QStringList{"Xing", "Hang", "Heng"}));
        QCOMPARE(list(f)->currentRow(), 0);
        QCOMPARE(f.findChild<QTextEdit*>("RichTextBox1")->toPlainText(), f.AllHz);
        QVERIFY(f.findChild<QTextEdit*>("RichTextBox1")->isReadOnly());
        auto* label = f.findChild<QLabel*>("Label2");
        QCOMPARE(label->text(), QStringLiteral("行"));
        QCOMPARE(label->font().pointSizeF(), 15.75);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 64));
        QCOMPARE(f.palette().color(QPalette::Window), QColor(69, 238, 255));
        QCOMPARE(f.findChild<QPushButton*>("Command1")->text(), QStringLiteral("选择"));

        // The button at once hands back the first reading and closes the window.
        f.findChild<QPushButton*>("Command1")->click();
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Xing"));
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QVERIFY(!f.isVisible());
    }

    void preselectsTheSuggestion() {
        Form2 f;
        f.AllHz = QStringLiteral("重庆");
        f.DyStr = 1;
        f.hz = QStringLiteral("重");
        f.pystr = QStringLiteral("Zhong Chong");
        f.suggested = 1;
        f.load();
        showAndWait(f);
        QCOMPARE(items(f), (QStringList{"Zhong", "Chong"}));  // stored order kept
        QCOMPARE(list(f)->currentRow(), 1);
        QTest::keyClick(list(f), Qt::Key_Return);
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Chong"));
    }

    void doubleClickHandsBackThatReading() {
        Form2 f;
        f.AllHz = QStringLiteral("长城");
        f.DyStr = 1;
        f.hz = QStringLiteral("长");
        f.pystr = QStringLiteral("Chang Zhang");
        f.load();
        showAndWait(f);
        QListWidgetItem* second = list(f)->item(1);
        const QPoint at = list(f)->visualItemRect(second).center();
        QTest::mouseClick(list(f)->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list(f)->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Zhang"));
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
        f.AllHz = text;
        f.DyStr = dyStr;
        f.hz = QStringLiteral("行");
        f.pystr = QStringLiteral("Xing Hang");
        f.load();
        QCOMPARE(redPositions(f), red);
        // Loading again (the next question) starts from plain text.
        f.DyStr = 1;
        f.load();
        QCOMPARE(redPositions(f), QList<int>{0});
    }

    void noDismissalWithoutChoice() {
        Form2 f;
        f.AllHz = QStringLiteral("银行");
        f.DyStr = 2;
        f.hz = QStringLiteral("行");
        f.pystr = QStringLiteral("Xing Hang");
        f.load();
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        showAndWait(f);
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(f.isVisible());
        QVERIFY(!f.close());
        QVERIFY(f.isVisible());
        f.reject();
        QVERIFY(f.isVisible());
        QVERIFY(!f.choice());
        list(f)->setCurrentRow(1);
        f.findChild<QPushButton*>("Command1")->click();
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Hang"));
    }

    void chooserAsksModallyAndReportsTheAnswer() {
        std::string heard;
        gui::DialogChooser chooser([&heard](const std::string& r) { heard = r; });
        guitest::ModalScript script;
        QString shownText;
        QList<int> red;
        int selectedAtStart = -1;
        script.then([&](QWidget* modal) {
            auto* form = qobject_cast<Form2*>(modal);
            QVERIFY(form);
            shownText = form->findChild<QTextEdit*>("RichTextBox1")->toPlainText();
            red = redPositions(*form);
            selectedAtStart = list(*form)->currentRow();
            list(*form)->setCurrentRow(2);
            form->findChild<QPushButton*>("Command1")->click();
        });
        pinyin::ChooserRequest request;
        request.allHz = "银行行长";
        request.dyStr = 3;
        request.pystr = "Xing Hang Heng";
        request.hz = "行";
        const auto answer = chooser.choose(request);
        QVERIFY(!script.timedOut());
        QCOMPARE(script.stepsLeft(), std::size_t(0));
        QCOMPARE(shownText, QStringLiteral("银行行长"));
        QCOMPARE(red, QList<int>{2});
        QCOMPARE(selectedAtStart, 0);
        QCOMPARE(answer.value_or("none"), std::string("Heng"));
        QCOMPARE(heard, std::string("Heng"));
    }
};

QTEST_MAIN(TestForm2)
#include "form2_test.moc"
