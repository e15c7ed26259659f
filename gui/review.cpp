// The review table and the occurrences of the selected row.
#include "review.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <fstream>

#include "boxes.h"
#include "text/ascii.h"

namespace gui {
namespace {

enum Column { Word, Readings, Count, Remember };

/// `text` with its code point `at` in red, as rich text.
QString withRed(const std::string& text, std::size_t at) {
    const QString t = QString::fromStdString(text);
    QString out;
    std::size_t k = 0;
    for (int i = 0; i < t.size(); ++k) {
        const int n = t.at(i).isHighSurrogate() && i + 1 < t.size() ? 2 : 1;
        const QString c = t.mid(i, n).toHtmlEscaped();
        out += k == at ? QStringLiteral("<span style=\"color:red\">%1</span>").arg(c) : c;
        i += n;
    }
    return out;
}

QLabel* richCell(const QString& html) {
    auto* label = new QLabel(html);
    label->setTextFormat(Qt::RichText);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}

std::size_t codePoints(const std::string& s) {
    return static_cast<std::size_t>(QString::fromStdString(s).toUcs4().size());
}

}  // namespace

ReviewDialog::ReviewDialog(const app::ReviewGathering& gathering, bool lowerCase,
                           const app::ReviewInput& input, const app::ReviewOptions& options, QWidget* parent)
    : QDialog(parent),
      gathering_(gathering),
      input_(input),
      options_(options),
      lowerCase_(lowerCase),
      looked_(gathering.groups.size(), false) {
    setObjectName("ReviewDialog");
    setWindowTitle(QStringLiteral("审定没把握的字"));
    filter_ = new QLineEdit(this);
    filter_->setObjectName("Filter");
    filter_->setPlaceholderText(QStringLiteral("按字或词筛选"));
    counter_ = new QLabel(this);
    counter_->setObjectName("Counter");

    const int rows = static_cast<int>(gathering.groups.size());
    table_ = new QTableWidget(rows, 4, this);
    table_->setObjectName("Table");
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("词语"), QStringLiteral("读音"), QStringLiteral("次数"), QStringLiteral("记住")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    for (int r = 0; r < rows; ++r) {
        const app::ReviewGroup& g = gathering.groups[static_cast<std::size_t>(r)];
        table_->setItem(r, Word, new QTableWidgetItem(QString::fromStdString(g.key.word)));
        table_->item(r, Word)->setForeground(Qt::transparent);  // the label over it shows the red
        table_->setCellWidget(r, Word, richCell(withRed(g.key.word, g.key.index - 1)));
        auto* box = new QComboBox;
        for (std::size_t k = 0; k < g.readings.size(); ++k) {
            const std::string shown = lowerCase ? text::toLower(g.readings[k]) : g.readings[k];
            box->addItem(QStringLiteral("%1 %2").arg(k + 1).arg(QString::fromStdString(shown)));
        }
        box->setCurrentIndex(static_cast<int>(g.suggested));
        box->setFocusPolicy(Qt::NoFocus);
        table_->setCellWidget(r, Readings, box);
        auto* count = new QTableWidgetItem(QString::number(g.count));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(r, Count, count);
        auto* remember = new QTableWidgetItem;
        // As the chooser: only a word of two characters or more is remembered.
        const bool word = codePoints(g.key.word) >= 2;
        remember->setFlags(word ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable
                                : Qt::ItemIsSelectable);
        remember->setCheckState(Qt::Unchecked);
        table_->setItem(r, Remember, remember);
    }
    table_->horizontalHeader()->setSectionResizeMode(Word, QHeaderView::Stretch);
    table_->resizeColumnsToContents();
    table_->installEventFilter(this);

    places_ = new QTableWidget(0, 5, this);
    places_->setObjectName("Places");
    places_->setHorizontalHeaderLabels({QStringLiteral("记录号"), QStringLiteral("字段"),
                                        QStringLiteral("001"), QStringLiteral("文本"),
                                        QStringLiteral("本处读音")});
    places_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    places_->verticalHeader()->hide();
    places_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    places_->setFocusPolicy(Qt::NoFocus);

    auto* all = new QPushButton(QStringLiteral("全部采用建议(&A)"), this);
    all->setObjectName("ButtonAll");
    auto* write = new QPushButton(QStringLiteral("写出(&W)"), this);
    write->setObjectName("ButtonWrite");
    auto* cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cancel->setObjectName("ButtonCancel");
    auto* save = new QPushButton(QStringLiteral("保存审定表(&S)"), this);
    save->setObjectName("ButtonSave");
    auto* open = new QPushButton(QStringLiteral("打开审定表(&O)"), this);
    open->setObjectName("ButtonOpen");
    for (QPushButton* b : {all, write, cancel, save, open}) b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("筛选："), this));
    top->addWidget(filter_, 1);
    top->addWidget(counter_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {save, open}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {all, write, cancel}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 3);
    layout->addWidget(new QLabel(QStringLiteral("所选字的出处："), this));
    layout->addWidget(places_, 2);
    layout->addLayout(buttons);
    resize(760, 560);

    connect(filter_, &QLineEdit::textChanged, this, &ReviewDialog::filter);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) {
        markLooked(row);
        showPlaces(row);
    });
    connect(all, &QPushButton::clicked, this, &ReviewDialog::acceptSuggestions);
    connect(write, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存审定表"), {},
                                                          QStringLiteral("审定表 (*.tsv);;所有文件 (*)"));
        if (!path.isEmpty() && !saveTo(path))
            messageBox(this, QMessageBox::Critical, kErrorTitle,
                       QStringLiteral("无法写入审定表：\n%1").arg(path));
    });
    connect(open, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("打开审定表"), {},
                                                          QStringLiteral("审定表 (*.tsv);;所有文件 (*)"));
        if (!path.isEmpty()) openFrom(path);
    });
    if (rows > 0) table_->setCurrentCell(0, Word);
    table_->setFocus();
    showCounter();
}

void ReviewDialog::markLooked(int row) {
    if (row < 0 || row >= static_cast<int>(looked_.size()) || looked_[static_cast<std::size_t>(row)]) return;
    looked_[static_cast<std::size_t>(row)] = true;
    showCounter();
}

int ReviewDialog::lookedAt() const {
    return static_cast<int>(std::count(looked_.begin(), looked_.end(), true));
}

void ReviewDialog::showCounter() {
    const int seen = lookedAt();
    counter_->setText(
        QStringLiteral("已看 %1 行，还剩 %2 行").arg(seen).arg(static_cast<int>(looked_.size()) - seen));
}

void ReviewDialog::showPlaces(int row) {
    places_->setRowCount(0);
    if (row < 0 || row >= static_cast<int>(gathering_.groups.size())) return;
    const app::ReviewGroup& g = gathering_.groups[static_cast<std::size_t>(row)];
    const int shown = static_cast<int>(g.places.size()) + (g.more.empty() ? 0 : 1);
    places_->setRowCount(shown);
    for (int k = 0; k < static_cast<int>(g.places.size()); ++k) {
        const app::ReviewPlace& p = g.places[static_cast<std::size_t>(k)];
        places_->setItem(k, 0, new QTableWidgetItem(QString::number(p.record)));
        places_->setItem(k, 1, new QTableWidgetItem(QString::fromStdString(p.tag)));
        places_->setItem(k, 2, new QTableWidgetItem(QString::fromStdString(p.id)));
        places_->setCellWidget(k, 3, richCell(withRed(p.text, p.at)));
        // Its own reading, or its group's.
        std::uint32_t nth = 0;
        for (int i = 0; i <= k; ++i) nth += g.places[static_cast<std::size_t>(i)].record == p.record;
        const auto at = std::make_pair(g.key, std::make_pair(p.record, nth));
        auto* own = new QComboBox;
        own->addItem(QStringLiteral("同组"));
        for (const std::string& r : g.readings)
            own->addItem(QString::fromStdString(lowerCase_ ? text::toLower(r) : r));
        if (const auto found = own_.find(at); found != own_.end())
            for (std::size_t i = 0; i < g.readings.size(); ++i)
                if (text::toLower(g.readings[i]) == text::toLower(found->second))
                    own->setCurrentIndex(static_cast<int>(i) + 1);
        connect(own, &QComboBox::currentIndexChanged, this, [this, at, readings = g.readings](int i) {
            if (i <= 0)
                own_.erase(at);
            else
                own_[at] = readings[static_cast<std::size_t>(i - 1)];
        });
        places_->setCellWidget(k, 4, own);
    }
    if (!g.more.empty()) {
        QString records;
        for (std::size_t k = 0; k < g.more.size() && k < 50; ++k)
            records += QStringLiteral(" %1").arg(g.more[k]);
        if (g.more.size() > 50) records += QStringLiteral(" …");
        places_->setItem(
            shown - 1, 3,
            new QTableWidgetItem(QStringLiteral("另有 %1 处，在记录%2").arg(g.more.size()).arg(records)));
    }
    places_->resizeColumnsToContents();
    places_->scrollToTop();
}

void ReviewDialog::pick(int row, int reading) {
    auto* box = qobject_cast<QComboBox*>(table_->cellWidget(row, Readings));
    if (box && reading >= 0 && reading < box->count()) box->setCurrentIndex(reading);
}

void ReviewDialog::nextNotLooked() {
    const int rows = table_->rowCount();
    for (int step = 1; step <= rows; ++step) {
        const int r = (table_->currentRow() + step) % rows;
        if (!looked_[static_cast<std::size_t>(r)] && !table_->isRowHidden(r)) {
            table_->setCurrentCell(r, Word);
            return;
        }
    }
}

void ReviewDialog::filter(const QString& text) {
    const QString t = text.trimmed();
    for (int r = 0; r < table_->rowCount(); ++r) {
        const app::ReviewGroup& g = gathering_.groups[static_cast<std::size_t>(r)];
        const QString word = QString::fromStdString(g.key.word);
        table_->setRowHidden(
            r, !t.isEmpty() && !word.contains(t) && !t.contains(QString::fromStdString(g.character)));
    }
}

void ReviewDialog::acceptSuggestions() {
    // Every row not yet looked at keeps its suggestion, and counts as looked at.
    for (std::size_t r = 0; r < looked_.size(); ++r)
        if (!looked_[r]) pick(static_cast<int>(r), static_cast<int>(gathering_.groups[r].suggested));
    std::fill(looked_.begin(), looked_.end(), true);
    showCounter();
}

bool ReviewDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int row = table_->currentRow();
        if (key->key() >= Qt::Key_1 && key->key() <= Qt::Key_9 && row >= 0) {
            pick(row, key->key() - Qt::Key_1);
            return true;
        }
        if (key->key() == Qt::Key_Space && row >= 0) {
            QTableWidgetItem* item = table_->item(row, Remember);
            if (item->flags() & Qt::ItemIsUserCheckable)
                item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            nextNotLooked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

app::ReviewAnswers ReviewDialog::answers() const {
    app::ReviewAnswers a;
    for (int r = 0; r < table_->rowCount(); ++r) {
        const app::ReviewGroup& g = gathering_.groups[static_cast<std::size_t>(r)];
        const auto* box = qobject_cast<QComboBox*>(table_->cellWidget(r, Readings));
        const int k = box ? box->currentIndex() : static_cast<int>(g.suggested);
        app::ReviewAnswer answer;
        answer.reading = g.readings.at(static_cast<std::size_t>(k));
        answer.remember = table_->item(r, Remember)->checkState() == Qt::Checked;
        a.groups.emplace(g.key, std::move(answer));
    }
    a.places = own_;
    return a;
}

bool ReviewDialog::saveTo(const QString& path) {
    const app::ReviewAnswers a = answers();
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    out << app::reviewFileText(gathering_, input_, options_, &a);
    out.close();
    return static_cast<bool>(out);
}

bool ReviewDialog::openFrom(const QString& path) {
    app::ReviewAnswers a;
    try {
        a = app::readReviewFile(path.toStdString(), input_, options_);
    } catch (const app::StartError& e) {
        messageBox(this, QMessageBox::Critical, kErrorTitle,
                   QStringLiteral("无法打开审定表：\n%1").arg(chinese(e.problem)));
        return false;
    }
    own_ = a.places;
    for (int r = 0; r < table_->rowCount(); ++r) {
        const app::ReviewGroup& g = gathering_.groups[static_cast<std::size_t>(r)];
        const auto found = a.groups.find(g.key);
        if (found == a.groups.end()) continue;
        for (std::size_t k = 0; k < g.readings.size(); ++k)
            if (text::toLower(g.readings[k]) == text::toLower(found->second.reading))
                pick(r, static_cast<int>(k));
        table_->item(r, Remember)->setCheckState(found->second.remember ? Qt::Checked : Qt::Unchecked);
        looked_[static_cast<std::size_t>(r)] = true;
    }
    showCounter();
    showPlaces(table_->currentRow());
    return true;
}

}  // namespace gui
