// The chooser window and its adapter to the lookup's question.
#include "reading_chooser.h"

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
        painter.fillRect(
            QRectF(origin.x() + left, origin.y() + line.y(), right - left, line.height()),
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

ReadingChooser::ReadingChooser(QWidget* parent)
    // No close button: the only way out is a choice. A close that skipped the choice would leave
    // the lookup with the previous character's reading for this one.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("ReadingChooser");
    setWindowTitle(QStringLiteral("选择多音字读音"));
    buildControls();
    layOut();
    connectActions();
}

void ReadingChooser::buildControls() {
    whereLabel_ = new QLabel(this);
    whereLabel_->setObjectName("Where");
    whereLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    positionLabel_ = new QLabel(this);
    positionLabel_->setObjectName("Position");
    positionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    textView_ = new MarkedText(this);
    textView_->setObjectName("Text");
    textView_->setReadOnly(true);
    textView_->setFont(pointFont("SimSun", 12));
    textView_->setFocusPolicy(Qt::ClickFocus);

    readingList_ = new QListWidget(this);
    readingList_->setObjectName("Readings");
    readingList_->setSelectionMode(QAbstractItemView::SingleSelection);
    readingList_->setFixedWidth(px(1275));

    characterLabel_ = new QLabel(this);
    characterLabel_->setObjectName("Character");
    characterLabel_->setFont(pointFont("SimSun", 15.75));
    characterLabel_->setAlignment(Qt::AlignCenter);
    QPalette labelColours = characterLabel_->palette();
    labelColours.setColor(QPalette::WindowText, QColor(0, 0, 64));
    characterLabel_->setPalette(labelColours);

    chooseButton_ = new QPushButton(QStringLiteral("选择(&S)"), this);
    chooseButton_->setObjectName("Choose");
    chooseButton_->setDefault(true);

    // Enter always takes the selected reading: the other buttons never become the default.
    const auto extra = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setToolTip(tip);
        return b;
    };
    sameInRunButton_ = extra("SameInRun", QStringLiteral("本次都用此读音(&A)"),
                             QStringLiteral("本次处理中再遇到这个字都用所选读音，不再询问"));
    autoRestButton_ = extra("AutoRest", QStringLiteral("其余自动(&R)"),
                            QStringLiteral("本次处理中其余的多音字按词语自动选择，不再询问"));
    stopButton_ = extra("Stop", QStringLiteral("停止处理(&T)"),
                        QStringLiteral("本条记录处理完后停止，已写入的记录保留"));

    rememberBox_ = new QCheckBox(QStringLiteral("记住此读音(&M)"), this);
    rememberBox_->setObjectName("Remember");
    connect(textView_, &QTextEdit::selectionChanged, this, [this] { updateRemember(); });

    hintLabel_ = new QLabel(this);
    hintLabel_->setObjectName("Hint");
    QPalette hintColours = hintLabel_->palette();
    hintColours.setColor(QPalette::WindowText, QColor(160, 0, 0));
    hintLabel_->setPalette(hintColours);
}

void ReadingChooser::layOut() {
    auto* grid = new QGridLayout(this);
    grid->addWidget(whereLabel_, 0, 0);
    grid->addWidget(positionLabel_, 0, 1);
    grid->addWidget(textView_, 1, 0, 2, 1);
    grid->addWidget(readingList_, 1, 1);
    auto* pick = new QHBoxLayout;
    pick->addWidget(characterLabel_);
    pick->addWidget(chooseButton_);
    grid->addLayout(pick, 2, 1);
    auto* more = new QHBoxLayout;
    more->addStretch();
    more->addWidget(sameInRunButton_);
    more->addWidget(autoRestButton_);
    more->addWidget(stopButton_);
    grid->addWidget(rememberBox_, 3, 1);
    grid->addLayout(more, 4, 0, 1, 2);
    grid->addWidget(hintLabel_, 5, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    // No smaller than the layout needs, nor than the window was first drawn.
    setMinimumSize(grid->minimumSize().expandedTo(QSize(px(5340), px(2445))));
    resize(px(6600), px(3300));
}

/// The tab order follows the eye (readings, their button, the options below); every button
/// hands the selected reading back with what follows it.
void ReadingChooser::connectActions() {
    setTabOrder(readingList_, chooseButton_);
    setTabOrder(chooseButton_, rememberBox_);
    setTabOrder(rememberBox_, sameInRunButton_);
    setTabOrder(sameInRunButton_, autoRestButton_);
    setTabOrder(autoRestButton_, stopButton_);
    connect(chooseButton_, &QPushButton::clicked, this, [this] { choose(Then::Ask); });
    connect(readingList_, &QListWidget::itemDoubleClicked, this, [this] { choose(Then::Ask); });
    connect(sameInRunButton_, &QPushButton::clicked, this, [this] { choose(Then::SameInRun); });
    connect(autoRestButton_, &QPushButton::clicked, this, [this] { choose(Then::AutoRest); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { choose(Then::Stop); });
}

QStringList ReadingChooser::readingsOf(const QString& readings) {
    QStringList out;
    const std::string stored = readings.toStdString();
    for (std::string_view r : pinyin::splitReadings(stored))
        out << QString::fromUtf8(r.data(), static_cast<qsizetype>(r.size()));
    return out;
}

void ReadingChooser::load(const Question& question) {
    q_ = question;
    choice_.reset();
    then_ = Then::Ask;
    preselected_ = false;
    characterLabel_->setText(q_.character);
    whereLabel_->setText(q_.where);
    hintLabel_->clear();
    // Which character is asked, counted in characters: two alike in one text stay apart.
    int character = 0;
    for (int i = 0; i < q_.position && i < q_.text.size(); ++i)
        if (!q_.text.at(i).isLowSurrogate()) ++character;
    positionLabel_->setText(q_.position >= 1 && q_.position <= q_.text.size()
                                ? QStringLiteral("第 %1 个字").arg(character)
                                : QString());
    readingList_->clear();
    // Shown in the run's letter case; the answer is the reading as stored.
    for (const QString& reading : readingsOf(q_.readings)) {
        auto* item = new QListWidgetItem(q_.lowerCase ? reading.toLower() : reading, readingList_);
        item->setData(Qt::UserRole, reading);
    }

    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(69, 238, 255));
    setPalette(background);

    rememberBox_->setChecked(false);
    auto* text = static_cast<MarkedText*>(textView_);
    text->red = q_.position >= 1 && q_.position <= q_.text.size() ? q_.position - 1 : -1;
    textView_->setPlainText(q_.text);
    // Document positions count UTF-16 code units, as the position does.
    if (q_.position >= 1 && q_.position <= q_.text.size()) {
        QTextCursor cursor(textView_->document());
        cursor.setPosition(q_.position - 1);
        cursor.setPosition(q_.position, QTextCursor::KeepAnchor);
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        cursor.mergeCharFormat(red);
    }
    // The word the phrase data found stands marked: what "记住此读音" remembers unless the
    // user marks other characters.
    if (!q_.word.isEmpty() && q_.wordAt >= 1 && q_.wordAt - 1 + q_.word.size() <= q_.text.size()) {
        QTextCursor cursor(textView_->document());
        cursor.setPosition(q_.wordAt - 1);
        cursor.setPosition(q_.wordAt - 1 + static_cast<int>(q_.word.size()), QTextCursor::KeepAnchor);
        textView_->setTextCursor(cursor);
    }
    updateRemember();
    scrollToCharacter();
}

void ReadingChooser::updateRemember() {
    // What would be remembered: the marked characters when they take in the asked one, else
    // the word the phrase data found.
    auto [from, to] = marked();
    if (from < 1 || from > q_.position || to < q_.position) {
        from = q_.wordAt;
        to = q_.word.isEmpty() ? 0 : q_.wordAt - 1 + static_cast<int>(q_.word.size());
    }
    const bool enough = q_.position >= 1 && twoCharactersOrMore(q_.text, from, to);
    rememberBox_->setEnabled(enough);
    if (!enough) rememberBox_->setChecked(false);
    rememberBox_->setToolTip(enough ? QStringLiteral("把“%1”连同所选读音记入本馆词表，以后不再询问")
                                          .arg(q_.text.mid(from - 1, to - from + 1))
                                    : QStringLiteral("单个字不能记住：它会改变含这个字的每个词的读音。\n"
                                                     "要记住，请在文中标出含这个字的词（至少两个字）。"));
}

void ReadingChooser::hint() {
    hintLabel_->setText(QStringLiteral("请选择一个读音后按“选择”；要结束处理，请按“停止处理”。"));
}

void ReadingChooser::scrollToCharacter() {
    QScrollBar* bar = textView_->verticalScrollBar();
    if (q_.position < 1 || q_.position > q_.text.size()) {
        bar->setValue(0);
        return;
    }
    // The red character's line in the middle of the box, so the words around it show too.
    QTextCursor at(textView_->document());
    at.setPosition(q_.position - 1);
    const QRect line = textView_->cursorRect(at);
    bar->setValue(bar->value() + line.center().y() - textView_->viewport()->height() / 2);
}

bool ReadingChooser::remember() const { return rememberBox_->isChecked(); }

std::pair<int, int> ReadingChooser::marked() const {
    const QTextCursor cursor = textView_->textCursor();
    if (!cursor.hasSelection()) return {0, 0};
    return {cursor.selectionStart() + 1, cursor.selectionEnd()};
}

void ReadingChooser::preselect() {
    // Once per showing: a reading the user has picked is not taken back when the window is
    // activated again.
    if (preselected_ || readingList_->count() == 0) return;
    preselected_ = true;
    readingList_->setCurrentRow(q_.suggested >= 0 && q_.suggested < readingList_->count() ? q_.suggested : 0);
    readingList_->setFocus();
}

void ReadingChooser::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    scrollToCharacter();
    preselect();
}

void ReadingChooser::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    scrollToCharacter();
}

bool ReadingChooser::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) preselect();
    return QDialog::event(event);
}

void ReadingChooser::choose(Then then) {
    const QList<QListWidgetItem*> selected = readingList_->selectedItems();
    QListWidgetItem* item = selected.isEmpty() ? readingList_->currentItem() : selected.constLast();
    if (!item) return;  // nothing to hand back yet: the window stays
    choice_ = item->data(Qt::UserRole).toString();
    then_ = then;
    accept();
}

void ReadingChooser::reject() {
    // Escape and the window manager's close request: refused, the lookup needs a reading.
    hint();
}

void ReadingChooser::closeEvent(QCloseEvent* event) {
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
    const std::string sameKey =
        request.word.empty() ? request.character : request.word + "\t" + request.character;
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
        ReadingChooser form;
        ReadingChooser::Question question;
        question.readings = QString::fromStdString(request.readings);
        question.character = QString::fromStdString(request.character);
        question.text = QString::fromStdString(request.text);
        question.position = request.position;
        question.suggested = request.suggested;
        question.lowerCase = lowerCase_;
        question.where = where_;
        question.word = QString::fromStdString(request.word);
        question.wordAt = request.wordAt;
        form.load(question);
        ++asked_;
        form.exec();
        if (!form.choice()) return std::nullopt;
        reading = form.choice()->toStdString();
        if (form.remember() && onRemember_) {
            const auto [from, to] = form.marked();
            if (auto entry = pinyin::wordToRemember(request, reading, from, to)) onRemember_(*entry);
        }
        switch (form.then()) {
            case ReadingChooser::Then::Ask:
                break;
            case ReadingChooser::Then::SameInRun:
                sameInRun_[sameKey] = reading;
                break;
            case ReadingChooser::Then::Stop:
                // The rest of the current record is read automatically; the run ends after it.
                stop_ = true;
                [[fallthrough]];
            case ReadingChooser::Then::AutoRest:
                automatic_ = true;
                break;
        }
    }
    if (onChosen_) onChosen_(reading);
    return reading;
}

}  // namespace gui
