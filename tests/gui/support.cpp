// The window tests' files and modal-window answering machine.
#include "support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "codepage/codepage.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "store.h"
#include "support/files.h"
#include "support/pydb.h"

namespace guitest {

void makePyDb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rows) {
    testpydb::make(path, rows);
}

std::string workingRecord(const std::string& id, const std::string& title) {
    return "001    " + id +
           "\r\n005    20240101120000.0\r\n100    |a20240101d2024    em y0chiy50      ea\r\n"
           "101 0  |achi\r\n200 1  |a" +
           title + "|f编者\r\n\r\n";
}

void writeRecordFile(const std::string& path, const std::vector<std::string>& workingRecords) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& w : workingRecords)
        out << (!w.empty() && w[0] == '\0' ? w.substr(1)
                                           : marc::recordFromWorkingText(w, codepage::Codec::gbk()))
            << "\r\n";
}

std::vector<std::string> readRecordFile(const std::string& path) {
    const std::string bytes = slurp(path);
    std::vector<std::string> out;
    for (std::size_t start = 0, end; (end = bytes.find('\x1D', start)) != std::string::npos;
         start = end + 1) {
        const std::size_t first = bytes.find_first_not_of("\r\n", start);
        out.push_back(marc::workingText(bytes.substr(first, end + 1 - first), codepage::Codec::gbk()));
    }
    return out;
}

std::string writeTitles(const std::string& path, const std::vector<std::string>& titles) {
    std::vector<std::string> records;
    for (const std::string& t : titles) {
        std::string id = "r";
        id += std::to_string(records.size() + 1);
        records.push_back(workingRecord(id, t));
    }
    writeRecordFile(path, records);
    return path;
}

QString recordsDiffer(const std::string& path, const std::vector<std::string>& parts) {
    const std::vector<std::string> records = readRecordFile(path);
    bool same = records.size() == parts.size();
    for (std::size_t i = 0; same && i < records.size(); ++i)
        same = records[i].find(parts[i]) != std::string::npos;
    if (same) return {};
    QString said = QStringLiteral("%1 records, %2 expected:").arg(records.size()).arg(parts.size());
    for (std::size_t i = 0; i < std::max(records.size(), parts.size()); ++i)
        said += QStringLiteral("\n[%1] want \"%2\" in: %3")
                    .arg(i)
                    .arg(QString::fromStdString(i < parts.size() ? parts[i] : "(none)"))
                    .arg(QString::fromStdString(i < records.size() ? records[i] : "(none)"));
    return said;
}

std::string slurp(const std::string& path) { return testfiles::slurp(path); }

void freshSettings() {
    static QTemporaryDir dir;
    const QString file = dir.filePath("marc-pinyin.ini");
    QFile::remove(file);
    gui::setStoreFile(file);
}

bool shown(QWidget& w) {
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

void markText(QWidget* chooser, int from, int to) {
    auto* text = chooser->findChild<QTextEdit*>("Text");
    QTextCursor c(text->document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    text->setTextCursor(c);
}

QList<int> redPositions(QWidget* chooser) {
    QTextDocument* doc = chooser->findChild<QTextEdit*>("Text")->document();
    QList<int> red;
    for (int i = 0; i < doc->characterCount() - 1; ++i) {  // without the closing separator
        QTextCursor c(doc);
        c.setPosition(i + 1);  // the format of the character before the cursor
        if (c.charFormat().foreground().color() == QColor(255, 0, 0)) red << i;
    }
    return red;
}

namespace {

// Ends a modal window of any kind: a message box by its escape or first button, the chooser by
// its first reading, any other dialog by reject().
void dismiss(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* b = box->escapeButton();
        if (!b && !box->buttons().isEmpty()) b = box->buttons().constFirst();
        if (b) b->click();
    } else if (modal->objectName() == "ReadingChooser") {
        modal->findChild<QListWidget*>("Readings")->setCurrentRow(0);
        modal->findChild<QPushButton*>("Choose")->click();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    }
}

}  // namespace

OneBox answerOneBox(const std::function<void()>& act, int button, int deadlineMs) {
    OneBox seen;
    ModalScript script(deadlineMs);
    script.then(ModalScript::answerBox(button, &seen));
    act();
    seen.surprises = script.surprises();
    return seen;
}

ModalScript::ModalScript(int deadlineMs) {
    QObject::connect(&poller_, &QTimer::timeout, [this] { poll(); });
    poller_.start(5);
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, [this] { timedOut_ = true; });
    deadline_.start(deadlineMs);
}

QStringList ModalScript::surprises() const {
    QStringList said = timedOut_ ? QStringList{"timed out"} + unexpected_ : unexpected_;
    if (!steps_.empty()) said << QStringLiteral("%1 steps left").arg(steps_.size());
    return said;
}

void ModalScript::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || (modal == handled_ && !timedOut_)) return;
    if (timedOut_) return dismiss(modal);
    handled_ = modal;
    if (steps_.empty()) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        unexpected_ << (box ? box->text() : modal->objectName() + " " + modal->windowTitle());
        return dismiss(modal);
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
}

ModalScript::Step ModalScript::answerBox(int button, BoxSeen* seen) {
    return [button, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (seen) seen->title = box ? box->windowTitle() : "not a message box: " + modal->objectName();
        QAbstractButton* b = box ? box->button(static_cast<QMessageBox::StandardButton>(button)) : nullptr;
        if (!b) return dismiss(modal);
        if (seen) {
            seen->text = box->text();
            seen->icon = box->icon();
            for (QAbstractButton* each : box->buttons()) seen->buttons << each->text();
            seen->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : 0;
        }
        b->click();
    };
}

}  // namespace guitest
