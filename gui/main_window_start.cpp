// What a press of the start button checks before a run, and where a stopped run can go on.
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>

#include "boxes.h"
#include "main_window.h"
#include "tagbox.h"
#include "store.h"

namespace gui {

bool MainWindow::pathsUsable() {
    const QString input = pathBoxes_[0]->text().trimmed(), output = pathBoxes_[1]->text().trimmed();
    const QFileInfo info(input);
    QLineEdit* box = pathBoxes_[0];
    if (input.isEmpty()) {
        note(QStringLiteral("还没有选择待处理的MARC文件。\n请按“选择MARC”选择，或把文件拖到窗口上。"), true);
    } else if (!info.exists()) {
        error(QStringLiteral("找不到待处理的文件：\n%1\n请检查路径，或按“选择MARC”重新选择。").arg(input));
    } else if (info.isDir()) {
        error(QStringLiteral("待处理的是文件夹，不是文件：\n%1\n请选择其中的MARC文件。").arg(input));
    } else if (info.isHidden() || !info.isFile()) {
        error(QStringLiteral("待处理的不是普通的可见文件：\n%1\n请选择MARC文件。").arg(input));
    } else if (output.isEmpty()) {
        box = pathBoxes_[1];
        note(QStringLiteral("还没有选择保存处理结果的文件。\n请按“保存MARC”选择，或在输出框中填写文件名。"),
             true);
    } else {
        return true;
    }
    box->setFocus();
    box->selectAll();
    return false;
}

bool MainWindow::tagsUsable() {
    // Tags are three letters or digits, separated by commas (or the Chinese comma, or spaces).
    static const QRegularExpression separators(QStringLiteral("[,，、;；\\s]+"));
    static const QRegularExpression tag(QStringLiteral("^[0-9A-Za-z]{3}$"));
    const QString text = tagList_->text();
    const QStringList tags = text.split(separators, Qt::SkipEmptyParts);
    QString wrong;
    for (const QString& t : tags)
        if (!tag.match(t).hasMatch()) {
            wrong = t;
            break;
        }
    if (!tags.isEmpty() && wrong.isEmpty()) return true;
    tagList_->setFocus();
    if (wrong.isEmpty()) {
        error(QStringLiteral("没有填写需要添加拼音的字段。\n请填写字段号，用逗号分开，如 200,225,517。"));
    } else {
        tagList_->setSelection(static_cast<int>(text.indexOf(wrong)), static_cast<int>(wrong.size()));
        error(QStringLiteral(
                  "字段号“%1”不对：字段号是三个字母或数字。\n请改正需要添加拼音的字段，用逗号分开，如 "
                  "200,225,517。")
                  .arg(wrong));
    }
    return false;
}

bool MainWindow::inputHoldsRecords(const QString& input) {
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) return true;  // the run says why it cannot be read
    const QByteArray head = file.read(64 << 10);
    if (file.size() > head.size()) return true;
    for (char c : head)
        if (c != ' ' && c != '\r' && c != '\n' && c != '\x1A') return true;
    // Nothing to do: refused before the output is created, never "done".
    error(QStringLiteral("输入文件中没有记录（%1）：\n%2\n请选择含有MARC记录的文件。")
              .arg(head.isEmpty() ? QStringLiteral("文件是空的") : QStringLiteral("只有空白"), input));
    pathBoxes_[0]->setFocus();
    return false;
}

namespace {

// What identifies a file as it stood: its size and when it was last changed.
QString stamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return {};
    return QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

}  // namespace

void MainWindow::saveResume(const QString& input, const QString& output, const pinyin::RunSettings& used,
                            std::int64_t done) const {
    const std::unique_ptr<QSettings> store = openStore();
    store->beginGroup("resume");
    store->setValue("input", QFileInfo(input).absoluteFilePath());
    store->setValue("output", QFileInfo(output).absoluteFilePath());
    store->setValue("inputStamp", stamp(input));
    store->setValue("outputStamp", stamp(output));
    store->setValue("done", static_cast<qlonglong>(done));
    store->setValue("tags", QString::fromStdString(used.tagList));
    store->setValue("codeA", used.useCodeA);
    store->setValue("everySubfield", used.subfields == pinyin::Subfields::Chinese);
    store->setValue("delExisting", used.delExisting);
    store->setValue("lower", used.letterCase == pinyin::LetterCase::Lower);
    store->setValue("polyphone", static_cast<int>(used.polyphone));
    store->setValue("askOnlyWhenUnsure", used.askOnlyWhenUnsure);
    store->setValue("spacingApart", used.spacing == pinyin::Spacing::Apart);
    store->endGroup();
}

void MainWindow::forgetResume() const { openStore()->remove("resume"); }

std::optional<MainWindow::Resume> MainWindow::resumePoint(const QString& input, const QString& output) const {
    const std::unique_ptr<QSettings> store = openStore();
    store->beginGroup("resume");
    Resume r;
    r.input = QFileInfo(input).absoluteFilePath();
    r.output = QFileInfo(output).absoluteFilePath();
    r.done = store->value("done", 0).toLongLong();
    // The same two files, neither changed since the run stopped: else the place means nothing.
    if (r.done <= 0 || store->value("input").toString() != r.input ||
        store->value("output").toString() != r.output ||
        store->value("inputStamp").toString() != stamp(input) ||
        store->value("outputStamp").toString() != stamp(output))
        return std::nullopt;
    r.settings.tagList = store->value("tags").toString().toStdString();
    r.settings.useCodeA = store->value("codeA", true).toBool();
    r.settings.subfields =
        store->value("everySubfield", false).toBool() ? pinyin::Subfields::Chinese : pinyin::Subfields::A;
    r.settings.delExisting = store->value("delExisting", true).toBool();
    r.settings.letterCase =
        store->value("lower", true).toBool() ? pinyin::LetterCase::Lower : pinyin::LetterCase::Capitalised;
    const int mode = store->value("polyphone", 2).toInt();
    r.settings.polyphone = mode == 0   ? pinyin::Polyphone::Manual
                           : mode == 1 ? pinyin::Polyphone::Automatic
                                       : pinyin::Polyphone::Phrase;
    r.settings.askOnlyWhenUnsure = store->value("askOnlyWhenUnsure", false).toBool();
    r.settings.spacing =
        store->value("spacingApart", false).toBool() ? pinyin::Spacing::Apart : pinyin::Spacing::Glued;
    return r;
}

std::int64_t MainWindow::askResume(const Resume& resume) {
    QMessageBox box(QMessageBox::Question, kNoteTitle,
                    QStringLiteral("上次对这两个文件的处理停在第 %1 条记录之后：\n输入：%2\n输出：%3\n\n"
                                   "从第 %4 条继续（沿用上次的设置），还是从头开始（全部记录再追加一次）？")
                        .arg(resume.done)
                        .arg(resume.input, resume.output)
                        .arg(resume.done + 1),
                    QMessageBox::NoButton, this);
    box.setObjectName("MessageBox");
    QPushButton* goOn =
        box.addButton(QStringLiteral("从第 %1 条继续(&C)").arg(resume.done + 1), QMessageBox::AcceptRole);
    goOn->setObjectName("ButtonResume");
    QPushButton* again = box.addButton(QStringLiteral("从头开始(&B)"), QMessageBox::DestructiveRole);
    again->setObjectName("ButtonRestart");
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(goOn);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == goOn) return resume.done;
    if (box.clickedButton() == again) return 0;
    return -1;
}

}  // namespace gui
