// The main window at rest: start-up values, option groups, start conditions, the link, the file
// buttons and the exit question.
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QScopeGuard>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>

#include <fstream>

#include "application.h"
#include "filedialog.h"
#include "main_window.h"
#include "linklabel.h"
#include "tagbox.h"
#include "support.h"

using gui::MainWindow;
using gui::TagBox;

class MainWindowTest : public QObject {
    Q_OBJECT

public slots:
    void openUrl(const QUrl& url) { opened_ << url; }

private:
    QList<QUrl> opened_;
    template <typename T = QWidget>
    static T* get(MainWindow& f, const char* name) {
        T* w = f.findChild<T*>(name);
        if (!w) qFatal("no control %s", name);
        return w;
    }
    static bool checked(MainWindow& f, const char* name) {
        return get<QAbstractButton>(f, name)->isChecked();
    }
    // A caption without its keyboard mnemonic: "开始处理(&S)" reads "开始处理", "$&A" reads "$A".
    static QString plain(QString text) {
        return text.remove(QRegularExpression(QStringLiteral("\\(&.\\)$"))).remove(QLatin1Char('&'));
    }
    // Where `w` stands in the window's coordinates.
    static QRect placeIn(MainWindow& f, QWidget* w) { return QRect(w->mapTo(&f, QPoint(0, 0)), w->size()); }

private slots:
    void initTestCase() { gui::setUpApplication(*qobject_cast<QApplication*>(qApp)); }
    void init() { guitest::freshSettings(); }
    void cleanup() { gui::setFileDialogHook({}); }

    void startUpValues() {
        MainWindow f;
        QCOMPARE(f.windowTitle(), QStringLiteral("MARC批加拼音(Ostrel)"));
        const QList<std::pair<const char*, QString>> captions = {
            {"PathFrame", "MARC路径配置"}, {"TagFrame", "需要添加$A拼音字段的有哪些?"},
            {"ExistingFrame", "其他配置"}, {"SpellingFrame", "拼音方案"},
            {"CodeFrame", "拼音字段名"},
        };
        for (const auto& [name, caption] : captions) QCOMPARE(get<QGroupBox>(f, name)->title(), caption);
        const QList<std::pair<const char*, QString>> buttons = {
            {"ChooseInput", "选择MARC"},
            {"ChooseOutput", "保存MARC"},
            {"DeleteExisting", "删除已存在的拼音字段"},
            {"KeepExisting", "已存在则忽略不重新生成"},
            {"Capitalised", "汉字拼音首字母大写"},
            {"LowerCase", "汉字拼音统一小写字母"},
            {"CodeA", "$A"},
            {"Code9", "$9"},
            {"ManualChoice", "人工选择多音字"},
            {"FirstReading", "自动选择拼音(多音字)"},
            {"ByWords", "按词语自动选择(多音字)"},
            {"AskOnlyWhenUnsure", "仅在无法确定时询问"},
            {"Start", "开始处理"},
            {"Exit", "退出"},
        };
        for (const auto& [name, caption] : buttons)
            QCOMPARE(plain(get<QAbstractButton>(f, name)->text()), caption);
        // The first start chooses by the words around, asking nobody.
        for (const char* on : {"DeleteExisting", "LowerCase", "CodeA", "ByWords"})
            QVERIFY2(checked(f, on), on);
        for (const char* off :
             {"KeepExisting", "Capitalised", "Code9", "FirstReading", "ManualChoice", "AskOnlyWhenUnsure"})
            QVERIFY2(!checked(f, off), off);
        QVERIFY(get<QLineEdit>(f, "InputPath")->text().isEmpty() &&
                get<QLineEdit>(f, "OutputPath")->text().isEmpty());
        QCOMPARE(get<TagBox>(f, "TagList")->text(),
                 QStringLiteral("200,225,517,600,601,602,603,604,605,606,607,608,609,610,701,702,711,712"));
        QCOMPARE(get<gui::LinkLabel>(f, "RulesLink")->text(), QString::fromUtf8(gui::kLinkText));
        // The settings the run reads start where the window does.
        QCOMPARE(f.settings().polyphone, pinyin::Polyphone::Phrase);
        QCOMPARE(f.settings().letterCase, pinyin::LetterCase::Lower);
        QVERIFY(!f.settings().askOnlyWhenUnsure);
        QCOMPARE(plain(get<QAbstractButton>(f, "CheckSpacing")->text()),
                 QStringLiteral("数字、字母与拼音分开"));
        QVERIFY(!checked(f, "CheckSpacing"));
        QCOMPARE(f.settings().spacing, pinyin::Spacing::Glued);
        QVERIFY(f.dataPath.ends_with("/py.db"));
    }

    void optionGroupsAreExclusiveAndWriteTheSettings() {
        MainWindow f;
        QVERIFY(guitest::shown(f));
        const QList<QStringList> groups = {
            {"DeleteExisting", "KeepExisting"},
            {"Capitalised", "LowerCase"},
            {"CodeA", "Code9"},
            {"ManualChoice", "FirstReading", "ByWords"},
        };
        // Clicked at their middle, as a user may click anywhere on an option's area.
        for (const QStringList& g : groups) {
            for (const QString& pick : g) {
                QTest::mouseClick(get<QRadioButton>(f, qPrintable(pick)), Qt::LeftButton);
                for (const QString& other : g)
                    QVERIFY2(checked(f, qPrintable(other)) == (other == pick),
                             qPrintable(pick + " / " + other));
            }
        }
        // Groups do not reach into each other: the last picks of every group stand together.
        for (const char* on : {"KeepExisting", "LowerCase", "Code9", "ByWords"}) QVERIFY2(checked(f, on), on);
        QCOMPARE(f.settings().polyphone, pinyin::Polyphone::Phrase);
        QVERIFY(!get(f, "AskOnlyWhenUnsure")->isEnabled());  // only manual choice can ask less
        get<QRadioButton>(f, "FirstReading")->click();
        QCOMPARE(f.settings().polyphone, pinyin::Polyphone::Automatic);
        get<QRadioButton>(f, "ManualChoice")->click();
        QCOMPARE(f.settings().polyphone, pinyin::Polyphone::Manual);
        get<QAbstractButton>(f, "AskOnlyWhenUnsure")->click();
        QVERIFY(f.settings().askOnlyWhenUnsure);
        get<QRadioButton>(f, "Capitalised")->click();
        QCOMPARE(f.settings().letterCase, pinyin::LetterCase::Capitalised);
        QTest::mouseClick(get<QAbstractButton>(f, "CheckSpacing"), Qt::LeftButton);
        QCOMPARE(f.settings().spacing, pinyin::Spacing::Apart);
        QVERIFY(checked(f, "Capitalised"));  // a choice beside the letter case, not one of its pair
        // What the next run will use follows every control; the tag frame names the code chosen.
        QVERIFY(!f.settings().useCodeA && !f.settings().delExisting);
        QCOMPARE(get<QGroupBox>(f, "TagFrame")->title(), QStringLiteral("需要添加$9拼音字段的有哪些?"));
        get<QRadioButton>(f, "CodeA")->click();
        QCOMPARE(get<QGroupBox>(f, "TagFrame")->title(), QStringLiteral("需要添加$A拼音字段的有哪些?"));
        // Subfield a only, or every subfield that holds Chinese, whose code is its own capital.
        QVERIFY(checked(f, "SubfieldAOnly") && f.settings().subfields == pinyin::Subfields::A);
        QCOMPARE(plain(get<QAbstractButton>(f, "SubfieldAOnly")->text()), QStringLiteral("仅$a子字段"));
        QCOMPARE(plain(get<QAbstractButton>(f, "EveryChineseSubfield")->text()),
                 QStringLiteral("每个含汉字的子字段（$a→$A，$e→$E…）"));
        get<QRadioButton>(f, "EveryChineseSubfield")->click();
        QVERIFY(!checked(f, "SubfieldAOnly") && f.settings().subfields == pinyin::Subfields::Chinese);
        QVERIFY(!get(f, "CodeA")->isEnabled() && !get(f, "Code9")->isEnabled());
        QCOMPARE(get<QGroupBox>(f, "TagFrame")->title(),
                 QStringLiteral("需要为含汉字的子字段添加拼音（$a→$A，$e→$E…）的字段有哪些?"));
        QVERIFY(get<QAbstractButton>(f, "EveryChineseSubfield")
                    ->toolTip()
                    .contains(QStringLiteral("$Fcao xue qin zhu")));
        get<QRadioButton>(f, "SubfieldAOnly")->click();
        QVERIFY(get(f, "CodeA")->isEnabled() && get(f, "Code9")->isEnabled());
    }

    // A start without a usable input or output says what is missing and puts the focus on the
    // box to mend; nothing is created.
    void startWithoutUsablePathsSaysWhatIsMissing_data() {
        QTest::addColumn<QString>("input");  // relative to a fresh folder; "" for none
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("box");  // the box that gets the focus
        QTest::addColumn<QString>("says");
        guitest::row("no output path", "in.iso", "", "OutputPath", "还没有选择保存处理结果的文件");
        guitest::row("missing input", "none.iso", "out.iso", "InputPath", "找不到待处理的文件");
        guitest::row("no input path", "", "out.iso", "InputPath", "还没有选择待处理的MARC文件");
        guitest::row("hidden input", ".in.iso", "out.iso", "InputPath", "不是普通的可见文件");
        guitest::row("input is a folder", "folder", "out.iso", "InputPath", "是文件夹");
    }
    void startWithoutUsablePathsSaysWhatIsMissing() {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, box);
        QFETCH(QString, says);
        QTemporaryDir dir;
        std::ofstream(dir.filePath("in.iso").toStdString()) << "x";
        std::ofstream(dir.filePath(".in.iso").toStdString()) << "x";
        QDir(dir.path()).mkdir("folder");
        MainWindow f;
        QVERIFY(guitest::shown(f));
        get<QLineEdit>(f, "InputPath")->setText(input.isEmpty() ? QString() : dir.filePath(input));
        get<QLineEdit>(f, "OutputPath")->setText(output.isEmpty() ? QString() : dir.filePath(output));
        const auto seen = guitest::answerOneBox(
            [&] { QTest::mouseClick(get<QPushButton>(f, "Start"), Qt::LeftButton); }, QMessageBox::Ok, 5000);
        QCOMPARE(seen.surprises, QStringList());
        QVERIFY_HOLDS(seen.text, says);
        QVERIFY(seen.title == QStringLiteral("提示") || seen.title == QStringLiteral("错误"));
        QTRY_COMPARE(f.focusWidget(), get(f, qPrintable(box)));
        QCOMPARE(f.windowTitle(), QStringLiteral("MARC批加拼音(Ostrel)"));
        QVERIFY(!QFileInfo::exists(dir.filePath("out.iso")));
        for (const char* frame : {"TagFrame", "PathFrame", "ExistingFrame"})
            QVERIFY(get(f, frame)->isEnabled());
    }

    // A tag list with a tag that is not three letters or digits is refused in its box.
    void aTagThatIsNotThreeCharactersIsRefused_data() {
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QString>("wrong");
        guitest::row("two digits", "200,20,701", "20");
        guitest::row("four digits", "2000", "2000");
        guitest::row("a sign", "200,7#1", "7#1");
        guitest::row("nothing", " , ", "");
    }
    void aTagThatIsNotThreeCharactersIsRefused() {
        QFETCH(QString, tags);
        QFETCH(QString, wrong);
        QTemporaryDir dir;
        std::ofstream(dir.filePath("in.iso").toStdString()) << "x";
        MainWindow f;
        QVERIFY(guitest::shown(f));
        get<QLineEdit>(f, "InputPath")->setText(dir.filePath("in.iso"));
        get<QLineEdit>(f, "OutputPath")->setText(dir.filePath("out.iso"));
        get<TagBox>(f, "TagList")->setText(tags);
        const auto seen =
            guitest::answerOneBox([&] { get<QPushButton>(f, "Start")->click(); }, QMessageBox::Ok, 5000);
        QCOMPARE(seen.surprises, QStringList());
        QCOMPARE(seen.title, QStringLiteral("错误"));
        QVERIFY_HOLDS(seen.text, wrong.isEmpty() ? QStringLiteral("没有填写") : "“" + wrong + "”");
        QVERIFY(seen.text.contains(QStringLiteral("200,225,517")));  // and how it should read
        QTRY_COMPARE(f.focusWidget(), get(f, "TagList"));
        QCOMPARE(get<TagBox>(f, "TagList")->selectedText(), wrong);
        QVERIFY(!QFileInfo::exists(dir.filePath("out.iso")));
    }

    void linkTurnsBlueUnderThePointerAndOpens() {
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        MainWindow f;
        QVERIFY(guitest::shown(f));
        auto* link = get<gui::LinkLabel>(f, "RulesLink");
        QCOMPARE(link->colour(), QColor(Qt::black));
        // Moves without a button go through QApplication's routing, as the user's pointer does.
        auto moveOver = [](QWidget* w, QPoint at) {
            QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(w, &move);
        };
        moveOver(link, link->rect().center());
        QTRY_COMPARE(link->colour(), QColor(0, 0, 255));
        moveOver(&f, QPoint(2, f.height() - 2));  // the bare window
        QTRY_COMPARE(link->colour(), QColor(Qt::black));
        QTest::mouseClick(link, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(opened_, QList<QUrl>{link->url()});
    }

    // Where the desktop has no program to open an address (the offscreen platform has none), a
    // box shows it to copy rather than nothing happening.
    void aLinkTheDesktopCannotOpenShowsItsAddress() {
        MainWindow f;
        QVERIFY(guitest::shown(f));
        const auto seen = guitest::answerOneBox(
            [&] { QTest::mouseClick(get<gui::LinkLabel>(f, "RulesLink"), Qt::LeftButton); }, QMessageBox::Ok,
            5000);
        QCOMPARE(seen.surprises, QStringList());
        QVERIFY_HOLDS(seen.text, QString::fromUtf8(gui::kLinkAddress));
        QVERIFY_HOLDS(seen.text, QStringLiteral("请复制"));
    }

    void fileButtonsFillAndCancelKeeps() {
        MainWindow f;
        QFileDialog::AcceptMode mode{};
        QString title;
        bool confirmsOverwrite = true;
        std::optional<QString> answer = QStringLiteral("/data/records.iso");
        gui::setFileDialogHook([&](QFileDialog& d) {
            mode = d.acceptMode();
            title = d.windowTitle();
            confirmsOverwrite = !d.testOption(QFileDialog::DontConfirmOverwrite);
            return answer;
        });
        get<QPushButton>(f, "ChooseInput")->click();
        QCOMPARE(get<QLineEdit>(f, "InputPath")->text(), QStringLiteral("/data/records.iso"));
        QCOMPARE(mode, QFileDialog::AcceptOpen);
        QCOMPARE(title, QStringLiteral("选择待处理的MARC文件"));

        answer = QStringLiteral("/data/out.iso");
        get<QPushButton>(f, "ChooseOutput")->click();
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), QStringLiteral("/data/out.iso"));
        QCOMPARE(mode, QFileDialog::AcceptSave);
        QCOMPARE(title, QStringLiteral("保存处理后的MARC文件"));
        QVERIFY(!confirmsOverwrite);

        answer.reset();  // cancel: each box keeps the path it held
        get<QPushButton>(f, "ChooseInput")->click();
        get<QPushButton>(f, "ChooseOutput")->click();
        QCOMPARE(get<QLineEdit>(f, "InputPath")->text(), QStringLiteral("/data/records.iso"));
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), QStringLiteral("/data/out.iso"));
    }

    void realDialogShowsLowerCaseIsoAndTakesExistingFile() {
        QTemporaryDir dir;
        for (const char* name :
             {"records.iso", "OLD.ISO", "a.MRC", "b.marc", "c.Dat", "notes.txt", "photo.jpg"})
            std::ofstream(dir.filePath(name).toStdString()) << "x";
        QDir(dir.path()).mkdir("sub");
        const QString oldCurrent = QDir::currentPath();
        QDir::setCurrent(dir.path());
        auto restore = qScopeGuard([&] { QDir::setCurrent(oldCurrent); });
        MainWindow f;
        guitest::ModalScript script;
        QStringList listed, filterNames;
        QString folderType, lookIn;
        script.then([&](QWidget* modal) {
            auto* d = qobject_cast<QFileDialog*>(modal);
            QVERIFY(d);
            auto* model = d->findChild<QFileSystemModel*>();
            d->setDirectory(dir.path());
            const QModelIndex folder = model->index(dir.path());
            QTRY_VERIFY(model->rowCount(folder) > 0);
            QTest::qWait(100);
            for (int i = 0; i < model->rowCount(folder); ++i) {
                const QModelIndex item = model->index(i, 0, folder);
                if (model->flags(item) & Qt::ItemIsEnabled) listed << model->fileName(item);
            }
            // Qt's own texts in Chinese too.
            folderType = model->type(model->index(dir.filePath("sub")));
            lookIn = d->findChild<QLabel*>("lookInLabel")->text();
            auto* combo = d->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < combo->count(); ++i) filterNames << combo->itemText(i);
            // The user types the name of an existing file and accepts.
            d->findChild<QLineEdit*>("fileNameEdit")->setText("OLD.ISO");
            static_cast<QDialog*>(d)->accept();
        });
        // No overwrite question: a box says the file will be appended to.
        guitest::BoxSeen appended;
        script.then(guitest::ModalScript::answerBox(QMessageBox::Ok, &appended));
        get<QPushButton>(f, "ChooseOutput")->click();
        listed.sort();
        QCOMPARE(script.surprises(), QStringList());
        QCOMPARE(listed, (QStringList{"OLD.ISO", "a.MRC", "b.marc", "c.Dat", "records.iso", "sub"}));
        QCOMPARE(folderType, QStringLiteral("文件夹"));
        QVERIFY2(!lookIn.contains(QStringLiteral("Look")), qPrintable(lookIn));
        QCOMPARE(filterNames,
                 (QStringList{QStringLiteral("MARC 文件 (*.iso *.mrc *.marc *.dat)"),
                              QStringLiteral("文本文件 (*.txt)"), QStringLiteral("所有文件 (*)")}));
        QVERIFY_HOLDS(appended.text, QStringLiteral("追加"));
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), dir.filePath("OLD.ISO"));
        QCOMPARE(guitest::slurp(dir.filePath("OLD.ISO").toStdString()), std::string("x"));
    }

    void saveAddsTheExtensionAndWarnsOfAppending_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("told");  // a box says the file exists and will be appended to
        guitest::row("no extension", "new", "new.iso", false);
        guitest::row("other extension kept", "list.txt", "list.txt", false);
        guitest::row("existing, by its bare name", "old", "old.iso", true);
    }
    void saveAddsTheExtensionAndWarnsOfAppending() {
        QFETCH(QString, answer);
        QFETCH(QString, box);
        QFETCH(bool, told);
        QTemporaryDir dir;
        std::ofstream(dir.filePath("old.iso").toStdString()) << "old records";
        QString openedIn;
        gui::setFileDialogHook([&](QFileDialog& d) {
            openedIn = d.directory().absolutePath();
            return std::optional<QString>(dir.filePath(answer));
        });
        MainWindow f;
        guitest::ModalScript script(5000);
        guitest::BoxSeen seen;
        if (told) script.then(guitest::ModalScript::answerBox(QMessageBox::Ok, &seen));
        get<QPushButton>(f, "ChooseOutput")->click();
        QCOMPARE(script.surprises(), QStringList());
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), dir.filePath(box));
        if (told) QVERIFY_HOLDS(seen.text, QStringLiteral("追加"));
        QCOMPARE(guitest::slurp(dir.filePath("old.iso").toStdString()), std::string("old records"));
        // The open dialog takes a name as it is; a box's dialog opens in the folder of its path.
        get<QPushButton>(f, "ChooseInput")->click();
        QCOMPARE(get<QLineEdit>(f, "InputPath")->text(), dir.filePath(answer));
        QTemporaryDir other;
        get<QLineEdit>(f, "OutputPath")->setText(other.filePath("x.iso"));
        get<QPushButton>(f, "ChooseOutput")->click();
        QCOMPARE(openedIn, QDir(other.path()).absolutePath());
    }

    void settingsSurviveARestart() {
        const auto clicked = {"KeepExisting",      "Capitalised",          "Code9",       "ManualChoice",
                              "AskOnlyWhenUnsure", "EveryChineseSubfield", "CheckSpacing"};
        {
            MainWindow f;
            get<QLineEdit>(f, "InputPath")->setText("/data/in.iso");
            get<QLineEdit>(f, "OutputPath")->setText("/data/out.iso");
            get<TagBox>(f, "TagList")->setText("200,701");
            for (const char* name : clicked) get<QAbstractButton>(f, name)->click();
            f.resize(f.width() + 40, f.height() + 30);
        }
        MainWindow g;
        QCOMPARE(get<QLineEdit>(g, "InputPath")->text(), QStringLiteral("/data/in.iso"));
        QCOMPARE(get<QLineEdit>(g, "OutputPath")->text(), QStringLiteral("/data/out.iso"));
        QCOMPARE(get<TagBox>(g, "TagList")->text(), QStringLiteral("200,701"));
        for (const char* on : clicked) QVERIFY2(checked(g, on), on);
        QCOMPARE(g.settings().subfields, pinyin::Subfields::Chinese);
        QVERIFY(!get(g, "CodeA")->isEnabled());
        // The run settings follow the restored buttons.
        QCOMPARE(g.settings().letterCase, pinyin::LetterCase::Capitalised);
        QCOMPARE(g.settings().spacing, pinyin::Spacing::Apart);
        QVERIFY(g.settings().askOnlyWhenUnsure);
        get<QRadioButton>(g, "ByWords")->click();
        const QSize size = g.size();
        g.saveSettings();
        MainWindow h;
        QVERIFY(checked(h, "ByWords"));
        QCOMPARE(h.settings().polyphone, pinyin::Polyphone::Phrase);
        QVERIFY(!get(h, "AskOnlyWhenUnsure")->isEnabled());
        QCOMPARE(h.size(), size);
    }

    void dropFillsThePathBoxes_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("on");  // the control dropped on
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        using Files = QStringList;
        guitest::row("one file on the window", Files{"/data/a.iso"}, "ExistingFrame", "/data/a.iso",
                     "/data/a-pinyin.iso");
        guitest::row("two files", Files{"/data/a.iso", "/data/b.iso"}, "InputPath", "/data/a.iso",
                     "/data/b.iso");
        guitest::row("one file on the output box", Files{"/data/b.iso"}, "OutputPath", "", "/data/b.iso");
        guitest::row("two files on the output box", Files{"/data/b.iso", "/data/c.iso"}, "OutputPath", "",
                     "/data/b.iso");
        guitest::row("a web address", Files{"https://example.org/a.iso"}, "ExistingFrame", "", "");
    }
    void dropFillsThePathBoxes() {
        QFETCH(QStringList, files);
        QFETCH(QString, on);
        QFETCH(QString, input);
        QFETCH(QString, output);
        MainWindow f;
        QVERIFY(guitest::shown(f));
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << (file.startsWith('/') ? QUrl::fromLocalFile(file) : QUrl(file));
        data.setUrls(urls);
        QWidget* target = get(f, qPrintable(on));
        const QPointF at = target->mapTo(&f, target->rect().center());
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        QCOMPARE(enter.isAccepted(), !input.isEmpty() || !output.isEmpty());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &drop);
        QCOMPARE(get<QLineEdit>(f, "InputPath")->text(), input);
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), output);
    }

    // A file manager's drop carries the address twice, as a URL and as text: on a path box it
    // replaces the path with the local file's, never lands as text inside it; a drop that is not
    // a local file is refused and leaves the box as it was.
    void dropOnAPathBoxReplacesItsPath_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("after");
        guitest::row("a file on the output box", "file:///data/out.iso", "OutputPath", "/data/out.iso");
        guitest::row("a file on the input box", "file:///data/in2.iso", "InputPath", "/data/in2.iso");
        guitest::row("a web address", "https://example.org/a.iso", "OutputPath",
                     "/data/cnmarc-university.utf8.iso");
        guitest::row("text only", "", "OutputPath", "/data/cnmarc-university.utf8.iso");
    }
    void dropOnAPathBoxReplacesItsPath() {
        QFETCH(QString, url);
        QFETCH(QString, box);
        QFETCH(QString, after);
        MainWindow f;
        QVERIFY(guitest::shown(f));
        auto* edit = get<QLineEdit>(f, qPrintable(box));
        edit->setText("/data/cnmarc-university.utf8.iso");
        QMimeData data;
        if (!url.isEmpty()) data.setUrls({QUrl(url)});
        data.setText(url.isEmpty() ? QStringLiteral("some words") : url);
        // Delivered where the pointer is, as Qt delivers a real drop.
        const QPoint at(edit->width() / 2, edit->height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
        if (enter.isAccepted()) {
            QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(edit, &move);
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(edit, &drop);
        }
        QCOMPARE(edit->text(), after);
    }

    // With an input from the command line (or a drop) and no output, an output remembered from an
    // earlier session is not reused: NAME-pinyin.iso beside the input, and a note when it exists.
    void anInputAloneGetsAnOutputOfItsOwn() {
        QTemporaryDir dir;
        const QString input = dir.filePath("books.iso");
        std::ofstream(input.toStdString()) << "x";
        {
            MainWindow earlier;
            get<QLineEdit>(earlier, "OutputPath")->setText("/data/yesterday.iso");
        }
        MainWindow f;
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), QStringLiteral("/data/yesterday.iso"));
        f.setPaths(input);
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), dir.filePath("books-pinyin.iso"));
        QVERIFY(get<QLabel>(f, "OutputNote")->isVisibleTo(&f));
        QVERIFY(!get<QLabel>(f, "OutputNote")->text().contains(QStringLiteral("已存在")));
        // An output given with it is taken as given.
        f.setPaths(input, dir.filePath("mine.iso"));
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), dir.filePath("mine.iso"));
        QVERIFY(!get<QLabel>(f, "OutputNote")->isVisibleTo(&f));
        // An output chosen in this session stays when another input comes.
        f.setPaths(dir.filePath("other.iso"));
        QCOMPARE(get<QLineEdit>(f, "OutputPath")->text(), dir.filePath("mine.iso"));

        std::ofstream(dir.filePath("books-pinyin.iso").toStdString()) << "x";
        MainWindow g;  // a new session: the output it finds is an earlier one
        g.setPaths(input);
        QCOMPARE(get<QLineEdit>(g, "OutputPath")->text(), dir.filePath("books-pinyin.iso"));
        QVERIFY2(get<QLabel>(g, "OutputNote")->text().contains(QStringLiteral("已存在")),
                 qPrintable(get<QLabel>(g, "OutputNote")->text()));
    }

    void layoutFitsGrowsAndReadsInOrder() {
        MainWindow f;
        QVERIFY(guitest::shown(f));
        QVERIFY(f.minimumSize() != f.maximumSize());  // the window can be resized
        auto* tags = get<TagBox>(f, "TagList");
        // At the size it opens with, the tag box shows the whole default list on one line.
        auto linesOfTags = [tags] { return tags->document()->firstBlock().layout()->lineCount(); };
        QCOMPARE(linesOfTags(), 1);
        // Every control inside the window, at the opening size, the smallest and a larger one.
        const int tagWidth = tags->width();
        for (QSize size : {f.size(), QSize(1, 1), f.size() + QSize(300, 200)}) {
            f.resize(size);
            QTest::qWait(20);
            for (QWidget* w : f.findChildren<QWidget*>()) {
                if (!w->isVisible() || !w->objectName().contains(QRegularExpression(
                                           "^(Frame|Text|Option|Check|Command|Label|Progress)")))
                    continue;
                QVERIFY2(f.rect().contains(placeIn(f, w)), qPrintable(w->objectName()));
            }
        }
        QCOMPARE(tags->width(), tagWidth + 300);  // the tag box takes the added width
        // And the added height: nothing opens between the frames and the progress bar.
        f.resize(f.size() - QSize(300, 200));
        QTest::qWait(20);
        const int tagHeight = tags->height(), barTop = placeIn(f, get(f, "Progress")).top();
        f.resize(f.size() + QSize(0, 200));
        QTest::qWait(20);
        QCOMPARE(tags->height(), tagHeight + 200);
        QCOMPARE(placeIn(f, get(f, "Progress")).top(), barTop + 200);
        // A list longer than the box is wide wraps, and every tag stays in sight.
        tags->setText(QString("200,").repeated(60) + "701");
        QTest::qWait(20);
        QVERIFY(linesOfTags() > 1);
        QVERIFY(!tags->verticalScrollBar()->isVisible());
        tags->setText(QString::fromUtf8(pinyin::kDefaultTags.data(), pinyin::kDefaultTags.size()));
        // The quieter manual mode stands under manual choice, indented.
        const QRect manual = placeIn(f, get(f, "ManualChoice")),
                    quiet = placeIn(f, get(f, "AskOnlyWhenUnsure"));
        QVERIFY(quiet.top() >= manual.bottom());
        QVERIFY(quiet.left() >= manual.left() && quiet.left() < placeIn(f, get(f, "FirstReading")).left());

        // Every button and option has its own mnemonic.
        QStringList keys;
        for (QAbstractButton* b : f.findChildren<QAbstractButton*>()) {
            const auto m = QRegularExpression("&(.)").match(b->text());
            QVERIFY2(m.hasMatch(), qPrintable(b->objectName()));
            keys << m.captured(1).toUpper();
        }
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());

        // Tab goes down the window in reading order and reaches the link.
        const QStringList order = {
            "InputPath",      "ChooseInput",  "OutputPath",   "ChooseOutput", "TagList",
            "DeleteExisting", "KeepExisting", "Capitalised",  "LowerCase",    "CheckSpacing",
            "CodeA",          "Code9",        "ManualChoice", "FirstReading", "AskOnlyWhenUnsure",
            "ByWords",        "Start",        "Exit",         "RulesLink"};
        QStringList chain;
        QWidget* w = get(f, "InputPath");
        for (int i = 0; i < 200 && chain.size() < order.size(); ++i, w = w->nextInFocusChain())
            if (order.contains(w->objectName()) && !chain.contains(w->objectName())) chain << w->objectName();
        QCOMPARE(chain, order);
        auto* link = get<gui::LinkLabel>(f, "RulesLink");
        QVERIFY(link->focusPolicy() & Qt::TabFocus);
        QVERIFY(link->font().underline());
        QDesktopServices::setUrlHandler("https", this, "openUrl");
        opened_.clear();
        QTest::keyClick(link, Qt::Key_Return);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(opened_, QList<QUrl>{link->url()});
    }

    // Idle, nothing is lost: the exit button and the close box end the program without a question.
    void exitWhenIdleAsksNothing() {
        MainWindow f;
        int ended = 0;
        f.setEndProgram([&] { ++ended; });
        f.show();
        guitest::ModalScript script(3000);
        auto* start = get<QPushButton>(f, "Start");
        start->setProperty("PROCADDR", QVariant::fromValue<qulonglong>(0x1234));
        get<QPushButton>(f, "Exit")->click();
        QCOMPARE(ended, 1);
        QVERIFY(!start->property("PROCADDR").isValid());  // any button skin taken off
        f.show();
        QVERIFY(f.close());
        QCOMPARE(ended, 2);
        QCOMPARE(script.unexpected(), QStringList());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
