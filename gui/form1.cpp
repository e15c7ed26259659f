// The main window and the run as the window shows it.
#include "form1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include "app/batch.h"
#include "filedialog.h"
#include "linklabel.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"
#include "pinyin/words.h"
#include "skinlayer.h"
#include "twips.h"

namespace gui {

// What the window hears of a run: the count in the caption and one pass of the event loop after
// every record (the user may change the letter case or the polyphonic choice, or leave).
//
// The caption follows the count at most every kCaptionMs: on a real X server every caption
// change is a round of window-system work, which would make a run of 100,000 short records
// several times slower than the command line, and no screen shows more changes than that anyway.
// The count the user can read is exact whenever it stands still: at the first record, whenever
// the chooser asks, and at the end (the start button's handler sets the final count).
class Form1::Run final : public app::BatchObserver, public pinyin::Chooser {
public:
    explicit Run(Form1& window) : window_(window) {}

    void recordDone(std::int64_t count) override {
        count_ = count;
        if (shown_ == 0 || clock_.hasExpired(kCaptionMs)) showCount();
    }

    bool yieldPoint() override {
        QCoreApplication::processEvents();
        return !window_.quitRequested_;
    }

    pinyin::Chooser* chooser() override { return this; }

    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override {
        showCount();
        return window_.chooser_.choose(request);
    }

private:
    static constexpr qint64 kCaptionMs = 40;

    void showCount() {
        if (count_ != shown_) window_.setCount(count_);
        shown_ = count_;
        clock_.start();
    }

    Form1& window_;
    std::int64_t count_ = 0;
    std::int64_t shown_ = 0;
    QElapsedTimer clock_;
};

namespace {

// An option button or check box that answers a click anywhere in its area, as the form's option
// buttons do; Qt's own answer only over the indicator and the text, so a click on the wide blank
// part of "$9" would do nothing.
template <typename Base>
class WholeAreaButton : public Base {
public:
    using Base::Base;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};
using OptionButton = WholeAreaButton<QRadioButton>;
using CheckBox = WholeAreaButton<QCheckBox>;

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    return box;
}

template <typename Button>
Button* button(QWidget* parent, const QString& name, const QString& caption, QRect geometry) {
    auto* b = new Button(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    return edit;
}

QButtonGroup* group(QObject* parent, std::initializer_list<QAbstractButton*> buttons) {
    auto* g = new QButtonGroup(parent);
    int id = 0;
    for (QAbstractButton* b : buttons) g->addButton(b, id++);
    g->setExclusive(true);
    return g;
}

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A run starts only from a file the user can see: an existing regular file, not a hidden one.
bool usableInput(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

void messageBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok, int* answer = nullptr) {
    QMessageBox box(icon, title, text, buttons, owner);
    box.setObjectName("MessageBox");
    const int result = box.exec();
    if (answer) *answer = result;
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent),
      chooser_([this](const std::string& reading) { selpy = reading; },
               [this](const pinyin::WordEntry& entry) { remember(entry); }),
      endProgram_([] { QCoreApplication::exit(0); }) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("MARC批加拼音(Ostrel)"));
    datapath = pinyin::datapath(pinyin::programFolder());
    wordsPath = localPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                          QStringLiteral("/words.txt"));
    buildControls();
    connectSettings();
    // Where the word list lies, on every control of the polyphonic choice: it comes first in
    // every mode.
    const QString words =
        QStringLiteral("本馆词表（优先于其他规则）：%1").arg(QFile::decodeName(wordsPath.c_str()));
    for (QWidget* w : {static_cast<QWidget*>(option1_[0]), static_cast<QWidget*>(option1_[1]),
                       static_cast<QWidget*>(option1_[2])})
        w->setToolTip(words);
    check1_->setToolTip(check1_->toolTip() + QStringLiteral("\n") + words);
}

Form1::~Form1() = default;

void Form1::buildControls() {
    // The layout is 4740 by 5655 twips, and one row more for the phrase-aware choice and the
    // quieter manual mode, which pushes the buttons and the link down by 300 twips.
    constexpr int kRow = 300;
    setFixedSize(px(4740), px(5655 + kRow));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);  // frames and option buttons inherit it
    setMouseTracking(true);

    frame2_ = frame(this, "Frame2", QStringLiteral("MARC路径配置"), twipsRect(0, 60, 4755, 1275));
    text2_[0] = textBox(frame2_, "Text2_0", {}, twipsRect(120, 360, 3495, 300));
    command2_[0] = button<QPushButton>(frame2_, "Command2_0", QStringLiteral("选择MARC"),
                                       twipsRect(3600, 360, 975, 300));
    text2_[1] = textBox(frame2_, "Text2_1", {}, twipsRect(120, 780, 3495, 300));
    command2_[1] = button<QPushButton>(frame2_, "Command2_1", QStringLiteral("保存MARC"),
                                       twipsRect(3600, 780, 975, 300));

    frame1_ = frame(this, "Frame1", QStringLiteral("需要添加$A拼音字段的有哪些?"),
                    twipsRect(0, 1380, 4755, 675));
    text1_ = textBox(frame1_, "Text1", QString::fromUtf8(pinyin::kDefaultTags.data(),
                                                        pinyin::kDefaultTags.size()),
                     twipsRect(120, 240, 4515, 330));
    text1_->setFont(pointFont("SimSun", 10.5));
    text1_->setCursorPosition(0);  // the list reads from its first tag

    frame3_ = frame(this, "Frame3", QStringLiteral("其他配置"), twipsRect(0, 2160, 4755, 555));
    option2_[0] = button<OptionButton>(frame3_, "Option2_0", QStringLiteral("删除已存在的拼音字段"),
                                       twipsRect(180, 240, 2295, 180));
    option2_[1] = button<OptionButton>(frame3_, "Option2_1", QStringLiteral("已存在则忽略不重新生成"),
                                       twipsRect(2280, 240, 2295, 180));

    frame4_ = frame(this, "Frame4", QStringLiteral("拼音方案"), twipsRect(0, 2760, 4755, 555));
    option3_[0] = button<OptionButton>(frame4_, "Option3_0", QStringLiteral("汉字拼音首字母大写"),
                                       twipsRect(180, 240, 2055, 195));
    option3_[1] = button<OptionButton>(frame4_, "Option3_1", QStringLiteral("汉字拼音统一小写字母"),
                                       twipsRect(2280, 240, 2175, 195));

    frame5_ = frame(this, "Frame5", QStringLiteral("拼音字段名"), twipsRect(0, 3360, 4750, 615));
    option4_[0] = button<OptionButton>(frame5_, "Option4_0", QStringLiteral("$A"),
                                       twipsRect(960, 240, 1695, 255));
    option4_[1] = button<OptionButton>(frame5_, "Option4_1", QStringLiteral("$9"),
                                       twipsRect(3240, 240, 1215, 255));

    option1_[0] = button<OptionButton>(this, "Option1_0", QStringLiteral("人工选择多音字"),
                                       twipsRect(240, 4080, 1995, 255));
    option1_[1] = button<OptionButton>(this, "Option1_1", QStringLiteral("自动选择拼音(多音字)"),
                                       twipsRect(2280, 4080, 2235, 255));
    option1_[2] = button<OptionButton>(this, "Option1_2", QStringLiteral("按词语自动选择(多音字)"),
                                       twipsRect(240, 4080 + kRow, 1995, 255));
    check1_ = button<CheckBox>(this, "Check1", QStringLiteral("仅在无法确定时询问"),
                                twipsRect(2280, 4080 + kRow, 2235, 255));
    check1_->setToolTip(QStringLiteral("人工选择时，词语或姓氏能确定读音的多音字不再询问"));

    command3_[0] = button<QPushButton>(this, "Command3_0", QStringLiteral("开始处理"),
                                       twipsRect(1200, 4560 + kRow, 1095, 495));
    command3_[1] = button<QPushButton>(this, "Command3_1", QStringLiteral("退出"),
                                       twipsRect(2520, 4560 + kRow, 1095, 495));

    label1_ = new LinkLabel(QString::fromUtf8(kLinkText), QUrl(QString::fromUtf8(kLinkAddress)), this);
    label1_->setObjectName("Label1");
    label1_->setGeometry(twipsRect(840, 5280 + kRow, 3015, 255));

    // The pairs, each one exclusive group; the start-up selection of the run settings.
    group(this, {option2_[0], option2_[1]})->setObjectName("Option2");
    group(this, {option3_[0], option3_[1]})->setObjectName("Option3");
    group(this, {option4_[0], option4_[1]})->setObjectName("Option4");
    option2_[0]->setChecked(true);
    option3_[1]->setChecked(true);
    option4_[0]->setChecked(true);
    option1_[0]->setChecked(true);

    for (int i = 0; i < 2; ++i) {
        connect(command2_[i], &QPushButton::clicked, this, [this, i] { command2Click(i); });
        connect(command3_[i], &QPushButton::clicked, this, [this, i] { command3Click(i); });
    }
}

void Form1::connectSettings() {
    // The letter case and the polyphonic choice are read at every lookup, so they go into the
    // settings the moment they change, a run in progress included.
    auto* polyphone = group(this, {option1_[0], option1_[1], option1_[2]});
    polyphone->setObjectName("Option1");
    auto setPolyphone = [this](int id) {
        settings_.polyphone = id == 1   ? pinyin::Polyphone::Automatic
                              : id == 2 ? pinyin::Polyphone::Phrase
                                        : pinyin::Polyphone::Manual;
        check1_->setEnabled(id == 0);  // the quieter mode is a kind of manual choice
    };
    connect(polyphone, &QButtonGroup::idToggled, this, [setPolyphone](int id, bool on) {
        if (on) setPolyphone(id);
    });
    setPolyphone(polyphone->checkedId());

    auto setCase = [this] {
        settings_.letterCase = option3_[1]->isChecked() ? pinyin::LetterCase::Lower
                                                        : pinyin::LetterCase::Capitalised;
    };
    connect(option3_[1], &QRadioButton::toggled, this, setCase);
    setCase();

    connect(check1_, &QCheckBox::toggled, this, [this](bool on) { settings_.askOnlyWhenUnsure = on; });
    settings_.askOnlyWhenUnsure = check1_->isChecked();
}

void Form1::command2Click(int index) {
    if (index != 0 && index != 1) return;
    const bool open = index == 0;
    text2_[index]->setText(showFileDialog(open ? -1 : 0,
                                          open ? QStringLiteral("选择待处理的MARC文件")
                                               : QStringLiteral("保存处理后的MARC文件"),
                                          kMarcFilter, 0, 0, QStringLiteral("0"), {}, nullptr));
}

void Form1::command3Click(int index) {
    if (index == 1) {
        close();
        return;
    }
    if (index != 0) return;
    // A press during a run is refused outright: the run reads these two settings as it goes,
    // so even capturing them would change the run under way.
    if (running_) return;

    settings_.useCodeA = option4_[0]->isChecked();
    settings_.delExisting = option2_[0]->isChecked();

    const QString input = text2_[0]->text();
    const QString output = text2_[1]->text();
    const bool inputOk = usableInput(input);
    if (!inputOk || output.isEmpty() || input.isEmpty()) return;

    settings_.tagList = text1_->text().toStdString();
    QGroupBox* const locked[] = {frame2_, frame1_, frame3_};
    for (QGroupBox* f : locked) f->setEnabled(false);
    runBatch(input, output);
    if (quitRequested_) {
        endProgram_();
        return;
    }
    for (QGroupBox* f : locked) f->setEnabled(true);
}

void Form1::runBatch(const QString& input, const QString& output) {
    app::BatchOptions options;
    // Absolute paths: a file the user named "-" is a file, not a standard stream.
    options.inputPath = localPath(QFileInfo(input).absoluteFilePath());
    options.outputPath = localPath(QFileInfo(output).absoluteFilePath());
    options.dbPath = datapath;
    words_ = std::make_shared<pinyin::UserWords>();
    try {
        if (QFileInfo::exists(QFile::decodeName(wordsPath.c_str()))) words_->load(wordsPath);
    } catch (const pinyin::WordsError& e) {
        messageBox(this, QMessageBox::Warning, QStringLiteral("温馨提示"),
                   QStringLiteral("无法开始处理：\n%1").arg(QString::fromStdString(e.what())));
        return;
    }
    options.words = words_;

    Run run(*this);
    running_ = true;
    app::BatchResult result;
    try {
        result = app::runBatch(options, settings_, run);
    } catch (const app::StartError& e) {
        running_ = false;
        messageBox(this, QMessageBox::Warning, QStringLiteral("温馨提示"),
                   QStringLiteral("无法开始处理：\n%1").arg(QString::fromStdString(e.what())));
        return;
    } catch (const std::exception& e) {
        // Anything else ends the run where it stands; the window must live on to say so.
        running_ = false;
        messageBox(this, QMessageBox::Warning, QStringLiteral("温馨提示"),
                   QStringLiteral("处理中断：%1").arg(QString::fromStdString(e.what())));
        return;
    }
    running_ = false;
    if (quitRequested_) return;
    if (result.read > 0) setCount(result.read);  // a file without records leaves the caption
    showOutcome(result);
}

void Form1::showOutcome(const app::BatchResult& result) {
    if (!result.error.empty()) {
        // Writing failed: the run stopped, and saying "done" would hide lost records.
        messageBox(this, QMessageBox::Warning, QStringLiteral("温馨提示"),
                   QStringLiteral("处理中断：%1\n已写入 %2 条记录。")
                       .arg(QString::fromStdString(result.error))
                       .arg(result.written));
        return;
    }
    QString text = QStringLiteral("恭喜，已处理完毕!");
    if (result.failed > 0) {
        text += QStringLiteral("\n\n其中 %1 条记录无法处理，未写入输出文件，另存于：\n%2")
                    .arg(result.failed)
                    .arg(QString::fromStdString(result.rejectsPath));
    }
    messageBox(this, QMessageBox::Information, QStringLiteral("温馨提示"), text);
}

void Form1::remember(const pinyin::WordEntry& entry) {
    try {
        pinyin::appendWord(wordsPath, entry.word, entry.syllables);
        // The rest of the run reads it too.
        if (words_) words_->add(entry.word, entry.syllables);
    } catch (const pinyin::WordsError& e) {
        messageBox(this, QMessageBox::Warning, QStringLiteral("温馨提示"),
                   QStringLiteral("无法记入本馆词表：%1").arg(QString::fromStdString(e.what())));
    }
}

void Form1::setCount(std::int64_t count) {
    setWindowTitle(QStringLiteral("已处理:%1条！").arg(count));
}

void Form1::closeEvent(QCloseEvent* event) {
    int answer = QMessageBox::No;
    messageBox(this, QMessageBox::Information, QStringLiteral("操作提示"),
               QStringLiteral("确定退出MARC批加拼音工具吗？（Y/N）"),
               QMessageBox::Yes | QMessageBox::No, &answer);
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    skin::MSkinButton::instance().release(QtWindowLayer{}, handleOf(this));
    if (running_) {
        // The question was asked between two records; the run ends there, with its files
        // closed, and the start button's handler then ends the program.
        quitRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
    endProgram_();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    label1_->setIdle();
    QWidget::mouseMoveEvent(event);
}

pinyin::Romaniser& Form1::romaniser() {
    if (!table_ || loadedPath_ != datapath) {
        romaniser_.reset();
        table_ = pinyin::PinyinTable::load(datapath);
        loadedPath_ = datapath;
    }
    if (!romaniser_) romaniser_ = std::make_unique<pinyin::Romaniser>(*table_, settings_, &chooser_);
    return *romaniser_;
}

std::string Form1::py(const std::string& marc) {
    if (!running_) settings_.tagList = text1_->text().toStdString();
    pinyin::Romaniser& r = romaniser();
    r.selpy = selpy;
    std::string out = pinyin::py(marc, settings_, r);
    selpy = r.selpy;
    return out;
}

std::string Form1::delZDA9(const std::string& MARCSTR) { return pinyin::delZDA9(MARCSTR); }

std::string Form1::Pinyin(const std::string& hz) {
    pinyin::Romaniser& r = romaniser();
    r.selpy = selpy;
    std::string out = r.pinyin(hz);
    selpy = r.selpy;
    return out;
}

}  // namespace gui
