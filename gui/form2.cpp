// The chooser window and its adapter to the lookup's question.
#include "form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include "twips.h"

namespace gui {

Form2::Form2(QWidget* parent)
    // No close button: the only way out is a choice. A close that skipped the choice would leave
    // the lookup with the previous character's reading for this one.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("Form2");
    setWindowTitle("Form2");
    setFixedSize(px(5340), px(2445));

    richTextBox1_ = new QTextEdit(this);
    richTextBox1_->setObjectName("RichTextBox1");
    richTextBox1_->setGeometry(twipsRect(60, 60, 3795, 2295));
    richTextBox1_->setReadOnly(true);
    richTextBox1_->setFont(pointFont("SimSun", 12));
    richTextBox1_->setFocusPolicy(Qt::ClickFocus);

    list1_ = new QListWidget(this);
    list1_->setObjectName("List1");
    list1_->setGeometry(twipsRect(3960, 60, 1275, 1440));
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);

    label2_ = new QLabel(this);
    label2_->setObjectName("Label2");
    label2_->setGeometry(twipsRect(4020, 1920, 375, 375));
    label2_->setFont(pointFont("SimSun", 15.75));
    QPalette labelColours = label2_->palette();
    labelColours.setColor(QPalette::WindowText, QColor(0, 0, 64));
    label2_->setPalette(labelColours);

    command1_ = new QPushButton(QStringLiteral("选择"), this);
    command1_->setObjectName("Command1");
    command1_->setGeometry(twipsRect(4440, 1920, 735, 375));
    command1_->setDefault(true);

    check1_ = new QCheckBox(QStringLiteral("记住此读音"), this);
    check1_->setObjectName("Check1");
    check1_->setGeometry(twipsRect(3960, 1560, 1275, 300));
    check1_->setToolTip(
        QStringLiteral("把标出的词（未标出时为这个字）连同所选读音记入本馆词表，以后不再询问"));

    setTabOrder(command1_, list1_);
    setTabOrder(list1_, check1_);
    connect(command1_, &QPushButton::clicked, this, &Form2::choose);
    connect(list1_, &QListWidget::itemDoubleClicked, this, &Form2::choose);
}

QStringList Form2::readingsOf(const QString& pystr) {
    QStringList out;
    for (const QString& piece : pystr.split(QLatin1Char(' ')))
        if (!piece.trimmed().isEmpty()) out << piece;
    return out;
}

void Form2::load() {
    choice_.reset();
    preselected_ = false;
    label2_->setText(hz);
    list1_->clear();
    list1_->addItems(readingsOf(pystr));

    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(69, 238, 255));
    setPalette(background);

    check1_->setChecked(false);
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
    preselect();
}

bool Form2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) preselect();
    return QDialog::event(event);
}

void Form2::choose() {
    const QList<QListWidgetItem*> selected = list1_->selectedItems();
    QListWidgetItem* item = selected.isEmpty() ? list1_->currentItem() : selected.constLast();
    if (!item) return;  // nothing to hand back yet: the window stays
    choice_ = item->text();
    accept();
}

void Form2::reject() {
    // Escape and the window manager's close request: refused, the lookup needs a reading.
}

void Form2::closeEvent(QCloseEvent* event) {
    if (choice_) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
    }
}

DialogChooser::DialogChooser(std::function<void(const std::string&)> onChosen,
                             std::function<void(const pinyin::WordEntry&)> onRemember)
    : onChosen_(std::move(onChosen)), onRemember_(std::move(onRemember)) {}

std::optional<std::string> DialogChooser::choose(const pinyin::ChooserRequest& request) {
    Form2 form;
    form.pystr = QString::fromStdString(request.pystr);
    form.hz = QString::fromStdString(request.hz);
    form.AllHz = QString::fromStdString(request.allHz);
    form.DyStr = request.dyStr;
    form.suggested = request.suggested;
    form.word = QString::fromStdString(request.word);
    form.wordAt = request.wordAt;
    form.load();
    form.exec();
    if (!form.choice()) return std::nullopt;
    std::string reading = form.choice()->toStdString();
    if (onChosen_) onChosen_(reading);
    if (form.remember() && onRemember_) {
        const auto [from, to] = form.marked();
        if (auto entry = pinyin::wordToRemember(request, reading, from, to)) onRemember_(*entry);
    }
    return reading;
}

}  // namespace gui
