// The main window and the run as the window shows it.
#include "main_window.h"
#include "main_window_run.h"

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
#include "pinyin/db_path.h"
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

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent),
      chooser_([this](const std::string& reading) { lastReading = reading; },
               [this](const pinyin::WordEntry& entry) { remember(entry); }),
      endProgram_([] { QCoreApplication::exit(0); }) {
    setObjectName("MainWindow");
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    dataPath = pinyin::pyDbPath(pinyin::programFolder());
    wordsPath = localPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                          QStringLiteral("/words.txt"));
    buildControls();
    layOut();
    connectSettings();
    loadSettings();
    setAcceptDrops(true);
    showWordsPath();
    // Typed into, the output box holds this session's choice.
    connect(pathBoxes_[1], &QLineEdit::textEdited, this, [this] {
        outputFromEarlier_ = false;
        outputNote_->hide();
    });
}

void MainWindow::showWordsPath() {
    // Where the word list lies, under the polyphonic choice and on its controls: it comes first
    // in every mode. The home folder is shortened to "~"; the tooltip has the whole path.
    const QString path = QFile::decodeName(wordsPath.c_str());
    const QString home = QDir::homePath();
    QString shown = path;
    if (!home.isEmpty() && shown.startsWith(home + QLatin1Char('/')))
        shown = QStringLiteral("~") + shown.mid(home.size());
    const bool exists = QFileInfo::exists(path);
    wordsPathLabel_->setText(
        exists
            ? QStringLiteral("本馆词表：<a href=\"%1\">%2</a>")
                  .arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), shown.toHtmlEscaped())
            : QStringLiteral("本馆词表：%1（尚未建立，勾选“记住此读音”即建立）").arg(shown.toHtmlEscaped()));
    const QString tip = QStringLiteral("本馆词表（优先于其他规则）：%1").arg(path);
    wordsPathLabel_->setToolTip(tip);
    for (QWidget* w :
         {static_cast<QWidget*>(polyphoneButtons_[0]), static_cast<QWidget*>(polyphoneButtons_[1]),
          static_cast<QWidget*>(polyphoneButtons_[2])})
        w->setToolTip(tip);
    askOnlyWhenUnsure_->setToolTip(QStringLiteral("人工选择时，词语或姓氏能确定读音的多音字不再询问\n") +
                                   tip);
}

MainWindow::~MainWindow() { saveSettings(); }

void MainWindow::buildControls() {
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);  // frames and option buttons inherit it
    setMouseTracking(true);

    // Made in reading order, which is also the order Tab goes through them.
    pathFrame_ = frame(this, "PathFrame", QStringLiteral("MARC路径配置"));
    pathBoxes_[0] = textBox(pathFrame_, "InputPath", {});
    pathButtons_[0] = button<QPushButton>(pathFrame_, "ChooseInput", QStringLiteral("选择MARC(&I)"));
    pathBoxes_[1] = textBox(pathFrame_, "OutputPath", {});
    pathButtons_[1] = button<QPushButton>(pathFrame_, "ChooseOutput", QStringLiteral("保存MARC(&O)"));
    pathBoxes_[0]->setPlaceholderText(QStringLiteral("待处理的MARC文件（可拖放到窗口）"));
    pathBoxes_[1]->setPlaceholderText(QStringLiteral("处理结果追加到此文件"));
    // A drop on a path box is the window's: it replaces the path (dropEvent), never inserts text.
    for (QLineEdit* box : pathBoxes_) box->setAcceptDrops(false);
    outputNote_ = new QLabel(pathFrame_);
    outputNote_->setObjectName("OutputNote");
    outputNote_->setWordWrap(true);
    outputNote_->hide();

    tagFrame_ = frame(this, "TagFrame", QStringLiteral("需要添加$A拼音字段的有哪些?"));
    tagList_ =
        new TagBox(QString::fromUtf8(pinyin::kDefaultTags.data(), pinyin::kDefaultTags.size()), tagFrame_);
    tagList_->setObjectName("TagList");
    tagList_->setFont(pointFont("SimSun", 10.5));
    tagList_->setCursorPosition(0);  // the list reads from its first tag

    existingFrame_ = frame(this, "ExistingFrame", QStringLiteral("其他配置"));
    existingButtons_[0] =
        button<OptionButton>(existingFrame_, "DeleteExisting", QStringLiteral("删除已存在的拼音字段(&D)"));
    existingButtons_[1] =
        button<OptionButton>(existingFrame_, "KeepExisting", QStringLiteral("已存在则忽略不重新生成(&K)"));

    spellingFrame_ = frame(this, "SpellingFrame", QStringLiteral("拼音方案"));
    caseButtons_[0] =
        button<OptionButton>(spellingFrame_, "Capitalised", QStringLiteral("汉字拼音首字母大写(&C)"));
    caseButtons_[1] =
        button<OptionButton>(spellingFrame_, "LowerCase", QStringLiteral("汉字拼音统一小写字母(&L)"));
    checkSpacing_ =
        button<CheckBox>(spellingFrame_, "CheckSpacing", QStringLiteral("数字、字母与拼音分开(&G)"));
    checkSpacing_->setToolTip(QStringLiteral("勾选：第1版 → di 1 ban；不勾选：di 1ban"));

    codeFrame_ = frame(this, "CodeFrame", QStringLiteral("拼音字段名"));
    codeButtons_[0] = button<OptionButton>(codeFrame_, "CodeA", QStringLiteral("$&A"));
    codeButtons_[1] = button<OptionButton>(codeFrame_, "Code9", QStringLiteral("$&9"));
    subfieldButtons_[0] = button<OptionButton>(codeFrame_, "SubfieldAOnly", QStringLiteral("仅$a子字段(&N)"));
    subfieldButtons_[1] = button<OptionButton>(codeFrame_, "EveryChineseSubfield",
                                               QStringLiteral("每个含汉字的子字段（$a→$A，$e→$E…）(&H)"));
    subfieldButtons_[0]->setToolTip(
        QStringLiteral("只为 $a 加拼音，放在选定的 $A 或 $9 中：\n"
                       "200 1 $a红楼梦$Ahong lou meng$f曹雪芹著"));
    subfieldButtons_[1]->setToolTip(
        QStringLiteral("每个含汉字的小写代码子字段，拼音紧跟其后，代码为其大写字母（不用 $9）：\n"
                       "200 1 $a红楼梦$Ahong lou meng$f曹雪芹著$Fcao xue qin zhu\n"
                       "不含汉字的子字段（如 $v 中的数字）不加拼音"));

    polyphoneFrame_ = frame(this, "PolyphoneFrame", QStringLiteral("多音字"));
    polyphoneButtons_[0] =
        button<OptionButton>(polyphoneFrame_, "ManualChoice", QStringLiteral("人工选择多音字(&M)"));
    askOnlyWhenUnsure_ =
        button<CheckBox>(polyphoneFrame_, "AskOnlyWhenUnsure", QStringLiteral("仅在无法确定时询问(&U)"));
    askOnlyWhenUnsure_->setToolTip(QStringLiteral("人工选择时，词语或姓氏能确定读音的多音字不再询问"));
    reviewFirst_ =
        button<CheckBox>(polyphoneFrame_, "ReviewFirst", QStringLiteral("先列出没把握的字，统一审定(&R)"));
    reviewFirst_->setToolTip(
        QStringLiteral("先读完整个文件，把无法确定读音的字按词语列成一张表，审定后再写出"));
    polyphoneButtons_[1] =
        button<OptionButton>(polyphoneFrame_, "FirstReading", QStringLiteral("自动选择拼音(多音字)(&F)"));
    polyphoneButtons_[2] =
        button<OptionButton>(polyphoneFrame_, "ByWords", QStringLiteral("按词语自动选择(多音字)(&W)"));
    wordsPathLabel_ = new QLabel(polyphoneFrame_);
    wordsPathLabel_->setObjectName("WordsPath");
    wordsPathLabel_->setTextFormat(Qt::RichText);
    // The file opens in the desktop's text editor, or its path is shown to copy.
    connect(wordsPathLabel_, &QLabel::linkActivated, this,
            [this](const QString& link) { openOrShow(this, QUrl(link)); });
    // A long path wraps rather than widening the window; two lines always have room.
    wordsPathLabel_->setWordWrap(true);
    wordsPathLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    wordsPathLabel_->setMinimumHeight(2 * wordsPathLabel_->fontMetrics().lineSpacing() + 2);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("Progress");
    progress_->setRange(0, kBarSteps);
    progress_->setValue(0);
    progress_->setFormat(QStringLiteral("已读 %p%"));
    countLabel_ = new QLabel(this);
    countLabel_->setObjectName("Count");
    countLabel_->setText(QStringLiteral("已处理 0 条"));
    countLabel_->setMinimumWidth(
        countLabel_->fontMetrics().horizontalAdvance(QStringLiteral("已处理 0,000,000 条")));

    startButton_ = button<QPushButton>(this, "Start", QStringLiteral("开始处理(&S)"));
    exitButton_ = button<QPushButton>(this, "Exit", QStringLiteral("退出(&X)"));
    for (QPushButton* b : {startButton_, exitButton_}) b->setMinimumSize(px(1095), px(495));

    rulesLink_ = new LinkLabel(QString::fromUtf8(kLinkText), QUrl(QString::fromUtf8(kLinkAddress)), this);
    rulesLink_->setObjectName("RulesLink");

    // The pairs, each one exclusive group; the start-up selection of the run settings.
    group(this, {existingButtons_[0], existingButtons_[1]})->setObjectName("ExistingPinyin");
    group(this, {caseButtons_[0], caseButtons_[1]})->setObjectName("LetterCase");
    group(this, {codeButtons_[0], codeButtons_[1]})->setObjectName("PinyinCode");
    group(this, {subfieldButtons_[0], subfieldButtons_[1]})->setObjectName("Subfields");
    existingButtons_[0]->setChecked(true);
    caseButtons_[1]->setChecked(true);
    codeButtons_[0]->setChecked(true);
    subfieldButtons_[0]->setChecked(true);
    polyphoneButtons_[2]->setChecked(true);  // the words decide until the user chooses otherwise

    for (int i = 0; i < 2; ++i)
        connect(pathButtons_[i], &QPushButton::clicked, this, [this, i] { choosePath(i); });
    connect(startButton_, &QPushButton::clicked, this, [this] { start(); });
    connect(exitButton_, &QPushButton::clicked, this, [this] { close(); });
}

void MainWindow::layOut() {
    auto* paths = new QGridLayout(pathFrame_);
    paths->addWidget(pathBoxes_[0], 0, 0);
    paths->addWidget(pathButtons_[0], 0, 1);
    paths->addWidget(pathBoxes_[1], 1, 0);
    paths->addWidget(pathButtons_[1], 1, 1);
    paths->addWidget(outputNote_, 2, 0, 1, 2);

    row(tagFrame_, {tagList_});
    row(existingFrame_, {existingButtons_[0], existingButtons_[1]});
    // The spacing choice on a line of its own, so the window grows no wider.
    auto* scheme = new QGridLayout(spellingFrame_);
    scheme->addWidget(caseButtons_[0], 0, 0);
    scheme->addWidget(caseButtons_[1], 0, 1);
    scheme->addWidget(checkSpacing_, 1, 0, 1, 2);
    auto* code = new QGridLayout(codeFrame_);
    code->addWidget(codeButtons_[0], 0, 0);
    code->addWidget(codeButtons_[1], 0, 1);
    code->addWidget(subfieldButtons_[0], 1, 0);
    code->addWidget(subfieldButtons_[1], 1, 1);
    code->setColumnStretch(0, 1);
    code->setColumnStretch(1, 1);

    // The quieter manual mode under manual choice, indented as a part of it; the two automatic
    // modes beside them.
    auto* polyphone = new QGridLayout(polyphoneFrame_);
    polyphone->addWidget(polyphoneButtons_[0], 0, 0);
    polyphone->addWidget(polyphoneButtons_[1], 0, 1);
    polyphone->addWidget(askOnlyWhenUnsure_, 1, 0);
    polyphone->addWidget(polyphoneButtons_[2], 1, 1);
    polyphone->addWidget(reviewFirst_, 2, 0);
    polyphone->addWidget(wordsPathLabel_, 3, 0, 1, 2);
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    askOnlyWhenUnsure_->setContentsMargins(indent, 0, 0, 0);
    reviewFirst_->setContentsMargins(indent, 0, 0, 0);
    polyphone->setColumnStretch(0, 1);
    polyphone->setColumnStretch(1, 1);

    auto* progress = new QHBoxLayout;
    progress->addWidget(progress_, 1);
    progress->addWidget(countLabel_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(startButton_);
    buttons->addSpacing(px(225));
    buttons->addWidget(exitButton_);
    buttons->addStretch();

    auto* window = new QVBoxLayout(this);
    // Spare height goes to the tag box, where a long list wraps.
    for (QGroupBox* f : {pathFrame_, tagFrame_, existingFrame_, spellingFrame_, codeFrame_, polyphoneFrame_})
        window->addWidget(f, f == tagFrame_ ? 1 : 0);
    window->addLayout(progress);
    window->addLayout(buttons);
    window->addWidget(rulesLink_, 0, Qt::AlignHCenter);

    // Tab follows the reading order: down the frames, left to right within each.
    QWidget* const order[] = {pathBoxes_[0],
                              pathButtons_[0],
                              pathBoxes_[1],
                              pathButtons_[1],
                              tagList_,
                              existingButtons_[0],
                              existingButtons_[1],
                              caseButtons_[0],
                              caseButtons_[1],
                              checkSpacing_,
                              codeButtons_[0],
                              codeButtons_[1],
                              subfieldButtons_[0],
                              subfieldButtons_[1],
                              polyphoneButtons_[0],
                              polyphoneButtons_[1],
                              askOnlyWhenUnsure_,
                              polyphoneButtons_[2],
                              reviewFirst_,
                              startButton_,
                              exitButton_,
                              rulesLink_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    resize(sizeHint());
}

void MainWindow::connectSettings() {
    // The quieter mode is a kind of manual choice.
    auto* polyphone = group(this, {polyphoneButtons_[0], polyphoneButtons_[1], polyphoneButtons_[2]});
    polyphone->setObjectName("PolyphoneMode");
    connect(polyphone, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on) askOnlyWhenUnsure_->setEnabled(id == 0);
        if (on) reviewFirst_->setEnabled(id == 0);
    });
    askOnlyWhenUnsure_->setEnabled(polyphoneButtons_[0]->isChecked());
    reviewFirst_->setEnabled(polyphoneButtons_[0]->isChecked());
    // The tag frame names the subfield code chosen. Where every subfield gets its own, the code
    // is the capital of each subfield's: $9 is not offered.
    const auto caption = [this] {
        const bool every = subfieldButtons_[1]->isChecked();
        codeButtons_[0]->setEnabled(!every);
        codeButtons_[1]->setEnabled(!every);
        tagFrame_->setTitle(every
                                ? QStringLiteral("需要为含汉字的子字段添加拼音（$a→$A，$e→$E…）的字段有哪些?")
                                : QStringLiteral("需要添加$%1拼音字段的有哪些?")
                                      .arg(codeButtons_[0]->isChecked() ? 'A' : '9'));
    };
    connect(codeButtons_[0], &QRadioButton::toggled, this, caption);
    connect(subfieldButtons_[1], &QRadioButton::toggled, this, caption);
    caption();
}

pinyin::RunSettings MainWindow::settings() const {
    pinyin::RunSettings s;
    s.tagList = tagList_->text().toStdString();
    s.useCodeA = codeButtons_[0]->isChecked();
    s.subfields = subfieldButtons_[1]->isChecked() ? pinyin::Subfields::Chinese : pinyin::Subfields::A;
    s.delExisting = existingButtons_[0]->isChecked();
    s.letterCase = caseButtons_[1]->isChecked() ? pinyin::LetterCase::Lower : pinyin::LetterCase::Capitalised;
    s.spacing = checkSpacing_->isChecked() ? pinyin::Spacing::Apart : pinyin::Spacing::Glued;
    s.polyphone = polyphoneButtons_[1]->isChecked()   ? pinyin::Polyphone::Automatic
                  : polyphoneButtons_[2]->isChecked() ? pinyin::Polyphone::Phrase
                                                      : pinyin::Polyphone::Manual;
    s.askOnlyWhenUnsure = askOnlyWhenUnsure_->isChecked();
    return s;
}

void MainWindow::showSettings(const pinyin::RunSettings& s) {
    tagList_->setText(QString::fromStdString(s.tagList));
    tagList_->setCursorPosition(0);
    codeButtons_[s.useCodeA ? 0 : 1]->setChecked(true);
    subfieldButtons_[s.subfields == pinyin::Subfields::Chinese ? 1 : 0]->setChecked(true);
    existingButtons_[s.delExisting ? 0 : 1]->setChecked(true);
    caseButtons_[s.letterCase == pinyin::LetterCase::Lower ? 1 : 0]->setChecked(true);
    checkSpacing_->setChecked(s.spacing == pinyin::Spacing::Apart);
    polyphoneButtons_[s.polyphone == pinyin::Polyphone::Automatic ? 1
                      : s.polyphone == pinyin::Polyphone::Phrase  ? 2
                                                                  : 0]
        ->setChecked(true);
    askOnlyWhenUnsure_->setChecked(s.askOnlyWhenUnsure);
}

void MainWindow::lock(bool locked) {
    // Everything that decides the output, from the press of the start button to the end message.
    for (QWidget* w : std::initializer_list<QWidget*>{pathFrame_, tagFrame_, existingFrame_, spellingFrame_,
                                                      codeFrame_, polyphoneFrame_, startButton_})
        w->setEnabled(!locked);
    setAcceptDrops(!locked);
}

void MainWindow::setPaths(const QString& input, const QString& output) {
    if (!input.isEmpty()) pathBoxes_[0]->setText(QFileInfo(input).absoluteFilePath());
    if (!output.isEmpty()) {
        pathBoxes_[1]->setText(QFileInfo(output).absoluteFilePath());
        outputFromEarlier_ = false;
        outputNote_->hide();
    } else if (!input.isEmpty()) {
        suggestOutputFor(input);
    }
}

QString MainWindow::suggestedOutput(const QString& input) {
    const QFileInfo info(input);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-pinyin.iso"));
}

void MainWindow::suggestOutputFor(const QString& input) {
    // An output chosen in this session stays; one from an earlier session is not reused silently.
    if (!outputFromEarlier_ && !pathBoxes_[1]->text().isEmpty()) return;
    const QString output = suggestedOutput(input);
    pathBoxes_[1]->setText(output);
    outputFromEarlier_ = false;
    outputNote_->setText(QFileInfo::exists(output)
                             ? QStringLiteral("输出文件已存在：处理结果将追加到它的末尾，原有内容保留。")
                             : QStringLiteral("输出文件按输入文件命名（不沿用上次的输出文件）。"));
    outputNote_->show();
}

void MainWindow::choosePath(int index) {
    if (index != 0 && index != 1) return;
    const bool open = index == 0;
    // Each dialog opens in the folder of the path its box holds, else where the last one ended.
    const QString folder = QFileInfo(pathBoxes_[index]->text()).absolutePath();
    const bool known = !pathBoxes_[index]->text().isEmpty() && QFileInfo(folder).isDir();
    const QString chosen = showFileDialog(
        open ? -1 : 0, open ? QStringLiteral("选择待处理的MARC文件") : QStringLiteral("保存处理后的MARC文件"),
        kMarcFilter, 0, 0, known ? folder : QStringLiteral("0"), {}, this);
    if (chosen.isEmpty()) return;  // cancelled: the box keeps what it held
    pathBoxes_[index]->setText(chosen);
    if (open) {
        suggestOutputFor(chosen);
    } else {
        outputFromEarlier_ = false;
        outputNote_->hide();
    }
}

void MainWindow::start() {
    // A press during a run is refused outright (the button is disabled then too).
    if (running_) return;
    if (!pathsUsable() || !tagsUsable()) return;
    const QString input = pathBoxes_[0]->text();
    const QString output = pathBoxes_[1]->text();
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

void MainWindow::error(const QString& text) { messageBox(this, QMessageBox::Critical, kErrorTitle, text); }

void MainWindow::note(const QString& text, bool warning) {
    messageBox(this, warning ? QMessageBox::Warning : QMessageBox::Information, kNoteTitle, text);
}

app::BatchOptions MainWindow::batchOptions(const QString& input, const QString& output) const {
    app::BatchOptions options;
    // Absolute paths: a file the user named "-" is a file, not a standard stream.
    options.inputPath = localPath(QFileInfo(input).absoluteFilePath());
    options.outputPath = localPath(QFileInfo(output).absoluteFilePath());
    options.dbPath = dataPath;
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
bool MainWindow::loadWords() {
    showWordsPath();
    words_ = std::make_shared<pinyin::UserWords>();
    try {
        if (QFileInfo::exists(QFile::decodeName(wordsPath.c_str()))) words_->load(wordsPath);
    } catch (const pinyin::WordsError& e) {
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.problem)));
        return false;
    }
    return true;
}

std::shared_ptr<const pinyin::PinyinTable> MainWindow::warnOfLoneCharacters() {
    if (!words_) return nullptr;
    if (words_->lone().empty()) return nullptr;
    std::shared_ptr<const pinyin::PinyinTable> table;
    try {
        table = pinyin::PinyinTable::load(dataPath);
    } catch (const pinyin::DbError&) {
        return nullptr;  // the run says what is wrong with py.db
    }
    QStringList polyphonic;
    for (const std::string& word : pinyin::lonePolyphonic(*words_, *table))
        polyphonic << QString::fromStdString(word);
    if (!polyphonic.isEmpty())
        note(QStringLiteral(
                 "本馆词表中有单个的多音字：%1\n词表中的单字决定含这个字的每个词的读音"
                 "（如词表中的“行”也用于“银行”）。\n本次处理照常进行；如非本意，请从词表中删去这些行：\n%2")
                 .arg(polyphonic.join(QStringLiteral("、")), QFile::decodeName(wordsPath.c_str())),
             true);
    return table;
}

void MainWindow::runBatch(const QString& input, const QString& output, std::int64_t skip) {
    app::BatchOptions options = batchOptions(input, output);
    options.skip = skip;
    // The run keeps the settings it starts with, whatever happens to the controls meanwhile.
    runSettings_ = settings();
    // A fresh start: the program's name in the caption, nothing counted, nothing read.
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    progress_->setValue(0);
    countLabel_->setText(QStringLiteral("已处理 0 条"));
    chooser_.beginRun();
    if (!loadWords()) return;
    options.words = words_;
    options.table = warnOfLoneCharacters();
    std::optional<app::ReviewAnswers> answers;
    if (reviews()) {
        if (!review(options, answers)) return;
        progress_->setValue(0);  // the run with the answers reads the input again
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
                error(QStringLiteral("无法记入本馆词表：\n%1").arg(chinese(e.problem)));
            }
        if (!remembered.empty()) showWordsPath();
    } catch (const problem::Error& e) {
        finish();
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.problem)));
        return;
    } catch (const std::exception& e) {
        // A fault of the program itself, no problem the core names, ends the run where it
        // stands; the window must live on to say so.
        finish();
        problem::Problem p;
        p.detail = e.what();
        error(QStringLiteral("处理中断：%1").arg(chinese(p)));
        return;
    }
    finish();
    if (result.read > 0) setCount(result.read);  // a file without records leaves the caption
    if (!result.stopped) progress_->setValue(kBarSteps);
    // Where a stopped run ended, for the next start on this pair; a finished run leaves nothing.
    if (result.stopped && result.nextRecord > 1)
        saveResume(input, output, runSettings_, result.nextRecord - 1);
    else
        forgetResume();
    showOutcome(result, output, run.foundListed());
}

bool MainWindow::reviews() const { return polyphoneButtons_[0]->isChecked() && reviewFirst_->isChecked(); }

bool MainWindow::review(const app::BatchOptions& options, std::optional<app::ReviewAnswers>& answers) {
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
    } catch (const problem::Error& e) {
        finish();
        error(QStringLiteral("无法开始处理：\n%1").arg(chinese(e.problem)));
        return false;
    }
    finish();
    progress_->setValue(kBarSteps);
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

void MainWindow::showOutcome(const app::BatchResult& result, const QString& output, bool foundListed) {
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
        text = QStringLiteral(
                   "没有找到要加拼音的字段：%1 条记录中都没有字段 %2，没有添加任何拼音。\n"
                   "请检查“需要添加拼音的字段”（如 200,225，字段号是三个数字）。\n\n%3")
                   .arg(result.read)
                   .arg(QString::fromStdString(runSettings_.tagList), figures);
        warning = true;
    } else {
        text = QStringLiteral("恭喜，已处理完毕!\n\n") + figures;
    }
    if (result.repeatsOutputEnd > 0) {
        text += QStringLiteral(
                    "\n\n注意：本次写入的第 %1 条记录与输出文件原有的最后一条记录完全相同，"
                    "输出文件可能已含有这些记录（同一文件处理了两次？）。")
                    .arg(result.repeatsOutputEnd);
        warning = true;
    }
    if (!result.asciiOnly)
        text += QStringLiteral("\n\n文件编码：%1（自动识别）")
                    .arg(QString::fromStdString(messages::codePageName(result.encoding)));
    note(text, warning);
}

void MainWindow::remember(const pinyin::WordEntry& entry) {
    try {
        pinyin::appendWord(wordsPath, entry.word, entry.syllables);
        // The rest of the run reads it too.
        if (words_) words_->add(entry.word, entry.syllables);
        showWordsPath();
    } catch (const pinyin::WordsError& e) {
        error(e.problem.osError ? QStringLiteral("无法记入本馆词表：%1\n请检查词表所在的文件夹是否可写入。")
                                      .arg(QString::fromStdString(
                                          messages::osError(e.problem.osError, messages::Language::Chinese)))
                                : QStringLiteral("无法记入本馆词表：这个词不能写入词表。"));
    }
}

void MainWindow::setCount(std::int64_t count) {
    setWindowTitle(QStringLiteral("已处理:%1条！").arg(count));
    countLabel_->setText(QStringLiteral("已处理 %1 条").arg(count));
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    rulesLink_->setIdle();
    QWidget::mouseMoveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Local files only: a web address or a piece of text is refused.
    if (!running_ && !droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (running_ || files.isEmpty()) return;
    QWidget* target = childAt(event->position().toPoint());
    const bool onOutput = target == pathBoxes_[1] || target == pathButtons_[1];
    // A drop replaces the path of its box, with the first file.
    if (onOutput || files.size() > 1) {
        pathBoxes_[1]->setText(files[onOutput ? 0 : 1]);
        outputFromEarlier_ = false;
        outputNote_->hide();
    }
    if (!onOutput) {
        pathBoxes_[0]->setText(files[0]);
        if (files.size() == 1) suggestOutputFor(files[0]);
    }
    event->acceptProposedAction();
}

}  // namespace gui
