// The main window and the run as the window shows it.
#include "form1.h"
#include "form1_run.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <QStandardPaths>

#include "app/batch.h"
#include "app/review.h"
#include "review.h"
#include "codepage/codepage.h"
#include "marc/identifiers.h"
#include "messages/messages.h"
#include "outcome.h"
#include "boxes.h"
#include "filedialog.h"
#include "linklabel.h"
#include "tagbox.h"
#include "pinyin/datapath.h"
#include "pinyin/lookup.h"
#include "pinyin/readings.h"
#include "pinyin/table.h"
#include "pinyin/words.h"
#include "skinlayer.h"
#include "twips.h"

namespace gui {

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

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

template <typename Button>
Button* button(QWidget* parent, const QString& name, const QString& caption) {
    auto* b = new Button(caption, parent);
    b->setObjectName(name);
    return b;
}

template <typename Edit = QLineEdit>
Edit* textBox(QWidget* parent, const char* name, const QString& text) {
    auto* edit = new Edit(text, parent);
    edit->setObjectName(name);
    return edit;
}

QButtonGroup* group(QObject* parent, std::initializer_list<QAbstractButton*> buttons) {
    auto* g = new QButtonGroup(parent);
    int id = 0;
    for (QAbstractButton* b : buttons) g->addButton(b, id++);
    g->setExclusive(true);
    return g;
}

QHBoxLayout* row(QWidget* parent, std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout(parent);
    for (QWidget* w : widgets) layout->addWidget(w);
    return layout;
}

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The local files a drop carries, in order.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir()) files << url.toLocalFile();
    return files;
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent),
      chooser_([this](const std::string& reading) { selpy = reading; },
               [this](const pinyin::WordEntry& entry) { remember(entry); }),
      endProgram_([] { QCoreApplication::exit(0); }) {
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    datapath = pinyin::datapath(pinyin::programFolder());
    wordsPath = localPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                          QStringLiteral("/words.txt"));
    buildControls();
    layOut();
    connectSettings();
    loadSettings();
    setAcceptDrops(true);
    showWordsPath();
    // Typed into, the output box holds this session's choice.
    connect(text2_[1], &QLineEdit::textEdited, this, [this] {
        outputFromEarlier_ = false;
        label4_->hide();
    });
}

void Form1::showWordsPath() {
    // Where the word list lies, under the polyphonic choice and on its controls: it comes first
    // in every mode. The home folder is shortened to "~"; the tooltip has the whole path.
    const QString path = QFile::decodeName(wordsPath.c_str());
    const QString home = QDir::homePath();
    QString shown = path;
    if (!home.isEmpty() && shown.startsWith(home + QLatin1Char('/')))
        shown = QStringLiteral("~") + shown.mid(home.size());
    const bool exists = QFileInfo::exists(path);
    label3_->setText(exists ? QStringLiteral("本馆词表：<a href=\"%1\">%2</a>")
                                  .arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded),
                                       shown.toHtmlEscaped())
                            : QStringLiteral("本馆词表：%1（尚未建立，勾选“记住此读音”即建立）")
                                  .arg(shown.toHtmlEscaped()));
    const QString tip = QStringLiteral("本馆词表（优先于其他规则）：%1").arg(path);
    label3_->setToolTip(tip);
    for (QWidget* w : {static_cast<QWidget*>(option1_[0]), static_cast<QWidget*>(option1_[1]),
                       static_cast<QWidget*>(option1_[2])})
        w->setToolTip(tip);
    check1_->setToolTip(QStringLiteral("人工选择时，词语或姓氏能确定读音的多音字不再询问\n") + tip);
}

Form1::~Form1() { saveSettings(); }

void Form1::buildControls() {
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);  // frames and option buttons inherit it
    setMouseTracking(true);

    // Made in reading order, which is also the order Tab goes through them.
    frame2_ = frame(this, "Frame2", QStringLiteral("MARC路径配置"));
    text2_[0] = textBox(frame2_, "Text2_0", {});
    command2_[0] = button<QPushButton>(frame2_, "Command2_0", QStringLiteral("选择MARC(&I)"));
    text2_[1] = textBox(frame2_, "Text2_1", {});
    command2_[1] = button<QPushButton>(frame2_, "Command2_1", QStringLiteral("保存MARC(&O)"));
    text2_[0]->setPlaceholderText(QStringLiteral("待处理的MARC文件（可拖放到窗口）"));
    text2_[1]->setPlaceholderText(QStringLiteral("处理结果追加到此文件"));
    // A drop on a path box is the window's: it replaces the path (dropEvent), never inserts text.
    for (QLineEdit* box : text2_) box->setAcceptDrops(false);
    label4_ = new QLabel(frame2_);
    label4_->setObjectName("Label4");
    label4_->setWordWrap(true);
    label4_->hide();

    frame1_ = frame(this, "Frame1", QStringLiteral("需要添加$A拼音字段的有哪些?"));
    text1_ = new TagBox(QString::fromUtf8(pinyin::kDefaultTags.data(), pinyin::kDefaultTags.size()), frame1_);
    text1_->setObjectName("Text1");
    text1_->setFont(pointFont("SimSun", 10.5));
    text1_->setCursorPosition(0);  // the list reads from its first tag

    frame3_ = frame(this, "Frame3", QStringLiteral("其他配置"));
    option2_[0] = button<OptionButton>(frame3_, "Option2_0", QStringLiteral("删除已存在的拼音字段(&D)"));
    option2_[1] = button<OptionButton>(frame3_, "Option2_1", QStringLiteral("已存在则忽略不重新生成(&K)"));

    frame4_ = frame(this, "Frame4", QStringLiteral("拼音方案"));
    option3_[0] = button<OptionButton>(frame4_, "Option3_0", QStringLiteral("汉字拼音首字母大写(&C)"));
    option3_[1] = button<OptionButton>(frame4_, "Option3_1", QStringLiteral("汉字拼音统一小写字母(&L)"));
    checkSpacing_ = button<CheckBox>(frame4_, "CheckSpacing", QStringLiteral("数字、字母与拼音分开(&G)"));
    checkSpacing_->setToolTip(QStringLiteral("勾选：第1版 → di 1 ban；不勾选：di 1ban"));

    frame5_ = frame(this, "Frame5", QStringLiteral("拼音字段名"));
    option4_[0] = button<OptionButton>(frame5_, "Option4_0", QStringLiteral("$&A"));
    option4_[1] = button<OptionButton>(frame5_, "Option4_1", QStringLiteral("$&9"));
    option5_[0] = button<OptionButton>(frame5_, "Option5_0", QStringLiteral("仅$a子字段(&N)"));
    option5_[1] = button<OptionButton>(frame5_, "Option5_1", QStringLiteral("每个含汉字的子字段（$a→$A，$e→$E…）(&H)"));
    option5_[0]->setToolTip(QStringLiteral("只为 $a 加拼音，放在选定的 $A 或 $9 中：\n"
                                           "200 1 $a红楼梦$Ahong lou meng$f曹雪芹著"));
    option5_[1]->setToolTip(QStringLiteral("每个含汉字的小写代码子字段，拼音紧跟其后，代码为其大写字母（不用 $9）：\n"
                                           "200 1 $a红楼梦$Ahong lou meng$f曹雪芹著$Fcao xue qin zhu\n"
                                           "不含汉字的子字段（如 $v 中的数字）不加拼音"));

    frame6_ = frame(this, "Frame6", QStringLiteral("多音字"));
    option1_[0] = button<OptionButton>(frame6_, "Option1_0", QStringLiteral("人工选择多音字(&M)"));
    check1_ = button<CheckBox>(frame6_, "Check1", QStringLiteral("仅在无法确定时询问(&U)"));
    check1_->setToolTip(QStringLiteral("人工选择时，词语或姓氏能确定读音的多音字不再询问"));
    check2_ = button<CheckBox>(frame6_, "Check2", QStringLiteral("先列出没把握的字，统一审定(&R)"));
    check2_->setToolTip(QStringLiteral("先读完整个文件，把无法确定读音的字按词语列成一张表，审定后再写出"));
    option1_[1] = button<OptionButton>(frame6_, "Option1_1", QStringLiteral("自动选择拼音(多音字)(&F)"));
    option1_[2] = button<OptionButton>(frame6_, "Option1_2", QStringLiteral("按词语自动选择(多音字)(&W)"));
    label3_ = new QLabel(frame6_);
    label3_->setObjectName("Label3");
    label3_->setTextFormat(Qt::RichText);
    // The file opens in the desktop's text editor, or its path is shown to copy.
    connect(label3_, &QLabel::linkActivated, this, [this](const QString& link) { openOrShow(this, QUrl(link)); });
    // A long path wraps rather than widening the window; two lines always have room.
    label3_->setWordWrap(true);
    label3_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    label3_->setMinimumHeight(2 * label3_->fontMetrics().lineSpacing() + 2);

    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName("ProgressBar1");
    progressBar1_->setRange(0, kBarSteps);
    progressBar1_->setValue(0);
    progressBar1_->setFormat(QStringLiteral("已读 %p%"));
    label2_ = new QLabel(this);
    label2_->setObjectName("Label2");
    label2_->setText(QStringLiteral("已处理 0 条"));
    label2_->setMinimumWidth(label2_->fontMetrics().horizontalAdvance(QStringLiteral("已处理 0,000,000 条")));

    command3_[0] = button<QPushButton>(this, "Command3_0", QStringLiteral("开始处理(&S)"));
    command3_[1] = button<QPushButton>(this, "Command3_1", QStringLiteral("退出(&X)"));
    for (QPushButton* b : command3_) b->setMinimumSize(px(1095), px(495));

    label1_ = new LinkLabel(QString::fromUtf8(kLinkText), QUrl(QString::fromUtf8(kLinkAddress)), this);
    label1_->setObjectName("Label1");

    // The pairs, each one exclusive group; the start-up selection of the run settings.
    group(this, {option2_[0], option2_[1]})->setObjectName("Option2");
    group(this, {option3_[0], option3_[1]})->setObjectName("Option3");
    group(this, {option4_[0], option4_[1]})->setObjectName("Option4");
    group(this, {option5_[0], option5_[1]})->setObjectName("Option5");
    option2_[0]->setChecked(true);
    option3_[1]->setChecked(true);
    option4_[0]->setChecked(true);
    option5_[0]->setChecked(true);
    option1_[2]->setChecked(true);  // the words decide until the user chooses otherwise

    for (int i = 0; i < 2; ++i) {
        connect(command2_[i], &QPushButton::clicked, this, [this, i] { command2Click(i); });
        connect(command3_[i], &QPushButton::clicked, this, [this, i] { command3Click(i); });
    }
}

void Form1::layOut() {
    auto* paths = new QGridLayout(frame2_);
    paths->addWidget(text2_[0], 0, 0);
    paths->addWidget(command2_[0], 0, 1);
    paths->addWidget(text2_[1], 1, 0);
    paths->addWidget(command2_[1], 1, 1);
    paths->addWidget(label4_, 2, 0, 1, 2);

    row(frame1_, {text1_});
    row(frame3_, {option2_[0], option2_[1]});
    // The spacing choice on a line of its own, so the window grows no wider.
    auto* scheme = new QGridLayout(frame4_);
    scheme->addWidget(option3_[0], 0, 0);
    scheme->addWidget(option3_[1], 0, 1);
    scheme->addWidget(checkSpacing_, 1, 0, 1, 2);
    auto* code = new QGridLayout(frame5_);
    code->addWidget(option4_[0], 0, 0);
    code->addWidget(option4_[1], 0, 1);
    code->addWidget(option5_[0], 1, 0);
    code->addWidget(option5_[1], 1, 1);
    code->setColumnStretch(0, 1);
    code->setColumnStretch(1, 1);

    // The quieter manual mode under manual choice, indented as a part of it; the two automatic
    // modes beside them.
    auto* polyphone = new QGridLayout(frame6_);
    polyphone->addWidget(option1_[0], 0, 0);
    polyphone->addWidget(option1_[1], 0, 1);
    polyphone->addWidget(check1_, 1, 0);
    polyphone->addWidget(option1_[2], 1, 1);
    polyphone->addWidget(check2_, 2, 0);
    polyphone->addWidget(label3_, 3, 0, 1, 2);
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    check1_->setContentsMargins(indent, 0, 0, 0);
    check2_->setContentsMargins(indent, 0, 0, 0);
    polyphone->setColumnStretch(0, 1);
    polyphone->setColumnStretch(1, 1);

    auto* progress = new QHBoxLayout;
    progress->addWidget(progressBar1_, 1);
    progress->addWidget(label2_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(command3_[0]);
    buttons->addSpacing(px(225));
    buttons->addWidget(command3_[1]);
    buttons->addStretch();

    auto* window = new QVBoxLayout(this);
    // Spare height goes to the tag box, where a long list wraps.
    for (QGroupBox* f : {frame2_, frame1_, frame3_, frame4_, frame5_, frame6_}) window->addWidget(f, f == frame1_ ? 1 : 0);
    window->addLayout(progress);
    window->addLayout(buttons);
    window->addWidget(label1_, 0, Qt::AlignHCenter);

    // Tab follows the reading order: down the frames, left to right within each.
    QWidget* const order[] = {text2_[0],   command2_[0], text2_[1],   command2_[1], text1_,
                              option2_[0], option2_[1],  option3_[0], option3_[1],  checkSpacing_, option4_[0],
                              option4_[1], option5_[0],  option5_[1], option1_[0],  option1_[1], check1_,      option1_[2],
                              check2_,     command3_[0], command3_[1], label1_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    resize(sizeHint());
}

void Form1::connectSettings() {
    // The quieter mode is a kind of manual choice.
    auto* polyphone = group(this, {option1_[0], option1_[1], option1_[2]});
    polyphone->setObjectName("Option1");
    connect(polyphone, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) check1_->setEnabled(id == 0);
        if (on) check2_->setEnabled(id == 0);
    });
    check1_->setEnabled(option1_[0]->isChecked());
    check2_->setEnabled(option1_[0]->isChecked());
    // The tag frame names the subfield code chosen. Where every subfield gets its own, the code
    // is the capital of each subfield's: $9 is not offered.
    const auto caption = [this] {
        const bool every = option5_[1]->isChecked();
        option4_[0]->setEnabled(!every);
        option4_[1]->setEnabled(!every);
        frame1_->setTitle(every ? QStringLiteral("需要为含汉字的子字段添加拼音（$a→$A，$e→$E…）的字段有哪些?")
                                : QStringLiteral("需要添加$%1拼音字段的有哪些?").arg(option4_[0]->isChecked() ? 'A' : '9'));
    };
    connect(option4_[0], &QRadioButton::toggled, this, caption);
    connect(option5_[1], &QRadioButton::toggled, this, caption);
    caption();
}

pinyin::RunSettings Form1::settings() const {
    pinyin::RunSettings s;
    s.tagList = text1_->text().toStdString();
    s.useCodeA = option4_[0]->isChecked();
    s.subfields = option5_[1]->isChecked() ? pinyin::Subfields::Chinese : pinyin::Subfields::A;
    s.delExisting = option2_[0]->isChecked();
    s.letterCase = option3_[1]->isChecked() ? pinyin::LetterCase::Lower : pinyin::LetterCase::Capitalised;
    s.spacing = checkSpacing_->isChecked() ? pinyin::Spacing::Apart : pinyin::Spacing::Glued;
    s.polyphone = option1_[1]->isChecked()   ? pinyin::Polyphone::Automatic
                  : option1_[2]->isChecked() ? pinyin::Polyphone::Phrase
                                             : pinyin::Polyphone::Manual;
    s.askOnlyWhenUnsure = check1_->isChecked();
    return s;
}

void Form1::showSettings(const pinyin::RunSettings& s) {
    text1_->setText(QString::fromStdString(s.tagList));
    text1_->setCursorPosition(0);
    option4_[s.useCodeA ? 0 : 1]->setChecked(true);
    option5_[s.subfields == pinyin::Subfields::Chinese ? 1 : 0]->setChecked(true);
    option2_[s.delExisting ? 0 : 1]->setChecked(true);
    option3_[s.letterCase == pinyin::LetterCase::Lower ? 1 : 0]->setChecked(true);
    checkSpacing_->setChecked(s.spacing == pinyin::Spacing::Apart);
    option1_[s.polyphone == pinyin::Polyphone::Automatic ? 1 : s.polyphone == pinyin::Polyphone::Phrase ? 2 : 0]
        ->setChecked(true);
    check1_->setChecked(s.askOnlyWhenUnsure);
}

void Form1::lock(bool locked) {
    // Everything that decides the output, from the press of the start button to the end message.
    for (QWidget* w : std::initializer_list<QWidget*>{frame2_, frame1_, frame3_, frame4_, frame5_, frame6_, command3_[0]})
        w->setEnabled(!locked);
    setAcceptDrops(!locked);
}

void Form1::setPaths(const QString& input, const QString& output) {
    if (!input.isEmpty()) text2_[0]->setText(QFileInfo(input).absoluteFilePath());
    if (!output.isEmpty()) {
        text2_[1]->setText(QFileInfo(output).absoluteFilePath());
        outputFromEarlier_ = false;
        label4_->hide();
    } else if (!input.isEmpty()) {
        suggestOutputFor(input);
    }
}

QString Form1::suggestedOutput(const QString& input) {
    const QFileInfo info(input);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-pinyin.iso"));
}

void Form1::suggestOutputFor(const QString& input) {
    // An output chosen in this session stays; one from an earlier session is not reused silently.
    if (!outputFromEarlier_ && !text2_[1]->text().isEmpty()) return;
    const QString output = suggestedOutput(input);
    text2_[1]->setText(output);
    outputFromEarlier_ = false;
    label4_->setText(QFileInfo::exists(output)
                         ? QStringLiteral("输出文件已存在：处理结果将追加到它的末尾，原有内容保留。")
                         : QStringLiteral("输出文件按输入文件命名（不沿用上次的输出文件）。"));
    label4_->show();
}

void Form1::command2Click(int index) {
    if (index != 0 && index != 1) return;
    const bool open = index == 0;
    // Each dialog opens in the folder of the path its box holds, else where the last one ended.
    const QString folder = QFileInfo(text2_[index]->text()).absolutePath();
    const bool known = !text2_[index]->text().isEmpty() && QFileInfo(folder).isDir();
    const QString chosen = showFileDialog(open ? -1 : 0,
                                          open ? QStringLiteral("选择待处理的MARC文件")
                                               : QStringLiteral("保存处理后的MARC文件"),
                                          kMarcFilter, 0, 0, known ? folder : QStringLiteral("0"), {}, this);
    if (chosen.isEmpty()) return;  // cancelled: the box keeps what it held
    text2_[index]->setText(chosen);
    if (open) {
        suggestOutputFor(chosen);
    } else {
        outputFromEarlier_ = false;
        label4_->hide();
    }
}

void Form1::command3Click(int index) {
    if (index == 1) {
        close();
        return;
    }
    // A press during a run is refused outright (the button is disabled then too).
    if (index != 0 || running_) return;
    if (!pathsUsable() || !tagsUsable()) return;
    const QString input = text2_[0]->text();
    const QString output = text2_[1]->text();
    if (!inputHoldsRecords(input)) return;
    std::int64_t skip = 0;
    if (const std::optional<Resume> resume = resumePoint(input, output)) {
        skip = askResume(*resume);
        if (skip < 0) return;
        if (skip > 0) showSettings(resume->settings);  // going on as the run began
    }
    saveSettings();
    lock(true);
    runBatch(input, output, skip);
    if (quitRequested_) {
        endProgram_();
        return;
    }
    lock(false);
}

void Form1::error(const QString& text) { messageBox(this, QMessageBox::Critical, kErrorTitle, text); }

void Form1::note(const QString& text, bool warning) {
    messageBox(this, warning ? QMessageBox::Warning : QMessageBox::Information, kNoteTitle, text);
}

app::BatchOptions Form1::batchOptions(const QString& input, const QString& output) const {
    app::BatchOptions options;
    // Absolute paths: a file the user named "-" is a file, not a standard stream.
    options.inputPath = localPath(QFileInfo(input).absoluteFilePath());
    options.outputPath = localPath(QFileInfo(output).absoluteFilePath());
    options.dbPath = datapath;
    // Every byte the user did not ask to change comes through: the code page is read off the
    // file, the records keep their leaders and their separator.
    options.autoEncoding = true;
    options.keepLeader = true;
    options.separator = app::Separator::AsInput;
    options.identifierStatePath = marc::IdentifierSequence::defaultStatePath();
    options.describeFailure = [](const app::RecordFailure& f) {
        return messages::failureLogLine(f, messages::Language::Chinese);
    };
    return options;
}
bool Form1::loadWords() {
    showWordsPath();
    words_ = std::make_shared<pinyin::UserWords>();
    try {
        if (QFileInfo::exists(QFile::decodeName(wordsPath.c_str()))) words_->load(wordsPath);
    } catch (const pinyin::WordsError& e) {
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.asProblem())));
        return false;
    }
    return true;
}

std::shared_ptr<const pinyin::PinyinTable> Form1::warnOfLoneCharacters() {
    if (!words_) return nullptr;
    if (words_->lone().empty()) return nullptr;
    std::shared_ptr<const pinyin::PinyinTable> table;
    try {
        table = pinyin::PinyinTable::load(datapath);
    } catch (const pinyin::DbError&) {
        return nullptr;  // the run says what is wrong with py.db
    }
    QStringList polyphonic;
    for (const std::string& word : pinyin::lonePolyphonic(*words_, *table)) polyphonic << QString::fromStdString(word);
    if (!polyphonic.isEmpty())
        note(QStringLiteral("本馆词表中有单个的多音字：%1\n词表中的单字决定含这个字的每个词的读音"
                            "（如词表中的“行”也用于“银行”）。\n本次处理照常进行；如非本意，请从词表中删去这些行：\n%2")
                 .arg(polyphonic.join(QStringLiteral("、")), QFile::decodeName(wordsPath.c_str())),
             true);
    return table;
}

void Form1::runBatch(const QString& input, const QString& output, std::int64_t skip) {
    app::BatchOptions options = batchOptions(input, output);
    options.skip = skip;
    // The run keeps the settings it starts with, whatever happens to the controls meanwhile.
    runSettings_ = settings();
    // A fresh start: the program's name in the caption, nothing counted, nothing read.
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    progressBar1_->setValue(0);
    label2_->setText(QStringLiteral("已处理 0 条"));
    chooser_.beginRun();
    if (!loadWords()) return;
    options.words = words_;
    options.table = warnOfLoneCharacters();
    std::optional<app::ReviewAnswers> answers;
    if (reviews()) {
        if (!review(options, answers)) return;
        progressBar1_->setValue(0);  // the run with the answers reads the input again
    }

    Run run(*this, runSettings_);
    run_ = &run;
    running_ = true;
    app::BatchResult result;
    const auto finish = [this] {
        running_ = false;
        run_ = nullptr;
        chooser_.beginRun();  // the run's answers end with it: the next run asks again
    };
    try {
        std::vector<std::pair<std::string, std::string>> remembered;
        result = answers ? app::runWithAnswers(options, runSettings_, *answers, run, &remembered)
                         : app::runBatch(options, runSettings_, run);
        // The words the table says to remember go into the word list, as the chooser's do.
        for (const auto& [word, syllables] : remembered) try {
                pinyin::appendWord(wordsPath, word, syllables);
            } catch (const pinyin::WordsError& e) {
                error(QStringLiteral("无法记入本馆词表：\n%1").arg(chinese(e.asProblem())));
            }
        if (!remembered.empty()) showWordsPath();
    } catch (const app::StartError& e) {
        finish();
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.problem)));
        return;
    } catch (const std::exception& e) {
        // Anything else ends the run where it stands; the window must live on to say so.
        finish();
        problem::Problem p;
        p.detail = e.what();
        error(QStringLiteral("处理中断：%1").arg(chinese(p)));
        return;
    }
    finish();
    if (result.read > 0) setCount(result.read);  // a file without records leaves the caption
    if (!result.stopped) progressBar1_->setValue(kBarSteps);
    // Where a stopped run ended, for the next start on this pair; a finished run leaves nothing.
    if (result.stopped && result.nextRecord > 1)
        saveResume(input, output, runSettings_, result.nextRecord - 1);
    else
        forgetResume();
    showOutcome(result, output, run.foundListed());
}

bool Form1::reviews() const { return option1_[0]->isChecked() && check2_->isChecked(); }

bool Form1::review(const app::BatchOptions& options, std::optional<app::ReviewAnswers>& answers) {
    Run run(*this, runSettings_);
    run_ = &run;
    running_ = true;
    app::ReviewGathering gathering;
    app::ReviewInput input;
    const auto finish = [this] {
        running_ = false;
        run_ = nullptr;
    };
    try {
        input = app::reviewInputOf(options.inputPath);
        gathering = app::gatherReview(options, runSettings_, run);
    } catch (const app::StartError& e) {
        finish();
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.problem)));
        return false;
    }
    finish();
    progressBar1_->setValue(kBarSteps);
    if (gathering.run.stopped) {
        if (gathering.run.stopProblem)
            error(QStringLiteral("处理中断：%1").arg(chinese(*gathering.run.stopProblem)));
        else if (!quitRequested_)
            note(QStringLiteral("已停止列出没把握的字，没有写出任何记录。"));
        return false;
    }
    app::ReviewOptions kept;
    kept.tags = runSettings_.tagList;
    kept.existing = runSettings_.delExisting ? "delete" : "keep";
    kept.subfields = runSettings_.subfields == pinyin::Subfields::Chinese ? "chinese" : "a";
    kept.encoding = "auto";
    kept.words = wordsPath;
    ReviewDialog dialog(gathering, runSettings_.letterCase == pinyin::LetterCase::Lower, input, kept, this);
    if (reviewShown_) reviewShown_(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    answers = dialog.answers();
    return true;
}

void Form1::showOutcome(const app::BatchResult& result, const QString& output, bool foundListed) {
    const QString figures = OutcomeDialog::figures(result, output);
    QString goOn;
    if (result.stopped && result.nextRecord > 1)
        goOn = QStringLiteral("\n下次按“开始处理”可从第 %1 条记录继续。").arg(result.nextRecord);
    if (result.stopProblem) {
        // Writing failed: the run stopped, and saying "done" would hide lost records.
        error(QStringLiteral("处理中断：%1\n\n%2%3")
                  .arg(chinese(*result.stopProblem),
                       result.failed > 0 ? OutcomeDialog::summaryText(result, output) : figures, goOn));
        return;
    }
    if (result.failed > 0 && !quitRequested_) {
        // Not "done": the counts, the first failures and their reasons, and the log.
        OutcomeDialog dialog(result, output, this);
        dialog.exec();
        return;
    }
    QString text;
    bool warning = false;
    if (result.stopped) {
        text = QStringLiteral("已停止处理。\n") + figures + goOn;
    } else if (!foundListed && result.read > 0) {
        // Nothing was asked for that the records hold: no pinyin anywhere is no success.
        text = QStringLiteral("没有找到要加拼音的字段：%1 条记录中都没有字段 %2，没有添加任何拼音。\n"
                              "请检查“需要添加拼音的字段”（如 200,225，字段号是三个数字）。\n\n%3")
                   .arg(result.read)
                   .arg(QString::fromStdString(runSettings_.tagList), figures);
        warning = true;
    } else {
        text = QStringLiteral("恭喜，已处理完毕!\n\n") + figures;
    }
    if (result.repeatsOutputEnd > 0) {
        text += QStringLiteral("\n\n注意：本次写入的第 %1 条记录与输出文件原有的最后一条记录完全相同，"
                               "输出文件可能已含有这些记录（同一文件处理了两次？）。")
                    .arg(result.repeatsOutputEnd);
        warning = true;
    }
    if (!result.asciiOnly)
        text += QStringLiteral("\n\n文件编码：%1（自动识别）")
                    .arg(QString::fromStdString(messages::codePageName(result.encoding)));
    note(text, warning);
}

void Form1::remember(const pinyin::WordEntry& entry) {
    try {
        pinyin::appendWord(wordsPath, entry.word, entry.syllables);
        // The rest of the run reads it too.
        if (words_) words_->add(entry.word, entry.syllables);
        showWordsPath();
    } catch (const pinyin::WordsError& e) {
        error(e.osError ? QStringLiteral("无法记入本馆词表：%1\n请检查词表所在的文件夹是否可写入。")
                              .arg(QString::fromStdString(messages::osError(e.osError, messages::Language::Chinese)))
                        : QStringLiteral("无法记入本馆词表：这个词不能写入词表。"));
    }
}

void Form1::setCount(std::int64_t count) {
    setWindowTitle(QStringLiteral("已处理:%1条！").arg(count));
    label2_->setText(QStringLiteral("已处理 %1 条").arg(count));
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    label1_->setIdle();
    QWidget::mouseMoveEvent(event);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (run_) {
        // Between two records, or at a question: the count is brought up to date first.
        run_->showCount();
        int answer = QMessageBox::No;
        messageBox(this, QMessageBox::Warning, QStringLiteral("操作提示"),
                   QStringLiteral("正在处理：已写入 %1 条记录。\n退出将在当前记录处理完后停止处理，"
                                  "下次可从停止处继续。\n\n确定退出MARC批加拼音工具吗？")
                       .arg(run_->written()),
                   QMessageBox::Yes | QMessageBox::No, &answer, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    // Idle, nothing is lost: no question.
    skin::MSkinButton::instance().release(QtWindowLayer{}, handleOf(this));
    saveSettings();
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


void Form1::dragEnterEvent(QDragEnterEvent* event) {
    // Local files only: a web address or a piece of text is refused.
    if (!running_ && !droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (running_ || files.isEmpty()) return;
    QWidget* target = childAt(event->position().toPoint());
    const bool onOutput = target == text2_[1] || target == command2_[1];
    // A drop replaces the path of its box, with the first file.
    if (onOutput || files.size() > 1) {
        text2_[1]->setText(files[onOutput ? 0 : 1]);
        outputFromEarlier_ = false;
        label4_->hide();
    }
    if (!onOutput) {
        text2_[0]->setText(files[0]);
        if (files.size() == 1) suggestOutputFor(files[0]);
    }
    event->acceptProposedAction();
}

}  // namespace gui
