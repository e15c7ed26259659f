// The chooser window and its adapter to the lookup's question.
#include "form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>

#include "pinyin/readings.h"
#include "pinyin/words.h"
#include "twips.h"

namespace gui {

namespace {

// The text box draws a selection in the palette's colours over every character, which would
// hide the red of the asked character inside a marked word: it is drawn red again on top.
class MarkedText final : public QTextEdit {
public:
    using QTextEdit::QTextEdit;
    int red = -1;  ///< 0-based document position of the asked character, -1 for none

protected:
    void paintEvent(QPaintEvent* event) override {
        QTextEdit::paintEvent(event);
        const QTextCursor selection = textCursor();
        if (red < 0 || !selection.hasSelection() || red < selection.selectionStart() ||
            red >= selection.selectionEnd())
            return;
        const QTextBlock block = document()->findBlock(red);
        const QTextLayout* layout = block.layout();
        if (!layout) return;
        const int at = red - block.position();
        const QTextLine line = layout->lineForTextPosition(at);
        if (!line.isValid()) return;
        const int length = QChar::isHighSurrogate(block.text().at(at).unicode()) ? 2 : 1;
        const QPointF origin = document()->documentLayout()->blockBoundingRect(block).topLeft() -
                               QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
        const qreal left = line.cursorToX(at), right = line.cursorToX(at + length);
        QPainter painter(viewport());
        painter.fillRect(QRectF(origin.x() + left, origin.y() + line.y(), right - left, line.height()),
                         palette().brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
        painter.setFont(font());
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(QPointF(origin.x() + left, origin.y() + line.y() + line.ascent()),
                         block.text().mid(at, length));
    }
};

// Whether the text from `from` to `to` (1-based UTF-16 positions, both included) holds two
// Chinese characters or more.
bool twoCharactersOrMore(const QString& text, int from, int to) {
    int han = 0;
    for (int i = std::max(from, 1) - 1; i < to && i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (pinyin::isHan(c)) ++han;
    }
    return han >= 2;
}

}  // namespace

Form2::Form2(QWidget* parent)
    // No close button: the only way out is a choice. A close that skipped the choice would leave
    // the lookup with the previous character's reading for this one.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral("选择多音字读音"));
    buildControls();
    layOut();
    connectActions();
}

void Form2::buildControls() {
    label3_ = new QLabel(this);
    label3_->setObjectName("Label3");
    label3_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    label4_ = new QLabel(this);
    label4_->setObjectName("Label4");
    label4_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    richTextBox1_ = new MarkedText(this);
    richTextBox1_->setObjectName("RichTextBox1");
    richTextBox1_->setReadOnly(true);
    richTextBox1_->setFont(pointFont("SimSun", 12));
    richTextBox1_->setFocusPolicy(Qt::ClickFocus);

    list1_ = new QListWidget(this);
    list1_->setObjectName("List1");
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setFixedWidth(px(1275));

    label2_ = new QLabel(this);
    label2_->setObjectName("Label2");
    label2_->setFont(pointFont("SimSun", 15.75));
    label2_->setAlignment(Qt::AlignCenter);
    QPalette labelColours = label2_->palette();
    labelColours.setColor(QPalette::WindowText, QColor(0, 0, 64));
    label2_->setPalette(labelColours);

    command1_ = new QPushButton(QStringLiteral("选择(&S)"), this);
    command1_->setObjectName("Command1");
    command1_->setDefault(true);

    // Enter always takes the selected reading: the other buttons never become the default.
    const auto extra = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setToolTip(tip);
        return b;
    };
    command2_ = extra("Command2", QStringLiteral("本次都用此读音(&A)"),
                      QStringLiteral("本次处理中再遇到这个字都用所选读音，不再询问"));
    command3_ = extra("Command3", QStringLiteral("其余自动(&R)"),
                      QStringLiteral("本次处理中其余的多音字按词语自动选择，不再询问"));
    command4_ = extra("Command4", QStringLiteral("停止处理(&T)"),
                      QStringLiteral("本条记录处理完后停止，已写入的记录保留"));

    check1_ = new QCheckBox(QStringLiteral("记住此读音(&M)"), this);
    check1_->setObjectName("Check1");
    connect(richTextBox1_, &QTextEdit::selectionChanged, this, [this] { updateRemember(); });

    labelHint_ = new QLabel(this);
    labelHint_->setObjectName("LabelHint");
    QPalette hintColours = labelHint_->palette();
    hintColours.setColor(QPalette::WindowText, QColor(160, 0, 0));
    labelHint_->setPalette(hintColours);
}

void Form2::layOut() {
    auto* grid = new QGridLayout(this);
    grid->addWidget(label3_, 0, 0);
    grid->addWidget(label4_, 0, 1);
    grid->addWidget(richTextBox1_, 1, 0, 2, 1);
    grid->addWidget(list1_, 1, 1);
    auto* pick = new QHBoxLayout;
    pick->addWidget(label2_);
    pick->addWidget(command1_);
    grid->addLayout(pick, 2, 1);
    auto* more = new QHBoxLayout;
    more->addStretch();
    more->addWidget(command2_);
    more->addWidget(command3_);
    more->addWidget(command4_);
    grid->addWidget(check1_, 3, 1);
    grid->addLayout(more, 4, 0, 1, 2);
    grid->addWidget(labelHint_, 5, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    // No smaller than the layout needs, nor than the window was first drawn.
    setMinimumSize(grid->minimumSize().expandedTo(QSize(px(5340), px(2445))));
    resize(px(6600), px(3300));
}

/// The tab order follows the eye (readings, their button, the options below); every button
/// hands the selected reading back with what follows it.
void Form2::connectActions() {
    setTabOrder(list1_, command1_);
    setTabOrder(command1_, check1_);
    setTabOrder(check1_, command2_);
    setTabOrder(command2_, command3_);
    setTabOrder(command3_, command4_);
    connect(command1_, &QPushButton::clicked, this, [this] { choose(Then::Ask); });
    connect(list1_, &QListWidget::itemDoubleClicked, this, [this] { choose(Then::Ask); });
    connect(command2_, &QPushButton::clicked, this, [this] { choose(Then::SameInRun); });
    connect(command3_, &QPushButton::clicked, this, [this] { choose(Then::AutoRest); });
    connect(command4_, &QPushButton::clicked, this, [this] { choose(Then::Stop); });
}

QStringList Form2::readingsOf(const QString& pystr) {
    QStringList out;
    const std::string readings = pystr.toStdString();
    for (std::string_view r : pinyin::splitReadings(readings))
        out << QString::fromUtf8(r.data(), static_cast<qsizetype>(r.size()));
    return out;
}

void Form2::load() {
    choice_.reset();
    then_ = Then::Ask;
    preselected_ = false;
    label2_->setText(hz);
    label3_->setText(where);
    labelHint_->clear();
    // Which character is asked, counted in characters: two alike in one text stay apart.
    int character = 0;
    for (int i = 0; i < DyStr && i < AllHz.size(); ++i)
        if (!AllHz.at(i).isLowSurrogate()) ++character;
    label4_->setText(DyStr >= 1 && DyStr <= AllHz.size() ? QStringLiteral("第 %1 个字").arg(character) : QString());
    list1_->clear();
    // Shown in the run's letter case; the answer is the reading as stored.
    for (const QString& reading : readingsOf(pystr)) {
        auto* item = new QListWidgetItem(lowerCase ? reading.toLower() : reading, list1_);
        item->setData(Qt::UserRole, reading);
    }

    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(69, 238, 255));
    setPalette(background);

    check1_->setChecked(false);
    auto* text = static_cast<MarkedText*>(richTextBox1_);
    text->red = DyStr >= 1 && DyStr <= AllHz.size() ? DyStr - 1 : -1;
    richTextBox1_->setPlainText(AllHz);
    // Document positions count UTF-16 code units, as DyStr does.
    if (DyStr >= 1 && DyStr <= AllHz.size()) {
        QTextCursor cursor(richTextBox1_->document());
        cursor.setPosition(DyStr - 1);
        cursor.setPosition(DyStr, QTextCursor::KeepAnchor);
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        cursor.mergeCharFormat(red);
    }
    // The word the phrase data found stands marked: what "记住此读音" remembers unless the
    // user marks other characters.
    if (!word.isEmpty() && wordAt >= 1 && wordAt - 1 + word.size() <= AllHz.size()) {
        QTextCursor cursor(richTextBox1_->document());
        cursor.setPosition(wordAt - 1);
        cursor.setPosition(wordAt - 1 + static_cast<int>(word.size()), QTextCursor::KeepAnchor);
        richTextBox1_->setTextCursor(cursor);
    }
    updateRemember();
    scrollToCharacter();
}

void Form2::updateRemember() {
    // What would be remembered: the marked characters when they take in the asked one, else
    // the word the phrase data found.
    auto [from, to] = marked();
    if (from < 1 || from > DyStr || to < DyStr) {
        from = wordAt;
        to = word.isEmpty() ? 0 : wordAt - 1 + static_cast<int>(word.size());
    }
    const bool enough = DyStr >= 1 && twoCharactersOrMore(AllHz, from, to);
    check1_->setEnabled(enough);
    if (!enough) check1_->setChecked(false);
    check1_->setToolTip(enough ? QStringLiteral("把“%1”连同所选读音记入本馆词表，以后不再询问")
                                   .arg(AllHz.mid(from - 1, to - from + 1))
                             : QStringLiteral("单个字不能记住：它会改变含这个字的每个词的读音。\n"
                                              "要记住，请在文中标出含这个字的词（至少两个字）。"));
}

void Form2::hint() {
    labelHint_->setText(QStringLiteral("请选择一个读音后按“选择”；要结束处理，请按“停止处理”。"));
}

void Form2::scrollToCharacter() {
    QScrollBar* bar = richTextBox1_->verticalScrollBar();
    if (DyStr < 1 || DyStr > AllHz.size()) {
        bar->setValue(0);
        return;
    }
    // The red character's line in the middle of the box, so the words around it show too.
    QTextCursor at(richTextBox1_->document());
    at.setPosition(DyStr - 1);
    const QRect line = richTextBox1_->cursorRect(at);
    bar->setValue(bar->value() + line.center().y() - richTextBox1_->viewport()->height() / 2);
}

bool Form2::remember() const { return check1_->isChecked(); }

std::pair<int, int> Form2::marked() const {
    const QTextCursor cursor = richTextBox1_->textCursor();
    if (!cursor.hasSelection()) return {0, 0};
    return {cursor.selectionStart() + 1, cursor.selectionEnd()};
}

void Form2::preselect() {
    // Once per showing: a reading the user has picked is not taken back when the window is
    // activated again.
    if (preselected_ || list1_->count() == 0) return;
    preselected_ = true;
    list1_->setCurrentRow(suggested >= 0 && suggested < list1_->count() ? suggested : 0);
    list1_->setFocus();
}

void Form2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    scrollToCharacter();
    preselect();
}

void Form2::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    scrollToCharacter();
}

bool Form2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) preselect();
    return QDialog::event(event);
}

void Form2::choose(Then then) {
    const QList<QListWidgetItem*> selected = list1_->selectedItems();
    QListWidgetItem* item = selected.isEmpty() ? list1_->currentItem() : selected.constLast();
    if (!item) return;  // nothing to hand back yet: the window stays
    choice_ = item->data(Qt::UserRole).toString();
    then_ = then;
    accept();
}

void Form2::reject() {
    // Escape and the window manager's close request: refused, the lookup needs a reading.
    hint();
}

void Form2::closeEvent(QCloseEvent* event) {
    if (choice_) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
        hint();
    }
}

DialogChooser::DialogChooser(std::function<void(const std::string&)> onChosen,
                             std::function<void(const pinyin::WordEntry&)> onRemember)
    : onChosen_(std::move(onChosen)), onRemember_(std::move(onRemember)) {}

void DialogChooser::beginRun() {
    sameInRun_.clear();
    automatic_ = false;
    stop_ = false;
    asked_ = 0;
    where_.clear();
}

std::optional<std::string> DialogChooser::choose(const pinyin::ChooserRequest& request) {
    std::string reading;
    // "The same word everywhere else": the word the phrase data found around the character, or
    // the character alone where it found none (行 in 银行 and in 行动 are asked apart).
    const std::string sameKey = request.word.empty() ? request.character : request.word + "\t" + request.character;
    if (auto same = sameInRun_.find(sameKey); same != sameInRun_.end()) {
        reading = same->second;
    } else if (automatic_) {
        // The phrase mode's answer: the suggestion, which is the first reading when the words
        // around say nothing.
        const std::vector<std::string_view> readings = pinyin::splitReadings(request.readings);
        if (readings.empty()) return std::nullopt;
        const std::size_t i = request.suggested >= 0 ? static_cast<std::size_t>(request.suggested) : 0;
        reading = std::string(readings[i < readings.size() ? i : 0]);
    } else {
        Form2 form;
        form.pystr = QString::fromStdString(request.readings);
        form.hz = QString::fromStdString(request.character);
        form.AllHz = QString::fromStdString(request.text);
        form.DyStr = request.position;
        form.suggested = request.suggested;
        form.lowerCase = lowerCase_;
        form.where = where_;
        form.word = QString::fromStdString(request.word);
        form.wordAt = request.wordAt;
        form.load();
        ++asked_;
        form.exec();
        if (!form.choice()) return std::nullopt;
        reading = form.choice()->toStdString();
        if (form.remember() && onRemember_) {
            const auto [from, to] = form.marked();
            if (auto entry = pinyin::wordToRemember(request, reading, from, to)) onRemember_(*entry);
        }
        switch (form.then()) {
        case Form2::Then::Ask:
            break;
        case Form2::Then::SameInRun:
            sameInRun_[sameKey] = reading;
            break;
        case Form2::Then::Stop:
            // The rest of the current record is read automatically; the run ends after it.
            stop_ = true;
            [[fallthrough]];
        case Form2::Then::AutoRest:
            automatic_ = true;
            break;
        }
    }
    if (onChosen_) onChosen_(reading);
    return reading;
}

}  // namespace gui
