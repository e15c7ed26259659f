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
#include "reading_chooser.h"
#include "support.h"

using gui::ReadingChooser;

class ReadingChooserTest : public QObject {
    Q_OBJECT

    static QListWidget* list(QWidget& f) { return f.findChild<QListWidget*>("Readings"); }
    /// Asks about 行 at `position` of `text`; the rest of the question comes from `q`.
    static void load(ReadingChooser& f, const QString& text, int position, const QString& readings,
                     int suggested = 0, ReadingChooser::Question q = {}) {
        q.text = text;
        q.position = position;
        q.character = QStringLiteral("行");
        q.readings = readings;
        q.suggested = suggested;
        f.load(q);
    }

private slots:
    void initTestCase() { gui::setUpApplication(*qobject_cast<QApplication*>(qApp)); }

    void listsReadingsAndHandsBackTheSelectedOne_data() {
        QTest::addColumn<QString>("readings");
        QTest::addColumn<int>("suggested");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("byKey");
        // Doubled spaces list no empty item; the first reading is selected unless one is suggested.
        QTest::newRow("first, by the button")
            << "Xing  Hang   Heng" << 0 << QStringList{"Xing", "Hang", "Heng"} << false;
        QTest::newRow("suggested, by Return") << "Zhong Chong" << 1 << QStringList{"Zhong", "Chong"} << true;
    }
    void listsReadingsAndHandsBackTheSelectedOne() {
        QFETCH(QString, readings);
        QFETCH(int, suggested);
        QFETCH(QStringList, items);
        QFETCH(bool, byKey);
        ReadingChooser f;
        load(f, QStringLiteral("中国银行"), 4, readings, suggested);
        QVERIFY(guitest::shown(f));
        QStringList shown;
        for (int i = 0; i < list(f)->count(); ++i) shown << list(f)->item(i)->text();
        QCOMPARE(shown, items);
        QCOMPARE(list(f)->currentRow(), suggested);
        QCOMPARE(f.findChild<QTextEdit*>("Text")->toPlainText(), f.question().text);
        QVERIFY(f.findChild<QTextEdit*>("Text")->isReadOnly());
        QCOMPARE(f.findChild<QLabel*>("Character")->text(), QStringLiteral("行"));
        QVERIFY(f.findChild<QLabel*>("Character")->font().pointSizeF() > f.font().pointSizeF());
        QCOMPARE(f.findChild<QPushButton*>("Choose")->text(), QStringLiteral("选择(&S)"));
        if (byKey) {
            QTest::keyClick(list(f), Qt::Key_Return);
        } else {
            f.findChild<QPushButton*>("Choose")->click();
        }
        QCOMPARE(f.choice().value_or("none"), items[suggested]);
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QVERIFY(!f.isVisible());
    }

    void redOnlyAtThePosition_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<QList<int>>("red");
        QTest::newRow("first") << QStringLiteral("行业银行") << 1 << QList<int>{0};
        QTest::newRow("last") << QStringLiteral("行业银行") << 4 << QList<int>{3};
        QTest::newRow("second of two") << QStringLiteral("银行行长") << 3 << QList<int>{2};
        QTest::newRow("first of two") << QStringLiteral("银行行长") << 2 << QList<int>{1};
        QTest::newRow("after latin") << QStringLiteral("ISBN 7-101 银行") << 13 << QList<int>{12};
        QTest::newRow("outside") << QStringLiteral("银行") << 3 << QList<int>{};
        QTest::newRow("zero") << QStringLiteral("银行") << 0 << QList<int>{};
    }
    void redOnlyAtThePosition() {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(QList<int>, red);
        ReadingChooser f;
        load(f, text, position, QStringLiteral("Xing Hang"));
        QCOMPARE(guitest::redPositions(&f), red);
        // Loading again (the next question) starts from plain text.
        load(f, text, 1, QStringLiteral("Xing Hang"));
        QCOMPARE(guitest::redPositions(&f), QList<int>{0});
    }

    void titleAndTheCharacterScrolledIntoView_data() {
        QTest::addColumn<int>("position");
        QTest::newRow("near the end") << 396;
        QTest::newRow("in the middle") << 200;
        QTest::newRow("at the start") << 2;
    }
    void titleAndTheCharacterScrolledIntoView() {
        QFETCH(int, position);
        ReadingChooser f;
        QString text;
        while (text.size() < 400) text += QStringLiteral("中国银行业发展报告和重庆长江大桥建设，");
        text.truncate(400);
        load(f, text, position, QStringLiteral("Xing Hang"));
        QVERIFY(guitest::shown(f));
        QCOMPARE(f.windowTitle(), QStringLiteral("选择多音字读音"));
        auto* edit = f.findChild<QTextEdit*>("Text");
        QVERIFY(edit->verticalScrollBar()->maximum() > 0);  // the text is longer than the box
        // The red character and its neighbours on either side lie inside the visible part.
        for (int at : {position - 2, position - 1, position}) {
            QTextCursor c(edit->document());
            c.setPosition(at);
            QVERIFY2(edit->viewport()->rect().contains(edit->cursorRect(c)), qPrintable(QString::number(at)));
        }
        QCOMPARE(guitest::redPositions(&f), QList<int>{position - 1});
        // A smaller window keeps it in view too, and every control inside.
        f.resize(1, 1);
        QTest::qWait(20);
        for (QWidget* w : f.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisible()) QVERIFY2(f.rect().contains(w->geometry()), qPrintable(w->objectName()));
        QTextCursor c(edit->document());
        c.setPosition(position - 1);
        QVERIFY(edit->viewport()->rect().contains(edit->cursorRect(c)));
    }

    void readingsInTheRunsLetterCaseAnsweredAsStored() {
        ReadingChooser f;
        ReadingChooser::Question q;
        q.lowerCase = true;
        q.where = QStringLiteral("第 3 条记录　200 字段　001：r3");
        load(f, QStringLiteral("银行"), 2, QStringLiteral("Xing Hang"), 1, q);
        QVERIFY(guitest::shown(f));
        QCOMPARE(list(f)->item(0)->text() + list(f)->item(1)->text(), QStringLiteral("xinghang"));
        QCOMPARE(f.findChild<QLabel*>("Where")->text(), q.where);
        QTest::keyClick(list(f), Qt::Key_Return);
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Hang"));
        QCOMPARE(f.then(), ReadingChooser::Then::Ask);
    }

    // The run-wide answers, through the chooser the lookup asks: a reading kept for the character,
    // the rest answered by the suggestion, a stop, and a new run that forgets them all.
    void runWideAnswers() {
        gui::DialogChooser chooser;
        chooser.beginRun();
        auto ask = [&](const char* character, const char* readings, int suggested = 0) {
            pinyin::ChooserRequest r;
            r.character = character;
            r.text = std::string("银") + character;
            r.position = 2;
            r.readings = readings;
            r.suggested = suggested;
            return chooser.choose(r).value_or("none");
        };
        auto press = [](const char* button, int row) {
            return [button, row](QWidget* modal) {
                modal->findChild<QListWidget*>("Readings")->setCurrentRow(row);
                modal->findChild<QPushButton*>(button)->click();
            };
        };
        guitest::ModalScript script;
        script.then(press("SameInRun", 1));  // 本次都用此读音: Hang for 行
        script.then(press("Choose", 0));     // 长 asked as usual
        script.then(press("AutoRest", 1));   // 其余自动, taking Cheng for 乘 now
        QCOMPARE(ask("行", "Xing Hang"), "Hang");
        QCOMPARE(ask("行", "Xing Hang"), "Hang");
        QCOMPARE(ask("长", "Chang Zhang"), "Chang");
        QCOMPARE(ask("乘", "Sheng Cheng"), "Cheng");
        QCOMPARE(ask("重", "Zhong Chong", 1), "Chong");  // the suggestion, unasked
        QCOMPARE(ask("行", "Xing Hang"), "Hang");        // the kept reading comes first
        QCOMPARE(chooser.asked(), 3);
        QVERIFY(!chooser.stopRequested());

        chooser.beginRun();
        script.then(press("Stop", 0));  // 停止处理: this answer, the rest of the record automatic
        QCOMPARE(ask("行", "Xing Hang"), "Xing");
        QVERIFY(chooser.stopRequested());
        QCOMPARE(ask("长", "Chang Zhang", 1), "Zhang");
        QCOMPARE(chooser.asked(), 1);
        QCOMPARE(script.surprises(), QStringList());
    }

    void noDismissalWithoutChoice() {
        ReadingChooser f;
        load(f, QStringLiteral("银行"), 2, QStringLiteral("Xing Hang"));
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(guitest::shown(f));
        QTest::keyClick(&f, Qt::Key_Escape);
        QVERIFY(f.isVisible());
        QVERIFY(!f.close());
        f.reject();
        QVERIFY(f.isVisible());
        QVERIFY(!f.choice());
        // The hint line says what is needed (选择's mnemonic is checked where the readings are listed).
        auto* hint = f.findChild<QLabel*>("Hint");
        QVERIFY(hint);
        QVERIFY_HOLDS(hint->text(), QStringLiteral("停止处理"));
        list(f)->setCurrentRow(1);
        f.findChild<QPushButton*>("Choose")->click();
        QCOMPARE(f.choice().value_or("none"), QStringLiteral("Hang"));
    }
    void theFoundWordStandsMarkedForRemembering() {
        ReadingChooser f;
        ReadingChooser::Question q;
        q.word = QStringLiteral("银行");
        q.wordAt = 3;
        load(f, QStringLiteral("中国银行业"), 4, QStringLiteral("Xing Hang"), 0, q);
        auto* box = f.findChild<QCheckBox*>("Remember");
        QCOMPARE(box->text(), QStringLiteral("记住此读音(&M)"));
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{3, 4}));
        box->setChecked(true);
        QVERIFY(f.remember());
        load(f, QStringLiteral("中国银行业"), 4, QStringLiteral("Xing Hang"));  // the next question, no word
        QVERIFY(!f.remember());
        QCOMPARE(f.marked(), (std::pair<int, int>{0, 0}));
    }

    // 记住 remembers a word of two characters or more: with only the asked character to go by it
    // is disabled and its tooltip says why; a marked word around the character enables it.
    void rememberNeedsAWordOfTwoCharacters() {
        ReadingChooser f;
        load(f, QStringLiteral("银行行长"), 3, QStringLiteral("Xing Hang"));
        auto* box = f.findChild<QCheckBox*>("Remember");
        QVERIFY(!box->isEnabled());
        QVERIFY_HOLDS(box->toolTip(), QStringLiteral("单个字不能记住"));
        const auto mark = [&f](int from, int to) { guitest::markText(&f, from, to); };
        mark(0, 2);  // 银行: not the character asked about
        QVERIFY(!box->isEnabled());
        mark(2, 4);  // 行长
        QVERIFY(box->isEnabled());
        QVERIFY_HOLDS(box->toolTip(), QStringLiteral("行长"));
        box->setChecked(true);
        mark(2, 3);  // the character alone
        QVERIFY(!box->isEnabled());
        QVERIFY(!f.remember());
        ReadingChooser::Question q;
        q.word = QStringLiteral("银行");  // the phrase data's word
        q.wordAt = 1;
        load(f, QStringLiteral("银行行长"), 2, QStringLiteral("Xing Hang"), 0, q);
        QVERIFY(box->isEnabled());
    }

    // Inside a marked word the asked character stays red, and the chooser says which one it is:
    // the two 行 of 银行行长 look alike otherwise.
    void theAskedCharacterShowsInsideAMarkedWord() {
        ReadingChooser f;
        ReadingChooser::Question q;
        q.word = QStringLiteral("行长");
        q.wordAt = 3;
        load(f, QStringLiteral("银行行长"), 3, QStringLiteral("Xing Hang"), 0, q);
        QVERIFY(guitest::shown(f));
        auto* text = f.findChild<QTextEdit*>("Text");
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
        auto* where = f.findChild<QLabel*>("Position");
        QVERIFY(where);
        QCOMPARE(where->text(), QStringLiteral("第 3 个字"));
    }
};

QTEST_MAIN(ReadingChooserTest)
#include "reading_chooser_test.moc"
